#pragma once
// The straightforward step, one plain loop per operation, kept verbatim as the
// yardstick: the benchmark measures every speed-up against it in the same run,
// and the tests require the fast step to match it bit for bit.
#include "body/pressure_body.h"

void baselineComputeForces(PressureBody& body);
void baselineIntegrate(PressureBody& body, IntegrationMode mode, float dt);

// baselineComputeForces, then baselineIntegrate(Heun, dt): one simulation step.
inline void baselineStep(PressureBody& body, float dt) {
    baselineComputeForces(body);
    baselineIntegrate(body, Heun, dt);
}
