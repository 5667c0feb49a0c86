#!/usr/bin/env bash
# Fuzzes every target for a bounded time, one process each (the machine is shared).
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     default: 30 seconds, every target
#   scripts/fuzz.sh 3600                      the long run: one hour per target
#
# Builds build/fuzz (clang++, AddressSanitizer, UndefinedBehaviorSanitizer and
# libFuzzer) unless PLUMFOLD_FUZZ_BUILD is set to an existing build of that kind.
# New inputs go to build/fuzz-corpus/TARGET, never into the repository. A fault
# stops the run with the input saved as build/fuzz-artifacts/TARGET-crash-...;
# once fixed, copy that input into fuzz/TARGET/regressions/ so CTest replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=()
    for dir in fuzz/*/; do
        [ -d "$dir/corpus" ] && targets+=("$(basename "$dir")")
    done
fi

build=${PLUMFOLD_FUZZ_BUILD:-}
if [ -z "$build" ]; then
    build=build/fuzz
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz --target "${targets[@]}"
fi

artifacts=build/fuzz-artifacts
mkdir -p "$artifacts"
for target in "${targets[@]}"; do
    work=build/fuzz-corpus/$target
    mkdir -p "$work"
    options=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$artifacts/$target-")
    for dict in fuzz/"$target"/*.dict; do
        [ -e "$dict" ] && options+=(-dict="$dict")
    done
    [ -f "fuzz/$target/options" ] && read -r -a extra <"fuzz/$target/options" && options+=("${extra[@]}")
    seeds=(fuzz/"$target"/corpus)
    [ -d "fuzz/$target/regressions" ] && seeds+=(fuzz/"$target"/regressions)
    echo "== fuzzing $target for ${seconds}s"
    # The libFuzzer log is long; keep it, show its end.
    if ! "$build/fuzz/$target" "${options[@]}" "$work" "${seeds[@]}" >"$artifacts/$target.log" 2>&1; then
        tail -n 60 "$artifacts/$target.log"
        echo "fuzz.sh: $target found a fault; the input is in $artifacts/ (log: $artifacts/$target.log)" >&2
        exit 1
    fi
    grep -E '^(stat::number_of_executed_units|Done)' "$artifacts/$target.log" || true
done
echo "fuzz.sh: no faults in ${targets[*]}"
