// The helper thread of big bodies: every job offered runs exactly once, its
// results are there when finish() returns, and a body stepped with the helper
// follows the same trajectory to the bit as one stepped without it.
#include "body/second_core.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "body/drag.h"
#include "body/scene.h"
#include "body/state_hash.h"
#include "body/step_solver.h"
#include "tests/support/bodies.h"
#include "tools/mesh_generators.h"

namespace {

struct Tally {
    std::vector<int> runs;
    size_t job = 0;
};

TEST(SecondCore, RunsEveryJobOnceWhoeverTakesIt) {
    for (bool leave : {false, true}) {
        SCOPED_TRACE(leave ? "left to the helper" : "taken by whoever comes first");
        SecondCore core;
        core.leaveEveryJobToHelper(leave);
        Tally tally;
        tally.runs.assign(20000, 0);
        for (size_t j = 0; j < tally.runs.size(); ++j) {
            tally.job = j;
            core.offer(
                [](void* argument) {
                    Tally& t = *static_cast<Tally*>(argument);
                    ++t.runs[t.job];
                },
                &tally);
            if (j % 3 == 0) {  // sometimes a share of its own first, as a step does
                std::atomic<int> spin{0};
                while (spin.fetch_add(1, std::memory_order_relaxed) < 200) {
                }
            }
            core.finish();
            ASSERT_EQ(tally.runs[j], 1) << "job " << j;  // done, and its write visible here
        }
        for (size_t j = 0; j < tally.runs.size(); ++j) ASSERT_EQ(tally.runs[j], 1) << "job " << j;
    }
}

PressureBody sphere(int level) { return sceneBody(makeIcosphere(level, 2.0f)); }

// Steps `helped` (with the helper) and `alone` side by side, with an optional
// drag and a point pulled far enough that the stretch limit fires; compares
// the checksums and the volume every 25 steps.
void runSideBySide(PressureBody& helped, PressureBody& alone, bool withDrag) {
    DragState helpedDrag, aloneDrag;
    for (int step = 0; step < 1200; ++step) {
        for (auto [body, drag] : {std::pair{&helped, &helpedDrag}, std::pair{&alone, &aloneDrag}}) {
            if (withDrag && step == 100) pressDrag(*body, *drag, 420, 260, initialWindowWidth, initialWindowHeight);
            if (withDrag && step == 300) moveDrag(*body, *drag, 120, 60, initialWindowWidth, initialWindowHeight);
            if (withDrag && step == 700) releaseDrag(*body, *drag);
            if (step == 900 || step == 950) {  // early and late springs overstretched
                const size_t point = step == 900 ? 7 : 600;
                body->points[point].position = body->points[point].position + Vector3{3.0f, 2.5f, -1.0f};
            }
            simulationStep(*body);
        }
        if (step % 25 == 0 || step == 1199) {
            ASSERT_EQ(stateChecksum(helped), stateChecksum(alone)) << "step " << step;
            ASSERT_EQ(std::memcmp(&helped.volume, &alone.volume, sizeof(float)), 0) << "step " << step;
        }
    }
}

TEST(SecondCore, StepsBitForBitAsOneThreadWithAndWithoutADrag) {
    for (bool withDrag : {false, true}) {
        for (bool leave : {false, true}) {
            SCOPED_TRACE(std::string(withDrag ? "drag" : "no drag") + (leave ? ", helper does every job" : ""));
            PressureBody alone = sphere(3);
            alone.solver.get().useSecondCoreFrom(SIZE_MAX);
            ASSERT_EQ(alone.solver.get().secondCore(), nullptr);
            PressureBody helped = sphere(3);
            helped.solver.get().useSecondCoreFrom(0);
            ASSERT_NE(helped.solver.get().secondCore(), nullptr);
            helped.solver.get().secondCore()->leaveEveryJobToHelper(leave);
            runSideBySide(helped, alone, withDrag);
            if (testing::Test::HasFatalFailure()) return;
        }
    }
}

}  // namespace
