#!/usr/bin/env bash
# Packs this build with CPack, unpacks the .deb into a scratch root and runs the
# installed programs from a folder of their own: they must find the installed
# body, reproduce a reference trajectory, and treat bad input exactly as the
# build tree's programs do. (The window itself is the window tests' business.)
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

# A bad body in the working folder wins over the installed one and meets the
# same message and status as in the build tree, from all three programs: one
# body for each kind of line the reader gives (unusable, format, cannot open).
tetra=$(cat "$reference/tetra.asc")
declare -A bodies=([nan_coordinate]="${tetra/Y:1/Y:nan}" [truncated]="${tetra%%Face 2*}")
for name in "${!bodies[@]}" directory; do
    mkdir -p "$work/$name/Objects"
    if [ $name = directory ]; then mkdir "$work/$name/Objects/Objekt3.asc"
    else printf '%s' "${bodies[$name]}" >"$work/$name/Objects/Objekt3.asc"; fi
    for command in plumfold "plumfold-sim Objects/Objekt3.asc 1" "plumfold-mesh check Objects/Objekt3.asc"; do
        read -r program arguments <<<"$command"
        built=$build/tools/$program
        [ $program = plumfold ] && built=$build/app/plumfold
        # shellcheck disable=SC2086
        same "$name: $command" "$(run_in "$work/$name" "$built" $arguments)" \
            "$(run_in "$work/$name" "$installed/$program" $arguments)"
    done
done

[ $failures -eq 0 ] && echo "installed package: all checks passed"
exit $((failures > 0))
