// Bad mesh files given to each program that reads them: the interactive program
// (which always reads Objects/Objekt3.asc in its working directory) and
// plumfold-sim. Every bad file must end the program with one line that names
// the file and the problem, and a non-zero status; nothing may crash. Files
// that are odd but usable must load and simulate without a NaN.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "run_program.h"

namespace fs = std::filesystem;

namespace {

const std::string plumfold = PLUMFOLD_BINARY_DIR "/app/plumfold";
const std::string sim = PLUMFOLD_BINARY_DIR "/tools/plumfold-sim";
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
    std::string message;  // the whole standard output, or its start when partial
    bool partial = false;  // message is the start of the line, the problem follows
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
         unusable + "the count \"2000000000\" after \"Vertices:\" is more records", true},
        {"count_beyond_32_bits", meshText("99999999999", tetraVertices, "0", ""),
         unusable + "the count \"99999999999\"", true},
        {"huge_face_count", tetraFacesOf("2147483647", tetraFaces),
         unusable + "the count \"2147483647\" after \"Faces:\"", true},
        {"huge_coordinate_token", tetraWith("X:" + std::string(100000, '7') + " Y:0 Z:0", "X:1 Y:1 Z:1",
                                            "X:2 Y:2 Z:2", "X:3 Y:3 Z:3"),
         unusable + "vertex 0 has coordinate \"X:" + std::string(38, '7') + "\", which is not a finite", true},
        {"nan_coordinate", tetraWith("X:0 Y:nan Z:0", "X:1 Y:1 Z:1", "X:2 Y:2 Z:2", "X:3 Y:3 Z:3"),
         unusable + "vertex 0 has coordinate \"Y:nan\"", true},
        {"infinite_coordinate", tetraWith("X:0 Y:0 Z:0", "X:-inf Y:1 Z:1", "X:2 Y:2 Z:2", "X:3 Y:3 Z:3"),
         unusable + "vertex 1 has coordinate \"X:-inf\"", true},
        {"coordinate_beyond_float", tetraWith("X:0 Y:0 Z:0", "X:1 Y:1 Z:1", "X:2 Y:2 Z:2", "X:3 Y:3 Z:1e39"),
         unusable + "vertex 3 has coordinate \"Z:1e39\"", true},
        {"index_past_the_last_vertex", tetraFacesOf("1", "Face 0: A:0 B:1 C:4\n"),
         unusable + "face 0 uses vertex index 4, outside 0 to 3", true},
        {"negative_index", tetraFacesOf("1", "Face 0: A:0 B:-1 C:2\n"),
         unusable + "face 0 uses vertex index -1, outside 0 to 3", true},
        {"index_beyond_32_bits", tetraFacesOf("1", "Face 0: A:4294967296 B:1 C:2\n"),
         unusable + "face 0 has vertex index 4294967296, which is outside any vertex range", true},
        {"one_vertex", meshText("1", "Vertex 0: X:0 Y:0 Z:0\n", "0", ""),
         unusable + "it has 1 vertices, but a body needs at least two", true},
        {"no_vertices", meshText("0", "", "0", ""), unusable + "it has 0 vertices", true},
    };
}

class RejectedFile : public testing::TestWithParam<Rejection> {};

void expectRejected(const RunResult& run, const Rejection& row, const std::string& program) {
    SCOPED_TRACE(program);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    if (row.partial) {
        EXPECT_EQ(run.out.rfind(row.message, 0), 0u) << run.out;
        EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line: " << run.out;
    } else {
        EXPECT_EQ(run.out, row.message);
    }
    // A message that quotes the input stays readable however long the token.
    EXPECT_LT(run.out.size(), 400u);
}

TEST_P(RejectedFile, EndsEveryProgramWithOneLineAndStatusOne) {
    const Rejection& row = GetParam();
    ScratchDir dir;
    dir.write(meshPath, row.content);
    expectRejected(runProgram(sim, {meshPath, "10"}, dir.path), row, "plumfold-sim");
    if (fs::exists(plumfold)) expectRejected(runProgram(plumfold, {}, dir.path), row, "plumfold");
}

INSTANTIATE_TEST_SUITE_P(BadMesh, RejectedFile, testing::ValuesIn(rejections()),
                         [](const testing::TestParamInfo<Rejection>& info) { return info.param.name; });

// Files that cannot be opened at all: no file, a directory, no permission.
void expectNotOpened(const fs::path& workDir) {
    for (const std::string& program : {sim, plumfold}) {
        if (!fs::exists(program)) continue;
        SCOPED_TRACE(program);
        RunResult run = program == sim ? runProgram(sim, {meshPath, "10"}, workDir) : runProgram(plumfold, {}, workDir);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, notOpened);
    }
}

TEST(UnopenableMesh, MissingFile) {
    ScratchDir dir;
    fs::create_directories(dir.path / "Objects");
    expectNotOpened(dir.path);
}

