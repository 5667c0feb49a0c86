#include "app/command_line.h"

namespace plumfold {

const char* const demoUsage =
    "Usage: plumfold [--lab] [--record FILE] [--replay FILE] [MESH]\n"
    "\n"
    "Drops a pressurised soft body built from MESH (default Objects/Objekt3.asc,\n"
    "relative to the working directory) into an open box. Drag it with the left\n"
    "mouse button; Escape quits.\n"
    "\n"
    "Options:\n"
    "  --lab          a panel with the body's volume, pressure, energies and\n"
    "                 strains, timings and a plot, sliders to tune it, and keys:\n"
    "                   P or Space  pause and resume    N  one step while paused\n"
    "                   R  restart                      H  hide or show the panel\n"
    "                 The lab pauses, and says why, when the body turns inside\n"
    "                 out, a value stops being finite or a point leaves the box.\n"
    "  --record FILE  write the session to FILE: the mesh and its SHA-256, every\n"
    "                 drag, tuned value, restart and single step with the step it\n"
    "                 came before, and a checksum every 1000 steps, after each\n"
    "                 single step and at exit.\n"
    "                 'plumfold-sim --verify FILE' replays it without a window.\n"
    "  --replay FILE  play a recorded session back in the lab, on the mesh it\n"
    "                 names (MESH, when given, must have the same SHA-256).\n"
    "  --help         show this text.\n"
    "\n"
    "GLUT's options (-display, -geometry, -direct, -indirect, -iconic, -gldebug,\n"
    "-sync) are passed on to GLUT.\n";

namespace {
// GLUT's options, and whether each takes a value.
struct GlutOption {
    const char* name;
    bool takesValue;
};
constexpr GlutOption glutOptions[] = {{"-display", true}, {"-geometry", true}, {"-direct", false}, {"-indirect", false},
                                      {"-iconic", false}, {"-gldebug", false}, {"-sync", false}};
}  // namespace

CommandLine parseCommandLine(int argc, char** argv) {
    CommandLine line;
    line.glutArguments.push_back(argc > 0 ? argv[0] : "plumfold");
    auto value = [&](int& i, std::string& into) {
        if (i + 1 >= argc) {
            line.error = std::string(argv[i]) + " needs a file name";
            return;
        }
        into = argv[++i];
    };
    for (int i = 1; i < argc && line.error.empty(); ++i) {
        std::string arg = argv[i];
        const GlutOption* glut = nullptr;
        for (const GlutOption& option : glutOptions)
            if (arg == option.name) glut = &option;
        if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--lab") {
            line.lab = true;
        } else if (arg == "--record") {
            value(i, line.recordFile);
        } else if (arg == "--replay") {
            value(i, line.replayFile);
        } else if (glut != nullptr) {
            line.glutArguments.push_back(arg);
            if (glut->takesValue && i + 1 < argc) line.glutArguments.push_back(argv[++i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            line.error = "unknown option '" + arg + "'";
        } else if (!line.meshPath.empty()) {
            line.error = "one mesh only: '" + line.meshPath + "' and '" + arg + "'";
        } else {
            line.meshPath = arg;
        }
    }
    if (line.error.empty() && !line.recordFile.empty() && !line.replayFile.empty())
        line.error = "--record and --replay exclude each other; record a new session without --replay";
    if (!line.replayFile.empty()) line.lab = true;
    return line;
}

}  // namespace plumfold
