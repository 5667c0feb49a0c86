// mouse, motion and keyboard: dragging the body with the left button, Escape
// to quit.
#include <GL/glut.h>

#include <cstdlib>
#include <iostream>

#include "app/front_end.h"

namespace plumfold {

DragState drag;

void mouse(int button, int state, int x, int y) {
    if (button != GLUT_LEFT_BUTTON) return;
    if (state == GLUT_DOWN) {
        // A second press during a drag ends the first one inside pressDrag, so
        // at most one drag point and spring ever exist.
        pressDrag(body, drag, x, y, windowWidth, windowHeight);
        std::cout << drag.mouseX << std::endl;
        std::cout << drag.mouseY << std::endl;
    } else if (state == GLUT_UP) {
        releaseDrag(body, drag);
    }
}

void motion(int x, int y) {
    if (moveDrag(body, drag, x, y, windowWidth, windowHeight)) glutPostRedisplay();
}

void keyboard(unsigned char key, int, int) {
    constexpr unsigned char escape = 27;
    if (key == escape) std::exit(0);
}

}  // namespace plumfold
