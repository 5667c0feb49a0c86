#pragma once
// Dragging the body: a fixed drag point on the plane z = 0 that follows the
// cursor, joined to mass point 1 by a very stiff spring. Shared by the window
// and the headless simulator so both drag exactly alike.
#include "body/pressure_body.h"

namespace plumfold {

constexpr float dragStiffness = 600000.0f;  // also what marks the drag spring for drawing
constexpr float dragDamping = 80.0f;

struct DragState {
    bool dragging = false;
    float mouseX = 0.0f;  // body coordinates of the cursor at the last press or motion
    float mouseY = 0.0f;
};

// Window pixel (origin top left, y down) to body coordinates: the window spans
// x and y from −4 to +4. A fixed linear map that ignores the camera.
void mapCursor(int x, int y, int windowWidth, int windowHeight, DragState& drag);

// Left press: maps the cursor, appends the drag point and the drag spring.
// A press during a drag first ends that drag, so no stray point is left behind.
void pressDrag(PressureBody& body, DragState& drag, int x, int y, int windowWidth, int windowHeight);
// Motion with the button held: moves the drag point. False when not dragging.
bool moveDrag(PressureBody& body, DragState& drag, int x, int y, int windowWidth, int windowHeight);
// Left release: removes the drag point and spring. Nothing when not dragging.
void releaseDrag(PressureBody& body, DragState& drag);

}  // namespace plumfold
