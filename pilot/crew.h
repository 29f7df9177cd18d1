// The airliner's crew: captain and instructor callouts, the ground-proximity
// warning and the approach guidance. The control step calls both operations
// for types 10 and 11 after every move.
#pragma once

#include <cstdint>

#include "state/main_state.h"

namespace velmora::pilot {

// Guidance modes of the crew.
inline constexpr int32_t kModeDestinationChosen = 4;  // engages at the next step
inline constexpr int32_t kModePositioning = 5;        // autopilot: to the intercept side
inline constexpr int32_t kModeToFix = 6;              // autopilot: to the intercept fix
inline constexpr int32_t kModeFinal = 7;              // autopilot: final turn and approach
inline constexpr int32_t kModeManualLanding = 8;      // autopilot off, the user lands

inline constexpr int32_t kStallCallInterval = 5000;  // ms between its calls while it lasts
inline constexpr double kStallRecovery = 1.05;       // of the floor: above it the warning ends

// The forward airspeed (m/s) below which level flight of the own vehicle at
// its flaps and height needs more angle of attack than the pilot's controls
// give, 3° short of the stall: the autopilot lets go there. Infinite without
// lift (no air, or a type without lift).
double AirspeedFloor(const vehicle::TVehicleState& own, const vehicle::TFormParam& form);

// The stall warning of any own aircraft, after its move, in every mode:
// it starts when the aircraft flies (its wheels above their rest height)
// below its airspeed floor and calls state::TCall::Stall, again every
// kStallCallInterval while it lasts; it ends on the ground, or once the
// airspeed is back above kStallRecovery times the floor.
void StallWarning(state::TMainState& state);

// Callouts due after the move from height z0 (m, down) at vertical speed vz0
// (m/s, down) to the own vehicle's present state. Times the acknowledgements
// by state.ClockNow.
void CrewCallouts(state::TMainState& state, double z0, double vz0);

// Guidance and autopilot with the upward acceleration of the last move
// (m/s²) and its length dt (s, never 0).
void CrewGuidance(state::TMainState& state, double upwardAcceleration, double dt);

// What the autopilot holds at a distance to go along the approach.
struct TApproachProfile {
  double Height;         // m above the ground (of the wheels at rest)
  double ClimbRate;      // m/s, up positive
  double ClimbLimit;     // m/s, largest climb or descent rate while capturing
  double Speed;          // m/s, forward airspeed
};

// The profile at distanceToGo (m) for an approach offset f (m) and final-turn
// length u (m), at ground speed groundSpeed (m/s).
TApproachProfile ApproachProfile(double distanceToGo, double f, double u, double groundSpeed);

// The vertical law: turns the demanded climb profile into a pitch change
// (and the heading change the bank makes of it), at most 3°/s and never
// beyond −15° or +20° of pitch (a pitch outside is brought back at 3°/s).
// Leaves the attitude alone where the lift it divides by vanishes: no
// airspeed, no air, or wings or nose at 90°.
void VerticalLaw(state::TMainState& state, double upwardAcceleration,
                 const TApproachProfile& profile, double dt);

// The autothrottle towards target speed (m/s) with a throttle limit (m/s²),
// from the forward airspeed (m/s) the crew step began with.
void Autothrottle(state::TMainState& state, double forwardAirspeed, double targetSpeed,
                  double limit, double dt);

}  // namespace velmora::pilot
