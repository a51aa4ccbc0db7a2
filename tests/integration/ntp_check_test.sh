#!/usr/bin/env bash
# tikora-cli check --ntp end to end: against ntp_peer in every hostile mode
# (the exit status and the line that names the fault), a server that refused
# access left alone by the next run, with an offset, with several samples, as
# JSON, and against a real chronyd that never touches the clock (-x).
# Usage: ntp_check_test.sh TIKORA_CLI TIME_PEER WORK_DIR (NTP_PEER in the environment)
set -u
cli=$1
time_peer=$2
mkdir -p "$3"
work=$(mktemp -d "$3/ntp_check.XXXXXX")
. "$(dirname "$0")/lib.sh"
ntp_peer=${NTP_PEER:?NTP_PEER names the responder}
# The servers that refused access are remembered here, never in the user's folder.
XDG_STATE_HOME=$(mktemp -d "$work/state.XXXXXX")
export XDG_STATE_HOME

# start_ntp MODE [OPTIONS...]: sets ntp_pid and ntp_port; the peer counts
# the requests it reads in $work/ntp.err.
start_ntp() {
  start_port_printer "$work/ntp.out" "$work/ntp.err" "$ntp_peer" "$@" --bound 40
  ntp_pid=$printer_pid
  ntp_port=$printer_port
}

stop_ntp() {
  kill "$ntp_pid" 2>/dev/null
  wait "$ntp_pid" 2>/dev/null
}

requests_seen() {
  grep -c '^request ' "$work/ntp.err"
}

# expect_line CASE TEXT: some stdout line holds TEXT.
expect_line() {
  grep -qF -- "$2" <<<"$out" || fail "$1: no line with '$2' in: $out"
}

# MODE|PEER OPTIONS|CHECK OPTIONS|STATUS|TEXT IN THE LOG|REQUESTS THE PEER SEES
cases=(
  "good|||0|Stratum:     2|1"
  "good|||0|Reference:   127.0.0.1|1"
  "kiss||--retries 3|1|>Error: the server sent kiss-o'-death RATE: it asks us to slow down.|1"
  "kiss|--code DENY|--retries 3|1|kiss-o'-death DENY: it refuses access|1"
  "kiss|--code RSTR||1|kiss-o'-death RSTR: it refuses access|1"
  "leap3|||1|>Error: the server is not synchronised (leap indicator 3).|1"
  "stratum16|||1|>Error: the server is not synchronised (stratum 16).|1"
  "far|||1|too far from its reference (root distance 2.002 s, over 1.5 s)|1"
  "mode3|||1|>Error: the reply is not a server's (mode 3).|1"
  "zero-transmit|||1|>Error: the reply carries no transmit time.|1"
  "zero-receive|||1|>Error: the reply carries no receive time.|1"
  "1970|||1|>Error: the server's time 1970-01-01 00:00:0|1"
  "receive-early|||1|>Error: the server says it held the request 100.000 s, over 4 s.|1"
  "receive-late|||1|>Error: the server says it sent the reply 100.000 s before it received the request.|1"
  "short||--timeout 1 --retries 0|1|>Connection timed out...|1"
  "short|--length 0|--timeout 1 --retries 0|1|>Connection timed out...|1"
  "short-first|--gap-ms 200||0|Correction:  |1"
  "flood|--gap-ms 200||0|Correction:  |1"
  "wrong-origin||--timeout 1 --retries 0|1|>Note: a reply that does not answer our request was ignored.|1"
  "forged-first|--gap-ms 200||0|>Note: a reply that does not answer our request was ignored.|1"
  "other-port||--timeout 1 --retries 0|1|>Connection timed out...|1"
  "silent||--timeout 1 --retries 2|1|>Attempt #3|3"
)
for row in "${cases[@]}"; do
  IFS='|' read -r mode peer_options check_options wanted text wanted_requests <<<"$row"
  XDG_STATE_HOME=$(mktemp -d "$work/state.XXXXXX")   # no case holds back another's server
  # shellcheck disable=SC2086
  start_ntp "$mode" $peer_options
  # A case's own time-out replaces the default: an option may be given once.
  case " $check_options " in *" --timeout "*) timeout_option=() ;; *) timeout_option=(--timeout 5) ;; esac
  # shellcheck disable=SC2086
  run_check --ntp --port "$ntp_port" "${timeout_option[@]}" $check_options 127.0.0.1
  name="$mode $peer_options $check_options"
  expect_status "$name" "$wanted"
  expect_line "$name" "$text"
  if [ "$wanted" -eq 0 ]; then
    expect_line "$name" "Correction:  "
  else
    grep -q '^Server time:' <<<"$out" && fail "$name: a result from a refused exchange: $out"
    grep -qE '^Offset:|Clocks Match!' <<<"$out" && fail "$name: an offset from a refused exchange: $out"
  fi
  # However many datagrams came, one reading per request and a log a person can read.
  (($(grep -c '>Reading time' <<<"$out") <= $(requests_seen))) || fail "$name: more than one '>Reading time' per request: $out"
  (($(wc -l <<<"$out") < 100)) || fail "$name: $(wc -l <<<"$out") lines of output"
  sleep 0.2   # a retry the check should not have made would arrive by now
  [ "$(requests_seen)" -eq "$wanted_requests" ] ||
    fail "$name: the peer read $(requests_seen) request(s), expected $wanted_requests"
  stop_ntp
