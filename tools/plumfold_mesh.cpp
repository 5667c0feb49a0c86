// plumfold-mesh: makes, converts and checks body meshes for the demo.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "body/body_params.h"
#include "body/pressure_body.h"
#include "body/probe.h"
#include "mesh/body_mesh.h"
#include "mesh/import.h"
#include "mesh/mesh_checks.h"
#include "mesh/mesh_data.h"
#include "mesh/mesh_file.h"
#include "mesh/prepare.h"
#include "tools/mesh_convert.h"
#include "tools/mesh_generators.h"

namespace plumfold {
namespace {

const char* const usage =
    "Usage: plumfold-mesh COMMAND ARGUMENTS [-o FILE]\n"
    "\n"
    "Makes, converts and checks body meshes in the program's mesh format (the\n"
    "format of Objects/Objekt3.asc). Generated and converted meshes are closed\n"
    "and wound counter-clockwise seen from outside; they go to standard output,\n"
    "or to FILE with -o FILE.\n"
    "\n"
    "Commands:\n"
    "  sphere LEVEL RADIUS        icosahedron subdivided LEVEL times (0 to 13),\n"
    "                             10*4^LEVEL+2 vertices on a sphere of RADIUS\n"
    "  cube SIZE [DIVISIONS]      cube of edge SIZE, each side split into\n"
    "                             DIVISIONS x DIVISIONS squares (default 1)\n"
    "  torus R r SEGMENTS RINGS   torus lying flat around the y axis, tube centre\n"
    "                             radius R, tube radius r < R, SEGMENTS steps around\n"
    "                             the axis and RINGS around the tube (each >= 3)\n"
    "  convert IN [options]       OBJ, STL, PLY (ASCII or binary), OFF or glTF 2.0\n"
    "                             (.gltf, .glb) to the program's format, the format\n"
    "                             recognised by content; polygons become triangle\n"
    "                             fans and coincident vertices are merged so faces\n"
    "                             that share an edge share its spring\n"
    "      --center               move the middle of the bounding box to the origin\n"
    "      --scale S              multiply every coordinate by S\n"
    "      --fit SIZE             centre, and scale so that the largest extent is\n"
    "                             SIZE after the scene's scale 0.9 (the box is 9\n"
    "                             wide; SIZE below 9, e.g. 6, leaves a margin)\n"
    "      --force                write the mesh even when it would not work\n"
    "  prepare IN [options]       turn a model (any format convert reads, or the\n"
    "                             program's own) into a body: merge coincident\n"
    "                             points, triangulate, drop degenerate faces, stitch,\n"
    "                             keep the largest part, fill holes, wind outwards,\n"
    "                             remesh to even edges, turn up to +y, centre and\n"
    "                             scale; one line per step that changed something\n"
    "      --points N             about N mass points after remeshing (default 1500)\n"
    "      --size S               largest extent in the box after the scene's scale\n"
    "                             0.9 (default 6; below the box width 9)\n"
    "      --up AXIS              the model's up axis, turned to +y: x, y, z, -x,\n"
    "                             -y or -z (default y; most CAD and 3D-printing\n"
    "                             files are z up)\n"
    "  check FILE                 read FILE as the programs do (the program's own\n"
    "                             reader for .asc, prepare with its defaults for\n"
    "                             other formats) and report counts, springs,\n"
    "                             closedness, winding, orientation, degenerate\n"
    "                             faces, duplicate positions and the extent against\n"
    "                             the box; then run the scene on the body (fall,\n"
    "                             settle, fast drags, a slam into a corner, a\n"
    "                             throw upwards) and say \"usable\" only when it\n"
    "                             stays finite, in the box and right way out all\n"
    "                             through, and ends at 0.5 to 3 times its volume;\n"
    "                             otherwise name the cause and the fix; exits 1 on\n"
    "                             anything that would break the simulation\n"
    "\n"
    "Exit status: 0 on success, 1 on a bad mesh or file, 2 on bad arguments.\n";

[[noreturn]] void failUsage(const std::string& problem) {
    std::fprintf(stderr, "plumfold-mesh: %s\nTry 'plumfold-mesh --help'.\n", problem.c_str());
    std::exit(2);
}

[[noreturn]] void fail(const std::string& problem) {
    std::fprintf(stderr, "plumfold-mesh: %s\n", problem.c_str());
    std::exit(1);
}

long long wholeArgument(const std::string& name, const std::string& text, long long low, long long high) {
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0) failUsage(name + " must be a whole number, not '" + text + "'");
    if (value < low || value > high)
        failUsage(name + " must be from " + std::to_string(low) + " to " + std::to_string(high) + ", not " + text);
    return value;
}

// A positive, finite length that stays finite as a 32-bit float.
float lengthArgument(const std::string& name, const std::string& text) {
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0') failUsage(name + " must be a number, not '" + text + "'");
    float stored = static_cast<float>(value);
    if (!(value > 0.0) || !std::isfinite(stored) || stored == 0.0f)
        failUsage(name + " must be a positive length that fits a 32-bit float, not " + text);
    return stored;
}

struct Arguments {
    std::vector<std::string> positional;
    std::string output;  // empty: standard output
    bool center = false;
    std::string scale;
    std::string fit;
    bool force = false;
    std::string points;
    std::string size;
    std::string up;
};

Arguments splitArguments(int argc, char** argv, bool convertOptions) {
    Arguments a;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) failUsage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "-o") a.output = value();
        else if (convertOptions && arg == "--center") a.center = true;
        else if (convertOptions && arg == "--scale") a.scale = value();
        else if (convertOptions && arg == "--fit") a.fit = value();
        else if (convertOptions && arg == "--force") a.force = true;
        else if (arg == "--points" && std::string(argv[1]) == "prepare") a.points = value();
        else if (arg == "--size" && std::string(argv[1]) == "prepare") a.size = value();
        else if (arg == "--up" && std::string(argv[1]) == "prepare") a.up = value();
        else if (arg.size() > 1 && arg[0] == '-' &&
                 !(std::isdigit(static_cast<unsigned char>(arg[1])) || arg[1] == '.'))
            failUsage("unknown option '" + arg + "' for " + argv[1]);
        else a.positional.push_back(arg);
    }
    return a;
}

