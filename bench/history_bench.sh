#!/usr/bin/env bash
# The check history's costs: what recording adds to one `tikora-cli check`
# (median of RUNS whole processes with and without --no-record, interleaved,
# against this script's own `tikora-cli serve --udp` on 127.0.0.1), and
# `tikora-cli history --json` over a full history of 100,000 records. Wall
# and CPU time (user + system) each: on a loaded machine the CPU time is the
# figure that holds. Aims: under 1 ms added; under 1 s for the history. Its
# history lives in a temporary folder, never the user's.
# Usage: history_bench.sh BUILD_DIR [RUNS]
set -eu
build=${1:?usage: history_bench.sh BUILD_DIR [RUNS]}
runs=${2:-50}
cli="$build/tikora-cli"
[ -x "$cli" ] || { echo "history_bench: $cli is missing" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "history_bench: sqlite3 is missing" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
. "$here/serve_lib.sh"

export XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state

# UDP: no connection set-up and tear-down to blur the figure.
start_serve serve --bind 127.0.0.1 --udp

PYTHONPATH=$here python3 - "$runs" "$cli" "$port" <<'PY'
import sys
from process_timing import interleaved, ms

runs, cli, port = int(sys.argv[1]), sys.argv[2], sys.argv[3]
check = [cli, "check", "--udp", "--port", port, "--retries", "0", "127.0.0.1"]
commands = {"recorded": check, "--no-record": check[:2] + ["--no-record"] + check[2:]}
# The first runs also make the file.
walls, cpus = interleaved(commands, runs, "history_bench", quiet=True)
for name in commands:
    print(f"  tikora-cli check --udp, {name:<12} median of {runs}: wall {ms(walls[name]):7.3f} ms, "
          f"CPU {ms(cpus[name]):7.3f} ms")
print(f"  recording adds {ms(walls['recorded']) - ms(walls['--no-record']):.3f} ms wall, "
      f"{ms(cpus['recorded']) - ms(cpus['--no-record']):.3f} ms CPU (aim: under 1 ms)")
PY

# A full history: the real schema from the checks above, then 100,000 rows.
db=$XDG_DATA_HOME/tikora/history.sqlite
sqlite3 "$db" "
  WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000)
  INSERT INTO checks (time_ms, server, address, protocol, completed, failure, offset, error_bound, delay,
                      stratum, authenticated, clock_action, step, clock_detail)
  SELECT 1700000000000 + i * 60000, 'pool.ntp.example', '192.0.2.' || (i % 250), 'ntp', i % 50 != 0,
         CASE WHEN i % 50 = 0 THEN 'Error: timed out' ELSE '' END,
         CASE WHEN i % 50 = 0 THEN NULL ELSE 0.001 * i / 1000.0 END, 0.0004, 0.0008, 2, 0,
         'nothing', NULL, '' FROM n;
  DELETE FROM checks WHERE id <= (SELECT max(id) FROM checks) - 100000;"
rows=$(sqlite3 "$db" "SELECT count(*) FROM checks")

PYTHONPATH=$here python3 - "$cli" "$rows" <<'PY'
import sys
from process_timing import timed, ms

cli, rows = sys.argv[1], sys.argv[2]
walls, cpus = [], []
for i in range(6):
    wall, cpu, size = timed([cli, "history", "--json"], "history_bench", quiet=True)
    if i > 0:   # the first warms the page cache
        walls.append(wall)
        cpus.append(cpu)
print(f"  tikora-cli history --json over {rows} records ({size / 1e6:.1f} MB), median of 5: "
      f"wall {ms(walls):.0f} ms, CPU {ms(cpus):.0f} ms (aim: under 1000 ms)")
PY
