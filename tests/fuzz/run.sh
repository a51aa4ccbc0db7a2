#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (outside the gcc build) and
# runs each for a bounded time from its committed corpus:
#   profile_fuzz  the settings file        tests/fuzz/corpus
#   ntp_fuzz      NTP replies               tests/fuzz/ntp_corpus
#   nts_ke_fuzz   key exchange answers      tests/fuzz/nts_ke_corpus
#   nts_fields_fuzz  authenticated replies' extension fields  tests/fuzz/nts_fields_corpus
#   tests/fuzz/run.sh SECONDS [merge]
# SECONDS is per target. With "merge", inputs that reach new code are merged
# into the target's corpus as a minimal set; without it the corpus is only read.
set -euo pipefail
seconds=${1:-10}
mode=${2:-}
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${FUZZ_BUILD:-$root/build-fuzz}
cxx=${FUZZ_CXX:-clang++}
mkdir -p "$out"

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# fuzz NAME CORPUS MAX_LEN SOURCES...
fuzz() {
  local name=$1 corpus=$root/$2 max_len=$3
  shift 3
  local sources=("$@")
  local binary=$out/$name
  if [ ! -x "$binary" ] || [ -n "$(cd "$root" && find "${sources[@]}" platform/*.h net/*.h check/*.h -newer "$binary")" ]; then
    # Any build date will do: the floor's properties do not depend on it.
    (cd "$root" && "$cxx" -std=c++20 -g -O1 -fPIC -I. $(pkg-config --cflags Qt6Core) -DTIKORA_BUILD_UNIX_SECONDS=0 \
      -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
      "${sources[@]}" $(pkg-config --libs Qt6Core) -o "$binary")
  fi
  local new
  new=$(mktemp -d)
  mkdir -p "$corpus"
  # -timeout: one input taking a second is a hang; artifacts go to the build
  # directory so a failing run leaves its input there for `NAME FILE`.
  "$binary" -max_total_time="$seconds" -timeout=2 -rss_limit_mb=1024 -max_len="$max_len" \
    -artifact_prefix="$out/$name-" -print_final_stats=1 "$new" "$corpus" || { rm -rf "$new"; return 1; }
  if [ "$mode" = merge ]; then
    "$binary" -merge=1 "$corpus" "$new" 2>&1 | tail -n 2
  fi
  rm -rf "$new"
}

fuzz profile_fuzz tests/fuzz/corpus 4096 \
  platform/private_profile.cpp platform/safe_file.cpp platform/file_system.cpp platform/exception.cpp \
  tests/fuzz/profile_fuzz.cpp
# A reply is 48 bytes; longer ones (extension fields) are read no further.
fuzz ntp_fuzz tests/fuzz/ntp_corpus 128 net/ntp_packet.cpp check/server_time_floor.cpp tests/fuzz/ntp_fuzz.cpp
fuzz nts_ke_fuzz tests/fuzz/nts_ke_corpus 2048 net/nts_ke_records.cpp tests/fuzz/nts_ke_fuzz.cpp
fuzz nts_fields_fuzz tests/fuzz/nts_fields_corpus 1024 net/nts_extension_fields.cpp tests/fuzz/nts_fields_fuzz.cpp
