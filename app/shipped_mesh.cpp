#include "app/shipped_mesh.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "body/body_params.h"

namespace fs = std::filesystem;

namespace plumfold {
namespace {

// Anything at all by that name counts, even a directory or a dangling link:
// reading it then fails with the message users already know.
bool present(const fs::path& path) {
    std::error_code ignored;
    return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

bool regularFile(const fs::path& path) {
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

std::string choosePath() {
    const char* const local = BodyParams{}.fileName;
    if (present(local)) return local;
    std::error_code failed;
    fs::path executable = fs::read_symlink("/proc/self/exe", failed);
    if (!failed) {
        fs::path besideProgram = executable.parent_path() / PLUMFOLD_DATA_FROM_BIN / local;
        if (regularFile(besideProgram)) return besideProgram.lexically_normal().string();
    }
    fs::path underPrefix = fs::path(PLUMFOLD_INSTALLED_DATA_DIR) / local;
    if (regularFile(underPrefix)) return underPrefix.string();
    return local;
}

}  // namespace

const char* shippedMeshPath() {
    // Chosen once: the body is built during static initialisation, and the
    // answer must not change if the working directory does later.
    static const std::string path = choosePath();
    return path.c_str();
}

}  // namespace plumfold
