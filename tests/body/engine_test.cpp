// The engine against the plain reference (the records' own methods): every
// field of every record to the last bit, step after step, on every SIMD target
// this processor runs, on the scenes of the checksum files (which plumfold-sim
// is held to) and through drags, stretch-limit corrections, edits between
// steps, NaN and degenerate bodies, which stay finite unless given a NaN.
#include <gtest/gtest.h>

#include "body/drag.h"
#include "body/engine/engine.h"
#include "body/walls.h"
#include "tests/support/bodies.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

namespace {

// Where the two bodies differ, or "" when they agree to the last bit.
std::string difference(const PressureBody& engine, const PressureBody& reference) {
    if (!sameRecords<float>({engine.volume, engine.inverseVolume}, {reference.volume, reference.inverseVolume}))
        return "volume or its inverse";
    if (!sameRecords(engine.points, reference.points)) return "points";
    if (!sameRecords(engine.stepCopy, reference.stepCopy)) return "step copy";
    if (!sameRecords(engine.faces, reference.faces)) return "faces";
    if (engine.lastStretchCorrections() != reference.lastStretchCorrections()) return "stretch corrections";
    return "";
}

// What happens to both bodies before a step: a drag at window pixel (x, y),
// or point x displaced by, or given the velocity, `value`, or an edit of
// springs, faces and points.
struct Event {
    enum Kind { Press, Motion, Release, Displace, Kick, Edit } kind;
    int step;
    int x = 0, y = 0;
    Vector3 value{};
};

void apply(const Event& e, PressureBody& body, DragState& drag) {
    const int w = initialWindowWidth, h = initialWindowHeight;
    switch (e.kind) {
        case Event::Press: pressDrag(body, drag, e.x, e.y, w, h); break;
        case Event::Motion: moveDrag(body, drag, e.x, e.y, w, h); break;
        case Event::Release: releaseDrag(body, drag); break;
        case Event::Displace: body.points[e.x].position = body.points[e.x].position + e.value; break;
        case Event::Kick: body.points[e.x].velocity = e.value; break;
        case Event::Edit:  // swap a spring's ends, rewire a face, soften a spring, fix a point
            std::swap(body.springs[10 + e.x].pointA, body.springs[10 + e.x].pointB);
            body.faces[e.x].pointC = body.faces[e.x + 1].pointA;
            body.springs[e.x].stiffness *= 0.5f;
            body.points[e.x] = MassPoint::make(0.0f, body.points[e.x].position, Vector3{});
            break;
    }
}

PressureBody sphere(int level) { return sceneBody(makeIcosphere(level, 2.0f)); }

// A mesh of the checksum files (tests/data), whose trajectories plumfold-sim is held to.
std::function<PressureBody()> listed(const char* mesh) {
    return [mesh] { return sceneBodyAfter(std::string(PLUMFOLD_SOURCE_DIR "/tests/data/") + mesh, 0); };
}

// Repeated corners (a spring from a point to itself), coincident points (a
// spring of length 0) and corners closer than any float length.
PressureBody degenerate() {
    MeshData data = makeIcosphere(1, 2.0f);
    data.faceIndices[1] = data.faceIndices[0];
    for (int k = 0; k < 3; ++k) data.vertices[3 * 5 + k] = data.vertices[3 * 6 + k];
    const int32_t near = data.faceIndices[3], nearer = data.faceIndices[4];
    for (int k = 0; k < 3; ++k) data.vertices[3 * near + k] = data.vertices[3 * nearer + k] = 0.0f;
    data.vertices[3 * nearer] = 1e-40f;
    return sceneBody(data);
}

// The closing pass of a Heun step may be skipped only when no point moved far
// enough from the prediction: here the floor moves the point 0.1 back up after
// a prediction inside the limits (0.4 long, 0.07 above the lower limit), and the
// spring (0.3 long, 0.03 short of its limit) must then push it away by half of that.
PressureBody wallsAfterPrediction() {
    PressureBody body =
        loosePoints({MassPoint::make(0, {0, -4.2f, 0}, {}), MassPoint::make(1, {0, -4.5f, 0}, {0, -100, 0})});
    body.springs = {Spring::make(body.points.data(), 0, 1, 0, 0)};
    body.springs[0].restLength = 0.5f;
    body.springs[0].maxDeviation = 0.17f;
    return body;
}

PressureBody flat() { return sceneBody({{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {0, 1, 2, 2, 1, 3, 2, 1, 0, 3, 1, 2}}); }

const float notANumber = std::nanf("");
const Vector3 far{3.0f, 2.5f, -1.0f};  // overstretches every spring of the point

struct Scene {
    const char* name;
    std::function<PressureBody()> make;
    int steps;
    std::vector<Event> events;
    IntegrationMode mode = Heun;
    std::function<bool(const PressureBody&, int corrections)> holds = nullptr;  // else: all finite
};

// clang-format off
const Scene scenes[] = {
    {"tetrahedron", listed("reference/tetra.asc"), 1000, {}},
    {"cube", listed("reference/cube.asc"), 1000, {}},
    {"sphere of 42", listed("reference/ico1.asc"), 5000, {}},
    {"sphere of 642", listed("golden/ico3.asc"), 300, {}},
    {"drags of golden/drag.events", listed("golden/ico2.asc"), 1000,
     {{Event::Press, 100, 300, 300}, {Event::Motion, 150, 360, 240}, {Event::Motion, 200, 450, 150},
      {Event::Motion, 300, 650, -50}, {Event::Release, 600}, {Event::Press, 900, 50, 550}}},
    {"more drags", [] { return sphere(2); }, 700,
     {{Event::Press, 0, 100, 500}, {Event::Motion, 60, 420, 120}, {Event::Release, 400}, {Event::Press, 401, 0, 0},
      {Event::Press, 500, 599, 599}}},
    {"stretch limit in chains", [] { return sphere(2); }, 300,
     {{Event::Displace, 0, 3, 0, far}, {Event::Displace, 0, 7, 0, far}, {Event::Kick, 20, 11, 0, {400, -900, 250}},
      {Event::Displace, 100, 0, 0, far}, {Event::Displace, 100, 1, 0, far}, {Event::Press, 150, 590, 10},
      {Event::Kick, 151, 5, 0, {-900, 900, 0}}},
     Heun, [](const PressureBody& body, int corrections) { return allFinite(body) && corrections > 100; }},
    {"edits between steps", [] { return sphere(2); }, 300,
     {{Event::Edit, 50, 0}, {Event::Edit, 100, 1}, {Event::Edit, 150, 2}}},
    {"NaN", [] { return sphere(1); }, 50,
     {{Event::Displace, 5, 3, 0, {notANumber, 0, 0}}, {Event::Kick, 7, 9, 0, {0, notANumber, 0}}},
     Heun, [](const PressureBody& body, int) { return !allFinite(body); }},
    {"degenerate", degenerate, 300, {{Event::Press, 10, 300, 300}}},
    {"flat", flat, 100, {}, Heun, [](const PressureBody& body, int) { return allFinite(body) && body.inverseVolume == 0.0f; }},
    {"walls after the prediction", wallsAfterPrediction, 1, {}, Heun, [](const PressureBody& body, int corrections) {
         return corrections == 1 && std::fabs(body.points[1].position.y - (-4.5f + 0.015f)) < 1e-5f;
     }},
    {"Euler", [] { return sphere(2); }, 30, {{Event::Displace, 10, 4, 0, far}}, Euler},
    {"stretch pass alone", [] { return sphere(2); }, 5, {{Event::Displace, 0, 9, 0, far}}, 7,
     [](const PressureBody& body, int corrections) { return allFinite(body) && corrections > 0; }},
};
// clang-format on

}  // namespace

TEST(Engine, MatchesTheReferenceBitForBitOnEveryTarget) {
    const std::vector<const plumfold::WideLoops*> targets = plumfold::availableLoops();
    ASSERT_FALSE(targets.empty());
    for (const plumfold::WideLoops* loops : targets) {
        for (const Scene& scene : scenes) {
            SCOPED_TRACE(std::string(loops->target) + ", " + scene.name);
            PressureBody reference = scene.make();
            PressureBody engine = reference;
            engine.engine.get().useLoops(*loops);
            DragState engineDrag, referenceDrag;
            int corrections = 0;
            size_t next = 0;
            for (int step = 0; step < scene.steps; ++step) {
                for (; next < scene.events.size() && scene.events[next].step == step; ++next) {
                    apply(scene.events[next], engine, engineDrag);
                    apply(scene.events[next], reference, referenceDrag);
                }
                // Every other Heun step goes through step(), which runs the two together.
                if (scene.mode == Heun && step % 2 == 1) {
                    engine.step(timeStep);
                    reference.computeForcesReference();
                } else {
                    engine.computeForces();
                    reference.computeForcesReference();
                    ASSERT_EQ(difference(engine, reference), "") << "forces of step " << step;
                    engine.integrate(scene.mode, timeStep);
                }
                reference.integrateReference(scene.mode, timeStep);
                corrections += engine.lastStretchCorrections();
                ASSERT_EQ(difference(engine, reference), "") << "after step " << step;
            }
            EXPECT_TRUE(scene.holds ? scene.holds(engine, corrections) : allFinite(engine));
        }
    }
}

// The bulk stretch check marks a spring only near its limit (marking more would
// cost time, not bits): none of a body as built, then just the one spring given
// a limit it exceeds, in the partial last group of every target.
TEST(WideLoops, MarkOnlySpringsNearTheirLimits) {
    PressureBody body = sphere(1);
    std::vector<PointState> state;
    for (const MassPoint& p : body.points) state.push_back({p.position, p.mass, p.velocity, p.inverseMass});
    const size_t count = body.springs.size() - 3;
    for (const plumfold::WideLoops* loops : plumfold::availableLoops()) {
        std::vector<uint8_t> marks(count, 1), want(count, 0);
        EXPECT_EQ(loops->markStretched(body.springs.data(), count, state.data(), marks.data()), 0u) << loops->target;
        EXPECT_EQ(marks, want) << loops->target;
        std::vector<Spring> springs = body.springs;
        springs[count - 1].restLength *= 0.5f;
        springs[count - 1].maxDeviation = 0.0f;
        want[count - 1] = 1;
        EXPECT_EQ(loops->markStretched(springs.data(), count, state.data(), marks.data()), 1u) << loops->target;
        EXPECT_EQ(marks, want) << loops->target;
    }
}

// The walls of the open box, which both the engine and the reference use.
TEST(Walls, StopAndBounceAPoint) {
    const float b = 4.5f;
    const struct {
        Vector3 x, v, wantX, wantV;
    } cases[] = {
        {{0, -5, 0}, {1, -10, 2}, {0, -b, 0}, {-0.6f, 6, -1.2f}},  // the floor bounces the whole velocity
        {{5, 0, 0}, {10, 1, 1}, {b, 0, 0}, {-6, 1, 1}},
        {{0, 0, 5}, {1, 1, 10}, {0, 0, b}, {1, 1, -6}},
        {{0, 50, 0}, {1, 2, 3}, {0, 50, 0}, {1, 2, 3}},  // no ceiling
        // Not "< -4.5" but "not >= -4.5": NaN lands on the floor and the low walls.
        {{notANumber, notANumber, notANumber}, {1, 1, 1}, {-b, -b, -b}, {0.6f * 0.6f, -0.6f, 0.6f * 0.6f}},
    };
    for (const auto& c : cases) {
        Vector3 x = c.x, v = c.v;
        applyWalls(x, v);
        EXPECT_TRUE(sameRecords<Vector3>({x, v}, {c.wantX, c.wantV}))
            << "(" << c.x.x << ", " << c.x.y << ", " << c.x.z << ") gives v (" << v.x << ", " << v.y << ", " << v.z
            << ")";
    }
}

// The stretch limit pass alone: which springs it corrects, and by how much. Its
// order, chains and fixed ends are held against the reference in the scenes above.
TEST(StretchLimit, PullsEndsTogetherOnlyPastTheLimit) {
    struct Case {
        const char* what;
        float restLength, startA;
        float endA, endB;  // x of A and B after the pass; B starts at 0
        int corrections;
    };
    const std::vector<Case> cases = {
        {"both ends take half the excess", 1, 3, 2.5f, 0.5f, 1},
        {"twice the rest length is within the limit", 1, 2, 2, 0, 0},
        {"compression is never limited", 1, 0.1f, 0.1f, 0, 0},
        {"a spring of length 0", 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PressureBody body = loosePoints({MassPoint::make(1, {c.startA, 0, 0}, {}), MassPoint::make(1, {}, {})});
        body.springs = {Spring::make(body.points.data(), 0, 1, 10, 0)};
        body.springs[0].restLength = body.springs[0].maxDeviation = c.restLength;
        body.integrate(2, 0.001f);  // neither Euler nor Heun: the pass alone
        EXPECT_EQ(body.lastStretchCorrections(), c.corrections);
        EXPECT_EQ(body.points[0].position, (Vector3{c.endA, 0, 0}));
        EXPECT_EQ(body.points[1].position, (Vector3{c.endB, 0, 0}));
    }
}
