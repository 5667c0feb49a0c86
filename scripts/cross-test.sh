#!/usr/bin/env bash
# Builds the core and the tools for other platforms and proves that each one
# reproduces every recorded trajectory (tests/data/reference, tests/data/golden)
# bit for bit:
#   aarch64  g++-aarch64-linux-gnu, run under qemu-user; also the core tests
#   windows  mingw-w64 (-posix), run under wine; also the tick counter's Windows code
#   wasm     emscripten, run under node
# Usage: scripts/cross-test.sh [aarch64] [windows] [wasm]     (default: all three)
# As root the missing Debian packages are installed; otherwise they are named.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$PWD
out=$root/build/cross
jobs=$(nproc 2>/dev/null || echo 2)
platforms=("$@")
[ ${#platforms[@]} -gt 0 ] || platforms=(aarch64 windows wasm)

declare -A needs=(
    [aarch64]="aarch64-linux-gnu-g++:g++-aarch64-linux-gnu qemu-aarch64:qemu-user /usr/src/googletest/CMakeLists.txt:googletest /usr/include/hwy/highway.h:libhwy-dev"
    [windows]="x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix /usr/lib/wine/wine64:wine64 /usr/include/hwy/highway.h:libhwy-dev"
    [wasm]="em++:emscripten /usr/share/nodejs/acorn:node-acorn node:nodejs /usr/include/hwy/highway.h:libhwy-dev")
missing=()
for platform in "${platforms[@]}"; do
    [ -n "${needs[$platform]-}" ] || { echo "cross-test.sh: unknown platform '$platform' (aarch64, windows, wasm)" >&2; exit 2; }
    for pair in ${needs[$platform]}; do
        command -v "${pair%%:*}" >/dev/null 2>&1 || [ -e "${pair%%:*}" ] || missing+=("${pair#*:}")
    done
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
        echo "cross-test.sh: please install: ${missing[*]} (apt-get install --no-install-recommends ${missing[*]})" >&2
        exit 1
    fi
    echo "Installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
        { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; } ||
        { echo "cross-test.sh: could not install ${missing[*]}" >&2; exit 1; }
fi

# The builds are the presets cross-aarch64, cross-windows and cross-wasm: only
# the core and the tools (and for aarch64 the core tests), -O2, warnings as
# errors. The wide loops are compiled for the target's baseline only (NEON on
# aarch64, WASM SIMD for WebAssembly), from the Highway headers alone. GCC 12 at
# -O2 takes the engine's face loads (filled corner by corner in a loop) for maybe
# uninitialised; the warning stays in the log, it just fails nothing.
common=()
if command -v ccache >/dev/null 2>&1; then common+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run_sim LIST MESH STEPS EVENTS COMMAND...: the last line of one run, from the list's folder.
run_sim() {
    local list=$1 mesh=$2 steps=$3 events=$4
    shift 4
    (cd "$(dirname "$list")" && "$@" "$mesh" "$steps" ${events:+--events "$events"} </dev/null 2>&1 | tail -1 | tr -d '\r')
}

# check_checksums NAME COMMAND...: every recorded trajectory through one
# plumfold-sim (COMMAND... runs it), run from the list's folder.
check_checksums() {
    local name=$1 list mesh steps checksum events got count=0 wrong=0
    shift
    for list in "$root"/tests/data/reference/checksums.txt "$root"/tests/data/golden/checksums.txt; do
        while read -r mesh steps checksum events; do
            count=$((count + 1))
            got=$(run_sim "$list" "$mesh" "$steps" "$events" "$@")
            # An emulator that failed to start the program (wine's client and
            # server racing) prints no checksum at all: that run is tried once
            # more. A wrong checksum is never tried again.
            if [ "${got#checksum }" = "$got" ]; then
                echo "$name: $mesh $steps: no checksum (${got:0:80}); running it once more"
                got=$(run_sim "$list" "$mesh" "$steps" "$events" "$@")
            fi
            if [ "$got" != "checksum $checksum" ]; then
                wrong=$((wrong + 1))
                fail "$name: $mesh $steps ${events:-}: expected checksum $checksum, got: $got"
            fi
        done < <(grep -v '^#' "$list")
    done
    echo "$name: $((count - wrong)) of $count trajectories bit for bit"
}

build() {  # build DIR CONFIGURE_COMMAND... -- TARGETS...: the preset cross-$(basename DIR)
    local dir=$1 configure=() targets=()
    shift
    while [ "$1" != -- ]; do configure+=("$1"); shift; done
    shift
    targets=("$@")
    "${configure[@]}" --preset "cross-$(basename "$dir")" --fresh "${common[@]}" >"$dir.log" 2>&1 &&
        cmake --build "$dir" -j "$jobs" --target "${targets[@]}" >>"$dir.log" 2>&1 ||
        { tail -30 "$dir.log"; return 1; }
}

aarch64() {
    local toolchain=$root/cmake/toolchains/aarch64-linux-gnu.cmake dir=$out/aarch64 gtest=$out/aarch64-googletest
    # GoogleTest for Arm from Debian's sources, built once.
    if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
        { cmake -S /usr/src/googletest -B "$gtest-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
              -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DCMAKE_INSTALL_PREFIX="$gtest" &&
          cmake --build "$gtest-build" -j "$jobs" && cmake --install "$gtest-build"; } >"$gtest.log" 2>&1 ||
            { tail -30 "$gtest.log"; fail "aarch64: GoogleTest did not build"; return; }
    fi
    local tests
    tests=$(basename -s .cpp "$root"/tests/body/*_test.cpp)
    # shellcheck disable=SC2086
    build "$dir" cmake -DGTest_DIR="$gtest/lib/cmake/GTest" -- plumfold-sim plumfold-mesh $tests ||
        { fail "aarch64: build"; return; }
    ctest --preset cross-aarch64 -j "$jobs" >"$dir-tests.log" 2>&1 ||
        { tail -40 "$dir-tests.log"; fail "aarch64: core tests under qemu"; }
    grep -E "tests passed|tests failed" "$dir-tests.log" | sed 's/^/aarch64 core tests: /'
    check_checksums aarch64 qemu-aarch64 -L /usr/aarch64-linux-gnu "$dir/tools/plumfold-sim"
}

windows() {
    local dir=$out/windows wine
    wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
    build "$dir" cmake -- plumfold-sim plumfold-mesh plumfold_frame || { fail "windows: build"; return; }
    # A wine prefix of our own, made on first use, without the Mono and Gecko
    # installers it would offer.
    export WINEPREFIX=$out/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # One wine server for all the runs, rather than one started and stopped per
    # run, where a new client can meet a server that is going away.
    local server
    server=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
    "$server" -p 2>/dev/null || true
    check_checksums windows "$wine" "$dir/tools/plumfold-sim.exe"
    "$server" -k 2>/dev/null || true
}

wasm() {
    local dir=$out/wasm
    # Debian's emscripten 3.1.6 finds acorn only through NODE_PATH, and today's
    # node must not offer its own fetch to the generated loader.
    export NODE_PATH=/usr/share/nodejs
    build "$dir" emcmake cmake -- plumfold-sim || { fail "wasm: build"; return; }
    check_checksums wasm node --no-experimental-fetch "$dir/tools/plumfold-sim.js"
}

mkdir -p "$out"
for platform in "${platforms[@]}"; do
    start=$SECONDS
    echo "== $platform"
    $platform
    echo "   ($((SECONDS - start)) s)"
done
[ $failures -eq 0 ] || { echo "cross-test.sh: $failures failure(s)"; exit 1; }
echo "cross-test.sh: every platform reproduced every trajectory."
