// The probe behind check's verdict: each way a body can fail it, and the whole
// run of a sound body to the last bit, so that no change to its script or its
// limits goes unnoticed.
#include <gtest/gtest.h>

#include "body/probe.h"
#include "tests/support/bodies.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

TEST(Probe, NamesWhatABodyFailsAndWhen) {
    PressureBody notANumber = bodyFromMesh(makeIcosphere(1, 2.0f)), imploding = notANumber;
    notANumber.points[5].velocity.x = std::nanf("");
    for (MassPoint& p : imploding.points) p.velocity = p.position * -1000.0f;
    MeshData high = makeIcosphere(1, 1.0f);
    for (size_t i = 1; i < high.vertices.size(); i += 3) high.vertices[i] += 11.0f;
    const struct {
        const char* what;
        PressureBody body;
        ProbeCause cause;
        uint64_t step;
        double volumeRatio;  // the final ratio to the last bit (0: not compared)
    } cases[] = {
        {"a sound body", bodyFromMesh(makeIcosphere(2, 2.0f)), ProbeCause::None, 2800, 2.0067158726092269},
        {"small for the fixed pressure", bodyFromMesh(makeIcosphere(2, 0.8f)), ProbeCause::VolumeRatio, 2800,
         8.1231464207530095},
        // Above twice the walls' height with nothing holding it: thrown out.
        {"too high", bodyFromMesh(high), ProbeCause::LeftBox, 7, 0},
        {"not a number", notANumber, ProbeCause::NonFinite, 0, 0},
        {"thrown through itself", imploding, ProbeCause::VolumeFlipped, 1, 0},
        {"wound inwards", bodyFromMesh(makeIcosphere(1, 2.0f)), ProbeCause::NoVolume, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PressureBody body = c.body;
        if (c.cause == ProbeCause::NoVolume)
            for (Face& f : body.faces) std::swap(f.pointB, f.pointC);
        const ProbeVerdict v = probeBody(body);
        EXPECT_EQ(v.cause, c.cause) << describeVerdict(v);
        EXPECT_EQ(v.survived, c.cause == ProbeCause::None);
        EXPECT_EQ(v.step, c.step) << describeVerdict(v);
        EXPECT_TRUE(c.volumeRatio == 0 || v.volumeRatio == c.volumeRatio) << describeVerdict(v);
    }
}
