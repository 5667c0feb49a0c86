#pragma once
// Test helpers: bodies built in memory, and the scene trajectory's checksum.
#include <cmath>
#include <cstring>
#include <string>

#include "body/scene.h"
#include "body/state_hash.h"
#include "mesh/mesh_file.h"
#include "mesh/mesh_data.h"

inline PressureBody bodyFromMesh(const MeshData& data, const BodyParams& params = BodyParams{}) {
    MeshFile mesh;
    mesh.vertexCount = data.vertexCount();
    mesh.faceCount = data.faceCount();
    mesh.vertices = data.vertices;
    mesh.faceIndices = data.faceIndices;
    return PressureBody(mesh, params);
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

// The cube [0, 1]³, every face wound counter-clockwise seen from outside.
inline MeshData unitCube() {
    MeshData cube;
    for (int i = 0; i < 8; ++i) cube.vertices.insert(cube.vertices.end(), {float(i >> 2), float(i >> 1 & 1), float(i & 1)});
    cube.faceIndices = {0, 1, 3, 0, 3, 2, 4, 6, 7, 4, 7, 5, 0, 4, 5, 0, 5, 1,
                        2, 3, 7, 2, 7, 6, 0, 2, 6, 0, 6, 4, 1, 5, 7, 1, 7, 3};
    return cube;
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

inline uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline bool allFinite(const PressureBody& body) {
    for (const MassPoint& p : body.points)
        for (float c : {p.position.x, p.position.y, p.position.z, p.velocity.x, p.velocity.y, p.velocity.z,
                        p.force.x, p.force.y, p.force.z})
            if (!std::isfinite(c)) return false;
    return true;
}
