#!/usr/bin/env bash
# Runs every benchmark of a build and prints medians and the ratios the
# project aims at. Usage: run_all.sh BUILD_DIR
set -eu
build=${1:?usage: run_all.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
status=0
# The checks below keep a history: the bench's goes to a folder of its own.
bench_data=$(mktemp -d)
trap 'rm -rf "$bench_data"' EXIT
export XDG_DATA_HOME=$bench_data

# Google Benchmark programs: five repetitions, medians only.
for program in "$build"/bench/*_bench; do
  [ -x "$program" ] || continue
  name=$(basename "$program")
  echo "== $name"
  json=$(mktemp)
  if ! "$program" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
       --benchmark_out="$json" --benchmark_out_format=json >/dev/null; then
    echo "  $name failed" >&2
    status=1
    rm -f "$json"
    continue
  fi
  python3 - "$json" <<'EOF'
import json, sys

with open(sys.argv[1]) as f:
    report = json.load(f)
units = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
median = {}
for b in report["benchmarks"]:
    if b.get("aggregate_name") == "median":
        name = b["run_name"].split("/")[0]
        median[name] = b["real_time"] * units[b["time_unit"]]
for name, us in median.items():
    print(f"  {name:<40} {us:10.1f} us")

# Pairs read as ratios: (measured, floor, aim).
pairs = [
    ("BM_ClientSocketExchange", "BM_BlockingClientExchange", 1.3),
    ("BM_TimeCheckExchange", "BM_BlockingClientExchange", None),
]
for measured, floor, aim in pairs:
    if measured in median and floor in median:
        note = f" (aim {aim} or less)" if aim else ""
        print(f"  {measured} / {floor}: {median[measured] / median[floor]:.2f}{note}")
EOF
  rm -f "$json"
done

# Whole programs, started once per run.
for script in "$here"/check_*_bench.sh; do
  [ -f "$script" ] || continue
  echo "== $(basename "$script")"
  bash "$script" "$build" || status=1
done

# Authenticated time against plain NTP, and its offset against chronyd's.
echo "== nts_process_bench.sh"
bash "$here/nts_process_bench.sh" "$build" || status=1

# The window: idle wake-ups on each page and hidden, and its start-up time.
echo "== window_idle_bench.sh"
bash "$here/window_idle_bench.sh" "$build" || status=1

# The History window opening on 100,000 records.
echo "== history_window_timer"
"$build/bench/history_window_timer" 100000 || status=1

# The NTP check's figures against chrony and the blocking client.
echo "== ntp_accuracy_bench.sh"
bash "$here/ntp_accuracy_bench.sh" "$build" || status=1

# What the check history costs a check, and the history over a full file.
echo "== history_bench.sh"
bash "$here/history_bench.sh" "$build" || status=1

# Several sources at once: the wall time of four, and one liar outvoted.
echo "== multi_source_bench.sh"
bash "$here/multi_source_bench.sh" "$build" || status=1

# The time service under load.
echo "== serve_load_bench.sh"
bash "$here/serve_load_bench.sh" "$build" || status=1
exit $status
