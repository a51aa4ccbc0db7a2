#!/usr/bin/env bash
# Builds the settings-file fuzz target with clang's libFuzzer (outside the gcc
# build) and runs it for a bounded time from the committed corpus.
#   tests/fuzz/run.sh SECONDS [merge]
# With "merge", inputs that reach new code are merged into tests/fuzz/corpus
# as a minimal set; without it the committed corpus is only read.
set -euo pipefail
seconds=${1:-10}
mode=${2:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${FUZZ_BUILD:-$root/build-fuzz}
cxx=${FUZZ_CXX:-clang++}
mkdir -p "$out"

sources=(platform/private_profile.cpp platform/safe_file.cpp platform/file_system.cpp platform/exception.cpp
         tests/fuzz/profile_fuzz.cpp)
binary=$out/profile_fuzz
if [ ! -x "$binary" ] || [ -n "$(cd "$root" && find "${sources[@]}" platform/*.h -newer "$binary")" ]; then
  (cd "$root" && "$cxx" -std=c++20 -g -O1 -fPIC -I. $(pkg-config --cflags Qt6Core) \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    "${sources[@]}" $(pkg-config --libs Qt6Core) -o "$binary")
fi

new=$(mktemp -d)
trap 'rm -rf "$new"' EXIT
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# -timeout: one input taking a second is a hang; artifacts go to the build
# directory so a failing run leaves its input there for `profile_fuzz FILE`.
"$binary" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=1024 -max_len=4096 \
  -artifact_prefix="$out/" -print_final_stats=1 "$new" "$root/tests/fuzz/corpus"
if [ "$mode" = merge ]; then
  "$binary" -merge=1 "$root/tests/fuzz/corpus" "$new" 2>&1 | tail -n 2
fi
