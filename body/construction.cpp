#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "body/engine/engine.h"
#include "body/pressure_body.h"
#include "mesh/mesh_file.h"

namespace plumfold {

Spring Spring::make(const MassPoint* points, int32_t a, int32_t b, float stiffness, float damping) {
    Spring spring;
    spring.pointA = a;
    spring.pointB = b;
    spring.stiffness = stiffness;
    spring.damping = damping;
    Vector3 d = points[a].position - points[b].position;
    spring.restLength = static_cast<float>(std::sqrt(d.dot(d)));
    spring.stretchPercent = 100.0f;
    spring.maxDeviation = static_cast<float>(static_cast<double>(spring.restLength) * spring.stretchPercent * 0.01);
    return spring;
}

bool springsEqual(const Spring& s, const Spring& t, const MassPoint* points) {
    const Vector3& sa = points[s.pointA].position;
    const Vector3& sb = points[s.pointB].position;
    const Vector3& ta = points[t.pointA].position;
    const Vector3& tb = points[t.pointB].position;
    return (sa == ta && sb == tb) || (sa == tb && sb == ta);
}

namespace {

// The three candidate edges of a face, in the order construction offers them.
template <typename Visit>
void forEachCandidate(const std::vector<Face>& faces, Visit visit) {
    for (const Face& face : faces) {
        visit(face.pointA, face.pointB);
        visit(face.pointB, face.pointC);
        visit(face.pointC, face.pointA);
    }
}

// Springs are equal when their end positions match as floats, so the key is the
// unordered pair of positions. +0 and -0 compare equal and must hash alike; a
// position with a NaN equals nothing and never enters the table.
struct EdgeKey {
    float coordinates[6];
};

bool hasNaN(const Vector3& p) { return std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z); }

uint32_t canonicalBits(float value) {
    if (value == 0.0f) value = 0.0f;
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool bitsLess(const Vector3& a, const Vector3& b) {
    uint32_t ab[3] = {canonicalBits(a.x), canonicalBits(a.y), canonicalBits(a.z)};
    uint32_t bb[3] = {canonicalBits(b.x), canonicalBits(b.y), canonicalBits(b.z)};
    return std::memcmp(ab, bb, sizeof ab) < 0;
}

EdgeKey makeKey(const Vector3& a, const Vector3& b) {
    const Vector3& first = bitsLess(b, a) ? b : a;
    const Vector3& second = bitsLess(b, a) ? a : b;
    return {{first.x, first.y, first.z, second.x, second.y, second.z}};
}

struct EdgeKeyHash {
    size_t operator()(const EdgeKey& key) const {
        uint64_t hash = 0xcbf29ce484222325ull;
        for (float c : key.coordinates) {
            hash ^= canonicalBits(c);
            hash *= 0x100000001b3ull;
            hash ^= hash >> 29;
        }
        return static_cast<size_t>(hash);
    }
};

struct EdgeKeyEqual {
    bool operator()(const EdgeKey& a, const EdgeKey& b) const {
        for (int i = 0; i < 6; ++i)
            if (!(a.coordinates[i] == b.coordinates[i])) return false;
        return true;
    }
};

}  // namespace

std::vector<Spring> buildSpringsByScan(const std::vector<MassPoint>& points, const std::vector<Face>& faces,
                                       float stiffness, float damping) {
    std::vector<Spring> springs;
    forEachCandidate(faces, [&](int32_t a, int32_t b) {
        Spring candidate = Spring::make(points.data(), a, b, stiffness, damping);
        for (const Spring& existing : springs)
            if (springsEqual(existing, candidate, points.data())) return;
        springs.push_back(candidate);
    });
    return springs;
}

std::vector<Spring> buildSprings(const std::vector<MassPoint>& points, const std::vector<Face>& faces, float stiffness,
                                 float damping) {
    std::vector<Spring> springs;
    springs.reserve(faces.size() * 3 / 2 + 3);
    // Open addressing with linear probing: slot -> index into `keys`, or -1.
    // Kept at most half full, so a closed mesh (1.5 edges per face) never grows.
    std::vector<EdgeKey> keys;
    keys.reserve(faces.size() * 3 / 2 + 3);
    size_t capacity = 64;
    while (capacity < faces.size() * 3 + 3) capacity *= 2;
    std::vector<int32_t> slots(capacity, -1);
    const EdgeKeyHash hash;
    const EdgeKeyEqual equal;
    auto place = [&](int32_t index) {
        size_t at = hash(keys[static_cast<size_t>(index)]) & (slots.size() - 1);
        while (slots[at] >= 0) at = (at + 1) & (slots.size() - 1);
        slots[at] = index;
    };
    forEachCandidate(faces, [&](int32_t a, int32_t b) {
        const Vector3& pa = points[a].position;
        const Vector3& pb = points[b].position;
        if (hasNaN(pa) || hasNaN(pb)) {
            springs.push_back(Spring::make(points.data(), a, b, stiffness, damping));
            return;
        }
        const EdgeKey key = makeKey(pa, pb);
        const size_t mask = slots.size() - 1;
        for (size_t at = hash(key) & mask; slots[at] >= 0; at = (at + 1) & mask)
            if (equal(keys[static_cast<size_t>(slots[at])], key)) return;
        keys.push_back(key);
        springs.push_back(Spring::make(points.data(), a, b, stiffness, damping));
        if (2 * keys.size() > slots.size()) {
            slots.assign(slots.size() * 2, -1);
            for (size_t k = 0; k < keys.size(); ++k) place(static_cast<int32_t>(k));
        } else {
            place(static_cast<int32_t>(keys.size() - 1));
        }
    });
    return springs;
}

// The demo builds its body during static initialisation, before main runs, so
// this is the one place that can turn the reader's error into the program's
// message and exit status; everything else calls plumfold::readMeshFile.
PressureBody::PressureBody(const BodyParams& p) {
    plumfold::MeshFileResult read = plumfold::readMeshFile(p.fileName);
    if (!read.ok) {
        std::printf("%s\n", read.error.c_str());
        std::exit(1);
    }
    *this = PressureBody(read.mesh, p);
}

PressureBody::PressureBody(const MeshFile& mesh, const BodyParams& p) {
    // Mass points: position = vertex × scale + offset, the product rounded first.
    points.reserve(static_cast<size_t>(mesh.vertexCount) + 1);  // room for the drag point
    for (int32_t i = 0; i < mesh.vertexCount; ++i) {
        const float* v = &mesh.vertices[3 * static_cast<size_t>(i)];
        Vector3 position = Vector3{v[0], v[1], v[2]} * p.scale + p.offset;
        points.push_back(MassPoint::make(p.pointMass, position, Vector3{}));
    }
    // Faces, in file order, with their corners in file order.
    faces.reserve(static_cast<size_t>(mesh.faceCount > 0 ? mesh.faceCount : 0));
    for (int32_t j = 0; j < mesh.faceCount; ++j) {
        const int32_t* index = &mesh.faceIndices[3 * static_cast<size_t>(j)];
        Face face;
        face.pointA = index[0];
        face.pointB = index[1];
        face.pointC = index[2];
        faces.push_back(face);
    }
    // One spring per distinct edge, by end positions, in order of first appearance.
    springs = buildSprings(points, faces, p.stiffness, p.damping);
    springs.reserve(springs.size() + 1);  // room for the drag spring
    // Working arrays of the step now, so that no step allocates.
    engine.get().prepare(*this);
}

}  // namespace plumfold
