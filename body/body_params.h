#pragma once
#include "body/vector3.h"

namespace plumfold {

// What a body is built from. Defaults are the demo scene's tuning.
struct BodyParams {
    Vector3 offset;                                // added to every scaled vertex
    float scale = 0.9f;                            // uniform factor on every vertex coordinate
    float pointMass = 1.0f;                        // mass of every mass point; 0 makes every point fixed
    float stiffness = 121100.0f;                   // spring constant of every edge spring
    float damping = 110.0f;                        // damping constant of every edge spring
    const char* fileName = "Objects/Objekt3.asc";  // mesh file, relative to the working directory
};

}  // namespace plumfold
