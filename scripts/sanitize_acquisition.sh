#!/usr/bin/env bash
# Builds the tests of the pure C++ rooms (acquisition, analysis, recording) with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them; any finding fails the run.
# Usage: scripts/sanitize_acquisition.sh [build-dir]    (default: build-sanitize)
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$repo/build-sanitize}"

cmake -S "$repo" -B "$build" -DSPHYRA_SANITIZE=ON -DSPHYRA_BUILD_UI=OFF \
    -DSPHYRA_BUILD_BENCH=OFF -DSPHYRA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target acquisition_tests analysis_tests recording_tests -j2

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for room in acquisition analysis recording; do
    ctest --test-dir "$build/tests/$room" --output-on-failure -j2
done
