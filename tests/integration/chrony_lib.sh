# chrony as the reference NTP server and client, for tests and benchmarks.
# Sourced, not run. Every chronyd started here runs with -x, so it never
# touches this machine's clock; the server answers only on 127.0.0.1 (or on
# the loopback address in $chrony_address, on the port in $chrony_fixed_port).
#
#   chrony_start            starts a server; sets chrony_pid, chrony_port, chrony_dir
#   chrony_stop             stops it by its PID and removes its folder
#   chrony_measure PORT     chronyd -Q's offset of 127.0.0.1:PORT, in seconds
#
# The caller stops what it starts (chrony_stop in its EXIT trap).

chrony_program=${CHRONYD:-/usr/sbin/chronyd}   # every run below passes -x
# As root, -u root keeps the privileges the temporary folder needs (-x has
# already given up the clock); as anyone else, -U lets chronyd run at all.
chrony_user=(-u root)
[ "$(id -u)" -eq 0 ] || chrony_user=(-U)
chrony_pid=""
chrony_port=""
chrony_dir=""
chrony_address=127.0.0.1
chrony_fixed_port=""

# 0 when chronyd is installed and has -x; a caller without it skips.
chrony_available() {
  [ -x "$chrony_program" ] && "$chrony_program" --help 2>&1 | grep -q -- '-x'
}

chrony_free_udp_port() {
  python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# chrony_answers PORT [ADDRESS]: 0 when an NTP server answers a mode-3 request on
# ADDRESS (127.0.0.1):PORT with a synchronised reply (the local reference is up).
chrony_answers() {
  timeout 5 python3 - "$1" "${2:-127.0.0.1}" <<'PY'
import os, socket, sys
s = socket.socket(socket.AF_INET6 if ":" in sys.argv[2] else socket.AF_INET, socket.SOCK_DGRAM)
s.settimeout(0.2)
s.connect((sys.argv[2], int(sys.argv[1])))
bits = os.urandom(8)
s.send(b"\x23" + bytes(39) + bits)
try:
    reply = s.recv(512)
except OSError:
    sys.exit(1)
sys.exit(0 if len(reply) >= 48 and reply[24:32] == bits and reply[0] >> 6 != 3 and 0 < reply[1] < 16 else 1)
PY
}

# chrony_start [EXTRA_DIRECTIVE...]: a chronyd -x serving NTP on a free
# loopback port as its own local reference (stratum 8). A port taken between
# choosing and binding is retried on another.
chrony_start() {
  local attempt i
  for ((attempt = 0; attempt < 3; attempt++)); do
    chrony_dir=$(mktemp -d "${TMPDIR:-/tmp}/chrony.XXXXXX")
    chrony_port=${chrony_fixed_port:-$(chrony_free_udp_port)}
    {
      echo "port $chrony_port"
      echo "bindaddress $chrony_address"
      # Clients reach 127/8 from 127.0.0.1, and [::1] from itself.
      echo "allow 127.0.0.1"
      echo "allow ::1"
      echo "local stratum 8"
      echo "cmdport 0"
      # No command socket in /run/chrony either: this server is ours alone.
      echo "bindcmdaddress /"
      echo "pidfile $chrony_dir/chronyd.pid"
      echo "driftfile $chrony_dir/chronyd.drift"
      local directive
      for directive in "$@"; do echo "$directive"; done
    } >"$chrony_dir/chrony.conf"
    # -d: stay in the foreground, so $! is chronyd itself.
    "$chrony_program" -x -d "${chrony_user[@]}" -f "$chrony_dir/chrony.conf" >"$chrony_dir/chronyd.log" 2>&1 &
    chrony_pid=$!
    for ((i = 0; i < 50; i++)); do
      kill -0 "$chrony_pid" 2>/dev/null || break
      chrony_answers "$chrony_port" "$chrony_address" && return 0
      sleep 0.1
    done
    echo "chrony_lib: chronyd on port $chrony_port did not answer:" >&2
    sed 's/^/    /' "$chrony_dir/chronyd.log" >&2
    chrony_stop
  done
  return 1
}

chrony_stop() {
  if [ -n "$chrony_pid" ]; then
    kill "$chrony_pid" 2>/dev/null
    wait "$chrony_pid" 2>/dev/null
  fi
  [ -n "$chrony_dir" ] && rm -rf "$chrony_dir"
  chrony_pid=""
  chrony_port=""
  chrony_dir=""
}

# chrony_measure PORT: chronyd -Q (measure only, with -x as well) asks
# 127.0.0.1:PORT four times and logs "System clock wrong by X seconds
# (ignored)"; this prints X, which reads as an NTP offset: server minus this
# machine, positive when this machine is behind. Status 1 and chronyd's log
# on stderr when it measured nothing.
chrony_measure() {
  local log wrong
  # -t: it gives up by itself on a silent server; timeout is the backstop.
  log=$(timeout 30 "$chrony_program" -x -Q -t 15 "${chrony_user[@]}" -f /dev/null \
    "server 127.0.0.1 port $1 iburst maxsamples 4" 2>&1)
  wrong=$(sed -n 's/.*System clock wrong by \([-+0-9.e]*\) seconds.*/\1/p' <<<"$log" | tail -n 1)
  if [ -z "$wrong" ]; then
    echo "chrony_lib: chronyd -Q measured nothing: $log" >&2
    return 1
  fi
  echo "$wrong"
}
