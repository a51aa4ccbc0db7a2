#!/usr/bin/env bash
# `tikora-cli serve` over TCP and UDP, asked by `tikora-cli check` and by
# rdate; refused binds; the end on a signal. The clock is only read: rdate
# runs with -p (print) and check never changes it.
# Usage: serve_test.sh TIKORA_CLI TIME_PEER WORK_DIR
set -u
cli=$1
time_peer=$2
mkdir -p "$3"
work=$(mktemp -d "$3/serve.XXXXXX")
. "$(dirname "$0")/lib.sh"

# Seconds from 1900 to 1970 (RFC 868's epoch to the Unix one).
readonly epoch_offset=2208988800

# start_serve NAME ARGS...: sets serve_pid and serve_port.
start_serve() {
  local name=$1
  shift
  : >"$work/$name.out"
  "$cli" serve --port 0 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  serve_pid=$!
  started_pids+=("$serve_pid")
  serve_port=""
  local i
  for ((i = 0; i < 100; i++)); do
    serve_port=$(sed -n '1s/^Serving the time over [TU][CD]P on [0-9a-f.:]* port \([0-9]*\)$/\1/p' "$work/$name.out")
    [ -n "$serve_port" ] && return 0
    sleep 0.05
  done
  echo "serve $name printed no port: $(cat "$work/$name.out" "$work/$name.err")" >&2
  exit 1
}

# stop_serve NAME: SIGTERM, then the exit status and the last line.
stop_serve() {
  kill -TERM "$serve_pid"
  local i
  for ((i = 0; i < 100; i++)); do
    kill -0 "$serve_pid" 2>/dev/null || break
    sleep 0.05
  done
  wait "$serve_pid"
  local serve_status=$?
  [ "$serve_status" -eq 0 ] || fail "$1: serve ended with $serve_status after SIGTERM"
  local last
  last=$(tail -n 1 "$work/$1.out")
  [[ "$last" =~ ^Stopped\ after\ [0-9]+\ answers$ ]] || fail "$1: last line after SIGTERM: $last"
  [ -s "$work/$1.err" ] && fail "$1: serve wrote to stderr: $(cat "$work/$1.err")"
  local kept=() pid
  for pid in "${started_pids[@]}"; do
    [ "$pid" != "$serve_pid" ] && kept+=("$pid")
  done
  started_pids=("${kept[@]}")
}

# within_a_second CASE UNIX_SECONDS: compares with the system clock now.
within_a_second() {
  local now off
  now=$(date +%s)
  off=$((now - $2))
  ((off < 0)) && off=$((-off))
  ((off <= 1)) || fail "$1: $2 is $off s away from the system clock ($now)"
}

