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

PYTHONPATH=$here python3 - "$runs" "$cli" "$empty" "$blocking" "$chrony_port" <<'EOF'
import sys
from process_timing import interleaved, ms, print_medians

runs = int(sys.argv[1])
cli, empty, blocking, port = sys.argv[2:6]
commands = {
    "tikora-cli check --ntp": [cli, "check", "--ntp", "--port", port, "--retries", "0", "127.0.0.1"],
    "blocking NTP client": [blocking, "--port", port, "127.0.0.1"],
    "empty Qt program": [empty],
}
walls, cpus = interleaved(commands, runs, "check_ntp_process_bench", warm=10)
print_medians(commands, walls, cpus, runs)
ours, floor = "tikora-cli check --ntp", "empty Qt program"
for kind, times in (("wall", walls), ("CPU", cpus)):
    ratio = ms(times[ours]) / ms(times[floor])
    print(f"  {ours} / {floor} ({kind}): {ratio:.2f} (goal <= 1.3) {'PASS' if ratio <= 1.3 else 'MISS'}")
print(f"  {ours} / blocking NTP client (wall): {ms(walls[ours]) / ms(walls['blocking NTP client']):.2f}")
EOF
