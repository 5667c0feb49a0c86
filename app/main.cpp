// Plumfold: a pressurised soft body falling into an open box.
#include <cstdio>
#include <string>
#include <vector>

#include "app/body_source.h"
#include "app/command_line.h"
#include "app/front_end.h"
#include "app/lab/lab.h"
#include "app/start_report.h"
#include "body/scene.h"

namespace plumfold {

// Built in main from the mesh the command line names; until then empty.
PressureBody body;

int windowWidth = 0;
int windowHeight = 0;

}  // namespace plumfold

int main(int argc, char** argv) {
    using namespace plumfold;
    const plumfold::CommandLine line = plumfold::parseCommandLine(argc, argv);
    if (line.help) {
        std::fputs(plumfold::demoUsage, stdout);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "plumfold: %s\nTry 'plumfold --help'.\n", line.error.c_str());
        return 2;
    }
    // A replay brings its own mesh; the lab checks it before anything is read.
    plumfold::LabStart lab = plumfold::prepareLab(line);
    const std::string meshPath = lab.meshPath;

    // A mesh file that cannot be read ends the process here, before any report
    // line and any window.
    MeshFile mesh = plumfold::readBodyMesh(meshPath.c_str());
    body = PressureBody(mesh, BodyParams{});
    body.gravity = sceneGravity;
    windowWidth = initialWindowWidth;
    windowHeight = initialWindowHeight;

    // The report is complete before GLUT is touched.
    writeStartReport(body, windowWidth, windowHeight);

    std::vector<char*> glutArgv;
    for (const std::string& argument : line.glutArguments) glutArgv.push_back(const_cast<char*>(argument.c_str()));
    glutArgv.push_back(nullptr);
    int glutArgc = static_cast<int>(glutArgv.size() - 1);
    if (!lab.active) runWindow(glutArgc, glutArgv.data());
    plumfold::runLab(glutArgc, glutArgv.data(), lab, mesh);
}
