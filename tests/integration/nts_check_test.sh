#!/usr/bin/env bash
# tikora-cli check --nts end to end: against a real chronyd serving NTS on
# loopback (never touching the clock: -x), as text and JSON, through the name
# localhost, and several sources at once; then every hostile case once: a certificate from another
# authority, a certificate that does not name the host, TLS 1.2 only, no
# agreement on ntske/1, a plain and a silent server on the key exchange port,
# a key exchange error record, a relay that flips the authenticator, an
# unauthenticated reply from the NTP address, and the server's NTSN (its
# cookie spoiled on the way), which costs one new key exchange. A failed key
# exchange sends no NTP request.
# Usage: nts_check_test.sh TIKORA_CLI TIME_PEER WORK_DIR
set -u
cli=$1
time_peer=$2
mkdir -p "$3"
work=$(mktemp -d "$3/nts_check.XXXXXX")
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/chrony_lib.sh"
peer="$(dirname "$0")/nts_peer.py"
XDG_STATE_HOME=$(mktemp -d "$work/state.XXXXXX")
export XDG_STATE_HOME
XDG_DATA_HOME=$(mktemp -d "$work/data.XXXXXX")   # the history, the test's own
export XDG_DATA_HOME

if ! chrony_available || ! command -v openssl >/dev/null; then
  echo "chronyd with -x or openssl is missing: skipped"
  exit 77
fi

# certificate NAME SUBJECT_ALT_NAMES: $work/NAME.pem and $work/NAME.key
certificate() {
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$work/$1.key" \
    -out "$work/$1.pem" -days 2 -subj "/CN=$1" -addext "subjectAltName=$2" 2>/dev/null ||
    { echo "openssl could not make a certificate" >&2; exit 1; }
}
certificate localhost IP:127.0.0.1,DNS:localhost
certificate other.example DNS:other.example

free_tcp_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

ke_port=$(free_tcp_port)
chrony_start "ntsserverkey $work/localhost.key" "ntsservercert $work/localhost.pem" "ntsport $ke_port" \
  "bindaddress ::1" "ntsdumpdir $work" || { echo "chronyd did not start" >&2; exit 1; }
trap 'chrony_stop; stop_started' EXIT

# run_check CASE ARGS...: sets out and status; bounded.
run_check() {
  local name=$1
  shift
  out=$(timeout 30 "$cli" check --nts "$@" 2>&1)
  status=$?
  [ "$status" -ne 124 ] || fail "$name: did not end within 30 s"
}
expect() {   # CASE STATUS TEXT
  [ "$status" -eq "$2" ] || fail "$1: status $status, not $2: $out"
  grep -qF -- "$3" <<<"$out" || fail "$1: no line with '$3' in: $out"
}
expect_no_ntp() {   # CASE: the key exchange failed, so nothing was asked over NTP
  grep -qE '>Looking up host|>Reading time' <<<"$out" && fail "$1: an NTP request followed a failed key exchange: $out"
}

# The real server, by address and by name, text and JSON.
run_check chrony --nts-port "$ke_port" --ca "$work/localhost.pem" --timeout 5 127.0.0.1
expect chrony 0 "Authenticated: yes (NTS)"
expect chrony 0 ">TLS handshake done (TLS1.3, ntske/1)"
expect chrony 0 ">8 cookies received"
expect chrony 0 ">NTP server 127.0.0.1 port $chrony_port"
expect chrony 0 "Stratum:     8"
run_check name --nts-port "$ke_port" --ca "$work/localhost.pem" --timeout 5 localhost
expect name 0 "Authenticated: yes (NTS)"
json=$(timeout 30 "$cli" check --nts --nts-port "$ke_port" --ca "$work/localhost.pem" --samples 2 --json 127.0.0.1 2>/dev/null)
python3 - "$json" <<'PY' || fail "json: $json"
import json, sys
r = json.loads(sys.argv[1])
assert r["protocol"] == "nts" and r["authenticated"] is True and r["samples"] == 2, r
assert abs(r["offset"]) < 0.01, r
PY

