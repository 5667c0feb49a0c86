// OBJ and STL input: the accepted forms, the merging of shared corners, and a
// located error for every kind of malformed input.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/process.h"
#include "mesh/mesh_checks.h"
#include "tools/mesh_convert.h"
#include "tools/mesh_generators.h"
#include "tools/mesh_merge.h"
#include "tools/obj_reader.h"
#include "tools/stl_reader.h"

namespace {

// A unit tetrahedron, outward, as OBJ text with every corner form.
const char* const tetraObj =
    "# comment line\n"
    "mtllib some.mtl\n"
    "o tetra\n"
    "v 0 0 0\n"
    "v 1 0 0   # trailing comment\n"
    "v 0 1 0\n"
    "v 0 0 1 1.0\n"
    "vt 0 0\n"
    "vn 0 0 1\n"
    "g side\n"
    "usemtl red\n"
    "s off\n"
    "f 1 3 2\n"
    "f 1/1 2/1 4/1\r\n"
    "f 1//1 4//1 3//1\n"
    "l 1 2\n"
    "f -3/1/1 -2/1/1 -1/1/1\n";

std::string binaryStl(const std::string& header, const std::vector<std::array<float, 9>>& triangles,
                      uint32_t declared) {
    std::string bytes = header;
    bytes.resize(80, ' ');
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<char>((declared >> (8 * k)) & 0xff));
    for (const auto& t : triangles) {
        bytes.append(12, '\0');  // the normal, which readers recompute
        for (float c : t) {
            uint32_t bits;
            std::memcpy(&bits, &c, 4);
            for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<char>((bits >> (8 * k)) & 0xff));
        }
        bytes.append(2, '\0');
    }
    return bytes;
}

std::vector<std::array<float, 9>> tetraTriangles() {
    return {{0, 0, 0, 0, 1, 0, 1, 0, 0}, {0, 0, 0, 1, 0, 0, 0, 0, 1},
            {0, 0, 0, 0, 0, 1, 0, 1, 0}, {1, 0, 0, 0, 1, 0, 0, 0, 1}};
}

void expectTetrahedron(const MeshData& mesh) {
    EXPECT_EQ(mesh.vertexCount(), 4);
    EXPECT_EQ(mesh.faceCount(), 4);
    MeshReport r = checkMesh(mesh);
    EXPECT_TRUE(r.closed());
    EXPECT_TRUE(r.consistentlyWound());
    EXPECT_NEAR(r.volume, 1.0 / 6.0, 1e-12);
}

}  // namespace

TEST(ObjReader, ReadsEveryCornerFormAndIgnoresOtherRecords) {
    MeshReadResult r = readObj(tetraObj);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.mesh.vertices, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}));
    // The relative face -3 -2 -1 names vertices 2, 3, 4.
    EXPECT_EQ(r.mesh.faceIndices, (std::vector<int32_t>{0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3}));
    expectTetrahedron(r.mesh);
}

TEST(ObjReader, PolygonsBecomeFansFromTheirFirstCorner) {
    MeshReadResult r = readObj("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0.5 1.5 0\nf 1 2 3 4\nf 4 3 5\n"
                               "f 1 2 3 5 4\n");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.mesh.faceIndices, (std::vector<int32_t>{0, 1, 2, 0, 2, 3, 3, 2, 4, 0, 1, 2, 0, 2, 4, 0, 4, 3}));
}

