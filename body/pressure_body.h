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

struct MeshFile;

class StepSolver;

// Holds the body's fast-step working arrays (body/step_solver.h). They are a
// cache: a copied or assigned body does not share them and builds its own on
// first use, so copies stay independent.
class StepSolverSlot {
public:
    StepSolverSlot();
    StepSolverSlot(const StepSolverSlot&);
    StepSolverSlot(StepSolverSlot&&) noexcept;
    StepSolverSlot& operator=(const StepSolverSlot&);
    StepSolverSlot& operator=(StepSolverSlot&&) noexcept;
    ~StepSolverSlot();

    StepSolver& get();

private:
    std::unique_ptr<StepSolver> solver_;
};

using IntegrationMode = int32_t;
constexpr IntegrationMode Euler = 0;  // explicit Euler step, no walls
constexpr IntegrationMode Heun = 1;   // Heun predictor-corrector with the box walls

// Half-width of the open box and the floor height: |x|, |z| <= 4.5, y >= -4.5.
constexpr double boxLimit = 4.5;

struct PressureBody {
    Vector3 gravity;                    // acceleration; every point receives mass × gravity
    float volume = 0.0f;                // 1.998 × enclosed volume (negative when wound inwards)
    float inverseVolume = 0.0f;         // 1 / volume; 0 while the pressure is undefined
    float pressureConstant = 1826320.0f;  // nRT of the gas
    std::vector<MassPoint> stepCopy;    // points at the start of the current Heun step
    std::vector<MassPoint> points;      // point i comes from vertex i
    std::vector<Spring> springs;        // in order of creation; the drag spring last
    std::vector<Face> faces;            // one per triangle, in file order
    StepSolverSlot solver;              // working arrays of computeForces and integrate

    PressureBody() = default;
    // Reads p.fileName and builds the body; a file the reader rejects ends the
    // process with the reader's line on standard output and status 1, as the
    // demo always has.
    explicit PressureBody(const BodyParams& p);
    // Builds the body from a mesh that has already been read and checked.
    PressureBody(const MeshFile& mesh, const BodyParams& p);

    void computeForces();
    void computeVolume();
    void integrate(IntegrationMode mode, float dt);

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
std::vector<Spring> buildSprings(const std::vector<MassPoint>& points, const std::vector<Face>& faces,
                                 float stiffness, float damping);
