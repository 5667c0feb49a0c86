#pragma once
// Shared helpers of the tools tests: temporary files and running the real tools.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "mesh/mesh_file.h"
#include "tools/mesh_data.h"

inline std::filesystem::path tempPath(const std::string& name) {
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "plumfold-tools-tests";
    std::filesystem::create_directories(dir);
    return dir / (std::to_string(::getpid()) + "-" + name);
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

struct RunResult {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// Runs a shell command line and collects its output and exit status.
inline RunResult runCommand(const std::string& command) {
    RunResult result;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string meshTool() { return PLUMFOLD_BINARY_DIR "/tools/plumfold-mesh"; }

// Writes the mesh with the tools' writer and reads it back with the program's reader.
inline MeshFile writeAndRead(const MeshData& mesh, const std::string& name) {
    std::filesystem::path path = tempPath(name);
    std::FILE* out = std::fopen(path.c_str(), "w");
    bool ok = out != nullptr && writeMesh(out, mesh, "test mesh");
    if (out != nullptr) std::fclose(out);
    MeshFile file;
    if (!ok) return file;
    static std::string kept;
    kept = path.string();
    file.fileName = kept.c_str();
    file.readVertices();
    file.readFaces();
    file.fileName = nullptr;
    std::filesystem::remove(path);
    return file;
}
