#!/usr/bin/env bash
# Builds the Debian package (release, installed under /usr) and prints its path:
#   scripts/package.sh [BUILD_DIR]        default build/package
# Install it with: sudo apt-get install ./build/package/plumfold_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build/package}
scripts/install-test-deps.sh  # help2man, dpkg-shlibdeps and file when missing

launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# The preset package, into DIR.
cmake --preset package -B "$dir" "${launcher[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/*.deb
