#include "gui_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

std::string missingGuiTools() {
    const char* tools[][2] = {{"Xvfb", "xvfb"}, {"xdotool", "xdotool"}, {"xwd", "x11-apps"}, {"xwdtopnm", "netpbm"}};
    std::string missing;
    for (const auto& tool : tools) {
        std::string probe = std::string("command -v ") + tool[0] + " >/dev/null 2>&1";
        if (std::system(probe.c_str()) != 0) missing += std::string(" ") + tool[0] + " (package " + tool[1] + ")";
    }
    return missing;
}

bool pollUntil(const std::function<bool()>& condition, double seconds, std::chrono::milliseconds interval) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (true) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(interval);
    }
}

VirtualDisplay::VirtualDisplay(bool withOpenGL) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        std::string fd = std::to_string(fds[1]);
        // -displayfd: the server takes the first free display number and writes it
        // to the pipe once it accepts clients, so parallel tests never collide.
        const char* extension = withOpenGL ? "+extension" : "-extension";
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-noreset", extension, "GLX", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd readable{fds[0], POLLIN, 0};
    while (pid > 0 && ::poll(&readable, 1, 30000) > 0) {
        char c;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (!number.empty()) name = ":" + number;
}

VirtualDisplay::~VirtualDisplay() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

std::string VirtualDisplay::run(const std::string& command) const {
    return runProgram({"/bin/sh", "-c", "DISPLAY=" + name + " " + command}).out;
}

DemoProcess::DemoProcess(const VirtualDisplay& display, const MeshData& mesh,
                         const std::vector<std::string>& arguments) {
    std::string meshPath = workDir.write("Objects/Objekt3.asc", "");
    std::FILE* file = std::fopen(meshPath.c_str(), "w");
    if (file == nullptr) return;
    bool written = writeMesh(file, mesh, "window test body");
    if (std::fclose(file) != 0 || !written) return;
    auto run = [&display, &arguments] {
        setenv("DISPLAY", display.name.c_str(), 1);
        // In a sanitizer build the GL driver's own allocations show up as leaks at
        // exit, from a library already unloaded and so without frames to suppress
        // by name; memory errors are still caught.
        const char* lsan = getenv("LSAN_OPTIONS");
        std::string leakOptions = std::string(lsan != nullptr ? lsan : "") + ":detect_leaks=0";
        setenv("LSAN_OPTIONS", leakOptions.c_str(), 1);
        std::vector<char*> argv = {const_cast<char*>(PLUMFOLD_BINARY_DIR "/app/plumfold")};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    };
    // No time limit: the test ends the demo, or the destructor kills it.
    pid = startChild(run, (workDir.path / "stdout.txt").string(), (workDir.path / "stderr.txt").string(),
                     workDir.path.string(), 0);
}

DemoProcess::~DemoProcess() {
    if (pid > 0 && !ended()) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

std::string DemoProcess::output() const { return readFile((workDir.path / "stdout.txt").string()); }
std::string DemoProcess::errors() const { return readFile((workDir.path / "stderr.txt").string()); }

bool DemoProcess::ended() {
    if (exitStatus || signalled) return true;
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, WNOHANG) != pid) return false;
    if (WIFEXITED(status)) exitStatus = WEXITSTATUS(status);
    else signalled = true;
    return true;
}
