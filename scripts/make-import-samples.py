#!/usr/bin/env python3
"""Writes the small foreign mesh files that the import tests and the importer
fuzz targets start from: tests/data/import/ and fuzz/fuzz_import_*/corpus/.

Each file is made here, from coordinates written out below, so they can be
committed under the project's licence. Run from anywhere; it rewrites them all.
"""
import base64
import json
import math
import pathlib
import shutil
import struct

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUT = ROOT / "tests" / "data" / "import"

TETRA_POINTS = [(0, 1, 0), (-1, -1, 1), (1, -1, 1), (0, -1, -1)]
TETRA_FACES = [(0, 1, 2), (0, 2, 3), (0, 3, 1), (1, 3, 2)]  # outward


def cube_points(sx=1.0, sy=1.0, sz=1.0):
    return [(x * sx, y * sy, z * sz) for x in (-1, 1) for y in (-1, 1) for z in (-1, 1)]


# The cube's six sides as outward quads over cube_points() (index = 4x + 2y + z).
CUBE_QUADS = [(0, 1, 3, 2), (4, 6, 7, 5), (0, 4, 5, 1), (2, 3, 7, 6), (0, 2, 6, 4), (1, 5, 7, 3)]


def triangles_of(quads):
    return [t for a, b, c, d in quads for t in ((a, b, c), (a, c, d))]


def outward(points, triangles):
    """The triangles of one closed convex piece, each turned to face away from its middle."""
    corners = sorted({i for t in triangles for i in t})
    middle = [sum(points[i][k] for i in corners) / len(corners) for k in range(3)]
    result = []
    for a, b, c in triangles:
        u = [points[b][k] - points[a][k] for k in range(3)]
        v = [points[c][k] - points[a][k] for k in range(3)]
        n = [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]
        out = sum(n[k] * (points[a][k] - middle[k]) for k in range(3))
        result.append((a, b, c) if out > 0 else (a, c, b))
    return result


def obj(points, polygons):
    lines = ["# made by scripts/make-import-samples.py"]
    lines += ["v %r %r %r" % p for p in points]
    lines += ["f " + " ".join(str(i + 1) for i in poly) for poly in polygons]
    return "\n".join(lines) + "\n"


def off(points, polygons):
    lines = ["OFF", "# made by scripts/make-import-samples.py", "%d %d 0" % (len(points), len(polygons))]
    lines += ["%r %r %r" % p for p in points]
    lines += ["%d " % len(poly) + " ".join(map(str, poly)) for poly in polygons]
    return "\n".join(lines) + "\n"


def ply_header(fmt, points, polygons):
    return ("ply\nformat %s 1.0\ncomment made by scripts/make-import-samples.py\n"
            "element vertex %d\nproperty float x\nproperty float y\nproperty float z\n"
            "element face %d\nproperty list uchar int vertex_indices\nend_header\n"
            % (fmt, len(points), len(polygons)))


def ply_ascii(points, polygons):
    body = "".join("%r %r %r\n" % p for p in points)
    body += "".join("%d %s\n" % (len(poly), " ".join(map(str, poly))) for poly in polygons)
    return (ply_header("ascii", points, polygons) + body).encode()


def ply_binary(points, polygons):
    data = ply_header("binary_little_endian", points, polygons).encode()
    data += b"".join(struct.pack("<3f", *p) for p in points)
    data += b"".join(struct.pack("<B%di" % len(poly), len(poly), *poly) for poly in polygons)
    return data


def stl_ascii(points, triangles):
    lines = ["solid sample"]
    for t in triangles:
        lines += ["  facet normal 0 0 0", "    outer loop"]
        lines += ["      vertex %r %r %r" % points[i] for i in t]
        lines += ["    endloop", "  endfacet"]
    return "\n".join(lines + ["endsolid sample"]) + "\n"


def stl_binary(points, triangles, header=b"binary sample"):
    data = header.ljust(80, b" ") + struct.pack("<I", len(triangles))
    for t in triangles:
        data += struct.pack("<3f", 0, 0, 0)
        data += b"".join(struct.pack("<3f", *points[i]) for i in t)
        data += b"\0\0"
    return data


