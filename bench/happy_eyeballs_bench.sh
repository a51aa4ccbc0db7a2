#!/usr/bin/env bash
# Happy Eyeballs on the dual-stack transport: a name whose IPv6 address never
# completes a connect and whose IPv4 address answers. The name lives in a
# hosts file bind-mounted in a mount namespace of this run alone (needs root).
# Usage: happy_eyeballs_bench.sh BUILD_DIR
# Prints the median time to the connection; the aim is 500 ms or less.
set -eu
build=${1:?usage: happy_eyeballs_bench.sh BUILD_DIR}
program="$build/bench/happy_eyeballs_bench"
[ -x "$program" ] || { echo "happy_eyeballs_bench: $program is missing" >&2; exit 1; }
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  echo "happy_eyeballs_bench: needs root and unshare for a private hosts file; skipped"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=dual.tikora.bench
# IPv6 first, as the resolver's own order would have it.
printf '::1 %s\n127.0.0.1 %s\n' "$name" "$name" >"$work/hosts"
printf 'multi on\n' >"$work/host.conf"

TIKORA_BENCH_NAME=$name unshare -m sh -c '
  mount --bind "$1/hosts" /etc/hosts && mount --bind "$1/host.conf" /etc/host.conf &&
  exec "$2" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_out="$1/out.json" --benchmark_out_format=json' sh "$work" "$program" \
  >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }

python3 - "$work/out.json" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
units = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
for b in report["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    ms = b["real_time"] * units[b["time_unit"]]
    threads = b.get("lookupThreadsPerOpen", 0)
    print(f"  {b['run_name'].split('/')[0]:<28} {ms:9.3f} ms  look-up threads per open: {threads:g}")
    if b["run_name"].startswith("BM_NameWithBlockedIpv6"):
        verdict = "within" if ms <= 500 else "OVER"
        print(f"  connected through IPv4 {verdict} the 500 ms aim")
PY
