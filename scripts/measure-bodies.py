#!/usr/bin/env python3
"""Compares candidate bodies for Objects/Objekt3.asc in the compiled-in scene.

For each candidate: generates it with plumfold-mesh, vets it with
plumfold-mesh check, drops it for 8 simulated seconds (8000 steps) and reads the
CSV of plumfold-sim, then runs 200,000 steps with the drags of
docs/long-run.events. Prints one Markdown table row per candidate.

Usage: scripts/measure-bodies.py [BUILD_DIR] [NAME ...]   (BUILD_DIR defaults to build)
"""
import csv
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CANDIDATES = {
    "ico1-r2": ["sphere", "1", "2"],
    "ico2-r1.5": ["sphere", "2", "1.5"],
    "ico2-r2": ["sphere", "2", "2"],
    "ico2-r2.5": ["sphere", "2", "2.5"],
    "ico3-r1.5": ["sphere", "3", "1.5"],
    "ico3-r2": ["sphere", "3", "2"],
    "ico3-r2.5": ["sphere", "3", "2.5"],
    "ico4-r2": ["sphere", "4", "2"],
    "cube2-d4": ["cube", "2.5", "4"],
    "torus2-0.8": ["torus", "2", "0.8", "32", "12"],
}
SETTLE_STEPS = 8000
LONG_STEPS = 200000
LIMIT = 4.5


def run(args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def stats(output):
    values = {}
    for line in output.splitlines():
        key, _, rest = line.partition(" ")
        values[key] = rest.split()
    return values


def read_csv(path):
    with open(path) as f:
        return [{k: float(v) for k, v in row.items()} for row in csv.DictReader(f)]


def settle_figures(rows):
    v0 = rows[0]["volume"]
    tail = [r for r in rows if r["time"] >= rows[-1]["time"] - 2.0]
    v_rest = sum(r["volume"] for r in tail) / len(tail)
    cy_rest = sum(r["centroid_y"] for r in tail) / len(tail)
    hit = next((r for r in rows if r["min_y"] <= -LIMIT + 1e-4), None)
    # Rebound: the highest the centroid climbs again after its first low point.
    rebound = 0.0
    if hit is not None:
        after = [r for r in rows if r["time"] >= hit["time"]]
        low = next((i for i in range(1, len(after) - 1)
                    if after[i]["centroid_y"] <= after[i - 1]["centroid_y"]
                    and after[i]["centroid_y"] < after[i + 1]["centroid_y"]), None)
        if low is not None:
            rebound = max(r["centroid_y"] for r in after[low:]) - cy_rest
    settled = 0.0
    for r in rows:
        if abs(r["centroid_y"] - cy_rest) > 0.01:
            settled = r["time"]
    squash = min(r["volume"] for r in rows if hit and r["time"] >= hit["time"]) / v_rest if hit else 1.0
    return v0, v_rest, cy_rest, hit["time"] if hit else None, rebound, settled, squash, rows[-1]


def measure(build, name, generator):
    mesh_tool = os.path.join(build, "tools", "plumfold-mesh")
    sim = os.path.join(build, "tools", "plumfold-sim")
    events = os.path.join(ROOT, "docs", "long-run.events")
    with tempfile.TemporaryDirectory() as tmp:
        mesh = os.path.join(tmp, name + ".asc")
        run([mesh_tool] + generator + ["-o", mesh])
        check = subprocess.run([mesh_tool, "check", mesh], capture_output=True, text=True)
        counts = stats(check.stdout)
        settle_csv = os.path.join(tmp, "settle.csv")
        end = stats(run([sim, mesh, str(SETTLE_STEPS), "--stats", "--csv", "10", "--csv-file", settle_csv]))
        v0, v_rest, cy_rest, hit, rebound, settled, squash, last = settle_figures(read_csv(settle_csv))
        b = [float(x) for x in end["bounds"]]
        width = max(b[1] - b[0], b[5] - b[4])
        height = b[3] - b[2]

        long_csv = os.path.join(tmp, "long.csv")
        start = time.process_time()
        before = os.times()
        out = stats(run([sim, mesh, str(LONG_STEPS), "--events", events, "--stats", "--csv", "100",
                         "--csv-file", long_csv]))
        after = os.times()
        cpu = (after.children_user + after.children_system) - (before.children_user + before.children_system)
        del start
        rows = read_csv(long_csv)
        lb = [float(x) for x in out["bounds"]]
        inside = lb[0] >= -LIMIT and lb[1] <= LIMIT and lb[2] >= -LIMIT and lb[4] >= -LIMIT and lb[5] <= LIMIT
        vols = [r["volume"] for r in rows]
        return {
            "name": name,
            "vertices": int(counts["vertices"][0]), "faces": int(counts["vertices"][2]),
            "springs": int(counts["springs"][0]), "check": "ok" if check.returncode == 0 else "FAIL",
            "v0": v0, "v_rest": v_rest, "inflate": v_rest / v0, "hit": hit, "rebound": rebound,
            "settled": settled, "squash": squash, "height": height, "width": width,
            "finite": out["finite"][0], "inside": "yes" if inside else "NO",
            "vmin": min(vols) / v_rest, "vmax": max(vols) / v_rest, "vend": vols[-1] / v_rest,
            "us_per_step": cpu / LONG_STEPS * 1e6,
        }


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
    names = sys.argv[2:] or list(CANDIDATES)
    print("| body | verts | faces | springs | check | vol0 | vol rest | x | 1st floor t | rebound | settled t |"
          " min vol/rest | rest h x w | long: finite | inside | vol min..max /rest | end /rest | us/step |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for name in names:
        m = measure(build, name, CANDIDATES[name])
        hit = f"{m['hit']:.2f}" if m["hit"] is not None else "never"
        print(f"| {m['name']} | {m['vertices']} | {m['faces']} | {m['springs']} | {m['check']} | {m['v0']:.1f} |"
              f" {m['v_rest']:.1f} | {m['inflate']:.2f} | {hit} | {m['rebound']:.2f} | {m['settled']:.2f} |"
              f" {m['squash']:.2f} | {m['height']:.2f} x {m['width']:.2f} | {m['finite']} | {m['inside']} |"
              f" {m['vmin']:.2f}..{m['vmax']:.2f} | {m['vend']:.2f} | {m['us_per_step']:.0f} |", flush=True)


if __name__ == "__main__":
    main()
