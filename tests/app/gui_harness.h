#pragma once
// Running the real demo as a person would: its own Xvfb, the plumfold binary in a
// scratch directory, the X command-line tools for input, window queries and
// screenshots, and what the demo's window shows in those.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <thread>

#include "tests/support/process.h"

// Empty when the X tools the window tests need are on PATH, else what to install.
inline std::string missingGuiTools() {
    const char* tools = "Xvfb xdotool xwd xwdtopnm pnmcut pnmdepth pngtopnm pnmtopng";
    if (std::system(("which " + std::string(tools) + " >/dev/null 2>&1").c_str()) == 0) return "";
    return std::string(" one of ") + tools + " (packages xvfb xdotool x11-apps netpbm)";
}

// Calls `condition` until it holds or `seconds` pass; true when it held.
inline bool pollUntil(const std::function<bool()>& condition, double seconds,
                      std::chrono::milliseconds interval = std::chrono::milliseconds(100)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (; !condition(); std::this_thread::sleep_for(interval))
        if (std::chrono::steady_clock::now() > deadline) return false;
    return true;
}

// A private Xvfb on a display number it picks itself, stopped on destruction.
// Without OpenGL (no GLX extension) no window can be created on it.
struct VirtualDisplay {
    TempDir scratch;
    pid_t pid = -1;
    std::string name;  // ":N"; empty when the server did not start

    explicit VirtualDisplay(bool withOpenGL = true) {
        // -displayfd: the server takes the first free display number and writes it
        // to its stdout once it accepts clients, so parallel tests never collide.
        const std::string numberFile = (scratch.path / "display").string();
        const char* glx = withOpenGL ? "+extension" : "-extension";
        pid = startChild(
            [glx] {
                execute({"Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset", glx,
                         "GLX"});
            },
            numberFile, "/dev/null", "", 0);
        std::string number;
        if (pollUntil([&] { return (number = readFile(numberFile)).find('\n') != std::string::npos; }, 30))
            name = ":" + number.erase(number.find('\n'));
    }
    ~VirtualDisplay() {
        if (pid > 0 && kill(pid, SIGTERM) == 0) waitpid(pid, nullptr, 0);
    }

    // Runs a shell command with DISPLAY set to this server; returns its stdout.
    std::string run(const std::string& command) const {
        return runProgram({"/bin/sh", "-c", "DISPLAY=" + name + " " + command}).out;
    }
};

// The demo binary running on a display with `arguments`, in a scratch directory
// whose Objects/Objekt3.asc is a copy of `meshFile`, its stdout and stderr
// captured to files there. Killed on destruction.
struct DemoProcess {
    TempDir workDir;
    pid_t pid = -1;
    std::optional<int> exitStatus;  // set once the process has ended: its status, or 128 + signal

    DemoProcess(const VirtualDisplay& display, const std::string& meshFile,
                const std::vector<std::string>& arguments = {}) {
        workDir.write("Objects/Objekt3.asc", readFile(meshFile));
        auto run = [&display, &arguments] {
            setenv("DISPLAY", display.name.c_str(), 1);
            // In a sanitizer build the GL driver's own allocations show up as leaks at
            // exit, from a library already unloaded and so without frames to suppress
            // by name; memory errors are still caught.
            const char* lsan = getenv("LSAN_OPTIONS");
            setenv("LSAN_OPTIONS", (std::string(lsan != nullptr ? lsan : "") + ":detect_leaks=0").c_str(), 1);
            std::vector<std::string> argv = {demoProgram};
            argv.insert(argv.end(), arguments.begin(), arguments.end());
            execute(argv);
        };
        // No time limit: the test ends the demo, or the destructor kills it.
        pid = startChild(run, (workDir.path / "stdout.txt").string(), (workDir.path / "stderr.txt").string(),
                         workDir.path.string(), 0);
    }
    ~DemoProcess() {
        if (pid > 0 && !ended() && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
    }

    std::string output() const { return readFile((workDir.path / "stdout.txt").string()); }
    std::string errors() const { return readFile((workDir.path / "stderr.txt").string()); }
    bool ended() {  // reaps the process if it has ended
        int status = 0;
        if (!exitStatus && pid > 0 && waitpid(pid, &status, WNOHANG) == pid)
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitStatus.has_value();
    }
};

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// The demo's 600 × 600 window at (200, 200), 8 bits per channel, rows top to
// bottom; or no pixels, when none could be read.
struct ScreenImage {
    std::vector<uint8_t> rgb;

