// The demo and its lab as a person uses them: a real window on a private X
// server, mouse and keys through xdotool, what it shows read back from
// screenshots, sessions checked by plumfold-sim.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "gui_harness.h"

namespace {
// A body of its own, so the tests do not follow changes to the shipped mesh:
// 162 points, 320 faces, 480 edges, radius 1.8 after the scene's scale of 0.9.
const std::string testBody = PLUMFOLD_SOURCE_DIR "/tests/data/golden/ico2.asc";
const std::string report =
    "Window Width: 600\nWindow Height: 600\n\nLoaded: 320 faces...\nLoaded: 162 points...\n"
    "Created: 480 spring connections...\n";

// Slow shared machines with software rendering: generous limits, always polled.
constexpr double windowTimeout = 60;
constexpr double settleTimeout = 120;
constexpr double reactionTimeout = 30;

class DemoWindow : public ::testing::Test {
protected:
    std::vector<std::string> arguments;  // the plain demo: none
    std::unique_ptr<VirtualDisplay> display;
    std::unique_ptr<DemoProcess> demo;
    std::string windowId;
    std::string outputWhenWindowAppeared;

    void SetUp() override {
        std::string missing = missingGuiTools();
        if (!missing.empty()) {
            GTEST_SKIP() << "window tests skipped, missing:" << missing
                         << ". Install them (scripts/install-test-deps.sh does so as root).";
        }
        display = std::make_unique<VirtualDisplay>();
        ASSERT_FALSE(display->name.empty()) << "Xvfb did not start";
        demo = std::make_unique<DemoProcess>(*display, testBody, arguments);
        ASSERT_GT(demo->pid, 0) << "could not start the demo";
        pollUntil(
            [&] {
                windowId = display->run("xdotool search --name '^Plumfold 3\\.0 by ' | head -n 1 | tr -d '\\n'");
                return !windowId.empty() || demo->ended();
            },
            windowTimeout);
        outputWhenWindowAppeared = demo->output();
        ASSERT_FALSE(windowId.empty()) << "no window appeared; stdout:\n"
                                       << demo->output() << "stderr:\n"
                                       << demo->errors();
    }

    // Whether the demo printed `lines` after its start-up report.
    bool printedAfterReport(const std::string& lines) {
        return pollUntil([&] { return demo->output() == report + lines; }, reactionTimeout);
    }

    void xdotool(const std::string& arguments) { display->run("xdotool " + arguments); }
    std::string pointerMove(int x, int y) {
        return "mousemove --window " + windowId + " " + std::to_string(x) + " " + std::to_string(y);
    }
    void click(int button, int x, int y) { xdotool(pointerMove(x, y) + " click " + std::to_string(button)); }