TEST(ObjReader, MalformedInputNamesTheLine) {
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"v 0 0 0\nv 1 x 0\n", "line 2: vertex coordinate 'x' is not a finite number"},
        {"v 0 0\n", "line 1: a vertex needs x, y and z"},
        {"v 1e39 0 0\n", "line 1: vertex coordinate '1e39' is not a finite number"},
        {"v nan 0 0\n", "line 1: vertex coordinate 'nan'"},
        {"v 1.5.2 0 0\n", "line 1: vertex coordinate '1.5.2'"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\n\nf 1 2\n", "line 5: a face needs at least 3 vertices, this one has 2"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n", "line 4: face corner '0': vertex indices start at 1"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\nv 1 1 1\nf 1 2 7\n",
         "line 6: face uses vertex 7 but the file defines 4 vertices"},
        {"v 0 0 0\nv 1 0 0\nf -1 -2 -3\nv 0 1 0\n", "line 3: face corner '-3' reaches back before the first vertex"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3x\n", "line 4: face corner '3x' is not v, v/t, v//n or v/t/n"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3/\n", "line 4: face corner '3/'"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3//\n", "line 4: face corner '3//'"},
        {"v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 99999999999999999999\n", "line 4: face corner '9999"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MeshReadResult r = readObj(c.text);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << r.error;
        EXPECT_TRUE(r.mesh.vertices.empty());
    }
}

TEST(StlReader, AsciiAndBinaryGiveTheSameMergedTetrahedron) {
    std::string ascii = "solid tetra\n";
    for (const auto& t : tetraTriangles()) {
        ascii += "  facet normal 0 0 0\n    outer loop\n";
        for (int c = 0; c < 3; ++c)
            ascii += "      vertex " + std::to_string(t[3 * c]) + " " + std::to_string(t[3 * c + 1]) + " " +
                     std::to_string(t[3 * c + 2]) + "\n";
        ascii += "    endloop\n  endfacet\n";
    }
    ascii += "endsolid tetra\n";
    // A binary file whose header begins with "solid", as many exporters write it.
    std::string binary = binaryStl("solid exported by a modeller", tetraTriangles(), 4);
    ASSERT_TRUE(looksLikeBinaryStl(binary));
    ASSERT_FALSE(looksLikeBinaryStl(ascii));

    MeshData merged[2];
    int k = 0;
    for (const std::string& bytes : {ascii, binary}) {
        MeshReadResult r = readStl(bytes);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.mesh.vertexCount(), 12);  // every triangle brings its own corners
        MergeSummary summary;
        merged[k] = mergeCoincidentVertices(r.mesh, &summary);
        EXPECT_EQ(summary.mergedVertices, 8);
        expectTetrahedron(merged[k]);
        ++k;
    }
    EXPECT_EQ(merged[0].vertices, merged[1].vertices);
    EXPECT_EQ(merged[0].faceIndices, merged[1].faceIndices);
}