    Rgb at(int x, int y) const {  // (-1, -1, -1) outside
        if (x < 0 || y < 0 || x >= 600 || y >= 600 || rgb.size() != 600 * 600 * 3) return {-1, -1, -1};
        const size_t i = (static_cast<size_t>(y) * 600 + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

const std::string screenHeader = "P6\n600 600\n255\n";  // of the portable pixmaps the netpbm tools give

// Through xwd and the netpbm tools; no pixels when that is malformed.
inline ScreenImage takeScreenshot(const VirtualDisplay& display) {
    const std::string bytes = display.run("xwd -root -silent | xwdtopnm | pnmcut 200 200 600 600 | pnmdepth 255");
    if (bytes.size() != screenHeader.size() + 600 * 600 * 3 || bytes.rfind(screenHeader, 0) != 0) return {};
    return ScreenImage{std::vector<uint8_t>(bytes.begin() + screenHeader.size(), bytes.end())};
}

// Pixels of `image` that differ by more than 2 in some channel from the picture
// tests/data/golden/NAME.png (all of them when it cannot be read). With
// PLUMFOLD_UPDATE_PICTURES set, writes `image` there instead, after a deliberate
// change to the drawing.
inline int pixelsUnlikeGolden(const ScreenImage& image, const std::string& name) {
    const std::string golden = PLUMFOLD_SOURCE_DIR "/tests/data/golden/" + name + ".png";
    if (std::getenv("PLUMFOLD_UPDATE_PICTURES") != nullptr) {
        TempDir dir;
        const std::string shot = dir.write("shot.ppm", screenHeader + std::string(image.rgb.begin(), image.rgb.end()));
        runProgram({"/bin/sh", "-c", "pnmtopng '" + shot + "' > '" + golden + "'"});
        return 0;
    }
    const std::string bytes = runProgram({"pngtopnm", golden}).out;
    if (bytes.size() != screenHeader.size() + image.rgb.size() || bytes.rfind(screenHeader, 0) != 0) return 600 * 600;
    int unlike = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
        bool differs = false;
        for (size_t k = i; k < i + 3; ++k)
            differs |= std::abs(int(image.rgb[k]) - int(uint8_t(bytes[screenHeader.size() + k]))) > 2;
        unlike += differs;
    }
    return unlike;
}

// Within `tolerance` in every channel of the colour (r, g, b) given as 0..1 floats
// the way the program passes them to OpenGL.
inline bool looksLike(Rgb pixel, float r, float g, float b, int tolerance = 3) {
    auto near = [tolerance](int value, float channel) {
        return std::abs(value - static_cast<int>(std::lround(channel * 255.0f))) <= tolerance;
    };
    return near(pixel.r, r) && near(pixel.g, g) && near(pixel.b, b);
}

// The body as seen in the window from column `left` on: every pixel that is
// neither black, one of the unlit colours the box is drawn in, nor the drag line's white.
struct BodyView {
    int pixels = 0, whitePixels = 0;  // white: the drag line
    double centreX = 0, centreY = 0;
    int bottom = -1, left = 1 << 30, right = -1;
};
inline BodyView findBody(const ScreenImage& image, int left = 0) {
    static const float boxColours[4][3] = {
        {0.44f, 0.53f, 0.62f}, {0.14f, 0.23f, 0.48f}, {0.44f, 0.43f, 0.62f}, {0.44f, 0.43f, 0.52f}};
    BodyView view;
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 600; ++x) {
            const Rgb pixel = image.at(left + x, y);
            if (pixel.r < 10 && pixel.g < 10 && pixel.b < 10) continue;
            if (pixel.r >= 250 && pixel.g >= 250 && pixel.b >= 250) {
                ++view.whitePixels;
                continue;
            }
            if (std::any_of(std::begin(boxColours), std::end(boxColours),
                            [&](const float* c) { return looksLike(pixel, c[0], c[1], c[2]); }))
                continue;
            ++view.pixels;
            view.centreX += x;  // sums until the end
            view.centreY += y;
            view.bottom = y;
            view.left = std::min(view.left, x);
            view.right = std::max(view.right, x);
        }
    }
    view.centreX /= std::max(view.pixels, 1);
    view.centreY /= std::max(view.pixels, 1);
    return view;
}
