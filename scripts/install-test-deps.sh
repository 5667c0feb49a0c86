#!/usr/bin/env bash
# Installs what the window tests drive the demo with: a virtual X server, input
# and window queries, and screenshots read back as PPM. As root the missing
# Debian packages are installed; otherwise this says what to install and the
# window tests skip themselves until then.
set -uo pipefail

tools=(Xvfb xdotool xwininfo xwd xwdtopnm pnmtopng)
packages=(xvfb xdotool x11-utils x11-apps netpbm netpbm)

missing=()
for i in "${!tools[@]}"; do
    if ! command -v "${tools[$i]}" >/dev/null 2>&1; then
        case " ${missing[*]-} " in *" ${packages[$i]} "*) ;; *) missing+=("${packages[$i]}") ;; esac
    fi
done
# The engine's SIMD loops are built with Google Highway (headers and libhwy).
[ -f /usr/include/hwy/highway.h ] || missing+=(libhwy-dev)
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ] || ! command -v apt-get >/dev/null 2>&1; then
    echo "The window tests need: ${missing[*]}."
    echo "Install them with: sudo apt-get install -y --no-install-recommends ${missing[*]}"
    echo "Until then those tests are skipped."
    exit 0
fi

echo "Installing for the window tests: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# The package lists may be missing or stale on a fresh machine: refresh once and retry.
if ! apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
    apt-get update >/dev/null 2>&1
    if ! apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; then
        echo "Could not install ${missing[*]}; the window tests will be skipped." >&2
    fi
fi
exit 0
