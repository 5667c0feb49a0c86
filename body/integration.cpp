// The time step one record at a time: the plain reference. The engine
// (body/engine/) runs the same phases in bulk and is held to these bits.
#include <cmath>

#include "body/engine/engine.h"
#include "body/pressure_body.h"
#include "body/walls.h"

namespace plumfold {

void PressureBody::integrateReference(IntegrationMode mode, float dt) {
    if (mode == Euler) {
        // Semi-implicit in form: the position uses the velocity just updated.
        for (MassPoint& point : points) {
            point.velocityChange = (point.force * point.inverseMass) * dt;
            point.velocity = point.velocity + point.velocityChange;
            point.positionChange = point.velocity * dt;
            point.position = point.position + point.positionChange;
        }
    } else if (mode == Heun) {
        // 1. Keep the start state; its forces are F0.
        stepCopy.assign(points.begin(), points.end());
        // 2. Predict with an Euler step (and its stretch limit pass).
        integrateReference(Euler, dt);
        // 3. F1, the forces at the prediction.
        computeForcesReference();
        // 4. Back to the start: v += (dt/2 · (F1 + F0)) · 1/m, x += v · dt, the walls.
        const float h = static_cast<float>(dt * 0.5);
        for (size_t i = 0; i < points.size(); ++i) {
            MassPoint& point = points[i];
            point.velocity = stepCopy[i].velocity;
            point.position = stepCopy[i].position;
            point.velocity = point.velocity + ((h * (point.force + stepCopy[i].force)) * point.inverseMass);
            point.position = point.position + point.velocity * dt;
            applyWalls(point.position, point.velocity);
        }
    }
    // Every mode ends with the stretch limit pass, spring by spring in order.
    // A Heun step counts its predictor's corrections too.
    int fired = 0;
    for (const Spring& spring : springs) fired += spring.applyStretchLimit(points.data()) ? 1 : 0;
    stretchCorrections = (mode == Heun ? stretchCorrections : 0) + fired;
}

void PressureBody::integrate(IntegrationMode mode, float dt) { engine.get().integrate(*this, mode, dt); }

void PressureBody::step(float dt) { engine.get().step(*this, dt); }

}  // namespace plumfold
