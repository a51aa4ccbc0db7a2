#!/usr/bin/env bash
# Load on `tikora-cli serve`, loopback only, fixed counts, a deadline: 2,000
# sequential requests and rounds of 64 concurrent clients, over TCP and over
# UDP. Every client must get four bytes within two seconds of the clock; the
# server's open descriptors must come back to their starting count and its
# memory must not grow after a warm-up. Prints requests per second and the
# server's peak memory; exits 1 on any failure. The concurrent rate includes
# starting the client threads, so it measures the client more than the server.
# Usage: serve_load_bench.sh BUILD_DIR [SEQUENTIAL] [ROUNDS]
set -eu
build=${1:?usage: serve_load_bench.sh BUILD_DIR [SEQUENTIAL] [ROUNDS]}
sequential=${2:-2000}
rounds=${3:-20}
cli="$build/tikora-cli"
[ -x "$cli" ] || { echo "serve_load_bench: $cli is missing" >&2; exit 1; }
. "$(dirname "$0")/serve_lib.sh"

status=0
for transport in tcp udp; do
  flag=""
  [ "$transport" = udp ] && flag=--udp
  start_serve "$transport" $flag

  timeout 300 python3 - "$transport" "$port" "$serve_pid" "$sequential" "$rounds" <<'EOF' || status=1
import os, socket, sys, threading, time

transport, port, pid, sequential, rounds = sys.argv[1], int(sys.argv[2]), sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
EPOCH_OFFSET = 2208988800   # seconds from 1900 to 1970
CONCURRENT = 64
failures = []

def descriptors():
    return len(os.listdir(f"/proc/{pid}/fd"))

def memory_kib(field):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])

def ask():
    """One request; returns the four bytes, or raises."""
    if transport == "tcp":
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            data = b""
            while True:
                chunk = s.recv(16)
                if not chunk:
                    return data
                data += chunk
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(5)
        s.sendto(b"", ("127.0.0.1", port))
        return s.recv(16)

def checked_ask(label):
    try:
        data = ask()
    except OSError as error:
        failures.append(f"{label}: {error}")
        return
    if len(data) != 4:
        failures.append(f"{label}: {len(data)} bytes")
        return
    off = int.from_bytes(data, "big") - EPOCH_OFFSET - time.time()
    if abs(off) > 2:
        failures.append(f"{label}: {off:+.1f} s from the clock")

def concurrent_round(n):
    start = threading.Barrier(CONCURRENT)
    def client(i):
        start.wait()
        checked_ask(f"round {n} client {i}")
    threads = [threading.Thread(target=client, args=(i,)) for i in range(CONCURRENT)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()

fd_start = descriptors()
for i in range(200):   # warm-up: the allocator and Qt reach their working size
    checked_ask(f"warm-up {i}")
concurrent_round(0)
rss_warm = memory_kib("VmRSS")
failed_before = len(failures)

began = time.perf_counter()
for i in range(sequential):
    checked_ask(f"sequential {i}")
seq_seconds = time.perf_counter() - began

began = time.perf_counter()
for n in range(1, rounds + 1):
    concurrent_round(n)
conc_seconds = time.perf_counter() - began

# Closed connections are freed when their close message is handled.
deadline = time.monotonic() + 5
while descriptors() != fd_start and time.monotonic() < deadline:
    time.sleep(0.05)
fd_end = descriptors()
rss_end = memory_kib("VmRSS")
peak = memory_kib("VmHWM")

answered = sequential + rounds * CONCURRENT
print(f"{transport.upper()}: {sequential} sequential: {sequential / seq_seconds:8.0f} requests/s; "
      f"{rounds} rounds of {CONCURRENT} concurrent: {rounds * CONCURRENT / conc_seconds:8.0f} requests/s, "
      f"{answered - (len(failures) - failed_before)} of {answered} answered")
print(f"  server descriptors {fd_start} -> {fd_end}; RSS after warm-up {rss_warm} KiB, at end {rss_end} KiB; "
      f"peak {peak} KiB")
if fd_end != fd_start:
    failures.append(f"descriptors {fd_start} at start, {fd_end} at end")
# A leak of even a few bytes per request would show over 3,000 requests.
if rss_end - rss_warm > 512:
    failures.append(f"RSS grew by {rss_end - rss_warm} KiB after the warm-up")
for f in failures[:10]:
    print("  FAIL:", f, file=sys.stderr)
sys.exit(1 if failures else 0)
EOF
  kill -TERM "$serve_pid"
  wait "$serve_pid" || { echo "serve_load_bench: serve ended with $?" >&2; status=1; }
  serve_pid=""
  [ -s "$work/$transport.err" ] && { echo "serve_load_bench: serve stderr: $(cat "$work/$transport.err")" >&2; status=1; }
  tail -n 1 "$work/$transport.out" | sed 's/^/  serve: /'
done
exit $status
