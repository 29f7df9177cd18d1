// The own vehicle's control step: pilot inputs to thrust, brake, attitude
// rates, steering, flaps and gear, then the physics step, the crew, the crash
// tests and the world-offset shift. Rates in deg/s, speeds in m/s.
#pragma once

#include <optional>
#include <string>

#include "state/main_state.h"

namespace velmora::pilot {

// Everything of the control step up to and including the crash tests, for
// stick values (−1.05..1.05, positive rolls right and raises the nose) and a
// sub-step of dt seconds. Does nothing without an own vehicle. Returns the
// instructor's message when a crash test holds in practice mode; the caller
// then restores the start state before the world offset is shifted.
std::optional<std::string> ControlStep(state::TMainState& state, double stickX, double stickY,
                                       double dt);

// Keeps the own position within ±50000 m by moving 100000 m between the
// records (own and remote) and the world offset; absolute positions stay.
void ShiftWorldOffset(state::TMainState& state);

// Sets Throttle to the thrust that holds vehicle w's present speed and returns it.
double TrimThrottle(state::TMainState& state, const vehicle::TVehicleState& w);

}  // namespace velmora::pilot
