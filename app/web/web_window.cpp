#include "app/web/web_window.h"

#include <GL/glut.h>

#include <iostream>

#include "app/front_end.h"

namespace plumfold {

namespace {
// Escape ends the native program; a page stays open, so the simulation stops
// instead, the last picture stays and the mouse no longer drags.
void keyboardOnPage(unsigned char key, int, int) {
    constexpr unsigned char escape = 27;
    if (key != escape) return;
    glutIdleFunc(nullptr);
    glutMouseFunc(nullptr);
    glutMotionFunc(nullptr);
    glutKeyboardFunc(nullptr);
    std::cout << "Simulation ended (Escape)." << std::endl;
}
}  // namespace

void runWebWindow() {
    int argc = 1;
    char name[] = "plumfold";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitWindowSize(windowWidth, windowHeight);
    // The depth buffer must be asked for: the page's context has none otherwise.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutCreateWindow("Plumfold");
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutKeyboardFunc(keyboardOnPage);
    glutReshapeFunc(reshape);
    glutDisplayFunc(display);
    glutIdleFunc(idle);
    glutMainLoop();
}

}  // namespace plumfold
