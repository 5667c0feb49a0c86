#include "body/drag.h"

namespace plumfold {

void mapCursor(int x, int y, int windowWidth, int windowHeight, DragState& drag) {
    // A window shrunk to nothing maps as if it were one pixel wide or high.
    double width = windowWidth > 0 ? windowWidth : 1;
    double height = windowHeight > 0 ? windowHeight : 1;
    // Adding +0 turns the −0 that the centre row gives into 0, nothing else.
    drag.mouseX = static_cast<float>((x / width - 0.5) * 8) + 0.0f;
    drag.mouseY = static_cast<float>((y / height - 0.5) * -8) + 0.0f;
}

void pressDrag(PressureBody& body, DragState& drag, int x, int y, int windowWidth, int windowHeight) {
    releaseDrag(body, drag);
    drag.dragging = true;
    mapCursor(x, y, windowWidth, windowHeight, drag);
    body.points.push_back(MassPoint::make(0.0f, Vector3{drag.mouseX, drag.mouseY, 0.0f}, Vector3{}));
    int32_t dragPoint = static_cast<int32_t>(body.points.size() - 1);
    body.springs.push_back(Spring::make(body.points.data(), dragPoint, 1, dragStiffness, dragDamping));
}

bool moveDrag(PressureBody& body, DragState& drag, int x, int y, int windowWidth, int windowHeight) {
    if (!drag.dragging) return false;
    mapCursor(x, y, windowWidth, windowHeight, drag);
    body.points.back().position = Vector3{drag.mouseX, drag.mouseY, 0.0f};
    return true;
}

void releaseDrag(PressureBody& body, DragState& drag) {
    if (!drag.dragging) return;
    body.points.pop_back();
    body.springs.pop_back();
    drag.dragging = false;
}

}  // namespace plumfold
