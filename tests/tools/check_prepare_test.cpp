// plumfold-mesh prepare and check as users run them: check calls a body usable
// only when the scene's probe survives, and prepare makes usable bodies.
#include <gtest/gtest.h>

#include "tests/support/process.h"

TEST(CheckAndPrepare, VerdictAndStatusFollowTheBody) {
    TempDir dir;
    const std::string plate = dir.write("plate.obj", "v 0 0 0\nv 1 0 0\nv 1 0 1\nv 0 0 1\nf 1 2 3 4\n");
    const std::string fan = (dir.path / "fan.asc").string(), zup = (dir.path / "zup.asc").string();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    // In order: the later cases read what the earlier ones wrote.
    for (const Case& c : {
             Case{{"check", PLUMFOLD_SOURCE_DIR "/Objects/Objekt3.asc"}, 0, "result: usable"},
             // A cap fanned around one point, converted as it is: the probe fails
             // and the finding names the point and the fix.
             Case{{"convert", samples + "fan.ply", "--fit", "6", "--force", "-o", fan}, 0, ""},
             Case{{"check", fan}, 1, "springs: the step is unstable there; `plumfold-mesh prepare`"},
             Case{{"check", samples + "fan.ply"}, 0, "result: usable"},
             Case{{"prepare", samples + "zup-mm.stl", "--up", "z", "--points", "500", "-o", zup}, 0, "up axis"},
             Case{{"check", zup}, 0, "result: usable"},
             Case{{"prepare", plate, "-o", fan}, 1, "no volume"},
             Case{{"prepare", plate, "--up", "w"}, 2, "--up must be one of"},
         }) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        std::vector<std::string> argv{meshTool};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        Outcome run = runProgram(argv);
        EXPECT_EQ(run.status, c.status) << run.all();
        EXPECT_NE(run.all().find(c.says), std::string::npos) << run.all();
    }
}
