#!/usr/bin/env bash
# Several servers at once, end to end: chronyd -x servers on 127.0.0.2-4 and
# [::1] tell the machine's own time, ntp_peer on other loopback addresses lies
# by a chosen offset, is silent or answers late, and a name in a private hosts
# file has four addresses. Each case checks who is believed and the exit status.
# Usage: multi_source_test.sh TIKORA_CLI TIME_PEER WORK_DIR (NTP_PEER in the environment)
set -u
cli=$1
mkdir -p "$3"
work=$(mktemp -d "$3/multi_source.XXXXXX")
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/chrony_lib.sh"
ntp_peer=${NTP_PEER:?NTP_PEER names the responder}
XDG_STATE_HOME=$(mktemp -d "$work/state.XXXXXX")
export XDG_STATE_HOME

if ! chrony_available; then
  echo "SKIP: chronyd with -x is not installed"
  exit 77
fi

# Every server on one port, each on its own loopback address.
chrony_fixed_port=$(chrony_free_udp_port)
port=$chrony_fixed_port
chrony_pids=()
chrony_dirs=()
stop_all() {
  local i
  for i in "${!chrony_pids[@]}"; do
    chrony_pid=${chrony_pids[$i]} chrony_dir=${chrony_dirs[$i]}
    chrony_stop
  done
  stop_started
}
trap stop_all EXIT

for chrony_address in 127.0.0.2 127.0.0.3 127.0.0.4 ::1; do
  # An IPv6 server would serve IPv4 on every address too: 127.0.0.9 keeps it apart.
  extra=()
  [[ $chrony_address == *:* ]] && extra=("bindaddress 127.0.0.9")
  if ! chrony_start "${extra[@]}"; then
    echo "chronyd -x did not start on $chrony_address" >&2
    exit 1
  fi
  chrony_pids+=("$chrony_pid")
  chrony_dirs+=("$chrony_dir")
done

# peer ADDRESS MODE [OPTIONS...]: an ntp_peer on ADDRESS, the shared port.
peer() {
  local address=$1
  shift
  start_port_printer "$work/peer.$address.out" "$work/peer.$address.err" \
    "$ntp_peer" "$@" --address "$address" --port "$port" --bound 60
}

# verdict_of ADDRESS: the verdict line's last word(s) for that source.
verdict_of() {
  sed -n "s/^[0-9]* $1\( ([^)]*)\)\?: //p" <<<"$out"
}

expect_verdict() {
  local got
  got=$(verdict_of "$2")
  [ "$got" = "$3" ] || fail "$1: $2 is '$got', expected '$3': $out"
}

# A liar 30 s ahead on 127.0.0.5: three honest servers outvote it.
peer 127.0.0.5 good --offset 30
run_check --ntp --port "$port" --timeout 2 --retries 0 127.0.0.2 127.0.0.3 ::1 127.0.0.5
expect_status "three good, one liar" 0
expect_verdict "three good, one liar" 127.0.0.5 falseticker
for address in 127.0.0.2 127.0.0.3 ::1; do
  [[ $(verdict_of "$address") =~ ^(selected|truechimer)$ ]] || fail "three good, one liar: $address: $out"
done
grep -qx 'Agreeing:    3 of 4 that answered' <<<"$out" || fail "three good, one liar: no agreement line: $out"
grep -Eq '^4>127\.0\.0\.5: offset \+(29\.99|30\.00)' <<<"$out" || fail "three good, one liar: the liar's own line: $out"
run_check --ntp --json --port "$port" --timeout 2 --retries 0 127.0.0.2 127.0.0.3 ::1 127.0.0.5
expect_status "three good, one liar, JSON" 0
python3 -c 'import json, sys; sys.exit(abs(json.loads(sys.argv[1])["offset"]) > 0.1)' "$out" ||
  fail "three good, one liar, JSON: the offset is not the majority's: $out"

