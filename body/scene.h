#pragma once
// The demo scene, compiled in: the body's parameters are BodyParams' defaults
// (mesh "Objects/Objekt3.asc", scale 0.9, point mass 1, stiffness 121100,
// damping 110); the rest stands here.
#include "body/pressure_body.h"

namespace plumfold {

constexpr Vector3 sceneGravity{0.0f, -500.0f, 0.0f};
constexpr float timeStep = 0.001f;  // simulated time units per step
constexpr int initialWindowWidth = 600;
constexpr int initialWindowHeight = 600;

// One simulation step: forces at the current state (computeForces), then one
// Heun step (integrate), run together.
inline void simulationStep(PressureBody& body) { body.step(timeStep); }

}  // namespace plumfold
