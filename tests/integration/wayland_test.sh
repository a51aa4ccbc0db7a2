#!/usr/bin/env bash
# The program on Wayland (a headless weston with a private runtime folder): no
# warnings on stderr with or without a StatusNotifierItem host, no X11-only
# calls, the window shown from the tray, and the end on SIGTERM.
# Usage: wayland_test.sh TIKORA_CLI TIME_PEER WORK_DIR TIKORA
set -u

here=$(cd "$(dirname "$0")" && pwd)
work=$3
tikora=$4
rm -rf "$work"
mkdir -p "$work"
source "$here/lib.sh"
source "$here/desktop_lib.sh"
need_tools dbus-daemon gdbus weston
[ -e "$(qtpaths6 --plugin-dir 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)/platforms/libqwayland-generic.so" ] ||
  { echo "SKIP: qt6-wayland is not installed" >&2; exit 77; }

start_session_bus
start_weston

# Windows the program has given the compositor so far, from weston's protocol log.
windows_made() { grep -c 'xdg_toplevel@[0-9]*\.set_title("Tikora 2.0")' "$work/weston.log"; }
window_made() { (($(windows_made) >= $1)); }

# stop_by_sigterm CASE: the program ends within 10 s of a SIGTERM, having
# written its settings as Exit does.
stop_by_sigterm() {
  kill -TERM "$tikora_pid"
  wait_for 10 tikora_ended || fail "$1: SIGTERM did not end the program"
  stop_pid "$tikora_pid"
  grep -q '^Last Updated=' "$XDG_CONFIG_HOME/Tikora.ini" || fail "$1: SIGTERM wrote no settings"
}

# --- no host: no tray icon, no warning, the window as usual ---------------
write_settings StartMin=0
start_tikora
wait_for 20 window_made 1 || fail "no host: no window shown"
sleep 1   # warnings of the start-up come within it
stop_by_sigterm "no host"
expect_clean_stderr "Wayland without a StatusNotifierItem host"

# --- a host: started minimized, the window waits in the tray --------------
start_watcher
before=$(windows_made)
write_settings StartMin=1
start_tikora
wait_for_item
sleep 1
(($(windows_made) == before)) || fail "started minimized with a tray: the window was shown"
activate_item
wait_for 10 window_made $((before + 1)) || fail "Activate did not show the window"
labels=$(menu_layout | grep -o "'label': <'[^']*'>" | sed "s/'label': <'\(.*\)'>/\1/" | paste -sd '|')
[ "$labels" = "_Connect...|_Properties|_History...|E_xit" ] || fail "menu labels on Wayland: $labels"
stop_by_sigterm "with a host"
expect_clean_stderr "Wayland with a StatusNotifierItem host"

# --- Properties from the menu shows it; Exit ends with settings written ----
: >"$work/watcher.log"
before=$(windows_made)
write_settings StartMin=1
start_tikora
wait_for_item
click_menu _Properties
wait_for 10 window_made $((before + 1)) || fail "Properties did not show the window"
click_menu E_xit
wait_for 20 tikora_ended || fail "Exit did not end the program"
grep -q '^Last Updated=' "$XDG_CONFIG_HOME/Tikora.ini" || fail "Exit wrote no settings"
expect_clean_stderr "Wayland, Properties and Exit"

finish
