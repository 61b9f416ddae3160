#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Switchdesk and passes every test: first a normal build, then the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer, where any report fails the run, and last a short
# run of every fuzz target (SWITCHDESK_FUZZ_SECONDS each, default 15). Lab tests (real packets
# between network namespaces) run when this is run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== Build and test =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== The README's Install commands: the Release build with tests off, and the package =="
# Exactly as README.md's Install section writes them (tests/package/install_commands_test.sh checks that), so that
# a Release build (-O3, other warnings) or a package that cannot be made never lands.
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSWITCHDESK_BUILD_TESTS=OFF
cmake --build build-release
cpack -G DEB -B build-release/package --config build-release/CPackConfig.cmake

echo "== Build and test with AddressSanitizer and UndefinedBehaviorSanitizer =="
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSWITCHDESK_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== Fuzz every parser briefly (libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer) =="
BUILD_JOBS="$jobs" fuzz/run.sh "${SWITCHDESK_FUZZ_SECONDS:-15}"
