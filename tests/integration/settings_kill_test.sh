#!/usr/bin/env bash
# kill -9 at random moments while the settings file is being replaced, a few
# hundred times: what is left is always the old or the new file, whole.
# Usage: settings_kill_test.sh TIKORA_CLI TIME_PEER WORK_DIR (PROFILE_WRITER in the environment)
set -u
mkdir -p "$3"
work=$(mktemp -d "$3/kill.XXXXXX")
. "$(dirname "$0")/lib.sh"
writer=${PROFILE_WRITER:?PROFILE_WRITER names the profile_writer program}

readonly kills_wanted=300 time_limit_s=80
config=$work/config
mkdir -p "$config"
# About 200 KB, so that a kill often lands in the middle of a write.
{
  printf '\xEF\xBB\xBF; kept\r\n[Other]\r\n'
  for ((i = 0; i < 4000; i++)); do printf 'line%05d=0123456789abcdefghijklmnopqrstuvwxyz\r\n' "$i"; done
  printf '[ViewForm]\r\nServer=A\r\n'
} >"$config/Tikora.ini"
cp "$config/Tikora.ini" "$work/a.ini"
started_ns=$(date +%s%N)
"$writer" set "$config" ViewForm Server B || fail "the first write failed"
# One start and write of this build (a sanitizer build is several times
# slower): the kills land from early start-up to about a write later.
one_run_ms=$((($(date +%s%N) - started_ns) / 1000000))
((one_run_ms >= 10)) || one_run_ms=10
cp "$config/Tikora.ini" "$work/b.ini"
cmp -s "$work/a.ini" "$work/b.ini" && fail "the two versions are the same"

kills=0 as_a=0 as_b=0 mid_write=0
while ((kills < kills_wanted && SECONDS < time_limit_s)); do
  "$writer" loop "$config" ViewForm Server A B >/dev/null 2>"$work/err" &
  pid=$!
  delay_ms=$((5 + RANDOM % (one_run_ms * 2)))
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  kills=$((kills + 1))
  if cmp -s "$config/Tikora.ini" "$work/a.ini"; then
    as_a=$((as_a + 1))
  elif cmp -s "$config/Tikora.ini" "$work/b.ini"; then
    as_b=$((as_b + 1))
  else
    fail "kill $kills left neither version ($(stat -c %s "$config/Tikora.ini" 2>/dev/null || echo no) bytes)"
    cp "$config/Tikora.ini" "$work/a.ini"   # judge later kills against a whole file again
  fi
  # A temporary file left over means the kill came between create and rename.
  temporaries=("$config"/.Tikora.ini.*.tmp)
  if [ -e "${temporaries[0]}" ]; then
    mid_write=$((mid_write + 1))
    rm -f "${temporaries[@]}"
  fi
done
echo "$kills kills: $as_a left the first version, $as_b the second, $mid_write in the middle of a write"
((kills >= 100)) || fail "only $kills kills in $time_limit_s s"
((as_a > 0 && as_b > 0)) || fail "the writer never got to write both versions"
((mid_write > 0)) || fail "no kill landed in the middle of a write"
finish
