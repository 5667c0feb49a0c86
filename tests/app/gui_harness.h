#pragma once
// Running the real demo as a person would: its own Xvfb, the plumfold binary in a
// scratch directory, the X command-line tools for input, window queries and
// screenshots, and what the demo's window shows in those.
#include <chrono>
#include <cstdint>
#include <optional>

#include "tests/support/process.h"

// Empty when the X tools the window tests need are on PATH, else what to install.
std::string missingGuiTools();

// Calls `condition` until it holds or `seconds` pass; true when it held.
bool pollUntil(const std::function<bool()>& condition, double seconds,
               std::chrono::milliseconds interval = std::chrono::milliseconds(100));

// A private Xvfb on a display number it picks itself, stopped on destruction.
struct VirtualDisplay {
    TempDir scratch;
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
// whose Objects/Objekt3.asc is a copy of `meshFile`, its stdout and stderr captured to files
// there. Killed on destruction.
struct DemoProcess {
    pid_t pid = -1;
    TempDir workDir;
    std::optional<int> exitStatus;  // set once the process ended normally
    bool signalled = false;

    DemoProcess(const VirtualDisplay& display, const std::string& meshFile,
                const std::vector<std::string>& arguments = {});
    ~DemoProcess();
    DemoProcess(const DemoProcess&) = delete;
    DemoProcess& operator=(const DemoProcess&) = delete;

    std::string output() const { return readFile((workDir.path / "stdout.txt").string()); }
    std::string errors() const { return readFile((workDir.path / "stderr.txt").string()); }
    bool ended();  // reaps the process if it has ended
};

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// The demo's 600 × 600 window at (200, 200), 8 bits per channel, rows top to bottom.
struct ScreenImage {
    std::vector<uint8_t> rgb;

    Rgb at(int x, int y) const;  // (-1, -1, -1) outside
};

// Through xwd and the netpbm tools; nullopt when that is malformed.
std::optional<ScreenImage> takeScreenshot(const VirtualDisplay& display);

// Pixels of `image` that differ by more than 2 in some channel from the picture
// tests/data/golden/NAME.png (all of them when it cannot be read). With
// PLUMFOLD_UPDATE_PICTURES set, writes `image` there instead, after a deliberate
// change to the drawing.
int pixelsUnlikeGolden(const ScreenImage& image, const std::string& name);

// Within `tolerance` in every channel of the colour (r, g, b) given as 0..1 floats
// the way the program passes them to OpenGL.
bool looksLike(Rgb pixel, float r, float g, float b, int tolerance = 3);

// The body as seen in the window from column `left` on: every pixel that is
// neither black, a box colour nor the drag line's white.
struct BodyView {
    int pixels = 0;
    double centreX = 0, centreY = 0;
    int top = 0, bottom = 0, left = 0, right = 0;
    int whitePixels = 0;  // the drag line
};
BodyView findBody(const ScreenImage& image, int left = 0);
