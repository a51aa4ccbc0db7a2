#!/usr/bin/env bash
# The settings file on a real, full tmpfs: a write that does not fit fails
# with the report and leaves the old file byte for byte, for a small file on
# a full disk and for a large file on a nearly full one. Needs root to mount.
# Usage: settings_full_disk_test.sh TIKORA_CLI TIME_PEER WORK_DIR (PROFILE_WRITER in the environment)
set -u
mkdir -p "$3"
work=$(mktemp -d "$3/full_disk.XXXXXX")
. "$(dirname "$0")/lib.sh"
writer=${PROFILE_WRITER:?PROFILE_WRITER names the profile_writer program}

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: mounting a tmpfs needs root (CI runs as root)"
  exit 77
fi
mnt=$work/mnt
mkdir -p "$mnt"
if ! mount -t tmpfs -o size=256k,mode=0755 tmpfs "$mnt"; then
  echo "SKIP: this machine lets no tmpfs be mounted here"
  exit 77
fi
unmount() { mountpoint -q "$mnt" && umount "$mnt"; }
trap 'stop_started; unmount' EXIT

# fill_disk [LEAVE]: takes all free space, then gives LEAVE back (truncate's size syntax).
fill_disk() {
  cat /dev/zero >"$mnt/fill" 2>/dev/null
  [ -n "${1:-}" ] && truncate -s "-$1" "$mnt/fill"
}

# expect_refused CASE: the write fails with the report; nothing changed.
expect_refused() {
  cp "$mnt/Tikora.ini" "$work/before.ini"
  timeout 30 "$writer" set "$mnt" ViewForm Adjust 1 >"$work/out" 2>"$work/err"
  local status=$?
  [ "$status" -eq 1 ] || fail "$1: exit status $status, expected 1 ($(cat "$work/err"))"
  grep -qxF "Unable to write to $mnt/Tikora.ini: No space left on device" "$work/err" ||
    fail "$1: report was '$(cat "$work/err")'"
  cmp -s "$work/before.ini" "$mnt/Tikora.ini" || fail "$1: the old file changed"
  local left
  left=$(ls -A "$mnt" | grep -v -x -e Tikora.ini -e fill)
  [ -z "$left" ] || fail "$1: left behind: $left"
}

# Full disk, small file: the case that once emptied the file.
printf '; mine\n[ViewForm]\nAdjust=0\n' >"$mnt/Tikora.ini"
fill_disk
expect_refused "full disk, small file"

# Nearly full, large file: room for part of it only.
rm -f "$mnt/fill"
{
  printf '[Other]\n'
  for ((i = 0; i < 1000; i++)); do printf 'line%04d=0123456789abcdefghijklmnopqrstuvwxyz\n' "$i"; done
  printf '[ViewForm]\nAdjust=0\n'
} >"$mnt/Tikora.ini"
fill_disk 8K
expect_refused "nearly full disk, large file"

# With room again the same write goes through and keeps the other lines.
rm -f "$mnt/fill"
timeout 30 "$writer" set "$mnt" ViewForm Adjust 1 2>"$work/err" || fail "write with room: $(cat "$work/err")"
grep -qx 'Adjust=1' "$mnt/Tikora.ini" || fail "write with room: Adjust=1 missing"
[ "$(grep -c '^line' "$mnt/Tikora.ini")" -eq 1000 ] || fail "write with room: other lines lost"

unmount
finish