done

# DENY: the next run within the hour does not ask the server at all, and
# says why at once; a run with another state folder knows nothing of it.
XDG_STATE_HOME=$(mktemp -d "$work/state.XXXXXX")
start_ntp kiss --code DENY
run_check --ntp --port "$ntp_port" 127.0.0.1
expect_status "DENY" 1
expect_line "DENY" "kiss-o'-death DENY: it refuses access"
[ -s "$XDG_STATE_HOME/tikora/refused_servers" ] || fail "DENY: nothing kept in $XDG_STATE_HOME/tikora"
started=$(date +%s%N)
run_check --ntp --port "$ntp_port" --timeout 5 127.0.0.1
took_ms=$((($(date +%s%N) - started) / 1000000))
expect_status "DENY again" 1
expect_line "DENY again" ">Error: 127.0.0.1 refused access (kiss-o'-death DENY) at "
expect_line "DENY again" " UTC; not asked again before "
((took_ms < 2000)) || fail "DENY again: took $took_ms ms, expected at once"
sleep 0.2
[ "$(requests_seen)" -eq 1 ] || fail "DENY again: the peer read $(requests_seen) requests, expected 1"
XDG_STATE_HOME=$(mktemp -d "$work/state.XXXXXX") run_check --ntp --port "$ntp_port" 127.0.0.1
expect_line "DENY, other state folder" "kiss-o'-death DENY: it refuses access"
sleep 0.2
[ "$(requests_seen)" -eq 2 ] || fail "DENY, other state folder: the peer read $(requests_seen) requests, expected 2"
stop_ntp

# The offset the server adds comes back, give or take the loopback's noise.
start_ntp good --offset 2.345678
run_check --ntp --port "$ntp_port" 127.0.0.1
expect_status "offset" 0
offset=$(sed -n 's/^Offset:      \([-+0-9.]*\) s$/\1/p' <<<"$out")
python3 -c "import sys; sys.exit(abs(float('$offset') - 2.345678) > 0.1)" 2>/dev/null ||
  fail "offset: '$offset', expected 2.345678 within 0.1 s: $out"
expect_line "offset" "Correction:  + 2.3"
stop_ntp