def gltf_parts(points, triangles, nodes):
    """The JSON document and the binary buffer of one mesh: float positions,
    then unsigned short indices."""
    positions = b"".join(struct.pack("<3f", *p) for p in points)
    indices = b"".join(struct.pack("<3H", *t) for t in triangles)
    indices += b"\0" * (-len(indices) % 4)
    buffer = positions + indices
    document = {
        "asset": {"version": "2.0", "generator": "scripts/make-import-samples.py"},
        "scene": 0,
        "scenes": [{"nodes": [0]}],
        "nodes": nodes,
        "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1, "mode": 4}]}],
        "buffers": [{"byteLength": len(buffer)}],
        "bufferViews": [
            {"buffer": 0, "byteOffset": 0, "byteLength": len(positions)},
            {"buffer": 0, "byteOffset": len(positions), "byteLength": len(triangles) * 6},
        ],
        "accessors": [
            {"bufferView": 0, "componentType": 5126, "count": len(points), "type": "VEC3",
             "min": [min(p[k] for p in points) for k in range(3)],
             "max": [max(p[k] for p in points) for k in range(3)]},
            {"bufferView": 1, "componentType": 5123, "count": 3 * len(triangles), "type": "SCALAR"},
        ],
    }
    return document, buffer


def gltf(points, triangles, nodes):
    document, buffer = gltf_parts(points, triangles, nodes)
    document["buffers"][0]["uri"] = "data:application/octet-stream;base64," + base64.b64encode(buffer).decode()
    return json.dumps(document) + "\n"


def glb(points, triangles, nodes):
    document, buffer = gltf_parts(points, triangles, nodes)
    text = json.dumps(document).encode()
    text += b" " * (-len(text) % 4)
    buffer += b"\0" * (-len(buffer) % 4)
    chunks = struct.pack("<I4s", len(text), b"JSON") + text + struct.pack("<I4s", len(buffer), b"BIN\0") + buffer
    return struct.pack("<4sII", b"glTF", 2, 12 + len(chunks)) + chunks


def samples():
    # A closed cube whose top side is two quads around a raised middle point d:
    # (p0 p1 p2 d) and (p2 p3 p0 d) share three corners. Split from their first
    # corners they would put the edge p0-p2 in four triangles.
    top = cube_points()
    top.append((0.0, 1.25, 0.0))
    quads = [q for q in CUBE_QUADS if q != (2, 3, 7, 6)] + [(2, 3, 7, 8), (7, 6, 2, 8)]
    # Two tetrahedra joined along one edge (points 0 and 1): that edge has four faces.
    twin = TETRA_POINTS + [(-2, 1, 2), (-1, 2, 3)]
    nonmanifold = TETRA_FACES + outward(twin, [(0, 1, 4), (0, 4, 5), (0, 5, 1), (1, 5, 4)])
    # A cone: the apex joined to 24 rim points, the base one 24-sided polygon.
    rim = [(math.cos(2 * math.pi * k / 24), 0.0, -math.sin(2 * math.pi * k / 24)) for k in range(24)]
    cone = rim + [(0.0, 2.0, 0.0)]
    cone_faces = [(24, k, (k + 1) % 24) for k in range(24)] + [tuple(reversed(range(24)))]
    # A 20 x 30 x 60 millimetre box standing on the z axis, as 3D-printing files come.
    box = [((x + 1) * 10, (y + 1) * 15, (z + 1) * 30) for x, y, z in cube_points()]
    inward = [(a, c, b) for a, b, c in TETRA_FACES]
    return {
        "quads-share-three.obj": obj(top, quads),
        "hole.off": off(cube_points(), CUBE_QUADS[1:]),
        "inward.ply": ply_ascii(TETRA_POINTS, inward),
        "nonmanifold.obj": obj(twin, nonmanifold),
        "fan.ply": ply_binary(cone, cone_faces),
        "zup-mm.stl": stl_binary(box, triangles_of(CUBE_QUADS), b"solid box in millimetres, z up"),
        "tetra.stl": stl_ascii(TETRA_POINTS, TETRA_FACES),
        # Placed by a parent node (moved up 2) and its child (scaled by 2).
        "tetra.gltf": gltf(TETRA_POINTS, TETRA_FACES,
                           [{"translation": [0, 2, 0], "children": [1]}, {"scale": [2, 2, 2], "mesh": 0}]),
        # Turned a quarter round the y axis: x becomes -z.
        "tetra.glb": glb(TETRA_POINTS, TETRA_FACES, [{"rotation": [0, 0.7071067811865476, 0, 0.7071067811865476],
                                                      "mesh": 0}]),
    }


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    made = samples()
    for name, content in made.items():
        (OUT / name).write_bytes(content.encode() if isinstance(content, str) else content)
    # Each importer's fuzz target starts from the samples of its own format.
    targets = {"obj": [".obj"], "stl": [".stl"], "ply": [".ply"], "off": [".off"], "gltf": [".gltf", ".glb"]}
    for target, suffixes in targets.items():
        corpus = ROOT / "fuzz" / ("fuzz_import_" + target) / "corpus"
        if corpus.exists():
            shutil.rmtree(corpus)
        corpus.mkdir(parents=True)
        for name in made:
            if pathlib.Path(name).suffix in suffixes:
                shutil.copy(OUT / name, corpus / name.replace(".", "-"))


if __name__ == "__main__":
    main()
