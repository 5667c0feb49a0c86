#!/usr/bin/env python3
"""Runs plumfold-bench and prints the three tables of docs/performance.md.

Usage: bench/performance_table.py [BUILD_DIR] [REPETITIONS]
(default build, 5). Each figure is the median over the repetitions of the
median step (or load + build) time within one repetition.
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

round_trips = [run["round_trip_ns"] for run in runs
               if run["run_name"].startswith("crossCoreRoundTrip") and run.get("aggregate_name") == "median"]

median = {}
for run in runs:
    if run.get("aggregate_name") != "median":
        continue
    kind, argument = run["run_name"].split("/")[:2]
    median[(kind, int(argument))] = run

print("| body | vertices | plain loops µs | engine µs | ratio | ns/vertex | with helper µs | ratio | "
      "AVX2 loops µs | portable loops µs | step heap growth |")
print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
for argument in (0, 3, 4, 5, 6, 7):
    plain = median[("plainStep", argument)]["median_us"]
    bulk = median[("bulkStep", argument)]
    two = median[("twoCoreStep", argument)]["median_us"]
    avx2 = median[("avx2Step", argument)]["median_us"]
    portable = median[("portableStep", argument)]["median_us"]
    print(f"| {names[argument]} | {vertices[argument]:,} | {plain:,.0f} | {bulk['median_us']:,.0f} | "
          f"{plain / bulk['median_us']:.2f} | {bulk['ns_per_vertex']:.0f} | {two:,.0f} | {plain / two:.2f} | "
          f"{avx2:,.0f} | {portable:,.0f} | {bulk['step_peak_B']:.0f} B |")
print()
print("| body | vertices | load + build ms | body heap MiB |")
print("|---|---:|---:|---:|")
for argument in (0, 3, 4, 5, 6, 7):
    load = median[("loadAndBuild", argument)]
    print(f"| {names[argument]} | {vertices[argument]:,} | {load['median_us'] / 1000:,.1f} | {load['body_MiB']:.1f} |")
print()
# The targets: one thread, and both cores (none for 642 vertices).
targets = {3: (25, None), 4: (90, 70), 5: (400, 280), 6: (1800, 1300)}
print("| vertices | target, one thread µs | engine µs | target, both cores µs | with helper µs |")
print("|---:|---:|---:|---:|---:|")
for argument, (one, both) in targets.items():
    bulk = median[("bulkStep", argument)]["median_us"]
    two = median[("twoCoreStep", argument)]["median_us"]
    both_text = f"{both:,}" if both is not None else "—"
    two_text = f"{two:,.0f}" if both is not None else "—"
    print(f"| {vertices[argument]:,} | {one:,} | {bulk:,.0f} | {both_text} | {two_text} |")
print()
print("Cross-core round trip, first and last: " + " / ".join(f"{ns:.0f} ns" for ns in round_trips))
