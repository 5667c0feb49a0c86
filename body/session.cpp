#include "body/session.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "body/scene.h"
#include "body/sha256.h"
#include "body/state_hash.h"
#include "mesh/mesh_file.h"

namespace plumfold {

const char* parameterName(Parameter parameter) {
    switch (parameter) {
        case Parameter::Nrt: return "nrt";
        case Parameter::Stiffness: return "stiffness";
        case Parameter::Damping: return "damping";
        case Parameter::Gravity: return "gravity";
        case Parameter::Mass: return "mass";
    }
    return "?";
}

float& tuned(Tuning& tuning, Parameter parameter) {
    switch (parameter) {
        case Parameter::Nrt: return tuning.nrt;
        case Parameter::Stiffness: return tuning.stiffness;
        case Parameter::Damping: return tuning.damping;
        case Parameter::Gravity: return tuning.gravity;
        case Parameter::Mass: break;
    }
    return tuning.mass;
}

void applyTuning(PressureBody& body, const DragState& drag, const Tuning& tuning) {
    body.pressureConstant = tuning.nrt;
    body.gravity = Vector3{0.0f, tuning.gravity, 0.0f};
    size_t extra = drag.dragging ? 1 : 0;
    for (size_t i = 0; i + extra < body.springs.size(); ++i) {
        body.springs[i].stiffness = tuning.stiffness;
        body.springs[i].damping = tuning.damping;
    }
    // The same rounding as construction gives a point of this mass.
    MassPoint made = MassPoint::make(tuning.mass, Vector3{}, Vector3{});
    for (size_t i = 0; i + extra < body.points.size(); ++i) {
        body.points[i].mass = made.mass;
        body.points[i].inverseMass = made.inverseMass;
    }
}

namespace {

bool parseWhole(const std::string& token, long long low, long long high, long long& value) {
    if (token.empty() || (token[0] != '-' && !std::isdigit(static_cast<unsigned char>(token[0])))) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(token.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool parseHex(const std::string& token, size_t digits, uint64_t* value) {
    if (token.size() != digits) return false;
    for (char c : token)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    if (value != nullptr) *value = std::strtoull(token.c_str(), nullptr, 16);
    return true;
}

const char* const expectedEntries =
    "expected STEP followed by press X Y, motion X Y, release, set NAME VALUE, restart, pause, resume, single "
    "or checksum HEX";

// One "STEP verb ..." line; "" or the problem.
std::string parseEntry(const std::vector<std::string>& words, SessionEntry& entry) {
    long long number = 0;
    if (!parseWhole(words[0], 0, LLONG_MAX, number))
        return "\"" + words[0] + "\" is not a step number (a whole number from 0); " + expectedEntries;
    entry.step = static_cast<uint64_t>(number);
    if (words.size() < 2) return expectedEntries;
    const std::string& verb = words[1];
    size_t count = words.size();
    auto takes = [&](const char* what) { return "\"" + verb + "\" takes " + what; };
    if (verb == "press" || verb == "motion") {
        entry.kind = verb == "press" ? EntryKind::Press : EntryKind::Motion;
        if (count != 4 && count != 6) return takes("pixel coordinates X Y, optionally the window size W H");
        long long x = 0, y = 0, w = 600, h = 600;
        if (!parseWhole(words[2], INT_MIN, INT_MAX, x) || !parseWhole(words[3], INT_MIN, INT_MAX, y))
            return "pixel coordinates must be whole numbers";
        if (count == 6 && (!parseWhole(words[4], 1, INT_MAX, w) || !parseWhole(words[5], 1, INT_MAX, h)))
            return "the window size must be whole numbers from 1";
        entry.x = static_cast<int>(x);
        entry.y = static_cast<int>(y);
        entry.width = static_cast<int>(w);
        entry.height = static_cast<int>(h);
        return "";
    }
    if (verb == "set") {
        entry.kind = EntryKind::Set;
        if (count != 4) return takes("a parameter name and a value");
        bool known = false;
        for (Parameter p : allParameters)
            if (words[2] == parameterName(p)) entry.parameter = p, known = true;
        if (!known) return "unknown parameter \"" + words[2] + "\"; use nrt, stiffness, damping, gravity or mass";
        char* end = nullptr;
        errno = 0;
        entry.value = std::strtof(words[3].c_str(), &end);
        if (*end != '\0' || !std::isfinite(entry.value)) return "\"" + words[3] + "\" is not a finite number";
        return "";
    }
    if (verb == "checksum") {
        entry.kind = EntryKind::Checksum;
        if (count != 3 || !parseHex(words[2], 16, &entry.checksum)) return takes("16 hex digits");
        return "";
    }
    const std::pair<const char*, EntryKind> bare[] = {{"release", EntryKind::Release},
                                                      {"restart", EntryKind::Restart},
                                                      {"pause", EntryKind::Pause},
                                                      {"resume", EntryKind::Resume},
                                                      {"single", EntryKind::Single}};
    for (const auto& [name, kind] : bare) {
        if (verb != name) continue;
        entry.kind = kind;
        return count == 2 ? "" : takes("nothing after it");
    }
    return "unknown entry \"" + verb + "\"; " + expectedEntries;
}

}  // namespace

std::string parseSession(const std::string& text, Session& session) {
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    bool anything = false;  // a line that counts has been read
    uint64_t lastStep = 0;
    auto fail = [&](const std::string& problem) { return "line " + std::to_string(lineNumber) + ": " + problem; };
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) words.push_back(word);
        if (words.empty() || words[0][0] == '#') continue;
        bool first = !anything;
        anything = true;
        if (words[0] == "plumfold-session") {
            if (!first) return fail("\"plumfold-session\" must be the first line of a recording");
            if (words.size() != 2 || words[1] != "1")
                return fail("this is a recording of format " + (words.size() > 1 ? words[1] : "?") +
                            "; this program reads format 1");
            session.meshLine = -1;  // the mesh line must come next
            continue;
        }
        if (session.meshLine == -1) {
            if (words[0] != "mesh" || words.size() < 3 || !parseHex(words[1], 64, nullptr))
                return fail("expected \"mesh SHA256 PATH\" after \"plumfold-session 1\"");
            session.meshLine = lineNumber;
            session.meshSha256 = words[1];
            // The path is the rest of the line, spaces and all.
            size_t at = line.find(words[1]) + words[1].size();
            at = line.find_first_not_of(" \t", at);
            size_t end = line.find_last_not_of(" \t\r");
            session.meshPath = line.substr(at, end + 1 - at);
            continue;
        }
        SessionEntry entry;
        std::string problem = parseEntry(words, entry);
        if (!problem.empty()) return fail(problem);
        if (entry.step < lastStep)
            return fail("step " + words[0] + " comes after step " + std::to_string(lastStep) +
                        "; list entries in step order");
        lastStep = entry.step;
        session.entries.push_back(entry);
    }
    if (session.meshLine == -1) return fail("the recording ends before its \"mesh SHA256 PATH\" line");
    return "";
}

std::string formatHeader(const std::string& meshSha256, const std::string& meshPath) {
    return "plumfold-session 1\nmesh " + meshSha256 + " " + meshPath;
}

std::string formatEntry(const SessionEntry& entry) {
    std::string text = std::to_string(entry.step) + " ";
    char buffer[64];
    switch (entry.kind) {
        case EntryKind::Press:
        case EntryKind::Motion:
            text += entry.kind == EntryKind::Press ? "press " : "motion ";
            // 600 x 600 goes without saying, as in plain drag event files.
            if (entry.width != 600 || entry.height != 600)
                std::snprintf(buffer, sizeof buffer, "%d %d %d %d", entry.x, entry.y, entry.width, entry.height);
            else std::snprintf(buffer, sizeof buffer, "%d %d", entry.x, entry.y);
            return text + buffer;
        case EntryKind::Set:
            // Nine significant digits read back as the same float.
            std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(entry.value));
            return text + "set " + parameterName(entry.parameter) + " " + buffer;
        case EntryKind::Checksum:
            std::snprintf(buffer, sizeof buffer, "%016llx", static_cast<unsigned long long>(entry.checksum));
            return text + "checksum " + buffer;
        case EntryKind::Release: return text + "release";
        case EntryKind::Restart: return text + "restart";
        case EntryKind::Pause: return text + "pause";
        case EntryKind::Resume: return text + "resume";
        case EntryKind::Single: return text + "single";
    }
    return text;
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    bytes = text.str();
    return !in.bad();
}

