// Fuzz target: the mesh reader on arbitrary bytes, then body construction and a
// few simulation steps with a drag on every body that the reader accepts.
//
// Properties checked (each one a promise of the reader or the model):
// - a rejected file gets one line;
// - an accepted mesh has at least two vertices, finite coordinates and face
//   indices inside the vertex range;
// - construction gives one point per vertex, one face per triangle, at most
//   three springs per face, and the hashed spring lookup agrees with the scan;
// - springs at rest exert no force at all (not even NaN);
// - after every Heun step each coordinate is inside the box (y >= -4.5,
//   |x|, |z| <= 4.5) or not a number; the pressure never divides by zero;
// - a press adds exactly the drag point and spring, a release removes them.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "body/drag.h"
#include "body/scene.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/scratch_file.h"
#include "mesh/mesh_file.h"

using namespace plumfold;

namespace {

bool insideOrNaN(float value, double low, double high) { return std::isnan(value) || (value >= low && value <= high); }

void checkInsideBox(const PressureBody& body, int step) {
    for (size_t i = 0; i < body.points.size(); ++i) {
        const Vector3& p = body.points[i].position;
        FUZZ_CHECK(insideOrNaN(p.x, -boxLimit, boxLimit) && insideOrNaN(p.y, -boxLimit, INFINITY) &&
                       insideOrNaN(p.z, -boxLimit, boxLimit),
                   "point %zu at (%g, %g, %g) outside the box after step %d", i, p.x, p.y, p.z, step);
    }
}

void checkPressure(const PressureBody& body, int step) {
    FUZZ_CHECK(std::isfinite(body.inverseVolume), "inverse volume %g for volume %g in step %d", body.inverseVolume,
               body.volume, step);
}

void checkSameSprings(const std::vector<Spring>& a, const std::vector<Spring>& b) {
    FUZZ_CHECK(a.size() == b.size(), "hashed lookup made %zu springs, the scan %zu", a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        FUZZ_CHECK(a[i].pointA == b[i].pointA && a[i].pointB == b[i].pointB,
                   "spring %zu joins %d-%d by hashing but %d-%d by the scan", i, a[i].pointA, a[i].pointB, b[i].pointA,
                   b[i].pointB);
    }
}

// Freshly built springs are at their rest length and the points at rest, so
// without gravity and pressure every force is exactly zero.
void checkSpringsAtRest(const PressureBody& built) {
    PressureBody body = built;
    body.faces.clear();
    body.gravity = Vector3{};
    body.computeForces();
    for (size_t i = 0; i < body.points.size(); ++i) {
        const Vector3& f = body.points[i].force;
        FUZZ_CHECK(f.x == 0.0f && f.y == 0.0f && f.z == 0.0f, "springs at rest pull point %zu with (%g, %g, %g)", i,
                   f.x, f.y, f.z);
    }
}

void checkAcceptedMesh(const MeshFile& mesh) {
    FUZZ_CHECK(mesh.vertexCount >= 2, "accepted a mesh of %d vertices", mesh.vertexCount);
    FUZZ_CHECK(mesh.vertices.size() == 3 * static_cast<size_t>(mesh.vertexCount), "%zu coordinates for %d vertices",
               mesh.vertices.size(), mesh.vertexCount);
    size_t faces = mesh.faceCount > 0 ? static_cast<size_t>(mesh.faceCount) : 0;
    FUZZ_CHECK(mesh.faceIndices.size() == 3 * faces, "%zu indices for %d faces", mesh.faceIndices.size(),
               mesh.faceCount);
    for (float c : mesh.vertices) FUZZ_CHECK(std::isfinite(c), "accepted the coordinate %g", c);
    for (int32_t index : mesh.faceIndices)
        FUZZ_CHECK(index >= 0 && index < mesh.vertexCount, "accepted index %d of %d vertices", index, mesh.vertexCount);
}

void simulate(const MeshFile& mesh) {
    BodyParams params;
    PressureBody body(mesh, params);
    body.gravity = sceneGravity;
    size_t pointCount = body.points.size();
    size_t springCount = body.springs.size();
    FUZZ_CHECK(pointCount == static_cast<size_t>(mesh.vertexCount), "%zu points from %d vertices", pointCount,
               mesh.vertexCount);
    FUZZ_CHECK(body.faces.size() == mesh.faceIndices.size() / 3, "%zu faces from %zu triangles", body.faces.size(),
               mesh.faceIndices.size() / 3);
    FUZZ_CHECK(springCount <= 3 * body.faces.size(), "%zu springs for %zu faces", springCount, body.faces.size());
    // The scan is quadratic: compare on small bodies only, or big inputs take
    // most of the fuzzing time.
    if (body.faces.size() <= 100)
        checkSameSprings(body.springs, buildSpringsByScan(body.points, body.faces, params.stiffness, params.damping));

    checkSpringsAtRest(body);

    DragState drag;
    for (int step = 0; step < 4; ++step) {
        if (step == 1) {
            // A press far outside the window, as a drag past the screen edge gives.
            pressDrag(body, drag, -2000, 2600, initialWindowWidth, initialWindowHeight);
            FUZZ_CHECK(body.points.size() == pointCount + 1 && body.springs.size() == springCount + 1,
                       "a press left %zu points and %zu springs", body.points.size(), body.springs.size());
            FUZZ_CHECK(body.points.back().mass == 0.0f && body.springs.back().pointB == 1,
                       "the drag point is not the last, fixed point joined to point 1");
        }
        if (step == 3) {
            releaseDrag(body, drag);
            FUZZ_CHECK(body.points.size() == pointCount && body.springs.size() == springCount,
                       "a release left %zu points and %zu springs", body.points.size(), body.springs.size());
        }
        // One simulation step, with the pressure checked at both evaluations.
        body.computeForces();
        checkPressure(body, step);
        body.integrate(Heun, timeStep);
        checkPressure(body, step);
        checkInsideBox(body, step);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = writeScratchFile(data, size, ".asc");
    plumfold::MeshFileResult read = plumfold::readMeshFile(path.c_str());
    if (!read.ok) {
        FUZZ_CHECK(!read.error.empty() && read.error.find('\n') == std::string::npos,
                   "a rejection must be one line: \"%s\"", read.error.c_str());
        return 0;
    }
    const MeshFile& mesh = read.mesh;
    checkAcceptedMesh(mesh);
    simulate(mesh);
    return 0;
}
