#!/usr/bin/env bash
# The idle window's cost and its start-up time, on a virtual X display.
# Usage: window_idle_bench.sh BUILD_DIR [SECONDS] [RUNS]
#
# 1. Wake-ups: Tikora runs under Xvfb with openbox and a notification area
#    (trayer); the context switches of all its threads (voluntary and
#    nonvoluntary, from /proc/PID/task/*/status) are counted over SECONDS
#    (default 20) with the window shown on each page, hidden by Minimize, and
#    started hidden by Start Minimized; an empty Qt Widgets window beside it
#    gives the floor. Aims: at most 3 a second shown, at most 1 hidden.
# 2. Start-up: exec to the first mapped window, Tikora against the empty Qt
#    window and against the same window with one line of text (the floor once
#    fonts are read), RUNS (default 20) of each, interleaved, on a display
#    without a window manager (so the client's window is mapped on the root).
#
# Start-up alone, and a build against another (the same display, interleaved):
#   STARTUP_ONLY=1 bash bench/window_idle_bench.sh build
#   STARTUP_ONLY=1 BEFORE=../old/build/tikora bash bench/window_idle_bench.sh build 0 30
# The first two rounds are not counted: they warm the caches and start the
# session bus that Qt launches on the display when none is set.
#
# The program never sets the clock: its settings file switches correction and
# auto-connect off, and as root it runs without the right to set the clock.
# Every process started here is ended by its PID.
set -euo pipefail
build=${1:?usage: window_idle_bench.sh BUILD_DIR [SECONDS] [RUNS]}
seconds=${2:-20}
runs=${3:-20}
tikora=${TIKORA:-$build/tikora}   # TIKORA=another build's program, to compare
before=${BEFORE:-}   # BEFORE=another build's program, measured beside this one
empty="$build/bench/empty_qt_window"
text_floor="$build/bench/empty_qt_text_window"
timer="$build/bench/window_map_timer"
for tool in "$tikora" "$empty" "$text_floor" "$timer" ${before:+"$before"}; do
  [ -x "$tool" ] || { echo "window_idle_bench: $tool is missing" >&2; exit 1; }
done
# The display's tools come from Debian's packages, installed when missing (as
# scripts/screenshots.sh does): the tests need none of them.
need=()
have() { command -v "$1" >/dev/null 2>&1; }
have Xvfb || need+=(xvfb)
have openbox || need+=(openbox)
have trayer || need+=(trayer)
have xdotool || need+=(xdotool)
have xprop || need+=(x11-utils)
have capsh || need+=(libcap2-bin)
if ((${#need[@]})); then
  echo "window_idle_bench: installing ${need[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

work=$(mktemp -d /tmp/tikora-idle.XXXXXX)
pids=()
running() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [[ -n $state && $state != [ZX] ]]
}
stop() {   # stop PID: TERM, then KILL after 3 s
  running "$1" || return 0
  kill -TERM "$1" 2>/dev/null || return 0
  for _ in $(seq 30); do running "$1" || return 0; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
}
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop "${pids[i]}"; done
  rm -rf "$work"
}
trap cleanup EXIT
wait_for() {   # wait_for SECONDS CMD...
  local tries=$(($1 * 10)); shift
  until "$@" >/dev/null 2>&1; do
    ((tries-- > 0)) || return 1
    sleep 0.1
  done
}

start_display() {   # start_display NAME: a new Xvfb; sets DISPLAY
  Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/$1.display" \
    </dev/null >"$work/$1.xvfb.log" 2>&1 &
  pids+=($!)
  wait_for 10 test -s "$work/$1.display" || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$(cat "$work/$1.display")
}

mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
settings() { printf '[ViewForm]\nAdjust=0\nAutoConnect=0\nStartMin=%s\n' "$1" >"$work/config/Tikora.ini"; }
run_tikora=("$tikora")
if [[ $(id -u) -eq 0 ]]; then
  # shellcheck disable=SC2016  # $0 is expanded by capsh's shell
  run_tikora=(capsh --drop=cap_sys_time -- -c 'exec "$0"' "$tikora")
fi

switches() {   # switches PID: the context switches of all its threads so far
  cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {n += $2} END {print n + 0}'
}
rate() {   # rate LABEL PID: wake-ups a second over $seconds
  local before after
  before=$(switches "$2")
  sleep "$seconds"
  after=$(switches "$2")
  awk -v label="$1" -v n=$((after - before)) -v s="$seconds" 'BEGIN {printf "  %-34s %6.2f /s\n", label, n / s}'
}

# --- 1. wake-ups ------------------------------------------------------------
if [[ -z ${STARTUP_ONLY:-} ]]; then
start_display idle
openbox --sm-disable </dev/null >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || { echo "openbox did not start" >&2; exit 1; }
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
  --SetPartialStrut true </dev/null >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 30 sh -c "xdotool search --onlyvisible --classname '^panel\$' | grep -q ." || { echo "trayer did not start" >&2; exit 1; }
sleep 0.5   # trayer claims the tray selection just after it maps

window_titled() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 | grep .; }
settle() { xdotool mousemove 1000 20; sleep 2; }   # the pointer off the window, then quiet

