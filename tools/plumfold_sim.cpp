// plumfold-sim: runs the demo scene's body without a window and prints the
// final volume and a checksum of the trajectory.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "body/drag.h"
#include "body/scene.h"
#include "body/session.h"
#include "body/state_hash.h"
#include "mesh/body_mesh.h"

namespace plumfold {
namespace {

const char* const usage =
    "Usage: plumfold-sim MESH STEPS [--events FILE] [--stats] [--csv N [--csv-file F]] [--dump]\n"
    "       plumfold-sim --verify RECORDING\n"
    "\n"
    "Builds the demo scene's body from MESH (scale 0.9,\n"
    "point mass 1, stiffness 121100, damping 110, gravity (0, -500, 0)), runs STEPS\n"
    "simulation steps of 0.001 time units (forces, then one Heun step), and prints\n"
    "the volume measure of the final state and, last, a line\n"
    "  checksum XXXXXXXXXXXXXXXX\n"
    "(FNV-1a 64 over every point's position and velocity bits). Two runs print the\n"
    "same checksum exactly when their trajectories agree to the last bit.\n"
    "\n"
    "MESH is read as the demo reads it when it is an .asc file. An OBJ, STL, PLY,\n"
    "OFF or glTF 2.0 (.gltf, .glb) model is prepared as a body in memory with the\n"
    "defaults of 'plumfold-mesh prepare'; a line on standard error says what was done.\n"
    "\n"
    "Options:\n"
    "  --events FILE  drag the body as the window's left mouse button would. One\n"
    "                 event per line, applied before step STEP (0-based), in order:\n"
    "                   STEP press X Y     press at window pixel (X, Y) of 600 x 600\n"
    "                   STEP motion X Y    move the cursor while pressed\n"
    "                   STEP release       release the button\n"
    "                 Lines starting with '#' and blank lines are ignored. A\n"
    "                 recording of 'plumfold --record' is read too: its tuned\n"
    "                 parameters and restarts apply, its checksums are skipped.\n"
    "  --verify RECORDING  replay a recording of 'plumfold --record' on the mesh\n"
    "                 it names (as written, else beside the recording), compare\n"
    "                 every checksum line and print 'verified N checkpoints'\n"
    "                 (status 0) or 'DIVERGED at step K: want X, got Y' (status 1).\n"
    "  --stats        also print the final state's counts and extent:\n"
    "                   points N springs N faces N\n"
    "                   finite yes|no\n"
    "                   bounds MINX MAXX MINY MAXY MINZ MAXZ\n"
    "  --trace N      print \"trace STEP VOLUME\" every N steps and \"flip STEP BEFORE\n"
    "                 AFTER\" whenever the volume measure changes sign from one\n"
    "                 step to the next (the body turning inside out or back); the\n"
    "                 volume is the one each step's first force evaluation sees.\n"
    "  --csv N        write the state every N steps (and after the last) as CSV:\n"
    "                   step,time,volume,min_y,max_y,centroid_x,centroid_y,centroid_z\n"
    "                 volume is the body's volume measure (1.998 x the enclosed\n"
    "                 volume), min_y/max_y the lowest and highest mass point, the\n"
    "                 centroid the mean mass point position (drag point excluded).\n"
    "  --csv-file F   write that CSV to file F instead of standard output.\n"
    "  --dump         also print every point's position and velocity as hex floats\n"
    "                 (x y z vx vy vz), one point per line, before the checksum.\n"
    "  --help         show this text.\n";

[[noreturn]] void failUsage(const std::string& problem) {
    std::fprintf(stderr, "plumfold-sim: %s\nTry 'plumfold-sim --help'.\n", problem.c_str());
    std::exit(2);
}

struct Options {
    std::string mesh;
    uint64_t steps = 0;
    std::string eventsFile;
    std::string verifyFile;
    bool dump = false;
    bool stats = false;
    uint64_t traceEvery = 0;  // 0: no trace
    uint64_t csvEvery = 0;    // 0: no CSV
    std::string csvFile;
};

// The whole number from 1 after option argv[i], which it consumes.
uint64_t stepInterval(int argc, char** argv, int& i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) failUsage(option + " needs a step interval");
    std::string every = argv[++i];
    char* end = nullptr;
    errno = 0;
    uint64_t value = std::strtoull(every.c_str(), &end, 10);
    if (every.empty() || every[0] == '-' || *end != '\0' || errno != 0 || value == 0)
        failUsage(option + " needs a whole number of steps from 1, not '" + every + "'");
    return value;
}

Options parseArguments(int argc, char** argv) {
    Options options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            std::exit(0);
        } else if (arg == "--dump") {
            options.dump = true;
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--trace") {
            options.traceEvery = stepInterval(argc, argv, i);
        } else if (arg == "--csv") {
            options.csvEvery = stepInterval(argc, argv, i);
        } else if (arg == "--csv-file") {
            if (i + 1 >= argc) failUsage("--csv-file needs a file name");
            options.csvFile = argv[++i];
        } else if (arg == "--verify") {
            if (i + 1 >= argc) failUsage("--verify needs a recording");
            options.verifyFile = argv[++i];
        } else if (arg == "--events") {
            if (i + 1 >= argc) failUsage("--events needs a file name");
            options.eventsFile = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-' && !std::isdigit(static_cast<unsigned char>(arg[1]))) {
            failUsage("unknown option '" + arg + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (!options.verifyFile.empty()) {
        if (!positional.empty() || argc != 3) failUsage("--verify takes a recording and nothing else");
        return options;
    }
    if (positional.size() != 2) failUsage("expected MESH and STEPS");
    options.mesh = positional[0];
    const std::string& steps = positional[1];
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(steps.c_str(), &end, 10);
    // Digits only: strtoull would skip leading blanks and negate " -1" into 2^64 − 1.
    if (steps.empty() || !std::isdigit(static_cast<unsigned char>(steps[0])) || *end != '\0' || errno != 0)
        failUsage("STEPS must be a whole number from 0, not '" + steps + "'");
    options.steps = value;
    return options;
}

// A file that cannot be used: one line that names it, and the usage status.
[[noreturn]] void failInput(const std::string& problem) {
    std::fprintf(stderr, "plumfold-sim: %s\n", problem.c_str());
    std::exit(2);
}

// The whole file, or an error that names it as `what`.
std::string readWhole(const std::string& fileName, const std::string& what) {
    // A directory opens as a stream that reads as empty: say so instead of
    // running without it.
    std::error_code ignored;
    if (std::filesystem::is_directory(fileName, ignored)) failInput(what + " '" + fileName + "' is a directory");
    std::ifstream in(fileName, std::ios::binary);
    if (!in) failInput("cannot open " + what + " '" + fileName + "'");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) failInput("cannot read " + what + " '" + fileName + "'");
    return text.str();
}

plumfold::Session readSession(const std::string& fileName, const std::string& what) {
    plumfold::Session session;
    std::string error = plumfold::parseSession(readWhole(fileName, what), session);
    if (!error.empty()) failInput(what + " '" + fileName + "', " + error);
    return session;
}

// The program's own reader, as the body's construction runs it: a bad file ends
// the process with the reader's message.
// An .asc file fails as the demo does (the reader's line on standard output,
// status 1); another format says on standard error what was made of it.
MeshFile readMesh(const std::string& fileName) {
    plumfold::BodyMeshResult loaded = plumfold::loadBodyMesh(fileName);
    if (!loaded.ok && loaded.ownFormat) std::printf("%s\n", loaded.error.c_str());
    if (!loaded.ok && !loaded.ownFormat) std::fprintf(stderr, "plumfold-sim: %s\n", loaded.error.c_str());
    if (!loaded.ok) std::exit(1);
    if (!loaded.note.empty()) std::fprintf(stderr, "plumfold-sim: %s\n", loaded.note.c_str());
    return std::move(loaded.mesh);
}

int verify(const std::string& fileName) {
    plumfold::Session session = readSession(fileName, "recording");
    std::string meshPath;
    std::string problem = plumfold::findRecordedMesh(session, fileName, meshPath);
    if (!problem.empty()) failInput("recording '" + fileName + "', " + problem);
    MeshFile meshFile = readMesh(meshPath);
    plumfold::Verdict verdict = plumfold::verifySession(session, meshFile);
    if (verdict.diverged) {
        std::printf("DIVERGED at step %" PRIu64 ": want %016" PRIx64 ", got %016" PRIx64 "\n", verdict.step,
                    verdict.want, verdict.got);
        return 1;
    }
    if (verdict.checkpoints == 0)
        failInput("recording '" + fileName + "' has no checksum line to verify; a recording gets one every " +
                  std::to_string(plumfold::checkpointEvery) + " steps and when the program ends");
    std::printf("verified %" PRIu64 " checkpoints\n", verdict.checkpoints);
    return 0;
}

void printStats(const PressureBody& body) {
    std::printf("points %zu springs %zu faces %zu\n", body.points.size(), body.springs.size(), body.faces.size());
    bool finite = true;
    Vector3 low = body.points.empty() ? Vector3{} : body.points[0].position;
    Vector3 high = low;
    for (const MassPoint& p : body.points) {
        const Vector3& x = p.position;
        const Vector3& v = p.velocity;
        for (float c : {x.x, x.y, x.z, v.x, v.y, v.z}) finite = finite && std::isfinite(c);
        low = {std::min(low.x, x.x), std::min(low.y, x.y), std::min(low.z, x.z)};
        high = {std::max(high.x, x.x), std::max(high.y, x.y), std::max(high.z, x.z)};
    }
    std::printf("finite %s\n", finite ? "yes" : "no");
    std::printf("bounds %.9g %.9g %.9g %.9g %.9g %.9g\n", low.x, high.x, low.y, high.y, low.z, high.z);
}

// One CSV row. The volume is measured on a copy, so sampling never changes the
// trajectory; the drag point, while there, is not part of the body's shape.
void writeCsvRow(std::FILE* out, const PressureBody& body, size_t bodyPoints, uint64_t step) {
    PressureBody probe = body;
    probe.computeForces();
    double low = 0, high = 0, sum[3] = {0, 0, 0};
    size_t n = std::min(bodyPoints, body.points.size());
    for (size_t i = 0; i < n; ++i) {
        const Vector3& x = body.points[i].position;
        low = i == 0 ? x.y : std::min(low, static_cast<double>(x.y));
        high = i == 0 ? x.y : std::max(high, static_cast<double>(x.y));
        sum[0] += x.x;
        sum[1] += x.y;
        sum[2] += x.z;
    }
    double count = n > 0 ? static_cast<double>(n) : 1.0;
    std::fprintf(out, "%" PRIu64 ",%.6f,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g\n", step,
                 static_cast<double>(step) * static_cast<double>(timeStep), static_cast<double>(probe.volume), low,
                 high, sum[0] / count, sum[1] / count, sum[2] / count);
}

}  // namespace
}  // namespace plumfold

