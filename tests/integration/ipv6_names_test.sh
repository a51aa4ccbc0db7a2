#!/usr/bin/env bash
# Every address of a name, end to end: `tikora-cli check` on a name whose IPv6
# address never completes a connect (a full queue on [::1]) and whose IPv4
# address answers reaches the IPv4 one; the log names both attempts. The name
# comes from a hosts file bind-mounted in a mount namespace of this test alone.
# (The transport's own race, and its timing, are its unit tests'.)
# Usage: ipv6_names_test.sh TIKORA_CLI TIME_PEER WORK_DIR
set -u
mkdir -p "$3"
work=$(mktemp -d "$3/names.XXXXXX")
. "$(dirname "$0")/lib.sh"
cli=$1

if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  echo "SKIP: needs root and unshare for a private hosts file"
  exit 77
fi
name=dual.tikora.test
printf '::1 %s\n127.0.0.1 %s\n' "$name" "$name" >"$work/hosts"
printf 'multi on\n' >"$work/host.conf"

# With AI_ADDRCONFIG a name keeps its IPv6 address only where the machine has
# one besides loopback.
if ! unshare -m sh -c 'mount --bind "$1/hosts" /etc/hosts && getent ahostsv6 "$2"' sh "$work" "$name" |
  grep -q '^::1 '; then
  echo "SKIP: no IPv6 address besides loopback, so names get no IPv6 address"
  exit 77
fi

# An answering Time service on 127.0.0.1 and, on the same port of [::1], a
# listener whose queue is full, so that the IPv6 connect never completes.
start_port_printer "$work/serve.out" "$work/serve.err" "$cli" serve --bind 127.0.0.1 --port 0
port=$(grep -o 'port [0-9]*' "$work/serve.out" | head -n 1 | cut -d' ' -f2)
python3 - "$port" >"$work/blocked.out" 2>&1 <<'PY' &
import socket, sys, time
port = int(sys.argv[1])
listener = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
listener.bind(("::1", port))
listener.listen(0)
queued = []
for _ in range(4):   # more than the queue holds: later SYNs are dropped
    s = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
    s.setblocking(False)
    try:
        s.connect(("::1", port))
    except BlockingIOError:
        pass
    queued.append(s)
print("ready", flush=True)
time.sleep(30)
PY
started_pids+=("$!")
for _ in $(seq 1 100); do grep -q ready "$work/blocked.out" 2>/dev/null && break; sleep 0.05; done

out=$(timeout 20 unshare -m sh -c '
  mount --bind "$1/hosts" /etc/hosts && mount --bind "$1/host.conf" /etc/host.conf &&
  exec "$2" check --port "$3" --timeout 5 --retries 0 "$4"' sh "$work" "$cli" "$port" "$name" 2>&1)
status=$?
[ "$status" -eq 0 ] || fail "check $name: exited $status: $out"
grep -qx "1>Connecting to $name \\[::1\\]" <<<"$out" || fail "check $name: no IPv6 attempt: $out"
grep -qx "1>Connecting to 127.0.0.1" <<<"$out" || fail "check $name: no IPv4 attempt: $out"
grep -q "^Correction:  " <<<"$out" || fail "check $name: no result: $out"

finish
