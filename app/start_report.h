#pragma once
// The six lines the demo writes at start, before any window: the window size and
// the loaded body's counts, each flushed at once so that they reach a pipe or a
// file even where no window can be opened.
#include "body/pressure_body.h"

namespace plumfold {

void writeStartReport(const PressureBody& body, int windowWidth, int windowHeight);

}  // namespace plumfold