void expectCount(const Arguments& a, size_t low, size_t high, const char* form) {
    if (a.positional.size() < low || a.positional.size() > high) failUsage(std::string("expected ") + form);
}

// No colons in the title: a title token must never read as a keyword or a label.
std::string cleanTitle(std::string title) {
    for (char& c : title)
        if (c == ':' || c == '\n' || c == '\r') c = ' ';
    return title;
}

void emit(const MeshData& mesh, const std::string& title, const std::string& output) {
    if (output.empty()) {
        if (!writeMesh(stdout, mesh, cleanTitle(title))) fail("cannot write the mesh to standard output");
        return;
    }
    std::FILE* out = std::fopen(output.c_str(), "w");
    if (out == nullptr) fail("cannot create '" + output + "': " + std::strerror(errno));
    bool written = writeMesh(out, mesh, cleanTitle(title));
    if (std::fclose(out) != 0 || !written) fail("cannot write '" + output + "' (disk full?)");
}

int runSphere(const Arguments& a) {
    expectCount(a, 2, 2, "sphere LEVEL RADIUS");
    // 20 · 4^13 triangles is the last level whose counts fit 32-bit integers.
    int level = static_cast<int>(wholeArgument("LEVEL", a.positional[0], 0, 13));
    float radius = lengthArgument("RADIUS", a.positional[1]);
    emit(makeIcosphere(level, radius),
         "Plumfold body icosphere level " + std::to_string(level) + " radius " + formatCoordinate(radius), a.output);
    return 0;
}

