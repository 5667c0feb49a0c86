// The mesh reader on real files: what it reads, and which malformed files end
// the process with its format error. Files that cannot be opened, and unusable
// counts, values and indices, are checked against every program that reads
// meshes with the other bad inputs in tests/robustness/.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mesh/mesh_file.h"
#include "tests/support/process.h"

namespace {

struct Read {
    std::vector<float> vertices;
    std::vector<int32_t> faces;
};

Read readText(const std::string& text) {
    TempDir dir;
    std::string path = dir.write("mesh.asc", text);
    plumfold::MeshFileResult read = plumfold::readMeshFile(path.c_str(), plumfold::MeshFileCheck::AsWritten);
    EXPECT_TRUE(read.ok) << read.error;
    const MeshFile& mesh = read.mesh;
    EXPECT_EQ(std::max(mesh.vertexCount, 0) * 3, static_cast<int32_t>(mesh.vertices.size()));
    EXPECT_EQ(std::max(mesh.faceCount, 0) * 3, static_cast<int32_t>(mesh.faceIndices.size()));
    return {mesh.vertices, mesh.faceIndices};
}


const std::string twoFaces = "Faces: 1 Face list: Face 0: A:0 B:1 C:1\n";

}  // namespace

TEST(MeshReader, ReadsTheTetrahedron) {
    Read r = readText(readFile(PLUMFOLD_SOURCE_DIR "/tests/data/reference/tetra.asc"));
    EXPECT_EQ(r.vertices, (std::vector<float>{0, 1, 0, -1, -1, 1, 1, -1, 1, 0, -1, -1}));
    EXPECT_EQ(r.faces, (std::vector<int32_t>{0, 1, 2, 0, 2, 3, 0, 3, 1, 1, 3, 2}));
}

TEST(MeshReader, TokensLabelsAndValues) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<float> vertices;
        std::vector<int32_t> faces;
    };
    const std::vector<Case> cases = {
        {"any white space separates tokens; lines mean nothing",
         "t\tVertices:\r\n2\vFaces:\f1 Vertex\n\nList: 0:\tX:1\rY:2 Z:3 1: X:4\nY:5\nZ:6 Face list: 0: A:0 B:1 C:1",
         {1, 2, 3, 4, 5, 6}, {0, 1, 1}},
        {"case matters and only exact \"%d:\" tokens are labels",
         "vertices: 9 Vertices: 2 vertex list: Vertex List: Vertex0: X:9 Y:9 Z:9 00: X:8 Y:8 Z:8 +0: X:7 Y:7 Z:7 "
         "0: X:1 Y:1 Z:1 1: X:2 Y:2 Z:2 faces: 5 " + twoFaces,
         {1, 1, 1, 2, 2, 2}, {0, 1, 1}},
        {"labels are searched forward only",
         "Vertices: 2 Vertex List: 1: X:7 Y:7 Z:7 0: X:1 Y:1 Z:1 junk 1: X:2 Y:2 Z:2 " + twoFaces,
         {1, 1, 1, 2, 2, 2}, {0, 1, 1}},
        {"two prefix characters are skipped unread, then atof",
         "Vertices: 3 Vertex List: 0: X:1.5 Y:2e1 Z: 1: X:abc ::7 Y:-0.25x 2: X Y:+.5 Z:-1e-2 " + twoFaces,
         {1.5f, 20, 0, 0, 7, -0.25f, 0, 0.5f, -0.01f}, {0, 1, 1}},
        // The decimal is just above the midpoint between 1 and the next float, but
        // its nearest double is the midpoint itself, which rounds to even: 1.
        {"a value is rounded to double first, then to float",
         "Vertices: 2 Vertex List: 0: X:1.00000005960464477550 Y:0.1 Z:3.4028235e38 1: X:1e-50 Y:0 Z:0 " + twoFaces,
         {1.0f, 0.1f, 3.4028235e38f, 0, 0, 0}, {0, 1, 1}},
        {"values are taken in file order whatever the prefix says; extra fields are passed over",
         "Vertices: 2 Vertex List: 0: Z:3 Y:2 X:1 W:4 and more words 1: X:4 Y:5 Z:6 " + twoFaces,
         {3, 2, 1, 4, 5, 6}, {0, 1, 1}},
        {"a count is read as atoi reads it",
         "Vertices: 2, Vertex List: 0: X:1 Y:1 Z:1 1: X:2 Y:2 Z:2 Faces: +1abc Face list: 0: A:1 B:0 C:1x",
         {1, 1, 1, 2, 2, 2}, {1, 0, 1}},
        {"a missing record is read from a later token equal to its label",
         "Vertices: 3 Faces: 1 Vertex List: 0: X:1 Y:1 Z:1 1: X:2 Y:2 Z:2 Face list: Face 0: A:0 B:1 C:2 "
         "Face 2: A:5 B:6 C:7",
         {1, 1, 1, 2, 2, 2, 5, 6, 7}, {0, 1, 2}},
        {"the face section may come first; the file may end right after the last value",
         "Faces: 2 Face list: 1: A:1 B:0 C:2 0: A:2 B:1 C:0 1: A:0 B:0 C:1 "
         "Vertices: 3 Vertex List: 0: X:1 Y:0 Z:0 1: X:0 Y:1 Z:0 2: X:0 Y:0 Z:1",
         {1, 0, 0, 0, 1, 0, 0, 0, 1}, {2, 1, 0, 0, 0, 1}},
        {"a long token is an ordinary ignored token",
         std::string(300, 'w') + " Vertices:" + std::string(200, 'x') + " Vertices: 2 Vertex List: 0: X:1 Y:1 Z:1 " +
             std::string(150, 'y') + " 1: X:2 Y:2 Z:" + std::string(100, '0') + "2 " + twoFaces,
         {1, 1, 1, 2, 2, 2}, {0, 1, 1}},
        {"counts of zero still need both headers",
         "Vertices: 0 Faces: -3 Vertex List: 0: X:1 Y:1 Z:1 Face list: 0: A:0 B:0 C:0", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Read r = readText(c.text);
        EXPECT_EQ(r.vertices, c.vertices);
        EXPECT_EQ(r.faces, c.faces);
    }
}

TEST(MeshReader, MalformedFilesEndTheProcessWithTheFormatError) {
    TempDir dir;
    const std::string truncated = "Error with object file! ";
    const std::string vertices = "Vertices: 2 Vertex List: 0: X:1 Y:1 Z:1 1: X:2 Y:2 Z:2 ";
    struct Case {
        const char* what;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"no count", "Vertices:"},
        {"count 0 without the headers", "Vertices: 0 Faces: 0"},
        {"vertex header spelled with a small l", "Vertices: 1 Vertex list: 0: X:1 Y:1 Z:1 " + twoFaces},
        {"fewer vertex records than the count", "Vertices: 3 Vertex List: 0: X:1 Y:1 Z:1 1: X:2 Y:2 Z:2 " + twoFaces},
        {"face header spelled with a capital L", vertices + "Faces: 1 Face List: 0: A:0 B:1 C:1"},
        {"last value missing", vertices + "Faces: 1 Face list: 0: A:0 B:1"},
        {"last value missing, white space at the end", vertices + "Faces: 1 Face list: 0: A:0 B:1 \n \n"},
        {"a long token is not the keyword it begins with", "Vertices:" + std::string(200, 'x') + " 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.write("mesh.asc", c.text);
        plumfold::MeshFileResult read = plumfold::readMeshFile(path.c_str());
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.error, truncated);
    }

}
