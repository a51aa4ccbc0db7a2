#!/usr/bin/env bash
# The window program end to end: a check at start against a loopback server
# 7 s ahead, with the clock set through the system's time and date service,
# here python3-dbusmock's stand-in on a private bus standing in for the system
# bus. The program runs without the right to set the clock (capsh), in network
# and mount namespaces of its own, where /etc/services sends "time" to the
# server's port: nothing it does can reach this machine's clock.
# Usage: timedate1_test.sh TIKORA_CLI TIME_PEER WORK_DIR
# Exits 77 (skipped) without root or without the tools it needs.
set -u

if [ "${1:-}" != "--inside" ]; then
  skip() { echo "SKIP: $*"; exit 77; }
  [ "$(id -u)" -eq 0 ] || skip "needs root for its namespaces and for dropping the clock right"
  for tool in unshare capsh ip mount dbus-daemon dbus-send; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
  /usr/bin/python3 -c 'import dbusmock' 2>/dev/null || skip "python3-dbusmock is not installed"
  exec unshare --mount --net --propagation private -- bash "$0" --inside "$@"
fi
shift

cli=$1
time_peer=$2
mkdir -p "$3"
work=$(mktemp -d "$3/timedate1.XXXXXX")
. "$(dirname "$0")/lib.sh"
tikora="$(dirname "$cli")/tikora"
[ -x "$tikora" ] || { echo "no window program beside $cli" >&2; exit 1; }

ip link set lo up

# wait_for SECONDS COMMAND...: true once COMMAND succeeds, polled every 0.1 s.
wait_for() {
  local tries=$(($1 * 10)) i
  shift
  for ((i = 0; i < tries; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# The server, and "time" pointing at it for the program's look-up.
start_peer good --offset 7 --bound 110
grep -v '^time[[:space:]]' /etc/services >"$work/services"
echo "time $peer_port/tcp" >>"$work/services"
mount --bind "$work/services" /etc/services

read -r bus_address bus_pid < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -s -d ' ')
[ -n "${bus_pid:-}" ] || { echo "the private bus did not start" >&2; exit 1; }
started_pids+=("$bus_pid")
export DBUS_SYSTEM_BUS_ADDRESS=$bus_address

service_on_bus() {
  dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.freedesktop.timedate1 2>/dev/null | grep -q 'boolean true'
}

# start_mock NTP: the stand-in with its own call log in $mock_log.
start_mock() {
  mock_log="$work/timedated.ntp-$1.log"
  : >"$mock_log"
  /usr/bin/python3 -m dbusmock --template timedated -p "{\"NTP\": $1}" -l "$mock_log" 2>"$work/mock.err" &
  mock_pid=$!
  started_pids+=("$mock_pid")
  wait_for 30 service_on_bus || { echo "the timedated stand-in did not appear: $(cat "$work/mock.err")" >&2; exit 1; }
}

stop_mock() {
  kill "$mock_pid" 2>/dev/null
  wait "$mock_pid" 2>/dev/null
  wait_for 5 eval '! service_on_bus'
}

mkdir -p "$work/config"
cat >"$work/config/Tikora.ini" <<'EOF'
[ViewForm]
Server=127.0.0.1
AutoConnect=1
Adjust=1
Timeout=10
EOF

# run_program UNTIL_PATTERN: the program until the stand-in logged the
# pattern (at most 60 s) and 2 s more for any further call, then ended.
run_program() {
  XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen \
    capsh --drop=cap_sys_time -- -c 'exec "$0"' "$tikora" >"$work/tikora.out" 2>&1 &
  local pid=$!
  wait_for 60 grep -q "$1" "$mock_log" || fail "the program did not ask the service ($1)"
  sleep 2
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

set_time_calls() { sed -n 's/^[0-9.]* SetTime //p' "$mock_log"; }

# NTP off: one relative, interactive step of about the server's lead.
start_mock false
run_program ' SetTime '
calls=$(set_time_calls)
if [ "$(printf '%s\n' "$calls" | grep -c .)" -ne 1 ]; then
  fail "expected one SetTime call, got: $calls"
else
  read -r microseconds relative interactive <<<"$calls"
  [ "$microseconds" -ge 6000000 ] && [ "$microseconds" -le 8000000 ] ||
    fail "SetTime asked for $microseconds µs, not about 7000000"
  [ "$relative $interactive" = "True True" ] || fail "SetTime not relative and interactive: $calls"
fi
stop_mock

# NTP on: the time service keeps the clock, so nothing is asked.
start_mock true
run_program 'Get /org/freedesktop/timedate1 org.freedesktop.timedate1.NTP'
calls=$(set_time_calls)
[ -z "$calls" ] || fail "SetTime called although NTP is on: $calls"
stop_mock

if [ "$failures" -ne 0 ]; then
  echo "program output:" >&2
  cat "$work/tikora.out" >&2
  exit 1
fi
echo "timedate1: all cases passed"
