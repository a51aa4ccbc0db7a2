# Shared by the integration scripts: peers started in the background, checks
# run with a bound, and assertions that report and count failures.
# Sourced, not run; expects $work to be a writable directory.

started_pids=()
failures=0

# Every check and the window keep a history: a test's goes to its own folder,
# never to the user's.
export XDG_DATA_HOME=${work:?lib.sh needs \$work}/data

stop_started() {
  local pid
  for pid in "${started_pids[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  started_pids=()
}
trap stop_started EXIT

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# start_peer MODE [OPTIONS...]: sets peer_pid and peer_port.
# start_port_printer OUT ERR PROGRAM ARGS...: starts a peer that prints its
# port as its first line; sets printer_pid and printer_port, or ends the script.
start_port_printer() {
  local out=$1 err=$2
  shift 2
  : >"$out"
  "$@" >"$out" 2>"$err" &
  printer_pid=$!
  started_pids+=("$printer_pid")
  printer_port=""
  local i
  for ((i = 0; i < 100; i++)); do
    printer_port=$(head -n 1 "$out")
    [ -n "$printer_port" ] && return 0
    sleep 0.05
  done
  echo "$(basename "$1") $2 printed no port" >&2
  exit 1
}

start_peer() {
  start_port_printer "$work/peer.$1.out" "$work/peer.$1.err" "$time_peer" "$@"
  peer_pid=$printer_pid
  peer_port=$printer_port
}

stop_peer() {
  kill "$peer_pid" 2>/dev/null
  wait "$peer_pid" 2>/dev/null
  local kept=() pid
  for pid in "${started_pids[@]}"; do
    [ "$pid" != "$peer_pid" ] && kept+=("$pid")
  done
  started_pids=("${kept[@]}")
}

# A loopback port nobody listens on: a peer's port once the peer is gone.
free_port() {
  start_peer close
  stop_peer
  echo "$peer_port"
}

# run_check ARGS...: runs `tikora-cli check ARGS` with a hard bound; sets
# out (stdout), err (stderr) and status.
run_check() {
  timeout 60 "$cli" check "$@" >"$work/check.out" 2>"$work/check.err"
  status=$?
  out=$(cat "$work/check.out")
  err=$(cat "$work/check.err")
  [ "$status" -ne 124 ] || fail "check $* did not end within 60 s"
}

# expect_status CASE WANTED
expect_status() {
  [ "$status" -eq "$2" ] || fail "$1: exit status $status, expected $2 (stdout: $out; stderr: $err)"
}

# expect_output CASE EXPECTED: compares stdout line by line.
expect_output() {
  if [ "$out" != "$2" ]; then
    fail "$1: output differs"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$out") | sed 's/^/    /' >&2
  fi
}

seconds_of_day() {
  local h m s
  IFS=: read -r h m s <<<"$1"
  echo $((10#$h * 3600 + 10#$m * 60 + 10#$s))
}

# The printed difference of two times of day, the shorter way round midnight.
shortest_difference() {
  local d=$(($1 - $2))
  ((d > 43200)) && d=$((d - 86400))
  ((d < -43200)) && d=$((d + 86400))
  echo "$d"
}

# expect_result CASE WANTED_SHIFT TOLERANCE: the Server/Local/Correction lines
# of $out agree with each other, and the server leads the PC by WANTED_SHIFT
# seconds give or take TOLERANCE.
expect_result() {
  local server local caption
  server=$(sed -n 's/^Server time: \([0-9][0-9]:[0-9][0-9]:[0-9][0-9]\)$/\1/p' <<<"$out")
  local=$(sed -n 's/^Local time:  \([0-9][0-9]:[0-9][0-9]:[0-9][0-9]\)$/\1/p' <<<"$out")
  caption=$(sed -n 's/^Correction:  //p' <<<"$out")
  if [ -z "$server" ] || [ -z "$local" ] || [ -z "$caption" ]; then
    fail "$1: no complete result in: $out"
    return
  fi
  local shift
  shift=$(shortest_difference "$(seconds_of_day "$server")" "$(seconds_of_day "$local")")
  local wanted_caption
  if ((shift == 0)); then
    wanted_caption="Clocks Match!"
  elif ((shift > 0)); then
    wanted_caption="+ $shift.00 s"
  else
    wanted_caption="- $((-shift)).00 s"
  fi
  [ "$caption" = "$wanted_caption" ] ||
    fail "$1: server $server, local $local: correction '$caption', expected '$wanted_caption'"
  local off=$((shift - $2))
  ((off < 0)) && off=$((-off))
  ((off <= $3)) || fail "$1: server leads by $shift s, expected $2 s within $3 s"
}

# The log without the result lines, which hold the time of day.
log_lines() {
  grep -v -e '^Server time: ' -e '^Local time:  ' -e '^Correction:  ' <<<"$out"
}

# Reading lines come once per arrival of data, so their number depends on how
# TCP delivered the bytes: count them apart and compare the rest exactly.
without_reads() {
  log_lines | grep -v '^[0-9]*>Reading time$'
}
count_reads() {
  grep -c '^[0-9]*>Reading time$' <<<"$out"
}

finish() {
  if ((failures > 0)); then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "all passed"
  rm -rf "$work"   # kept only when something failed, for the logs in it
  exit 0
}
