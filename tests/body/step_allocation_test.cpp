// A simulation step allocates nothing once the body is built: not in the
// steady state, not while a drag point and spring are appended, and not after
// they are removed again. Counts every global allocation of this program.
#include <gtest/gtest.h>

#include <atomic>
#include <new>

#include "body/drag.h"
#include "body/scene.h"
#include "tests/support/bodies.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

namespace {

std::atomic<long> allocations{0};

long allocationsDuring(PressureBody& body, int steps) {
    long before = allocations.load();
    for (int i = 0; i < steps; ++i) simulationStep(body);
    return allocations.load() - before;
}

}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

TEST(SimulationStep, AllocatesNothingWithOrWithoutADrag) {
    PressureBody body = sceneBody(makeIcosphere(3, 2.0f));

    long before = allocations.load();
    void* volatile probe = ::operator new(16);  // an explicit call, which no compiler elides
    ASSERT_GT(allocations.load(), before) << "the counter does not see allocations";
    ::operator delete(probe);

    EXPECT_EQ(allocationsDuring(body, 20), 0) << "first steps of a new body";
    DragState drag;
    pressDrag(body, drag, 450, 150, initialWindowWidth, initialWindowHeight);
    EXPECT_EQ(allocationsDuring(body, 20), 0) << "steps during a drag";
    moveDrag(body, drag, 100, 300, initialWindowWidth, initialWindowHeight);
    EXPECT_EQ(allocationsDuring(body, 20), 0) << "steps after a drag motion";
    releaseDrag(body, drag);
    EXPECT_EQ(allocationsDuring(body, 20), 0) << "steps after the release";
    pressDrag(body, drag, 300, 300, initialWindowWidth, initialWindowHeight);
    EXPECT_EQ(allocationsDuring(body, 20), 0) << "steps during a second drag";
}