# expect_logged CASE NAME [CLIENT]: the service logged a line for a client
# (by default 127.0.0.1) whose value is now.
expect_logged() {
  local line value client=${3:-127.0.0.1}
  line=$(grep -F "$client port " "$work/$2.out" | grep -E "^${client//./\\.} port [0-9]+ sent [0-9]+$" | tail -n 1)
  if [ -z "$line" ]; then
    fail "$1: no client line in: $(cat "$work/$2.out")"
    return
  fi
  value=${line##* sent }
  within_a_second "$1 (logged value)" $((value - epoch_offset))
}

# rdate_against CASE ARGS...: rdate prints the server's time as a date.
rdate_against() {
  local label=$1 printed seconds
  shift
  printed=$(TZ=UTC timeout 20 "$rdate" -p "$@" 2>&1)
  local rdate_status=$?
  if [ "$rdate_status" -ne 0 ]; then
    fail "$label: rdate exited $rdate_status: $printed"
    return
  fi
  seconds=$(TZ=UTC date -d "${printed#rdate: }" +%s 2>/dev/null) || {
    fail "$label: cannot read rdate's date: $printed"
    return
  }
  within_a_second "$label" "$seconds"
}

rdate=$(command -v rdate || echo /usr/sbin/rdate)
[ -x "$rdate" ] || echo "NOTE: rdate is not installed; its cases are skipped"

# --- TCP ----------------------------------------------------------------------
start_serve tcp
run_check --port "$serve_port" --retries 0 127.0.0.1
expect_status "check over TCP" 0
[ "$(log_lines)" = "1>Looking up host
1>Connecting to 127.0.0.1
1>Connected...
1>Reading time
1>Disconnected." ] || fail "check over TCP: log is: $out"
expect_result "check over TCP" 0 1
expect_logged "check over TCP" tcp
if [ -x "$rdate" ]; then
  rdate_against "rdate over TCP" -o "$serve_port" 127.0.0.1
fi

# A second service on the same port is refused.
timeout 20 "$cli" serve --port "$serve_port" >"$work/busy.out" 2>"$work/busy.err"
status=$?
out=$(cat "$work/busy.out")
err=$(cat "$work/busy.err")
expect_status "busy TCP port" 1
[ "$err" = "tikora-cli serve: Error 10048 (Address already in use) Binding Socket" ] ||
  fail "busy TCP port: stderr is: $err"
stop_serve tcp

# --- UDP ----------------------------------------------------------------------
start_serve udp --udp
run_check --udp --port "$serve_port" --retries 0 127.0.0.1
expect_status "check over UDP" 0
[ "$(log_lines)" = "1>Looking up host
1>Connecting to 127.0.0.1
1>Reading time
1>Disconnected." ] || fail "check over UDP: log is: $out"
expect_result "check over UDP" 0 1
expect_logged "check over UDP" udp
if [ -x "$rdate" ]; then
  rdate_against "rdate over UDP" -u -o "$serve_port" 127.0.0.1
fi

timeout 20 "$cli" serve --udp --port "$serve_port" >"$work/busy.out" 2>"$work/busy.err"
status=$?
out=$(cat "$work/busy.out")
err=$(cat "$work/busy.err")
expect_status "busy UDP port" 1
[ "$err" = "tikora-cli serve: Error 10048 (Address already in use) Binding Socket" ] ||
  fail "busy UDP port: stderr is: $err"
udp_port=$serve_port
stop_serve udp

# Nobody there any more: the refusal comes back as a failed read.
run_check --udp --port "$udp_port" --retries 0 --timeout 5 127.0.0.1
expect_status "UDP check of a closed port" 1
[ "$(log_lines)" = "1>Looking up host
1>Connecting to 127.0.0.1
1>Reading time
1>Error 10061 (Connection refused) recieving" ] || fail "UDP check of a closed port: log is: $out"

# --- IPv6: "::1" only that address, "::" both families ---------------------------
# no_answer CASE tcp|udp HOST PORT: nothing answers there (refused or silent).
no_answer() {
  python3 - "$2" "$3" "$4" <<'PY' || fail "$1: $3 port $4 answered"
import socket, sys
kind, host, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
s = socket.socket(socket.AF_INET, socket.SOCK_STREAM if kind == "tcp" else socket.SOCK_DGRAM)
s.settimeout(1)
try:
    s.connect((host, port))
    if kind == "udp":
        s.send(b"")
        s.recv(16)
    sys.exit(1)
except (ConnectionRefusedError, socket.timeout):
    sys.exit(0)
PY
}

for kind in tcp udp; do
  udp_flags=()
  [ "$kind" = udp ] && udp_flags=(-u)
  serve_flags=()
  [ "$kind" = udp ] && serve_flags=(--udp)
  start_serve "v6-$kind" --bind ::1 "${serve_flags[@]}"
  grep -q "^Serving the time over ${kind^^} on ::1 port " "$work/v6-$kind.out" ||
    fail "$kind on ::1: first line: $(head -n 1 "$work/v6-$kind.out")"
  if [ -x "$rdate" ]; then
    rdate_against "rdate -6 over $kind to ::1" -6 "${udp_flags[@]}" -o "$serve_port" ::1
    expect_logged "rdate -6 over $kind to ::1" "v6-$kind" ::1
  fi
  no_answer "$kind on ::1, asked over IPv4" "$kind" 127.0.0.1 "$serve_port"
  stop_serve "v6-$kind"

  start_serve "dual-$kind" --bind :: "${serve_flags[@]}"
  if [ -x "$rdate" ]; then
    rdate_against "rdate -6 over $kind to ::" -6 "${udp_flags[@]}" -o "$serve_port" ::1
    expect_logged "rdate -6 over $kind to ::" "dual-$kind" ::1
    rdate_against "rdate -4 over $kind to ::" -4 "${udp_flags[@]}" -o "$serve_port" 127.0.0.1
    expect_logged "rdate -4 over $kind to ::" "dual-$kind" 127.0.0.1
  fi
  stop_serve "dual-$kind"
done

# --- Port 37 without the right to bind it ---------------------------------------
unprivileged_start=$(cat /proc/sys/net/ipv4/ip_unprivileged_port_start 2>/dev/null || echo 1024)
if ((unprivileged_start > 37)); then
  if [ "$(id -u)" -ne 0 ]; then
    timeout 20 "$cli" serve --port 37 >"$work/p37.out" 2>"$work/p37.err"
    status=$?
  elif command -v capsh >/dev/null; then
    timeout 20 capsh --drop=cap_net_bind_service -- -c "exec '$cli' serve --port 37" \
      >"$work/p37.out" 2>"$work/p37.err"
    status=$?
  else
    status=skip
  fi
  if [ "$status" != skip ]; then
    out=$(cat "$work/p37.out")
    err=$(cat "$work/p37.err")
    expect_status "port 37 unprivileged" 1
    [ "$err" = "tikora-cli serve: Error 10013 (Permission denied) Binding Socket" ] ||
      fail "port 37 unprivileged: stderr is: $err"
  fi
fi

finish
