// The portable and the hand-vectorised bulk loops against each other on odd
// counts and degenerate input, and the stretch pre-check against the exact
// stretch test right at the limit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "body/bulk_kernels.h"
#include "body/pressure_body.h"

namespace {

uint32_t bits(float value) {
    uint32_t b;
    std::memcpy(&b, &value, sizeof b);
    return b;
}

struct Scene {
    std::vector<PointState> state;
    std::vector<Spring> springs;
    std::vector<Face> faces;
};

// Points in a cube with random velocities; a few coincide, and points 5, 6 and
// 18 lie closer together than any float length. Springs between random points
// (some from a point to itself, some from 5 to 6), faces of random corners
// (some repeated, some 5, 6, 18).
Scene randomScene(size_t points, size_t springs, size_t faces, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(-3.0f, 3.0f);
    std::uniform_int_distribution<int32_t> pick(0, static_cast<int32_t>(points) - 1);
    Scene scene;
    for (size_t i = 0; i < points; ++i) {
        PointState p{coordinate(random), coordinate(random), coordinate(random), 1.0f,
                     coordinate(random), coordinate(random), coordinate(random), 1.0f};
        if (i % 7 == 3) p = scene.state[i - 1];  // coincident with the previous point
        if (i % 13 == 5) p.x = p.y = p.z = 0.0f;  // with the next: closer than any float length
        if (i % 13 == 6) p.x = 1e-40f, p.y = p.z = 0.0f;
        scene.state.push_back(p);
    }
    for (size_t s = 0; s < springs; ++s) {
        Spring spring;
        spring.pointA = pick(random);
        spring.pointB = s % 11 == 5 ? spring.pointA : pick(random);
        if (s % 17 == 8) spring.pointA = 5, spring.pointB = 6;
        spring.stiffness = 121100.0f;
        spring.damping = 110.0f;
        spring.restLength = std::abs(coordinate(random));
        spring.stretchPercent = 100.0f;
        spring.maxDeviation = spring.restLength;
        scene.springs.push_back(spring);
    }
    for (size_t f = 0; f < faces; ++f) {
        Face face;
        face.pointA = pick(random);
        face.pointB = f % 9 == 4 ? face.pointA : pick(random);
        face.pointC = pick(random);
        if (f % 19 == 7) face.pointA = 5, face.pointB = 6, face.pointC = 18;
        scene.faces.push_back(face);
    }
    return scene;
}

struct Outputs {
    std::vector<float> forces, area, nx, ny, nz;
    std::vector<uint8_t> marks, separateMarks;
    std::vector<Face> faces;
    float volume = 0.0f;
    size_t marked = 0, separatelyMarked = 0;
    float margin = -1.0f;
};

// How the springs and the face geometry are run: one after the other, or
// together (with or without room for the volume terms).
enum class Together { no, withoutTerms, withTerms };

Outputs run(const BulkKernels& kernels, Scene scene, Together together = Together::no) {
    Outputs out;
    out.forces.assign(forceStride * scene.state.size(), 0.0f);
    // Start sums with signed zeros among them: a stray +0 term would show.
    for (size_t i = 0; i < out.forces.size(); ++i)
        out.forces[i] = i % 3 == 1 ? -0.0f : 0.5f * static_cast<float>(i % 5);
    out.area.assign(scene.faces.size(), 0.0f);
    out.nx = out.ny = out.nz = out.area;
    out.marks.assign(scene.springs.size(), 7);
    out.separateMarks = out.marks;
    std::vector<double> terms(scene.faces.size(), -1.0);
    const ForcePass pass{scene.springs.data(), scene.springs.size(), scene.faces.data(), scene.faces.size(),
                         scene.state.data(), out.forces.data(), out.area.data(), out.nx.data(), out.ny.data(),
                         out.nz.data(), out.marks.data(),
                         together == Together::withTerms ? terms.data() : nullptr, &out.margin};
    if (together == Together::no) {
        kernels.addSprings(pass, out.marked);
        out.volume = kernels.faceGeometry(pass);
    } else {
        out.volume = kernels.springsAndFaces(pass, out.marked);
    }
    out.separatelyMarked = kernels.markStretched(scene.springs.data(), scene.springs.size(), scene.state.data(),
                                                 out.separateMarks.data());
    kernels.addFaceShares(scene.faces.data(), scene.faces.size(), out.area.data(), out.nx.data(), out.ny.data(),
                          out.nz.data(), 1826320.0f, 1.0f / out.volume, out.forces.data());
    out.faces = scene.faces;
    return out;
}

// x, y and z of every point's force; the fourth float of a row is scratch.
void expectSameForces(const std::vector<float>& a, const std::vector<float>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        if (i % forceStride != 3) {
            ASSERT_EQ(bits(a[i]), bits(b[i])) << "force of point " << i / forceStride;
        }
}

bool sameFaceOutputs(const Face& a, const Face& b) {
    return bits(a.area) == bits(b.area) && bits(a.normal.z) == bits(b.normal.z) &&
           bits(a.pressureForce.x) == bits(b.pressureForce.x) && bits(a.pressureForce.y) == bits(b.pressureForce.y) &&
           bits(a.pressureForce.z) == bits(b.pressureForce.z);
}

void expectSameFloats(const std::vector<float>& a, const std::vector<float>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(bits(a[i]), bits(b[i])) << what << " " << i;
}

}  // namespace

