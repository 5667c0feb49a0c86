// Importing foreign formats: the committed samples (made by
// scripts/make-import-samples.py) read with their polygons as written and their
// scene transforms applied; bad files get one line that names the file. (How
// plumfold-sim takes each format: tests/robustness/.)
#include <gtest/gtest.h>

#include <array>

#include "mesh/import.h"
#include "tests/support/process.h"

using namespace plumfold;

namespace {

std::string binaryStl(uint32_t declared, size_t triangles) {
    std::string bytes(80, ' ');
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<char>(declared >> (8 * k) & 0xff));
    return bytes + std::string(50 * triangles, '\0');
}

const std::string plyHead =
    "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
    "property float z\nelement face 1\nproperty list uint int vertex_indices\nend_header\n"
    "0 0 0\n1 0 0\n0 1.5 0\n";

}  // namespace

TEST(ImportMesh, ReadsEachFormatAsWritten) {
    struct Case {
        const char* file;
        MeshFormat format;
        size_t points, polygons, corners;  // corners: of all polygons together
        size_t point;                      // this point is at `at`
        std::array<double, 3> at;
    };
    const Case cases[] = {
        {"quads-share-three.obj", MeshFormat::Obj, 9, 7, 28, 8, {0, 1.25, 0}},
        {"hole.off", MeshFormat::Off, 8, 5, 20, 7, {1, 1, 1}},
        {"inward.ply", MeshFormat::Ply, 4, 4, 12, 1, {-1, -1, 1}},
        {"fan.ply", MeshFormat::Ply, 25, 25, 96, 24, {0, 2, 0}},
        // Binary, though its header begins with "solid"; CGAL merges shared corners.
        {"zup-mm.stl", MeshFormat::Stl, 8, 12, 36, 0, {0, 0, 0}},
        {"tetra.stl", MeshFormat::Stl, 4, 4, 12, 0, {0, 1, 0}},
        {"tetra.gltf", MeshFormat::Gltf, 4, 4, 12, 1, {-2, 0, 2}},  // scaled by 2, then moved up 2
        {"tetra.glb", MeshFormat::Glb, 4, 4, 12, 1, {1, -1, 1}},    // a quarter turn round y
        {"../reference/tetra.asc", MeshFormat::Asc, 4, 4, 12, 1, {-1, -1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const plumfold::ImportResult r = plumfold::importMesh(samples + c.file);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.format, c.format);
        EXPECT_EQ(r.soup.points.size(), 3 * c.points);
        EXPECT_EQ(r.soup.polygons.size(), c.polygons);
        size_t corners = 0;
        for (const auto& polygon : r.soup.polygons) corners += polygon.size();
        EXPECT_EQ(corners, c.corners);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(r.soup.points[3 * c.point + k], c.at[k], 1e-6) << k;
    }
}

TEST(ImportMesh, RefusesBadFilesInOneLineThatNamesThem) {
    TempDir dir;
    std::filesystem::create_directory(dir.path / "folder.obj");
    const std::string tetraObj = "v 0 1 0\nv -1 -1 1\nv 1 -1 1\nv 0 -1 -1\nf 1 2 3\nf 1 3 4\nf 1 4 2\nf 2 4 3\n";
    struct Case {
        const char* name;
        std::string bytes;  // not written for "folder.obj" and "missing.obj"
        const char* says;
    };
    const Case cases[] = {
        {"folder.obj", "", "is a directory"},
        {"missing.obj", "", "cannot open it"},
        {"empty.stl", "", "the file is empty"},
        {"garbage.bin", std::string("\x01\x02\xfe\xff binary", 12), "the format is not recognised; the supported"},
        {"points.obj", "v 0 0 0\nv 1 0 0\n", "OBJ: the file has no faces"},
        {"index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n", "OBJ: a line is not OBJ"},
        {"past.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", "OBJ: face 0 uses point 3, but the file has 3"},
        {"two-corners.obj", "v 0 0 0\nv 1 0 0\nf 1 2\n", "OBJ: face 0 has 2 corners"},
        {"truncated.stl", binaryStl(12, 3), "STL: binary STL of 12 triangles needs 684 bytes but the file has 234"},
        {"nan.stl", binaryStl(1, 0) + std::string(12, '\0') + std::string(36, '\xff') + "xx", "STL: triangle 0"},
        {"truncated-ascii.stl", "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n", "STL: ASCII STL must be"},
        {"counts.off", "OFF\n2000000000 1 0\n0 0 0\n", "OFF: the header states 2000000000 vertices"},
        {"corners.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n-10 0 1 2\n", "OFF: face 0 is missing or lists fewer"},
        {"inf.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 1e999\n3 0 1 2\n", "OFF: point 2 has a coordinate that is not"},
        {"list.ply", plyHead + "4000000000 0 1 2\n", "PLY: list \"vertex_indices\" has the count \"4000000000\""},
        {"split.ply", plyHead + "3 0 1-2\n", "PLY: element \"face\" holds \"1-2\" where a number"},
        {"items.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 4000000000\nproperty float x\nend_header\n",
         "PLY: element \"vertex\" has more items than the file holds"},
        // strtod reads a hexadecimal float whole, CGAL's stream does not.
        {"hex.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\n0x1p1\n",
         "PLY: element \"vertex\" holds \"0x1p1\" where a number"},
        {"x-as-int.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty int x\nend_header\n1\n",
         "PLY: vertex property \"x\" must be float or double"},
        {"buffer.gltf", R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":9,"uri":"/dev/zero"}]})",
         "glTF: not valid"},
        {"short.glb", std::string("glTF\x02\x00\x00\x00\xff\xff\x00\x00", 12), "GLB: not valid glTF 2.0"},
        {"beyond.gltf",
         R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":4,"uri":"data:application/octet-stream;base64,AAAAAA=="}],)"
         R"("bufferViews":[{"buffer":0,"byteLength":4}],"accessors":[{"bufferView":0,"count":3,)"
         R"("componentType":5126,"type":"VEC3"}],"meshes":[{"primitives":[{"attributes":)"
         R"({"POSITION":0}}]}],"nodes":[{"mesh":0}],"scenes":[{"nodes":[0]}]})",
         "glTF: an accessor reaches beyond its buffer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir.path / c.name).string();
        if (c.name != std::string("folder.obj") && c.name != std::string("missing.obj")) dir.write(c.name, c.bytes);
        const plumfold::ImportResult r = plumfold::importMesh(path);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind(path + ": ", 0), 0u) << r.error;
        EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
        EXPECT_TRUE(r.soup.points.empty() && r.soup.polygons.empty());
    }
}
