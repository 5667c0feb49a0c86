#pragma once
// The lab: the demo's window with a panel, keys, a watch on the body, and
// sessions recorded or replayed. Started only by --lab, --record or --replay.
#include <string>

#include "app/command_line.h"
#include "body/session.h"

namespace plumfold {

struct MeshFile;

struct LabStart {
    bool active = false;   // anything beyond the plain demo was asked for
    bool panel = false;    // the panel and the keys (--lab, --replay)
    std::string meshPath;  // the mesh to read
    std::string recordFile;
    std::string replayFile;
    Session replay;  // parsed from replayFile
};

// Reads and checks a recording to replay and picks the mesh. A recording that
// cannot be used ends the process with a message naming it, status 2.
LabStart prepareLab(const CommandLine& line);

// Opens the window with the lab's callbacks around the demo's own; never
// returns. `mesh` is what the body was built from, for restarts.
[[noreturn]] void runLab(int argc, char** argv, const LabStart& start, const MeshFile& mesh);

}  // namespace plumfold
