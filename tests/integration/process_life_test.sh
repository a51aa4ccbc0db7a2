#!/usr/bin/env bash
# The window program as a process: an end by SIGTERM, SIGHUP or SIGINT writes
# the settings as Exit does; a second start hands over to the first and ends;
# nothing a killed or foreign process leaves at the lock blocks a start, but a
# live copy that does not answer keeps a second out and is named; an ending
# signal while the first message box is open ends it within a second, the
# settings file kept. Every settings file here says Adjust=0 and AutoConnect=0:
# the clock is never set.
# Usage: process_life_test.sh TIKORA_CLI TIME_PEER WORK_DIR TIKORA
set -u
tikora=$4
mkdir -p "$3"
work=$(mktemp -d "$3/life.XXXXXX")
. "$(dirname "$0")/lib.sh"
# Own process groups, so that background copies do not start with SIGINT ignored.
set -m

export QT_QPA_PLATFORM=offscreen TZ=UTC LC_ALL=C.UTF-8
# In the sanitizer build: leaks inside the desktop libraries are not ours.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/desktop_leaks.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# A socket's path holds at most 107 bytes: the runtime directory is short, as /run/user/N is.
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d /tmp/tikora-run.XXXXXX)
trap 'stop_started; rm -rf "$XDG_RUNTIME_DIR"' EXIT
mkdir -p "$XDG_CONFIG_HOME"
settings=$XDG_CONFIG_HOME/Tikora.ini

# Differs from the defaults, so a write shows; RetrySecs comes back as "Retrysecs".
readonly original='; kept as it is
[ViewForm]
Adjust=0
AutoConnect=0
Timeout=25
Retry=0
RetrySecs=5
Server=127.0.0.1'
readonly after_exit='; kept as it is
[ViewForm]
Adjust=0
AutoConnect=0
Timeout=25
Retry=0
Retrysecs=5
Server=127.0.0.1
AutoMinimize=0
StartMin=0
Autostart=0

[Info]'

alive() {
  [ -r "/proc/$1/stat" ] && ! grep -qs '^[0-9]* (.*) Z' "/proc/$1/stat"
}

forget() {
  local kept=() pid
  for pid in "${started_pids[@]}"; do
    [ "$pid" != "$1" ] && kept+=("$pid")
  done
  started_pids=("${kept[@]}")
}

lock_file() { compgen -G "$XDG_RUNTIME_DIR/tikora-*.lock" | head -n 1; }
socket_file() { compgen -G "$XDG_RUNTIME_DIR/tikora-*.socket" | head -n 1; }

# start_window: sets window_pid (and lock_name) once that copy holds the lock and listens.
start_window() {
  "$tikora" >"$work/window.out" 2>"$work/window.err" &
  window_pid=$!
  started_pids+=("$window_pid")
  local i lock
  for ((i = 0; i < 400; i++)); do
    lock=$(lock_file)
    if [ -n "$lock" ] && [ "$(head -n 1 "$lock" 2>/dev/null)" = "$window_pid" ] && [ -S "$(socket_file)" ]; then
      lock_name=$lock
      return 0
    fi
    alive "$window_pid" || break
    sleep 0.05
  done
  fail "the window program did not come up (stderr: $(cat "$work/window.err"))"
  return 1
}

# wait_gone PID SECONDS: sets status (124 when it had to be killed) and took_ms.
wait_gone() {
  local pid=$1 bound=$2 start i
  start=$(date +%s%N)
  for ((i = 0; i < bound * 20; i++)); do
    alive "$pid" || break
    sleep 0.05
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

expect_written() {
  local got
  got=$(cat "$settings")
  case $got in
    "$after_exit"$'\n'"Last Updated="?*) ;;
    *) fail "$1: the settings file is not what Exit writes:"$'\n'"$got" ;;
  esac
}

