#pragma once
// Test helpers: bodies built in memory, and the scene trajectory's checksum.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "body/scene.h"
#include "body/state_hash.h"
#include "mesh/mesh_data.h"
#include "mesh/mesh_file.h"
#include "tests/support/process.h"

namespace plumfold {

inline PressureBody bodyFromMesh(const MeshData& data, const BodyParams& params = BodyParams{}) {
    return PressureBody(MeshFile{nullptr, data.vertexCount(), data.faceCount(), data.vertices, data.faceIndices},
                        params);
}

// The scene's body (its parameters and gravity) built from a mesh in memory.
inline PressureBody sceneBody(const MeshData& data) {
    PressureBody body = bodyFromMesh(data);
    body.gravity = sceneGravity;
    return body;
}

// A body of loose points (no springs, no faces) with gravity g.
inline PressureBody loosePoints(std::initializer_list<MassPoint> points, Vector3 g = {}) {
    PressureBody body;
    body.points = points;
    body.gravity = g;
    return body;
}

// The scene body from a mesh file after `steps` simulation steps.
inline PressureBody sceneBodyAfter(const std::string& meshPath, uint64_t steps) {
    BodyParams params;
    params.fileName = meshPath.c_str();
    PressureBody body(params);
    body.gravity = sceneGravity;
    for (uint64_t i = 0; i < steps; ++i) simulationStep(body);
    return body;
}

// The mesh written by the tools' writer and read back by the program's reader.
inline plumfold::MeshFileResult writtenAndReadBack(const MeshData& mesh,
                                                   plumfold::MeshFileCheck check = plumfold::MeshFileCheck::Usable) {
    TempDir dir;
    const std::string path = (dir.path / "mesh.asc").string();
    std::FILE* out = std::fopen(path.c_str(), "w");
    const bool written = out != nullptr && writeMesh(out, mesh, "test mesh");
    if (out != nullptr) std::fclose(out);
    plumfold::MeshFileResult read = written ? plumfold::readMeshFile(path.c_str(), check) : plumfold::MeshFileResult{};
    read.mesh.fileName = nullptr;  // it named the folder removed here
    return read;
}

// Every bit of the records (plain floats and indices, without padding).
template <class Record>
bool sameRecords(const std::vector<Record>& a, const std::vector<Record>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Record)) == 0);
}

inline bool allFinite(const PressureBody& body) {
    for (const MassPoint& p : body.points)
        for (float c : {p.position.x, p.position.y, p.position.z, p.velocity.x, p.velocity.y, p.velocity.z, p.force.x,
                        p.force.y, p.force.z})
            if (!std::isfinite(c)) return false;
    return true;
}

}  // namespace plumfold
