// The lab's GLUT callbacks: each wraps the plain demo's own, adding the panel,
// the keys, the watch and the session's recording or replay.
#include <GL/glut.h>
#include <imgui.h>
#include <imgui_impl_glut.h>
#include <imgui_impl_opengl2.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/front_end.h"
#include "app/lab/lab.h"
#include "app/lab/lab_panel.h"
#include "app/lab/lab_state.h"
#include "app/lab/lab_timing.h"
#include "app/tick_counter.h"
#include "body/sha256.h"

namespace plumfold {
namespace {

Lab lab;
LabTiming timing;
bool panelShown = false;  // the panel is on (--lab) and not hidden with H
bool panelEnabled = false;
PanelArea panelArea;
bool pressWentToPanel = false;

bool leftButton(int button) { return button == GLUT_LEFT_BUTTON; }

void labMouse(int button, int state, int x, int y) {
    if (panelShown) ImGui_ImplGLUT_MouseFunc(button, state, x, y);
    if (leftButton(button) && state == GLUT_UP && pressWentToPanel) {
        pressWentToPanel = false;
        return;
    }
    if (leftButton(button) && state == GLUT_DOWN &&
        ((panelShown && (panelArea.contains(x, y) || ImGui::GetIO().WantCaptureMouse)) || replaying(lab))) {
        pressWentToPanel = true;
        return;
    }
    bool wasDragging = drag.dragging;
    mouse(button, state, x, y);
    if (!leftButton(button)) return;
    if (state == GLUT_DOWN) noteDrag(lab, EntryKind::Press, x, y, windowWidth, windowHeight);
    if (state == GLUT_UP && wasDragging) note(lab, EntryKind::Release);
}

void labMotion(int x, int y) {
    if (panelShown) ImGui_ImplGLUT_MotionFunc(x, y);
    if (replaying(lab)) return;
    if (drag.dragging) noteDrag(lab, EntryKind::Motion, x, y, windowWidth, windowHeight);
    motion(x, y);
}

void labPassiveMotion(int x, int y) {
    if (panelShown) ImGui_ImplGLUT_MotionFunc(x, y);
}

void labKeyboard(unsigned char key, int x, int y) {
    constexpr unsigned char escape = 27;
    if (!panelEnabled || key == escape) {
        keyboard(key, x, y);  // the demo's own: Escape quits, the rest is ignored
        return;
    }
    ImGui_ImplGLUT_KeyboardFunc(key, x, y);
    if (panelShown && ImGui::GetIO().WantTextInput) return;  // typing a value into a slider
    switch (key) {
        case 'p':
        case 'P':
        case ' ':
            togglePause(lab);
            timing.startAfresh();
            break;
        case 'n':
        case 'N': stepOnce(lab); break;
        case 'r':
        case 'R': restart(lab); break;
        case 'h':
        case 'H': panelShown = !panelShown; break;
        default: break;
    }
    glutPostRedisplay();
}

void labKeyboardUp(unsigned char key, int x, int y) {
    if (panelEnabled) ImGui_ImplGLUT_KeyboardUpFunc(key, x, y);
}

void labReshape(int width, int height) {
    reshape(width, height);
    if (panelEnabled) ImGui_ImplGLUT_ReshapeFunc(width, height);
}

void labDisplay() {
    drawScene();
    double panelCost = 0;
    if (panelShown) {
        auto start = LabTiming::Clock::now();
        ImGui_ImplOpenGL2_NewFrame();
        ImGui_ImplGLUT_NewFrame();
        panelArea = drawPanel(lab, timing);
        ImGui::Render();
        ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
        panelCost = std::chrono::duration<double>(LabTiming::Clock::now() - start).count();
    }
    timing.addFrame(panelCost);
    glutSwapBuffers();
}

void labIdle() {
    uint32_t start = readTickCounter();
    int32_t steps = stepsForFrame(lab, stepsForBatch(frameTiming.elapsedTicks), start);
    auto begin = LabTiming::Clock::now();
    int32_t ran = runSteps(lab, steps);
    timing.addSteps(ran, std::chrono::duration<double>(LabTiming::Clock::now() - begin).count());
    glutPostRedisplay();
    frameTiming.elapsedTicks = ticksBetween(start, readTickCounter());
    // Paused: redraw at about 100 frames a second instead of spinning.
    if (steps == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void closeAtExit() { closeRecording(lab); }

[[noreturn]] void fail(const std::string& problem) {
    std::fprintf(stderr, "plumfold: %s\n", problem.c_str());
    std::exit(2);
}

}  // namespace

void runLab(int argc, char** argv, const LabStart& start, const MeshFile& mesh) {
    startLab(lab, body, drag, mesh);
    lab.watching = start.panel;
    if (!start.replayFile.empty()) lab.replay = &start.replay;
    if (!start.recordFile.empty()) {
        std::string bytes;
        if (!readWholeFile(start.meshPath, bytes)) fail("cannot read the mesh '" + start.meshPath + "' again");
        if (!openRecording(lab, start.recordFile, sha256Hex(bytes), start.meshPath))
            fail("cannot create the recording '" + start.recordFile + "'; check the folder exists and is writable");
        // Escape, closing the window and every other exit write the last checksum.
        std::atexit(closeAtExit);
    }

    openWindow(argc, argv);
    panelEnabled = panelShown = start.panel;
    if (panelEnabled) {
        IMGUI_CHECKVERSION();
        ImGui::CreateContext();
        ImGui::GetIO().IniFilename = nullptr;  // no imgui.ini left in the working directory
        ImGui::StyleColorsDark();
        ImGui_ImplGLUT_Init();
        ImGui_ImplOpenGL2_Init();
        ImGui_ImplGLUT_ReshapeFunc(windowWidth, windowHeight);
        glutPassiveMotionFunc(labPassiveMotion);
        glutKeyboardUpFunc(labKeyboardUp);
    }
    glutMouseFunc(labMouse);
    glutMotionFunc(labMotion);
    glutKeyboardFunc(labKeyboard);
    glutReshapeFunc(labReshape);
    glutDisplayFunc(labDisplay);
    glutIdleFunc(labIdle);
    glutMainLoop();
    std::exit(0);
}

}  // namespace plumfold
