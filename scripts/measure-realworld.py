#!/usr/bin/env python3
"""Prepares and checks every real-world model, drags each body abusively, and
writes the table of docs/realworld.md.

    scripts/measure-realworld.py [--models DIR] [--build DIR] [--seeds N]
                                 [--points N] [--size S] [--output FILE]

For every model in DIR (default ../shared/realworld beside the repository):
`plumfold-mesh prepare` with the defaults (up axis z for STL files, which
3D-printing programs write Z-up, y otherwise), `plumfold-mesh check` on the
result, and `plumfold-sim` under N files of scripts/torture-events.py (default
3). Beside that, `check` of the model as `plumfold-mesh convert --fit 6 --force`
writes it (triangle fans, nothing repaired): what check says without prepare.
A torture run survives as the shipped body does: finite, and its volume, either
way round, within 0.5 to 3 times that of the body as built. Endings inside out
(the shipped body's most common one) and still high in the air after a fling
(the walls have no top, so it comes back) are counted beside. The shipped body is measured
the same way, first. The models are read where they are, never copied.

--points and --size are passed to prepare, for choosing the defaults; the table
then goes to standard output unless --output is given.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TORTURE_STEPS = 20000


def run(command):
    start = time.perf_counter()
    done = subprocess.run(command, capture_output=True, text=True)
    return done, time.perf_counter() - start


def field(text, key):
    for line in text.splitlines():
        if line.startswith(key + " "):
            return line[len(key) + 1:]
    return None


def torture(sim, mesh, events):
    """Survivals and inside-out endings over the torture files."""
    built, _ = run([sim, mesh, "0"])
    start = float(field(built.stdout, "volume"))
    survived = flipped = flying = 0
    for path in events:
        done, _ = run([sim, mesh, str(TORTURE_STEPS), "--events", path, "--stats"])
        volume = float(field(done.stdout, "volume") or "nan")
        bounds = [float(b) for b in (field(done.stdout, "bounds") or "nan " * 6).split()]
        finite = field(done.stdout, "finite") == "yes"
        ratio = abs(volume) / start if start > 0 else 0
        if finite and 0.5 <= ratio <= 3:
            survived += 1
            flipped += volume < 0
            flying += bounds[3] > 9
    return survived, flipped, flying


def measure(model, args, work, events):
    tools = os.path.join(args.build, "tools")
    name = os.path.basename(model)
    row = {"model": name}
    up = "z" if name.lower().endswith(".stl") else "y"
    if model.endswith(".asc"):
        prepared = model
        row.update(points="(as shipped)", prepare="")
        triangles = field(run([os.path.join(tools, "plumfold-mesh"), "check", model])[0].stdout, "vertices")
        row["triangles"] = triangles.split()[2] if triangles else "?"
    else:
        prepared = os.path.join(work, name + ".asc")
        command = [os.path.join(tools, "plumfold-mesh"), "prepare", model, "-o", prepared, "--up", up]
        if args.points:
            command += ["--points", str(args.points)]
        if args.size:
            command += ["--size", str(args.size)]
        done, seconds = run(command)
        row["prepare"] = f"{seconds:.2f} s"
        row["triangles"] = count_triangles(model)
        if done.returncode != 0:
            row.update(points="-", verdict="refused: " + done.stderr.strip().split(": ")[-1], ratio="", check="",
                       torture="")
            return row
        row["points"] = (field(open(prepared).read(), "Vertices:") or "?").split()[0]
        row["up"] = up
        row["raw"] = check_unprepared(model, work)
    done, seconds = run([os.path.join(tools, "plumfold-mesh"), "check", prepared])
    row["check"] = f"{seconds:.2f} s"
    probe = field(done.stdout, "probe:") or ""
    row["verdict"] = ("usable" if done.returncode == 0 else "NOT usable: " + probe.split(" (")[0])
    row["ratio"] = probe.split("(volume x")[1].split(")")[0] if "(volume x" in probe else ""
    survived, flipped, flying = torture(os.path.join(tools, "plumfold-sim"), prepared, events)
    notes = [f"{flipped} inside out"] if flipped else []
    notes += [f"{flying} still in the air"] if flying else []
    row["torture"] = f"{survived}/{len(events)}" + (f" ({', '.join(notes)})" if notes else "")
    return row


def check_unprepared(model, work):
    """What check says of the model converted as it is: its first error, or usable."""
    tool = os.path.join(ARGS.build, "tools", "plumfold-mesh")
    raw = os.path.join(work, os.path.basename(model) + ".raw.asc")
    if run([tool, "convert", model, "--fit", "6", "--force", "-o", raw])[0].returncode != 0:
        return "not converted"
    done, _ = run([tool, "check", raw])
    if done.returncode == 0:
        return "usable"
    probe = field(done.stdout, "probe:")
    error = field(done.stdout, "error:") or done.stderr.strip()
    return "NOT usable: " + (probe.split(" (")[0] + "; " if probe else "") + error


def count_triangles(model):
    """Triangles of the model as a triangle fan of each polygon would give."""
    done, _ = run([os.path.join(ARGS.build, "tools", "plumfold-mesh"), "convert", model, "--force"])
    counts = field(done.stdout, "Vertices:")
    return counts.split()[-1] if counts else "?"


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--models", default=os.path.join(os.path.dirname(ROOT), "shared", "realworld"))
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "gcc"))
    parser.add_argument("--seeds", type=int, default=3)
    parser.add_argument("--points", type=int)
    parser.add_argument("--size", type=float)
    parser.add_argument("--output")
    ARGS = args = parser.parse_args()
    if not os.path.isdir(args.models):
        sys.exit(f"measure-realworld.py: no models in {args.models}; pass --models DIR")
    models = sorted(os.path.join(args.models, f) for f in os.listdir(args.models)
                    if f.lower().rsplit(".", 1)[-1] in ("obj", "stl", "ply", "off", "gltf", "glb"))
    models.insert(0, os.path.join(ROOT, "Objects", "Objekt3.asc"))
    rows = []
    with tempfile.TemporaryDirectory() as work:
        events = []
        for seed in range(1, args.seeds + 1):
            path = os.path.join(work, f"torture-{seed}.events")
            with open(path, "w") as out:
                subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "torture-events.py"),
                                str(TORTURE_STEPS), "--seed", str(seed)], stdout=out, check=True)
            events.append(path)
        for model in models:
            rows.append(measure(model, args, work, events))
            print(rows[-1], file=sys.stderr, flush=True)
    lines = ["| model | input triangles | prepared points | verdict of check | volume after the probe | "
             f"torture runs survived (of {args.seeds}) | prepare | check | check without prepare |",
             "|---|---:|---:|---|---:|---|---:|---:|---|"]
    for r in rows:
        ratio = f"x{r['ratio']}" if r.get("ratio") else ""
        lines.append(f"| {r['model']} | {r['triangles']} | {r['points']} | {r['verdict']} | {ratio} | "
                     f"{r.get('torture', '')} | {r.get('prepare', '')} | {r.get('check', '')} | {r.get('raw', '')} |")
    table = "\n".join(lines) + "\n"
    if not args.output:
        sys.stdout.write(table)
        return
    text = open(args.output).read() if os.path.exists(args.output) else ""
    begin, end = "<!-- table: scripts/measure-realworld.py -->", "<!-- end of table -->"
    if begin in text and end in text:
        text = text[:text.index(begin) + len(begin)] + "\n" + table + text[text.index(end):]
    else:
        text += f"\n{begin}\n{table}{end}\n"
    with open(args.output, "w") as out:
        out.write(text)


if __name__ == "__main__":
    main()
