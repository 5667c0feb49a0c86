#!/usr/bin/env bash
# Builds Plumfold and runs every test: a g++ build and a clang++ build (which must
# reproduce the same trajectories bit for bit), each with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# Test-only tools (a virtual X server and friends for the window tests).
if [ -x scripts/install-test-deps.sh ]; then scripts/install-test-deps.sh; fi

build_and_test() {
    local dir=$1 compiler=$2
    shift 2
    echo "== $dir ($compiler)"
    cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_BUILD_TYPE=Release -DPLUMFOLD_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

build_and_test build/gcc g++
# The browser build in headless Chromium, checked against this plumfold-sim.
PLUMFOLD_SIM="$PWD/build/gcc/tools/plumfold-sim" scripts/test-web.sh
build_and_test build/clang clang++

# Sanitizer build of the whole suite and bounded fuzzing runs.
if [ -x scripts/test-sanitizers.sh ]; then scripts/test-sanitizers.sh; fi
# The core and the tools cross-built for aarch64, Windows and WebAssembly, each
# reproducing every recorded trajectory; PLUMFOLD_CROSS=0 leaves them out.
if [ "${PLUMFOLD_CROSS:-1}" != 0 ] && [ -x scripts/cross-test.sh ]; then scripts/cross-test.sh; fi
echo "All tests passed."
