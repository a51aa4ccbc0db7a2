#!/usr/bin/env bash
# Every address of a name, through the dual-stack transport: a name whose
# IPv6 address never completes a connect (full backlog on [::1]) and whose
# IPv4 address answers connects through IPv4 within half a second; a numeric
# host needs no look-up thread. The name comes from a hosts file
# bind-mounted in a mount namespace of this test alone.
# Usage: ipv6_names_test.sh TIKORA_CLI TIME_PEER WORK_DIR
set -u
mkdir -p "$3"
work=$(mktemp -d "$3/names.XXXXXX")
. "$(dirname "$0")/lib.sh"

program=${HAPPY_EYEBALLS_BENCH:-}
if [ -z "$program" ] || [ ! -x "$program" ]; then
  echo "SKIP: the happy_eyeballs_bench program was not built"
  exit 77
fi
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  echo "SKIP: needs root and unshare for a private hosts file"
  exit 77
fi
name=dual.tikora.test
printf '::1 %s\n127.0.0.1 %s\n' "$name" "$name" >"$work/hosts"
printf 'multi on\n' >"$work/host.conf"

# open_once HOST: the notices of one open and its time, from inside the namespace.
open_once() {
  TIKORA_BENCH_NAME=$1 timeout 20 unshare -m sh -c '
    mount --bind "$1/hosts" /etc/hosts && mount --bind "$1/host.conf" /etc/host.conf && exec "$2" --once' \
    sh "$work" "$program" 2>&1
}

# With AI_ADDRCONFIG a name keeps its IPv6 address only where the machine has
# one besides loopback.
if ! unshare -m sh -c 'mount --bind "$1/hosts" /etc/hosts && getent ahostsv6 "$2"' sh "$work" "$name" |
  grep -q '^::1 '; then
  echo "SKIP: no IPv6 address besides loopback, so names get no IPv6 address"
  exit 77
fi

out=$(open_once "$name")
status=$?
[ "$status" -eq 0 ] || fail "name: exited $status: $out"
[ "$(sed '$d' <<<"$out")" = "looking up
connecting $name [::1]
connecting 127.0.0.1
connected" ] || fail "name: notices: $out"
last=$(tail -n 1 <<<"$out")
if [[ "$last" =~ ^after\ ([0-9]+)\.[0-9]\ ms,\ 1\ look-up\ thread\(s\)$ ]]; then
  ms=${BASH_REMATCH[1]}
  ((ms >= 240 && ms < 500)) || fail "name: connected after $ms ms (250 to 500 expected)"
else
  fail "name: last line: $last"
fi

out=$(open_once 127.0.0.1)
[ "$(tail -n 2 <<<"$out" | sed 's/after [0-9.]* ms/after N ms/')" = "connected
after N ms, 0 look-up thread(s)" ] || fail "numeric host: $out"

finish