int runCube(const Arguments& a) {
    expectCount(a, 1, 2, "cube SIZE [DIVISIONS]");
    float size = lengthArgument("SIZE", a.positional[0]);
    // 12 · n² triangles must fit a 32-bit count.
    int divisions =
        a.positional.size() > 1 ? static_cast<int>(wholeArgument("DIVISIONS", a.positional[1], 1, 13377)) : 1;
    emit(makeCube(size, divisions),
         "Plumfold body cube size " + formatCoordinate(size) + " divisions " + std::to_string(divisions), a.output);
    return 0;
}

int runTorus(const Arguments& a) {
    expectCount(a, 4, 4, "torus R r SEGMENTS RINGS");
    float major = lengthArgument("R", a.positional[0]);
    float minor = lengthArgument("r", a.positional[1]);
    if (!(minor < major)) failUsage("the tube radius r must be smaller than R, or the torus cuts through itself");
    long long segments = wholeArgument("SEGMENTS", a.positional[2], 3, INT32_MAX);
    long long rings = wholeArgument("RINGS", a.positional[3], 3, INT32_MAX);
    if (2 * segments * rings > INT32_MAX) failUsage("SEGMENTS x RINGS x 2 triangles must fit a 32-bit count");
    emit(makeTorus(major, minor, static_cast<int>(segments), static_cast<int>(rings)),
         "Plumfold body torus R " + formatCoordinate(major) + " r " + formatCoordinate(minor) + " segments " +
             std::to_string(segments) + " rings " + std::to_string(rings),
         a.output);
    return 0;
}

// A positive, finite number (scale factors and sizes).
double positiveArgument(const std::string& name, const std::string& text) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || !(value > 0.0))
        failUsage(name + " must be a positive number, not '" + text + "'");
    return value;
}

int runConvert(const Arguments& a) {
    expectCount(a, 1, 1, "convert IN [--center] [--scale S | --fit SIZE] [-o OUT]");
    const std::string& path = a.positional[0];
    ConvertOptions options;
    options.sceneScale = BodyParams{}.scale;
    options.center = a.center;
    if (!a.scale.empty() && !a.fit.empty()) failUsage("use either --scale or --fit, not both");
    if (!a.scale.empty()) options.scale = positiveArgument("--scale", a.scale);
    if (!a.fit.empty()) {
        options.fitSize = positiveArgument("--fit", a.fit);
        if (options.fitSize >= 2 * boxLimit)
            failUsage("--fit SIZE must be below the box width 9 (e.g. 6 leaves room to bounce and deform)");
    }

    plumfold::ImportResult imported = plumfold::importMesh(path);
    if (!imported.ok) fail(imported.error);
    ConvertResult result = convertSoup(imported.soup, options);
    if (!result.ok) fail(path + ": " + result.error);
    for (const std::string& note : result.notes)
        std::fprintf(stderr, "plumfold-mesh: %s: %s\n", path.c_str(), note.c_str());

    bool broken = false;
    for (const CheckFinding& finding : judgeMesh(checkMesh(result.mesh), options.sceneScale, boxLimit)) {
        std::fprintf(stderr, "plumfold-mesh: %s: %s: %s\n", path.c_str(), finding.breaking ? "error" : "warning",
                     finding.text.c_str());
        broken = broken || finding.breaking;
    }
    if (broken && !a.force) fail("not written: the mesh would not work in the demo (--force writes it anyway)");
    std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    emit(result.mesh, "Plumfold body converted from " + name, a.output);
    return 0;
}

