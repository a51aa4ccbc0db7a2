#!/usr/bin/env bash
# Whole-process cost of one NTP check: `tikora-cli check --ntp` against a Qt
# program that only starts and quits, and against a minimal blocking NTP
# client (no Qt), all asking one chronyd -x server of this script's own on
# 127.0.0.1. Usage: check_ntp_process_bench.sh BUILD_DIR [RUNS]
# Prints the median wall and CPU time (user + system) of each and the ratios.
# Never sets the clock: tikora-cli check never does, chronyd runs with -x.
set -eu
build=${1:?usage: check_ntp_process_bench.sh BUILD_DIR [RUNS]}
runs=${2:-200}
here=$(cd "$(dirname "$0")" && pwd)
cli="$build/tikora-cli"
empty="$build/bench/empty_qt_program"
blocking="$build/bench/ntp_blocking_client"
. "$here/../tests/integration/chrony_lib.sh"
for tool in "$cli" "$empty" "$blocking"; do
  [ -x "$tool" ] || { echo "check_ntp_process_bench: $tool is missing" >&2; exit 1; }
done
chrony_available || { echo "check_ntp_process_bench: $chrony_program with -x is missing" >&2; exit 1; }
trap chrony_stop EXIT
chrony_start
export XDG_DATA_HOME=$chrony_dir/data   # the checks' records are the bench's, not the user's

python3 - "$runs" "$cli" "$empty" "$blocking" "$chrony_port" <<'EOF'
import os, statistics, subprocess, sys, time

runs = int(sys.argv[1])
cli, empty, blocking, port = sys.argv[2:6]
commands = {
    "tikora-cli check --ntp": [cli, "check", "--ntp", "--port", port, "--retries", "0", "127.0.0.1"],
    "blocking NTP client": [blocking, "--port", port, "127.0.0.1"],
    "empty Qt program": [empty],
}
for name, argv in commands.items():
    result = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        sys.exit(f"check_ntp_process_bench: {name} failed ({result.returncode}): {result.stdout}")

def timed(argv):
    """Wall time and the child's own CPU time (user + system), in seconds."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = 0   # reaped by wait4 above
    return wall, usage.ru_utime + usage.ru_stime

# Interleaved, so drift in the machine's load falls on all three alike.
wall = {name: [] for name in commands}
cpu = {name: [] for name in commands}
for i in range(runs + 10):
    for name, argv in commands.items():
        w, c = timed(argv)
        if i >= 10:   # the first runs warm the page cache
            wall[name].append(w)
            cpu[name].append(c)

wall_ms = {name: statistics.median(t) * 1000 for name, t in wall.items()}
cpu_ms = {name: statistics.median(t) * 1000 for name, t in cpu.items()}
print(f"whole process, median of {runs} runs each (ms):   wall      CPU")
for name in commands:
    print(f"  {name:<24} {wall_ms[name]:20.2f} {cpu_ms[name]:8.2f}")
ours, floor = "tikora-cli check --ntp", "empty Qt program"
for kind, median in (("wall", wall_ms), ("CPU", cpu_ms)):
    ratio = median[ours] / median[floor]
    print(f"  {ours} / {floor} ({kind}): {ratio:.2f} (goal <= 1.3) {'PASS' if ratio <= 1.3 else 'MISS'}")
print(f"  {ours} / blocking NTP client (wall): {wall_ms[ours] / wall_ms['blocking NTP client']:.2f}")
EOF
