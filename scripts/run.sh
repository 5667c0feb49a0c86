#!/usr/bin/env bash
# Builds the demo and the tools plumfold-mesh and plumfold-sim (release, into
# build/release) and starts the demo from the repository root, where it reads
# Objects/Objekt3.asc. On a desktop it simply runs. Without a reachable
# display it runs the demo for a few seconds on a virtual X server, saves a
# screenshot to build/plumfold.png and ends it with Escape.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release  # the preset release
binary=$build/app/plumfold

# Installs Debian packages when run as root; otherwise names them and stops.
require() {  # require "tool:package" ...
    local missing=() pair
    for pair in "$@"; do
        if ! command -v "${pair%%:*}" >/dev/null 2>&1 && [ ! -e "${pair%%:*}" ]; then
            missing+=("${pair#*:}")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
        echo "run.sh: please install: ${missing[*]} (apt-get install --no-install-recommends ${missing[*]})" >&2
        exit 1
    fi
    echo "Installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
        { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; }
}

require cmake:cmake c++:g++ /usr/include/GL/glut.h:freeglut3-dev /usr/include/GL/glu.h:libglu1-mesa-dev \
    /usr/include/hwy/highway.h:libhwy-dev /usr/include/imgui/imgui.h:libimgui-dev \
    /usr/include/CGAL/IO/polygon_soup_io.h:libcgal-dev /usr/include/tiny_gltf.h:libtinygltf-dev
cmake --preset release >/dev/null
# The tools too: the README's recipe for your own shape uses them from here.
cmake --build --preset release --target plumfold plumfold-mesh plumfold-sim

display_reachable() {
    [ -n "${DISPLAY:-}" ] || return 1
    if command -v xdpyinfo >/dev/null 2>&1; then xdpyinfo >/dev/null 2>&1
    elif command -v xset >/dev/null 2>&1; then xset q >/dev/null 2>&1
    else return 0  # nothing to ask: trust DISPLAY
    fi
}
if display_reachable; then
    exec "$binary" "$@"
fi

# No display: a short run on a private virtual X server.
require Xvfb:xvfb xdotool:xdotool xwd:x11-apps xwdtopnm:netpbm pnmtopng:netpbm
scratch=$(mktemp -d)
xvfb_pid=
demo_pid=
cleanup() {
    [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# -displayfd: Xvfb picks a free display number and writes it once it is ready.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$scratch/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 300); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || { echo "run.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$scratch/display")"
echo "No desktop display found; running the demo on the virtual display $DISPLAY for a few seconds."

"$binary" "$@" &
demo_pid=$!
window=
for _ in $(seq 600); do
    window=$(xdotool search --name '^Plumfold 3\.0 by ' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    kill -0 "$demo_pid" 2>/dev/null || { echo "run.sh: the demo ended before its window opened" >&2; exit 1; }
    sleep 0.1
done
[ -n "$window" ] || { echo "run.sh: no window appeared" >&2; exit 1; }

sleep 4  # the body falls and settles on the floor
xwd -id "$window" -silent | xwdtopnm 2>/dev/null | pnmtopng >build/plumfold.png 2>/dev/null
echo "Screenshot of the running demo: $(pwd)/build/plumfold.png"

# Quit as a user would: pointer in the window (keyboard focus follows it), Escape.
xdotool mousemove --window "$window" 300 300 key Escape
status=
for _ in $(seq 100); do
    if ! kill -0 "$demo_pid" 2>/dev/null; then
        wait "$demo_pid" && status=0 || status=$?
        break
    fi
    sleep 0.1
done
demo_pid=
if [ "$status" != 0 ]; then
    echo "run.sh: the demo did not end cleanly on Escape (status ${status:-still running})" >&2
    exit 1
fi
echo "The demo ended on Escape."
