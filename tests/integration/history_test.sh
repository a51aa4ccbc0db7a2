#!/usr/bin/env bash
# The check history end to end: twenty terminal checks at once while the
# window runs leave twenty records; checks killed with SIGKILL mid-write leave
# a sound database with every completed check; a database that is garbage,
# unreadable or on a full disk never fails a check and is never overwritten;
# a server whose clock runs fast by a known rate gives that rate back.
# Usage: history_test.sh TIKORA_CLI TIME_PEER WORK_DIR TIKORA (NTP_PEER in the environment)
set -u
cli=$1
tikora=$4
mkdir -p "$3"
work=$(mktemp -d "$3/history.XXXXXX")
. "$(dirname "$0")/lib.sh"
ntp_peer=${NTP_PEER:?NTP_PEER names the ntp_peer program}
command -v sqlite3 >/dev/null || { echo "SKIP: sqlite3 is not installed"; exit 77; }

export TZ=UTC LC_ALL=C.UTF-8 XDG_STATE_HOME=$work/state
db=$XDG_DATA_HOME/tikora/history.sqlite

# A loopback NTP server for every check here.
start_port_printer "$work/ntp.out" "$work/ntp.err" "$ntp_peer" good --bound 110
ntp_port=$printer_port

count() { sqlite3 "$db" "SELECT count(*) FROM checks WHERE completed = 1"; }
check_quietly() { timeout 30 "$cli" check --ntp --timeout 5 --retries 0 --port "$ntp_port" "$@" 127.0.0.1; }

# --- Twenty checks at once while the window holds the same file open ---
XDG_RUNTIME_DIR=$(mktemp -d /tmp/tikora-run.XXXXXX)
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR
trap 'stop_started; rm -rf "$XDG_RUNTIME_DIR"' EXIT
mkdir -p "$XDG_CONFIG_HOME"
printf '[ViewForm]\nAdjust=0\nAutoConnect=0\n' >"$XDG_CONFIG_HOME/Tikora.ini"
QT_QPA_PLATFORM=offscreen "$tikora" >"$work/window.out" 2>&1 &
window_pid=$!
started_pids+=("$window_pid")
for ((i = 0; i < 100; i++)); do [ -e "$db" ] && break; sleep 0.05; done
[ -e "$db" ] || fail "the window made no history file ($(cat "$work/window.out"))"

pids=()
for ((i = 0; i < 20; i++)); do
  check_quietly >"$work/many.$i.out" 2>"$work/many.$i.err" &
  pids+=($!)
done
completed=0
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" && completed=$((completed + 1))
  grep -q "history" "$work/many.$i.err" && fail "check $i reported on the history: $(cat "$work/many.$i.err")"
done
[ "$completed" -eq 20 ] || fail "twenty checks at once: $completed completed"
[ "$(count)" -eq 20 ] || fail "twenty checks at once: $(count) records"
kill -0 "$window_pid" 2>/dev/null || fail "the window ended during the checks"

check_quietly --no-record >/dev/null 2>&1 || fail "--no-record: the check failed"
[ "$(count)" -eq 20 ] || fail "--no-record: a record was written"

# --- SIGKILL during writes: a sound file, no completed check lost ---
killed=0
started=$(sqlite3 "$db" "SELECT count(*) FROM checks")
mkfifo "$work/never"
exec 9<>"$work/never"   # read -t on it: a pause of milliseconds without a process
for ((round = 0; round < 60; round++)); do
  pids=()
  for ((i = 0; i < 6; i++)); do
    check_quietly >/dev/null 2>&1 &
    pids+=($!)
  done
  # Spread over a check's few milliseconds, so some land inside a write.
  read -r -t "$(printf '0.%03d' $((RANDOM % 25)))" -u 9
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    if wait "$pid"; then completed=$((completed + 1)); else killed=$((killed + 1)); fi
  done
done
verdict=$(sqlite3 "$db" "PRAGMA integrity_check")
[ "$verdict" = ok ] || fail "after $killed kills: integrity_check says $verdict"
[ "$(count)" -ge "$completed" ] || fail "after $killed kills: $(count) records for $completed completed checks"
echo "kill -9: $killed killed ($((started + round * 6 - $(count))) before their record), $completed completed, $(count) records"
kill "$window_pid"
wait "$window_pid" 2>/dev/null

# --- Files that cannot be used: the check goes on, the file is kept ---
# expect_reported CASE WANT: the check completes, stderr holds one line with WANT.
expect_reported() {
  out=$(check_quietly 2>"$work/bad.err")
  status=$?
  err=$(cat "$work/bad.err")
  expect_status "$1" 0
  grep -qF -- "$2" "$work/bad.err" || fail "$1: stderr was '$err'"
  [ "$(grep -c history "$work/bad.err")" -eq 1 ] || fail "$1: not one line: '$err'"
  [ -n "$out" ] || fail "$1: no result printed"
}

