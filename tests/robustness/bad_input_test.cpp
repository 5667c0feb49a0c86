// Bad mesh files given to each program that reads them: the interactive program
// (which always reads Objects/Objekt3.asc in its working directory),
// plumfold-sim, and plumfold-mesh check and convert. Every bad file must end the
// program with a message that names the file and the problem, and status 1;
// nothing may crash. Files that are odd but usable must load and simulate
// without a NaN.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "body/sha256.h"
#include "tests/support/process.h"

namespace fs = std::filesystem;

namespace {

const std::string plumfold = PLUMFOLD_BINARY_DIR "/app/plumfold";
const std::string sim = PLUMFOLD_BINARY_DIR "/tools/plumfold-sim";
const std::string meshTool = PLUMFOLD_BINARY_DIR "/tools/plumfold-mesh";
const std::string meshPath = "Objects/Objekt3.asc";  // the same path for both programs

// A mesh file from its parts: the counts, then the vertex and face records.
std::string meshText(const std::string& vertexCount, const std::string& vertices, const std::string& faceCount,
                     const std::string& faces) {
    return "test body\nVertices: " + vertexCount + " Faces: " + faceCount + "\nVertex List:\n" + vertices +
           "Face list:\n" + faces;
}

const std::string tetraVertices =
    "Vertex 0: X:0.0 Y:1.0 Z:0.0\n"
    "Vertex 1: X:-1.0 Y:-1.0 Z:1.0\n"
    "Vertex 2: X:1.0 Y:-1.0 Z:1.0\n"
    "Vertex 3: X:0.0 Y:-1.0 Z:-1.0\n";
const std::string tetraFaces =
    "Face 0: A:0 B:1 C:2\n"
    "Face 1: A:0 B:2 C:3\n"
    "Face 2: A:0 B:3 C:1\n"
    "Face 3: A:1 B:3 C:2\n";
const std::string tetra = meshText("4", tetraVertices, "4", tetraFaces);

// The tetrahedron with other vertex coordinates.
std::string tetraWith(const std::string& v0, const std::string& v1, const std::string& v2, const std::string& v3) {
    return meshText("4", "Vertex 0: " + v0 + "\nVertex 1: " + v1 + "\nVertex 2: " + v2 + "\nVertex 3: " + v3 + "\n",
                    "4", tetraFaces);
}

// The tetrahedron's vertices with the given faces.
std::string tetraFacesOf(const std::string& faceCount, const std::string& faces) {
    return meshText("4", tetraVertices, faceCount, faces);
}

std::string garbage(size_t size) {
    std::string bytes;
    uint32_t state = 12345;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes.push_back(static_cast<char>(state >> 24));
    }
    return bytes;
}

// What a rejected file must produce.
struct Rejection {
    std::string name;
    std::string content;  // the mesh file's bytes
    std::string message;  // the start of the one line on standard output (all of it when it ends in \n)
    // What plumfold-mesh check says after its first line, when its own checks
    // (not the reader) reject the file; empty: the reader's message above.
    std::string checkSays = "";
};

void PrintTo(const Rejection& row, std::ostream* out) { *out << row.name; }

const std::string notOpened = "Unable to open " + meshPath + " file.\n";
const std::string formatError = "Error with object file! \n";
const std::string unusable = "Unusable mesh file " + meshPath + ": ";

