#include "mesh/mesh_data.h"

#include <cstdlib>

namespace plumfold {

std::string formatCoordinate(float value) {
    char text[64];
    for (int precision = 6; precision <= 9; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, static_cast<double>(value));
        if (static_cast<float>(std::atof(text)) == value) break;
    }
    return text;
}

bool writeMesh(std::FILE* out, const MeshData& mesh, const std::string& title) {
    std::fprintf(out, "%s\nVertices: %d Faces: %d\nVertex List:\n", title.c_str(), mesh.vertexCount(),
                 mesh.faceCount());
    for (int32_t i = 0; i < mesh.vertexCount(); ++i) {
        const float* v = &mesh.vertices[3 * static_cast<size_t>(i)];
        std::fprintf(out, "Vertex %d: X:%s Y:%s Z:%s\n", i, formatCoordinate(v[0]).c_str(),
                     formatCoordinate(v[1]).c_str(), formatCoordinate(v[2]).c_str());
    }
    std::fprintf(out, "Face list:\n");
    for (int32_t j = 0; j < mesh.faceCount(); ++j) {
        const int32_t* f = &mesh.faceIndices[3 * static_cast<size_t>(j)];
        std::fprintf(out, "Face %d: A:%d B:%d C:%d\n", j, f[0], f[1], f[2]);
    }
    return std::fflush(out) == 0 && !std::ferror(out);
}

}  // namespace plumfold
