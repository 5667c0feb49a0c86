#!/usr/bin/env bash
# Installs what the build and the tests need: the libraries the build itself
# uses (Highway, Dear ImGui, CGAL, tinygltf), what the window tests drive the
# demo with (a virtual X server, input and window queries, screenshots read
# back as PPM), what the man pages and the Debian package are made with, and
# clang-tidy and clang-format for scripts/tidy.sh and scripts/format.sh.
# As root the missing Debian packages are installed; otherwise this says what
# to install (the window tests skip themselves until then).
set -uo pipefail

tools=(Xvfb xdotool xwininfo xwd xwdtopnm pnmtopng help2man dpkg-shlibdeps file clang-tidy clang-format)
packages=(xvfb xdotool x11-utils x11-apps netpbm netpbm help2man dpkg-dev file clang-tidy clang-format)

missing=()
for i in "${!tools[@]}"; do
    if ! command -v "${tools[$i]}" >/dev/null 2>&1; then
        case " ${missing[*]-} " in *" ${packages[$i]} "*) ;; *) missing+=("${packages[$i]}") ;; esac
    fi
done
# Libraries are found by a file they install: Google Highway for the engine's
# SIMD loops, Dear ImGui (it brings stb) for the lab's panel, CGAL and tinygltf
# for the mesh importers.
for pair in /usr/include/hwy/highway.h:libhwy-dev /usr/include/imgui/imgui.h:libimgui-dev \
            /usr/include/CGAL/IO/polygon_soup_io.h:libcgal-dev /usr/include/tiny_gltf.h:libtinygltf-dev; do
    [ -e "${pair%%:*}" ] || missing+=("${pair#*:}")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "The build and the tests need: ${missing[*]}."
    echo "Install them with: sudo apt-get install -y --no-install-recommends ${missing[*]}"
    echo "Until then those tests are skipped."
    exit 0
fi

echo "Installing for the build and the tests: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# The package lists may be missing or stale on a fresh machine: refresh once and retry.
if ! apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
    apt-get update >/dev/null 2>&1
    if ! apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; then
        echo "Could not install ${missing[*]}; the build needs the libraries, the window tests will be skipped." >&2
    fi
fi
exit 0