std::vector<Rejection> rejections() {
    return {
        {"empty", "", formatError},
        {"white_space_only", " \t\r\n\v\f \n", formatError},
        {"truncated_in_the_vertex_list", tetra.substr(0, tetra.find("Vertex 2")), formatError},
        {"truncated_in_the_face_list", tetra.substr(0, tetra.size() - 12), formatError},
        {"binary_garbage", garbage(4096), formatError},
        {"no_face_section", "Vertices: 4\nVertex List:\n" + tetraVertices, formatError},
        {"count_larger_than_the_file", meshText("2000000000", tetraVertices, "0", ""),
         unusable + "the count \"2000000000\" after \"Vertices:\" is more records"},
        {"count_beyond_32_bits", meshText("99999999999", tetraVertices, "0", ""),
         unusable + "the count \"99999999999\""},
        {"huge_face_count", tetraFacesOf("2147483647", tetraFaces),
         unusable + "the count \"2147483647\" after \"Faces:\""},
        {"huge_coordinate_token", tetraWith("X:" + std::string(100000, '7') + " Y:0 Z:0", "X:1 Y:1 Z:1",
                                            "X:2 Y:2 Z:2", "X:3 Y:3 Z:3"),
         unusable + "vertex 0 has coordinate \"X:" + std::string(38, '7') + "\", which is not a finite"},
        {"nan_coordinate", tetraWith("X:0 Y:nan Z:0", "X:1 Y:1 Z:1", "X:2 Y:2 Z:2", "X:3 Y:3 Z:3"),
         unusable + "vertex 0 has coordinate \"Y:nan\""},
        {"infinite_coordinate", tetraWith("X:0 Y:0 Z:0", "X:-inf Y:1 Z:1", "X:2 Y:2 Z:2", "X:3 Y:3 Z:3"),
         unusable + "vertex 1 has coordinate \"X:-inf\""},
        {"coordinate_beyond_float", tetraWith("X:0 Y:0 Z:0", "X:1 Y:1 Z:1", "X:2 Y:2 Z:2", "X:3 Y:3 Z:1e39"),
         unusable + "vertex 3 has coordinate \"Z:1e39\""},
        {"index_past_the_last_vertex", tetraFacesOf("2", "Face 0: A:0 B:1 C:2\nFace 1: A:0 B:4 C:1\n"),
         unusable + "face 1 uses vertex index 4, outside 0 to 3", "error: 1 face corners name a vertex outside 0 to 3"},
        {"negative_index", tetraFacesOf("1", "Face 0: A:0 B:-1 C:2\n"),
         unusable + "face 0 uses vertex index -1, outside 0 to 3", "error: 1 face corners name a vertex outside"},
        {"index_beyond_32_bits", tetraFacesOf("1", "Face 0: A:4294967296 B:1 C:2\n"),
         unusable + "face 0 has vertex index 4294967296, which is outside any vertex range"},
        {"one_vertex", meshText("1", "Vertex 0: X:0 Y:0 Z:0\n", "0", ""),
         unusable + "it has 1 vertices, but a body needs at least two", "error: the mesh has 1 vertices"},
        {"no_vertices", meshText("0", "", "0", ""), unusable + "it has 0 vertices", "error: the mesh has 0 vertices"},
    };
}

class RejectedFile : public testing::TestWithParam<Rejection> {};

void expectRejected(const Outcome& run, const Rejection& row, const std::string& program) {
    SCOPED_TRACE(program);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(run.out.rfind(row.message, 0), 0u) << run.out;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line: " << run.out;
    // A message that quotes the input stays readable however long the token.
    EXPECT_LT(run.out.size(), 400u);
}

const std::string checking = "checking " + meshPath + " with the program's reader\n";

TEST_P(RejectedFile, EndsEveryProgramWithOneLineAndStatusOne) {
    const Rejection& row = GetParam();
    TempDir dir;
    dir.write(meshPath, row.content);
    expectRejected(runProgram({sim, meshPath, "10"}, dir.path.string()), row, "plumfold-sim");
    if (fs::exists(plumfold)) expectRejected(runProgram({plumfold}, dir.path.string()), row, "plumfold");

    // plumfold-mesh check names the file, then either the reader ends it with
    // its own line or the checks list what is wrong.
    Outcome check = runProgram({meshTool, "check", meshPath}, dir.path.string());
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    ASSERT_EQ(check.out.rfind(checking, 0), 0u) << check.out;
    if (row.checkSays.empty()) {
        Outcome rest = check;
        rest.out = check.out.substr(checking.size());
        expectRejected(rest, row, "plumfold-mesh check");
    } else {
        EXPECT_NE(check.out.find(row.checkSays), std::string::npos) << check.out;
        EXPECT_NE(check.out.find("\nresult: NOT usable\n"), std::string::npos) << check.out;
    }
}

INSTANTIATE_TEST_SUITE_P(BadMesh, RejectedFile, testing::ValuesIn(rejections()),
                         [](const testing::TestParamInfo<Rejection>& info) { return info.param.name; });

