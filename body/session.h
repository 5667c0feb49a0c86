#pragma once
// Sessions: everything that steered a body, step by step, in a text file that
// replays to the bit on any machine. One entry per line, each applied before
// step STEP (0-based, counted from the start of the session) runs, in file
// order; step numbers never go back:
//   STEP press X Y [W H]    left press at window pixel (X, Y) of a W x H window
//                           (600 x 600 when W H are left out)
//   STEP motion X Y [W H]   the cursor moved with the button held
//   STEP release            the button let go
//   STEP set NAME VALUE     a tuned parameter: nrt, stiffness, damping, gravity, mass
//   STEP restart            the body rebuilt from its mesh, any drag ended
//   STEP pause | resume | single   how the run was driven; no effect on the body
//   STEP checksum HEX       stateChecksum after STEP steps, compared on replay
// A recording begins with two more lines, its format and its mesh:
//   plumfold-session 1
//   mesh SHA256 PATH
// Plain drag event files have neither. Blank lines and '#' lines are ignored.
#include <cstdint>
#include <string>
#include <vector>

#include "body/drag.h"
#include "body/pressure_body.h"

namespace plumfold {

struct MeshFile;

// The parameters a session may tune; every step reads them from the records.
struct Tuning {
    float nrt = 1826320.0f;       // pressureConstant, as construction sets it
    float stiffness = 121100.0f;  // every body spring (never the drag spring)
    float damping = 110.0f;
    float gravity = -500.0f;  // y of the gravity vector
    float mass = 1.0f;        // every body mass point (never the drag point)
    bool operator==(const Tuning&) const = default;
};

enum class Parameter { Nrt, Stiffness, Damping, Gravity, Mass };
constexpr Parameter allParameters[] = {Parameter::Nrt, Parameter::Stiffness, Parameter::Damping, Parameter::Gravity,
                                       Parameter::Mass};
const char* parameterName(Parameter parameter);
float& tuned(Tuning& tuning, Parameter parameter);

// Writes the tuning into the body's records, leaving the drag point and drag
// spring (the last entries while `drag` is on) as they are.
void applyTuning(PressureBody& body, const DragState& drag, const Tuning& tuning);

enum class EntryKind { Press, Motion, Release, Set, Restart, Pause, Resume, Single, Checksum };

struct SessionEntry {
    uint64_t step = 0;
    EntryKind kind = EntryKind::Release;
    int x = 0, y = 0;                      // press, motion: window pixels
    int width = 600, height = 600;         // press, motion: the window's size then
    Parameter parameter = Parameter::Nrt;  // set
    float value = 0.0f;                    // set
    uint64_t checksum = 0;                 // checksum
};

struct Session {
    int meshLine = 0;        // 0 for plain drag events, which name no mesh
    std::string meshSha256;  // 64 lower-case hex digits
    std::string meshPath;    // as given when recording
    std::vector<SessionEntry> entries;
};

constexpr uint64_t checkpointEvery = 1000;  // steps between two checksum lines of a recording

// Parses a whole file. Returns "" or a message "line N: problem; fix".
std::string parseSession(const std::string& text, Session& session);

// The lines of a recording, without their line ends.
std::string formatHeader(const std::string& meshSha256, const std::string& meshPath);
std::string formatEntry(const SessionEntry& entry);

// Reads a whole file; false when it cannot be opened or read, or is a folder.
bool readWholeFile(const std::string& path, std::string& bytes);

// The mesh of a recording: `meshPath` when given, else the path it names as
// written, else that path (or its file name) beside the recording. Returns ""
// and sets meshPath when the file is there with the recorded SHA-256, else a
// message "line N: problem; fix".
std::string findRecordedMesh(const Session& session, const std::string& recordingFile, std::string& meshPath);

// What a session steers besides the body and the drag.
struct Steering {
    const MeshFile* mesh = nullptr;  // what a restart rebuilds the body from (not owned)
    Tuning tuning;
    uint64_t step = 0;  // steps run since the session began
};

// The body a session starts with, or gets on restart: built from the mesh,
// with the steering's tuning.
PressureBody buildSteeredBody(const Steering& steering);

// Applies press, motion, release, set and restart; other entries change nothing.
void applyEntry(const SessionEntry& entry, PressureBody& body, DragState& drag, Steering& steering);

// One simulation step, counted.
void runStep(PressureBody& body, Steering& steering);

struct Verdict {
    uint64_t checkpoints = 0;  // checksum lines that matched
    bool diverged = false;
    uint64_t step = 0;  // of the first checksum that did not match
    uint64_t want = 0, got = 0;
};

// Replays the session on a fresh body from `mesh` and compares every checksum.
Verdict verifySession(const Session& session, const MeshFile& mesh);

}  // namespace plumfold
