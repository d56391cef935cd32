#!/usr/bin/env bash
# Installs what is missing (Debian 12), configures and builds, then runs the program or the tests.
#   scripts/setup.sh run    build and start the calendar
#   scripts/setup.sh test   build and run the whole test suite
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${KV_BUILD_DIR:-$ROOT/build}
MODE=${1:-}
# Build and test jobs; a machine shared with other builds may ask for fewer.
JOBS=${KV_JOBS:-$(nproc)}

# Installed without recommendations: every package whose program or library is used is named,
# here or, for the programs the tests start, in scripts/test-programs.
PROGRAMS_TABLE=$ROOT/scripts/test-programs
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6svg6 zlib1g-dev libjpeg-dev libgif-dev libx11-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  fonts-dejavu-core fonts-liberation2
  xvfb xauth x11-utils xdg-utils libxrandr-dev
  $(awk '!/^[[:space:]]*(#|$)/ { gsub(",", " ", $2); print $2 }' "$PROGRAMS_TABLE")
)

install_missing() {
  local missing=() p
  local -A seen=()
  for p in "${PACKAGES[@]}"; do
    [ -n "${seen[$p]:-}" ] && continue
    seen[$p]=1
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# Runs the check of every program the tests start (scripts/test-programs) in a scratch home, on
# the tests' X server; fails naming each program that does not work and its packages.
check_programs() {
  local scratch program packages check out failed=0
  scratch=$(mktemp -d)
  while read -r program packages check; do
    case "$program" in '' | '#'*) continue ;; esac
    if ! out=$(cd "$scratch" && HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data \
                 XDG_CACHE_HOME=$scratch/cache DISPLAY=$KV_TEST_DISPLAY \
                 timeout 60 bash -c "$check" </dev/null 2>&1); then
      echo "The tests start $program, and it does not work here: \`$check\` failed." >&2
      [ -n "$out" ] && printf '%s\n' "$out" | head -n 5 | sed 's/^/    /' >&2
      echo "    Install or repair the Debian package(s): ${packages//,/ }" >&2
      failed=1
    fi
  done <"$PROGRAMS_TABLE"
  rm -rf "$scratch"
  [ "$failed" -eq 0 ] && echo "Every program the tests start works here (scripts/test-programs)."
  return "$failed"
}

# Starts a private Xvfb on the first display number it can really listen on and exports it
# as KV_TEST_DISPLAY; a number whose socket is taken, even by another file system's server, is skipped.
start_xvfb() {
  local n ready i errors
  if ! command -v Xvfb >/dev/null; then
    echo "The tests start Xvfb, and it is not installed: install the Debian package xvfb." >&2
    return 1
  fi
  ready=$(mktemp)
  errors=$(mktemp)
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    # -noreset: otherwise the server resets whenever the last test process disconnects,
    # refusing the next one for a moment and dropping the retained root pixmap.
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset -displayfd 3 3>"$ready" >/dev/null 2>"$errors" &
    XVFB_PID=$!
    for i in $(seq 100); do
      [ -s "$ready" ] || ! kill -0 "$XVFB_PID" 2>/dev/null && break
      sleep 0.1
    done
    if [ -s "$ready" ]; then
      rm -f "$ready" "$errors"
      export KV_TEST_DISPLAY=":$n"
      return 0
    fi
    kill "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  done
  echo "The tests start Xvfb, and it did not start on any display from :90 to :130:" >&2
  tail -n 5 "$errors" | sed 's/^/    /' >&2
  echo "    Install or repair the Debian package xvfb." >&2
  rm -f "$ready" "$errors"
  return 1
}

configure() {
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_BUILD_TESTS=ON -DKV_BUILD_BENCH=ON >/dev/null
}

case "$MODE" in
  run)
    install_missing
    configure
    cmake --build "$BUILD" --parallel "$JOBS" --target mirova
    shift
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "No display: starting the calendar under a virtual X server."
      exec xvfb-run -a -s "-screen 0 1920x1080x24" "$BUILD/app/mirova" "$@"
    fi
    exec "$BUILD/app/mirova" "$@"
    ;;
  test)
    install_missing
    # Tests that need a real X server get a private Xvfb; the rest run offscreen.
    XVFB_PID=""
    trap '[ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true' EXIT
    start_xvfb && check_programs || { echo "Stopped before the tests: see above." >&2; exit 1; }
    configure
    cmake --build "$BUILD" --parallel "$JOBS"
    shift
    cd "$BUILD"
    ctest --output-on-failure --parallel "$JOBS" "$@"
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