// Files that cannot be opened at all: no file, a directory, no permission.
TEST(UnopenableMesh, MissingDirectoryOrUnreadable) {
    for (const std::string how : {"missing", "directory", "unreadable"}) {
        SCOPED_TRACE(how);
        if (how == "unreadable" && geteuid() == 0) continue;  // root reads whatever the permissions say
        TempDir dir;
        fs::create_directories(dir.path / (how == "directory" ? meshPath : "Objects"));
        if (how == "unreadable") fs::permissions(dir.write(meshPath, tetra), fs::perms::none);
        const std::string wd = dir.path.string();
        for (const std::string& program : {sim, plumfold}) {
            if (!fs::exists(program)) continue;
            Outcome run = runProgram(program == sim ? std::vector<std::string>{sim, meshPath, "10"}
                                                    : std::vector<std::string>{plumfold}, wd);
            EXPECT_EQ(run.status, 1) << program;
            EXPECT_EQ(run.out, notOpened);
        }
        Outcome check = runProgram({meshTool, "check", meshPath}, wd);
        EXPECT_EQ(check.status, 1);
        EXPECT_EQ(check.out, checking + notOpened);
        Outcome convert = runProgram({meshTool, "convert", meshPath}, wd);
        EXPECT_EQ(convert.status, 1);
        EXPECT_EQ(convert.out, "");
        EXPECT_EQ(convert.err.rfind("plumfold-mesh: cannot open '" + meshPath + "': ", 0), 0u) << convert.err;
    }
}

// Files that load: the simulator runs them and stays finite. The interactive
// program is not run on them, since it would open its window.
std::string statsLine(const Outcome& run, const std::string& key) {
    size_t at = ("\n" + run.out).find("\n" + key + " ");
    return at == std::string::npos ? "" : run.out.substr(at, run.out.find('\n', at) - at);
}

TEST(OddButUsableMesh, LoadAndStayFinite) {
    const std::string flat = "Vertices: 3 Faces: 2\nVertex List:\n0: X:0 Y:0 Z:0\n1: X:1 Y:0 Z:0\n2: X:0 Y:1 Z:0\n"
                             "Face list:\n0: A:0 B:1 C:2\n1: A:0 B:2 C:1\n";
    std::string crlf;
    for (char c : tetra) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    struct Case {
        std::string name, content, points, volume;  // empty: not checked
    };
    const Case cases[] = {
        {"flat, so no pressure", flat, "points 3 springs 3 faces 2", "volume 0"},
        {"too small for its volume to have an inverse",
         tetraWith("X:0 Y:1e-20 Z:0", "X:-1e-20 Y:-1e-20 Z:1e-20", "X:1e-20 Y:-1e-20 Z:1e-20", "X:0 Y:-1e-20 Z:-1e-20"),
         "", "volume 0"},
        {"vertices closer than any float length",
         tetraWith("X:0 Y:1 Z:0", "X:-1 Y:-1 Z:1", "X:0 Y:0 Z:0", "X:1e-40 Y:0 Z:0"), "", ""},
        {"Windows line ends", crlf, "points 4 springs 6 faces 4", ""},
        {"huge ignored token", std::string(1 << 20, 'q') + "\n" + tetra, "points 4 springs 6 faces 4", ""},
        {"no faces", tetraFacesOf("0", ""), "points 4 springs 0 faces 0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write(meshPath, c.content);
        Outcome run = runProgram({sim, meshPath, "1000", "--stats"}, dir.path.string());
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(statsLine(run, "finite"), "finite yes");
        if (!c.points.empty()) {
            EXPECT_EQ(statsLine(run, "points"), c.points);
        }
        if (!c.volume.empty()) {
            EXPECT_EQ(statsLine(run, "volume"), c.volume);
        }
    }

    // The checker, unlike the programs, turns the flat mesh away.
    TempDir dir;
    dir.write(meshPath, flat);
    Outcome check = runProgram({meshTool, "check", meshPath}, dir.path.string());
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.out.find("error: the enclosed volume is zero"), std::string::npos) << check.out;
}

