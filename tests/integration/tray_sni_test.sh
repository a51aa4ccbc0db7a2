#!/usr/bin/env bash
# The tray icon on a StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator
# extension): on a virtual X display with a private session bus and a stand-in
# watcher, the program registers its item, exports its menu over dbusmenu, and
# a host's Activate and menu clicks do what clicks on an XEmbed icon do.
# Usage: tray_sni_test.sh TIKORA_CLI TIME_PEER WORK_DIR TIKORA
set -u

here=$(cd "$(dirname "$0")" && pwd)
work=$3
tikora=$4
rm -rf "$work"
mkdir -p "$work"
source "$here/lib.sh"
source "$here/desktop_lib.sh"
need_tools dbus-daemon gdbus dbus-monitor Xvfb xwininfo

start_session_bus
start_watcher
start_xvfb
# Short, wherever the build is: a socket's path holds 107 bytes. Removed by stop_started.
runtime_dir=$(mktemp -d /tmp/tikora-runtime.XXXXXX)
export XDG_RUNTIME_DIR=$runtime_dir

# The window's left edge on the 1024-pixel screen.
window_left() {
  xwininfo -name "Tikora 2.0" 2>/dev/null | sed -n 's/^ *Absolute upper-left X: *//p'
}
# Start Minimized keeps the window unmapped until the tray asks for it.
window_hidden() { ! xdotool search --onlyvisible --name '^Tikora 2\.0$' >/dev/null 2>&1; }
window_on_screen() { local x; x=$(window_left); [ -n "$x" ] && ((x >= 0 && x < 1024)); }

# --- the item and its properties; Activate shows the window ----------------
write_settings StartMin=1
start_tikora
wait_for_item
sleep 1   # a window shown at start would be mapped by now
window_hidden || fail "started minimized: the window was shown"

title=$(sni_property Title)
[[ $title == *"'tikora'"* ]] || fail "Title: $title"
pixmap=$(sni_property IconPixmap)
[[ $pixmap == *"[(16, 16, [byte"* || $pixmap == *"[(22, 22, [byte"* || $pixmap == *"[(32, 32, [byte"* ]] ||
  fail "IconPixmap has no image: ${pixmap:0:200}"
wait_for 10 eval '[[ $(sni_property ToolTip) == *"Tikora 2.0"* ]]' ||
  fail "ToolTip: $(sni_property ToolTip)"
[ "$(menu_path)" != /NO_DBUSMENU ] && [ -n "$(menu_path)" ] || fail "Menu: $(sni_property Menu)"
layout=$(menu_layout)
labels=$(grep -o "'label': <'[^']*'>" <<<"$layout" | sed "s/'label': <'\(.*\)'>/\1/" | paste -sd '|')
[ "$labels" = "_Connect...|_Properties|_History...|E_xit" ] || fail "menu labels: $labels (layout: $layout)"

activate_item
wait_for 10 window_on_screen || fail "Activate did not bring the window onto the screen (left: $(window_left))"
stop_pid "$tikora_pid"

# --- Properties, Connect... and Exit from the exported menu ----------------
write_settings StartMin=1
: >"$work/watcher.log"
start_tikora
wait_for_item
sleep 1
window_hidden || fail "second start: the window was shown"
click_menu _Properties
wait_for 10 window_on_screen || fail "Properties did not bring the window onto the screen"

# A check against this machine's time port: the tip follows it, the icon stays.
"${bounded[@]}" dbus-monitor --session "type='signal',interface='org.kde.StatusNotifierItem'" >"$work/signals" 2>&1 &
monitor_pid=$!
started_pids+=("$monitor_pid")
# It is listening once the bus has taken its name for monitoring.
wait_for 10 grep -q 'member=NameLost' "$work/signals" || fail "dbus-monitor did not start"
click_menu _Connect...
wait_for 30 eval '[[ $(sni_property ToolTip) != *"Tikora 2.0"* ]]' ||
  fail "Connect... changed no tool tip: $(sni_property ToolTip)"
sleep 0.5
stop_pid "$monitor_pid"
grep -q 'member=NewToolTip' "$work/signals" || fail "no NewToolTip signal during the check"
if grep -q 'member=NewIcon' "$work/signals"; then
  fail "tool-tip updates resent the icon ($(grep -c 'member=NewIcon' "$work/signals") NewIcon signals)"
fi

click_menu E_xit
wait_for 20 tikora_ended || fail "Exit did not end the program"
wait "$tikora_pid" 2>/dev/null
status=$?
[ "$status" -eq 0 ] || fail "Exit: exit status $status"
grep -q '^Last Updated=' "$XDG_CONFIG_HOME/Tikora.ini" || fail "Exit wrote no settings: $(cat "$XDG_CONFIG_HOME/Tikora.ini")"
expect_clean_stderr "X11 with a StatusNotifierItem host"

finish
