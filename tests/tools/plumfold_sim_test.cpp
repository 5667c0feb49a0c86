// plumfold-sim as a process: its arguments, its output, the recorded drag
// trajectories, and the same trajectories from a build without optimisation.
// Bad mesh and events files are with the other bad inputs in tests/robustness/.
#include <gtest/gtest.h>

#include "tests/support/bodies.h"
#include "tests/support/process.h"

using namespace plumfold;

const std::string simO0 = PLUMFOLD_BINARY_DIR "/tests/tools/plumfold-sim-O0";
const std::string reference = PLUMFOLD_SOURCE_DIR "/tests/data/reference/";
const std::string golden = PLUMFOLD_SOURCE_DIR "/tests/data/golden/";
const std::string ico1 = reference + "ico1.asc";

TEST(PlumfoldSim, HelpAndBadArguments) {
    Outcome help = runProgram({sim, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: plumfold-sim MESH STEPS"), std::string::npos);
    EXPECT_NE(help.out.find("--events"), std::string::npos);

    const std::string tetra = tetraFile;
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const std::vector<Case> cases = {
        {{sim, tetra}, "MESH and STEPS"},
        {{sim, tetra, " -1"}, "' -1'"},
        {{sim, tetra, "5x"}, "'5x'"},
        {{sim, tetra, "99999999999999999999999"}, "STEPS"},
        {{sim, tetra, "1", "--fast"}, "'--fast'"},
        {{sim, tetra, "1", "--events"}, "--events"},
        {{sim, tetra, "1", "--csv"}, "--csv needs"},
        {{sim, tetra, "1", "--csv", "0"}, "--csv needs"},
        {{sim, tetra, "1", "--csv", "x"}, "--csv needs"},
        {{sim, tetra, "1", "--one-core"}, "'--one-core'"},  // retired with the helper thread
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        Outcome o = runProgram(c.args);
        EXPECT_EQ(o.status, 2);  // a usage error
        EXPECT_EQ(o.out, "");
        EXPECT_NE(o.err.find(c.mentions), std::string::npos) << o.err;
    }
}

// The dumped points are the body's own, to the last bit (the checksum line is
// held with the listed trajectories below).
TEST(PlumfoldSim, DumpsEveryPointAndEndsWithTheChecksum) {
    Outcome o = runProgram({sim, tetraFile, "10", "--dump"});
    std::vector<std::string> lines = splitLines(o.out);
    ASSERT_EQ(lines.size(), 6u) << o.all();
    PressureBody body = sceneBodyAfter(tetraFile, 10);
    for (size_t i = 0; i < 4; ++i) {
        const Vector3 &x = body.points[i].position, &v = body.points[i].velocity;
        char want[256];
        std::snprintf(want, sizeof want, "%a %a %a %a %a %a", x.x, x.y, x.z, v.x, v.y, v.z);
        EXPECT_EQ(lines[1 + i], want);
    }
}

// Every listed trajectory, with and without drags, from the optimised build and
// from a build of the same simulation sources at -O0: the optimiser may not
// change one bit of any point.
TEST(PlumfoldSim, EveryBuildReproducesEveryListedTrajectory) {
    int rows = 0;
    for (const std::string& folder : {reference, golden}) {
        std::ifstream in(folder + "checksums.txt");
        for (std::string text; std::getline(in, text);) {
            std::istringstream fields(text);
            std::string mesh, steps, checksum, events;
            if (text.empty() || text[0] == '#' || !(fields >> mesh >> steps >> checksum)) continue;
            SCOPED_TRACE(text);
            ++rows;
            std::vector<std::string> args = {folder + mesh, steps, "--dump"};
            if (fields >> events) args.insert(args.end(), {"--events", folder + events});
            args.insert(args.begin(), sim);
            Outcome optimised = runProgram(args);
            args[0] = simO0;
            Outcome unoptimised = runProgram(args);
            EXPECT_EQ(optimised.status, 0);
            EXPECT_TRUE(optimised.out.ends_with("\nchecksum " + checksum + "\n")) << optimised.out;
            EXPECT_EQ(optimised.out, unoptimised.out);
        }
    }
    EXPECT_GE(rows, 22);
}

// --csv and --trace describe the run without changing it; both give the volume
// that each step's first force evaluation sees, the last row the final one.
TEST(PlumfoldSim, CsvAndTraceSampleEveryNStepsWithoutChangingTheTrajectory) {
    TempDir dir;
    const std::string csv = (dir.path / "run.csv").string();
    Outcome plain = runProgram({sim, ico1, "230"});
    Outcome sampled = runProgram({sim, ico1, "230", "--csv", "50", "--csv-file", csv, "--trace", "50"});
    ASSERT_EQ(sampled.status, 0) << sampled.all();
    EXPECT_TRUE(sampled.out.ends_with(plain.out.substr(plain.out.rfind("\nchecksum ")))) << plain.out;
    std::vector<std::string> rows = splitLines(readFile(csv)), printed = splitLines(sampled.out);
    ASSERT_EQ(rows.size(), 7u);
    ASSERT_EQ(printed.size(), 7u) << sampled.out;
    EXPECT_EQ(rows[0], "step,time,volume,min_y,max_y,centroid_x,centroid_y,centroid_z");
    const int steps[] = {0, 50, 100, 150, 200, 230};
    std::vector<std::vector<std::string>> fields(6);
    for (size_t i = 0; i < 6; ++i) {
        std::stringstream in(rows[1 + i]);
        for (std::string field; std::getline(in, field, ',');) fields[i].push_back(field);
        ASSERT_EQ(fields[i].size(), 8u) << rows[1 + i];
        auto at = [&](int k) { return std::stod(fields[i][k]); };
        EXPECT_EQ(at(0), steps[i]);
        EXPECT_DOUBLE_EQ(at(1), steps[i] * 0.001);
        EXPECT_TRUE(-4.5 <= at(3) && at(3) <= at(6) && at(6) <= at(4))
            << rows[1 + i];  // floor, lowest, centroid, highest
        if (i < 5) {
            EXPECT_EQ(printed[i], "trace " + fields[i][0] + " " + fields[i][2]);
        }
    }
    EXPECT_LT(std::stod(fields[2][6]), std::stod(fields[0][6]));  // it falls
    EXPECT_EQ(printed[5], "volume " + fields[5][2]);
}
