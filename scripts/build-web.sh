#!/usr/bin/env bash
# Builds the demo for the browser with Debian's emscripten into build/web/:
# index.html, index.js, index.wasm and the shipped body in Objects/. As root the
# missing Debian packages are installed; otherwise this names them and stops.
# Serve the folder with scripts/serve-web.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v em++ >/dev/null 2>&1 || missing+=(emscripten)
[ -e /usr/share/nodejs/acorn ] || missing+=(node-acorn)
# Exit status 3: the tools are missing and cannot be installed here.
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
        echo "build-web: needs ${missing[*]}; install with: sudo apt-get install -y ${missing[*]}" >&2
        exit 3
    fi
    echo "build-web: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
        { apt-get update >/dev/null 2>&1 && apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; } ||
        { echo "build-web: could not install ${missing[*]}" >&2; exit 3; }
fi

# Debian's emscripten runs its JavaScript tools with the system node; they find
# acorn there and break on newer nodes' built-in fetch.
export NODE_PATH=/usr/share/nodejs
export NODE_OPTIONS="--no-experimental-fetch"

build=build/web-cmake
# WebAssembly has no run-time SIMD dispatch, and Highway 1.0's WASM SIMD target
# lacks the double-precision operations the engine needs: its portable target.
emcmake cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPLUMFOLD_BUILD_APP=OFF -DPLUMFOLD_BUILD_TESTS=OFF \
    -DPLUMFOLD_BUILD_BENCH=OFF -DPLUMFOLD_SIMD_DISPATCH=OFF -DPLUMFOLD_FOREIGN_FORMATS=OFF \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target plumfold-web

mkdir -p build/web/Objects
cp app/web/index.html app/web/page.js "$build"/app/web/index.js "$build"/app/web/index.wasm build/web/
cp Objects/Objekt3.asc build/web/Objects/
echo "build-web: the page is in build/web/ (open it with scripts/serve-web.sh)"
