#!/usr/bin/env bash
# Whole-process cost of one time check: `tikora-cli check` against `rdate -p`
# (the same exchange in a small C program) and against a Qt program that only
# starts and quits, all asking one xinetd time service of this script's own.
# Usage: check_process_bench.sh BUILD_DIR [RUNS]
# Prints the median wall time of each and the ratios. Never sets the clock:
# rdate only prints (-p) and tikora-cli check never changes it.
set -eu
build=${1:?usage: check_process_bench.sh BUILD_DIR [RUNS]}
runs=${2:-200}
cli="$build/tikora-cli"
empty="$build/bench/empty_qt_program"
xinetd=$(command -v xinetd || echo /usr/sbin/xinetd)
rdate=$(command -v rdate || echo /usr/sbin/rdate)
for tool in "$cli" "$empty" "$xinetd" "$rdate"; do
  [ -x "$tool" ] || { echo "check_process_bench: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
export XDG_DATA_HOME=$work/data   # the checks' records are the bench's, not the user's
xinetd_pid=""
cleanup() {
  [ -n "$xinetd_pid" ] && kill "$xinetd_pid" 2>/dev/null && wait "$xinetd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/xinetd.conf" <<EOF
defaults
{
	cps = 10000 1
	instances = UNLIMITED
}
service time
{
	type = INTERNAL UNLISTED
	id = time-stream
	socket_type = stream
	protocol = tcp
	wait = no
	user = root
	bind = 127.0.0.1
	port = $port
}
EOF
"$xinetd" -dontfork -f "$work/xinetd.conf" -pidfile "$work/xinetd.pid" &
xinetd_pid=$!
for ((i = 0; i < 100; i++)); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

python3 - "$runs" "$cli" "$rdate" "$empty" "$port" <<'EOF'
import statistics, subprocess, sys, time

runs = int(sys.argv[1])
cli, rdate, empty, port = sys.argv[2:6]
commands = {
    "tikora-cli check": [cli, "check", "--port", port, "--retries", "0", "127.0.0.1"],
    "rdate -p": [rdate, "-p", "-o", port, "127.0.0.1"],
    "empty Qt program": [empty],
}
for name, argv in commands.items():
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        sys.exit(f"check_process_bench: {name} failed ({result.returncode}): {result.stdout}")

# Interleaved, so drift in the machine's load falls on all three alike.
times = {name: [] for name in commands}
for i in range(runs + 10):
    for name, argv in commands.items():
        start = time.perf_counter()
        subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if i >= 10:   # the first runs warm the page cache
            times[name].append(time.perf_counter() - start)

median = {name: statistics.median(t) * 1000 for name, t in times.items()}
print(f"whole process, median of {runs} runs each (ms):")
for name, ms in median.items():
    print(f"  {name:<18} {ms:7.2f}")
print(f"  tikora-cli check / empty Qt program: {median['tikora-cli check'] / median['empty Qt program']:.2f} (aim 1.3 or less)")
print(f"  tikora-cli check / rdate -p:         {median['tikora-cli check'] / median['rdate -p']:.2f}")
EOF
