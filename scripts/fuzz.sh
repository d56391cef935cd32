#!/usr/bin/env bash
# Builds one libFuzzer target with clang and the address and undefined-behaviour sanitizers,
# then runs it for a bounded time over its checked-in corpus.
#   scripts/fuzz.sh <target> [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
TARGET=$1
SECONDS_TO_RUN=${2:-30}
BUILD=$(realpath -m "${KV_FUZZ_BUILD_DIR:-$PWD/build-fuzz}")
mkdir -p "$BUILD"
(
  # One build at a time; targets share the instrumented libraries.
  flock 9
  if [ ! -f "$BUILD/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKV_BUILD_FUZZ=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF >/dev/null
  fi
  cmake --build "$BUILD" --target "$TARGET" --parallel 4 >/dev/null
) 9>"$BUILD/.lock"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
if [ -d "fuzz/corpus/$TARGET" ]; then cp "fuzz/corpus/$TARGET"/* "$WORK"/ 2>/dev/null || true; fi
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$WORK"
exec "$BUILD/fuzz/$TARGET" -max_total_time="$SECONDS_TO_RUN" -timeout=60 -rss_limit_mb=2048 \
  -malloc_limit_mb=256 -max_len=16384 -print_final_stats=1 "$WORK"
