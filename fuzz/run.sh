#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) and runs each
# in turn for SECONDS_PER_TARGET seconds (default 60), one process at a time, starting from its
# seed corpus in fuzz/corpus/<target>/. Prints the executions per second of each target and fails
# on any crash, leak, timeout or sanitizer report; the input that caused it is kept in
# build-fuzz/artifacts/.
#
#   fuzz/run.sh [SECONDS_PER_TARGET]
#   FUZZ_TARGETS="fuzz_tftp_receive" fuzz/run.sh 30    only some targets
#   BUILD_JOBS=2 fuzz/run.sh                            a faster build (default one job)
#   CXX_FUZZ=clang++-15 fuzz/run.sh                     another clang (default clang++-14)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build-fuzz}
targets=${FUZZ_TARGETS:-"fuzz_reply_dispatcher fuzz_settings_file fuzz_monitor_file fuzz_tftp_receive"}

declare -A max_len=(
  [fuzz_reply_dispatcher]=1500  # a flags byte and a datagram of at most 1499 bytes
  [fuzz_settings_file]=1024     # define.ecf is refused above 256 bytes
  [fuzz_monitor_file]=80000     # 256 records of 300 bytes, and a little more
  [fuzz_tftp_receive]=600       # a script of acknowledgements, errors and timer ticks
)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="${CXX_FUZZ:-clang++-14}" \
  -DSWITCHDESK_FUZZ=ON -DSWITCHDESK_GUI=OFF -DSWITCHDESK_BUILD_TESTS=OFF -DSWITCHDESK_BUILD_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "${BUILD_JOBS:-1}" --target $targets

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$build/artifacts"
status=0
for t in $targets; do
  work="$build/corpus/$t"
  mkdir -p "$work"
  log="$build/$t.log"
  echo "== $t: ${seconds}s, max_len ${max_len[$t]} =="
  rc=0
  "$build/fuzz/$t" -max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" "$work" "fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 || true)
  if [ "$rc" -ne 0 ] || grep -qE 'runtime error:|ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|ERROR: libFuzzer' "$log"; then
    echo "FAILED: $t (exit $rc); see $log"
    grep -E 'runtime error:|ERROR:|SUMMARY:|Test unit written' "$log" | head -20 || true
    status=1
  else
    echo "$t: ${execs:-?} runs, ${rate:-?} exec/s, $cov"
  fi
done
exit $status