// What most likely made the probe fail, and what to do about it.
std::string probeAdvice(const plumfold::ProbeVerdict& verdict, const plumfold::MeshShape& shape) {
    const std::string remesh = "; `plumfold-mesh prepare` remeshes it evenly";
    char text[400];
    if (verdict.cause == plumfold::ProbeCause::VolumeRatio && verdict.volumeRatio > 1) {
        std::snprintf(text, sizeof text,
                      "the body inflated x%.2f: it is too small or too coarse for the scene's fixed pressure; "
                      "make it larger (`plumfold-mesh prepare --size 7.5`)",
                      verdict.volumeRatio);
    } else if (shape.busiestSprings >= 16) {
        std::snprintf(text, sizeof text, "point %d is joined to %d springs: the step is unstable there%s",
                      shape.busiestPoint, shape.busiestSprings, remesh.c_str());
    } else if (shape.shortestEdge * 20 < shape.longestEdge) {
        std::snprintf(text, sizeof text,
                      "the springs range from %.3g to %.3g in length (1:%.0f, shortest at point %d): the short "
                      "ones make the step unstable%s",
                      shape.shortestEdge, shape.longestEdge, shape.longestEdge / shape.shortestEdge,
                      shape.shortestEdgePoint, remesh.c_str());
    } else if (shape.roundness < 0.05) {
        std::snprintf(text, sizeof text,
                      "the body is flat or thin (roundness %.3f, a cube has 0.52): the pressure cannot hold it "
                      "up; give the model a fuller form",
                      shape.roundness);
    } else {
        std::snprintf(text, sizeof text,
                      "the body is too soft for the scene as it is%s, or make it larger (--size 7.5)", remesh.c_str());
    }
    return text;
}

int runCheck(const Arguments& a) {
    expectCount(a, 1, 1, "check FILE");
    const std::string& path = a.positional[0];
    BodyParams params;
    // As the programs read it: the program's own reader for .asc, any other
    // format prepared with the defaults, in memory.
    plumfold::BodyMeshResult read = plumfold::loadBodyMesh(path, plumfold::MeshFileCheck::AsWritten);
    if (read.ownFormat) std::printf("checking %s with the program's reader\n", path.c_str());
    else if (read.ok) std::printf("checking %s\n", read.note.c_str());
    std::fflush(stdout);
    if (!read.ok) {
        std::printf("%s\n", read.error.c_str());
        return 1;
    }
    const MeshFile& file = read.mesh;

    MeshReport report = checkMesh(file.vertices, file.faceIndices);
    std::printf("vertices %d faces %d edges %lld\n", report.vertexCount, report.faceCount,
                static_cast<long long>(report.edgeCount));
    if (report.indicesValid()) {
        PressureBody body(file, params);
        std::printf("springs %zu (mass points %zu, faces %zu)\n", body.springs.size(), body.points.size(),
                    body.faces.size());
    } else {
        std::printf("springs not built: the face indices do not fit the vertices\n");
    }
    if (report.indicesOutOfRange == 0) {
        std::printf("closed %s (open edges %lld, edges in more than two faces %lld)\n", report.closed() ? "yes" : "no",
                    static_cast<long long>(report.openEdges), static_cast<long long>(report.overusedEdges));
        std::printf("winding %s (edges run the same way by both faces %lld)\n",
                    report.consistentlyWound() ? "consistent" : "inconsistent",
                    static_cast<long long>(report.misorientedEdges));
        std::printf("volume %.9g (%s)\n", report.volume,
                    report.volume > 0   ? "outward"
                    : report.volume < 0 ? "inward"
                                        : "flat");
        std::printf("degenerate faces %lld (repeated index %lld, zero area %lld)\n",
                    static_cast<long long>(report.repeatedIndexFaces) + report.zeroAreaFaces,
                    static_cast<long long>(report.repeatedIndexFaces), static_cast<long long>(report.zeroAreaFaces));
        std::printf("unused vertices %lld\n", static_cast<long long>(report.unusedVertices));
    }
    std::printf("duplicate positions %lld\n", static_cast<long long>(report.duplicatePositions));
    std::printf("indices out of range %lld\n", static_cast<long long>(report.indicesOutOfRange));
    const double s = params.scale;
    std::printf("bounds after scale %.9g: x %.6g %.6g y %.6g %.6g z %.6g %.6g (box |x|,|z| <= %g, y >= %g)\n", s,
                s * report.low[0], s * report.high[0], s * report.low[1], s * report.high[1], s * report.low[2],
                s * report.high[2], boxLimit, -boxLimit);

    bool broken = false;
    for (const CheckFinding& finding : judgeMesh(report, params.scale, boxLimit)) {
        std::printf("%s: %s\n", finding.breaking ? "error" : "warning", finding.text.c_str());
        broken = broken || finding.breaking;
    }
    // Sound structure is not enough: the scene itself decides whether the body
    // holds its form under the step, the walls and the drags.
    if (!broken) {
        MeshData mesh{file.vertices, file.faceIndices};
        plumfold::MeshShape shape = plumfold::measureShape(mesh);
        std::printf("springs per point at most %d (point %d), spring lengths %.3g to %.3g, roundness %.3f\n",
                    shape.busiestSprings, shape.busiestPoint, shape.shortestEdge, shape.longestEdge, shape.roundness);
        plumfold::ProbeVerdict verdict = plumfold::probeBody(PressureBody(file, params));
        std::printf("probe: %s (volume from x%.2f to x%.2f on the way)\n", plumfold::describeVerdict(verdict).c_str(),
                    verdict.lowestRatio, verdict.highestRatio);
        if (!verdict.survived) {
            std::printf("error: %s\n", probeAdvice(verdict, shape).c_str());
            broken = true;
        }
    }
    std::printf("%s\n", broken ? "result: NOT usable" : "result: usable");
    return broken ? 1 : 0;
}

