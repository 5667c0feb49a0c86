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
#include "body/helper_trial.h"
#include "body/scene.h"
#include "body/state_hash.h"
#include "body/step_solver.h"
#include "tests/support/bodies.h"
#include "mesh/mesh_data.h"
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

// The points, the face records (the helper writes the pressure forces) and the
// volume, bit for bit.
bool sameRecords(const PressureBody& a, const PressureBody& b) {
    return stateChecksum(a) == stateChecksum(b) && a.faces.size() == b.faces.size() &&
           std::memcmp(a.faces.data(), b.faces.data(), a.faces.size() * sizeof(Face)) == 0 &&
           std::memcmp(&a.volume, &b.volume, sizeof(float)) == 0 &&
           std::memcmp(&a.inverseVolume, &b.inverseVolume, sizeof(float)) == 0;
}

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
            ASSERT_TRUE(sameRecords(helped, alone)) << "step " << step;
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
            helped.solver.get().useHelperAlways(true);
            ASSERT_NE(helped.solver.get().secondCore(), nullptr);
            helped.solver.get().secondCore()->leaveEveryJobToHelper(leave);
            runSideBySide(helped, alone, withDrag);
            EXPECT_TRUE(helped.solver.get().helped());
            if (testing::Test::HasFatalFailure()) return;
        }
    }
}

TEST(HelperTrial, KeepsTheFasterWayForAWhileThenTriesAgain) {
    for (bool helperFaster : {false, true}) {
        HelperTrial trial;
        for (int call = 0; call < HelperTrial::warmUpCalls; ++call) {
            ASSERT_TRUE(trial.useHelper());
            trial.record(helperFaster ? 100.0 : 0.0);  // not counted
        }
        int helped = 0;
        for (int call = 0; call < HelperTrial::trialCalls; ++call) {
            const bool with = trial.useHelper();
            helped += with ? 1 : 0;
            trial.record(with == helperFaster ? 1.0 : 2.0);
        }
        EXPECT_EQ(helped, HelperTrial::trialCalls / 2);  // a fair trial
        for (int call = 0; call < HelperTrial::keptCalls; ++call) {
            ASSERT_EQ(trial.useHelper(), helperFaster) << "call " << call;
            trial.record(helperFaster ? 5.0 : 0.5);  // outside a trial, times do not count
        }
        EXPECT_TRUE(trial.useHelper());  // the next trial begins with the helper
    }
}

TEST(SecondCore, AFlatBodyWithoutPressureStepsAsOnOneThread) {
    // Two triangles in the plane z = 0, falling in it: every normal has x 0,
    // so every volume term is 0, the pressure is undefined and no face may push.
    const MeshData flat{{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 1, 2, 0, 2, 3}};
    PressureBody alone = sceneBody(flat);
    PressureBody helped = sceneBody(flat);
    helped.solver.get().useSecondCoreFrom(0);
    helped.solver.get().useHelperAlways(true);
    ASSERT_NE(helped.solver.get().secondCore(), nullptr);
    helped.solver.get().secondCore()->leaveEveryJobToHelper(true);
    for (int step = 0; step < 50; ++step) {
        simulationStep(alone);
        simulationStep(helped);
    }
    EXPECT_EQ(helped.inverseVolume, 0.0f);
    EXPECT_TRUE(sameRecords(helped, alone));
}

}  // namespace
