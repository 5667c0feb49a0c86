#!/usr/bin/env python3
"""Draws real-world models resting in the box as bodies: docs/your-own-shape.png.

    scripts/render-shapes.py [--models DIR] [--build DIR] [--output FILE]

Each model is prepared with `plumfold-mesh prepare` (the defaults; --up z for
STL), dropped into the box by `plumfold-sim MESH 2500 --dump` (2.5 time units:
fallen, bounced and at rest), and drawn from the demo's camera (eye (5, 0, 15)
looking at the centre, 50 degrees) with flat shading, one panel per model, two
panels a row. Only the Python standard library is used (a small z-buffer
rasteriser and a PNG writer), so it runs wherever the tools are built.
"""
import argparse
import math
import os
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODELS = ["spot.obj", "stanford-bunny.obj", "teapot.obj", "horse.ply"]
PANEL = 360
BOX = 4.5


def read_faces(asc):
    faces = []
    for line in open(asc):
        if line.startswith("Face ") and "A:" in line:
            parts = line.split()
            faces.append(tuple(int(p[2:]) for p in parts[2:5]))
    return faces


def settled_points(sim, asc):
    out = subprocess.run([sim, asc, "2500", "--dump"], capture_output=True, text=True, check=True).stdout
    points = []
    for line in out.splitlines():
        fields = line.split()
        if len(fields) == 6:
            points.append(tuple(float.fromhex(f) for f in fields[:3]))
    return points


class Camera:
    """gluLookAt(5, 0, 15, 0, 0, 0, 0, 1, 0) with gluPerspective(50)."""

    def __init__(self):
        eye = (5.0, 0.0, 15.0)
        f = norm((-eye[0], -eye[1], -eye[2]))
        s = norm(cross(f, (0.0, 1.0, 0.0)))
        u = cross(s, f)
        self.eye, self.f, self.s, self.u = eye, f, s, u
        self.scale = PANEL / 2 / math.tan(math.radians(25))

    def project(self, p):
        d = (p[0] - self.eye[0], p[1] - self.eye[1], p[2] - self.eye[2])
        depth = dot(d, self.f)
        return (PANEL / 2 + self.scale * dot(d, self.s) / depth, PANEL / 2 - self.scale * dot(d, self.u) / depth, depth)


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def norm(a):
    length = math.sqrt(dot(a, a)) or 1.0
    return (a[0] / length, a[1] / length, a[2] / length)


def fill(image, depth, camera, corners, colour):
    a, b, c = (camera.project(p) for p in corners)
    area = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])
    if area == 0:
        return
    x0, x1 = max(0, int(min(a[0], b[0], c[0]))), min(PANEL - 1, int(max(a[0], b[0], c[0])) + 1)
    y0, y1 = max(0, int(min(a[1], b[1], c[1]))), min(PANEL - 1, int(max(a[1], b[1], c[1])) + 1)
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            px, py = x + 0.5, y + 0.5
            w0 = ((b[0] - px) * (c[1] - py) - (b[1] - py) * (c[0] - px)) / area
            w1 = ((c[0] - px) * (a[1] - py) - (c[1] - py) * (a[0] - px)) / area
            w2 = 1 - w0 - w1
            if w0 < 0 or w1 < 0 or w2 < 0:
                continue
            z = w0 * a[2] + w1 * b[2] + w2 * c[2]
            if z < depth[y][x]:
                depth[y][x] = z
                image[y][x] = colour


def panel(points, faces):
    camera = Camera()
    image = [[(235, 235, 240)] * PANEL for _ in range(PANEL)]
    depth = [[math.inf] * PANEL for _ in range(PANEL)]
    # Floor and the back and side walls, in the demo's colours; no lid, no front.
    b = BOX
    walls = [((36, 59, 122), [(-b, -b, -b), (b, -b, -b), (b, -b, b), (-b, -b, b)]),
             ((112, 110, 158), [(-b, -b, -b), (-b, b, -b), (-b, b, b), (-b, -b, b)]),
             ((112, 110, 133), [(b, -b, -b), (b, b, -b), (b, b, b), (b, -b, b)]),
             ((90, 100, 140), [(-b, -b, -b), (b, -b, -b), (b, b, -b), (-b, b, -b)])]
    for colour, q in walls:
        fill(image, depth, camera, (q[0], q[1], q[2]), colour)
        fill(image, depth, camera, (q[0], q[2], q[3]), colour)
    light = norm((0.4, 0.8, 0.6))
    for f in faces:
        a, bb, c = points[f[0]], points[f[1]], points[f[2]]
        n = norm(cross((bb[0] - a[0], bb[1] - a[1], bb[2] - a[2]), (c[0] - a[0], c[1] - a[1], c[2] - a[2])))
        shade = 0.3 + 0.7 * abs(dot(n, light))
        fill(image, depth, camera, (a, bb, c), (int(230 * shade), int(150 * shade), int(60 * shade)))
    return image


def write_png(path, rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\x00" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--models", default=os.path.join(os.path.dirname(ROOT), "shared", "realworld"))
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "gcc"))
    parser.add_argument("--output", default=os.path.join(ROOT, "docs", "your-own-shape.png"))
    args = parser.parse_args()
    tools = os.path.join(args.build, "tools")
    panels = []
    with tempfile.TemporaryDirectory() as work:
        for name in MODELS:
            model = os.path.join(args.models, name)
            asc = os.path.join(work, name + ".asc")
            up = "z" if name.lower().endswith(".stl") else "y"
            subprocess.run([os.path.join(tools, "plumfold-mesh"), "prepare", model, "-o", asc, "--up", up],
                           check=True, capture_output=True)
            panels.append(panel(settled_points(os.path.join(tools, "plumfold-sim"), asc), read_faces(asc)))
            print(f"drew {name}", file=sys.stderr)
    rows = []
    for first in range(0, len(panels), 2):
        pair = panels[first:first + 2]
        for y in range(PANEL):
            rows.append([pixel for image in pair for pixel in image[y]])
    write_png(args.output, rows)


if __name__ == "__main__":
    main()
