#include "app/lab/lab_state.h"

#include <algorithm>

#include "app/frame_stepping.h"
#include "body/state_hash.h"
#include "mesh/mesh_file.h"

namespace plumfold {

int32_t realTimeSteps(RealTimeClock& clock, uint32_t now) {
    if (!clock.running) {
        clock = RealTimeClock{true, now};
        return 1;
    }
    int32_t elapsed = ticksBetween(clock.lastTick, now);
    if (elapsed <= 0) return 0;  // within the same millisecond: wait for the next
    clock.lastTick = now;
    return std::min(elapsed, maxRealTimeSteps);
}

void startLab(Lab& lab, PressureBody& body, DragState& drag, const MeshFile& mesh) {
    lab.body = &body;
    lab.drag = &drag;
    lab.steering.mesh = &mesh;
    lab.bodyPoints = body.points.size();
    lab.bodySprings = body.springs.size();
    lab.plot.volume.assign(plotSamples, 0.0f);
    lab.plot.energy.assign(plotSamples, 0.0f);
}

namespace {

void write(Lab& lab, const SessionEntry& entry) {
    if (lab.recording == nullptr) return;
    std::fprintf(lab.recording, "%s\n", formatEntry(entry).c_str());
    // Line by line, so a session that ends abruptly keeps all it had.
    std::fflush(lab.recording);
}

void sample(Lab& lab) {
    Plot& plot = lab.plot;
    BodyReadings readings = readBody(*lab.body, lab.bodyPoints, lab.bodySprings);
    plot.volume[plot.next] = static_cast<float>(lab.body->volume / 1.998);
    plot.energy[plot.next] = static_cast<float>(readings.total());
    plot.next = (plot.next + 1) % plotSamples;
    plot.filled = std::min(plot.filled + 1, plotSamples);
}

// Entries of the replay due before the next step; checksums are compared.
void feedReplay(Lab& lab) {
    const std::vector<SessionEntry>& entries = lab.replay->entries;
    while (lab.replayNext < entries.size() && entries[lab.replayNext].step == lab.steering.step) {
        const SessionEntry& entry = entries[lab.replayNext++];
        if (entry.kind != EntryKind::Checksum) {
            applyEntry(entry, *lab.body, *lab.drag, lab.steering);
            if (entry.kind == EntryKind::Restart) lab.restartStep = lab.steering.step;
            continue;
        }
        uint64_t got = stateChecksum(*lab.body);
        if (got == entry.checksum) {
            ++lab.replayChecked;
        } else if (lab.replayVerdict.empty()) {
            char text[128];
            std::snprintf(text, sizeof text, "DIVERGED at step %llu: want %016llx, got %016llx",
                          static_cast<unsigned long long>(entry.step), static_cast<unsigned long long>(entry.checksum),
                          static_cast<unsigned long long>(got));
            lab.replayVerdict = text;
        }
    }
}

}  // namespace

bool openRecording(Lab& lab, const std::string& file, const std::string& meshSha256, const std::string& meshPath) {
    lab.recording = std::fopen(file.c_str(), "w");
    if (lab.recording == nullptr) return false;
    std::fprintf(lab.recording, "%s\n", formatHeader(meshSha256, meshPath).c_str());
    std::fflush(lab.recording);
    return true;
}

void note(Lab& lab, EntryKind kind) {
    SessionEntry entry;
    entry.step = lab.steering.step;
    entry.kind = kind;
    write(lab, entry);
}

void noteDrag(Lab& lab, EntryKind kind, int x, int y, int width, int height) {
    SessionEntry entry;
    entry.step = lab.steering.step;
    entry.kind = kind;
    entry.x = x;
    entry.y = y;
    entry.width = width;
    entry.height = height;
    write(lab, entry);
}

void closeRecording(Lab& lab) {
    if (lab.recording == nullptr) return;
    SessionEntry entry;
    entry.step = lab.steering.step;
    entry.kind = EntryKind::Checksum;
    entry.checksum = stateChecksum(*lab.body);
    write(lab, entry);
    std::fclose(lab.recording);
    lab.recording = nullptr;
}

bool replaying(const Lab& lab) { return lab.replay != nullptr && lab.replayNext < lab.replay->entries.size(); }

int32_t runSteps(Lab& lab, int32_t steps) {
    int32_t run = 0;
    while (run < steps) {
        if (replaying(lab)) feedReplay(lab);
        runStep(*lab.body, lab.steering);
        ++run;
        if (lab.steering.step % checkpointEvery == 0 || lab.checkAfterStep) {
            lab.checkAfterStep = false;
            SessionEntry entry;
            entry.step = lab.steering.step;
            entry.kind = EntryKind::Checksum;
            entry.checksum = stateChecksum(*lab.body);
            write(lab, entry);
        }
        if ((lab.steering.step - lab.restartStep) % plotEvery == 0) sample(lab);
        if (!lab.watching) continue;
        std::string trouble = watchBody(*lab.body, lab.bodyPoints, lab.lastVolume);
        if (!trouble.empty()) {
            lab.alarm = "Step " + std::to_string(lab.steering.step - lab.restartStep) + ": " + trouble +
                        ". Paused; R restarts.";
            if (!lab.paused) {
                lab.paused = true;
                note(lab, EntryKind::Pause);
            }
            break;
        }
    }
    // A replay's entries after its last step (a release, the final checksum) are due now.
    if (replaying(lab)) feedReplay(lab);
    return run;
}

int32_t stepsForFrame(Lab& lab, int32_t batchSteps, uint32_t now) {
    if (lab.paused) {
        bool single = lab.singleStep;
        lab.singleStep = false;
        lab.checkAfterStep = single;
        return single ? 1 : 0;
    }
    if (lab.realTime) return realTimeSteps(lab.clock, now);
    return batchSteps;
}

void togglePause(Lab& lab) {
    lab.paused = !lab.paused;
    lab.clock.running = false;  // real time starts afresh from here
    note(lab, lab.paused ? EntryKind::Pause : EntryKind::Resume);
}

void stepOnce(Lab& lab) {
    if (!lab.paused || lab.singleStep) return;
    note(lab, EntryKind::Single);
    lab.singleStep = true;
}

void restart(Lab& lab) {
    lab.alarm.clear();
    lab.lastVolume = 0.0f;
    lab.plot.filled = 0;
    lab.plot.next = 0;
    if (lab.replay != nullptr) {
        // A replay starts again from its beginning, with the scene's values.
        lab.steering.step = 0;
        lab.steering.tuning = Tuning{};
        lab.replayNext = 0;
        lab.replayChecked = 0;
        lab.replayVerdict.clear();
    } else {
        note(lab, EntryKind::Restart);
    }
    lab.restartStep = lab.steering.step;
    *lab.drag = DragState{};
    *lab.body = buildSteeredBody(lab.steering);
}

void tune(Lab& lab, Parameter parameter, float value) {
    if (replaying(lab) || tuned(lab.steering.tuning, parameter) == value) return;
    SessionEntry entry;
    entry.step = lab.steering.step;
    entry.kind = EntryKind::Set;
    entry.parameter = parameter;
    entry.value = value;
    applyEntry(entry, *lab.body, *lab.drag, lab.steering);
    write(lab, entry);
}

void useSceneValues(Lab& lab) {
    Tuning scene;
    for (Parameter parameter : allParameters) tune(lab, parameter, tuned(scene, parameter));
}

bool tunedAwayFromScene(const Lab& lab) { return !(lab.steering.tuning == Tuning{}); }

}  // namespace plumfold
