#!/usr/bin/env bash
# Serves the browser build (scripts/build-web.sh) on this machine only and
# prints its address. Usage: scripts/serve-web.sh [PORT]   (default 8015)
set -euo pipefail
cd "$(dirname "$0")/.."
port=${1:-8015}
if [ ! -f build/web/index.html ]; then
    echo "serve-web: build/web/index.html is missing; run scripts/build-web.sh first" >&2
    exit 1
fi
echo "Plumfold in the browser: http://127.0.0.1:$port/index.html   (Ctrl+C stops the server)"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build/web
