// reshape and display: the viewport, projection, lights, material and camera,
// all set again every frame.
#include <GL/glu.h>
#include <GL/glut.h>

#include "app/front_end.h"
#ifdef __EMSCRIPTEN__
#include "app/web/emulated_lighting.h"
#endif

namespace plumfold {

void reshape(int width, int height) {
    windowWidth = width;
    windowHeight = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glutPostRedisplay();
}

namespace {
// w = 1: the two lights are lamps at these points in eye coordinates, not
// directions. Light 0 sits behind and to the right of the viewer and lights the
// side of the body that faces the camera; both are far enough away (60 and 130
// units, the body about 16) that their light falls almost evenly across it.
const GLfloat light0Position[4] = {35.0f, 21.0f, 123.0f, 1.0f};
const GLfloat light1Position[4] = {35.0f, 41.0f, -43.0f, 1.0f};

const GLfloat materialAmbient[4] = {0.3f, 0.3f, 0.3f, 1.0f};
const GLfloat materialSpecular[4] = {0.3f, 0.3f, 0.3f, 1.0f};
const GLfloat materialDiffuse[4] = {0.5f, 0.8f, 1.0f, 1.0f};
const GLfloat materialShininess[1] = {5.9f};
const GLfloat bodyScale = 1.4f;  // the body drawn 1.4 times its simulated size

// A window shrunk to no height would divide by zero; it shows nothing anyway,
// so any finite ratio does.
double aspectRatio() {
    if (windowHeight <= 0) return 1.0;
    return static_cast<double>(windowWidth) / static_cast<double>(windowHeight);
}
}  // namespace

void display() {
    drawScene();
    glutSwapBuffers();
}

void drawScene() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHT1);
    glMaterialfv(GL_FRONT, GL_AMBIENT, materialAmbient);
    glMaterialfv(GL_FRONT, GL_SPECULAR, materialSpecular);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, materialDiffuse);
    glMaterialfv(GL_FRONT, GL_SHININESS, materialShininess);
#ifdef __EMSCRIPTEN__
    setMaterialForScaledNormals(materialDiffuse, materialSpecular, materialShininess[0], bodyScale);
#endif

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(50.0, aspectRatio(), 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Set under the identity, so the lights stay fixed relative to the viewer.
    glLightfv(GL_LIGHT0, GL_POSITION, light0Position);
    glLightfv(GL_LIGHT1, GL_POSITION, light1Position);
    glEnable(GL_BLEND);  // with the default blend function: plain replacement
    glEnable(GL_LIGHTING);
    gluLookAt(5.0, 0.0, 15.0, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);

    glColor3f(0.0f, 0.0f, 0.0f);
    glPointSize(4.0f);
    glLineWidth(3.0f);
    glPushMatrix();
    glTranslatef(0.0f, 1.67f, 0.0f);
    glScalef(bodyScale, bodyScale, bodyScale);
    body.draw();
    glPopMatrix();
}

}  // namespace plumfold
