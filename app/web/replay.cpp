#include "app/web/replay.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "body/scene.h"
#include "body/session.h"

namespace plumfold {

namespace {
const char* const addressForm = "open the page as index.html?events=FILE&steps=N";

}  // namespace

bool parseReplayRequest(int argc, char** argv, ReplayRequest& request, std::string& error) {
    std::string steps;
    bool haveSteps = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i], value = argv[i + 1];
        if (option == "--events") {
            request.eventsFile = value;
        } else if (option == "--shown-as") {
            request.shownAs = value;
        } else if (option == "--steps") {
            steps = value;
            haveSteps = true;
        } else {
            error = "unknown page option '" + option + "'";
            return false;
        }
    }
    if (!haveSteps) {
        if (request.eventsFile.empty()) return true;
        error = std::string("events given without steps; ") + addressForm;
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(steps.c_str(), &end, 10);
    if (steps.empty() || !std::isdigit(static_cast<unsigned char>(steps[0])) || *end != '\0' || errno != 0) {
        error = "steps must be a whole number from 0, not '" + steps + "'; " + addressForm;
        return false;
    }
    request.steps = value;
    request.wanted = true;
    return true;
}

bool runReplay(PressureBody& body, DragState& drag, const ReplayRequest& request, std::string& error) {
    plumfold::Session session;
    if (!request.eventsFile.empty()) {
        std::string text, problem;
        if (!plumfold::readWholeFile(request.eventsFile, text)) problem = "cannot be read";
        if (problem.empty()) problem = plumfold::parseSession(text, session);
        for (const plumfold::SessionEntry& entry : session.entries)
            if (problem.empty() && entry.kind == plumfold::EntryKind::Restart)
                problem = "asks for a restart, which the page does not replay";
        if (!problem.empty()) {
            error =
                "events file '" + request.shownAs + "', " + problem + "; fix it or leave events= out of the address";
            return false;
        }
    }
    // The loop of plumfold-sim: the events of step s, then step s; after the
    // last step only the events of step N, none later.
    const std::vector<plumfold::SessionEntry>& events = session.entries;
    plumfold::Steering steering;
    size_t next = 0;
    for (uint64_t step = 0; step <= request.steps; ++step) {
        while (next < events.size() && events[next].step == step) applyEntry(events[next++], body, drag, steering);
        if (step == request.steps) break;
        simulationStep(body);
    }
    return true;
}

}  // namespace plumfold
