#!/usr/bin/env bash
# `tikora-cli check` against a real Time service: xinetd's built-in
# time-stream, started with a configuration of this test's own.
# Usage: xinetd_check_test.sh TIKORA_CLI TIME_PEER WORK_DIR
# Exits 77 (skipped) when xinetd is not installed.
set -u
cli=$1
time_peer=$2
mkdir -p "$3"
work=$(mktemp -d "$3/xinetd.XXXXXX")
. "$(dirname "$0")/lib.sh"

xinetd=$(command -v xinetd || true)
[ -z "$xinetd" ] && [ -x /usr/sbin/xinetd ] && xinetd=/usr/sbin/xinetd
if [ -z "$xinetd" ]; then
  echo "SKIP: xinetd is not installed"
  exit 77
fi

port_is_free() {
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# One service block; extra lines for the unlisted form.
time_service() {
  local type=$1 port=$2
  cat <<EOF
service time
{
	type = $type
	id = time-stream
	socket_type = stream
	protocol = tcp
	wait = no
	user = root
	bind = 127.0.0.1
	port = $port
}
EOF
}

# check_against LABEL TYPE PORT: one xinetd with one time service, one check.
check_against() {
  local label=$1 type=$2 port=$3 conf="$work/$1.conf"
  {
    cat <<EOF
defaults
{
	cps = 10000 1
	instances = UNLIMITED
	log_type = FILE $work/$label.log
}
EOF
    time_service "$type" "$port"
  } >"$conf"
  "$xinetd" -dontfork -f "$conf" -pidfile "$work/$label.pid" 2>"$work/$label.err" &
  local pid=$!
  started_pids+=("$pid")

  local i ready=no
  for ((i = 0; i < 100; i++)); do
    if ! kill -0 "$pid" 2>/dev/null; then
      fail "$label: xinetd ended at start: $(cat "$work/$label.err" "$work/$label.log" 2>/dev/null)"
      return
    fi
    if ! port_is_free "$port"; then
      ready=yes
      break
    fi
    sleep 0.1
  done
  if [ "$ready" != yes ]; then
    fail "$label: xinetd does not accept on port $port within 10 s"
  else
    local before after
    before=$(date +%s)
    run_check --port "$port" --timeout 10 127.0.0.1
    after=$(date +%s)
    expect_status "$label" 0
    local log
    log=$(without_reads)
    [ "$log" = "1>Looking up host
1>Connecting to 127.0.0.1
1>Connected...
1>Disconnected." ] || fail "$label: log is: $out"
    (($(count_reads) >= 1)) || fail "$label: no '1>Reading time' line"
    expect_result "$label" 0 2
    # The local time shown is the clock's, read during the check.
    local shown now_before now_after
    shown=$(seconds_of_day "$(sed -n 's/^Local time:  //p' <<<"$out")")
    now_before=$(seconds_of_day "$(date -d "@$before" +%T)")
    now_after=$(seconds_of_day "$(date -d "@$after" +%T)")
    local d1 d2
    d1=$(shortest_difference "$shown" "$now_before")
    d2=$(shortest_difference "$now_after" "$shown")
    ((d1 >= 0 && d2 >= 0)) || fail "$label: local time $shown s outside [$now_before, $now_after]"
  fi

  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  local kept=() p
  for p in "${started_pids[@]}"; do
    [ "$p" != "$pid" ] && kept+=("$p")
  done
  started_pids=("${kept[@]}")
}

# Inside a private network namespace (see below) only port 37 is tried.
if [ "${TIKORA_XINETD_NETNS:-}" = 1 ]; then
  check_against listed INTERNAL 37
  finish
fi

# The unlisted form on a port of our own always runs; the listed form needs
# the well-known port 37, which another instance may hold. Then it runs in a
# network namespace of its own, where 37 is free, if this user may make one.
check_against unlisted "INTERNAL UNLISTED" "$(free_port)"
if port_is_free 37; then
  check_against listed INTERNAL 37
elif command -v ip >/dev/null && unshare -n true 2>/dev/null; then
  TIKORA_XINETD_NETNS=1 timeout 60 unshare -n bash -c 'ip link set lo up && exec bash "$@"' \
    _ "$0" "$cli" "$time_peer" "$3" || fail "listed form in a private network namespace"
else
  echo "note: port 37 is in use; the listed form (type = INTERNAL) was not tried"
fi

finish
