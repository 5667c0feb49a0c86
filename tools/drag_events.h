#pragma once
// The drag events file of plumfold-sim: one event per line, "STEP press X Y",
// "STEP motion X Y" or "STEP release", applied before step STEP (0-based) in
// file order. Blank lines and lines starting with '#' are ignored.
#include <cstdint>
#include <string>
#include <vector>

struct DragEvent {
    enum class Kind { Press, Motion, Release };
    uint64_t step = 0;
    Kind kind = Kind::Release;
    int x = 0;  // window pixels of a 600 × 600 window
    int y = 0;
};

// Parses the whole text. On a bad line returns false and sets error to a message
// that names the line number and the problem.
bool parseDragEvents(const std::string& text, std::vector<DragEvent>& events, std::string& error);