TEST(UnopenableMesh, DirectoryInPlaceOfTheFile) {
    ScratchDir dir;
    fs::create_directories(dir.path / meshPath);
    expectNotOpened(dir.path);
}

TEST(UnopenableMesh, FileWithoutReadPermission) {
    if (geteuid() == 0) GTEST_SKIP() << "running as root, where file permissions do not stop reading";
    ScratchDir dir;
    fs::permissions(dir.write(meshPath, tetra), fs::perms::none);
    expectNotOpened(dir.path);
}

// Files that load: the simulator runs them and stays finite. The interactive
// program is not run on them, since it would open its window.
struct Outcome {
    RunResult run;
    std::string line(const std::string& key) const {
        size_t at = run.out.find("\n" + key + " ");
        if (at == std::string::npos) at = run.out.rfind(key + " ", 0) == 0 ? 0 : std::string::npos;
        else ++at;
        if (at == std::string::npos) return "";
        return run.out.substr(at, run.out.find('\n', at) - at);
    }
};

Outcome simulate(const std::string& content, const std::string& steps = "1000") {
    ScratchDir dir;
    dir.write(meshPath, content);
    return {runProgram(sim, {meshPath, steps, "--stats"}, dir.path)};
}

TEST(OddButUsableMesh, FlatMeshHasNoPressureAndStaysFinite) {
    Outcome o = simulate("Vertices: 3 Faces: 2\nVertex List:\n0: X:0 Y:0 Z:0\n1: X:1 Y:0 Z:0\n2: X:0 Y:1 Z:0\n"
                         "Face list:\n0: A:0 B:1 C:2\n1: A:0 B:2 C:1\n");
    ASSERT_EQ(o.run.status, 0) << o.run.out << o.run.err;
    EXPECT_EQ(o.line("volume"), "volume 0");
    EXPECT_EQ(o.line("points"), "points 3 springs 3 faces 2");
    EXPECT_EQ(o.line("finite"), "finite yes");
}

TEST(OddButUsableMesh, BodyTooSmallForItsVolumeToHaveAnInverseStaysFinite) {
    Outcome o = simulate(tetraWith("X:0 Y:1e-20 Z:0", "X:-1e-20 Y:-1e-20 Z:1e-20", "X:1e-20 Y:-1e-20 Z:1e-20",
                                   "X:0 Y:-1e-20 Z:-1e-20"));
    ASSERT_EQ(o.run.status, 0) << o.run.out << o.run.err;
    EXPECT_EQ(o.line("finite"), "finite yes");
    EXPECT_EQ(o.line("volume"), "volume 0");
}

TEST(OddButUsableMesh, VerticesCloserThanAnyFloatLengthStayFinite) {
    Outcome o = simulate(tetraWith("X:0 Y:1 Z:0", "X:-1 Y:-1 Z:1", "X:0 Y:0 Z:0", "X:1e-40 Y:0 Z:0"));
    ASSERT_EQ(o.run.status, 0) << o.run.out << o.run.err;
    EXPECT_EQ(o.line("finite"), "finite yes");
}

TEST(OddButUsableMesh, WindowsLineEndsHugeIgnoredTokensAndNoFacesLoad) {
    std::string crlf;
    for (char c : tetra) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Outcome o = simulate(crlf);
    EXPECT_EQ(o.run.status, 0);
    EXPECT_EQ(o.line("points"), "points 4 springs 6 faces 4");

    o = simulate(std::string(1 << 20, 'q') + "\n" + tetra);
    EXPECT_EQ(o.run.status, 0);
    EXPECT_EQ(o.line("points"), "points 4 springs 6 faces 4");

    o = simulate(tetraFacesOf("0", ""));
    EXPECT_EQ(o.run.status, 0);
    EXPECT_EQ(o.line("points"), "points 4 springs 0 faces 0");
    EXPECT_EQ(o.line("finite"), "finite yes");
}

// The simulator's other input, the drag events file.
TEST(BadEventsFile, IsAUsageErrorThatNamesTheFile) {
    ScratchDir dir;
    dir.write(meshPath, tetra);
    fs::create_directories(dir.path / "events-dir");
    dir.write("bad-line", "0 press 300 300\n5 motion 1\n");
    dir.write("backwards", "9 press 300 300\n5 release\n");
    struct Case {
        std::string file, says;
    };
    for (const Case& c : {Case{"missing", "cannot open events file 'missing'"},
                          Case{"events-dir", "events file 'events-dir' is a directory"},
                          Case{"bad-line", "events file 'bad-line', line 2: "},
                          Case{"backwards", "events file 'backwards', line 2: step 5 comes after step 9"}}) {
        RunResult run = runProgram(sim, {meshPath, "10", "--events", c.file}, dir.path);
        EXPECT_EQ(run.status, 2) << c.file;
        EXPECT_EQ(run.out, "") << c.file;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
}

}  // namespace
