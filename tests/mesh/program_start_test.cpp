// The real program started in a folder of our own: it reads Objects/Objekt3.asc
// relative to its working directory and reports the body first. It runs without
// DISPLAY, so it never gets a window. How it ends on bad files is checked with
// the other bad inputs in tests/robustness/.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/process.h"

// The body is reported first, then the command line: a mesh of one's own, help,
// and mistakes told in one line with a usage status, before anything is read.
TEST(ProgramStart, ReportsTheBodyFirstAndRefusesBadCommandLines) {
    TempDir dir;
    dir.write("Objects/Objekt3.asc", readFile(tetraFile));
    dir.write("bodies/two.asc", "Vertices: 2 Vertex List: 0: X:0 Y:0 Z:0 1: X:1 Y:0 Z:0 Faces: 0 Face list:");
    const std::string header = "Window Width: 600\nWindow Height: 600\n\n";
    struct Case {
        std::string arguments, out, err;
        int status;  // -1: whatever GLUT does without a display
    };
    for (const Case& c : {Case{"", header + "Loaded: 4 faces...\nLoaded: 4 points...\nCreated: 6 spring connections...\n", "", -1},
                          Case{"bodies/two.asc", header + "Loaded: 0 faces...\nLoaded: 2 points...\nCreated: 0 spring connections...\n", "", -1},
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
