// The real program started in a folder of our own: it reads Objects/Objekt3.asc
// relative to its working directory and either reports the body or ends with the
// reader's one line. It runs without DISPLAY, so it never gets a window.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/process.h"

namespace {

const std::string program = PLUMFOLD_BINARY_DIR "/app/plumfold";

Outcome startWith(const std::string* meshText) {
    TempDir dir;
    if (meshText != nullptr) dir.write("Objects/Objekt3.asc", *meshText);
    return runProgram({program}, dir.path.string());
}

}  // namespace

TEST(ProgramStart, ReportsTheBodyBeforeAnythingElse) {
    const std::string header = "Window Width: 600\nWindow Height: 600\n\n";
    std::string tetra = readFile(PLUMFOLD_SOURCE_DIR "/tests/data/reference/tetra.asc");
    std::string report = header + "Loaded: 4 faces...\nLoaded: 4 points...\nCreated: 6 spring connections...\n";
    Outcome o = startWith(&tetra);
    EXPECT_EQ(o.out.substr(0, report.size()), report);

    std::string noFaces = "Vertices: 2 Vertex List: 0: X:0 Y:0 Z:0 1: X:1 Y:0 Z:0 Faces: 0 Face list:";
    report = header + "Loaded: 0 faces...\nLoaded: 2 points...\nCreated: 0 spring connections...\n";
    o = startWith(&noFaces);
    EXPECT_EQ(o.out.substr(0, report.size()), report);
}

TEST(ProgramStart, AnUnreadableMeshEndsStartUpWithOneLine) {
    Outcome o = startWith(nullptr);
    EXPECT_EQ(o.out, "Unable to open Objects/Objekt3.asc file.\n");
    EXPECT_EQ(o.status, 1);

    std::string truncated = "Vertices: 4 Vertex List: 0: X:0 Y:1 Z:0";
    o = startWith(&truncated);
    EXPECT_EQ(o.out, "Error with object file! \n");
    EXPECT_EQ(o.status, 1);

    std::string badIndex = "Vertices: 2 Vertex List: 0: X:0 Y:0 Z:0 1: X:1 Y:0 Z:0 Faces: 1 Face list: 0: A:0 B:1 C:2";
    o = startWith(&badIndex);
    EXPECT_EQ(o.out.rfind("Unusable mesh file Objects/Objekt3.asc: face 0 ", 0), 0u) << o.out;
    EXPECT_EQ(o.out.find('\n'), o.out.size() - 1) << o.out;
    EXPECT_EQ(o.status, 1);
}
