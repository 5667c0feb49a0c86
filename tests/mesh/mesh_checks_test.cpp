// The structure checks: each fault that would break the simulation is found.
#include <gtest/gtest.h>

#include <algorithm>

#include "mesh/mesh_checks.h"
#include "mesh/mesh_data.h"
#include "tools/mesh_generators.h"

using namespace plumfold;

namespace {

bool hasFinding(const std::vector<CheckFinding>& findings, const std::string& words, bool breaking) {
    return std::any_of(findings.begin(), findings.end(), [&](const CheckFinding& f) {
        return f.breaking == breaking && f.text.find(words) != std::string::npos;
    });
}

std::vector<CheckFinding> judge(const MeshData& mesh) { return judgeMesh(checkMesh(mesh), 0.9f, 4.5); }

MeshData tetra() {
    MeshData mesh;
    mesh.vertices = {0, 1, 0, -1, -1, 1, 1, -1, 1, 0, -1, -1};
    mesh.faceIndices = {0, 1, 2, 0, 2, 3, 0, 3, 1, 1, 3, 2};
    return mesh;
}

}  // namespace

// Each fault in an otherwise sound tetrahedron gives its own finding, with its
// count, and not the finding of a fault it does not have; sound meshes get none.
TEST(MeshChecks, FindsEachFaultThatBreaksTheBody) {
    EXPECT_TRUE(judge(tetra()).empty());
    EXPECT_TRUE(judge(makeIcosphere(2, 4.9f)).empty());  // 4.41 after the scene's scale: still inside
    MeshData open = tetra(), flipped = tetra(), inward = tetra(), repeated = tetra(), sliver = tetra(), twin = tetra(),
             loose = tetra(), outOfRange = tetra();
    open.faceIndices.resize(9);
    std::swap(flipped.faceIndices[1], flipped.faceIndices[2]);
    for (size_t f = 0; f < inward.faceIndices.size(); f += 3)
        std::swap(inward.faceIndices[f + 1], inward.faceIndices[f + 2]);
    repeated.faceIndices.insert(repeated.faceIndices.end(), {2, 2, 3});
    // A fifth vertex on the edge 1-2 splits two faces into four, one of them of
    // zero area, while the surface stays closed.
    sliver.vertices.insert(sliver.vertices.end(), {0, -1, 1});
    sliver.faceIndices = {0, 1, 4, 0, 4, 2, 0, 2, 3, 0, 3, 1, 1, 3, 4, 4, 3, 2, 1, 4, 2, 1, 2, 4};
    twin.vertices.insert(twin.vertices.end(), {-1, -1, 1});
    twin.faceIndices[3 * 3] = 4;  // face 3 uses the twin of vertex 1
    loose.vertices.insert(loose.vertices.end(), {0.5f, 0.5f, 0.5f});
    outOfRange.faceIndices[7] = 4;
    struct Case {
        const char* name;
        const MeshData& mesh;
        const char* words;
        bool breaking;
        const char* notFound = nullptr;  // a breaking finding that must be absent ("": any)
    };
    for (const Case& c :
         {Case{"open", open, "not closed: 3 edges belong to one face only", true},
          Case{"flipped", flipped, "winding is inconsistent: 3", true, "not closed"},
          Case{"inward", inward, "wound inwards", true, "inconsistent"},
          Case{"repeated", repeated, "1 faces list a vertex twice (first: face 4)", true},
          Case{"sliver", sliver, "2 faces have zero area", false},
          Case{"twin", twin, "1 vertices repeat the position", true},
          Case{"loose", loose, "1 vertices belong to no face", false, ""},
          Case{"out of range", outOfRange, "1 face corners name a vertex outside 0 to 3 (first in face 2)", true}}) {
        SCOPED_TRACE(c.name);
        std::vector<CheckFinding> findings = judge(c.mesh);
        EXPECT_TRUE(hasFinding(findings, c.words, c.breaking));
        EXPECT_FALSE(c.notFound != nullptr && hasFinding(findings, c.notFound, true));
    }
}

TEST(MeshChecks, BoundingBoxIsJudgedAfterTheScenesScale) {
    // 5.0 × 0.9 = 4.5 just touches the walls; a little more crosses them.
    EXPECT_FALSE(hasFinding(judge(makeCube(10.0f, 1)), "outside the box", true));
    EXPECT_TRUE(hasFinding(judge(makeCube(10.01f, 1)), "outside the box", true));
    MeshData low = tetra();
    for (size_t i = 1; i < low.vertices.size(); i += 3) low.vertices[i] -= 4.0f;  // lowest y −5 → −4.5
    EXPECT_FALSE(hasFinding(judge(low), "outside the box", true));
    low.vertices[4] = -5.1f;
    EXPECT_TRUE(hasFinding(judge(low), "outside the box", true));
    // No ceiling: any height above is fine.
    for (size_t i = 1; i < low.vertices.size(); i += 3) low.vertices[i] += 50.0f;
    EXPECT_FALSE(hasFinding(judge(low), "outside the box", true));
}