# Each ending signal: an orderly end that writes the settings, soon.
for sig in TERM HUP INT; do
  printf '%s\n' "$original" >"$settings"
  start_window || continue
  kill -s "$sig" "$window_pid"
  wait_gone "$window_pid" 20
  echo "SIG$sig: ended with status $status, ${took_ms} ms after the signal"
  [ "$status" -eq 0 ] || fail "SIG$sig: exit status $status (stderr: $(cat "$work/window.err"))"
  expect_written "SIG$sig"
  [ -z "$(lock_file)$(socket_file)" ] || fail "SIG$sig: lock or socket left behind: $(ls "$XDG_RUNTIME_DIR")"
done

# A second start hands over and ends at once; the first keeps running.
printf '%s\n' "$original" >"$settings"
if start_window; then
  first=$window_pid
  start=$(date +%s%N)
  timeout 30 "$tikora" >"$work/second.out" 2>"$work/second.err"
  status=$?
  took_ms=$((($(date +%s%N) - start) / 1000000))
  echo "second start: status $status after ${took_ms} ms"
  [ "$status" -eq 0 ] || fail "second start: status $status (stderr: $(cat "$work/second.err"))"
  [ "$took_ms" -lt 10000 ] || fail "second start took ${took_ms} ms"
  alive "$first" || fail "the first copy ended when the second started"
  [ "$(cat "$settings")" = "$original" ] || fail "a start or a hand-over wrote the settings"
  kill -s TERM "$first"
  wait_gone "$first" 20
  [ "$status" -eq 0 ] || fail "first copy after the hand-over: status $status"
fi

# SIGKILL leaves the lock and the socket behind; the next start takes them over.
printf '%s\n' "$original" >"$settings"
if start_window; then
  kill -9 "$window_pid"
  wait_gone "$window_pid" 20
  [ -n "$(lock_file)" ] && [ -S "$(socket_file)" ] || echo "note: the killed copy left no lock or socket"
  [ "$(cat "$settings")" = "$original" ] || fail "SIGKILL changed the settings file"
  if start_window; then
    sleep 1
    alive "$window_pid" || fail "the start after SIGKILL ended (stderr: $(cat "$work/window.err"))"
    kill -s TERM "$window_pid"
    wait_gone "$window_pid" 20
    [ "$status" -eq 0 ] || fail "start after SIGKILL: status $status"
    expect_written "start after SIGKILL"
  fi
fi

# What else may lie at the lock's path when a start comes: none of it blocks.
sleep 30 &
stranger=$!
started_pids+=("$stranger")
for left in empty stranger-pid link; do
  rm -rf "$lock_name"
  case $left in
    empty) : >"$lock_name" ;;
    stranger-pid) echo "$stranger" >"$lock_name" ;;
    link) ln -s "$work/elsewhere" "$lock_name" ;;
  esac
  echo "lock left as $left"
  start_window || continue
  kill -s TERM "$window_pid"
  wait_gone "$window_pid" 20
  [ "$status" -eq 0 ] || fail "lock left as $left: status $status"
done
[ ! -e "$work/elsewhere" ] || fail "the lock was written through a link"

# A live copy that holds the lock but cannot be reached (its socket's file
# removed) keeps a second out, and is named by its number.
if start_window; then
  first=$window_pid
  rm -f "$(socket_file)"
  timeout 20 "$tikora" >"$work/second.out" 2>"$work/second.err"
  status=$?
  echo "beside an unreachable copy: status $status: $(cat "$work/second.err")"
  [ "$status" -eq 1 ] || fail "beside an unreachable copy: status $status"
  grep -q "process $first holds" "$work/second.err" || fail "the copy is not named: $(cat "$work/second.err")"
  alive "$first" || fail "the first copy ended"
  kill -s TERM "$first"
  wait_gone "$first" 20
fi