echo "idle wake-ups, context switches of all threads over ${seconds} s:"
"$empty" </dev/null >"$work/empty.log" 2>&1 &
empty_pid=$!
pids+=($empty_pid)
wait_for 15 window_titled empty || { echo "no empty window" >&2; exit 1; }
settle
rate "empty Qt window (floor)" "$empty_pid"
stop "$empty_pid"

settings 0
"${run_tikora[@]}" </dev/null >"$work/tikora.log" 2>&1 &
tikora_pid=$!
pids+=($tikora_pid)
wait_for 15 window_titled 'Tikora 2\.0' || { cat "$work/tikora.log" >&2; echo "no Tikora window" >&2; exit 1; }
main=$(window_titled 'Tikora 2\.0')
xdotool windowactivate --sync "$main" 2>/dev/null || true
# The tabs' middles in the window (Liberation Sans 8 points, as laid out).
pages=(Status Sun Moon Options About)
tab_x=(22 64 104 150 205)
for i in "${!pages[@]}"; do
  xdotool mousemove --window "$main" "${tab_x[i]}" 10 click 1
  settle
  rate "shown, ${pages[i]} page" "$tikora_pid"
done
xdotool mousemove --window "$main" 150 288 click 1   # Minimize: into the tray
settle
window_titled 'Tikora 2\.0' && echo "  (the window is still shown after Minimize)" >&2
rate "hidden by Minimize" "$tikora_pid"
stop "$tikora_pid"

settings 1
"${run_tikora[@]}" </dev/null >"$work/tikora-min.log" 2>&1 &
tikora_pid=$!
pids+=($tikora_pid)
sleep 3
window_titled 'Tikora 2\.0' && echo "  (Start Minimized left the window on screen)" >&2
rate "hidden by Start Minimized" "$tikora_pid"
stop "$tikora_pid"
echo "  aims: at most 3 /s shown on any page, at most 1 /s hidden"
fi

# --- 2. start-up --------------------------------------------------------------
start_display start
settings 0
run_before=()
if [[ -n $before ]]; then
  run_before=("$before")
  # shellcheck disable=SC2016  # $0 is expanded by capsh's shell
  [[ $(id -u) -ne 0 ]] || run_before=(capsh --drop=cap_sys_time -- -c 'exec "$0"' "$before")
fi
python3 - "$runs" "$timer" "$empty" "$text_floor" "${#run_before[@]}" "${run_before[@]}" "${run_tikora[@]}" <<'PY'
import statistics, subprocess, sys

runs, timer, empty, text = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
n_before = int(sys.argv[5])
before, tikora = sys.argv[6:6 + n_before], sys.argv[6 + n_before:]
commands = {"Tikora": tikora, "empty Qt window": [empty], "one-label window": [text]}
if before:
    commands["Tikora before"] = before
times = {name: [] for name in commands}
for i in range(runs + 2):
    for name, argv in commands.items():
        out = subprocess.run([timer] + argv, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, timeout=60)
        if out.returncode != 0:
            sys.exit(f"window_idle_bench: {name} mapped no window")
        if i >= 2:   # the first runs warm the caches
            times[name].append(float(out.stdout))
median = {name: statistics.median(t) for name, t in times.items()}
print(f"start-up, exec to mapped window, median of {runs} runs (ms):")
for name, ms in median.items():
    q = statistics.quantiles(times[name])
    print(f"  {name:<18} {ms:7.1f}   (quartiles {q[0]:.1f} to {q[2]:.1f})")
for name in [n for n in median if n.startswith("Tikora")]:
    print(f"  {name} / empty Qt window: {median[name] / median['empty Qt window']:.2f}"
          f"   / one-label window: {median[name] / median['one-label window']:.2f}")
PY
