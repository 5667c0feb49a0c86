#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy: bugprone-*, performance-*) over the C++ files of
# mesh/ body/ app/ tools/ that changed, with the compile commands of a build:
#   scripts/tidy.sh [BASE]   the files changed since BASE (default origin/main);
#                            without such a base (a fresh clone of main) the
#                            files of the last commit
#   scripts/tidy.sh --all    every file
# PLUMFOLD_TIDY_BUILD names the build whose compile_commands.json is used
# (default build/gcc, configured here by the preset gcc when missing). Findings
# fail the run; a wrong one gets "// NOLINT(check): why" on its line.
set -euo pipefail
cd "$(dirname "$0")/.."
tidy=$(command -v clang-tidy-14 || command -v clang-tidy || true)
[ -n "$tidy" ] || { echo "tidy.sh: clang-tidy not found (apt-get install clang-tidy)" >&2; exit 1; }
build=${PLUMFOLD_TIDY_BUILD:-build/gcc}
[ -f "$build/compile_commands.json" ] || cmake --preset gcc >/dev/null

sources='^(mesh|body|app|tools)/.*\.(cpp|h)$'
if [ "${1:-}" = --all ]; then
    mapfile -t changed < <(git ls-files | grep -E "$sources")
else
    base=${1:-origin/main}
    range=
    if git rev-parse --verify -q "$base^{commit}" >/dev/null; then range=$(git merge-base "$base" HEAD); fi
    # On main itself (CI's fresh clone) the base is HEAD: the last commit's files.
    if [ -z "$range" ] || [ "$range" = "$(git rev-parse HEAD)" ]; then range=HEAD~1; fi
    if git rev-parse --verify -q "$range^{commit}" >/dev/null; then
        mapfile -t changed < <(git diff --name-only --diff-filter=d "$range" -- | grep -E "$sources" || true)
    else  # a clone of one commit: every file
        mapfile -t changed < <(git ls-files | grep -E "$sources")
    fi
fi
# Headers are checked through the files that include them (HeaderFilterRegex);
# only files the build compiles have compile commands.
files=()
for file in "${changed[@]}"; do
    case $file in
        *.h) mapfile -t -O ${#files[@]} files < <(git grep -l -F "\"$file\"" -- '*.cpp' | grep -E "$sources" || true) ;;
        *) files+=("$file") ;;
    esac
done
compiled=()
for file in $(printf '%s\n' "${files[@]}" | sort -u); do
    grep -q "\"file\": \"$PWD/$file\"" "$build/compile_commands.json" && compiled+=("$file")
done
files=("${compiled[@]}")
if [ ${#files[@]} -eq 0 ]; then
    echo "tidy.sh: no C++ file of mesh/ body/ app/ tools/ changed"
    exit 0
fi
echo "tidy.sh: ${#files[@]} file(s)"
# clang-tidy's own count of warnings in headers it did not report goes to stderr.
"$tidy" -p "$build" --quiet "${files[@]}" 2> >(grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' >&2)
