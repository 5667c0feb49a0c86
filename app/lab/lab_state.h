#pragma once
// The lab's state and what the keys, sliders and frames do to it; no OpenGL,
// so the window code only routes events here.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/lab/body_readings.h"
#include "body/session.h"

namespace plumfold {

// Real-time stepping: one step per elapsed millisecond, at most this many per
// frame; time that a frame cannot catch up is let go rather than owed.
constexpr int32_t maxRealTimeSteps = 100;

struct RealTimeClock {
    bool running = false;
    uint32_t lastTick = 0;
};
// Steps that keep simulated time with the tick counter since the last call.
int32_t realTimeSteps(RealTimeClock& clock, uint32_t now);

// A ring of the last few simulated seconds, one sample every plotEvery steps.
constexpr uint64_t plotEvery = 10;
constexpr size_t plotSamples = 500;
struct Plot {
    std::vector<float> volume, energy;  // in sample order once unrolled
    size_t next = 0;                    // where the next sample goes
    size_t filled = 0;
};

struct Lab {
    PressureBody* body = nullptr;  // the demo's one body
    DragState* drag = nullptr;     // and its drag
    Steering steering;             // mesh, tuning, steps since the session began
    size_t bodyPoints = 0;         // mass points and springs of the body itself
    size_t bodySprings = 0;
    uint64_t restartStep = 0;  // steering.step at the last restart: simulated time counts from it

    bool watching = false;  // the panel's lab pauses on trouble; a plain recording never does
    bool paused = false;
    bool singleStep = false;      // run one step in the next frame, then stay paused
    bool checkAfterStep = false;  // a single step is followed by its checksum
    bool realTime = false;
    RealTimeClock clock;
    std::string alarm;  // what the watch saw, in words; cleared by restart
    float lastVolume = 0.0f;

    std::FILE* recording = nullptr;  // the open --record file
    const Session* replay = nullptr;
    size_t replayNext = 0;  // next entry of the replay
    uint64_t replayChecked = 0;
    std::string replayVerdict;  // empty while all checksums matched

    Plot plot;
};

// The lab on the demo's body, its session starting at step 0.
void startLab(Lab& lab, PressureBody& body, DragState& drag, const MeshFile& mesh);

// Writes the recording's first lines; false when the file cannot be made.
bool openRecording(Lab& lab, const std::string& file, const std::string& meshSha256, const std::string& meshPath);
// Writes an entry at the current step, when recording.
void note(Lab& lab, EntryKind kind);
void noteDrag(Lab& lab, EntryKind kind, int x, int y, int width, int height);
// The last checksum, at exit.
void closeRecording(Lab& lab);

// True while a replay still has entries to play: the user's drags and tuning
// are ignored then, so the replay stays exact.
bool replaying(const Lab& lab);

// Runs up to `steps` steps, stopping early when the watch pauses the lab.
// Returns the steps run.
int32_t runSteps(Lab& lab, int32_t steps);
// Steps the next frame runs under the lab's rules (paused, single, real time),
// given the plain batch rule's count.
int32_t stepsForFrame(Lab& lab, int32_t batchSteps, uint32_t now);

void togglePause(Lab& lab);
void stepOnce(Lab& lab);  // while paused
void restart(Lab& lab);
void tune(Lab& lab, Parameter parameter, float value);
void useSceneValues(Lab& lab);
bool tunedAwayFromScene(const Lab& lab);

}  // namespace plumfold
