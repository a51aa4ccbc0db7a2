#!/usr/bin/env bash
# tikora-cli at its limits: --port values out of range are usage errors, and
# `serve` out of file descriptors neither spins nor forgets its waiting clients.
# Usage: serve_limits_test.sh TIKORA_CLI TIME_PEER WORK_DIR
set -u
cli=$1
mkdir -p "$3"
work=$(mktemp -d "$3/limits.XXXXXX")
. "$(dirname "$0")/lib.sh"

# --- Port rules -----------------------------------------------------------------
for port in 0 65536 -1 abc 131109 99999999999; do
  run_check --port "$port" --retries 0 --timeout 1 127.0.0.1
  expect_status "check --port $port" 2
  [[ "$err" == "tikora-cli check: --port"* ]] || fail "check --port $port: stderr is: $err"
done
for port in 65536 -1 abc 131109 99999999999; do
  timeout 20 "$cli" serve --port "$port" >"$work/bad.out" 2>"$work/bad.err"
  status=$?
  out=$(cat "$work/bad.out")
  err=$(cat "$work/bad.err")
  expect_status "serve --port $port" 2
  [[ "$err" == "tikora-cli serve: --port"* ]] || fail "serve --port $port: stderr is: $err"
done

# --- Out of descriptors -------------------------------------------------------------
# Under the sanitizers every type check opens a pipe; with no descriptor left it
# reports a false fault. The normal build runs this part.
if [ "${TIKORA_SANITIZED:-0}" = 1 ]; then
  echo "skipped out of descriptors: the sanitizer runtime needs descriptors of its own"
  finish
fi
"$cli" serve --port 0 >"$work/serve.out" 2>"$work/serve.err" &
serve_pid=$!
started_pids+=("$serve_pid")
serve_port=""
for ((i = 0; i < 100; i++)); do
  serve_port=$(sed -n '1s/^Serving the time over TCP on 127\.0\.0\.1 port \([0-9]*\)$/\1/p' "$work/serve.out")
  [ -n "$serve_port" ] && break
  sleep 0.05
done
[ -n "$serve_port" ] || { fail "serve printed no port: $(cat "$work/serve.out" "$work/serve.err")"; finish; }

# No descriptor left for any accept: a new one takes the lowest free number,
# so the soft limit goes down to that number.
lowest_free=0
while [ -e "/proc/$serve_pid/fd/$lowest_free" ]; do lowest_free=$((lowest_free + 1)); done
prlimit --pid "$serve_pid" --nofile="$lowest_free:" || fail "prlimit could not lower the limit"

clients=()
for ((i = 0; i < 20; i++)); do
  exec {fd}<>"/dev/tcp/127.0.0.1/$serve_port" && clients+=("$fd")
done
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$serve_pid/stat"; }
before=$(cpu_ticks)
sleep 2
spent=$(($(cpu_ticks) - before))
# Busy at 100% would be about 200 ticks; resting 100 ms between tries is a few.
((spent < 50)) || fail "serve out of descriptors used $spent CPU ticks in 2 s"
errors=$(grep -c 'Too many open files' "$work/serve.out")
[ "$errors" -eq 1 ] || fail "serve out of descriptors logged $errors lines: $(cat "$work/serve.out")"

# Descriptors free again: every waiting client gets its four bytes.
prlimit --pid "$serve_pid" --nofile=1024: || fail "prlimit could not raise the limit"
answered=0
for fd in "${clients[@]}"; do
  got=$(timeout 5 head -c 4 <&"$fd" | wc -c)
  ((got == 4)) && answered=$((answered + 1))
  exec {fd}<&-
done
((answered == ${#clients[@]})) || fail "only $answered of ${#clients[@]} waiting clients were answered"
[ -s "$work/serve.err" ] && fail "serve wrote to stderr: $(cat "$work/serve.err")"
kill -TERM "$serve_pid"
wait "$serve_pid"
started_pids=()

finish
