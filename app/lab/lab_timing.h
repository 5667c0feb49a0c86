#pragma once
// The lab's own figures of how fast it runs, published once per second of wall
// time in which steps ran, so they hold still while the lab is paused.
#include <chrono>
#include <cstdint>

namespace plumfold {

struct LabTiming {
    using Clock = std::chrono::steady_clock;
    // Published figures.
    double microsPerStep = 0, stepsPerSecond = 0, framesPerSecond = 0;
    double panelMillis = 0;  // mean cost of building and drawing the panel, per frame
    // The second being measured.
    Clock::time_point since = Clock::now();
    int64_t steps = 0, frames = 0;
    double stepSeconds = 0, panelSeconds = 0;

    // Keeps the published figures and measures from now on: after a pause,
    // whose idle frames would only dilute them.
    void startAfresh() { *this = LabTiming{microsPerStep, stepsPerSecond, framesPerSecond, panelMillis}; }

    void addSteps(int64_t count, double seconds) {
        steps += count;
        stepSeconds += seconds;
    }
    void addFrame(double panelCost) {
        ++frames;
        panelSeconds += panelCost;
        double elapsed = std::chrono::duration<double>(Clock::now() - since).count();
        if (elapsed < 1.0) return;
        if (steps > 0) {
            microsPerStep = stepSeconds / static_cast<double>(steps) * 1e6;
            stepsPerSecond = static_cast<double>(steps) / elapsed;
            framesPerSecond = static_cast<double>(frames) / elapsed;
            panelMillis = panelSeconds / static_cast<double>(frames) * 1e3;
        }
        startAfresh();
    }
};

}  // namespace plumfold
