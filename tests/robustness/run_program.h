#pragma once
// Runs one of the built programs as a user would and captures what it says.
#include <filesystem>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;  // exit status; -1 when the program did not exit normally (a crash)
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs program with arguments in directory workDir (the current one if empty),
// standard input from /dev/null.
RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const std::filesystem::path& workDir = {});

// A fresh, empty directory for one test, removed by the destructor.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    // Writes bytes to a file inside, making parent directories; returns its path.
    std::filesystem::path write(const std::string& name, const std::string& bytes) const;
};

std::string readFile(const std::filesystem::path& path);
