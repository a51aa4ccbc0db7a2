# Starts `tikora-cli serve` on a free port for a benchmark and waits for the
# port it prints. Needs $cli and $work; sets serve_pid (for the caller's
# clean-up) and port. Usage: start_serve NAME [SERVE ARGS...]; the output
# goes to $work/NAME.out and $work/NAME.err.
start_serve() {
  local name=$1 i
  shift
  "$cli" serve --port 0 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  serve_pid=$!
  port=""
  for ((i = 0; i < 100; i++)); do
    port=$(sed -n '1s/.* port \([0-9]*\)$/\1/p' "$work/$name.out" 2>/dev/null)
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "$(basename "$0"): serve printed no port: $(cat "$work/$name.err")" >&2
  exit 1
}
