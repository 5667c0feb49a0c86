#!/usr/bin/env bash
# Packs this build with CPack, unpacks the .deb into a scratch root and runs the
# installed programs from a folder of their own: they must find the installed
# body, reproduce a reference trajectory, and prefer a body in the working
# folder. (The window itself is the window tests' business.)
#   installed_package_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(realpath "$1") source=$(realpath "$2")
for tool in cpack dpkg-deb dpkg-shlibdeps file help2man; do
    command -v $tool >/dev/null || { echo "skipped: $tool is missing (scripts/install-test-deps.sh)"; exit 77; }
done
scratch=$(mktemp -d /tmp/plumfold-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
same() {  # same WHAT EXPECTED ACTUAL
    [ "$2" == "$3" ] || fail "$1"$'\n'"--- expected"$'\n'"$2"$'\n'"--- got"$'\n'"$3"
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; exit 1; }
deb=$(echo "$scratch"/package/*.deb)
dpkg-deb --field "$deb" Depends | grep -q 'freeglut3\|libglut' || fail "Depends does not name GLUT: $(dpkg-deb --field "$deb" Depends)"
dpkg-deb -x "$deb" "$scratch/root"
installed=$scratch/root/usr/bin
for program in plumfold plumfold-sim plumfold-mesh; do
    grep -q '^\.TH' "$scratch/root/usr/share/man/man1/$program.1" || fail "no man page for $program"
done
work=$scratch/elsewhere
mkdir "$work" && cd "$work" || exit 1

# Every trajectory through the installed plumfold-sim, checked against its recorded checksum.
reference=$source/tests/data/reference
while read -r mesh steps checksum; do
    same "plumfold-sim $mesh $steps" "checksum $checksum" "$("$installed/plumfold-sim" "$reference/$mesh" "$steps" | tail -1)"
done < <(grep -v '^#' "$reference/checksums.txt")
cmp -s "$source/Objects/Objekt3.asc" "$scratch/root/usr/share/plumfold/Objects/Objekt3.asc" || fail "installed body differs"

# Runs PROGRAM [ARGS] in DIR without a display; prints its output and status.
run_in() { (cd "$1" && shift && env -u DISPLAY "$@" 2>&1; echo "status $?"); }

# The report from a folder without a body: the installed one is read. The build
# tree's program, started in the checkout, says what it must be.
same "report without a display" "$(run_in "$source" "$build/app/plumfold" | grep -v '^freeglut')" \
    "$(run_in "$work" "$installed/plumfold" | grep -v '^freeglut')"

# A body in the working folder wins over the installed one: a truncated one
# meets the build tree's message and status (every program's reaction to bad
# bodies is tests/robustness/' business).
mkdir -p "$work/bad/Objects" && sed '/^Face 2/,$d' "$reference/tetra.asc" >"$work/bad/Objects/Objekt3.asc"
same "a bad body in the working folder" "$(run_in "$work/bad" "$build/app/plumfold")" \
    "$(run_in "$work/bad" "$installed/plumfold")"

[ $failures -eq 0 ] && echo "installed package: all checks passed"
exit $((failures > 0))
