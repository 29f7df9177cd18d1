// How a joystick's axes and buttons drive the controls: which axis is pitch,
// roll or steering, throttle and brake, each with invert, a dead zone and a
// response curve, and which button does which action. Raw axis values are
// SDL's, −32768..32767.
#pragma once

#include <array>
#include <cstdint>

#include "app/key_bindings.h"
#include "app/tick.h"
#include "state/main_state.h"

namespace velmora::app {

inline constexpr int kMaxJoystickAxes = 8;
inline constexpr int kMaxJoystickButtons = 32;
inline constexpr double kMaxDeadZone = 0.5;  // of the axis' half travel (or whole travel for a lever)

struct TAxisMapping {
  int32_t Axis = -1;      // the device's axis number; −1: not mapped
  bool Invert = false;    // the axis moves the control the other way
  double DeadZone = 0;    // 0..kMaxDeadZone: travel around the centre (a lever: at each end) that counts as none
  double Curve = 0;       // 0 linear .. 1 cubic: how much of the response is the cube of the travel
};

// The axes the controls read.
enum class TStickAxis : uint8_t { Pitch, Roll, Throttle, Brake, Count };
inline constexpr int kStickAxisCount = static_cast<int>(TStickAxis::Count);

struct TJoystickMapping {
  std::array<TAxisMapping, kStickAxisCount> Axes{};
  // Button → action; TAction::Count: the button fires (any such button held
  // sets the joystick-button flag, as every button does by default).
  std::array<TAction, kMaxJoystickButtons> Buttons{};

  TJoystickMapping() { Buttons.fill(TAction::Count); }
  TAxisMapping& operator[](TStickAxis a) { return Axes[static_cast<std::size_t>(a)]; }
  const TAxisMapping& operator[](TStickAxis a) const { return Axes[static_cast<std::size_t>(a)]; }
};

// The mapping of a device nobody has set up: axis 0 rolls, axis 1 pitches.
// A known game controller passes the numbers of its left stick's axes and of
// its right and left triggers (−1 where it has none).
TJoystickMapping DefaultJoystickMapping(int32_t rollAxis = 0, int32_t pitchAxis = 1,
                                        int32_t throttleAxis = -1, int32_t brakeAxis = -1);

// A centred axis: −1..1 with dead zone, curve and invert applied.
double MapStickAxis(const TAxisMapping& mapping, int32_t raw);
// A lever (throttle, brake): 0 at one end of its travel, 1 at the other.
double MapLeverAxis(const TAxisMapping& mapping, int32_t raw);

// −1..1 as the tick's axis position 0..65535 (32768 centred); an unchanged
// raw value comes back as raw + 32768.
uint32_t AxisPosition(double value);

// One reading of the device: raw axes and buttons.
struct TRawJoystick {
  std::array<int32_t, kMaxJoystickAxes> Axes{};
  std::array<bool, kMaxJoystickButtons> Buttons{};
  int32_t AxisCount = 0;
  int32_t ButtonCount = 0;
};

// What the mapping makes of a reading.
struct TMappedJoystick {
  TJoystickReading Reading;    // the stick and the fire flag, for the tick
  double Throttle = -1;        // 0..1 of the throttle maximum; −1: no throttle axis
  bool Brake = false;          // the brake lever is past half its travel
  std::array<bool, kActionCount> Actions{};  // actions held by a button
};

TMappedJoystick MapJoystick(const TJoystickMapping& mapping, const TRawJoystick& raw);

// What the joystick held at the last tick, so that a button or the brake
// lever acts once when pressed and once when let go.
struct TJoystickHeld {
  std::array<bool, kActionCount> Actions{};
  bool Brake = false;
  double Throttle = -1;  // the lever's last value; −1: none yet
};

// Drives the key handlers from a mapped reading: a button mapped to an action
// presses and releases that action's shipped key, the brake lever the brake
// key; a throttle lever that moved sets the throttle. now: synchronised clock (ms).
void ApplyJoystick(state::TMainState& state, TJoystickHeld& held, const TMappedJoystick& mapped,
                   uint32_t now);

}  // namespace velmora::app
