#include "app/tick.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/replay.h"
#include "app/reset.h"
#include "app/run_figures.h"
#include "physics/railway.h"
#include "physics/step_vehicle.h"
#include "pilot/control_step.h"
#include "pilot/train_protection.h"
#include "vehicle/range_fault.h"

namespace velmora::app {
namespace {

constexpr int32_t kMaxSubStep = 10;  // ms
// A remote state stamped further than this from the scene time is dead-reckoned
// over this span only: a bad age field must not cost millions of steps.
constexpr int32_t kMaxDeadReckoning = 60000;  // ms
// Scene time one tick simulates at most, so that no tick takes much longer
// than its 10 ms. A longer gap (a stalled program, a server clock that leapt
// ahead) is not made up: the own vehicle holds its state over the part before
// the last kMaxTickSpan, and its time moves on to the clock.
constexpr int32_t kMaxTickSpan = 1000;  // ms: 100 sub-steps
// Dead-reckoning steps of one remote vehicle in one tick at most: a state
// stamped further from the scene time catches up over the following ticks.
constexpr int kRemoteStepsPerTick = kMaxTickSpan / kMaxSubStep;
// A run restored to its start again this soon cannot be run from its start.
constexpr int32_t kRestartRepeatWindow = 1000;  // ms

// Uniform in [0, 1) from the gust generator, the same on every platform.
double GustUniform(std::mt19937& random) {
  return static_cast<double>(random() >> 8) / 16777216.0;
}

// Our picture of a vehicle never sinks through the ground: whatever its owner
// does about the impact, it shows standing there until its next state.
void HoldOnGround(const state::TMainState& s, vehicle::TVehicleState& v) {
  const double restZ = s.Forms[v.FormNo].RestZ;
  if (v.Z > restZ) {
    v.Z = restZ;
    if (v.VZ > 0) v.VZ = 0;
  }
}

// Brings one remote vehicle towards the target time in steps of at most 10 ms,
// backwards when its state is stamped later, taking at most `budget` steps
// (the budget is used up by them). A state the physics cannot advance (an
// unknown type, a position step off the grid) removes the vehicle.
void DeadReckon(state::TMainState& s, vehicle::TVehicleState& remote, uint32_t target,
                int& budget) {
  int32_t d = state::ClockDiff(target, static_cast<uint32_t>(remote.Time));
  if (std::abs(static_cast<int64_t>(d)) > kMaxDeadReckoning) {
    const int32_t span = d > 0 ? kMaxDeadReckoning : -kMaxDeadReckoning;
    remote.Time = static_cast<int32_t>(target - static_cast<uint32_t>(span));
    d = span;
  }
  while (budget > 0) {
    --budget;
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
    HoldOnGround(s, remote);
    remote.Time = static_cast<int32_t>(static_cast<uint32_t>(remote.Time) + static_cast<uint32_t>(d));
    remote.Steps = static_cast<int16_t>(remote.Steps + 1);
    d = state::ClockDiff(target, static_cast<uint32_t>(remote.Time));
    if (d == 0) return;
  }
}

// The line for an own step the physics could not take: what left its range.
std::string FaultLine(const vehicle::TVehicleState& v) {
  char line[192];
  const double speed = std::sqrt(v.VX * v.VX + v.VY * v.VY + v.VZ * v.VZ);
  if (!vehicle::TFormTable::InRange(v.FormNo)) {
    std::snprintf(line, sizeof line, "自分> 乗物の型番号 %d は扱えません。", v.FormNo);
  } else if (!std::isfinite(speed) || !std::isfinite(v.X) || !std::isfinite(v.Y) ||
             !std::isfinite(v.Z)) {
    std::snprintf(line, sizeof line, "自分> 乗物の速度と位置が計算できなくなりました。");
  } else {
    std::snprintf(line, sizeof line, "自分> 速度 %.0f m/s で位置が計算の範囲を外れました。",
                  speed);
  }
  return std::string(line) + "開始状態に戻します。";
}

// The reference point below its rest height, with the ground not holding the
// vehicle (an aircraft without its gear down, or one faster in its descent
// than the gear takes): the vehicle has hit the ground. The crash tests of
// practice mode find most such cases earlier; in a mission this is the only
// thing that keeps a vehicle from flying on under the ground.
std::optional<std::string> GroundImpact(const state::TMainState& s) {
  const vehicle::TVehicleState& own = s.Own;
  if (own.Kind == vehicle::kKindNone || own.FormNo == 0) return std::nullopt;
  if (!(own.Z > s.Forms[own.FormNo].RestZ)) return std::nullopt;
  char line[160];
  std::snprintf(line, sizeof line, "自分> 地面に衝突しました（降下率 %.1f m/s）。", own.VZ);
  return std::string(line);
}

// No vehicle until the server places one again; the connection stays.
void TakeOutOfPlay(state::TMainState& s, uint32_t now) {
  const int32_t userNo = s.Own.UserNo;
  s.Own = vehicle::TVehicleState{};
  s.Own.UserNo = userNo;
  s.Own.Time = static_cast<int32_t>(now);
  ResetRoutine(s, 0, false, now);
}

// The run goes back to its start state after a crash or a fault; in practice
// mode that is no vehicle until the next destination. A mission that comes
// back here again within kRestartRepeatWindow cannot be run from its start,
// and neither can one whose start the reset routine cannot place: the vehicle
// is taken out of play.
void RestoreStart(state::TMainState& s, uint32_t now) {
  const bool repeated = s.Restarted != 0 && s.Start.Kind != vehicle::kKindNone &&
                        state::ClockDiff(now, s.RestartTime) < kRestartRepeatWindow;
  s.Restarted = 1;
  s.RestartTime = now;
  // Remote records are kept relative to the world offset, which the reset clears.
  for (int i = 0; i < vehicle::RemoteCount(s.Remote); ++i) {
    s.Remote[static_cast<std::size_t>(i)].X += s.OriginX;
    s.Remote[static_cast<std::size_t>(i)].Y += s.OriginY;
  }
  if (!repeated) {
    s.Own = s.Start;
    s.Own.Time = static_cast<int32_t>(now);
    try {
      ResetRoutine(s, s.Own.FormNo, s.Own.FormNo != 0, now);
      return;
    } catch (const vehicle::RangeFault&) {
      // The start cannot even be placed: taken out of play below.
    }
  }
  s.Log("自分> 開始状態からも続けられないため、乗物を外しました。");
  TakeOutOfPlay(s, now);
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
  std::optional<std::string> ended;
  try {
    ended = pilot::ControlStep(s, stickX, stickY, dt);
    if (!ended) ended = GroundImpact(s);
  } catch (const vehicle::RangeFault&) {
    // A step off the position grid or a value that is no number: the run
    // ends as in a crash, and the program goes on.
    ended = FaultLine(s.Own);
  }
  UpdateRunFigures(s, ended ? ended->c_str() : nullptr, dt);
  if (ended) {
    s.Log(*ended);
    s.Cues.Push(state::TCueKind::Crash);
    RestoreStart(s, now);
  }
  pilot::ShiftWorldOffset(s);
}

bool RecoverFromFault(state::TMainState& s, const std::string& line, uint32_t now) {
  if (s.Own.Kind != vehicle::kKindNone && s.Own.FormNo != 0) {
    s.Log(line + "開始状態に戻します。");
    RestoreStart(s, now);
    return true;
  }
  const bool repeated =
      s.Restarted != 0 && state::ClockDiff(now, s.RestartTime) < kRestartRepeatWindow;
  s.Restarted = 1;
  s.RestartTime = now;
  s.Log(line);
  return !repeated;
}

void Tick(state::TMainState& s, const TClock& clock, const TJoystickReading& joystick,
          TTickHooks& hooks) {
  // Replay playback replaces the simulation.
  if (s.ReplayMode != 0 && s.ReplayMode != 6) {
    ReplayPlaybackStep(s, SynchronisedClock(s, clock));
    pilot::TrainProtection(s);  // the played train's bell and lamp, as in the run
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
  // the pass's target time first (as far as its steps for this tick reach),
  // then the own vehicle. The loop runs at least once, so a tick without
  // elapsed time still steps with dt = 0. An own state stamped more than one
  // sub-step ahead of the clock is not stepped back: it waits at the clock.
  const uint32_t now = SynchronisedClock(s, clock);
  int32_t step = state::ClockDiff(now, static_cast<uint32_t>(s.Own.Time));
  if (step > kMaxTickSpan || step < -kMaxSubStep) {
    s.Own.Time = static_cast<int32_t>(now - static_cast<uint32_t>(step > 0 ? kMaxTickSpan : 0));
    step = state::ClockDiff(now, static_cast<uint32_t>(s.Own.Time));
  }
  std::array<int, vehicle::kRemoteSlots> remoteSteps;
  remoteSteps.fill(kRemoteStepsPerTick);
  do {
    if (step > kMaxSubStep) step = kMaxSubStep;
    if (state::InPracticeMode(s)) AdvanceGust(s, step);
    const uint32_t target = static_cast<uint32_t>(s.Own.Time) + static_cast<uint32_t>(step);
    const int remotes = vehicle::RemoteCount(s.Remote);
    for (int i = 0; i < remotes; ++i) {
      const auto k = static_cast<std::size_t>(i);
      DeadReckon(s, s.Remote[k], target, remoteSteps[k]);
    }
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
  // The train protection acts on the step's outcome, before the frame shows
  // it; the next steps run under its brakes.
  pilot::TrainProtection(s);
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
