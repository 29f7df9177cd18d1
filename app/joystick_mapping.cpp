#include "app/joystick_mapping.h"

#include <algorithm>
#include <cmath>

#include "app/controls.h"
#include "vehicle/vehicle_state.h"

namespace velmora::app {
namespace {

constexpr double kNegativeTravel = 32768;  // raw units from the centre to the low end
constexpr double kPositiveTravel = 32767;  // and to the high end
constexpr double kLeverTravel = 65535;
constexpr double kLeverStep = 1.0 / 512;   // a smaller change of the throttle lever is noise

// (1 − c)·t + c·t³ on 0..1.
double Curve(double travel, double curve) {
  return (1 - curve) * travel + curve * travel * travel * travel;
}

double Clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

}  // namespace

TJoystickMapping DefaultJoystickMapping(int32_t rollAxis, int32_t pitchAxis, int32_t throttleAxis,
                                        int32_t brakeAxis) {
  TJoystickMapping mapping;
  mapping[TStickAxis::Roll].Axis = rollAxis;
  mapping[TStickAxis::Pitch].Axis = pitchAxis;
  mapping[TStickAxis::Throttle].Axis = throttleAxis;
  mapping[TStickAxis::Brake].Axis = brakeAxis;
  return mapping;
}

double MapStickAxis(const TAxisMapping& m, int32_t raw) {
  const double n = std::clamp(raw < 0 ? raw / kNegativeTravel : raw / kPositiveTravel, -1.0, 1.0);
  const double deadZone = std::clamp(m.DeadZone, 0.0, kMaxDeadZone);
  const double travel = std::fabs(n);
  if (travel <= deadZone) return 0;
  const double out = Curve((travel - deadZone) / (1 - deadZone), Clamp01(m.Curve));
  return (n < 0) != m.Invert ? -out : out;
}

double MapLeverAxis(const TAxisMapping& m, int32_t raw) {
  double t = Clamp01((raw + kNegativeTravel) / kLeverTravel);
  if (m.Invert) t = 1 - t;
  const double deadZone = std::clamp(m.DeadZone, 0.0, kMaxDeadZone);
  if (t <= deadZone) return 0;
  if (t >= 1 - deadZone) return 1;
  return Curve((t - deadZone) / (1 - 2 * deadZone), Clamp01(m.Curve));
}

uint32_t AxisPosition(double value) {
  const double v = std::clamp(value, -1.0, 1.0);
  const double raw = std::nearbyint(v < 0 ? v * kNegativeTravel : v * kPositiveTravel);
  return static_cast<uint32_t>(raw + kNegativeTravel);
}

TMappedJoystick MapJoystick(const TJoystickMapping& mapping, const TRawJoystick& raw) {
  TMappedJoystick mapped;
  mapped.Reading.Present = true;
  const auto axisOf = [&](TStickAxis which) -> const int32_t* {
    const int32_t axis = mapping[which].Axis;
    if (axis < 0 || axis >= std::min(raw.AxisCount, kMaxJoystickAxes)) return nullptr;
    return &raw.Axes[static_cast<std::size_t>(axis)];
  };
  if (const int32_t* x = axisOf(TStickAxis::Roll)) {
    mapped.Reading.X = AxisPosition(MapStickAxis(mapping[TStickAxis::Roll], *x));
  }
  if (const int32_t* y = axisOf(TStickAxis::Pitch)) {
    mapped.Reading.Y = AxisPosition(MapStickAxis(mapping[TStickAxis::Pitch], *y));
  }
  if (const int32_t* t = axisOf(TStickAxis::Throttle)) {
    mapped.Throttle = MapLeverAxis(mapping[TStickAxis::Throttle], *t);
  }
  if (const int32_t* b = axisOf(TStickAxis::Brake)) {
    mapped.Brake = MapLeverAxis(mapping[TStickAxis::Brake], *b) > 0.5;
  }
  const int buttons = std::min(raw.ButtonCount, kMaxJoystickButtons);
  for (int b = 0; b < buttons; ++b) {
    if (!raw.Buttons[static_cast<std::size_t>(b)]) continue;
    const TAction action = mapping.Buttons[static_cast<std::size_t>(b)];
    if (action == TAction::Count) {
      mapped.Reading.AnyButton = true;
    } else {
      mapped.Actions[static_cast<std::size_t>(action)] = true;
    }
  }
  return mapped;
}

void ApplyJoystick(state::TMainState& s, TJoystickHeld& held, const TMappedJoystick& mapped,
                   uint32_t now) {
  const auto press = [&](TAction action, bool down) {
    const TShippedKey shipped = ShippedAction(action);
    int32_t key = shipped.Key;
    if (down) {
      OnKeyDown(s, key, shipped.Shift, now);
    } else {
      OnKeyUp(s, key, shipped.Shift);
    }
  };
  for (int a = 0; a < kActionCount; ++a) {
    const auto i = static_cast<std::size_t>(a);
    if (mapped.Actions[i] == held.Actions[i]) continue;
    held.Actions[i] = mapped.Actions[i];
    press(static_cast<TAction>(a), mapped.Actions[i]);
  }
  if (mapped.Brake != held.Brake) {
    held.Brake = mapped.Brake;
    press(TAction::Brake, mapped.Brake);
  }
  if (mapped.Throttle >= 0 && std::fabs(mapped.Throttle - held.Throttle) >= kLeverStep) {
    held.Throttle = mapped.Throttle;
    if (vehicle::TFormTable::InRange(s.Own.FormNo)) {
      s.Throttle = mapped.Throttle * s.ThrottleMax;
      if (mapped.Throttle > 0) s.Brake = 0;
    }
  }
}

}  // namespace velmora::app