    void expectExitStatus(int status) {
        pollUntil([&] { return demo->ended(); }, reactionTimeout);
        EXPECT_EQ(demo->exitStatus, std::optional<int>(status)) << "stderr:\n" << demo->errors();
    }
};

// The report comes first, then the window; the body falls to rest on the floor
// while right and middle presses and the lab's keys do nothing; left presses
// print the cursor in the size that reshape stored, Escape ends with status 0.
TEST_F(DemoWindow, FallsToRestInTheOpenBoxAndPrintsOnlyLeftPresses) {
    EXPECT_EQ(outputWhenWindowAppeared, report);
    EXPECT_EQ(display->run("xdotool getwindowgeometry " + windowId + " | tail -n +2 | tr -s ' '"),
              " Position: 200,200 (screen: 0)\n Geometry: 600x600\n");
    click(3, 300, 300);  // right
    click(2, 300, 300);  // middle
    xdotool("key q");
    xdotool("key p");  // the lab's keys do nothing here
    // At rest: the body's height on screen no longer changes (it may still roll a little sideways).
    BodyView previous;
    int steady = 0;
    pollUntil(
        [&] {
            BodyView now = findBody(takeScreenshot(*display));
            bool same = now.pixels > 0 && std::abs(now.bottom - previous.bottom) <= 1 &&
                        std::abs(now.centreY - previous.centreY) <= 1.5;
            steady = same ? steady + 1 : 0;
            previous = now;
            return steady >= 3;
        },
        settleTimeout, std::chrono::milliseconds(300));
    EXPECT_GE(steady, 3) << "the body never came to rest";
    // The body and the pixels around it from one screenshot: at rest it may still
    // roll a little sideways between two.
    const ScreenImage image = takeScreenshot(*display);
    BodyView rest = findBody(image);
    // No panel: the lab's would cover the top and the left wall. (The box as
    // drawn is held by the lab's golden picture: the same drawing.)
    EXPECT_TRUE(looksLike(image.at(300, 30), 0.44f, 0.53f, 0.62f) && looksLike(image.at(60, 200), 0.44f, 0.43f, 0.62f));

    // The body starts with its centre above the window's middle row; it rests
    // below it, on the floor (floor pixels below it) and between the walls.
    ASSERT_GT(rest.pixels, 5000);
    EXPECT_GT(rest.centreY, 330);
    EXPECT_EQ(rest.whitePixels, 0);
    EXPECT_TRUE(looksLike(image.at(static_cast<int>(rest.centreX), rest.bottom + 10), 0.14f, 0.23f, 0.48f));
    EXPECT_GT(rest.left, 60);
    EXPECT_LT(rest.right, 565);
    EXPECT_EQ(demo->output(), report);

    click(1, 300, 300);
    click(1, 300, 150);
    EXPECT_TRUE(printedAfterReport("0\n0\n0\n2\n")) << demo->output();
    xdotool("windowsize " + windowId + " 400 200");
    ASSERT_TRUE(pollUntil(
        [&] { return display->run("xdotool getwindowgeometry " + windowId).find("400x200") != std::string::npos; },
        reactionTimeout));
    click(1, 200, 100);
    click(1, 100, 150);
    EXPECT_TRUE(printedAfterReport("0\n0\n0\n2\n0\n0\n-2\n-2\n")) << demo->output();
    xdotool("key Escape");
    expectExitStatus(0);
}

// Without DISPLAY the program gets no window, but it reads Objects/Objekt3.asc in
// its working directory (or a mesh of one's own) and reports the body first; help
// and mistakes are told in one line with a usage status, before anything is read.
// (How it ends on bad files: with the other bad inputs in tests/robustness/.)
TEST(DemoWithoutDisplay, ReportsTheBodyFirstAndRefusesBadCommandLines) {
    TempDir dir;
    dir.write("Objects/Objekt3.asc", readFile(tetraFile));
    dir.write("bodies/two.asc", "Vertices: 2 Vertex List: 0: X:0 Y:0 Z:0 1: X:1 Y:0 Z:0 Faces: 0 Face list:");
    const std::string header = "Window Width: 600\nWindow Height: 600\n\n";
    struct Case {
        std::string arguments, out, err;
        int status;  // -1: whatever GLUT does without a display
    };
    for (const Case& c :
         {Case{"", header + "Loaded: 4 faces...\nLoaded: 4 points...\nCreated: 6 spring connections...\n", "", -1},
          Case{"bodies/two.asc", header + "Loaded: 0 faces...\nLoaded: 2 points...\nCreated: 0 spring connections...\n",
               "", -1},
          Case{"--help", "Usage: plumfold [--lab] [--record FILE] [--replay FILE] [MESH]\n", "", 0},
          Case{"--lab --frobnicate", "", "plumfold: unknown option '--frobnicate'\nTry", 2},
          Case{"a.asc b.asc", "", "plumfold: one mesh only: 'a.asc' and 'b.asc'\nTry", 2},
          Case{"--lab --record", "", "plumfold: --record needs a file name\nTry", 2}}) {
        Outcome o = runProgram(command(demoProgram, c.arguments), dir.path.string());
        EXPECT_EQ(o.out.substr(0, c.out.size()), c.out) << c.arguments;
        EXPECT_EQ(o.err.substr(0, c.err.size()), c.err) << c.arguments;
        EXPECT_TRUE(c.status < 0 || o.status == c.status) << c.arguments << ": status " << o.status;
    }
}

// A display on which no OpenGL window can be made: the report still comes
// first, then the program gives up with a failure status, not a success.
TEST(DemoWithoutOpenGL, ReportsThenEndsWithStatusOne) {
    std::string missing = missingGuiTools();
    if (!missing.empty()) GTEST_SKIP() << "window tests skipped, missing:" << missing;
    VirtualDisplay display(false);
    ASSERT_FALSE(display.name.empty()) << "Xvfb did not start";
    DemoProcess demo(display, testBody);
    ASSERT_TRUE(pollUntil([&] { return demo.ended(); }, windowTimeout));
    EXPECT_EQ(demo.exitStatus, std::optional<int>(1)) << "stderr:\n" << demo.errors();
    EXPECT_EQ(demo.output(), report);
}

// The lab, recording its session to session.txt in the demo's folder.
class LabWindow : public DemoWindow {
protected:
    LabWindow() { arguments = {"--lab", "--record", "session.txt"}; }

