// Dragging: the cursor mapping, and the drag point and spring that a press adds
// and a release takes away again. Where the press puts the drag point, its
// spring's ends and constants, motion and the walls' hold on it are held by the
// golden drag checksums (plumfold-sim --events).
#include <gtest/gtest.h>

#include "body/drag.h"
#include "tests/support/bodies.h"

using namespace plumfold;

namespace {

// Every byte of every point and spring, in order.
void expectSameRecords(const PressureBody& a, const PressureBody& b) {
    EXPECT_TRUE(sameRecords(a.points, b.points) && sameRecords(a.springs, b.springs));
}

}  // namespace

TEST(Drag, CursorMapping) {
    struct Case {
        int x, y, width, height;
        float mouseX, mouseY;
    };
    const Case cases[] = {
        {300, 300, 600, 600, 0, 0},
        {0, 0, 600, 600, -4, 4},
        {900, -300, 600, 600, 8, 8},
        {100, 100, 800, 400, -3, 2},
        {1, 2, 3, 7, static_cast<float>((1 / 3.0 - 0.5) * 8), static_cast<float>((2 / 7.0 - 0.5) * -8)},
        {0, 1, 0, -5, -4, -4},  // a window shrunk to nothing maps as if one pixel wide and high
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << "," << c.y);
        DragState drag;
        mapCursor(c.x, c.y, c.width, c.height, drag);
        // Bit for bit: the centre is printed as 0, never as -0.
        EXPECT_TRUE(sameRecords<float>({drag.mouseX, drag.mouseY}, {c.mouseX, c.mouseY}))
            << drag.mouseX << ", " << drag.mouseY;
    }
}

TEST(Drag, PairsOfEventsLeaveTheBodyAsItWas) {
    PressureBody body = sceneBodyAfter(tetraFile, 30);  // after some motion, so nothing sits at rest
    const PressureBody before = body;
    DragState drag;
    // A second press during a drag replaces the first drag, it does not stack.
    PressureBody pressedOnce = before;
    DragState onceDrag;
    pressDrag(pressedOnce, onceDrag, 500, 500, 600, 600);
    pressDrag(body, drag, 100, 100, 600, 600);
    pressDrag(body, drag, 500, 500, 600, 600);
    expectSameRecords(body, pressedOnce);
    releaseDrag(body, drag);
    expectSameRecords(body, before);
    // Then, as without a press, release and motion change nothing.
    releaseDrag(body, drag);
    EXPECT_FALSE(moveDrag(body, drag, 10, 10, 600, 600));
    expectSameRecords(body, before);
}
