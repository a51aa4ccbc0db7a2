#!/usr/bin/env bash
# The chrony reference that the NTP tests and benchmarks lean on does what
# chrony_lib.sh promises: chronyd runs with -x only, serves 127.0.0.1 as a
# stratum 8 local reference, chronyd -Q's figure carries an NTP offset's sign,
# and a stop leaves neither the process nor its folder behind.
# Usage: chrony_lib_test.sh TIKORA_CLI TIME_PEER WORK_DIR (NTP_PEER in the environment)
set -u
mkdir -p "$3"
work=$(mktemp -d "$3/chrony_lib.XXXXXX")
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/chrony_lib.sh"
ntp_peer=${NTP_PEER:?NTP_PEER names the responder}
chrony_available || { echo "SKIP: $chrony_program with -x is not installed"; exit 77; }
export TMPDIR=$work
trap 'chrony_stop; stop_started' EXIT

# within VALUE WANTED TOLERANCE
within() {
  python3 -c 'import sys; v, w, t = map(float, sys.argv[1:]); sys.exit(abs(v - w) > t)' "$1" "$2" "$3"
}

chrony_start || { fail "chronyd did not start"; finish; }
pid=$chrony_pid dir=$chrony_dir
# The one safety that matters: the server can never steer this clock.
cmdline=$(tr '\0' ' ' <"/proc/$pid/cmdline")
case " $cmdline " in
  *" -x "*) ;;
  *) fail "chronyd runs without -x: $cmdline" ;;
esac
reply=$(timeout 5 python3 - "$chrony_port" <<'PY'
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.settimeout(2)
s.connect(("127.0.0.1", int(sys.argv[1])))
s.send(b"\x23" + bytes(47))
r = s.recv(512)
print("leap=%d mode=%d stratum=%d" % (r[0] >> 6, r[0] & 7, r[1]))
PY
)
[ "$reply" = "leap=0 mode=4 stratum=8" ] || fail "chronyd's reply: '$reply', expected leap=0 mode=4 stratum=8"

# Server and client share this machine's clock: chronyd -Q finds no offset.
offset=$(chrony_measure "$chrony_port") || fail "chronyd -Q measured nothing on chronyd"
within "${offset:-9}" 0 0.005 || fail "chronyd -Q on our own clock: $offset s, expected 0 within 5 ms"

# A server ahead reads positive, as NTP offsets do (server minus this machine).
"$ntp_peer" good --offset 2.345678 --bound 30 >"$work/peer.port" 2>"$work/peer.err" &
started_pids+=($!)
for ((i = 0; i < 100; i++)); do
  peer_port=$(head -n 1 "$work/peer.port")
  [ -n "$peer_port" ] && break
  sleep 0.05
done
offset=$(chrony_measure "$peer_port") || fail "chronyd -Q measured nothing on ntp_peer"
within "${offset:-9}" 2.345678 0.005 || fail "chronyd -Q, server 2.345678 s ahead: $offset s"

chrony_stop
kill -0 "$pid" 2>/dev/null && fail "chronyd $pid outlived chrony_stop"
[ -e "$dir" ] && fail "chrony_stop left $dir"
finish
