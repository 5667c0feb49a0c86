// gluLookAt as GLU defines it, for the browser build. emscripten 3.1.6's own
// passes its arguments to its matrix library in the wrong order and leaves the
// current matrix untouched, so the camera stayed at the origin and the page
// showed the body from inside the box. A definition here takes its place.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

namespace {
struct Direction {
    double x, y, z;
};

Direction cross(const Direction& a, const Direction& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Direction unit(const Direction& d) {
    double length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    if (length == 0.0) return d;
    return {d.x / length, d.y / length, d.z / length};
}
}  // namespace

extern "C" void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
                          GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    Direction forward = unit({centerX - eyeX, centerY - eyeY, centerZ - eyeZ});
    Direction side = unit(cross(forward, unit({upX, upY, upZ})));
    Direction up = cross(side, forward);
    // Rows side, up, −forward, stored column by column.
    const GLdouble rotation[16] = {side.x, up.x, -forward.x, 0.0, side.y, up.y, -forward.y, 0.0,
                                   side.z, up.z, -forward.z, 0.0, 0.0,    0.0,  0.0,        1.0};
    glMultMatrixd(rotation);
    glTranslated(-eyeX, -eyeY, -eyeZ);
}
