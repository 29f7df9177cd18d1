// The train protection: a train above the caution speed of the limit the
// track ahead allows gets the emergency brake, one rolling backwards the
// brake. The tick applies it to the own train once per tick, drawn or not;
// the instruments only show its state.
#pragma once

#include "state/main_state.h"

namespace velmora::pilot {

// Limits below this are no limit: no caution speed, no arcs on the speed gauge.
inline constexpr double kLowestSpeedLimit = -8;  // m/s

// The speed above which the protection brakes at a track limit (m/s):
// √(2.5 · (L·|L| + 9) / 1.94); 1e38 without a limit.
double CautionSpeed(double limit);

// Whether speed v (m/s) is above the caution speed of limit (m/s).
bool Overspeed(double limit, double v);

// The protection's step on the own vehicle; nothing unless it is a train. A
// train not logged in (user number 0) gets no emergency brake.
void TrainProtection(state::TMainState& state);

}  // namespace velmora::pilot
