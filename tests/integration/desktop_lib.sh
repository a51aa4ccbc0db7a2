# Shared by the desktop scripts: a private session bus, a stand-in
# StatusNotifierWatcher, a virtual X display or a headless Wayland compositor,
# and the program itself, each started here and ended by its PID.
# Sourced after lib.sh; expects $work, $tikora and $here (this folder).

python=/usr/bin/python3   # Debian's, which has python3-dbusmock
[ -x "$python" ] || python=python3

# Every peer runs under a time bound, so that nothing outlives a test that is
# killed before its clean-up (CTest's time-out is 120 s). Ending `timeout`
# passes a signal on to the peer and ends with it; its PID stands for the peer's.
bounded=(timeout --kill-after=5 150)
# The script itself, stopped by a signal, still runs its clean-up.
trap 'exit 143' TERM INT HUP

# Stops what was started, the last first, each by its PID (bounded waits).
alive() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [[ -n $state && $state != [ZX] ]]
}
stop_pid() {
  local pid=$1 i
  alive "$pid" || { wait "$pid" 2>/dev/null; return 0; }
  kill -TERM "$pid" 2>/dev/null
  for ((i = 0; i < 50; i++)); do alive "$pid" || break; sleep 0.1; done
  alive "$pid" && kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 0
}
runtime_dir=""
stop_started() {
  local i
  for ((i = ${#started_pids[@]} - 1; i >= 0; i--)); do
    stop_pid "${started_pids[i]}"
  done
  started_pids=()
  [ -z "$runtime_dir" ] || rm -rf "$runtime_dir"
}

# wait_for SECONDS CMD...: retries CMD every 0.1 s until it succeeds.
wait_for() {
  local tries=$(($1 * 10))
  shift
  until "$@" >/dev/null 2>&1; do
    ((tries-- > 0)) || return 1
    sleep 0.1
  done
}

need_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed" >&2; exit 77; }
  done
  "$python" -c 'import dbusmock' 2>/dev/null || { echo "SKIP: python3-dbusmock is not installed" >&2; exit 77; }
}

start_session_bus() {
  "${bounded[@]}" dbus-daemon --session --nofork --print-address=1 >"$work/bus.address" 2>"$work/bus.err" &
  started_pids+=($!)
  wait_for 20 test -s "$work/bus.address" || { echo "no session bus" >&2; exit 1; }
  DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus.address")
  export DBUS_SESSION_BUS_ADDRESS
}

name_has_owner() {
  gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
    -m org.freedesktop.DBus.NameHasOwner "$1" | grep -q true
}

# start_watcher: the stand-in host's watcher; its call log is $work/watcher.log.
start_watcher() {
  : >"$work/watcher.log"
  "${bounded[@]}" "$python" -m dbusmock --template "$here/sni_watcher.py" -l "$work/watcher.log" \
    >"$work/watcher.out" 2>&1 &
  started_pids+=($!)
  wait_for 20 name_has_owner org.kde.StatusNotifierWatcher || { echo "the watcher did not start" >&2; exit 1; }
}

start_xvfb() {
  "${bounded[@]}" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.err" &
  started_pids+=($!)
  wait_for 20 test -s "$work/display" || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$(head -n 1 "$work/display")
  export QT_QPA_PLATFORM=xcb
}

# The compositor's socket lives in a private 0700 runtime folder, under /tmp
# so that its path stays within a socket address's 108 bytes.
start_weston() {
  runtime_dir=$(mktemp -d /tmp/tikora-runtime.XXXXXX)
  export XDG_RUNTIME_DIR=$runtime_dir
  "${bounded[@]}" weston --backend=headless-backend.so --socket=tikora-test --use-pixman --idle-time=0 \
    --debug --logger-scopes=log,proto --log="$work/weston.log" >"$work/weston.out" 2>&1 &
  started_pids+=($!)
  wait_for 20 test -S "$XDG_RUNTIME_DIR/tikora-test" || { echo "weston did not start" >&2; exit 1; }
  export WAYLAND_DISPLAY=tikora-test
  export QT_QPA_PLATFORM=wayland
  unset DISPLAY
}

# write_settings KEY=VALUE...: Tikora.ini's [ViewForm] section; the clock is
# never corrected and the server is this machine.
write_settings() {
  export XDG_CONFIG_HOME=$work/config
  mkdir -p "$XDG_CONFIG_HOME"
  {
    echo "[ViewForm]"
    printf '%s\n' Adjust=0 AutoConnect=0 Retry=0 Timeout=2 Server=127.0.0.1 "$@"
  } >"$XDG_CONFIG_HOME/Tikora.ini"
}

# start_tikora: sets tikora_pid; stderr goes to $work/tikora.err. As root it
# runs without the right to set the clock as well.
start_tikora() {
  local prefix=()
  if [ "$(id -u)" -eq 0 ] && command -v capsh >/dev/null 2>&1; then
    prefix=(capsh --drop=cap_sys_time -- -c 'exec "$@"' tikora)
  fi
  # In the sanitizer build: leaks inside the desktop libraries are not ours.
  LSAN_OPTIONS="suppressions=$here/desktop_leaks.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
    "${bounded[@]}" "${prefix[@]}" "$tikora" >"$work/tikora.out" 2>"$work/tikora.err" &
  tikora_pid=$!
  started_pids+=("$tikora_pid")
}

# wait_for_item: the item's service name, once the program has registered it.
item=""
registered_item() {
  item=$(sed -n 's/.*RegisterStatusNotifierItem "\([^"]*\)".*/\1/p' "$work/watcher.log" | tail -n 1)
  [ -n "$item" ]
}
wait_for_item() {
  wait_for 30 registered_item || { fail "no StatusNotifierItem registered"; finish; }
}

# sni_property NAME: the item's property as gdbus prints it.
sni_property() {
  gdbus call --session -d "$item" -o /StatusNotifierItem \
    -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$1"
}

# menu_path: the object path of the exported menu.
menu_path() {
  sni_property Menu | sed -n "s/.*objectpath '\([^']*\)'.*/\1/p"
}

# menu_layout: GetLayout of the whole exported menu.
menu_layout() {
  gdbus call --session -d "$item" -o "$(menu_path)" -m com.canonical.dbusmenu.GetLayout -- 0 -1 '@as []'
}

# menu_id LABEL: the dbusmenu id of the item labelled LABEL.
menu_id() {
  menu_layout | grep -o "([0-9]*, {[^}]*'label': <'$1'>" | head -n 1 | sed 's/^(\([0-9]*\),.*/\1/'
}

# click_menu LABEL: what a host sends when the user picks the item.
click_menu() {
  local id
  id=$(menu_id "$1")
  [ -n "$id" ] || { fail "no menu item $1"; return 1; }
  gdbus call --session -d "$item" -o "$(menu_path)" -m com.canonical.dbusmenu.Event -- \
    "$id" clicked '<int32 0>' 0 >/dev/null
}

activate_item() {
  gdbus call --session -d "$item" -o /StatusNotifierItem -m org.kde.StatusNotifierItem.Activate -- 0 0 >/dev/null
}

tikora_ended() { ! alive "$tikora_pid"; }

# expect_clean_stderr CASE: Qt prints its warnings there.
expect_clean_stderr() {
  if [ -s "$work/tikora.err" ]; then
    fail "$1: the program wrote to stderr:"
    sed 's/^/    /' "$work/tikora.err" >&2
  fi
}
