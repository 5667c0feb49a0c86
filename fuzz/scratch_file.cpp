#include "fuzz/scratch_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

std::string scratchDirectory() {
    struct stat info {};
    if (stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) && access("/dev/shm", W_OK) == 0) return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

struct Scratch {
    std::string path;
    ~Scratch() {
        if (!path.empty()) unlink(path.c_str());
    }
};

}  // namespace

const std::string& writeScratchFile(const uint8_t* data, size_t size, const char* suffix) {
    static std::map<std::string, Scratch> scratches;
    Scratch& scratch = scratches[suffix];
    if (scratch.path.empty()) scratch.path = scratchDirectory() + "/plumfold-fuzz-" + std::to_string(getpid()) + suffix;
    std::FILE* file = std::fopen(scratch.path.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
        std::perror(scratch.path.c_str());
        std::abort();
    }
    return scratch.path;
}