export XDG_DATA_HOME=$work/garbage
mkdir -p "$XDG_DATA_HOME/tikora"
head -c 20000 /dev/urandom >"$XDG_DATA_HOME/tikora/history.sqlite"
cp "$XDG_DATA_HOME/tikora/history.sqlite" "$work/garbage.copy"
expect_reported garbage "(the file is not a database); it was moved to $XDG_DATA_HOME/tikora/history.sqlite.unreadable-"
moved=$(ls "$XDG_DATA_HOME"/tikora/history.sqlite.unreadable-* 2>/dev/null | head -n 1)
cmp -s "$work/garbage.copy" "$moved" || fail "garbage: the moved file is not the old one"
db=$XDG_DATA_HOME/tikora/history.sqlite
[ "$(count)" -eq 1 ] || fail "garbage: the new history holds $(count) records"

# Root reads anything: the check runs with the override dropped.
chmod 000 "$db"
capsh --drop=cap_dac_override,cap_dac_read_search -- -c "$(declare -f check_quietly); ntp_port=$ntp_port cli=$cli \
  check_quietly" >/dev/null 2>"$work/bad.err" || fail "unreadable: the check failed: $(cat "$work/bad.err")"
grep -qF "Permission denied" "$work/bad.err" || fail "unreadable: stderr was '$(cat "$work/bad.err")'"
[ "$(ls "$XDG_DATA_HOME/tikora" | grep -c unreadable-)" -eq 1 ] || fail "unreadable: the file was moved aside"
chmod 600 "$db"
[ "$(count)" -eq 1 ] || fail "unreadable: the file changed"

if [ "$(id -u)" -eq 0 ] && mkdir -p "$work/mnt" && mount -t tmpfs -o size=512k,mode=0755 tmpfs "$work/mnt"; then
  trap 'stop_started; rm -rf "$XDG_RUNTIME_DIR"; mountpoint -q "$work/mnt" && umount "$work/mnt"' EXIT
  export XDG_DATA_HOME=$work/mnt
  db=$XDG_DATA_HOME/tikora/history.sqlite
  check_quietly >/dev/null 2>&1
  check_quietly >/dev/null 2>&1
  cp "$db" "$work/full.copy"
  cat /dev/zero >"$work/mnt/fill" 2>/dev/null
  expect_reported "full disk" "checks are not recorded"
  grep -qiE "disk is full|No space left" "$work/bad.err" || fail "full disk: no reason given: $(cat "$work/bad.err")"
  cmp -s "$work/full.copy" "$db" || fail "full disk: the file changed"
  [ -z "$(ls "$XDG_DATA_HOME/tikora" | grep unreadable-)" ] || fail "full disk: the file was moved aside"
  rm -f "$work/mnt/fill"
  check_quietly >/dev/null 2>&1 || fail "full disk freed: the check failed"
  [ "$(count)" -eq 3 ] || fail "full disk freed: $(count) records, expected 3"
  umount "$work/mnt"
else
  echo "SKIP (full disk part): mounting a tmpfs needs root"
fi

# --- Drift: a server 500 ppm fast, checks 0.4 s apart ---
export XDG_DATA_HOME=$work/drift
start_port_printer "$work/fast.out" "$work/fast.err" "$ntp_peer" good --rate 500 --bound 60
fast_port=$printer_port
for ((i = 0; i < 12; i++)); do
  timeout 30 "$cli" check --ntp --timeout 5 --retries 0 --port "$fast_port" 127.0.0.1 >/dev/null 2>&1 ||
    fail "drift: check $i failed"
  sleep 0.4
done
"$cli" history --json >"$work/drift.json" || fail "drift: history failed"
python3 - "$work/drift.json" <<'EOF' || fail "drift: $(tail -c 300 "$work/drift.json")"
import json, sys
d = json.load(open(sys.argv[1]))
ppm, sigma = d["drift_ppm"], d["drift_uncertainty_ppm"]
print(f"drift: {ppm:.3f} ppm ± {sigma:.3f} ppm from {len(d['records'])} checks")
# Within three standard errors of the true rate, and a standard error small
# enough that a wrong sign or scale could not pass.
sys.exit(0 if abs(ppm - 500) <= 3 * sigma and sigma < 100 else 1)
EOF

[ "$failures" -eq 0 ] || exit 1
echo "PASS"
