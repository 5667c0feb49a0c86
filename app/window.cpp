// Window set-up: the one GLUT window and the callback registration.
#include <GL/glut.h>

#include <cstdlib>

#include "app/front_end.h"

namespace plumfold {

namespace {
const char* const windowTitle = "Plumfold 3.0 by the Plumfold team, plumfold.dev";
}

void openWindow(int argc, char** argv) {
    // freeglut refuses every other call before glutInit.
    glutInit(&argc, argv);
    glutInitWindowPosition(200, 200);
    glutInitWindowSize(windowWidth, windowHeight);
    // A depth buffer, so the far side of the body and the walls behind it never
    // show through whatever happens to be drawn later.
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    if (glutCreateWindow(windowTitle) == 0) {
        // No window means the demo cannot run at all: a failure, not a success.
        std::exit(1);
    }
}

void runWindow(int argc, char** argv) {
    openWindow(argc, argv);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    glutKeyboardFunc(keyboard);
    glutReshapeFunc(reshape);
    glutDisplayFunc(display);
    glutIdleFunc(idle);
    glutMainLoop();
    std::exit(0);  // only if a GLUT ever returned from its loop
}

}  // namespace plumfold
