#pragma once
// Running the real demo as a person would: its own Xvfb, the plumfold binary in a
// scratch directory, the X command-line tools for input, window queries and
// screenshots.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "mesh/mesh_data.h"

// Names of the X tools the window tests need that are not on PATH, with the
// Debian packages that bring them; empty when all are there.
std::string missingGuiTools();

// Calls `condition` until it holds or `seconds` pass; true when it held.
bool pollUntil(const std::function<bool()>& condition, double seconds,
               std::chrono::milliseconds interval = std::chrono::milliseconds(100));

// A private Xvfb on a display number it picks itself, stopped on destruction.
struct VirtualDisplay {
    pid_t pid = -1;
    std::string name;  // ":N"; empty when the server did not start

    // Without OpenGL (no GLX extension) no window can be created on it.
    explicit VirtualDisplay(bool withOpenGL = true);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Runs a shell command with DISPLAY set to this server; returns its stdout.
    std::string run(const std::string& command) const;
};

// The demo binary running on a display with `arguments`, in a scratch directory
// whose Objects/Objekt3.asc holds `mesh`, its stdout and stderr captured to files
// there. Killed on destruction.
struct DemoProcess {
    pid_t pid = -1;
    TempDir workDir;
    std::optional<int> exitStatus;  // set once the process ended normally
    bool signalled = false;

    DemoProcess(const VirtualDisplay& display, const MeshData& mesh, const std::vector<std::string>& arguments = {});
    ~DemoProcess();
    DemoProcess(const DemoProcess&) = delete;
    DemoProcess& operator=(const DemoProcess&) = delete;

    std::string output() const;  // everything written to stdout so far
    std::string errors() const;  // everything written to stderr so far
    bool ended();                // reaps the process if it has ended
};
