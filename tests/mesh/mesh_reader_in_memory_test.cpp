// The reader scans each pass in memory: it must read exactly what a token-by-
// token scan of the stream reads, including odd white space, NUL bytes, extra
// fields and a file without a final line end, and fail with the same lines and
// statuses (checked through the real plumfold-sim).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "mesh/mesh_file.h"
#include "mesh/mesh_data.h"
#include "tools/mesh_generators.h"

namespace {

std::filesystem::path writeFile(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = std::filesystem::path(testing::TempDir()) / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

MeshFile readBoth(const std::filesystem::path& path) {
    static std::string keep;
    keep = path.string();
    return plumfold::readMeshFile(keep.c_str(), plumfold::MeshFileCheck::AsWritten).mesh;
}

struct Outcome {
    int status;
    std::string out;
};

Outcome simulate(const std::filesystem::path& mesh) {
    const std::string command = std::string(PLUMFOLD_BINARY_DIR) + "/tools/plumfold-sim '" + mesh.string() + "' 0";
    std::FILE* pipe = popen(command.c_str(), "r");
    Outcome run{-1, ""};
    if (pipe == nullptr) return run;
    char buffer[256];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

TEST(MeshReaderInMemory, ReadsOddlySpacedRecordsLikeTheStreamScan) {
    // Every kind of white space, a label glued to a word, extra fields, a NUL
    // inside a value token, and a file that ends on its last index token.
    std::string text =
        "title Vertex0: 99: Vertices: 4 Vertex List:\n"
        "Vertex 0: X:1.5 Y:2e1 Z:\n"
        "Vertex 1: ::7 Y:abc Z:-0.25 more 0: 9\n"
        "Vertex 2: Z:3 Y:2 X:1\n"
        "Vertex 3: X:1";
    text += std::string(1, '\0');
    text += ".5 Y:-1e-3 Z:4\n"
            "Faces: 2,\tFace\vlist:\r\n"
            "Face 0: A:0 B:1 C:2 extra words\n"
            "Face\f1: C:2 B:3 A:1";
    const MeshFile mesh = readBoth(writeFile("odd.asc", text));

    ASSERT_EQ(mesh.vertexCount, 4);
    const float expected[] = {1.5f, 20.0f, 0.0f, 7.0f, 0.0f, -0.25f, 3.0f, 2.0f, 1.0f, 1.0f, -1e-3f, 4.0f};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(mesh.vertices[i], expected[i]) << "coordinate " << i;
    ASSERT_EQ(mesh.faceCount, 2);
    const int32_t indices[] = {0, 1, 2, 2, 3, 1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(mesh.faceIndices[i], indices[i]) << "index " << i;
}

TEST(MeshReaderInMemory, LoadsAGeneratedSphereExactly) {
    const MeshData sphere = makeIcosphere(4, 2.0f);
    const std::filesystem::path path = std::filesystem::path(testing::TempDir()) / "sphere4.asc";
    std::FILE* out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    ASSERT_TRUE(writeMesh(out, sphere, "sphere"));
    std::fclose(out);
    const MeshFile mesh = readBoth(path);
    EXPECT_EQ(mesh.vertices, sphere.vertices);
    EXPECT_EQ(mesh.faceIndices, sphere.faceIndices);
}

TEST(MeshReaderInMemory, FailsWithTheReadersLinesAndStatuses) {
    const std::filesystem::path missing = std::filesystem::path(testing::TempDir()) / "no-such-mesh.asc";
    Outcome run = simulate(missing);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Unable to open " + missing.string() + " file.\n");

    const std::string truncatedFiles[] = {
        " \n\t ",                                   // white space only
        "Vertices: 2 Vertex List: 0: X:1 Y:2 Z:3",  // a record missing
        "Vertices: 1 Vertex List: 0: X:1 Y:2 Z:3 Faces: 1 Face list: 0: A:0 ",  // a value missing
    };
    for (const std::string& truncated : truncatedFiles) {
        run = simulate(writeFile("truncated.asc", truncated));
        EXPECT_EQ(run.status, 1) << truncated;
        EXPECT_EQ(run.out, "Error with object file! \n") << truncated;
    }
}
