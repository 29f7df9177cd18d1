#include "app/tick.h"

#include <cmath>
#include <cstdlib>

#include "app/replay.h"
#include "app/reset.h"
#include "app/run_figures.h"
#include "physics/railway.h"
#include "physics/step_vehicle.h"
#include "pilot/control_step.h"
#include "vehicle/range_fault.h"

namespace velmora::app {
namespace {

constexpr int32_t kMaxSubStep = 10;  // ms
// A remote state stamped further than this from the scene time is dead-reckoned
// over this span only: a bad age field must not cost millions of steps.
constexpr int32_t kMaxDeadReckoning = 60000;  // ms

// Uniform in [0, 1) from the gust generator, the same on every platform.
double GustUniform(std::mt19937& random) {
  return static_cast<double>(random() >> 8) / 16777216.0;
}

// Brings one remote vehicle to the target time in steps of at most 10 ms,
// backwards when its state is stamped later. A state the physics cannot
// advance (an unknown type, a position step off the grid) removes the vehicle.
void DeadReckon(state::TMainState& s, vehicle::TVehicleState& remote, uint32_t target) {
  int32_t d = state::ClockDiff(target, static_cast<uint32_t>(remote.Time));
  if (std::abs(static_cast<int64_t>(d)) > kMaxDeadReckoning) {
    const int32_t span = d > 0 ? kMaxDeadReckoning : -kMaxDeadReckoning;
    remote.Time = static_cast<int32_t>(target - static_cast<uint32_t>(span));
    d = span;
  }
  do {
    if (remote.Kind == vehicle::kKindTrain && remote.Steps == 0) {
      physics::ReleaseTrack(s, remote.UserNo);
    }
    if (d > kMaxSubStep) d = kMaxSubStep;
    if (d < -kMaxSubStep) d = -kMaxSubStep;
    try {
      physics::StepVehicle(s, remote, d / 1000.0, 0, 0);
    } catch (const vehicle::RangeFault&) {
      remote.Kind = vehicle::kKindNone;
      remote.VX = remote.VY = remote.VZ = 0;
      remote.Time = static_cast<int32_t>(target);
      return;
    }
    remote.Time = static_cast<int32_t>(static_cast<uint32_t>(remote.Time) + static_cast<uint32_t>(d));
    remote.Steps = static_cast<int16_t>(remote.Steps + 1);
    d = state::ClockDiff(target, static_cast<uint32_t>(remote.Time));
  } while (d != 0);
}

}  // namespace

double JoystickAxis(uint32_t position) {
  double v = (static_cast<double>(position) - 32768) / 26214.4;
  if (v < -0.2) return v + 0.2;
  if (v <= 0.2) return 0;
  return v - 0.2;
}

void AdvanceGust(state::TMainState& s, int32_t n) {
  state::TGustState& g = s.Gust;
  if (g.Counter >= 500) {
    g.Drift = (GustUniform(s.GustRandom) * 2 - 1) * 0.00016;
    g.Counter %= 500;
  }
  // Fastest through a factor of 1, slowest at the turning points near 0.8 and 1.2.
  const double deviation = std::fabs(g.Factor - 1);
  double rate = deviation <= 0.1999
                    ? std::sqrt(0.04 - deviation * deviation) * 0.0004492 + g.Drift
                    : std::sqrt(3.999e-5) * 0.0004492;
  if (deviation > 0.18) g.Rising = g.Factor < 1 ? 1 : 0;
  if (g.Rising == 0) rate = -rate;
  g.Factor += rate * n;
  s.WindX = s.BaseWindX * g.Factor;
  s.WindY = s.BaseWindY * g.Factor;
  g.Counter += n;
}

void RunOwnControlStep(state::TMainState& s, double stickX, double stickY, double dt, uint32_t now) {
  s.ClockNow = now;  // the crew times its acknowledgements by it
  const auto crash = pilot::ControlStep(s, stickX, stickY, dt);
  UpdateRunFigures(s, crash ? crash->c_str() : nullptr, dt);
  if (crash) {
    // The flight ends: back to the start state (in practice mode: no vehicle).
    s.Log(*crash);
    s.Own = s.Start;
    s.Own.Time = static_cast<int32_t>(now);
    ResetRoutine(s, s.Own.FormNo, s.Own.FormNo != 0, now);
  }
  pilot::ShiftWorldOffset(s);
}

void Tick(state::TMainState& s, const TClock& clock, const TJoystickReading& joystick,
          TTickHooks& hooks) {
  // Replay playback replaces the simulation.
  if (s.ReplayMode != 0 && s.ReplayMode != 6) {
    ReplayPlaybackStep(s, SynchronisedClock(s, clock));
    hooks.DrawFrame();
    if (s.CameraNo == 1) hooks.LockOn();
    return;
  }

  double stickX = 0, stickY = 0;
  s.JoystickButton = 0;
  if (joystick.Present) {
    stickX = JoystickAxis(joystick.X);
    stickY = JoystickAxis(joystick.Y);
    s.JoystickButton = joystick.AnyButton ? 1 : 0;
  }

  // Advance the scene to the clock: each pass brings every remote vehicle to
  // the pass's target time first, then the own vehicle. The loop runs at least
  // once, so a tick without elapsed time still steps with dt = 0.
  const uint32_t now = SynchronisedClock(s, clock);
  int32_t step = state::ClockDiff(now, static_cast<uint32_t>(s.Own.Time));
  do {
    if (step > kMaxSubStep) step = kMaxSubStep;
    if (state::InPracticeMode(s)) AdvanceGust(s, step);
    const uint32_t target = static_cast<uint32_t>(s.Own.Time) + static_cast<uint32_t>(step);
    const int remotes = vehicle::RemoteCount(s.Remote);
    for (int i = 0; i < remotes; ++i) DeadReckon(s, s.Remote[static_cast<std::size_t>(i)], target);
    RunOwnControlStep(s, stickX, stickY,
                      state::ClockDiff(target, static_cast<uint32_t>(s.Own.Time)) / 1000.0, now);
    s.Own.Time = static_cast<int32_t>(target);
    step = state::ClockDiff(now, static_cast<uint32_t>(s.Own.Time));
  } while (step > 0);

  s.StickX = stickX;
  s.StickY = stickY;

  if (s.ReplayMode == 6) {
    if (s.Own.Kind == 0) {
      s.NextFrameTime = now;
    } else {
      RecordReplay(s, now);
    }
  }
  hooks.DrawFrame();

  if (state::InPracticeMode(s)) {
    s.Remote[0].UserNo = 0;  // other vehicles are not shown in practice
    return;
  }
  hooks.LockOn();
  if (static_cast<int32_t>((now - s.LastSendTime) & 0x7FFFFFFFu) >= s.SendInterval) {
    hooks.SendState();
    s.LastSendTime = now;
  }
}

}  // namespace velmora::app