int main(int argc, char** argv) {
    using namespace plumfold;
    Options options = parseArguments(argc, argv);
    if (!options.verifyFile.empty()) return verify(options.verifyFile);
    std::vector<plumfold::SessionEntry> events;
    if (!options.eventsFile.empty()) events = readSession(options.eventsFile, "events file").entries;

    MeshFile mesh = readMesh(options.mesh);
    plumfold::Steering steering;
    steering.mesh = &mesh;
    PressureBody body = plumfold::buildSteeredBody(steering);

    std::FILE* csv = nullptr;
    if (options.csvEvery > 0) {
        csv = options.csvFile.empty() ? stdout : std::fopen(options.csvFile.c_str(), "w");
        if (csv == nullptr) failUsage("cannot create CSV file '" + options.csvFile + "'");
        std::fprintf(csv, "step,time,volume,min_y,max_y,centroid_x,centroid_y,centroid_z\n");
    }
    const size_t bodyPoints = body.points.size();

    DragState drag;
    size_t next = 0;
    float previousVolume = 0.0f;  // the last volume measure with a sign
    for (uint64_t step = 0; step <= options.steps; ++step) {
        while (next < events.size() && events[next].step == step) applyEntry(events[next++], body, drag, steering);
        if (csv != nullptr && (step % options.csvEvery == 0 || step == options.steps))
            writeCsvRow(csv, body, bodyPoints, step);
        if (step == options.steps) break;
        if (options.traceEvery == 0) {
            simulationStep(body);
            continue;
        }
        // simulationStep as its two calls, with the volume read in between.
        body.computeForces();
        float volume = body.volume;
        if (step % options.traceEvery == 0) std::printf("trace %" PRIu64 " %.9g\n", step, static_cast<double>(volume));
        // A volume of 0 (or NaN) has no sign: compare with the last one that had.
        if (volume > 0 || volume < 0) {
            if ((volume < 0) != (previousVolume < 0) && previousVolume != 0)
                std::printf("flip %" PRIu64 " %.9g %.9g\n", step, static_cast<double>(previousVolume),
                            static_cast<double>(volume));
            previousVolume = volume;
        }
        body.integrate(Heun, timeStep);
    }
    if (csv != nullptr && csv != stdout && std::fclose(csv) != 0) {
        std::fprintf(stderr, "plumfold-sim: cannot write CSV file '%s'\n", options.csvFile.c_str());
        return 1;
    }

    // The volume of the final state, measured on a copy so the body is untouched.
    PressureBody probe = body;
    probe.computeForces();
    std::printf("volume %.9g\n", static_cast<double>(probe.volume));
    if (options.stats) printStats(body);
    if (options.dump) {
        for (const MassPoint& p : body.points) {
            std::printf("%a %a %a %a %a %a\n", p.position.x, p.position.y, p.position.z, p.velocity.x, p.velocity.y,
                        p.velocity.z);
        }
    }
    std::printf("checksum %016" PRIx64 "\n", stateChecksum(body));
    return 0;
}
