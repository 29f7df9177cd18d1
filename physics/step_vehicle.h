// StepVehicle: the one physics step of every vehicle, own or remote. Forces
// are accelerations per unit mass (m/s²); the step updates the velocity, turns
// the attitude towards the motion, moves the vehicle on the fixed position
// grid, keeps it on the ground and couples a train to its track.
#pragma once

#include "state/main_state.h"

namespace velmora::physics {

// Advances vehicle v by dt seconds (negative steps a remote state back) with a
// brake deceleration (m/s², opposing the motion) and a thrust (m/s² along the
// body forward axis). The own vehicle is recognised by being state.Own; a
// touchdown of it sets the pitch and roll rates, the brake, the guidance
// mode and the landing roll. A type number outside 1..100, or a step too long for the position
// grid, raises vehicle::RangeFault.
void StepVehicle(state::TMainState& state, vehicle::TVehicleState& v, double dt, double brake,
                 double thrust);

}  // namespace velmora::physics