    std::vector<uint8_t> window() { return takeScreenshot(*display).rgb; }
    std::string session() { return readFile(demo->workDir.path / "session.txt"); }
    // Runs the xdotool command, waits until the session records `entry` and the next frame is drawn.
    void recorded(const std::string& command, const std::string& entry) {
        size_t before = session().size();
        xdotool(command);
        EXPECT_TRUE(pollUntil([&] { return session().find(entry, before) != std::string::npos; }, reactionTimeout))
            << command;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    void verifies(const std::string& file, int status, const std::string& says) {
        Outcome run = runProgram({sim, "--verify", file}, demo->workDir.path);
        EXPECT_EQ(run.status, status) << run.all();
        EXPECT_EQ(run.out.rfind(says, 0), 0u) << run.all();
    }
};

TEST_F(LabWindow, PanelPauseSingleStepAndRestart) {
    EXPECT_TRUE(pollUntil([&] { return looksLike(takeScreenshot(*display).at(150, 13), 0.16f, 0.29f, 0.48f); },
                          reactionTimeout))
        << "no panel title bar";

    xdotool(pointerMove(500, 100));  // keys go to the window under the pointer
    recorded("key p", " pause\n");
    std::vector<uint8_t> paused = window();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_TRUE(window() == paused) << "the picture changed while paused";

    recorded("key n", " checksum ");
    std::vector<std::string> lines = splitLines(session());
    EXPECT_EQ(lines.back().rfind(std::to_string(std::stoull(lines[lines.size() - 2]) + 1) + " checksum ", 0), 0u)
        << lines[lines.size() - 2] << ": N runs exactly one step, then the checksum of its state";

    xdotool("key h");  // the panel hidden, the body alone
    recorded("key r", " restart\n");
    std::vector<uint8_t> first = window();
    // The drawing itself (box, lights, material, depth) after the first step,
    // which gives the faces their normals.
    recorded("key n", " checksum ");
    EXPECT_LE(pixelsUnlikeGolden(ScreenImage{window()}, "first-step"), 50)
        << "after a deliberate change to the drawing, PLUMFOLD_UPDATE_PICTURES=1 remakes "
           "tests/data/golden/first-step.png";
    recorded("key p", " resume\n");
    EXPECT_TRUE(pollUntil([&] { return window() != first; }, reactionTimeout)) << "the body never moved";
    recorded("key p", " pause\n");
    recorded("key r", " restart\n");
    EXPECT_TRUE(window() == first) << "R did not bring back the first picture";
    xdotool("key Escape");
    expectExitStatus(0);
    verifies("session.txt", 0, "verified ");
}

TEST_F(LabWindow, ASessionWithDragsAndTuningVerifiesAndAChangedCheckpointDiverges) {
    // Every step waits for the lab to record it: on a loaded machine frames come slowly.
    recorded(pointerMove(450, 560) + " mousedown 1", " press 450 560\n");  // clear of the panel
    for (int y : {450, 300}) recorded(pointerMove(450, y), " motion 450 " + std::to_string(y) + "\n");
    // The drag spring, drawn as a white line right of the panel (whose text is white too).
    EXPECT_TRUE(pollUntil([&] { return findBody(takeScreenshot(*display), 270).whitePixels > 30; }, reactionTimeout))
        << "no drag line";
    recorded("mouseup 1", " release\n");
    // On the damping slider, held until the lab takes the new value as a hand would.
    recorded(pointerMove(100, 318) + " mousedown 1", " set damping ");
    xdotool("mouseup 1");
    xdotool("key Escape");
    expectExitStatus(0);
    std::string text = session();
    verifies("session.txt", 0, "verified ");

    size_t digit = text.rfind(" checksum ") + 10;
    text[digit] = text[digit] == '0' ? '1' : '0';
    demo->workDir.write("changed.txt", text);
    verifies("changed.txt", 1, "DIVERGED at step ");
}
}  // namespace
