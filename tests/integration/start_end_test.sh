#!/usr/bin/env bash
# The window program's start and end in every state, as real processes: what a
# killed or foreign process leaves at the lock never blocks a start, a live
# copy that does not answer keeps a second one out and is named, and each
# ending signal ends the program within a second also while the first message
# box (an unreadable settings file) is open, leaving that file as it was.
# Every settings file here says Adjust=0 and AutoConnect=0: the clock is never set.
# Usage: start_end_test.sh TIKORA_CLI TIME_PEER WORK_DIR TIKORA
set -u
tikora=$4
mkdir -p "$3"
work=$(mktemp -d "$3/start.XXXXXX")
. "$(dirname "$0")/lib.sh"
set -m   # own process groups: background copies do not start with SIGINT ignored

export QT_QPA_PLATFORM=offscreen TZ=UTC LC_ALL=C.UTF-8
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d /tmp/tikora-run.XXXXXX)   # short, wherever the build is
trap 'stop_started; rm -rf "$XDG_RUNTIME_DIR"' EXIT
mkdir -p "$XDG_CONFIG_HOME"
settings=$XDG_CONFIG_HOME/Tikora.ini
readonly plain=$'[ViewForm]\nAdjust=0\nAutoConnect=0'

alive() { [ -r "/proc/$1/stat" ] && ! grep -qs '^[0-9]* (.*) Z' "/proc/$1/stat"; }
forget() {
  local kept=() pid
  for pid in "${started_pids[@]}"; do [ "$pid" != "$1" ] && kept+=("$pid"); done
  started_pids=("${kept[@]}")
}
lock_file() { compgen -G "$XDG_RUNTIME_DIR/tikora-*.lock" | head -n 1; }
socket_file() { compgen -G "$XDG_RUNTIME_DIR/tikora-*.socket" | head -n 1; }
# The lock's name does not depend on what it holds: learnt once from a real start.
lock_name=""

# start_window: sets window_pid once that copy holds the lock and listens.
start_window() {
  "$tikora" >"$work/window.out" 2>"$work/window.err" &
  window_pid=$!
  started_pids+=("$window_pid")
  local i lock
  for ((i = 0; i < 200; i++)); do
    lock=$(lock_file)
    if [ -n "$lock" ] && [ "$(head -n 1 "$lock" 2>/dev/null)" = "$window_pid" ] && [ -S "$(socket_file)" ]; then
      lock_name=$lock
      return 0
    fi
    alive "$window_pid" || break
    sleep 0.05
  done
  fail "$1: the window program did not come up (stderr: $(cat "$work/window.err"))"
  return 1
}

# stop PID SIGNAL BOUND_S: sets status (124 when it had to be killed) and took_ms.
stop() {
  local pid=$1 start i
  start=$(date +%s%N)
  kill -s "$2" "$pid"
  for ((i = 0; i < $3 * 100; i++)); do
    alive "$pid" || break
    sleep 0.01
  done
  took_ms=$((($(date +%s%N) - start) / 1000000))
  if alive "$pid"; then
    kill -9 "$pid"
    wait "$pid" 2>/dev/null
    status=124
  else
    wait "$pid"
    status=$?
  fi
  forget "$pid"
}

printf '%s\n' "$plain" >"$settings"
start_window "first start" && stop "$window_pid" TERM 5
[ -n "$lock_name" ] || { echo "no lock seen; cannot go on" >&2; exit 1; }

# What may lie at the lock's path when a start comes: none of it blocks.
sleep 30 &
stranger=$!
started_pids+=("$stranger")
( exit 0 ) &
dead=$!
wait "$dead"
for left in empty garbage dead-pid stranger-pid link; do
  rm -rf "$lock_name"
  case $left in
    empty) : >"$lock_name" ;;
    garbage) echo "not a number" >"$lock_name" ;;
    dead-pid) echo "$dead" >"$lock_name" ;;
    stranger-pid) echo "$stranger" >"$lock_name" ;;
    link) ln -s "$work/elsewhere" "$lock_name" ;;
  esac
  if start_window "lock left as $left"; then
    echo "lock left as $left: the start took it"
    stop "$window_pid" TERM 5
    [ "$status" -eq 0 ] || fail "lock left as $left: status $status"
  fi
done
[ ! -e "$work/elsewhere" ] || fail "the lock was written through a link"

# A live copy that holds the lock but cannot be reached (its socket's file
# removed) keeps a second out, and is named by its number.
if start_window "unreachable copy"; then
  first=$window_pid
  rm -f "$(socket_file)"
  timeout 20 "$tikora" >"$work/second.out" 2>"$work/second.err"
  status=$?
  echo "beside an unreachable copy: status $status: $(cat "$work/second.err")"
  [ "$status" -eq 1 ] || fail "beside an unreachable copy: status $status"
  grep -q "process $first holds" "$work/second.err" || fail "the copy is not named: $(cat "$work/second.err")"
  alive "$first" || fail "the first copy ended"
  stop "$first" TERM 5
fi

# Each ending signal while the first message box is open: an end within a second, the file kept.
for unreadable in folder big; do
  for sig in TERM HUP INT; do
    rm -rf "$settings"
    case $unreadable in
      folder) mkdir -p "$settings/kept" ;;
      big) head -c 1100000 /dev/zero | tr '\0' ';' >"$settings" ;;
    esac
    before=$(stat -c '%i %s %Y' "$settings")
    start_window "box open ($unreadable)" || continue
    sleep 0.5   # past the claim: the box is open now
    alive "$window_pid" || { fail "box open ($unreadable): ended by itself"; continue; }
    stop "$window_pid" "$sig" 5
    echo "SIG$sig with the box open ($unreadable settings): status $status after ${took_ms} ms"
    [ "$status" -eq 0 ] || fail "SIG$sig, box open ($unreadable): status $status ($(cat "$work/window.err"))"
    [ "$took_ms" -lt 1000 ] || fail "SIG$sig, box open ($unreadable): took ${took_ms} ms"
    [ "$(stat -c '%i %s %Y' "$settings")" = "$before" ] || fail "SIG$sig, box open ($unreadable): the file changed"
    [ -z "$(lock_file)$(socket_file)" ] || fail "SIG$sig, box open: lock or socket left: $(ls "$XDG_RUNTIME_DIR")"
  done
done

[ "$failures" -eq 0 ] || exit 1
echo "start and end: all passed"
