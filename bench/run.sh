#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs the benchmarks and prints their figures:
#   1. replies filed per second by the reply dispatcher with 256 monitored switches (in the core,
#      over in-memory list controls; goal: at least 100 000 per second);
#   2. the time from a discovery's requests to the 256th Discovery List row, with 256 simulated
#      switches answering over real sockets in the lab (needs root; goal: under 100 ms beyond the
#      500 ms membership renewal that precedes the requests);
#   2b. the same with a manager of two cards: 128 switches on each link against 256 on one link,
#      in one run (needs root);
#   3. a header click in the trap window with 1 499 traps, on Qt's offscreen platform (goal: under
#      100 ms), beside the sort by the compare function alone that searches the rows at every
#      comparison (built with the window only).
#
#   bench/run.sh [BUILD_DIR]      (default: build, configured as RelWithDebInfo when missing)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j 2 --target dispatch_bench discovery_latency two_links_latency switchsim
with_window=0
if cmake --build "$build" -j 2 --target trap_window_bench >/dev/null 2>&1; then with_window=1; fi

echo "== Replies filed per second by the dispatcher =="
"$build/bench/dispatch_bench" --benchmark_min_time=2 --benchmark_counters_tabular=true | tee "$build/bench/dispatch.txt"
per_second=$(awk '/^BM_PollReplyFrom256MonitoredSwitches/ {
  for (i = 1; i <= NF; i++) if ($i ~ /\/s$/) { print $(i); exit } }' "$build/bench/dispatch.txt")

echo
echo "== Discovery of 256 switches in the lab =="
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the lab needs root"
  latency="(not run: needs root)"
else
  tools/lab/lab.sh run --aliases 256 -- "$build/bench/discovery_latency" --runs 10 | tee "$build/bench/discovery.txt"
  latency=$(sed -n 's/.*requests sent -> last row: \(median [^,]*\).*/\1/p' "$build/bench/discovery.txt")
fi

echo
echo "== Discovery with two cards: 128 switches on each link, against 256 on one link =="
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the lab needs root"
  two_links="(not run: needs root)"
else
  tools/lab/lab.sh run --aliases 128 --link-b 128 -- "$build/bench/two_links_latency" --runs 10 |
    tee "$build/bench/two_links.txt"
  two_links=$(sed -n 's/.*requests sent -> last row: //p' "$build/bench/two_links.txt")
fi

echo
echo "== A header click in the trap window with 1 499 traps =="
if [ $with_window -eq 1 ]; then
  "$build/bench/trap_window_bench" --benchmark_counters_tabular=true | tee "$build/bench/trap_window.txt"
  click=$(awk '/^BM_TrapWindowHeaderClick\/1 / { print $2 " " $3; exit }' "$build/bench/trap_window.txt")
  alone=$(awk '/^BM_SortByTheCompareFunctionAlone/ { print $2 " " $3; exit }' "$build/bench/trap_window.txt")
else
  echo "skipped: built without the window"
fi

echo
echo "== Figures =="
echo "dispatcher, poll replies from 256 monitored switches: ${per_second:-?} replies (goal >= 100k/s)"
echo "discovery of 256 switches, requests sent -> 256th row: ${latency} (goal < 100 ms)"
echo "discovery with two cards, requests sent -> last row: ${two_links}"
echo "trap window, header click on \"Time\" with 1 499 traps: ${click:-(not run)} (goal < 100 ms; by the compare function alone: ${alone:-?})"
