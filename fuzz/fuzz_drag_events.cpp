// Fuzz target: the session parser (drag events files and recordings), and the
// drag operations fed with whatever it accepts.
//
// Properties checked:
// - a rejected text gives a message that names the line;
// - accepted entries are in step order, and writing them back out in the file
//   format and parsing that again gives the same entries;
// - applied to a body, every press adds exactly one drag point and one drag
//   spring at the ends of the arrays, every release removes them, and after the
//   last event (plus a closing release) the body has exactly the points and
//   springs it was built with, in the same order.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "body/drag.h"
#include "body/scene.h"
#include "body/session.h"
#include "fuzz/fuzz_check.h"
#include "mesh/mesh_file.h"

using namespace plumfold;

namespace {

// The tetrahedron of the format's own example, built without touching a file.
PressureBody makeBody() {
    MeshFile mesh;
    mesh.vertexCount = 4;
    mesh.faceCount = 4;
    mesh.vertices = {0, 1, 0, -1, -1, 1, 1, -1, 1, 0, -1, -1};
    mesh.faceIndices = {0, 1, 2, 0, 2, 3, 0, 3, 1, 1, 3, 2};
    PressureBody body(mesh, BodyParams{});
    body.gravity = sceneGravity;
    return body;
}

using plumfold::EntryKind;
using plumfold::SessionEntry;

std::string format(const plumfold::Session& session) {
    std::string text = session.meshLine != 0 ? plumfold::formatHeader(session.meshSha256, session.meshPath) + "\n" : "";
    for (const SessionEntry& e : session.entries) text += plumfold::formatEntry(e) + "\n";
    return text;
}

bool sameEntries(const std::vector<SessionEntry>& a, const std::vector<SessionEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        bool same = a[i].step == b[i].step && a[i].kind == b[i].kind && a[i].x == b[i].x && a[i].y == b[i].y &&
                    a[i].width == b[i].width && a[i].height == b[i].height && a[i].parameter == b[i].parameter &&
                    a[i].value == b[i].value && a[i].checksum == b[i].checksum;
        if (!same) return false;
    }
    return true;
}

void checkBodyShape(const PressureBody& body, const PressureBody& built, const DragState& drag) {
    size_t extra = drag.dragging ? 1 : 0;
    FUZZ_CHECK(body.points.size() == built.points.size() + extra && body.springs.size() == built.springs.size() + extra,
               "%zu points and %zu springs while %s", body.points.size(), body.springs.size(),
               drag.dragging ? "dragging" : "idle");
    for (size_t i = 0; i < built.springs.size(); ++i) {
        FUZZ_CHECK(body.springs[i].pointA == built.springs[i].pointA &&
                       body.springs[i].pointB == built.springs[i].pointB &&
                       body.springs[i].restLength == built.springs[i].restLength,
                   "spring %zu changed", i);
    }
    if (drag.dragging) {
        const MassPoint& dragPoint = body.points.back();
        const Spring& dragSpring = body.springs.back();
        FUZZ_CHECK(dragPoint.mass == 0.0f && dragPoint.inverseMass == 0.0f, "the drag point is not fixed");
        FUZZ_CHECK(dragSpring.pointA == static_cast<int32_t>(body.points.size() - 1) && dragSpring.pointB == 1 &&
                       dragSpring.stiffness == dragStiffness,
                   "the last spring is not the drag spring");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    plumfold::Session session;
    std::string error = plumfold::parseSession(text, session);
    if (!error.empty()) {
        FUZZ_CHECK(error.rfind("line ", 0) == 0, "the message \"%s\" does not name the line", error.c_str());
        return 0;
    }
    const std::vector<SessionEntry>& events = session.entries;
    for (size_t i = 1; i < events.size(); ++i)
        FUZZ_CHECK(events[i - 1].step <= events[i].step, "entry %zu comes before the one ahead of it", i);
    plumfold::Session again;
    error = plumfold::parseSession(format(session), again);
    FUZZ_CHECK(error.empty(), "written entries do not parse: %s", error.c_str());
    FUZZ_CHECK(sameEntries(events, again.entries) && again.meshPath == session.meshPath,
               "written entries parse differently");

    static const PressureBody built = makeBody();
    PressureBody body = built;
    DragState drag;
    // Tuning and restarts are left out: they change no array's shape, and a
    // restart needs the mesh. A few steps between entries, whatever their step
    // numbers say: the order and coordinates are what stress the drag.
    for (size_t i = 0; i < events.size() && i < 64; ++i) {
        const SessionEntry& e = events[i];
        switch (e.kind) {
            case EntryKind::Press:
                pressDrag(body, drag, e.x, e.y, e.width, e.height);
                FUZZ_CHECK(body.points.back().position.x == drag.mouseX && body.points.back().position.y == drag.mouseY,
                           "the drag point is not at the cursor");
                break;
            case EntryKind::Motion: moveDrag(body, drag, e.x, e.y, e.width, e.height); break;
            case EntryKind::Release: releaseDrag(body, drag); break;
            default: break;
        }
        checkBodyShape(body, built, drag);
        if (i + 1 == events.size() || events[i + 1].step != e.step) simulationStep(body);
    }
    releaseDrag(body, drag);
    checkBodyShape(body, built, drag);
    return 0;
}