# Several sources, each its own key exchange: localhost's two addresses (a
# private hosts file) are reached by number while the certificate, which does
# not name ::1, is checked against the name; 127.0.0.2's exchange finds nobody.
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  echo "note: several NTS sources need root and unshare for a hosts file; skipped" >&2
else
  printf '127.0.0.1 localhost\n::1 localhost\n' >"$work/hosts"
  printf 'multi on\n' >"$work/host.conf"
  several() {   # ARGS...: sets out and status
    out=$(timeout 30 unshare -m sh -c '
      mount --bind "$1/hosts" /etc/hosts && mount --bind "$1/host.conf" /etc/host.conf && shift && exec "$@"' \
      sh "$work" "$cli" check --nts --nts-port "$ke_port" --ca "$work/localhost.pem" --timeout 5 "$@" 2>&1)
    status=$?
  }
  several --every-address --json localhost
  expect every-address 0 '"agreeing":2'
  several --json --retries 0 localhost 127.0.0.2
  python3 - "$status" "$(grep '^{' <<<"$out")" "$("$cli" history --json)" <<'PY' || fail "several: $out"
import json, sys
r, h = json.loads(sys.argv[2]), json.loads(sys.argv[3])["records"][-1]
assert sys.argv[1] == "0" and r["protocol"] == "nts" and r["agreeing"] == 2, r
assert sorted((s["address"], s.get("authenticated"), "refused" in s.get("error", "")) for s in r["sources"]) == [
    ("127.0.0.1", True, False), ("127.0.0.2", None, True), ("::1", True, False)], r
assert h["protocol"] == "nts" and h["authenticated"] is True and h["server"] == "localhost 127.0.0.2", h
PY
fi

# The system's store does not hold the test's authority.
run_check untrusted --nts-port "$ke_port" --timeout 5 127.0.0.1
expect untrusted 1 ">Error: The server's certificate is not trusted: the certificate issuer is unknown."
expect_no_ntp untrusted
# Another authority given.
run_check other-authority --nts-port "$ke_port" --ca "$work/other.example.pem" --timeout 5 127.0.0.1
expect other-authority 1 "The server's certificate is not trusted"
expect_no_ntp other-authority

# A certificate for another name, trusted: the name check alone refuses it.
start_port_printer "$work/wrongname.out" "$work/wrongname.err" python3 "$peer" ke-error \
  "$work/other.example.pem" "$work/other.example.key" --bound 20
run_check wrong-name --nts-port "$printer_port" --ca "$work/other.example.pem" --timeout 5 127.0.0.1
expect wrong-name 1 "The server's certificate does not name 127.0.0.1 (wrong host name)"
expect_no_ntp wrong-name

start_port_printer "$work/error.out" "$work/error.err" python3 "$peer" ke-error \
  "$work/localhost.pem" "$work/localhost.key" --bound 20
run_check error-record --nts-port "$printer_port" --ca "$work/localhost.pem" --timeout 5 127.0.0.1
expect error-record 1 ">Error: The key exchange server sent error record Bad Request."
expect_no_ntp error-record

for case in "ke-tls12|does not speak TLS 1.3" "ke-alpn|does not agree to the protocol ntske/1"; do
  start_port_printer "$work/${case%%|*}.out" "$work/${case%%|*}.err" python3 "$peer" "${case%%|*}" \
    "$work/localhost.pem" "$work/localhost.key" --bound 20
  run_check "${case%%|*}" --nts-port "$printer_port" --ca "$work/localhost.pem" --timeout 5 127.0.0.1
  expect "${case%%|*}" 1 "${case#*|}"
  expect_no_ntp "${case%%|*}"
done

start_port_printer "$work/plain.out" "$work/plain.err" python3 "$peer" plain --bound 20
run_check plain --nts-port "$printer_port" --ca "$work/localhost.pem" --timeout 5 127.0.0.1
expect plain 1 "does not speak TLS"
expect_no_ntp plain

start_port_printer "$work/silent.out" "$work/silent.err" python3 "$peer" silent --bound 20
started=$SECONDS
run_check silent --nts-port "$printer_port" --ca "$work/localhost.pem" --timeout 2 --retries 0 127.0.0.1
expect silent 1 "No TLS answer from 127.0.0.1 within 2 s"
expect_no_ntp silent
[ $((SECONDS - started)) -le 6 ] || fail "silent: the time-out of 2 s took $((SECONDS - started)) s"

# The NTP path through relays: the key exchange is chronyd's, the NTP port the relay's.
relay() {   # CASE HOW
  start_port_printer "$work/$1.out" "$work/$1.err" python3 "$peer" relay "$2" "$chrony_port" --bound 20
  run_check "$1" --nts-port "$ke_port" --ca "$work/localhost.pem" --port "$printer_port" --timeout 1 --retries 0 127.0.0.1
}
relay flipped flip-auth
expect flipped 1 ">Note: a reply failed authentication; ignored."
expect flipped 1 ">Connection timed out..."
grep -q '^reply' "$work/flipped.err" || fail "flipped: chronyd's reply never passed the relay"
relay unauthenticated plain
expect unauthenticated 1 ">Note: an unauthenticated reply arrived; ignored."
relay ntsn spoil-cookie
expect ntsn 0 ">Error: the server no longer knows our cookies (kiss-o'-death NTSN)."
expect ntsn 0 "Authenticated: yes (NTS)"
[ "$(grep -c '>Key exchange with' <<<"$out")" -eq 2 ] || fail "ntsn: not exactly one new key exchange: $out"
grep -q "NTSN" "$work/ntsn.err" || fail "ntsn: chronyd sent no NTSN"
# Among several sources too, the source makes its one new exchange and counts.
start_port_printer "$work/ntsn2.out" "$work/ntsn2.err" python3 "$peer" relay spoil-cookie "$chrony_port" --bound 20
run_check ntsn-several --nts-port "$ke_port" --ca "$work/localhost.pem" --port "$printer_port" --retries 0 127.0.0.1 127.0.0.2
expect ntsn-several 0 "Agreeing:    1 of 1 that answered"
grep -q "NTSN" "$work/ntsn2.err" || fail "ntsn-several: chronyd sent no NTSN"

[ "$failures" -eq 0 ] || exit 1
echo "nts_check: all cases passed"