TEST(BulkKernels, EveryWideSetAgreesWithThePortableLoopsBitForBit) {
    // Counts around multiples of four and eight, so every short last group is covered.
    for (size_t extra = 0; extra < 9; ++extra) {
        const Scene scene = randomScene(40 + extra, 101 + extra, 66 + extra, static_cast<unsigned>(17 + extra));
        const Outputs portable = run(portableKernels(), scene);
        EXPECT_EQ(portable.marks, portable.separateMarks);
        EXPECT_EQ(portable.separatelyMarked, portable.marked);
        for (const NamedKernels& set : availableKernels()) {
            for (Together together : {Together::no, Together::withoutTerms, Together::withTerms}) {
                SCOPED_TRACE(std::string(set.name) + " loops, extra " + std::to_string(extra) + ", together " +
                             std::to_string(static_cast<int>(together)));
                const Outputs wide = run(*set.kernels, scene, together);
                EXPECT_EQ(bits(portable.volume), bits(wide.volume));
                expectSameForces(portable.forces, wide.forces);
                expectSameFloats(portable.area, wide.area, "area");
                expectSameFloats(portable.nx, wide.nx, "normal x");
                expectSameFloats(portable.ny, wide.ny, "normal y");
                expectSameFloats(portable.nz, wide.nz, "normal z");
                EXPECT_EQ(portable.marks, wide.marks);
                EXPECT_EQ(wide.marks, wide.separateMarks);
                EXPECT_EQ(portable.marked, wide.marked);
                for (size_t f = 0; f < scene.faces.size(); ++f)
                    EXPECT_TRUE(sameFaceOutputs(portable.faces[f], wide.faces[f])) << "face " << f;
            }
        }
    }
}

