// The program's own mesh reader on real files: what it reads, and the exact line
// it gives for every file it refuses (the programs print that line and exit 1,
// see tests/robustness/).
#include <gtest/gtest.h>

#include "mesh/mesh_file.h"
#include "tests/support/process.h"

using namespace plumfold;

const std::string twoFaces = "Faces: 1 Face list: Face 0: A:0 B:1 C:1\n";

TEST(MeshReader, TokensLabelsAndValues) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<float> vertices;
        std::vector<int32_t> faces;
    };
    // clang-format off
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
        {"a NUL byte ends a value as atof reads it",
         "Vertices: 2 Vertex List: 0: X:1" + std::string(1, '\0') + ".5 Y:2 Z:3 1: X:4 Y:5 Z:6 " + twoFaces,
         {1, 2, 3, 4, 5, 6}, {0, 1, 1}},
        {"counts of zero still need both headers",
         "Vertices: 0 Faces: -3 Vertex List: 0: X:1 Y:1 Z:1 Face list: 0: A:0 B:0 C:0", {}, {}},
    };
    // clang-format on
    TempDir dir;
    const std::string path = (dir.path / "mesh.asc").string();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write("mesh.asc", c.text);
        const plumfold::MeshFileResult read = plumfold::readMeshFile(path.c_str(), plumfold::MeshFileCheck::AsWritten);
        EXPECT_TRUE(read.ok) << read.error;
        EXPECT_EQ(read.mesh.vertices, c.vertices);
        EXPECT_EQ(read.mesh.faceIndices, c.faces);
    }
}

TEST(MeshReader, RefusesWithTheProgramsOwnLine) {
    TempDir dir;
    const std::string name = (dir.path / "mesh.asc").string();
    const std::string truncated = "Error with object file! ", unusable = "Unusable mesh file " + name + ": ";
    const std::string vertices = "Vertices: 2 Vertex List: 0: X:1 Y:1 Z:1 1: X:2 Y:2 Z:2 ";
    const std::string tetra =
        "Vertices: 4 Vertex List: 0: X:0 Y:1 Z:0 1: X:-1 Y:-1 Z:1 2: X:1 Y:-1 Z:1 "
        "3: X:0 Y:-1 Z:-1 ";
    struct Case {
        const char* what;
        std::string text;
        std::string line;  // the start of the line
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"empty", "", truncated},
        {"no count", "Vertices:", truncated},
        {"count 0 without the headers", "Vertices: 0 Faces: 0", truncated},
        {"fewer vertex records than the count", "Vertices: 3 Vertex List: 0: X:1 Y:1 Z:1 1: X:2 Y:2 Z:2 " + twoFaces,
         truncated},
        {"face header spelled with a capital L", vertices + "Faces: 1 Face List: 0: A:0 B:1 C:1", truncated},
        {"no face section", vertices, truncated},
        {"last value missing, white space at the end", vertices + "Faces: 1 Face list: 0: A:0 B:1 \n \n", truncated},
        {"a long token is not the keyword it begins with", "Vertices:" + std::string(200, 'x') + " 2", truncated},
        {"binary garbage", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), truncated},
        {"count larger than the file", "Vertices: 2000000000 " + twoFaces,
         unusable + "the count \"2000000000\" after \"Vertices:\" is more records than this file can hold (at most 16); "
                    "correct the count to the number of records"},
        {"count beyond 32 bits", "Vertices: 99999999999 ", unusable + "the count \"99999999999\""},
        {"huge face count", vertices + "Faces: 2147483647 Face list:", unusable + "the count \"2147483647\" after \"Faces:\""},
        {"huge coordinate token", "Vertices: 2 Vertex List: 0: X:" + std::string(100000, '7') + " Y:0 Z:0",
         unusable + "vertex 0 has coordinate \"X:" + std::string(38, '7') + "\", which is not a finite 32-bit number"},
        {"infinite coordinate", "Vertices: 2 Vertex List: 0: X:0 Y:0 Z:0 1: X:-inf", unusable + "vertex 1 has coordinate \"X:-inf\""},
        {"coordinate beyond float", "Vertices: 2 Vertex List: 0: X:0 Y:0 Z:1e39", unusable + "vertex 0 has coordinate \"Z:1e39\""},
        {"index past the last vertex", tetra + "Faces: 2 Face list: 0: A:0 B:1 C:2 1: A:0 B:4 C:1",
         unusable + "face 1 uses vertex index 4, outside 0 to 3 (the file has 4 vertices)"},
        {"negative index", tetra + "Faces: 1 Face list: 0: A:0 B:-1 C:2", unusable + "face 0 uses vertex index -1, outside 0 to 3"},
        {"index beyond 32 bits", tetra + "Faces: 1 Face list: 0: A:4294967296 B:1 C:2",
         unusable + "face 0 has vertex index 4294967296, which is outside any vertex range"},
        {"one vertex", "Vertices: 1 Vertex List: 0: X:0 Y:0 Z:0 Faces: 0 Face list:",
         unusable + "it has 1 vertices, but a body needs at least two (the drag spring holds vertex 1)"},
        {"no vertices", "Vertices: 0 Faces: 0 Vertex List: Face list:", unusable + "it has 0 vertices"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write("mesh.asc", c.text);
        const plumfold::MeshFileResult read = plumfold::readMeshFile(name.c_str());
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.error.rfind(c.line, 0), 0u) << read.error;
        EXPECT_EQ(read.error.find('\n'), std::string::npos);
    }
    for (const std::string& unopenable : {name + ".missing", dir.path.string()}) {
        const plumfold::MeshFileResult read = plumfold::readMeshFile(unopenable.c_str());
        EXPECT_EQ(read.error, "Unable to open " + unopenable + " file.");
    }
}
