#!/usr/bin/env bash
# tikora-cli history --plot: the picture of checks recorded against a loopback
# NTP server (and one that failed), as PNG and SVG, with no display at all; a
# name of another kind is bad usage (2), a file that cannot be written is 1
# and leaves nothing behind, and so is a missing drawing program.
# Usage: history_plot_test.sh TIKORA_CLI TIME_PEER WORK_DIR (NTP_PEER in the environment)
set -u
cli=$1
time_peer=$2
mkdir -p "$3"
work=$(mktemp -d "$3/history_plot.XXXXXX")
. "$(dirname "$0")/lib.sh"
ntp_peer=${NTP_PEER:?NTP_PEER names the responder}
XDG_STATE_HOME=$(mktemp -d "$work/state.XXXXXX")
export XDG_STATE_HOME
# No display of any kind: the picture is drawn in memory.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

start_port_printer "$work/ntp.out" "$work/ntp.err" "$ntp_peer" good --offset 0.25 --bound 40
for i in 1 2 3; do
  run_check --ntp --port "$printer_port" 127.0.0.1
  expect_status "check $i" 0
done
run_check --ntp --timeout 1 --port "$(free_port)" 127.0.0.1
expect_status "failed check" 1

plot() {
  timeout 60 "$cli" history --plot "$@" >"$work/plot.out" 2>"$work/plot.err"
  status=$?
  out=$(cat "$work/plot.out")
  err=$(cat "$work/plot.err")
}

plot "$work/h.png"
expect_status "png" 0
[ -z "$out" ] || fail "png: printed $out"
[ "$(head -c 8 "$work/h.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "png: not a PNG"
file "$work/h.png" | grep -q '900 x 450' || fail "png: $(file "$work/h.png")"

plot "$work/h.SVG"
expect_status "svg" 0
grep -q '<svg' "$work/h.SVG" || fail "svg: no <svg>"
grep -q 'Drift' "$work/h.SVG" || fail "svg: no caption"

# With --json the records are printed as well.
timeout 60 "$cli" history --json --plot "$work/j.svg" >"$work/j.out" 2>"$work/j.err" || fail "json and plot: $(cat "$work/j.err")"
grep -q '"records"' "$work/j.out" || fail "json and plot: $(cat "$work/j.out")"

plot "$work/h.gif"
expect_status "gif" 2
[[ $err == *".svg or .png"* ]] || fail "gif: $err"
[ ! -e "$work/h.gif" ] || fail "gif: a file was written"

plot "$work/h.png/inside.png"
expect_status "unwritable" 1
[[ $err == *"could not write"*"inside.png"* ]] || fail "unwritable: $err"

plot
expect_status "no name" 2

# Without its drawing program beside it or installed, one clear line, status 1.
mkdir "$work/alone"
cp "$cli" "$work/alone/tikora-cli"
timeout 60 "$work/alone/tikora-cli" history --plot "$work/alone.svg" >/dev/null 2>"$work/alone.err"
status=$?
expect_status "no drawing program" 1
grep -q "tikora-plot is not installed" "$work/alone.err" || fail "no drawing program: $(cat "$work/alone.err")"

finish
