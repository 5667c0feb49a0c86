// plumfold-sim --csv: the samples describe the run without changing it.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "tool_test_support.h"

namespace {

std::string sim() { return PLUMFOLD_BINARY_DIR "/tools/plumfold-sim"; }
std::string mesh() { return PLUMFOLD_SOURCE_DIR "/tests/data/reference/ico1.asc"; }

std::string lastLine(const std::string& text) {
    std::string trimmed = text.substr(0, text.find_last_not_of('\n') + 1);
    return trimmed.substr(trimmed.find_last_of('\n') + 1);
}

}  // namespace

TEST(SimCsv, SamplesEveryNStepsAndTheLastWithoutChangingTheTrajectory) {
    std::string csv = tempPath("run.csv").string();
    RunResult plain = runCommand(sim() + " " + mesh() + " 230");
    RunResult sampled = runCommand(sim() + " " + mesh() + " 230 --csv 50 --csv-file " + csv);
    ASSERT_EQ(plain.status, 0) << plain.output;
    ASSERT_EQ(sampled.status, 0) << sampled.output;
    EXPECT_EQ(lastLine(plain.output), lastLine(sampled.output));  // the checksum

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
    RunResult start = runCommand(sim() + " " + mesh() + " 0");
    EXPECT_NE(start.output.find("volume "), std::string::npos);
    double startVolume = std::stod(start.output.substr(start.output.find("volume ") + 7));
    double endVolume = std::stod(plain.output.substr(plain.output.find("volume ") + 7));
    EXPECT_EQ(rows.front()[2], startVolume);
    EXPECT_EQ(rows.back()[2], endVolume);
    std::filesystem::remove(csv);
}

TEST(SimCsv, RejectsAZeroOrMissingInterval) {
    for (const char* arguments : {" 10 --csv 0", " 10 --csv", " 10 --csv x"}) {
        RunResult run = runCommand(sim() + " " + mesh() + arguments);
        EXPECT_EQ(run.status, 2) << arguments << run.output;
        EXPECT_NE(run.output.find("--csv needs"), std::string::npos) << run.output;
    }
}
