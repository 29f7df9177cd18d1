// One replay entry: a vehicle packed into 30 bytes, little-endian.
//
//   0  int8   user number          14 int16 heading × 10    22 int16 vx × 10 (m/s)
//   1  int8   vehicle type number  16 int16 pitch × 10      24 int16 vy × 10
//   2  float  x + world offset (m) 18 int16 bank × 10       26 int16 vz × 10
//   6  float  y + world offset (m) 20 int8  flap angle (deg) 28 uint8 (rail limit + 8) × 4
//  10  float  z (m, down)          21 int8  gear × 100      29 int8  throttle × 10, −10 braking
//
// Bytes 21, 28 and 29 belong to the own vehicle's head entry only.
//
// A value that does not fit its field is never wrapped: an identity or a
// position that does not fit (user number outside −128..127, type outside
// 1..100, a coordinate beyond kMaxReplayCoordinate, anything not finite)
// makes the vehicle unrecordable, since a wrong user number would turn a
// companion into a head and a wrong position would show the vehicle where it
// never was; a speed, an angle or a control setting out of range is clamped
// to the nearest value its field holds, which keeps the frame and errs only
// in a quantity the positions of the next frames already carry.
#pragma once

#include <cstdint>

#include "state/main_state.h"
#include "vehicle/vehicle_state.h"

namespace velmora::app {

// m: the largest coordinate an entry takes. Up to 2^20 m a 32-bit float
// keeps the position to 1/8 m; beyond it the step grows to metres.
inline constexpr double kMaxReplayCoordinate = 1048576;
inline constexpr int32_t kReplayBrakeByte = -10;  // byte 29 while the brake is set (246)

// The own vehicle's controls that its head entry carries.
struct TReplayControls {
  double Gear = 0;            // 0 up .. 1 down
  double RailSpeedLimit = 0;  // m/s the track ahead allows
  double Throttle = 0;        // m/s², thrust demand
  bool Brake = false;         // wheel brake on
};

// Why a vehicle cannot be recorded: the field that its value does not fit.
enum class TUnrecordable { None, UserNo, FormNo, Position };

// Whether v fits an entry, with the world offsets originX/Y (m) added to its
// position.
TUnrecordable WhyUnrecordable(const vehicle::TVehicleState& v, double originX, double originY);

// Packs v into e; originX/Y are the world offsets (m) added to its position.
// False, with e unchanged, when v cannot be recorded.
bool StoreEntry(state::TReplayEntry& e, const vehicle::TVehicleState& v, double originX,
                double originY);

// Writes bytes 21, 28 and 29 of a head entry, each clamped to its field.
void StoreControls(state::TReplayEntry& e, const TReplayControls& controls);

// Unpacks e into a fresh vehicle record stamped with time now (ms): kind =
// type div 10, group, track word, partner and counters zero.
void RestoreEntry(const state::TReplayEntry& e, vehicle::TVehicleState& v, uint32_t now);

// Bytes 21, 28 and 29 of a head entry; a negative throttle byte is the brake.
TReplayControls RestoreControls(const state::TReplayEntry& e);

int32_t EntryUserNo(const state::TReplayEntry& e);
int32_t EntryFormNo(const state::TReplayEntry& e);
// The three stored coordinates (m) as they lie in the entry.
float EntryCoordinate(const state::TReplayEntry& e, int axis);

}  // namespace velmora::app
