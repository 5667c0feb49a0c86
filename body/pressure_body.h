#pragma once
// A pressurised soft body: point masses joined by damped springs along the mesh
// edges, kept inflated by a gas pressure on every face that is inversely
// proportional to the enclosed volume.
#include <cstdint>
#include <memory>
#include <vector>

#include "body/body_params.h"
#include "body/records.h"
#include "body/vector3.h"

namespace plumfold {

struct MeshFile;
class Engine;

// Holds the body's engine (body/engine/engine.h) and its working arrays. They
// are a cache: a copied or assigned body does not share them and builds its own
// on first use, so copies stay independent.
class EngineSlot {
public:
    EngineSlot();
    EngineSlot(const EngineSlot&);
    EngineSlot(EngineSlot&&) noexcept;
    EngineSlot& operator=(const EngineSlot&);
    EngineSlot& operator=(EngineSlot&&) noexcept;
    ~EngineSlot();

    plumfold::Engine& get();

private:
    std::unique_ptr<plumfold::Engine> engine_;
};

using IntegrationMode = int32_t;
constexpr IntegrationMode Euler = 0;  // explicit Euler step, no walls
constexpr IntegrationMode Heun = 1;   // Heun predictor-corrector with the box walls

// Half-width of the open box and the floor height: |x|, |z| <= 4.5, y >= -4.5.
constexpr double boxLimit = 4.5;

struct PressureBody {
    Vector3 gravity;                      // acceleration; every point receives mass × gravity
    float volume = 0.0f;                  // 1.998 × enclosed volume (negative when wound inwards)
    float inverseVolume = 0.0f;           // 1 / volume; 0 while the pressure is undefined
    float pressureConstant = 1826320.0f;  // nRT of the gas
    std::vector<MassPoint> stepCopy;      // points at the start of the current Heun step
    std::vector<MassPoint> points;        // point i comes from vertex i
    std::vector<Spring> springs;          // in order of creation; the drag spring last
    std::vector<Face> faces;              // one per triangle, in file order
    int stretchCorrections = 0;           // springs the stretch limit corrected in the last integrate
    EngineSlot engine;                    // runs computeForces and integrate

    PressureBody() = default;
    // Reads p.fileName and builds the body; a file the reader rejects ends the
    // process with the reader's line on standard output and status 1, as the
    // demo always has.
    explicit PressureBody(const BodyParams& p);
    // Builds the body from a mesh that has already been read and checked.
    PressureBody(const MeshFile& mesh, const BodyParams& p);

    // The step, computed in bulk by the engine (body/engine/engine.h): the
    // forces at the current state into every point's force (and the faces'
    // geometry, the volume and the pressure forces), then one time step.
    // Springs, faces, points and parameters are read anew on every call, so
    // they may change between calls; a step allocates nothing.
    void computeForces();
    void integrate(IntegrationMode mode, float dt);
    // computeForces, then integrate(Heun, dt): the same bits, with fewer
    // passes over the points.
    void step(float dt);
    // How many times the stretch limit corrected a spring in the last
    // integrate (a Heun step counts its predictor's pass and its closing pass).
    int lastStretchCorrections() const { return stretchCorrections; }

    // The same, one record at a time: the plain reference, with the bits the
    // engine is held to. Slow; for tests and the benchmark.
    void computeForcesReference();
    void integrateReference(IntegrationMode mode, float dt);
    // The volume sum over the faces' stored areas and normals, and 1 / volume.
    void computeVolume();

    // Draws the box, the faces and the drag spring with OpenGL. Defined by the
    // interactive program only, so the simulation core links without a display.
    void draw() const;
};

// True when both springs join the same two positions, in either direction.
bool springsEqual(const Spring& s, const Spring& t, const MassPoint* points);

// Springs for every distinct triangle edge, in order of first appearance, by the
// plain linear scan (quadratic; kept as the reference for the hashed lookup).
std::vector<Spring> buildSpringsByScan(const std::vector<MassPoint>& points, const std::vector<Face>& faces,
                                       float stiffness, float damping);
// The same springs in the same order, by a hashed lookup.
std::vector<Spring> buildSprings(const std::vector<MassPoint>& points, const std::vector<Face>& faces, float stiffness,
                                 float damping);

}  // namespace plumfold