std::string findRecordedMesh(const Session& session, const std::string& recordingFile, std::string& meshPath) {
    namespace fs = std::filesystem;
    std::string where = "line " + std::to_string(session.meshLine) + ": ";
    if (session.meshLine <= 0) return "line 1: the file names no mesh; it holds drag events only, not a recording";
    if (meshPath.empty()) {
        // Beside the recording too, so a recording travels with its mesh.
        fs::path written = session.meshPath;
        fs::path folder = fs::path(recordingFile).parent_path();
        std::error_code ignored;
        for (const fs::path& candidate : {written, folder / written, folder / written.filename()}) {
            if (fs::is_regular_file(candidate, ignored)) {
                meshPath = candidate.string();
                break;
            }
        }
        if (meshPath.empty())
            return where + "cannot find the mesh '" + session.meshPath + "'; put it there or beside the recording";
    }
    std::string bytes;
    if (!readWholeFile(meshPath, bytes)) return where + "cannot read the mesh '" + meshPath + "'";
    std::string sha = sha256Hex(bytes);
    if (sha != session.meshSha256)
        return where + "the mesh '" + meshPath + "' has SHA-256 " + sha + ", not the recorded " + session.meshSha256 +
               "; use the mesh the session was recorded with";
    return "";
}

PressureBody buildSteeredBody(const Steering& steering) {
    PressureBody body(*steering.mesh, BodyParams{});
    applyTuning(body, DragState{}, steering.tuning);
    return body;
}

void applyEntry(const SessionEntry& entry, PressureBody& body, DragState& drag, Steering& steering) {
    switch (entry.kind) {
        case EntryKind::Press: pressDrag(body, drag, entry.x, entry.y, entry.width, entry.height); break;
        case EntryKind::Motion: moveDrag(body, drag, entry.x, entry.y, entry.width, entry.height); break;
        case EntryKind::Release: releaseDrag(body, drag); break;
        case EntryKind::Set:
            tuned(steering.tuning, entry.parameter) = entry.value;
            applyTuning(body, drag, steering.tuning);
            break;
        case EntryKind::Restart:
            drag = DragState{};
            body = buildSteeredBody(steering);
            break;
        default: break;
    }
}

void runStep(PressureBody& body, Steering& steering) {
    simulationStep(body);
    ++steering.step;
}

Verdict verifySession(const Session& session, const MeshFile& mesh) {
    Steering steering;
    steering.mesh = &mesh;
    PressureBody body = buildSteeredBody(steering);
    DragState drag;
    Verdict verdict;
    for (const SessionEntry& entry : session.entries) {
        while (steering.step < entry.step) runStep(body, steering);
        if (entry.kind != EntryKind::Checksum) {
            applyEntry(entry, body, drag, steering);
            continue;
        }
        uint64_t got = stateChecksum(body);
        if (got != entry.checksum) return Verdict{verdict.checkpoints, true, entry.step, entry.checksum, got};
        ++verdict.checkpoints;
    }
    return verdict;
}

}  // namespace plumfold
