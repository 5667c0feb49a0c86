#include "fuzz/exit_trap.h"

#include "mesh/mesh_file.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLUMFOLD_HAS_LSAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define PLUMFOLD_HAS_LSAN 1
#endif
#ifdef PLUMFOLD_HAS_LSAN
#include <sanitizer/lsan_interface.h>
#endif

extern "C" {
[[noreturn]] void __real_exit(int status);
std::FILE* __real_fopen(const char* path, const char* mode);
int __real_fclose(std::FILE* file);
}

namespace {

// One trapped call at a time; fuzz targets are single-threaded.
bool armed = false;
std::jmp_buf landing;
int exitStatus = 0;
std::vector<std::FILE*> openFiles;

}  // namespace

extern "C" {

[[noreturn]] void __wrap_exit(int status) {
    if (!armed) __real_exit(status);
    armed = false;
    exitStatus = status;
    std::longjmp(landing, 1);
}

std::FILE* __wrap_fopen(const char* path, const char* mode) {
    std::FILE* file = __real_fopen(path, mode);
    if (armed && file != nullptr) openFiles.push_back(file);
    return file;
}

int __wrap_fclose(std::FILE* file) {
    for (size_t i = 0; i < openFiles.size(); ++i) {
        if (openFiles[i] == file) {
            openFiles.erase(openFiles.begin() + static_cast<long>(i));
            break;
        }
    }
    return __real_fclose(file);
}

}  // extern "C"

TrapResult runTrappingExit(void (*call)(void* context), void* context) {
    TrapResult result;
    openFiles.clear();
#ifdef PLUMFOLD_HAS_LSAN
    __lsan_disable();
#endif
    armed = true;
    if (setjmp(landing) == 0) {
        call(context);
        armed = false;
    } else {
        result.exited = true;
        result.status = exitStatus;
    }
#ifdef PLUMFOLD_HAS_LSAN
    __lsan_enable();
#endif
    result.filesLeftOpen = static_cast<int>(openFiles.size());
    for (std::FILE* file : openFiles) __real_fclose(file);
    openFiles.clear();
    return result;
}

TrapResult readMeshTrappingExit(MeshFile& mesh) {
    return runTrappingExit(
        [](void* context) {
            MeshFile& target = *static_cast<MeshFile*>(context);
            target.readVertices();
            target.readFaces();
            target.requireUsable();
        },
        &mesh);
}
