#!/usr/bin/env bash
# Builds Switchdesk (installing what is missing) and starts it.
#
#   scripts/run.sh          start Switchdesk on the current display
#   scripts/run.sh --lab    start it inside the lab, with a few simulated switches to discover
#
# SWITCHDESK_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
}

mode=display
case "${1:-}" in
  "") ;;
  --lab) mode=lab ;;
  -h|--help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display: set DISPLAY or WAYLAND_DISPLAY (or QT_QPA_PLATFORM) first." >&2
  exit 1
fi

scripts/install-deps.sh
build=${SWITCHDESK_BUILD_DIR:-build}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSWITCHDESK_GUI=ON >/dev/null
cmake --build "$build" -j "$jobs" --target switchdesk

case "$mode" in
  display)
    exec "$build/switchdesk"
    ;;
  lab)
    # ---- LAB START: the lab (tools/lab) builds network namespaces with simulated switches
    # ---- and starts the program inside them; it is hooked in here once it exists.
    echo "The lab is not part of this build yet (tools/lab)." >&2
    exit 1
    # ---- LAB END
    ;;
esac