TEST(BulkKernels, StretchPreCheckNeverMissesASpringThatFires) {
    // Springs whose length sits within a few float steps of rest + maxDeviation
    // (and of rest − maxDeviation, for limits tighter than the rest length),
    // plus coincident ends: every spring the exact test fires on must be marked.
    std::vector<PointState> state;
    std::vector<Spring> springs;
    for (int k = 0; k < 400; ++k) {
        const float rest = 0.01f + 0.37f * static_cast<float>(k % 23);
        const float maxDeviation = k % 5 == 0 ? rest * 0.25f : rest;
        const float target = (k % 2 == 0 ? rest + maxDeviation : rest - maxDeviation);
        float length = target;
        for (int step = 0; step < (k % 9) - 4; ++step) length = std::nextafter(length, 100.0f);
        for (int step = 0; step < 4 - (k % 9); ++step) length = std::nextafter(length, 0.0f);
        const int32_t a = static_cast<int32_t>(state.size());
        state.push_back(PointState{0.5f, -1.0f, 2.0f, 1.0f, 0, 0, 0, 1.0f});
        const float along = k % 3 == 0 ? 0.0f : length;  // k % 3 == 0: ends coincide
        state.push_back(PointState{0.5f + along * 0.6f, -1.0f + along * 0.8f, 2.0f, 1.0f, 0, 0, 0, 1.0f});
        Spring spring;
        spring.pointA = a;
        spring.pointB = a + 1;
        spring.restLength = rest;
        spring.stretchPercent = 100.0f;
        spring.maxDeviation = maxDeviation;
        springs.push_back(spring);
    }
    for (const NamedKernels& set : availableKernels()) {
        SCOPED_TRACE(set.name);
        std::vector<uint8_t> marks(springs.size(), 0);
        set.kernels->markStretched(springs.data(), springs.size(), state.data(), marks.data());
        int fired = 0;
        for (size_t s = 0; s < springs.size(); ++s) {
            std::vector<MassPoint> points(2);
            for (int e = 0; e < 2; ++e) {
                const PointState& p = state[2 * s + e];
                points[e] = MassPoint::make(1.0f, Vector3{p.x, p.y, p.z}, Vector3{});
            }
            Spring local = springs[s];
            local.pointA = 0;
            local.pointB = 1;
            const Vector3 before = points[0].position;
            local.applyStretchLimit(points.data());
            if (!(points[0].position == before)) {
                ++fired;
                EXPECT_EQ(marks[s], 1) << "spring " << s << " fires but was not marked";
            }
        }
        EXPECT_GT(fired, 20);  // the set really straddles the limit
    }
}

TEST(BulkKernels, StretchMarginIsALowerBoundOfEverySpringsRoomToItsLimit) {
    // Springs with rest lengths around their present length, so none is near
    // its limit but some are nearer than others; drifting a point by less than
    // a quarter of the margin must then never let a spring fire.
    Scene scene = randomScene(60, 203, 8, 5);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> factor(0.55f, 1.8f);
    std::vector<Spring> springs;
    for (Spring spring : scene.springs) {
        const PointState& a = scene.state[spring.pointA];
        const PointState& b = scene.state[spring.pointB];
        const double length = std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
        if (length < 1e-3) continue;
        spring.restLength = static_cast<float>(length) * factor(random);
        spring.maxDeviation = spring.restLength;
        springs.push_back(spring);
    }
    scene.springs = springs;
    double room = 1e300;
    for (const Spring& spring : springs) {
        const PointState& a = scene.state[spring.pointA];
        const PointState& b = scene.state[spring.pointB];
        const double length = std::hypot(a.x - b.x, a.y - b.y, a.z - b.z);
        room = std::min({room, static_cast<double>(spring.restLength) + spring.maxDeviation - length,
                         length - (static_cast<double>(spring.restLength) - spring.maxDeviation)});
    }
    for (const NamedKernels& set : availableKernels()) {
        SCOPED_TRACE(set.name);
        const Outputs out = run(*set.kernels, scene, Together::withTerms);
        EXPECT_EQ(out.marked, 0u);
        EXPECT_GT(out.margin, 0.5 * room);  // a useful bound
        EXPECT_LE(out.margin, room);        // and a safe one
        // Move every point by just under a quarter of the margin in each
        // coordinate: no spring may fire.
        std::vector<MassPoint> points;
        const float step = out.margin * 0.2499f;
        for (size_t i = 0; i < scene.state.size(); ++i) {
            const PointState& p = scene.state[i];
            const float sign = i % 2 == 0 ? 1.0f : -1.0f;
            points.push_back(MassPoint::make(
                1.0f, Vector3{p.x + sign * step, p.y - sign * step, p.z + sign * step}, Vector3{}));
        }
        for (const Spring& spring : springs) {
            std::vector<MassPoint> moved = points;
            spring.applyStretchLimit(moved.data());
            EXPECT_TRUE(moved[spring.pointA].position == points[spring.pointA].position) << "a spring fired";
        }
    }
}
