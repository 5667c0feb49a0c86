#!/usr/bin/env python3
"""Runs plumfold-bench and prints the tables of docs/performance.md.

Usage: bench/performance_table.py [BUILD_DIR] [REPETITIONS]
(default build, 5). Each figure is the median over the repetitions of the
median step (or load + build) time within one repetition; every ratio is the
reference's time over the engine's, both from the same run.
"""
import json
import subprocess
import sys
import tempfile

build = sys.argv[1] if len(sys.argv) > 1 else "build"
repetitions = sys.argv[2] if len(sys.argv) > 2 else "5"
vertices = {0: 642, 3: 642, 4: 2562, 5: 10242, 6: 40962, 7: 163842}
names = {0: "Objects/Objekt3.asc", 3: "icosphere 3", 4: "icosphere 4", 5: "icosphere 5", 6: "icosphere 6",
         7: "icosphere 7"}

with tempfile.NamedTemporaryFile(suffix=".json") as out:
    subprocess.run([f"{build}/bench/plumfold-bench", f"--benchmark_repetitions={repetitions}",
                    "--benchmark_report_aggregates_only=true", f"--benchmark_out={out.name}",
                    "--benchmark_out_format=json"], check=True, stdout=subprocess.DEVNULL)
    runs = json.load(open(out.name))["benchmarks"]

median = {}
targets = []
for run in runs:
    if run.get("aggregate_name") != "median":
        continue
    parts = run["run_name"].split("/")
    kind = "/".join(parts[:-3]) if parts[0] != "loadAndBuild" else parts[0]
    argument = int(parts[-3] if parts[0] != "loadAndBuild" else parts[1])
    median[(kind, argument)] = run
    if kind.startswith("engineStep/") and kind[11:] not in targets:
        targets.append(kind[11:])

arguments = sorted({argument for (_, argument) in median}, key=lambda a: (a != 0, a))
print("| body | vertices | reference µs | " + " | ".join(f"{t} µs | ratio" for t in targets) +
      " | step heap growth |")
print("|---|---:|---:|" + "---:|---:|" * len(targets) + "---:|")
for argument in arguments:
    if ("referenceStep", argument) not in median:
        continue
    reference = median[("referenceStep", argument)]["median_us"]
    cells = []
    growth = 0
    for t in targets:
        engine = median[(f"engineStep/{t}", argument)]
        cells.append(f"{engine['median_us']:,.1f} | {reference / engine['median_us']:.2f}")
        growth = max(growth, engine["step_peak_B"])
    print(f"| {names[argument]} | {vertices[argument]:,} | {reference:,.1f} | " + " | ".join(cells) +
          f" | {growth:.0f} B |")
print()
print("| body | vertices | load + build ms | body heap MiB |")
print("|---|---:|---:|---:|")
for argument in arguments:
    if ("loadAndBuild", argument) in median:
        load = median[("loadAndBuild", argument)]
        print(f"| {names[argument]} | {vertices[argument]:,} | {load['median_us'] / 1000:,.1f} | "
              f"{load['body_MiB']:.1f} |")
