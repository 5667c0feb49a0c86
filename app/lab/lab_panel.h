#pragma once
// The lab's panel, drawn with Dear ImGui inside a frame the caller opened.
#include "app/lab/lab_state.h"
#include "app/lab/lab_timing.h"

namespace plumfold {

// Where the panel is in window pixels, so presses there go to the panel.
struct PanelArea {
    float left = 0, top = 0, right = 0, bottom = 0;
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

PanelArea drawPanel(Lab& lab, const LabTiming& timing);

}  // namespace plumfold
