// plumfold-sim as a process: its arguments, its output, the recorded drag
// trajectories, and the same trajectories from a build without optimisation.
// Bad mesh and events files are with the other bad inputs in tests/robustness/.
#include <gtest/gtest.h>

#include <fstream>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/bodies.h"
#include "tests/support/process.h"

using namespace plumfold;

namespace {

const std::string simO0 = PLUMFOLD_BINARY_DIR "/tests/tools/plumfold-sim-O0";
const std::string reference = PLUMFOLD_SOURCE_DIR "/tests/data/reference/";
const std::string golden = PLUMFOLD_SOURCE_DIR "/tests/data/golden/";
const std::string ico1 = reference + "ico1.asc";

std::string lastLine(const std::string& text) {
    std::vector<std::string> lines = splitLines(text);
    return lines.empty() ? "" : lines.back();
}

}  // namespace

TEST(PlumfoldSim, HelpAndBadArguments) {
    Outcome help = runProgram({sim, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: plumfold-sim MESH STEPS"), std::string::npos);
    EXPECT_NE(help.out.find("--events"), std::string::npos);

    const std::string tetra = reference + "tetra.asc";
    struct Case {
        std::vector<std::string> args;
        std::string mentions;
    };
    const std::vector<Case> cases = {
        {{sim, tetra}, "MESH and STEPS"},
        {{sim, tetra, "abc"}, "'abc'"},
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
    Outcome o = runProgram({sim, reference + "tetra.asc", "10", "--dump"});
    EXPECT_EQ(o.status, 0);
    std::vector<std::string> lines = splitLines(o.out);
    ASSERT_EQ(lines.size(), 6u);

    PressureBody body = sceneBodyAfter(reference + "tetra.asc", 10);
    for (size_t i = 0; i < 4; ++i) {
        std::istringstream fields(lines[1 + i]);
        std::vector<float> values;
        for (std::string word; fields >> word;) {
            EXPECT_NE(word.find("0x"), std::string::npos) << word;
            values.push_back(std::strtof(word.c_str(), nullptr));
        }
        const MassPoint& p = body.points[i];
        EXPECT_EQ(values, (std::vector<float>{p.position.x, p.position.y, p.position.z, p.velocity.x, p.velocity.y,
                                              p.velocity.z}));
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
            EXPECT_EQ(lastLine(optimised.out), "checksum " + checksum);
            EXPECT_EQ(optimised.out, unoptimised.out);
        }
    }
    EXPECT_GE(rows, 22);
}

// --csv: the samples describe the run without changing it.
TEST(PlumfoldSim, CsvSamplesEveryNStepsAndTheLastWithoutChangingTheTrajectory) {
    TempDir dir;
    std::string csv = (dir.path / "run.csv").string();
    Outcome plain = runProgram({sim, ico1, "230"});
    Outcome sampled = runProgram({sim, ico1, "230", "--csv", "50", "--csv-file", csv});
    ASSERT_EQ(plain.status, 0) << plain.all();
    ASSERT_EQ(sampled.status, 0) << sampled.all();
    EXPECT_EQ(lastLine(plain.out), lastLine(sampled.out));  // the checksum

    std::ifstream in(csv);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "step,time,volume,min_y,max_y,centroid_x,centroid_y,centroid_z");
    std::vector<std::vector<double>> rows;
    while (std::getline(in, line)) {
        std::vector<double> row;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ',')) row.push_back(std::stod(field));
        ASSERT_EQ(row.size(), 8u) << line;
        rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 6u);
    const double steps[] = {0, 50, 100, 150, 200, 230};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i][0], steps[i]);
        EXPECT_DOUBLE_EQ(rows[i][1], steps[i] * 0.001);
        EXPECT_LE(rows[i][3], rows[i][6]);  // lowest <= centroid <= highest
        EXPECT_LE(rows[i][6], rows[i][4]);
        EXPECT_GE(rows[i][3], -4.5);
    }
    EXPECT_LT(rows[2][6], rows[0][6]);  // it falls

    // The first and last rows' volumes are the ones the plain runs print.
    Outcome start = runProgram({sim, ico1, "0"});
    ASSERT_NE(start.out.find("volume "), std::string::npos);
    EXPECT_EQ(rows.front()[2], std::stod(start.out.substr(start.out.find("volume ") + 7)));
    EXPECT_EQ(rows.back()[2], std::stod(plain.out.substr(plain.out.find("volume ") + 7)));
}
