// Plumfold: a pressurised soft body falling into an open box.
#include <iostream>

#include "body/scene.h"

// Built during static initialisation, before main runs: a mesh file that cannot
// be read ends the process here, before any report line.
static PressureBody body{BodyParams{}};

static int windowWidth = 0;
static int windowHeight = 0;

int main() {
    body.gravity = sceneGravity;
    windowWidth = initialWindowWidth;
    windowHeight = initialWindowHeight;

    std::cout << "Window Width: " << windowWidth << std::endl;
    std::cout << "Window Height: " << windowHeight << std::endl;
    std::cout << std::endl;
    std::cout << "Loaded: " << body.faces.size() << " faces..." << std::endl;
    std::cout << "Loaded: " << body.points.size() << " points..." << std::endl;
    std::cout << "Created: " << body.springs.size() << " spring connections..." << std::endl;
    return 0;
}
