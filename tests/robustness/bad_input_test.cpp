// Bad mesh files given to the programs that read them: the interactive program
// (which always reads Objects/Objekt3.asc in its working directory),
// plumfold-sim, and plumfold-mesh check and convert. A bad file ends the program
// with one line that names the file and the problem, and status 1. Files that
// are odd but usable must load and simulate without a NaN.
#include <gtest/gtest.h>

#include <algorithm>

#include "body/sha256.h"
#include "tests/support/process.h"

using namespace plumfold;

namespace fs = std::filesystem;

namespace {

const std::string meshPath = "Objects/Objekt3.asc";  // the same path for both programs

const std::string tetra = readFile(tetraFile);

// The tetrahedron's text with its first `from` replaced by `to`, up to `end`.
std::string edited(const std::string& from, const std::string& to, const char* end = nullptr) {
    std::string text = tetra.substr(0, end != nullptr ? tetra.find(end) : std::string::npos);
    return text.replace(text.find(from), from.size(), to);
}

}  // namespace

// Every program prints the reader's one line (tests/mesh/mesh_reader_test.cpp
// has every line) on standard output and exits 1, before anything else.
TEST(BadMesh, EveryProgramPrintsTheReadersLineAndExitsOne) {
    TempDir dir;
    dir.write("truncated/" + meshPath, tetra.substr(0, tetra.find("Vertex 2")));
    dir.write("nan/" + meshPath, edited("Y:1", "Y:nan"));
    std::filesystem::create_directories(dir.path / "missing");
    struct Case {
        std::vector<std::string> command;
        const char* folder;
        std::string out;
    };
    // clang-format off
    const Case cases[] = {
        {{demoProgram}, "truncated", "Error with object file! \n"},
        {{sim, meshPath, "10"}, "nan",
         "Unusable mesh file " + meshPath + ": vertex 0 has coordinate \"Y:nan\", which is not a finite 32-bit number\n"},
        {{meshTool, "check", meshPath}, "missing",
         "checking " + meshPath + " with the program's reader\nUnable to open " + meshPath + " file.\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        if (!fs::exists(c.command[0])) continue;  // built without the window
        SCOPED_TRACE(c.command[0]);
        const Outcome run = runProgram(c.command, (dir.path / c.folder).string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, c.out);
    }
}

// Files judged by what they hold, not their name: plumfold-sim takes any
// supported format (an .asc name always goes to the program's own reader, other
// formats are prepared and say so in one line on standard error), and odd but
// usable files simulate and stay finite (flat, tiny and degenerate bodies are
// with the engine's scenes in tests/body/, line ends with the reader's tokens in
// tests/mesh/). The checker, unlike the programs, turns a flat body away.
TEST(MeshFile, IsReadAsWhatItHolds) {
    TempDir dir;
    dir.write("ply-named.asc", readFile(samples + "inward.ply"));
    dir.write("unknown", "just words\n");
    dir.write("bad.off", "OFF\n2000000000 1 0\n");
    dir.write("huge-token.asc", std::string(1 << 20, 'q') + "\n" + tetra);  // across the reader's chunks
    dir.write("no-faces.asc", edited("Faces: 4", "Faces: 0", "Face 0"));
    dir.write("flat.asc",
              "Vertices: 3 Faces: 2\nVertex List:\n0: X:0 Y:0 Z:0\n1: X:1 Y:0 Z:0\n2: X:0 Y:1 Z:0\n"
              "Face list:\n0: A:0 B:1 C:2\n1: A:0 B:2 C:1\n");
    struct Case {
        std::vector<std::string> command;
        int status;
        std::string out, err;  // out: held anywhere; err: its start, and as many lines
    };
    // clang-format off
    const Case cases[] = {
        {{sim, samples + "tetra.stl", "100"}, 0, "volume ", "plumfold-sim: " + samples + "tetra.stl: STL prepared as a body"},
        {{sim, "ply-named.asc", "100"}, 1, "Error with object file! \n", ""},
        {{sim, "unknown", "100"}, 1, "Error with object file! \n", ""},
        {{sim, "bad.off", "100"}, 1, "", "plumfold-sim: bad.off: OFF: the header states 2000000000 vertices"},
        {{sim, "huge-token.asc", "1000", "--stats"}, 0, "\npoints 4 springs 6 faces 4\nfinite yes\n", ""},
        // Loose points fall straight down and come to rest on the floor.
        {{sim, "no-faces.asc", "1000", "--stats"}, 0, "\npoints 4 springs 0 faces 0\nfinite yes\n"
                                                      "bounds -0.899999976 0.899999976 -4.5 -4.5 -0.899999976 0.899999976\n", ""},
        {{meshTool, "check", "flat.asc"}, 1, "\nerror: the enclosed volume is zero", ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command[1]);
        const Outcome run = runProgram(c.command, dir.path.string());
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), c.err.empty() ? 0 : 1) << run.err;
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
                          Case{"short-checksum", head + "5 checksum 4716cc3d\n", "line 3: \"checksum\" takes 16 hex digits"},
                          Case{"backwards", head + "9 press 300 300\n5 release\n", "line 4: step 5 comes after step 9"},
                          Case{"other-mesh", "plumfold-session 1\nmesh " + std::string(64, 'a') + " " + meshPath,
                               "line 2: the mesh 'Objects/Objekt3.asc' has SHA-256", false}}) {
        if (c.file != "missing" && c.file != "folder") dir.write(c.file, c.text);
        std::vector<std::vector<std::string>> runs = {{sim, "--verify", c.file}, {demoProgram, "--replay", c.file}};
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