# JSON: one object on stdout with numbers in seconds; the log goes to stderr.
start_ntp good --offset -1.25
run_check --ntp --json --port "$ntp_port" 127.0.0.1
expect_status "json" 0
python3 -c '
import json, sys
o = json.loads(sys.argv[1])
assert isinstance(o["offset"], float) and abs(o["offset"] + 1.25) < 0.1, o
assert isinstance(o["delay"], float) and 0 <= o["delay"] < 1, o
assert o["stratum"] == 2 and o["refid"] == "127.0.0.1" and o["leap"] == 0, o
assert o["server"] == "127.0.0.1" and o["samples"] == 1, o
' "$out" || fail "json: $out"
grep -q '^[0-9]*>Disconnected\.$' <<<"$err" || fail "json: no log on stderr: $err"
stop_ntp
start_ntp kiss
run_check --ntp --json --port "$ntp_port" 127.0.0.1
expect_status "json kiss" 1
python3 -c '
import json, sys
o = json.loads(sys.argv[1])
assert "RATE" in o["error"] and o["protocol"] == "ntp", o
' "$out" || fail "json kiss: $out"
stop_ntp
# The Time protocol's JSON: whole seconds, no delay.
start_peer good --offset 3
run_check --json --port "$peer_port" 127.0.0.1
expect_status "json rfc868" 0
python3 -c '
import json, sys
o = json.loads(sys.argv[1])
assert isinstance(o["offset"], int) and abs(o["offset"] - 3) <= 1 and "delay" not in o, o
' "$out" || fail "json rfc868: $out"
stop_peer

# Three samples two seconds apart: four seconds at least, one line each.
start_ntp good
started=$(date +%s%N)
run_check --ntp --samples 3 --port "$ntp_port" 127.0.0.1
took_ms=$((($(date +%s%N) - started) / 1000000))
expect_status "samples" 0
((took_ms >= 4000)) || fail "samples: three samples took $took_ms ms, expected at least 4000"
[ "$(grep -c '^[0-9]*>Sample [123] of 3: offset ' <<<"$out")" -eq 3 ] || fail "samples: not one line per sample: $out"
expect_line "samples" "Samples:     3"
[ "$(requests_seen)" -eq 3 ] || fail "samples: the peer read $(requests_seen) requests, expected 3"
stop_ntp

# The server is gone after the first answer (the port refuses): the one
# taken is the result, with no retry.
start_ntp good --requests 1
run_check --ntp --samples 3 --timeout 1 --retries 3 --port "$ntp_port" 127.0.0.1
expect_status "gone after one" 0
expect_line "gone after one" ": keeping the best of 1 sample"
expect_line "gone after one" "Samples:     1"
grep -q 'Attempt #' <<<"$out" && fail "gone after one: retried: $out"
stop_ntp

# Usage errors end before any socket is made.
for bad in "--samples 0" "--samples 9" "--samples x" "--samples 2" "--ntp --udp"; do
  # shellcheck disable=SC2086
  run_check $bad 127.0.0.1
  expect_status "usage $bad" 2
  [ -n "$err" ] || fail "usage $bad: no message"
done

# A real NTP server that never touches the clock: chronyd -x on loopback.
. "$(dirname "$0")/chrony_lib.sh"
if ! chrony_available; then
  echo "chronyd with -x is not installed: the real-server case is skipped"
elif ! chrony_start; then
  fail "chronyd -x did not start on 127.0.0.1"
else
  trap 'chrony_stop; stop_started' EXIT   # however the script ends
  run_check --ntp --timeout 2 --retries 1 --port "$chrony_port" 127.0.0.1
  expect_status "chronyd -x" 0
  expect_line "chronyd -x" "Stratum:     8"
  expect_line "chronyd -x" "Reference:   "
  offset=$(sed -n 's/^Offset:      \([-+0-9.]*\) s$/\1/p' <<<"$out")
  python3 -c "import sys; sys.exit(abs(float('$offset')) > 0.1)" 2>/dev/null ||
    fail "chronyd -x: offset '$offset' of the machine's own clock is not near 0: $out"
  chrony_stop
fi

stop_started
finish
