// Plumfold in the browser: the window program's scene, report, drawing and
// mouse on a web page. The page's address may ask for a replay first; Escape
// stops the simulation, as a page cannot end its process.
#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <string>

#include "app/front_end.h"
#include "app/start_report.h"
#include "app/web/replay.h"
#include "app/web/web_window.h"
#include "body/scene.h"
#include "body/state_hash.h"

namespace plumfold {

// Built before main runs, once the page has fetched the shipped body into the
// module's file system (page.js).
PressureBody body{BodyParams{}};

int windowWidth = 0;
int windowHeight = 0;

}  // namespace plumfold

int main(int argc, char** argv) {
    using namespace plumfold;
    body.gravity = sceneGravity;
    windowWidth = initialWindowWidth;
    windowHeight = initialWindowHeight;

    writeStartReport(body, windowWidth, windowHeight);

    ReplayRequest request;
    std::string error;
    if (!parseReplayRequest(argc, argv, request, error) || (request.wanted && !runReplay(body, drag, request, error))) {
        std::cerr << "plumfold: " << error << std::endl;
    } else if (request.wanted) {
        std::printf("checksum %016" PRIx64 "\n", stateChecksum(body));
        std::fflush(stdout);
    }
    runWebWindow();
}
