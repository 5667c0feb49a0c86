#!/usr/bin/env python3
"""Soak test: abuse the body with scripted drags for many steps, then check it.

    scripts/soak.py [--mesh FILE] [--steps N] [--seed S] [--settle N] [--sim PROGRAM]

Runs plumfold-sim on MESH (default Objects/Objekt3.asc) for STEPS steps
(default 1000000) with the drags of scripts/torture-events.py, and checks that,
after the last release and SETTLE quiet steps:
  - the body has exactly the mass points, springs and faces that construction
    gives (no drag point or drag spring left behind);
  - every coordinate is finite and inside the box: y >= -4.5, |x|, |z| <= 4.5;
  - |volume| is within TOLERANCE (default 10 %) of the resting volume, measured
    by a run of the same mesh without drags. The sign may be negative: violent
    drags can turn the body inside out, and it stays so.
It also reports the run time and every step at which the volume changed sign,
with the drag scene that was running then. Exit status 0 when every check
holds, 1 otherwise. Only the Python standard library is used.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BOX = 4.5
REST_STEPS = 40000  # the scene body is at rest well before this


def find_sim():
    for candidate in ("build/gcc/tools/plumfold-sim", "build/tools/plumfold-sim", "build/clang/tools/plumfold-sim"):
        path = os.path.join(ROOT, candidate)
        if os.access(path, os.X_OK):
            return path
    sys.exit("soak.py: no plumfold-sim built; run scripts/test.sh or pass --sim")


def run_sim(sim, args):
    started = time.monotonic()
    done = subprocess.run([sim] + args, capture_output=True, text=True)
    seconds = time.monotonic() - started
    if done.returncode != 0:
        sys.exit(f"soak.py: {' '.join([sim] + args)} failed with status {done.returncode}:\n{done.stdout}{done.stderr}")
    return done.stdout, seconds


def stats(output):
    result = {}
    for line in output.splitlines():
        words = line.split()
        if not words:
            continue
        if words[0] == "volume":
            result["volume"] = float(words[1])
        elif words[0] == "points":
            result["counts"] = line
        elif words[0] == "finite":
            result["finite"] = words[1] == "yes"
        elif words[0] == "bounds":
            result["bounds"] = [float(w) for w in words[1:7]]
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mesh", default=os.path.join(ROOT, "Objects", "Objekt3.asc"))
    parser.add_argument("--steps", type=int, default=1000000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--settle", type=int, default=20000)
    parser.add_argument("--tolerance", type=float, default=0.10)
    parser.add_argument("--sim", default=None)
    args = parser.parse_args()
    sim = args.sim or find_sim()

    rest_out, _ = run_sim(sim, [args.mesh, str(REST_STEPS), "--stats"])
    rest = stats(rest_out)

    with tempfile.TemporaryDirectory() as tmp:
        events = os.path.join(tmp, "events.txt")
        with open(events, "w") as out:
            subprocess.run([sys.executable, os.path.join(HERE, "torture-events.py"), str(args.steps),
                            "--seed", str(args.seed), "--settle", str(args.settle)], stdout=out, check=True)
        with open(events) as f:
            event_text = f.read()
        out, seconds = run_sim(sim, [args.mesh, str(args.steps), "--events", events, "--stats",
                                     "--trace", str(max(args.steps // 100, 1))])
    final = stats(out)

    scenes = [(int(m.group(1)), m.group(2)) for m in re.finditer(r"^# step (\d+): (\w+)$", event_text, re.M)]
    presses = len(re.findall(r"^\d+ press ", event_text, re.M))
    motions = len(re.findall(r"^\d+ motion ", event_text, re.M))
    flips = [line.split() for line in out.splitlines() if line.startswith("flip ")]

    def scene_at(step):
        name = "settling"
        for start, scene in scenes:
            if start <= step:
                name = scene
        return name

    print(f"mesh {args.mesh}; {args.steps} steps, seed {args.seed}, last {args.settle} steps without drags")
    print(f"events: {presses} presses, {motions} motions in {len(scenes)} scenes")
    print(f"run time {seconds:.1f} s ({seconds / max(args.steps, 1) * 1e6:.1f} us per step)")
    print(f"resting volume {rest['volume']:.9g} ({REST_STEPS} steps, no drags)")
    print(f"final: volume {final['volume']:.9g}; {final['counts']}; finite {'yes' if final['finite'] else 'no'}")
    print("final bounds x [%.6g, %.6g] y [%.6g, %.6g] z [%.6g, %.6g]" % tuple(final["bounds"]))
    print(f"volume sign changes: {len(flips)}")
    for _, step, before, after in flips[:40]:
        print(f"  step {step}: {before} -> {after} during {scene_at(int(step))}")
    if len(flips) > 40:
        print(f"  ... {len(flips) - 40} more")

    failures = []
    if final["counts"] != rest["counts"]:
        failures.append(f"counts '{final['counts']}' differ from the built body's '{rest['counts']}'")
    if not final["finite"]:
        failures.append("a coordinate or velocity is not finite")
    x0, x1, y0, _, z0, z1 = final["bounds"]
    if not (x0 >= -BOX and x1 <= BOX and y0 >= -BOX and z0 >= -BOX and z1 <= BOX):
        failures.append("a point is outside the box")
    ratio = abs(final["volume"]) / rest["volume"]
    if not abs(ratio - 1) <= args.tolerance:
        failures.append(f"|volume| is {ratio:.3f} times the resting volume")
    if presses == 0:
        failures.append("the events file has no press")
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        return 1
    print(f"PASS: built body's counts, finite, inside the box, |volume| {ratio:.4f} x resting"
          + (" (inside out)" if final["volume"] < 0 else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
