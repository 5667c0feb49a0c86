// plumfold-sim --csv: the samples describe the run without changing it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/process.h"

namespace {

const std::string sim = PLUMFOLD_BINARY_DIR "/tools/plumfold-sim";
const std::string mesh = PLUMFOLD_SOURCE_DIR "/tests/data/reference/ico1.asc";

std::string lastLine(const std::string& text) {
    std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
    return trimmed.substr(trimmed.find_last_of('\n') + 1);
}

}  // namespace

TEST(SimCsv, SamplesEveryNStepsAndTheLastWithoutChangingTheTrajectory) {
    TempDir dir;
    std::string csv = (dir.path / "run.csv").string();
    Outcome plain = runProgram({sim, mesh, "230"});
    Outcome sampled = runProgram({sim, mesh, "230", "--csv", "50", "--csv-file", csv});
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
    Outcome start = runProgram({sim, mesh, "0"});
    ASSERT_NE(start.out.find("volume "), std::string::npos);
    EXPECT_EQ(rows.front()[2], std::stod(start.out.substr(start.out.find("volume ") + 7)));
    EXPECT_EQ(rows.back()[2], std::stod(plain.out.substr(plain.out.find("volume ") + 7)));
}

TEST(SimCsv, RejectsAZeroOrMissingInterval) {
    for (const char* arguments : {" 10 --csv 0", " 10 --csv", " 10 --csv x"}) {
        Outcome run = runProgram(command(sim, mesh + arguments));
        EXPECT_EQ(run.status, 2) << arguments << run.all();
        EXPECT_NE(run.err.find("--csv needs"), std::string::npos) << run.all();
    }
}
