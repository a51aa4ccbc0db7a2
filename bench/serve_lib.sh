# Sourced by the benchmarks that ask `tikora-cli serve`: makes the folder
# $work, and on exit stops the service started here and removes the folder.
work=$(mktemp -d)
serve_pid=""
cleanup() {
  [ -n "$serve_pid" ] && kill "$serve_pid" 2>/dev/null && wait "$serve_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Starts `tikora-cli serve` on a free port and waits for the port it prints.
# Needs $cli; sets serve_pid and port. Usage: start_serve NAME [SERVE ARGS...];
# the output goes to $work/NAME.out and $work/NAME.err.
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
