#!/usr/bin/env bash
# The browser build tested in a real browser: builds build/web, then drives the
# page in the system's Chromium with the test's npm packages (tests/web). Skips,
# saying why, when emscripten, Chromium or the npm packages cannot be had; any
# other failure fails. The replay test compares with plumfold-sim: PLUMFOLD_SIM
# names it, by default build/gcc/tools/plumfold-sim (scripts/test.sh builds it).
set -euo pipefail
cd "$(dirname "$0")/.."

skip() {
    echo "== browser tests skipped: $1"
    exit 0
}

if ! command -v chromium >/dev/null 2>&1; then
    if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
        skip "no chromium; install it with: sudo apt-get install -y chromium"
    fi
    echo "Installing chromium for the browser tests"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y --no-install-recommends chromium >/dev/null 2>&1 ||
        { apt-get update >/dev/null 2>&1 && apt-get install -y --no-install-recommends chromium >/dev/null 2>&1; } ||
        skip "chromium could not be installed"
fi

echo "== browser build"
status=0
scripts/build-web.sh || status=$?
[ "$status" -eq 3 ] && skip "emscripten could not be installed"
[ "$status" -eq 0 ] || exit "$status"

# The test's npm packages go beside the build, not into the sources.
mkdir -p build/web-test
cp tests/web/package.json tests/web/package-lock.json build/web-test/
(cd build/web-test && npm ci --no-audit --no-fund >/dev/null 2>&1) || skip "npm ci of tests/web/package.json failed (no npm registry?)"
export PLUMFOLD_SIM="${PLUMFOLD_SIM:-$PWD/build/gcc/tools/plumfold-sim}"
[ -x "$PLUMFOLD_SIM" ] || { echo "test-web: $PLUMFOLD_SIM is missing; build plumfold-sim first" >&2; exit 1; }
echo "== browser tests"
node --test tests/web/
