#!/usr/bin/env bash
# The NTP test responder does what each mode promises, seen by a client that
# shares no code with the project (Python's struct), so the NTP check's own
# tests can trust it.
# Usage: ntp_peer_test.sh TIKORA_CLI TIME_PEER WORK_DIR (NTP_PEER in the environment)
set -u
mkdir -p "$3"
work=$(mktemp -d "$3/ntp_peer.XXXXXX")
. "$(dirname "$0")/lib.sh"
ntp_peer=${NTP_PEER:?NTP_PEER names the responder}

# ask MODE [OPTIONS...]: starts the peer, sends requests, prints what came back.
ask() {
  local mode=$1
  shift
  : >"$work/$mode.port"
  "$ntp_peer" "$mode" --bound 10 "$@" >"$work/$mode.port" 2>"$work/$mode.err" &
  # Called inside $( ): the peer is stopped here, not by the caller's list.
  local pid=$!
  local port="" i
  for ((i = 0; i < 100; i++)); do
    port=$(head -n 1 "$work/$mode.port")
    [ -n "$port" ] && break
    sleep 0.05
  done
  [ -n "$port" ] || { echo "ntp_peer $mode printed no port"; kill "$pid"; return; }
  timeout 10 python3 - "$port" <<'PY'
import os, socket, struct, sys, time
port = int(sys.argv[1])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 0))
s.settimeout(1.0)   # the first reply may be held; later ones come quickly
bits = struct.unpack(">Q", os.urandom(8))[0]
t1 = time.time()
s.sendto(struct.pack(">B47x", 0x23)[:40] + struct.pack(">Q", bits), ("127.0.0.1", port))
# A loaded machine may answer late: the offset only has to be within 20 ms of the one asked for.
expected = float(os.environ.get("EXPECT_OFFSET", "0"))
while True:
    try:
        data, sender = s.recvfrom(512)
    except socket.timeout:
        print("silence")
        break
    t4 = time.time()
    s.settimeout(0.3)
    fields = ["len=%d" % len(data), "port=%s" % ("same" if sender[1] == port else "other")]
    if len(data) >= 48:
        b0, stratum, _, _, rd, rdisp, refid, _, org, rx, tx = struct.unpack(">BBbbII4sQQQQ", data[:48])
        t2 = (rx >> 32) - 2208988800 + (rx & 0xFFFFFFFF) / 2**32
        t3 = (tx >> 32) - 2208988800 + (tx & 0xFFFFFFFF) / 2**32
        fields += ["leap=%d" % (b0 >> 6), "version=%d" % ((b0 >> 3) & 7), "mode=%d" % (b0 & 7),
                   "stratum=%d" % stratum, "origin=%s" % ("ok" if org == bits else "wrong"),
                   "refid=%s" % (refid.rstrip(b"\0").decode("ascii", "replace") if stratum < 2 else socket.inet_ntoa(refid)),
                   "transmit=%s" % ("zero" if tx == 0 else "set"), "receive=%s" % ("zero" if rx == 0 else "set"),
                   "dispersion=%.3f" % (rdisp / 65536)]
        if tx:
            fields += ["year=%d" % time.gmtime(max(t3, 0)).tm_year]
        if tx and rx:
            offset = ((t2 - t1) + (t3 - t4)) / 2
            fields += ["offset=%s" % ("as-asked" if abs(offset - expected) <= 0.020 else "%.3f" % offset),
                       "held=%.1f" % (t3 - t2)]
    print(" ".join(fields))
PY
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}

# expect MODE "WORDS..." [OPTIONS...]: every word appears in the reply line(s).
expect() {
  local mode=$1 words=$2
  shift 2
  local got word
  got=$(ask "$mode" "$@")
  for word in $words; do
    case " $(echo $got) " in
      *" $word "*) ;;
      *) fail "ntp_peer $mode $*: no '$word' in: $got" ;;
    esac
  done
}

expect good "len=48 port=same leap=0 version=4 mode=4 stratum=2 origin=ok refid=127.0.0.1 transmit=set offset=as-asked"
EXPECT_OFFSET=2.345678 expect good "offset=as-asked origin=ok" --offset 2.345678
EXPECT_OFFSET=-1.25 expect good "offset=as-asked" --offset -1.25
expect good "held=0.3 offset=as-asked" --delay-ms 300
expect kiss "stratum=0 leap=3 refid=RATE origin=ok"
expect kiss "stratum=0 refid=DENY" --code DENY
expect leap3 "leap=3 stratum=2"
expect stratum16 "leap=0 stratum=16"
expect far "dispersion=2.000"
expect wrong-origin "origin=wrong mode=4"
expect mode3 "mode=3 origin=ok"
expect zero-transmit "transmit=zero"
expect zero-receive "receive=zero transmit=set origin=ok"
expect 1970 "year=1970 receive=set origin=ok"
expect receive-early "held=100.0 origin=ok"
expect receive-late "held=-100.0 origin=ok"
expect short "len=40"
expect short "len=0" --length 0
expect silent "silence"
expect good "silence" --ignore-first 1
expect other-port "port=other origin=ok"
# A short datagram first, the whole reply after it.
got=$(ask short-first --gap-ms 200)
[ "$(echo "$got" | sed -n 's/^\(len=[0-9]*\).*/\1/p' | tr '\n' ' ')" = "len=40 len=48 " ] ||
  fail "short-first: $got"
# Thousands of datagrams that answer nothing, and the true reply last.
got=$(ask flood --gap-ms 200)
datagrams=$(echo "$got" | grep '^len=')
flood_lines=$(echo "$datagrams" | wc -l)
last=$(echo "$datagrams" | tail -n 1)
case " $last " in
  *" len=48 "*" origin=ok "*) ;;
  *) fail "flood: the last datagram is not the reply: $last" ;;
esac
(( flood_lines > 100 )) || fail "flood: only $flood_lines datagrams came: $got"
echo "$datagrams" | head -n -1 | grep -q 'origin=ok' && fail "flood: a flood datagram answered the request"
# The forged reply comes first, the true one after it.
got=$(ask forged-first --gap-ms 100)
[ "$(echo "$got" | sed -n 's/.*\(origin=[a-z]*\).*/\1/p' | tr '\n' ' ')" = "origin=wrong origin=ok " ] ||
  fail "forged-first: $got"

# The responder ends by itself at its bound, and after --requests.
"$ntp_peer" silent --bound 1 >/dev/null 2>&1 &
pid=$!
started_pids+=("$pid")
sleep 3
kill -0 "$pid" 2>/dev/null && fail "ntp_peer outlived its bound"
: >"$work/once.port"
"$ntp_peer" good --requests 1 >"$work/once.port" 2>/dev/null &
pid=$!
started_pids+=("$pid")
sleep 0.3
port=$(head -n 1 "$work/once.port")
python3 -c "import socket; socket.socket(socket.AF_INET, socket.SOCK_DGRAM).sendto(b'\x23' + bytes(47), ('127.0.0.1', $port))"
sleep 1
kill -0 "$pid" 2>/dev/null && fail "ntp_peer outlived its one request"

stop_started
[ "$failures" -eq 0 ] && echo "ntp_peer: every mode as promised"
exit $((failures > 0))
