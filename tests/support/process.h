#pragma once
// The tests' one way to run things: temporary folders, and code or a built
// program run in a child process with its standard output and error captured,
// so that tests can check the exact lines and exit status of code that ends the
// process.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

// The built programs and the committed test data.
inline const std::string sim = PLUMFOLD_BINARY_DIR "/tools/plumfold-sim";
inline const std::string meshTool = PLUMFOLD_BINARY_DIR "/tools/plumfold-mesh";
inline const std::string demoProgram = PLUMFOLD_BINARY_DIR "/app/plumfold";
inline const std::string samples = PLUMFOLD_SOURCE_DIR "/tests/data/import/";
inline const std::string tetraFile = PLUMFOLD_SOURCE_DIR "/tests/data/reference/tetra.asc";

struct TempDir {
    std::filesystem::path path;

    TempDir() {
        char pattern[] = "/tmp/plumfold-test-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Writes text to name (creating parent folders) and returns the full path.
    std::string write(const std::string& name, const std::string& text) const {
        std::filesystem::path file = path / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
        return file.string();
    }
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Outcome {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
    std::string all() const { return out + err; }  // for checks that do not care which stream
};

// Starts child() in a forked process (which ends with status 0 if child returns)
// in folder dir when given, standard output and error written to the two files.
// A child that runs away is stopped after `limit` seconds.
inline pid_t startChild(const std::function<void()>& child, const std::string& outPath, const std::string& errPath,
                        const std::string& dir = "", unsigned limit = 60) {
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(limit);
        int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (!dir.empty() && ::chdir(dir.c_str()) != 0) ::_exit(126);
        child();
        std::fflush(nullptr);
        ::_exit(0);
    }
    return pid;
}

// In a child process: becomes program args[0] (a path, else searched on PATH).
[[noreturn]] inline void execute(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

// Runs a program in dir, with DISPLAY removed so no window can open, and waits for it.
inline Outcome runProgram(const std::vector<std::string>& args, const std::string& dir = "") {
    TempDir capture;
    const std::string outPath = (capture.path / "out").string(), errPath = (capture.path / "err").string();
    const pid_t pid = startChild(
        [&] {
            ::unsetenv("DISPLAY");
            execute(args);
        },
        outPath, errPath, dir);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), readFile(outPath), readFile(errPath)};
}

// program followed by the space-separated words of arguments, for runProgram.
inline std::vector<std::string> command(const std::string& program, const std::string& arguments) {
    std::vector<std::string> words = {program};
    std::istringstream in(arguments);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}
