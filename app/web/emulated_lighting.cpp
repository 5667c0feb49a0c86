#include "app/web/emulated_lighting.h"

#include <cmath>

namespace plumfold {

void setMaterialForScaledNormals(const GLfloat diffuse[4], const GLfloat specular[4], GLfloat shininess,
                                 GLfloat scale) {
    const double shrink = 1.0 / scale;
    const double specularShrink = std::pow(shrink, static_cast<double>(shininess));
    GLfloat dimDiffuse[4], dimSpecular[4];
    for (int i = 0; i < 3; ++i) {
        dimDiffuse[i] = static_cast<GLfloat>(diffuse[i] * shrink);
        dimSpecular[i] = static_cast<GLfloat>(specular[i] * specularShrink);
    }
    dimDiffuse[3] = diffuse[3];  // alpha is not lighting
    dimSpecular[3] = specular[3];
    glMaterialfv(GL_FRONT, GL_DIFFUSE, dimDiffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, dimSpecular);
}

}  // namespace plumfold
