#include "gui_harness.h"

#include <algorithm>
#include <cmath>
#include <thread>

std::string missingGuiTools() {
    if (std::system("which Xvfb xdotool xwd xwdtopnm pnmcut pnmdepth pngtopnm pnmtopng >/dev/null 2>&1") == 0)
        return "";
    return " one of Xvfb, xdotool, xwd, xwdtopnm, pnmcut, pnmdepth, pngtopnm, pnmtopng (packages xvfb xdotool x11-apps "
           "netpbm)";
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
    // -displayfd: the server takes the first free display number and writes it
    // to its stdout once it accepts clients, so parallel tests never collide.
    std::string numberFile = (scratch.path / "display").string();
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

VirtualDisplay::~VirtualDisplay() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

std::string VirtualDisplay::run(const std::string& command) const {
    return runProgram({"/bin/sh", "-c", "DISPLAY=" + name + " " + command}).out;
}

DemoProcess::DemoProcess(const VirtualDisplay& display, const std::string& meshFile,
                         const std::vector<std::string>& arguments) {
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

DemoProcess::~DemoProcess() {
    if (pid > 0 && !ended()) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

bool DemoProcess::ended() {
    if (exitStatus || signalled) return true;
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, WNOHANG) != pid) return false;
    if (WIFEXITED(status)) exitStatus = WEXITSTATUS(status);
    else signalled = true;
    return true;
}
Rgb ScreenImage::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= 600 || y >= 600 || rgb.size() != 600 * 600 * 3) return {-1, -1, -1};
    size_t i = (static_cast<size_t>(y) * 600 + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
}

std::optional<ScreenImage> takeScreenshot(const VirtualDisplay& display) {
    std::string bytes = display.run("xwd -root -silent | xwdtopnm | pnmcut 200 200 600 600 | pnmdepth 255");
    const std::string header = "P6\n600 600\n255\n";
    if (bytes.size() != header.size() + 600 * 600 * 3 || bytes.rfind(header, 0) != 0) return std::nullopt;
    return ScreenImage{std::vector<uint8_t>(bytes.begin() + header.size(), bytes.end())};
}

int pixelsUnlikeGolden(const ScreenImage& image, const std::string& name) {
    const std::string golden = PLUMFOLD_SOURCE_DIR "/tests/data/golden/" + name + ".png";
    const std::string header = "P6\n600 600\n255\n";
    if (std::getenv("PLUMFOLD_UPDATE_PICTURES") != nullptr) {
        TempDir dir;
        const std::string shot = dir.write("shot.ppm", header + std::string(image.rgb.begin(), image.rgb.end()));
        runProgram({"/bin/sh", "-c", "pnmtopng '" + shot + "' > '" + golden + "'"});
        return 0;
    }
    const std::string bytes = runProgram({"pngtopnm", golden}).out;
    if (bytes.size() != header.size() + image.rgb.size() || bytes.rfind(header, 0) != 0) return 600 * 600;
    int unlike = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
        bool differs = false;
        for (size_t k = i; k < i + 3; ++k)
            differs |= std::abs(int(image.rgb[k]) - int(uint8_t(bytes[header.size() + k]))) > 2;
        unlike += differs;
    }
    return unlike;
}

bool looksLike(Rgb pixel, float r, float g, float b, int tolerance) {
    auto near = [tolerance](int value, float channel) {
        return std::abs(value - static_cast<int>(std::lround(channel * 255.0f))) <= tolerance;
    };
    return near(pixel.r, r) && near(pixel.g, g) && near(pixel.b, b);
}

BodyView findBody(const ScreenImage& image, int left) {
    // The unlit colours the box is drawn in.
    static const float boxColours[4][3] = {
        {0.44f, 0.53f, 0.62f}, {0.14f, 0.23f, 0.48f}, {0.44f, 0.43f, 0.62f}, {0.44f, 0.43f, 0.52f}};
    BodyView view;
    view.top = view.left = 1 << 30;
    view.bottom = view.right = -1;
    double sumX = 0, sumY = 0;
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 600; ++x) {
            Rgb pixel = image.at(left + x, y);
            if (pixel.r < 10 && pixel.g < 10 && pixel.b < 10) continue;
            if (pixel.r >= 250 && pixel.g >= 250 && pixel.b >= 250) {
                ++view.whitePixels;
                continue;
            }
            bool box = std::any_of(std::begin(boxColours), std::end(boxColours),
                                   [&](const float* c) { return looksLike(pixel, c[0], c[1], c[2]); });
            if (box) continue;
            ++view.pixels;
            sumX += x;
            sumY += y;
            view.top = std::min(view.top, y);
            view.bottom = std::max(view.bottom, y);
            view.left = std::min(view.left, x);
            view.right = std::max(view.right, x);
        }
    }
    if (view.pixels > 0) {
        view.centreX = sumX / view.pixels;
        view.centreY = sumY / view.pixels;
    }
    return view;
}
