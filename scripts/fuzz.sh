#!/usr/bin/env bash
# Builds one libFuzzer target with clang and the address and undefined-behaviour sanitizers, then
# runs it:
#   scripts/fuzz.sh <target> fixed <runs>      seed 1 and a fixed number of inputs, from the
#                                              checked-in corpus and what earlier runs kept; the
#                                              same inputs give the same run (the default suite)
#   scripts/fuzz.sh <target> random <seconds>  a random seed for a bounded time; inputs that reach
#                                              new code are kept for the fixed runs after it
#   scripts/fuzz.sh <target> replay <file>...  only the given inputs, under the same options
# The instrumented build is $KV_FUZZ_BUILD_DIR (default build-fuzz). What runs keep is under its
# fuzz-found/<target>/: inputs/ (new code reached by random runs) and failures/ (every input that
# failed a run: crash-*, leak-*, timeout-*, oom-*); later runs start from both.
# A failing input is also printed into the log as base64. To reproduce a failure from a CI log,
# decode the printed line into a file and replay it on the target that failed:
#   base64 -d >failing-input <<<'...'
#   scripts/fuzz.sh fuzz_rtf replay failing-input
set -euo pipefail
cd "$(dirname "$0")/.."
TARGET=${1:?usage: $0 <target> fixed <runs> | random <seconds> | replay <file>...}
MODE=${2:-fixed}
shift 2 || shift $#
BUILD=$(realpath -m "${KV_FUZZ_BUILD_DIR:-$PWD/build-fuzz}")
mkdir -p "$BUILD"
(
  # One build at a time; targets share the instrumented libraries.
  flock 9
  if [ ! -f "$BUILD/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKV_BUILD_FUZZ=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF >/dev/null
  fi
  cmake --build "$BUILD" --target "$TARGET" --parallel "${KV_JOBS:-4}" >/dev/null
) 9>"$BUILD/.lock"

# Stacks are named only with the symbolizer of the clang that built the target (package llvm-N).
SYMBOLIZER=$(dirname "$(readlink -f "$(command -v clang++)")")/llvm-symbolizer
if [ ! -x "$SYMBOLIZER" ]; then
  echo "No $SYMBOLIZER: install the Debian package llvm-$(clang++ -dumpversion | cut -d. -f1)." >&2
  exit 1
fi
export ASAN_SYMBOLIZER_PATH=$SYMBOLIZER UBSAN_SYMBOLIZER_PATH=$SYMBOLIZER
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:symbolize=1
# Qt seeds its hashes at random; a fixed seed keeps the order the code under test sees the same.
export QT_HASH_SEED=0
OPTIONS=(-timeout=60 -rss_limit_mb=2048 -malloc_limit_mb=256 -max_len=16384 -print_final_stats=1)

FOUND=$BUILD/fuzz-found/$TARGET
mkdir -p "$FOUND/inputs" "$FOUND/failures"
CORPUS=()
[ -d "fuzz/corpus/$TARGET" ] && CORPUS+=("$PWD/fuzz/corpus/$TARGET")
CORPUS+=("$FOUND/inputs" "$FOUND/failures")
# The fuzzer writes the inputs that reach new code into its first folder; a fixed run keeps them
# only for itself, so that the next fixed run starts where this one did.
RUN=$(mktemp -d "$FOUND/run.XXXXXX")
trap 'rm -rf "$RUN"' EXIT
SCRATCH=$RUN/new
mkdir "$SCRATCH"
touch "$RUN/start"

case "$MODE" in
  fixed)
    RUNS=${1:?usage: $0 $TARGET fixed <runs>}
    # Without the values the code compared (addresses, times) as mutations, which differ from run
    # to run. A slow machine is stopped after a while rather than holding up the suite.
    ARGS=(-seed=1 -use_cmp=0 -runs="$RUNS" -max_total_time="${KV_FUZZ_MAX_SECONDS:-120}" "$SCRATCH" "${CORPUS[@]}")
    ;;
  random)
    ARGS=(-max_total_time="${1:?usage: $0 $TARGET random <seconds>}" "$FOUND/inputs" "${CORPUS[@]}")
    ;;
  replay)
    (($#)) || { echo "usage: $0 $TARGET replay <file>..." >&2; exit 2; }
    PREFIX=$RUN/
    ARGS=()
    for f in "$@"; do ARGS+=("$(realpath "$f")"); done
    ;;
  *)
    echo "usage: $0 <target> fixed <runs> | random <seconds> | replay <file>..." >&2
    exit 2
    ;;
esac

# Addresses the code compares feed the mutations: the same addresses every run (no address space
# randomisation, where the system lets a program ask for that) keep a fixed run the same.
SAME_ADDRESSES=()
setarch "$(uname -m)" -R true 2>/dev/null && SAME_ADDRESSES=(setarch "$(uname -m)" -R)

cd "$RUN"
status=0
"${SAME_ADDRESSES[@]}" "$BUILD/fuzz/$TARGET" "${OPTIONS[@]}" -artifact_prefix="${PREFIX:-$FOUND/failures/}" "${ARGS[@]}" 2>&1 | tee "$RUN/log" ||
  status=$?
[ "$MODE" = fixed ] && ! grep -q "^Done $RUNS runs" "$RUN/log" && [ "$status" -eq 0 ] &&
  echo "Stopped by the time limit before the $RUNS inputs of the fixed run." >&2
# Slow inputs (slow-unit-*) are kept beside the failures but pass.
for f in $(find "$FOUND/failures" -maxdepth 1 -type f -newer "$RUN/start" -regex '.*/\(crash\|leak\|timeout\|oom\)-.*' | sort); do
  echo "Failing input kept as $f ($(stat -c %s "$f") bytes), as base64:"
  base64 -w 0 "$f"
  echo
done
exit "$status"
