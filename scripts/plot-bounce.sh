#!/usr/bin/env bash
# Plots the first simulated seconds of a body in the demo scene: its volume
# measure and its lowest, highest and mean height, from plumfold-sim's CSV.
#
# Usage: scripts/plot-bounce.sh [MESH] [OUT.png] [STEPS]
#   MESH defaults to Objects/Objekt3.asc, OUT to docs/bounce.png, STEPS to 5000
#   (5 simulated seconds). Needs gnuplot (Debian: apt-get install gnuplot-nox);
#   builds plumfold-sim in build/ when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
mesh=${1:-Objects/Objekt3.asc}
out=${2:-docs/bounce.png}
steps=${3:-5000}

if ! command -v gnuplot >/dev/null; then
    echo "plot-bounce.sh: gnuplot is needed; install it with: apt-get install gnuplot-nox" >&2
    exit 1
fi
sim=build/tools/plumfold-sim
if [ ! -x "$sim" ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build -j2 --target plumfold-sim
fi

csv=$(mktemp)
trap 'rm -f "$csv"' EXIT
"$sim" "$mesh" "$steps" --csv 5 --csv-file "$csv" >/dev/null

gnuplot <<GNUPLOT
set terminal pngcairo size 1000,600 font "sans,11"
set output "$out"
set datafile separator ","
set key top right box opaque
set title "$(basename "$mesh") in the demo scene: fall, bounce and rest (time step 0.001)"
set xlabel "simulated time"
set ylabel "height (floor at -4.5)"
set y2label "volume measure (1.998 x enclosed volume)"
set ytics nomirror
set y2tics
set yrange [-4.8:3.5]
set grid
plot "$csv" using 2:4 every ::1 with lines lw 2 lc rgb "#1f77b4" title "lowest point", \
     "$csv" using 2:5 every ::1 with lines lw 2 lc rgb "#2ca02c" title "highest point", \
     "$csv" using 2:7 every ::1 with lines lw 2 lc rgb "#9467bd" title "centroid", \
     "$csv" using 2:3 every ::1 axes x1y2 with lines lw 2 lc rgb "#d62728" title "volume (right axis)"
GNUPLOT
echo "wrote $out"
