#!/usr/bin/env bash
# Builds Plumfold and runs every test: a g++ build and a clang++ build (which must
# reproduce the same trajectories bit for bit), each with warnings as errors.
# The builds are the presets of CMakePresets.json (gcc, clang, asan, cross-*).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# Test-only tools (a virtual X server and friends for the window tests).
if [ -x scripts/install-test-deps.sh ]; then scripts/install-test-deps.sh; fi

build_and_test() {  # build_and_test PRESET: into build/PRESET
    echo "== build/$1"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$jobs"
    ctest --preset "$1" -j "$jobs"
}

build_and_test gcc
# clang-tidy on the C++ files this branch changed (or main's last commit).
if command -v clang-tidy >/dev/null 2>&1; then scripts/tidy.sh; else echo "clang-tidy missing: not run"; fi
# The browser build in headless Chromium, checked against this plumfold-sim.
PLUMFOLD_SIM="$PWD/build/gcc/tools/plumfold-sim" scripts/test-web.sh
build_and_test clang

# Sanitizer build of the whole suite and bounded fuzzing runs.
if [ -x scripts/test-sanitizers.sh ]; then scripts/test-sanitizers.sh; fi
# The core and the tools cross-built for aarch64, Windows and WebAssembly, each
# reproducing every recorded trajectory; PLUMFOLD_CROSS=0 leaves them out.
if [ "${PLUMFOLD_CROSS:-1}" != 0 ] && [ -x scripts/cross-test.sh ]; then scripts/cross-test.sh; fi
echo "All tests passed."
