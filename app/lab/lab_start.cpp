// What the lab needs before the body is built: the recording to replay and the
// mesh it names.
#include <cstdio>
#include <cstdlib>

#include "app/lab/lab.h"
#include "app/shipped_mesh.h"

namespace plumfold {

LabStart prepareLab(const CommandLine& line) {
    LabStart start;
    start.panel = line.lab;
    start.active = line.lab || !line.recordFile.empty() || !line.replayFile.empty();
    start.recordFile = line.recordFile;
    start.replayFile = line.replayFile;
    start.meshPath = line.meshPath.empty() ? std::string(shippedMeshPath()) : line.meshPath;
    if (line.replayFile.empty()) return start;

    const std::string& file = line.replayFile;
    std::string text, problem;
    if (!readWholeFile(file, text)) {
        problem = "cannot read recording '" + file + "'; give the file that --record wrote";
    } else if (std::string error = parseSession(text, start.replay); !error.empty()) {
        problem = "recording '" + file + "', " + error;
    } else {
        start.meshPath = line.meshPath;
        if (std::string error = findRecordedMesh(start.replay, file, start.meshPath); !error.empty())
            problem = "recording '" + file + "', " + error;
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "plumfold: %s\n", problem.c_str());
        std::exit(2);
    }
    return start;
}

}  // namespace plumfold
