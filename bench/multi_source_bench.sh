#!/usr/bin/env bash
# Several sources at once. (1) Four loopback NTP peers that each hold their
# reply 200 ms: the check of all four against the check of one (aim: 1.2 or
# less, since the sources are asked together). (2) Three honest peers 0.5 s
# ahead and one 30 s ahead: how far the combined offset lies from 0.5 s (aim:
# within 10 us). Usage: multi_source_bench.sh BUILD_DIR [RUNS]
# Never sets the clock: tikora-cli check never does.
set -eu
build=${1:?usage: multi_source_bench.sh BUILD_DIR [RUNS]}
runs=${2:-15}
cli="$build/tikora-cli"
peer="$build/tests/integration/ntp_peer"
for tool in "$cli" "$peer"; do
  [ -x "$tool" ] || { echo "multi_source_bench: $tool is missing" >&2; exit 1; }
done
work=$(mktemp -d)
export XDG_DATA_HOME=$work/data   # the checks' records are the bench's, not the user's
pids=()
stop_peers() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  pids=()
}
trap 'stop_peers; rm -rf "$work"' EXIT

# start_peers PORT OPTIONS-FOR-.2 OPTIONS-FOR-.3 ...: one ntp_peer per address from 127.0.0.2.
start_peers() {
  local port=$1 host=2 options i
  shift
  for options in "$@"; do
    # shellcheck disable=SC2086 # the words are the options
    "$peer" good --address "127.0.0.$host" --port "$port" --bound 600 $options >"$work/peer.$host" 2>/dev/null &
    pids+=($!)
    for ((i = 0; i < 100; i++)); do
      [ -s "$work/peer.$host" ] && break
      sleep 0.02
    done
    host=$((host + 1))
  done
}

port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
start_peers "$port" "--delay-ms 200" "--delay-ms 200" "--delay-ms 200" "--delay-ms 200"
python3 - "$runs" "$cli" "$port" <<'PY'
import statistics, subprocess, sys, time
runs, cli, port = int(sys.argv[1]), sys.argv[2], sys.argv[3]
base = [cli, "check", "--ntp", "--port", port, "--retries", "0", "--timeout", "5"]
commands = {"one source": base + ["127.0.0.2"],
            "four sources": base + ["127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"]}
wall = {name: [] for name in commands}
for i in range(runs + 2):
    for name, argv in commands.items():
        start = time.perf_counter()
        result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        elapsed = time.perf_counter() - start
        if result.returncode != 0:
            sys.exit(f"multi_source_bench: {name} failed: {result.stdout}")
        if i >= 2:
            wall[name].append(elapsed * 1000)
for name, times in wall.items():
    print(f"  {name:<14} median {statistics.median(times):7.1f} ms, max {max(times):7.1f} ms ({runs} runs)")
ratio = statistics.median(wall["four sources"]) / statistics.median(wall["one source"])
print(f"  four / one: {ratio:.2f} (aim 1.2 or less)")
PY
stop_peers

port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
start_peers "$port" "--offset 0.5" "--offset 30" "--offset 0.5" "--offset 0.5"
python3 - "$runs" "$cli" "$port" <<'PY'
import json, statistics, subprocess, sys
runs, cli, port = int(sys.argv[1]), sys.argv[2], sys.argv[3]
argv = [cli, "check", "--ntp", "--json", "--port", port, "--retries", "0", "--timeout", "5",
        "127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"]
errors = []
for _ in range(runs):
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    if result.returncode != 0:
        sys.exit(f"multi_source_bench: the check with one liar failed: {result.stdout}")
    report = json.loads(result.stdout)
    verdicts = [s["verdict"] for s in report["sources"]]
    if verdicts[1] != "falseticker":
        sys.exit(f"multi_source_bench: the liar was not outvoted: {verdicts}")
    errors.append(abs(report["offset"] - 0.5) * 1e6)
print(f"  one liar among four: combined offset off the honest 0.5 s by median "
      f"{statistics.median(errors):.1f} us, max {max(errors):.1f} us ({runs} runs; aim 10 us or less)")
PY
