#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window's start-up time and memory, in the lab (needs root):
#   1. process start to the main window shown, with a monitor.cfg of 256 switches (5 runs;
#      goal: under 300 ms);
#   2. resident memory after a discovery of 256 simulated switches while 256 others are
#      monitored (goal: under 60 MiB).
#
#   bench/window.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j 2 --target window_bench switchsim default_settings
[ "$(id -u)" -eq 0 ] || { echo "the lab needs root" >&2; exit 1; }

build_abs=$(cd "$build" && pwd)
cfg=$(mktemp -d)
trap 'rm -rf "$cfg"' EXIT
cp "$build_abs/cfg/define.ecf" "$cfg/"
"$build_abs/bench/window_bench" make-monitor-cfg "$cfg/monitor.cfg"

export SWITCHDESK_CONFIG_DIR=$cfg QT_QPA_PLATFORM=offscreen
tools/lab/lab.sh run --aliases 256 -- bash -c '
  for i in 1 2 3 4 5; do
    SWITCHDESK_BENCH_T0_NS=$(date +%s%N) "$0/bench/window_bench" startup
  done
  "$0/bench/window_bench" memory
' "$build_abs"
