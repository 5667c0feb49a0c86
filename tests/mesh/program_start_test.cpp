// The real program started in a folder of our own: it reads Objects/Objekt3.asc
// relative to its working directory and reports the body first. It runs without
// DISPLAY, so it never gets a window. How it ends on bad files is checked with
// the other bad inputs in tests/robustness/.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/support/process.h"

TEST(ProgramStart, ReportsTheBodyBeforeAnythingElse) {
    const std::string header = "Window Width: 600\nWindow Height: 600\n\n";
    const std::pair<std::string, std::string> cases[] = {
        {readFile(tetraFile),
         "Loaded: 4 faces...\nLoaded: 4 points...\nCreated: 6 spring connections...\n"},
        {"Vertices: 2 Vertex List: 0: X:0 Y:0 Z:0 1: X:1 Y:0 Z:0 Faces: 0 Face list:",
         "Loaded: 0 faces...\nLoaded: 2 points...\nCreated: 0 spring connections...\n"},
    };
    for (const auto& [mesh, report] : cases) {
        TempDir dir;
        dir.write("Objects/Objekt3.asc", mesh);
        Outcome o = runProgram({demoProgram}, dir.path.string());
        EXPECT_EQ(o.out.substr(0, header.size() + report.size()), header + report);
    }
}

// The command line: a mesh of one's own, help, and mistakes told in one line
// with a usage status, before anything is read.
TEST(ProgramStart, CommandLine) {
    TempDir dir;
    dir.write("bodies/tetra.asc", readFile(tetraFile));
    struct Case {
        std::string arguments, out, err;
        int status;  // -1: whatever GLUT does without a display
    };
    for (const Case& c : {Case{"bodies/tetra.asc", "Window Width: 600\nWindow Height: 600\n\nLoaded: 4 faces", "", -1},
                          Case{"--help", "Usage: plumfold [--lab] [--record FILE] [--replay FILE] [MESH]\n", "", 0},
                          Case{"--lab --frobnicate", "", "plumfold: unknown option '--frobnicate'\nTry", 2},
                          Case{"a.asc b.asc", "", "plumfold: one mesh only: 'a.asc' and 'b.asc'\nTry", 2},
                          Case{"--lab --record", "", "plumfold: --record needs a file name\nTry", 2}}) {
        Outcome o = runProgram(command(demoProgram, c.arguments), dir.path.string());
        EXPECT_EQ(o.out.substr(0, c.out.size()), c.out) << c.arguments;
        EXPECT_EQ(o.err.substr(0, c.err.size()), c.err) << c.arguments;
        EXPECT_TRUE(c.status < 0 || o.status == c.status) << c.arguments << ": status " << o.status;
    }
}
