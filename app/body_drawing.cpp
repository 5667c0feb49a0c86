// PressureBody::draw: the open box, the body's facets and the drag spring, in
// immediate mode under the current modelview matrix. Every vertex between
// glBegin and glEnd gets the same attribute calls in the same order (colour for
// the box, normal for the body) and no glBegin is left empty: the browser's GL
// emulation packs the calls into one interleaved array and misreads any other
// sequence, and for desktop GL the pictures are the same either way.
#include <GL/gl.h>

#include "body/drag.h"
#include "body/pressure_body.h"

namespace plumfold {

namespace {
struct BoxFace {
    GLfloat colour[3];
    GLfloat corners[4][3];
};

// Top, floor, left and right wall; the front and back stay open so the viewer
// looks in.
constexpr BoxFace boxFaces[4] = {
    {{0.44f, 0.53f, 0.62f}, {{-4.5f, 4.5f, -4.5f}, {4.5f, 4.5f, -4.5f}, {4.5f, 4.5f, 4.5f}, {-4.5f, 4.5f, 4.5f}}},
    {{0.14f, 0.23f, 0.48f}, {{-4.5f, -4.5f, -4.5f}, {4.5f, -4.5f, -4.5f}, {4.5f, -4.5f, 4.5f}, {-4.5f, -4.5f, 4.5f}}},
    {{0.44f, 0.43f, 0.62f}, {{-4.5f, -4.5f, -4.5f}, {-4.5f, 4.5f, -4.5f}, {-4.5f, 4.5f, 4.5f}, {-4.5f, -4.5f, 4.5f}}},
    {{0.44f, 0.43f, 0.52f}, {{4.5f, -4.5f, -4.5f}, {4.5f, 4.5f, -4.5f}, {4.5f, 4.5f, 4.5f}, {4.5f, -4.5f, 4.5f}}},
};

void vertex(const Vector3& v) { glVertex3f(v.x, v.y, v.z); }
}  // namespace

void PressureBody::draw() const {
    // The box in flat, unlit colours.
    glDisable(GL_LIGHTING);
    glBegin(GL_QUADS);
    for (const BoxFace& face : boxFaces) {
        for (const auto& corner : face.corners) {
            glColor3f(face.colour[0], face.colour[1], face.colour[2]);
            glVertex3f(corner[0], corner[1], corner[2]);
        }
    }
    glEnd();

    // The body, lit, one normal per facet; its colour comes from the material.
    glEnable(GL_LIGHTING);
    glColor3f(0.0f, 0.0f, 1.0f);
    if (!faces.empty()) {
        glBegin(GL_TRIANGLES);
        for (const Face& face : faces) {
            for (int32_t corner : {face.pointA, face.pointB, face.pointC}) {
                glNormal3f(face.normal.x, face.normal.y, face.normal.z);
                vertex(points[corner].position);
            }
        }
        glEnd();
    }

    // The drag spring, recognised by its stiffness, as a white line.
    glDisable(GL_LIGHTING);
    glColor3f(1.0f, 1.0f, 1.0f);
    if (!springs.empty() && springs.back().stiffness == dragStiffness) {
        glBegin(GL_LINES);
        vertex(points[springs.back().pointA].position);
        vertex(points[springs.back().pointB].position);
        glEnd();
    }
    glEnable(GL_LIGHTING);
}

}  // namespace plumfold
