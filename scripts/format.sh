#!/usr/bin/env bash
# Formats the C++ sources with clang-format and the house style (.clang-format):
#   scripts/format.sh           rewrite every tracked .h/.cpp that is not formatted
#   scripts/format.sh --check   change nothing; name the files that are not formatted
#                               and fail when there is one
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format || true)
[ -n "$format" ] || { echo "format.sh: clang-format not found (apt-get install clang-format)" >&2; exit 1; }
mapfile -t files < <(git ls-files -- '*.h' '*.cpp' | grep -E '^(mesh|body|app|tools|tests|bench|fuzz)/')

if [ "${1:-}" = --check ]; then
    unformatted=0
    for file in "${files[@]}"; do
        if ! "$format" --style=file "$file" | cmp -s - "$file"; then
            echo "not formatted: $file"
            unformatted=$((unformatted + 1))
        fi
    done
    [ $unformatted -eq 0 ] || { echo "format.sh: $unformatted file(s) not formatted; scripts/format.sh fixes them" >&2; exit 1; }
    echo "format.sh: ${#files[@]} files formatted"
else
    "$format" --style=file -i "${files[@]}"
fi