int runPrepare(const Arguments& a) {
    expectCount(a, 1, 1, "prepare IN -o OUT.asc [--points N] [--size S] [--up AXIS]");
    const std::string& path = a.positional[0];
    plumfold::PrepareOptions options;
    options.sceneScale = BodyParams{}.scale;
    if (!a.points.empty()) options.points = static_cast<int>(wholeArgument("--points", a.points, 8, 1000000));
    if (!a.size.empty()) {
        options.size = positiveArgument("--size", a.size);
        if (options.size >= 2 * boxLimit)
            failUsage("--size S must be below the box width 9 (the default 6 leaves room to inflate and bounce)");
    }
    if (!a.up.empty() && !plumfold::parseAxis(a.up, options.up))
        failUsage("--up must be one of x, y, z, -x, -y, -z, not '" + a.up + "'");
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) fail("cannot open '" + path + "': it is a directory");
    plumfold::ImportResult imported = plumfold::importMesh(path);
    if (!imported.ok) fail(imported.error);
    plumfold::PrepareResult prepared = plumfold::prepareBody(imported.soup, options);
    if (!prepared.ok) fail(path + ": cannot be made a body: " + prepared.error);
    // The steps go where the user reads them: standard output unless the mesh does.
    std::FILE* said = a.output.empty() ? stderr : stdout;
    for (const std::string& step : prepared.steps) std::fprintf(said, "%s\n", step.c_str());
    std::string name = std::filesystem::path(path).filename().string();
    emit(prepared.mesh, "Plumfold body prepared from " + name, a.output);
    return 0;
}

}  // namespace
}  // namespace plumfold

int main(int argc, char** argv) {
    using namespace plumfold;
    if (argc < 2) failUsage("no command given");
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usage, stdout);
        return 0;
    }
    for (int i = 2; i < argc; ++i) {
        if (std::string(argv[i]) == "--help") {
            std::fputs(usage, stdout);
            return 0;
        }
    }
    if (command == "sphere") return runSphere(splitArguments(argc, argv, false));
    if (command == "cube") return runCube(splitArguments(argc, argv, false));
    if (command == "torus") return runTorus(splitArguments(argc, argv, false));
    if (command == "convert") return runConvert(splitArguments(argc, argv, true));
    if (command == "check") return runCheck(splitArguments(argc, argv, false));
    if (command == "prepare") return runPrepare(splitArguments(argc, argv, false));
    failUsage("unknown command '" + command + "'");
}