# A second liar alike: two against two is no majority.
peer 127.0.0.6 good --offset 30
run_check --ntp --port "$port" --timeout 2 --retries 0 127.0.0.2 127.0.0.3 127.0.0.5 127.0.0.6
expect_status "two good, two liars" 1
grep -qx 'The servers disagree' <<<"$out" || fail "two good, two liars: no disagreement: $out"
run_check --ntp --json --port "$port" --timeout 2 --retries 0 127.0.0.2 127.0.0.3 127.0.0.5 127.0.0.6
expect_status "two good, two liars, JSON" 1
grep -q '"error":"The servers disagree"' <<<"$out" || fail "two good, two liars, JSON: $out"
stop_started

# Each check of several sources is one record: the majority's result, as
# asked of the selected source, or the disagreement.
history=$("$cli" history --json) || fail "history: $history"
python3 - "$history" <<'PY' || fail "history of several sources: $history"
import json, sys
records = json.loads(sys.argv[1])["records"]
agreed = [r for r in records if r["server"] == "127.0.0.2 127.0.0.3 ::1 127.0.0.5"]
assert len(agreed) == 2 and all(r["outcome"] == "completed" and abs(r["offset"]) < 0.1 for r in agreed), agreed
assert all(r["address"] != "127.0.0.5" for r in agreed), agreed
disagreed = [r for r in records if r["server"] == "127.0.0.2 127.0.0.3 127.0.0.5 127.0.0.6"]
assert len(disagreed) == 2 and all(r["reason"] == "The servers disagree" for r in disagreed), disagreed
PY

# A silent source fails on its own time-out; the three others decide.
peer 127.0.0.5 silent
started=$(date +%s%N)
run_check --ntp --port "$port" --timeout 2 --retries 0 127.0.0.2 127.0.0.3 127.0.0.4 127.0.0.5
elapsed_ms=$((($(date +%s%N) - started) / 1000000))
expect_status "one silent" 0
expect_verdict "one silent" 127.0.0.5 failed
grep -q '^4>127.0.0.5: Connection timed out' <<<"$out" || fail "one silent: its line: $out"
# All at once: one time-out, not one per source.
((elapsed_ms < 3500)) || fail "one silent: took $elapsed_ms ms for one 2 s time-out"
stop_started

# Very different delays: a source 400 ms away is no liar, only a loose one.
peer 127.0.0.5 good --wire-ms 400
peer 127.0.0.6 good --wire-ms 150
run_check --ntp --port "$port" --timeout 3 --retries 0 127.0.0.2 127.0.0.5 127.0.0.6 127.0.0.3
expect_status "different delays" 0
expect_verdict "different delays" 127.0.0.5 truechimer
expect_verdict "different delays" 127.0.0.6 truechimer
grep -q '^Delay:       0\.0[0-4]' <<<"$out" || fail "different delays: a loopback chronyd is not the one chosen: $out"
stop_started

# A name with four addresses, one of them refusing (nobody on 127.0.0.7).
if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
  echo "note: the four-address name needs root and unshare; skipped" >&2
else
  name=four.tikora.test
  printf '127.0.0.2 %s\n127.0.0.3 %s\n127.0.0.7 %s\n127.0.0.4 %s\n' "$name" "$name" "$name" "$name" >"$work/hosts"
  printf 'multi on\n' >"$work/host.conf"
  out=$(timeout 30 unshare -m sh -c '
    mount --bind "$1/hosts" /etc/hosts && mount --bind "$1/host.conf" /etc/host.conf &&
    exec "$2" check --ntp --every-address --port "$3" --timeout 2 --retries 0 "$4"' \
    sh "$work" "$cli" "$port" "$name" 2>&1)
  status=$?
  expect_status "four addresses" 0
  expect_verdict "four addresses" 127.0.0.7 failed
  grep -q "^[0-9]>127.0.0.7 ($name): .*refused" <<<"$out" || fail "four addresses: the refusing one: $out"
  grep -qx 'Agreeing:    3 of 3 that answered' <<<"$out" || fail "four addresses: three agree: $out"
fi

stop_all
trap - EXIT
finish
