#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Switchdesk (installing what is missing) and starts it.
#
#   scripts/run.sh          start Switchdesk on the current display
#   scripts/run.sh --lab    start it inside the lab, with a few simulated switches to discover
#   (without a display it runs scripts/run-headless.sh: the same job with switchdesk-cli)
#
# SWITCHDESK_BUILD_DIR chooses the build folder (default: build). The lab needs root (sudo is
# used when needed); it exists only while the program runs.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'
}

mode=display
case "${1:-}" in
  "") ;;
  --lab) mode=lab ;;
  -h|--help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  # No display: the same job in a terminal, with switchdesk-cli in a lab of simulated switches.
  echo "No display: running the terminal tour instead (scripts/run-headless.sh)." >&2
  exec scripts/run-headless.sh
fi

scripts/install-deps.sh
build=${SWITCHDESK_BUILD_DIR:-build}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSWITCHDESK_GUI=ON >/dev/null
targets=(switchdesk)
[ "$mode" = lab ] && targets+=(switchsim)
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

case "$mode" in
  display)
    exec "$build/switchdesk"
    ;;
  lab)
    # Four simulated switches on 198.18.0.10-13 in the lab's switch namespace; the program runs
    # in the manager namespace (198.18.0.1) with the build's settings, on this display.
    switches=""
    for i in 10 11 12 13; do
      switches+="--switch ip=198.18.0.$i,mac=02:00:00:00:00:$i,name=lab-switch-$i,location=Lab,"
      switches+="netmask=255.255.255.0,gateway=198.18.0.1,trap=198.18.0.1,interval=125 "
    done
    build_abs=$(cd "$build" && pwd)
    as_root=()
    if [ "$(id -u)" -ne 0 ]; then
      command -v sudo >/dev/null || { echo "The lab needs root (or sudo)." >&2; exit 1; }
      as_root=(sudo --preserve-env=DISPLAY,WAYLAND_DISPLAY,XDG_RUNTIME_DIR,XAUTHORITY,QT_QPA_PLATFORM)
      export XAUTHORITY=${XAUTHORITY:-$HOME/.Xauthority}
    fi
    exec "${as_root[@]}" env SWITCHDESK_CONFIG_DIR="$build_abs/cfg" SWITCHSIM="$build_abs/tools/switchsim/switchsim" \
      tools/lab/lab.sh run --aliases 4 --sim "$switches" -- "$build_abs/switchdesk"
    ;;
esac