TEST(OddButUsableMesh, CoincidentVerticesOnOneEdgeStayFiniteWhenDragged) {
    // Vertices 2 and 3 share a position and an edge: a spring of rest length 0.
    // A drag pulls them apart by less than any float length can express.
    TempDir dir;
    dir.write(meshPath, meshText("4", "0: X:0 Y:0 Z:0\n1: X:-1e-20 Y:-1e-20 Z:1e-20\n2: X:1 Y:0 Z:0\n3: X:1 Y:0 Z:0\n",
                                 "2", "0: A:0 B:1 C:3\n1: A:3 B:0 C:2\n"));
    dir.write("events", "1 press -2000 2600\n");
    Outcome run = runProgram({sim, meshPath, "2", "--events", "events", "--stats"}, dir.path.string());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(statsLine(run, "finite"), "finite yes");
}

// Foreign files given to plumfold-mesh convert: a message on standard error that
// names the file and the problem, status 1, nothing written.
TEST(BadForeignFile, ConvertSaysWhyAndWritesNothing) {
    std::string stlHeader(80, ' ');
    std::string overcounted = stlHeader + std::string("\xff\xff\xff\x7f", 4) + std::string(50, '\0');
    struct Case {
        std::string name, bytes, says;
    };
    const Case cases[] = {
        {"empty.obj", "", "empty.obj: the file has no faces"},
        {"garbage.obj", garbage(4096), "garbage.obj: "},
        {"garbage.stl", garbage(4096), "garbage.stl: binary STL: "},
        {"empty.stl", "", "empty.stl: "},
        {"overcounted.stl", overcounted, "overcounted.stl: binary STL: the header says 2147483647 triangles"},
        {"nan.obj", "v 0 0 0\nv 1 0 0\nv nan 1 0\nf 1 2 3\n", "nan.obj: line 3: "},
        {"index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n", "index.obj: line 4: face uses vertex 7"},
        {"huge.obj", "v " + std::string(100000, '1') + " 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", "huge.obj: line 1: "},
        {"point.obj", "v 1 1 1\nv 1 1 1\nv 1 1 1\nf 1 2 3\n", "point.obj: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write(c.name, c.bytes);
        Outcome run = runProgram({meshTool, "convert", c.name, "-o", "out.asc"}, dir.path.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("plumfold-mesh: " + c.says, 0), 0u) << run.err;
        EXPECT_LT(run.err.size(), 400u) << "a readable message";
        EXPECT_FALSE(fs::exists(dir.path / "out.asc"));
    }
}

// Drag events files and recordings, as plumfold-sim --events, plumfold-sim
// --verify and plumfold --replay read them: one line that names the file and,
// for a bad line, its number; a usage status; never a crash.
TEST(BadSessionFile, GetsOneLineNamingTheLine) {
    TempDir dir;
    dir.write(meshPath, tetra);
    fs::create_directories(dir.path / "folder");
    const std::string head = "plumfold-session 1\nmesh " + plumfold::sha256Hex(tetra) + " " + meshPath + "\n";
    struct Case {
        std::string file, text, says;
        bool namesMesh = true;  // a header the events reader also checks
    };
    for (const Case& c : {Case{"missing", "", "'missing'"}, Case{"folder", "", "'folder'"},
                          Case{"bad-line", "0 press 300 300\n5 motion 1\n", "'bad-line', line 2: "},
                          Case{"unknown", head + "0 press 300 300\n5 jump\n", "line 4: unknown entry \"jump\""},
                          Case{"backwards", head + "9 press 300 300\n5 release\n", "line 4: step 5 comes after step 9"},
                          Case{"other-mesh", "plumfold-session 1\nmesh " + std::string(64, 'a') + " " + meshPath,
                               "line 2: the mesh 'Objects/Objekt3.asc' has SHA-256", false}}) {
        if (c.file != "missing" && c.file != "folder") dir.write(c.file, c.text);
        std::vector<std::vector<std::string>> runs = {{sim, "--verify", c.file}, {plumfold, "--replay", c.file}};
        if (c.namesMesh) runs.push_back({sim, meshPath, "10", "--events", c.file});
        for (const auto& args : runs) {
            Outcome run = runProgram(args, dir.path.string());
            EXPECT_EQ(run.status, 2) << args[0] << " " << c.file;
            EXPECT_EQ(run.out, "") << c.file;
            EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
        }
    }
}

}  // namespace
