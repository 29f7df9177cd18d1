// Placing the own airliner on an approach for landing practice: in the air
// before the destination's final turn, at the height, attitude and speed the
// autopilot would fly there.
#pragma once

#include <cstdint>

#include "state/main_state.h"
#include "world/shapes.h"

namespace velmora::pilot {

// Replaces the own vehicle by the start state placed on the approach to
// dest: type 11 (gear down) shortly before the final turn, or on a
// straight-in 6500 m before the threshold; other types 16 km before the
// turn at 590 m. now: synchronised clock (ms).
void PlaceOnApproach(state::TMainState& state, const world::TRunwayInfo& dest, uint32_t now);

}  // namespace velmora::pilot