TEST(StlReader, MalformedInputNamesTheLineOrTriangle) {
    std::string truncated = binaryStl("solid cut", tetraTriangles(), 4);
    truncated.resize(truncated.size() - 30);
    std::string overcounted = binaryStl("", tetraTriangles(), 4000000000u);
    std::string nonFinite = binaryStl("", {{0, 0, 0, 1, 0, 0, 0, 1e30f * 1e30f, 0}}, 1);
    struct Case {
        std::string bytes;
        const char* error;
    } cases[] = {
        {truncated, "binary STL: the header says 4 triangles, which need 284 bytes, but the file has 254; "
                    "triangle 3 (byte offset 234) is cut short"},
        {overcounted, "binary STL: the header says 4000000000 triangles"},
        {nonFinite, "binary STL: triangle 0 (byte offset 124) has a coordinate that is not a finite number"},
        {"solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 zero\n",
         "line 5: vertex coordinate 'zero' is not a finite number"},
        {"solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nendloop\n",
         "line 6: a facet needs at least 3 vertices, this one has 2"},
        {"solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n", "line 4: the file ends inside the facet begun on line 2"},
        {"solid x\nvertex 0 0 0\n", "line 2: a vertex outside 'outer loop'"},
        {"solid x\nfacet\nouter loop\nvertex 0 0\n", "line 4: a vertex needs exactly x, y and z"},
        {"solid x\nfacet\nfacet\n", "line 3: a facet begins inside the facet begun on line 2"},
        {"solid x\nbanana\n", "line 2: unexpected 'banana'"},
        {"hello", "not an STL file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        MeshReadResult r = readStl(c.bytes);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind(c.error, 0), 0u) << r.error;
    }
}

TEST(MeshMerge, SharesCornersDropsLooseVerticesAndCollapsedTriangles) {
    MeshData soup;
    // Vertex 2 is -0/+0 twin of 0, vertex 4 is unused, face 2 collapses after merging.
    soup.vertices = {0, 0, 0, 1, 0, 0, -0.0f, 0, -0.0f, 0, 1, 0, 5, 5, 5, 1, 0, 0};
    soup.faceIndices = {0, 1, 3, 2, 3, 5, 0, 2, 1};
    MergeSummary summary;
    MeshData merged = mergeCoincidentVertices(soup, &summary);
    EXPECT_EQ(merged.vertices, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
    EXPECT_EQ(merged.faceIndices, (std::vector<int32_t>{0, 1, 2, 0, 2, 1}));
    EXPECT_EQ(summary.mergedVertices, 2);
    EXPECT_EQ(summary.unusedVertices, 1);
    EXPECT_EQ(summary.droppedFaces, 1);
}

TEST(Convert, FitCentresAndScalesIntoTheBox) {
    // An off-centre box, 40 long in x.
    std::string obj;
    MeshData cube = makeCube(1.0f, 2);
    for (size_t i = 0; i < cube.vertices.size(); i += 3)
        obj += "v " + std::to_string(cube.vertices[i] * 40 + 100) + " " + std::to_string(cube.vertices[i + 1] * 10) +
               " " + std::to_string(cube.vertices[i + 2] * 10 - 7) + "\n";
    for (size_t f = 0; f < cube.faceIndices.size(); f += 3)
        obj += "f " + std::to_string(cube.faceIndices[f] + 1) + " " + std::to_string(cube.faceIndices[f + 1] + 1) +
               " " + std::to_string(cube.faceIndices[f + 2] + 1) + "\n";
    ConvertOptions options;
    options.fitSize = 6.0;
    MeshReadResult r = convertMesh(obj, "box.obj", options);
    ASSERT_TRUE(r.ok) << r.error;
    MeshReport report = checkMesh(r.mesh);
    EXPECT_NEAR(0.9 * report.low[0], -3.0, 1e-5);
    EXPECT_NEAR(0.9 * report.high[0], 3.0, 1e-5);
    EXPECT_NEAR(report.low[2] + report.high[2], 0.0, 1e-5);
    EXPECT_TRUE(judgeMesh(report, 0.9f, 4.5).empty());

    options = ConvertOptions{};
    options.scale = 1e39;
    EXPECT_FALSE(convertMesh(obj, "box.obj", options).ok);
    EXPECT_EQ(convertMesh("# nothing\n", "empty.obj", ConvertOptions{}).error, "the file has no faces");
}

TEST(Convert, ToolConvertsStlToAFileTheProgramReadsAndCheckAccepts) {
    MeshData sphere = makeIcosphere(2, 1.0f);
    std::vector<std::array<float, 9>> triangles;
    for (size_t f = 0; f < sphere.faceIndices.size(); f += 3) {
        std::array<float, 9> t;
        for (int c = 0; c < 3; ++c)
            for (int a = 0; a < 3; ++a) t[3 * c + a] = sphere.vertices[3 * sphere.faceIndices[f + c] + a];
        triangles.push_back(t);
    }
    TempDir dir;
    const std::string tool = PLUMFOLD_BINARY_DIR "/tools/plumfold-mesh", wd = dir.path.string();
    dir.write("ball.stl", binaryStl("solid ball", triangles, static_cast<uint32_t>(triangles.size())));
    Outcome converted = runProgram({tool, "convert", "ball.stl", "--fit", "5", "-o", "ball.asc"}, wd);
    ASSERT_EQ(converted.status, 0) << converted.all();
    EXPECT_NE(converted.all().find("merged 798 coincident vertices"), std::string::npos) << converted.all();
    Outcome check = runProgram({tool, "check", "ball.asc"}, wd);
    EXPECT_EQ(check.status, 0) << check.all();
    EXPECT_NE(check.out.find("vertices 162 faces 320"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("springs 480"), std::string::npos) << check.out;
}
