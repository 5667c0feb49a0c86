#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer
# (clang++), then every fuzz target for a bounded time from the same build.
#   PLUMFOLD_FUZZ_SECONDS   seconds per fuzz target (default 30; 0 skips fuzzing)
#   PLUMFOLD_SANITIZE_GUI=0 leave out the tests labelled "app" (the window tests
#                           start a virtual X server; under the sanitizers they
#                           take about 40 s, one at a time, and the g++ and
#                           clang++ builds run them anyway)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
build=build/asan  # the preset asan
seconds=${PLUMFOLD_FUZZ_SECONDS:-30}

echo "== $build (clang++, AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --preset asan -j "$jobs" -LE '^app$'
# The window tests step the body in real time and check where it got to, so
# they run alone: next to the CPU-bound soak test an ASan build falls behind.
if [ "${PLUMFOLD_SANITIZE_GUI:-1}" != 0 ]; then ctest --preset asan -j 1 -L '^app$'; fi

if [ "$seconds" != 0 ]; then PLUMFOLD_FUZZ_BUILD=$build scripts/fuzz.sh "$seconds"; fi
