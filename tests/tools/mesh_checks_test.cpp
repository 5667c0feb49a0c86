// The mesh check: each fault that would break the simulation is found, and the
// tool's exit status says so.
#include <gtest/gtest.h>

#include <algorithm>

#include "tool_test_support.h"
#include "tools/mesh_checks.h"
#include "tools/mesh_generators.h"

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

std::string writeToTemp(const MeshData& mesh, const std::string& name) {
    std::string path = tempPath(name).string();
    std::FILE* out = std::fopen(path.c_str(), "w");
    writeMesh(out, mesh, "test");
    std::fclose(out);
    return path;
}

}  // namespace

TEST(MeshChecks, SoundMeshHasNoFindings) {
    EXPECT_TRUE(judge(tetra()).empty());
    EXPECT_TRUE(judge(makeIcosphere(2, 4.9f)).empty());  // 4.41 after the scene's scale: still inside
}

TEST(MeshChecks, FindsEachFaultThatBreaksTheBody) {
    MeshData open = tetra();
    open.faceIndices.resize(9);
    MeshReport r = checkMesh(open);
    EXPECT_EQ(r.openEdges, 3);
    EXPECT_TRUE(hasFinding(judge(open), "not closed", true));

    MeshData flipped = tetra();
    std::swap(flipped.faceIndices[1], flipped.faceIndices[2]);
    r = checkMesh(flipped);
    EXPECT_EQ(r.misorientedEdges, 3);
    EXPECT_TRUE(r.closed());
    EXPECT_TRUE(hasFinding(judge(flipped), "winding is inconsistent", true));

    MeshData inward = tetra();
    for (size_t f = 0; f < inward.faceIndices.size(); f += 3) std::swap(inward.faceIndices[f + 1], inward.faceIndices[f + 2]);
    r = checkMesh(inward);
    EXPECT_TRUE(r.consistentlyWound());
    EXPECT_NEAR(r.volume, -4.0 / 3.0, 1e-12);
    EXPECT_TRUE(hasFinding(judge(inward), "wound inwards", true));

    MeshData repeated = tetra();
    repeated.faceIndices.insert(repeated.faceIndices.end(), {2, 2, 3});
    EXPECT_EQ(checkMesh(repeated).repeatedIndexFaces, 1);
    EXPECT_TRUE(hasFinding(judge(repeated), "list a vertex twice (first: face 4)", true));

    // A sliver: a fifth vertex on the edge 1-2 splits two faces into four, one of
    // them of zero area, while the surface stays closed.
    MeshData sliver = tetra();
    sliver.vertices.insert(sliver.vertices.end(), {0, -1, 1});
    sliver.faceIndices = {0, 1, 4, 0, 4, 2, 0, 2, 3, 0, 3, 1, 1, 3, 4, 4, 3, 2, 1, 4, 2, 1, 2, 4};
    r = checkMesh(sliver);
    EXPECT_EQ(r.zeroAreaFaces, 2);
    EXPECT_TRUE(hasFinding(judge(sliver), "zero area", false));

    MeshData twin = tetra();
    twin.vertices.insert(twin.vertices.end(), {-1, -1, 1});
    twin.faceIndices[3 * 3] = 4;  // face 3 uses the twin of vertex 1
    r = checkMesh(twin);
    EXPECT_EQ(r.duplicatePositions, 1);
    EXPECT_TRUE(hasFinding(judge(twin), "repeat the position", true));

    MeshData loose = tetra();
    loose.vertices.insert(loose.vertices.end(), {0.5f, 0.5f, 0.5f});
    EXPECT_TRUE(hasFinding(judge(loose), "belong to no face", false));
    EXPECT_FALSE(hasFinding(judge(loose), "", true));

    MeshData outOfRange = tetra();
    outOfRange.faceIndices[7] = 4;
    r = checkMesh(outOfRange);
    EXPECT_EQ(r.indicesOutOfRange, 1);
    EXPECT_EQ(r.firstBadIndexFace, 2);
    EXPECT_TRUE(hasFinding(judge(outOfRange), "outside 0 to 3 (first in face 2)", true));
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

TEST(MeshChecks, ToolExitStatusFollowsTheFindings) {
    std::string good = writeToTemp(tetra(), "good.asc");
    RunResult run = runCommand(meshTool() + " check " + good);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("springs 6 (mass points 4, faces 4)"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("closed yes"), std::string::npos) << run.output;

    MeshData inward = tetra();
    std::swap(inward.faceIndices[1], inward.faceIndices[2]);
    for (size_t f = 3; f < inward.faceIndices.size(); f += 3) std::swap(inward.faceIndices[f + 1], inward.faceIndices[f + 2]);
    std::string bad = writeToTemp(inward, "inward.asc");
    run = runCommand(meshTool() + " check " + bad);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("error: the faces are wound inwards"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("result: NOT usable"), std::string::npos) << run.output;

    MeshData outOfRange = tetra();
    outOfRange.faceIndices[0] = 9;
    std::string broken = writeToTemp(outOfRange, "range.asc");
    run = runCommand(meshTool() + " check " + broken);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("springs not built"), std::string::npos) << run.output;

    // A file the program's reader cannot read fails with the reader's own message.
    writeBytes(broken, "Vertices: 3\n");
    run = runCommand(meshTool() + " check " + broken);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("Error with object file!"), std::string::npos) << run.output;
    for (const std::string& path : {good, bad, broken}) std::filesystem::remove(path);
}
