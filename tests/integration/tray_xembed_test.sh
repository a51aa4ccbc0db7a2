#!/usr/bin/env bash
# The tray icon in an XEmbed notification area (trayer on a virtual X display,
# a session bus without a StatusNotifierItem host): a left click brings the
# hidden window onto the screen, a right click pops the menu up once, from
# the icon's own message path.
# Usage: tray_xembed_test.sh TIKORA_CLI TIME_PEER WORK_DIR TIKORA
set -u

here=$(cd "$(dirname "$0")" && pwd)
work=$3
tikora=$4
rm -rf "$work"
mkdir -p "$work"
source "$here/lib.sh"
source "$here/desktop_lib.sh"
need_tools dbus-daemon gdbus Xvfb xwininfo trayer xdotool

start_session_bus   # private and empty: no host, and no bus autolaunched
start_xvfb
# Short, wherever the build is: a socket's path holds 107 bytes. Removed by stop_started.
runtime_dir=$(mktemp -d /tmp/tikora-runtime.XXXXXX)
export XDG_RUNTIME_DIR=$runtime_dir
"${bounded[@]}" trayer --edge bottom --align right --widthtype request --height 24 </dev/null >"$work/trayer.log" 2>&1 &
started_pids+=($!)
tray_panel() { xdotool search --onlyvisible --classname '^panel$' | head -n 1 | grep .; }
wait_for 20 tray_panel || { fail "trayer did not start"; finish; }
sleep 0.3   # trayer claims the tray selection just after it maps

window_left() {
  xwininfo -name "Tikora 2.0" 2>/dev/null | sed -n 's/^ *Absolute upper-left X: *//p'
}
# Start Minimized keeps the window unmapped until the tray asks for it.
window_hidden() { ! xdotool search --onlyvisible --name '^Tikora 2\.0$' >/dev/null 2>&1; }
window_on_screen() { local x; x=$(window_left); [ -n "$x" ] && ((x >= 0 && x < 1024)); }
# The icon: the first child window of trayer's panel, as "X Y" of its centre.
icon_centre() {
  local line
  line=$(xwininfo -tree -id "$(tray_panel)" | grep -m 1 -o '[0-9]*x[0-9]*+[-0-9]*+[-0-9]* *+[-0-9]*+[-0-9]*$') || return 1
  sed 's/^\([0-9]*\)x\([0-9]*\)+[-0-9]*+[-0-9]* *+\([-0-9]*\)+\([-0-9]*\)$/\1 \2 \3 \4/' <<<"$line" |
    { read -r w h x y; echo "$((x + w / 2)) $((y + h / 2))"; }
}
visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort; }

write_settings StartMin=1
start_tikora
wait_for 20 icon_centre || { fail "no icon in the notification area"; finish; }
sleep 1   # a window shown at start would be mapped by now
window_hidden || fail "started minimized: the window was shown"
read -r ix iy < <(icon_centre)

before=$(visible_windows)
xdotool mousemove "$ix" "$iy" click 3
new_windows() { comm -13 <(printf '%s\n' "$before") <(visible_windows) | grep -c .; }
wait_for 5 eval '(($(new_windows) > 0))' || fail "a right click opened no menu"
sleep 0.5
(($(new_windows) == 1)) || fail "a right click opened $(new_windows) windows, not one menu"
xdotool key Escape
wait_for 5 eval '(($(new_windows) == 0))' || fail "the menu did not close"

xdotool mousemove "$ix" "$iy" click 1
wait_for 10 window_on_screen || fail "a left click did not bring the window onto the screen"

kill -TERM "$tikora_pid"
wait_for 10 tikora_ended || fail "SIGTERM did not end the program"
expect_clean_stderr "X11 with an XEmbed tray"

finish
