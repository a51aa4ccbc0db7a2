#!/usr/bin/env bash
# `tikora-cli check` against loopback servers that answer well, slowly, in
# part, not at all, or never accept: the log lines and the exit status of each.
# Usage: hostile_servers_test.sh TIKORA_CLI TIME_PEER WORK_DIR
set -u
cli=$1
time_peer=$2
mkdir -p "$3"
work=$(mktemp -d "$3/hostile.XXXXXX")
. "$(dirname "$0")/lib.sh"

# Every attempt of a check that times out before any data: N is the check
# number, from 1 to 1 + retries; `connected` when the peer accepts.
timed_out_log() {
  local retries=$1 connected=$2 n
  for ((n = 1; n <= retries + 1; n++)); do
    echo "$n>Looking up host"
    echo "$n>Connecting to 127.0.0.1"
    [ "$connected" = connected ] && echo "$n>Connected..."
    echo "$n>Connection timed out..."
    ((n <= retries)) && echo "$n>Attempt #$((n + 1))"
  done
  return 0
}

connected_log="1>Looking up host
1>Connecting to 127.0.0.1
1>Connected..."

# --- Servers that answer in full -------------------------------------------
start_peer good
run_check --port "$peer_port" 127.0.0.1
expect_status good 0
out_log=$(without_reads)
[ "$out_log" = "$connected_log
1>Disconnected." ] || fail "good: log is: $out"
(($(count_reads) >= 1)) || fail "good: no '1>Reading time' line"
expect_result good 0 1
stop_peer

# The server's clock ahead and behind: the sign of the correction follows it.
for offset in 125 -3600; do
  start_peer good --offset "$offset"
  run_check --port "$peer_port" 127.0.0.1
  expect_status "good, offset $offset" 0
  expect_result "good, offset $offset" "$offset" 1
  stop_peer
done

# A server that says 1970 is refused, however far the PC's clock is from it.
start_peer good --offset "-$(date +%s)"
run_check --port "$peer_port" 127.0.0.1
expect_status "says 1970" 1
grep -qF ">Error: the server's time 1970-01-01 00:00:0" <<<"$out" || fail "says 1970: no refusal in: $out"
grep -qE '^(Server time|Correction):' <<<"$out" && fail "says 1970: a result from a refused time: $out"
stop_peer

# One byte per write: the four bytes are gathered over several reads.
start_peer drip
run_check --port "$peer_port" 127.0.0.1
expect_status drip 0
out_log=$(without_reads)
[ "$out_log" = "$connected_log
1>Disconnected." ] || fail "drip: log is: $out"
reads=$(count_reads)
((reads >= 1 && reads <= 4)) || fail "drip: $reads '1>Reading time' lines, expected 1 to 4"
expect_result drip 0 1
stop_peer
# The peer reports a failed write: the client must not close before the last byte.
[ ! -s "$work/peer.drip.err" ] || fail "drip: peer: $(cat "$work/peer.drip.err")"

# --- Servers that break off ------------------------------------------------
start_peer close
run_check --port "$peer_port" --timeout 5 127.0.0.1
expect_status "close without data" 1
expect_output "close without data" "$connected_log
1>Connection closed by host."
stop_peer

start_peer two-then-close
run_check --port "$peer_port" --timeout 5 127.0.0.1
expect_status "two bytes then close" 1
out_log=$(without_reads)
[ "$out_log" = "$connected_log
1Error reading timestamp." ] || fail "two bytes then close: log is: $out"
stop_peer

# Three bytes and silence: the time-out ends the check without a retry, as
# data did arrive.
start_peer three-then-silent
run_check --port "$peer_port" --timeout 1 --retries 3 127.0.0.1
expect_status "three bytes then silence" 1
out_log=$(without_reads)
[ "$out_log" = "$connected_log
1Error reading timestamp." ] || fail "three bytes then silence: log is: $out"
stop_peer

# --- Servers that never answer ---------------------------------------------
start_peer silent
run_check --port "$peer_port" --timeout 1 --retries 0 127.0.0.1
expect_status "silent, no retry" 1
expect_output "silent, no retry" "$(timed_out_log 0 connected)"
run_check --port "$peer_port" --timeout 1 --retries 3 127.0.0.1
expect_status "silent, 3 retries" 1
expect_output "silent, 3 retries" "$(timed_out_log 3 connected)"
stop_peer

# A full accept queue: the connection itself never completes. No --retries:
# the default is three.
start_peer hang
run_check --port "$peer_port" --timeout 1 127.0.0.1
expect_status "connect hangs, default retries" 1
expect_output "connect hangs, default retries" "$(timed_out_log 3 not-connected)"
run_check --port "$peer_port" --timeout 1 --retries 0 127.0.0.1
expect_status "connect hangs, no retry" 1
expect_output "connect hangs, no retry" "$(timed_out_log 0 not-connected)"
stop_peer

# --- No server -------------------------------------------------------------
port=$(free_port)
run_check --port "$port" --timeout 5 127.0.0.1
expect_status refused 1
expect_output refused "1>Looking up host
1>Connecting to 127.0.0.1
1>Error 10061 (Connection refused) connecting"

# .invalid never resolves (RFC 6761); the reason goes to stderr only.
run_check --timeout 5 --retries 0 no-such-host.invalid
expect_status "unknown host" 1
expect_output "unknown host" "1>Looking up host
1>Error: unable to create socket."
[ -n "$err" ] || fail "unknown host: no reason on stderr"

# --- Usage -----------------------------------------------------------------
for args in "" "--timeout abc 127.0.0.1" "--timeout -1 127.0.0.1" "--retries x 127.0.0.1" \
            "--port" "--bogus 127.0.0.1" "$(printf 'h%d ' {1..17})"; do
  # shellcheck disable=SC2086 # the words are the arguments
  run_check $args
  expect_status "usage '$args'" 2
  [ -z "$out" ] || fail "usage '$args': the log must stay empty, got: $out"
  [ -n "$err" ] || fail "usage '$args': no message on stderr"
done
run_check --help
expect_status --help 0
grep -q '^Usage: tikora-cli check' <<<"$out" || fail "--help: no usage text: $out"

finish
