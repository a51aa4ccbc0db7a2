#!/usr/bin/env bash
# Authenticated time, whole process: `tikora-cli check --nts` (key exchange
# and one exchange) against `tikora-cli check --ntp`, both asking one
# chronyd -x of this script's own on 127.0.0.1 (goal: 2.5 times or less, wall
# time); and the offset it measures against chronyd -Q's NTS reading of the
# same server (goal: within 10 us, medians of several runs); and a check with
# kept cookies, as the window's second, against a plain NTP check from the
# same window (goal: 1.2 times or less), and the same on the engine alone.
# Usage: nts_process_bench.sh BUILD_DIR [RUNS]
# Never sets the clock: tikora-cli check never does, chronyd runs with -x or -Q.
set -eu
build=${1:?usage: nts_process_bench.sh BUILD_DIR [RUNS]}
runs=${2:-100}
here=$(cd "$(dirname "$0")" && pwd)
cli="$build/tikora-cli"
. "$here/../tests/integration/chrony_lib.sh"
timer="$build/bench/nts_exchange_timer"
window_timer="$build/bench/nts_window_timer"
for tool in "$cli" "$timer" "$window_timer"; do
  [ -x "$tool" ] || { echo "nts_process_bench: $tool is missing" >&2; exit 1; }
done
chrony_available || { echo "nts_process_bench: $chrony_program with -x is missing" >&2; exit 1; }
command -v openssl >/dev/null || { echo "nts_process_bench: openssl is missing" >&2; exit 1; }

certs=$(mktemp -d)
export XDG_DATA_HOME=$certs/data   # the checks' records are the bench's, not the user's
trap 'chrony_stop; rm -rf "$certs"' EXIT
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$certs/key.pem" \
  -out "$certs/cert.pem" -days 2 -subj /CN=localhost -addext subjectAltName=IP:127.0.0.1,DNS:localhost 2>/dev/null
ke_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
chrony_start "ntsserverkey $certs/key.pem" "ntsservercert $certs/cert.pem" "ntsport $ke_port" \
  "bindaddress ::1" "ntsdumpdir $certs"

# chronyd -Q's NTS offset, in seconds (its "clock wrong by" reads as server minus us).
chrony_nts_measure() {
  local log
  log=$(timeout 30 "$chrony_program" -x -Q -t 12 "${chrony_user[@]}" -f /dev/null \
    "ntstrustedcerts $certs/cert.pem" \
    "server 127.0.0.1 port $chrony_port nts ntsport $ke_port iburst maxsamples 4" 2>&1)
  sed -n 's/.*System clock wrong by \([-+0-9.e]*\) seconds.*/\1/p' <<<"$log" | tail -n 1
}

PYTHONPATH=$here python3 - "$runs" "$cli" "$chrony_port" "$ke_port" "$certs/cert.pem" <<'PY'
import sys
from process_timing import interleaved, ms, print_medians

runs = int(sys.argv[1])
cli, port, ke_port, cert = sys.argv[2:6]
commands = {
    "tikora-cli check --nts": [cli, "check", "--nts", "--nts-port", ke_port, "--ca", cert, "--retries", "0", "127.0.0.1"],
    "tikora-cli check --ntp": [cli, "check", "--ntp", "--port", port, "--retries", "0", "127.0.0.1"],
}
walls, cpus = interleaved(commands, runs, "nts_process_bench")
print_medians(commands, walls, cpus, runs)
ratio = ms(walls["tikora-cli check --nts"]) / ms(walls["tikora-cli check --ntp"])
print(f"  --nts / --ntp (wall): {ratio:.2f} (goal <= 2.5) {'PASS' if ratio <= 2.5 else 'MISS'}")
PY

# Offsets: five of ours (four samples each, as chronyd takes) and five of chronyd -Q's, medians compared.
ours=()
theirs=()
for i in 1 2 3 4 5; do
  ours+=("$("$cli" check --nts --nts-port "$ke_port" --ca "$certs/cert.pem" --samples 4 --json 127.0.0.1 2>/dev/null |
    python3 -c 'import json, sys; print(json.load(sys.stdin)["offset"])')")
  theirs+=("$(chrony_nts_measure)")
done
python3 - "${ours[*]}" "${theirs[*]}" <<'PY'
import statistics, sys
ours = [float(x) for x in sys.argv[1].split()]
theirs = [float(x) for x in sys.argv[2].split() if x]
if not theirs:
    sys.exit("nts_process_bench: chronyd -Q measured nothing over NTS")
a, b = statistics.median(ours), statistics.median(theirs)
print(f"offset, median of {len(ours)} / {len(theirs)} runs: tikora-cli --nts {a * 1e6:+.1f} us, "
      f"chronyd -Q (NTS) {b * 1e6:+.1f} us")
difference = abs(a - b) * 1e6
print(f"  difference: {difference:.1f} us (goal <= 10) {'PASS' if difference <= 10 else 'MISS'}")
PY

"$timer" "$chrony_port" "$ke_port" "$certs/cert.pem" "$runs"
"$window_timer" "$chrony_port" "$ke_port" "$certs/cert.pem" "$runs"
