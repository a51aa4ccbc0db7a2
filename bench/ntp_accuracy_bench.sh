#!/usr/bin/env bash
# How well `tikora-cli check --ntp` measures, against references that share
# no code with it, all on 127.0.0.1:
#   1. a chronyd -x server: our offset against chronyd -Q's on the same server
#      (both should find this machine's own clock, so they should agree);
#   2. the same server: our delay against a minimal blocking client's;
#   3. the test responder 2.345678 s ahead: the error of our offset.
# Usage: ntp_accuracy_bench.sh BUILD_DIR [CHECKS]   (default 20 checks each)
# Prints each figure with its goal and PASS or MISS; a bench reports, so only
# a missing tool or a failed check makes the exit status non-zero. Never sets
# the clock: tikora-cli check never does, and chronyd runs only with -x.
set -eu
build=${1:?usage: ntp_accuracy_bench.sh BUILD_DIR [CHECKS]}
checks=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)
cli="$build/tikora-cli"
blocking="$build/bench/ntp_blocking_client"
ntp_peer="$build/tests/integration/ntp_peer"
. "$here/../tests/integration/chrony_lib.sh"
for tool in "$cli" "$blocking" "$ntp_peer"; do
  [ -x "$tool" ] || { echo "ntp_accuracy_bench: $tool is missing" >&2; exit 1; }
done
chrony_available || { echo "ntp_accuracy_bench: $chrony_program with -x is missing" >&2; exit 1; }

work=$(mktemp -d)
export XDG_DATA_HOME=$work/data   # the checks' records are the bench's, not the user's
peer_pid=""
cleanup() {
  chrony_stop
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null && wait "$peer_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

chrony_start
# Bounded by the checks it serves, each round with chronyd -Q taking about 5 s.
"$ntp_peer" good --offset 2.345678 --bound $((checks * 10 + 60)) >"$work/peer.port" 2>"$work/peer.err" &
peer_pid=$!
peer_port=""
for ((i = 0; i < 100; i++)); do
  peer_port=$(head -n 1 "$work/peer.port")
  [ -n "$peer_port" ] && break
  sleep 0.05
done
[ -n "$peer_port" ] || { echo "ntp_accuracy_bench: ntp_peer printed no port" >&2; exit 1; }

# chronyd -Q, through the library, as a command the driver below can run.
cat >"$work/chrony_measure.sh" <<EOF
. "$here/../tests/integration/chrony_lib.sh"
chrony_measure "\$1"
EOF

python3 - "$checks" "$cli" "$blocking" "$work/chrony_measure.sh" "$chrony_port" "$peer_port" <<'EOF'
import json, statistics, subprocess, sys

checks = int(sys.argv[1])
cli, blocking, measure, chrony_port, peer_port = sys.argv[2:7]
peer_offset = 2.345678

def run(argv):
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=60)
    if result.returncode != 0:
        sys.exit(f"ntp_accuracy_bench: {' '.join(argv)} failed ({result.returncode}): "
                 f"{result.stdout}{result.stderr}")
    return result.stdout

def ours(port):
    report = json.loads(run([cli, "check", "--ntp", "--json", "--port", port, "--retries", "0", "127.0.0.1"]))
    return float(report["offset"]), float(report["delay"])

def floor(port):
    words = run([blocking, "--port", port, "127.0.0.1"]).split()
    return float(words[1]), float(words[3])

def chrony(port):
    return float(run(["bash", measure, port]))

differences, our_delays, floor_delays, errors, floor_errors = [], [], [], [], []
# chronyd keeps this machine's own clock, so the true offset there is 0: these
# tell which of the two readings a difference comes from.
our_offsets, chrony_offsets, floor_offsets = [], [], []
for _ in range(checks):
    # Adjacent in time, so the machine's load falls on each alike.
    offset, delay = ours(chrony_port)
    blocking_offset, blocking_delay = floor(chrony_port)
    floor_offsets.append(blocking_offset)
    reference = chrony(chrony_port)
    differences.append(abs(offset - reference))
    our_offsets.append(offset)
    chrony_offsets.append(reference)
    our_delays.append(delay)
    floor_delays.append(blocking_delay)
    errors.append(abs(ours(peer_port)[0] - peer_offset))
    floor_errors.append(abs(floor(peer_port)[0] - peer_offset))

def verdict(value, goal):
    return "PASS" if value <= goal else "MISS"

difference = statistics.median(differences)
ratio = statistics.median(our_delays) / statistics.median(floor_delays)
error = statistics.median(errors)
print(f"NTP figures on 127.0.0.1, median of {checks} checks each:")
print(f"  |our offset - chronyd -Q's| on chronyd -x:   {difference * 1e6:8.1f} us"
      f"  (goal <= 50 us)   {verdict(difference, 50e-6)}"
      f"  [max {max(differences) * 1e6:.1f} us]")
print(f"  our offset there (truth 0):                {statistics.median(our_offsets) * 1e6:+8.1f} us")
print(f"  chronyd -Q's offset there (truth 0):       {statistics.median(chrony_offsets) * 1e6:+8.1f} us")
print(f"  blocking client's offset there (truth 0):  {statistics.median(floor_offsets) * 1e6:+8.1f} us")
print(f"  our delay:                                 {statistics.median(our_delays) * 1e6:8.1f} us")
print(f"  blocking client's delay:                   {statistics.median(floor_delays) * 1e6:8.1f} us")
print(f"  our delay / blocking client's:             {ratio:8.2f}"
      f"     (goal <= 1.3)     {verdict(ratio, 1.3)}")
print(f"  offset error, server {peer_offset} s ahead:     {error * 1e3:8.3f} ms"
      f"  (goal <= 0.5 ms)  {verdict(error, 0.5e-3)}"
      f"  [max {max(errors) * 1e3:.3f} ms; blocking client {statistics.median(floor_errors) * 1e3:.3f} ms]")
EOF
