// The airliner's crew: captain and instructor callouts, the ground-proximity
// warning and the approach guidance. The control step calls both operations
// for types 10 and 11 after every move.
#pragma once

#include "state/main_state.h"

namespace velmora::pilot {

// Callouts due after the move from height z0 (m, down) at vertical speed vz0
// (m/s, down) to the own vehicle's present state.
void CrewCallouts(state::TMainState& state, double z0, double vz0);

// Guidance and autopilot with the upward acceleration of the last move
// (m/s²) and its length dt (s, never 0).
void CrewGuidance(state::TMainState& state, double upwardAcceleration, double dt);

}  // namespace velmora::pilot
