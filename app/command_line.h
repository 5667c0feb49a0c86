#pragma once
// The demo's command line: plumfold [--lab] [--record FILE] [--replay FILE] [MESH]
// and plumfold --help. GLUT's own options are passed through to glutInit.
#include <string>
#include <vector>

namespace plumfold {

struct CommandLine {
    bool help = false;
    bool lab = false;                        // the panel, the keys, the watch
    std::string recordFile;                  // empty: no recording
    std::string replayFile;                  // empty: no replay; a replay always runs in the lab
    std::string meshPath;                    // empty: the shipped file, or the one the replay names
    std::vector<std::string> glutArguments;  // argv[0] and GLUT's options, in order
    std::string error;                       // what is wrong with the command line, if anything
};

CommandLine parseCommandLine(int argc, char** argv);

extern const char* const demoUsage;

}  // namespace plumfold
