// Whole trajectories of the scene body, to the last bit: the independent
// reference checksums, and longer or finer ones recorded from this code.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/bodies.h"

namespace {

struct Line {
    std::string mesh;
    uint64_t steps = 0;
    std::string checksum;
};

// "mesh steps checksum" lines; lines with a fourth field (drag events) are run
// through plumfold-sim by the tools tests.
std::vector<Line> plainLines(const std::string& folder) {
    std::ifstream in(folder + "/checksums.txt");
    EXPECT_TRUE(in) << folder;
    std::vector<Line> lines;
    for (std::string text; std::getline(in, text);) {
        std::istringstream fields(text);
        Line line;
        std::string events;
        if (text.empty() || text[0] == '#' || !(fields >> line.mesh >> line.steps >> line.checksum)) continue;
        if (!(fields >> events)) lines.push_back({folder + "/" + line.mesh, line.steps, line.checksum});
    }
    return lines;
}

std::string hex(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, value);
    return text;
}

// Runs each mesh once, checking every listed step count on the way.
void expectChecksums(const std::vector<Line>& lines) {
    std::map<std::string, std::map<uint64_t, std::string>> byMesh;
    for (const Line& line : lines) byMesh[line.mesh][line.steps] = line.checksum;
    for (const auto& [mesh, expected] : byMesh) {
        PressureBody body = sceneBodyAfter(mesh, 0);
        uint64_t done = 0;
        for (const auto& [steps, checksum] : expected) {
            for (; done < steps; ++done) simulationStep(body);
            EXPECT_EQ(hex(stateChecksum(body)), checksum) << mesh << " after " << steps << " steps";
        }
    }
}

}  // namespace

TEST(Golden, ReferenceTrajectories) {
    std::vector<Line> lines = plainLines(PLUMFOLD_SOURCE_DIR "/tests/data/reference");
    EXPECT_EQ(lines.size(), 13u);
    expectChecksums(lines);
}

TEST(Golden, RecordedTrajectories) {
    std::vector<Line> lines = plainLines(PLUMFOLD_SOURCE_DIR "/tests/data/golden");
    EXPECT_GE(lines.size(), 7u);
    expectChecksums(lines);
}
