#pragma once
// Lighting under the browser's GL emulation, which normalises every normal after
// the modelview matrix. Desktop GL (no GL_NORMALIZE) leaves the body's unit
// normals shrunk by its scale s, which dims diffuse light by 1/s and, through the
// shininess exponent n, specular light by (1/s)^n. The browser gets those factors
// in its material instead, so both pictures are lit alike.
#include <GL/gl.h>

namespace plumfold {

// Sets the front material's diffuse and specular colours to the given ones
// dimmed as desktop GL dims them for a body drawn at scale `scale`.
void setMaterialForScaledNormals(const GLfloat diffuse[4], const GLfloat specular[4], GLfloat shininess, GLfloat scale);

}  // namespace plumfold
