#!/usr/bin/env bash
# scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
#
# Runs Tikora on a virtual X display (Xvfb) with a small window manager
# (openbox) and a notification area (trayer), and saves PNGs of the five
# pages, the list dialog with each list, and the tray icon's menu:
#   status.png sun.png moon.png options.png about.png
#   moon_list.png meteor_list.png tray.png tray_menu.png screen.png
# BUILD_DIR defaults to build (configured and built when it has no tikora);
# OUT_DIR to BUILD_DIR/screenshots. Missing tools come from Debian's packages.
# The program runs in the zone TZ names (the system's when unset), e.g.
#   TZ=Europe/Berlin scripts/screenshots.sh   shows the daylight-saving rules.
#
# The program never sets the clock here: it runs with a settings file of its
# own that switches correction and auto-connect off, and, when this script
# runs as root, without the right to set the clock at all.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=${2:-$build/screenshots}
screen=1024x768x24

say() { echo "screenshots: $*"; }
die() { echo "screenshots: $*" >&2; exit 1; }

# --- what it needs --------------------------------------------------------
need=()
have() { command -v "$1" >/dev/null 2>&1; }
have Xvfb || need+=(xvfb)
have openbox || need+=(openbox)
have trayer || need+=(trayer)
have xdotool || need+=(xdotool)
{ have xwininfo && have xprop && have xdpyinfo; } || need+=(x11-utils)
have import || need+=(imagemagick)
fonts=$(fc-list : family 2>/dev/null || true)   # read whole: grep -q would cut the pipe
grep -q 'Liberation Sans' <<<"$fonts" || need+=(fonts-liberation2 fontconfig)
grep -q 'DejaVu Sans' <<<"$fonts" || need+=(fonts-dejavu-core)
if ((${#need[@]})); then
    say "installing ${need[*]}"
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
if [[ ! -x $build/tikora ]]; then
    bash "$root/scripts/bootstrap.sh"
    cmake -S "$root" -B "$build" -G Ninja -DTIKORA_BUILD_BENCH=OFF
    cmake --build "$build" --target tikora
fi
mkdir -p "$out"

# --- the session: every process started here is ended by its PID ----------
work=$(mktemp -d /tmp/tikora-shots.XXXXXX)
pids=()
# A process that has ended but not been reaped (a zombie) counts as ended.
running() {
    local state
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
    [[ -n $state && $state != [ZX] ]]
}
cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        running "$pid" || continue
        kill -TERM "$pid" 2>/dev/null || continue
        for _ in $(seq 30); do running "$pid" || break; sleep 0.1; done
        running "$pid" && kill -KILL "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

# wait_for SECONDS CMD...: retries CMD every 0.1 s until it succeeds.
wait_for() {
    local tries=$(($1 * 10)); shift
    until "$@" >/dev/null 2>&1; do
        ((tries-- > 0)) || return 1
        sleep 0.1
    done
}

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 "$screen" -dpi 96 -nolisten tcp 3>"$work/display" \
    </dev/null >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/display" || die "Xvfb did not start (see $work/xvfb.log)"
DISPLAY=:$(cat "$work/display")
export DISPLAY
wait_for 10 xdpyinfo || die "display $DISPLAY does not answer"

openbox --sm-disable </dev/null >"$work/openbox.log" 2>&1 &
pids+=($!)
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
wait_for 10 wm_ready || die "openbox did not start"

trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
    --SetPartialStrut true --transparent true --alpha 0 --tint 0x404040 </dev/null >"$work/trayer.log" 2>&1 &
pids+=($!)
tray_panel() { xdotool search --onlyvisible --classname '^panel$' | head -n1 | grep .; }
wait_for 10 tray_panel || die "trayer did not start"
sleep 0.3   # trayer claims the tray selection just after it maps

# --- the program ------------------------------------------------------------
mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
printf '[ViewForm]\nAdjust=0\nAutoConnect=0\nStartMin=0\n' >"$work/config/Tikora.ini"
run=("$build/tikora")
if [[ $(id -u) -eq 0 ]] && have capsh; then
    # shellcheck disable=SC2016  # $0 is expanded by capsh's shell
    run=(capsh --drop=cap_sys_time -- -c 'exec "$0"' "$build/tikora")
fi
XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
    "${run[@]}" </dev/null >"$work/tikora.log" 2>&1 &
pids+=($!)

window_titled() {   # the first visible window with exactly this title
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 | grep .
}
wait_for 15 window_titled 'Tikora 2\.0' || { cat "$work/tikora.log" >&2; die "no Tikora window"; }
main=$(window_titled 'Tikora 2\.0')

# geometry WINDOW: "X Y W H" on the screen, without the frame.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
        /^ *Width:/{w=$NF} /^ *Height:/{h=$NF} END{print x, y, w, h}'
}

# shoot OUT WINDOW: the window with its frame, as it is on the screen.
shoot() {
    local x y w h l=0 r=0 t=0 b=0 ext
    read -r x y w h < <(geometry "$2")
    ext=$(xprop -id "$2" _NET_FRAME_EXTENTS 2>/dev/null | grep -o '[0-9, ]*$' | tr -d ' ' || true)
    [[ $ext =~ ^([0-9]+),([0-9]+),([0-9]+),([0-9]+)$ ]] &&
        l=${BASH_REMATCH[1]} r=${BASH_REMATCH[2]} t=${BASH_REMATCH[3]} b=${BASH_REMATCH[4]}
    import -window root -crop "$((w + l + r))x$((h + t + b))+$((x - l))+$((y - t))" +repage "$out/$1"
    say "$out/$1 (${w}x${h} inside)"
}
click_at() {   # click_at WINDOW X Y, in the window's own pixels
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.4
}

xdotool windowactivate --sync "$main" 2>/dev/null || true
sleep 1.5   # at least one almanac tick

# The five pages: the middles of the tabs in the notebook's top row, as
# Liberation Sans at 8 points lays them out.
pages=(status sun moon options about)
tab_y=10
tab_x=(22 64 104 150 205)
for i in "${!pages[@]}"; do
    click_at "$main" "${tab_x[i]}" "$tab_y"
    sleep 0.3
    shoot "${pages[i]}.png" "$main"
done

# The list dialog: the Moon page's two buttons (page origin 4,24 in the notebook).
click_at "$main" "${tab_x[2]}" "$tab_y"
click_at "$main" $((4 + 8 + 45)) $((24 + 214 + 8))
wait_for 5 window_titled 'New and Full Moons' || die "the moon list did not open"
sleep 0.3
shoot moon_list.png "$(window_titled 'New and Full Moons')"
# The dialog may cover the main window's buttons: close it first.
click_at "$(window_titled 'New and Full Moons')" $((61 + 28)) $((266 + 11))
click_at "$main" $((4 + 134 + 45)) $((24 + 214 + 8))
wait_for 5 window_titled 'Meteor Showers' || die "the meteor list did not open"
sleep 0.3
shoot meteor_list.png "$(window_titled 'Meteor Showers')"
click_at "$(window_titled 'Meteor Showers')" $((61 + 28)) $((134 + 11))

# The tray: the icon embedded in trayer's panel, and its menu on a right click.
panel=$(tray_panel)
read -r px py pw ph < <(geometry "$panel")
import -window root -crop "${pw}x${ph}+${px}+${py}" +repage "$out/tray.png"
say "$out/tray.png"
icon=$(xwininfo -tree -id "$panel" | grep -o '^ *0x[0-9a-f]* .*[0-9]*x[0-9]*+[-0-9]*+[-0-9]* *+[-0-9]*+[-0-9]*$' | head -n1 || true)
[[ -n $icon ]] || die "no icon in the notification area"
# shellcheck disable=SC2001  # four groups of one line
read -r iw ih ix iy < <(sed 's/.* \([0-9]*\)x\([0-9]*\)+[-0-9]*+[-0-9]* *+\([-0-9]*\)+\([-0-9]*\)$/\1 \2 \3 \4/' <<<"$icon")
menus_before=$(xdotool search --onlyvisible --name '' 2>/dev/null | sort)
xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 3
new_window() { comm -13 <(printf '%s\n' "$menus_before") <(xdotool search --onlyvisible --name '' 2>/dev/null | sort) | head -n1 | grep .; }
if wait_for 3 new_window; then
    sleep 0.3
    menu=$(new_window)
    read -r mx my mw mh < <(geometry "$menu")
    import -window root -crop "${mw}x${mh}+${mx}+${my}" +repage "$out/tray_menu.png"
    say "$out/tray_menu.png"
else
    say "the tray menu did not open"
fi
import -window root "$out/screen.png"
say "$out/screen.png"
xdotool key Escape
