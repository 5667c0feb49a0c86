#pragma once
// The interactive program's process-wide state and its GLUT callbacks. All of
// it is used only on the one thread that runs the GLUT event loop.
#include "app/frame_stepping.h"
#include "body/drag.h"
#include "body/pressure_body.h"

namespace plumfold {

extern PressureBody body;  // the one body, built by main from the mesh (main.cpp)
extern int windowWidth;    // drawing area in pixels, kept by reshape (main.cpp)
extern int windowHeight;
extern DragState drag;           // dragging, mouseX, mouseY (input.cpp)
extern FrameTiming frameTiming;  // startTick, elapsedTicks (idle.cpp)

// Opens the window, registers the callbacks and runs the event loop; never returns.
[[noreturn]] void runWindow(int argc, char** argv);
// Just opens the window (ending the process with status 1 when it cannot).
void openWindow(int argc, char** argv);
// Everything display draws, without the buffer swap.
void drawScene();

void reshape(int width, int height);
void display();
void idle();
void mouse(int button, int state, int x, int y);
void motion(int x, int y);
void keyboard(unsigned char key, int x, int y);

}  // namespace plumfold
