// Plumfold: a pressurised soft body falling into an open box.
#include <iostream>

#include "app/front_end.h"
#include "app/shipped_mesh.h"
#include "body/scene.h"

// Built during static initialisation, before main runs: a mesh file that cannot
// be read ends the process here, before any report line and any window.
PressureBody body{[] { BodyParams params; params.fileName = plumfold::shippedMeshPath(); return params; }()};

int windowWidth = 0;
int windowHeight = 0;

int main(int argc, char** argv) {
    body.gravity = sceneGravity;
    windowWidth = initialWindowWidth;
    windowHeight = initialWindowHeight;

    // The report is complete and flushed before GLUT is touched, so it reaches
    // a pipe or a file even where no window can be opened.
    std::cout << "Window Width: " << windowWidth << std::endl;
    std::cout << "Window Height: " << windowHeight << std::endl;
    std::cout << std::endl;
    std::cout << "Loaded: " << body.faces.size() << " faces..." << std::endl;
    std::cout << "Loaded: " << body.points.size() << " points..." << std::endl;
    std::cout << "Created: " << body.springs.size() << " spring connections..." << std::endl;

    runWindow(argc, argv);
}
