// idle: advances the simulation by a batch of steps sized by how long the
// previous batch took, then asks for a redraw.
#include <GL/glut.h>

#include "app/front_end.h"
#include "app/tick_counter.h"
#include "body/scene.h"

namespace plumfold {

FrameTiming frameTiming;

void idle() {
    runFrame(
        frameTiming, readTickCounter, [] { simulationStep(body); }, [] { glutPostRedisplay(); });
}

}  // namespace plumfold