# Each ending signal while the first message box (an unreadable settings file) is open.
for run in "folder TERM" "big HUP" "folder INT"; do
  read -r unreadable sig <<<"$run"
  rm -rf "$settings"
  case $unreadable in
    folder) mkdir -p "$settings/kept" ;;
    big) head -c 1100000 /dev/zero | tr '\0' ';' >"$settings" ;;
  esac
  before=$(stat -c '%i %s %Y' "$settings")
  start_window || continue
  sleep 0.5   # past the claim: the box is open now
  alive "$window_pid" || { fail "box open ($unreadable): ended by itself"; continue; }
  kill -s "$sig" "$window_pid"
  wait_gone "$window_pid" 5
  echo "SIG$sig with the box open ($unreadable settings): status $status after ${took_ms} ms"
  [ "$status" -eq 0 ] || fail "SIG$sig, box open ($unreadable): status $status ($(cat "$work/window.err"))"
  [ "$took_ms" -lt 1000 ] || fail "SIG$sig, box open ($unreadable): took ${took_ms} ms"
  [ "$(stat -c '%i %s %Y' "$settings")" = "$before" ] || fail "SIG$sig, box open ($unreadable): the file changed"
  [ -z "$(lock_file)$(socket_file)" ] || fail "SIG$sig, box open: lock or socket left: $(ls "$XDG_RUNTIME_DIR")"
done
rm -rf "$settings"

# On a real display with a window manager: the first copy's window, minimized,
# comes back when a second start hands over, and there is never a second one.
tikora_windows() { DISPLAY=$display xdotool search "$@" --name '^Tikora 2\.0$' 2>/dev/null; }
# wait_windows COUNT ARGS...: until that many windows match (bounded); sets windows.
wait_windows() {
  local want=$1 i
  shift
  for ((i = 0; i < 200; i++)); do
    windows=$(tikora_windows "$@" | wc -l)
    [ "$windows" -eq "$want" ] && return 0
    sleep 0.05
  done
  return 1
}
if ! command -v Xvfb >/dev/null || ! command -v openbox >/dev/null || ! command -v xdotool >/dev/null ||
  ! command -v xprop >/dev/null; then
  echo "skipped the display checks: Xvfb, openbox, xdotool or xprop is not installed"
else
  Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.display" 2>"$work/xvfb.err" &
  started_pids+=($!)
  display=""
  for ((i = 0; i < 200; i++)); do
    sleep 0.05
    number=$(head -n 1 "$work/xvfb.display")
    [ -n "$number" ] && display=:$number && break
  done
  if [ -z "$display" ]; then
    fail "Xvfb did not start: $(cat "$work/xvfb.err")"
  else
    DISPLAY=$display openbox --sm-disable >"$work/openbox.out" 2>&1 &
    started_pids+=($!)
    for ((i = 0; i < 200; i++)); do
      DISPLAY=$display xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
      sleep 0.05
    done
    printf '%s\n' "$original" >"$settings"
    if DISPLAY=$display QT_QPA_PLATFORM=xcb start_window; then
      first=$window_pid
      wait_windows 1 --onlyvisible || fail "display: the window did not show"
      DISPLAY=$display xdotool windowminimize "$(tikora_windows --onlyvisible | head -n 1)"
      wait_windows 0 --onlyvisible || fail "display: the window did not minimize"
      DISPLAY=$display QT_QPA_PLATFORM=xcb timeout 30 "$tikora" >"$work/second.out" 2>"$work/second.err"
      status=$?
      [ "$status" -eq 0 ] || fail "display: second start status $status ($(cat "$work/second.err"))"
      wait_windows 1 --onlyvisible || fail "display: the first copy's window did not come back"
      wait_windows 1 || fail "display: $windows windows named Tikora 2.0"
      echo "display: the second start showed the first copy's window; windows named Tikora 2.0: $windows"
      kill -s TERM "$first"
      wait_gone "$first" 20
      [ "$status" -eq 0 ] || fail "display: first copy ended with status $status"
      expect_written "display"
    fi
  fi
fi

[ "$failures" -eq 0 ] || exit 1
echo "process life: all passed"
