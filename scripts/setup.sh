#!/usr/bin/env bash
# Installs what is missing (Debian 12), configures and builds, then runs the program or the tests.
#   scripts/setup.sh run    build and start the calendar
#   scripts/setup.sh test   build and run the whole test suite
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${KV_BUILD_DIR:-$ROOT/build}
MODE=${1:-}

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libqt6svg6 zlib1g-dev libjpeg-dev libgif-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  fonts-dejavu-core fonts-liberation2
  libx11-dev xvfb xauth x11-utils libglib2.0-bin gsettings-desktop-schemas dbus xfconf
  trayer xdotool poppler-utils
  libxrandr-dev libxfconf-0-3 pcmanfm pcmanfm-qt sway swaybg grim
  clang libclang-rt-14-dev
  desktop-file-utils appstream file
)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
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

configure() {
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_BUILD_TESTS=ON -DKV_BUILD_BENCH=ON >/dev/null
}

case "$MODE" in
  run)
    install_missing
    configure
    cmake --build "$BUILD" --parallel "$(nproc)" --target mirova
    shift
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "No display: starting the calendar under a virtual X server."
      exec xvfb-run -a -s "-screen 0 1920x1080x24" "$BUILD/app/mirova" "$@"
    fi
    exec "$BUILD/app/mirova" "$@"
    ;;
  test)
    install_missing
    configure
    cmake --build "$BUILD" --parallel "$(nproc)"
    shift
    # Tests that need a real X server get a private Xvfb; the rest run offscreen.
    XVFB_PID=""
    if command -v Xvfb >/dev/null; then
      for n in $(seq 90 130); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        # -noreset: otherwise the server resets whenever the last test process disconnects,
        # refusing the next one for a moment and dropping the retained root pixmap.
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
        XVFB_PID=$!
        export KV_TEST_DISPLAY=":$n"
        break
      done
      sleep 1
    fi
    trap '[ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true' EXIT
    cd "$BUILD"
    ctest --output-on-failure --parallel "$(nproc)" "$@"
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
