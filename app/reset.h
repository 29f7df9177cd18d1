// The reset routine: panels, throttle maximum, gear and control state for a
// vehicle type, optionally re-placing the own vehicle where it stands.
#pragma once

#include <cstdint>

#include "state/main_state.h"

namespace velmora::app {

// type: the vehicle type number the panels and limits are set for (0 = none).
// place: settle the own vehicle on the ground or track and trim its throttle.
// now: the synchronised clock (ms).
void ResetRoutine(state::TMainState& state, int32_t type, bool place, uint32_t now);

}  // namespace velmora::app
