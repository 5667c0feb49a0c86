#pragma once
// The page's replay: the shipped body driven by a drag events file for a number
// of steps, exactly as plumfold-sim MESH STEPS --events FILE runs it, ending
// with the checksum of the state.
#include <cstdint>
#include <string>

#include "body/drag.h"
#include "body/pressure_body.h"

namespace plumfold {

struct ReplayRequest {
    bool wanted = false;     // the page's address asked for steps=N
    std::string eventsFile;  // path of the fetched events in the module's file system; empty: no events
    std::string shownAs;     // the events file as the address named it, for messages
    uint64_t steps = 0;
};

// Reads "--events PATH --shown-as NAME --steps N" (each part optional) as the
// page passes them. False with a message when they make no sense.
bool parseReplayRequest(int argc, char** argv, ReplayRequest& request, std::string& error);

// Applies the events before their steps and runs request.steps steps. False with
// a message (and the body untouched) when the events file cannot be read.
bool runReplay(PressureBody& body, DragState& drag, const ReplayRequest& request, std::string& error);

}  // namespace plumfold
