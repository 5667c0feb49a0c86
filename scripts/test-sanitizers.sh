#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer
# (clang++), then every fuzz target for a bounded time from the same build.
#   PLUMFOLD_FUZZ_SECONDS   seconds per fuzz target (default 30; 0 skips fuzzing)
#   PLUMFOLD_SANITIZE_GUI=1 also run the window tests (label "app"); they start a
#                           virtual X server and are slow under the sanitizers,
#                           and the g++ and clang++ builds run them anyway.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
build=build/asan
seconds=${PLUMFOLD_FUZZ_SECONDS:-30}

echo "== $build (clang++, AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLUMFOLD_WERROR=ON \
    -DPLUMFOLD_SANITIZE=ON -DPLUMFOLD_FUZZ=ON >/dev/null
cmake --build "$build" -j "$jobs"

exclude=()
if [ "${PLUMFOLD_SANITIZE_GUI:-0}" != 1 ]; then exclude=(-LE '^app$'); fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j "$jobs" "${exclude[@]}"

if [ "$seconds" != 0 ]; then PLUMFOLD_FUZZ_BUILD=$build scripts/fuzz.sh "$seconds"; fi
