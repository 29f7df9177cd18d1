#include "traffic/drivers.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/controls.h"
#include "app/panels.h"
#include "app/protocol.h"
#include "pilot/crew.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"
#include "world/runway_geometry.h"
#include "world/shapes.h"
#include "world/world.h"

namespace velmora::traffic {
namespace {

constexpr double kTrainServiceBrake = 35.0 / 36.0;  // m/s², the F1 brake of a train
constexpr double kAtRest = 1e-3;                    // m/s: slower counts as standing
constexpr double kAtTheMark = 1.0;                  // m: a stop this near the mark is the station
constexpr double kDepartedAfter = 20;               // m from the station: its stop lies behind
constexpr double kLimitMargin = 1.0;                // m/s below the track's limit: hold speed
constexpr int32_t kDwellMinMs = 20000;
constexpr int32_t kDwellMaxMs = 40000;
constexpr double kHeldRelease = 2.0;  // m/s: a limit above this lets a held train go

constexpr double kVehicleSteerLimit = 1125;   // deg × (m/s)², the wheel's limit at full stick
constexpr double kAircraftSteerLimit = 1675;  // deg × (m/s)²
constexpr double kCarWheelbase = 2.6;         // m, fallback when the type has none
constexpr double kSpeedBand = 1.0;            // m/s around the target speed: hold
constexpr uint32_t kStartPause = 3000;        // ms standing before a car or aircraft moves
constexpr double kRotateFraction = 0.85;  // of the lift-off speed at 8°, where the nose comes up

// The airliner's circuit.
constexpr double kChooseHeight = 150;  // m of the wheels: the runway is chosen in the climb
constexpr double kHomeRange = 30000;   // m: a runway farther from the aircraft is not chosen
constexpr double kApproachSpeed = 145 / units::kKnotsPerMetrePerSecond;  // m/s, the crew's final
constexpr double kPathGain = 0.2;            // 1/s: climb rate per metre off the path
constexpr double kCentreLineGain = 0.05;     // deg of track per metre off the centre line
constexpr double kClimbRateGain = 1.5;       // deg of pitch per m/s of climb-rate error
constexpr double kLandingPitchGain = 0.2;    // stick per degree of pitch error: a quick flare
constexpr double kFlareHeight = 10;          // m of the wheels: idle power, the flare begins
constexpr double kTouchdownSink = 0.5;       // m/s the flare reaches at the ground
constexpr double kFlareGain = 0.35;          // 1/s: sink rate per metre of height in the flare
constexpr double kHandOverReach = 8000;      // m from the threshold on final: the crew's hand-over
constexpr double kFlapsFrom = 300;           // m of the wheels: the take-off flaps stay below
constexpr double kFlapMargin = 5;            // kt past the schedule before a detent goes up
constexpr double kRecoveredAngleOfAttack = 8;  // deg at which the wing must carry the weight
constexpr double kRecoveryMargin = 1.2;        // of the speed at which it does
constexpr uint32_t kStandMs = 5000;  // ms at rest after the landing before the mission again

double Clamp(double v, double lo, double hi) {
  return std::min(std::max(v, lo), hi);
}
double Normalise180(double a) {
  a = std::fmod(a + 180.0, 360.0);
  if (a < 0) a += 360.0;
  return a - 180.0;
}
double Height(const state::TMainState& s) {
  return -s.Own.Z;
}

// Holds a speed with the keys: full power below the band, the brake above it,
// in the band the released brake trims the throttle to the present speed.
void HoldSpeed(state::TMainState& s, TKeyboard& keys, double speed, double target, uint32_t now) {
  if (speed > target + kSpeedBand) {
    keys.Press(s, app::kKeyF1, now);
  } else if (speed < target - kSpeedBand) {
    keys.Release(s, app::kKeyF1);
    if (s.Throttle < s.ThrottleMax) keys.Tap(s, app::kKeyF4, now);
  } else if (keys.Held(app::kKeyF1)) {
    keys.Release(s, app::kKeyF1);
  } else if (s.Throttle >= s.ThrottleMax && speed > target) {
    keys.Tap(s, app::kKeyF1, now);
  }
}

// Pitch and roll attitude laws: stick from the attitude error, damped by its rate.
double PitchStick(const state::TMainState& s, double targetPitch, double gain = 0.08) {
  return Clamp(gain * (targetPitch - s.Own.Pitch) - 0.04 * s.PitchRate, -1.0, 1.0);
}
double RollStick(const state::TMainState& s, double targetBank) {
  return Clamp(0.04 * (targetBank - s.Own.Bank) - 0.02 * s.RollRate, -1.0, 1.0);
}

app::TJoystickReading Stick(double x, double y) {
  app::TJoystickReading r;
  r.Present = true;
  r.X = AxisReading(x);
  r.Y = AxisReading(y);
  return r;
}

// Metres of an absolute point right of a runway's centre line and along it
// from the threshold, with the runway heading (deg, 0..360).
struct TOnRunway {
  double Heading = 0;
  double Along = 0;
  double Right = 0;
};
TOnRunway OnRunway(const world::TRunwayInfo& r, double x, double y) {
  const double heading = vehicle::Normalise360(world::RunwayCourse(r));
  const world::TRunwayAxes axes = world::RunwayAxes(r, heading, x, y);
  return {heading, axes.Along, axes.Right};
}

// The kinds by the names the command line gives them.
constexpr std::pair<TTrafficKind, const char*> kKindNames[] = {
    {TTrafficKind::Airliner, "airliner"},
    {TTrafficKind::Train, "train"},
    {TTrafficKind::Car, "car"},
    {TTrafficKind::Fighter, "fighter"},
};

const world::TRunwayInfo* Destination(const state::TMainState& s, int32_t index) {
  if (s.World == nullptr || index < 0 || index >= s.World->DestinationCount ||
      index >= world::kMaxDestinations) {
    return nullptr;
  }
  return s.World->Destinations[static_cast<std::size_t>(index)];
}

}  // namespace

std::optional<TTrafficKind> KindFromName(const std::string& name) {
  for (const auto& [kind, word] : kKindNames) {
    if (name == word) return kind;
  }
  return std::nullopt;
}

const char* KindName(TTrafficKind kind) {
  for (const auto& [known, word] : kKindNames) {
    if (kind == known) return word;
  }
  return "?";
}

std::vector<int32_t> MissionsForKind(const state::TMainState& s, TTrafficKind kind) {
  // The titles name the vehicle: 旅客機 airliner, 電車 train, 自動車レース the
  // race (a free drive has no course to keep to), 戦闘機 fighter.
  const char* word = "";
  switch (kind) {
    case TTrafficKind::Airliner:
      word = "旅客機";
      break;
    case TTrafficKind::Train:
      word = "電車";
      break;
    case TTrafficKind::Car:
      word = "自動車レース";
      break;
    case TTrafficKind::Fighter:
      word = "戦闘機";
      break;
  }
  std::vector<int32_t> found;
  const int32_t rows = std::clamp(s.MissionRowCount, 0, state::kMissionRows);
  for (int32_t row = 0; row < rows; ++row) {
    const std::optional<int32_t> mission = app::MissionForRow(s, row);
    if (mission && s.MissionCells[static_cast<std::size_t>(row)].find(word) != std::string::npos) {
      found.push_back(*mission);
    }
  }
  return found;
}

uint32_t AxisReading(double stick) {
  stick = Clamp(stick, -1.05, 1.05);
  if (stick == 0) return 32768;
  const double raw = (stick > 0 ? stick + 0.2 : stick - 0.2) * 26214.4 + 32768;
  return static_cast<uint32_t>(Clamp(std::round(raw), 0, 65535));
}

void TKeyboard::Press(state::TMainState& s, int32_t key, uint32_t now) {
  if (Held(key)) return;
  held_.push_back(key);
  int32_t code = key;
  app::OnKeyDown(s, code, 0, now);
}

void TKeyboard::Release(state::TMainState& s, int32_t key) {
  const auto it = std::find(held_.begin(), held_.end(), key);
  if (it == held_.end()) return;
  held_.erase(it);
  int32_t code = key;
  app::OnKeyUp(s, code, 0);
}

void TKeyboard::Tap(state::TMainState& s, int32_t key, uint32_t now) {
  Release(s, key);
  Press(s, key, now);
  Release(s, key);
}

bool TKeyboard::Held(int32_t key) const {
  return std::find(held_.begin(), held_.end(), key) != held_.end();
}

void TKeyboard::ReleaseAll(state::TMainState& s) {
  while (!held_.empty()) Release(s, held_.back());
}

void TTrainDriver::StartDwell(uint32_t now) {
  phase_ = TPhase::Dwell;
  dwellStart_ = now;
  dwellMs_ = std::uniform_int_distribution<int32_t>(kDwellMinMs, kDwellMaxMs)(random_);
}

void TTrainDriver::Restart(state::TMainState& s, uint32_t now) {
  keys_.ReleaseAll(s);
  keys_.Press(s, app::kKeyF1, now);
  StartDwell(now);
}

app::TJoystickReading TTrainDriver::Drive(state::TMainState& s, uint32_t now) {
  const double v = vehicle::GroundSpeed(s.Own);
  const double braking = v * v / (2 * kTrainServiceBrake);
  const double limit = s.RailSpeedLimit;
  const auto power = [&] {
    keys_.Release(s, app::kKeyF1);
    if (s.Throttle < s.ThrottleMax || s.Brake) keys_.Tap(s, app::kKeyF4, now);
  };
  switch (phase_) {
    case TPhase::Dwell:
      keys_.Press(s, app::kKeyF1, now);
      if (state::ClockDiff(now, dwellStart_) < dwellMs_ || limit < kHeldRelease) break;
      departX_ = s.Own.X;
      departY_ = s.Own.Y;
      phase_ = TPhase::Departing;
      power();
      break;
    case TPhase::Departing:
    case TPhase::Running: {
      // Away from the station first: its own stop lies behind once left.
      if (phase_ == TPhase::Departing &&
          std::hypot(s.Own.X - departX_, s.Own.Y - departY_) > kDepartedAfter &&
          s.StopDistance > 0 && s.StopDistance < 1e37) {
        phase_ = TPhase::Running;
      }
      const bool stopping = phase_ == TPhase::Running && v > 0 && braking >= s.StopDistance;
      if (stopping || v > limit) {
        keys_.Press(s, app::kKeyF1, now);
      } else if (v > limit - kLimitMargin) {
        // Hold the speed: the brake released while moving trims the throttle.
        if (keys_.Held(app::kKeyF1)) {
          keys_.Release(s, app::kKeyF1);
        } else if (s.Throttle >= s.ThrottleMax) {
          keys_.Tap(s, app::kKeyF1, now);
        }
      } else if (keys_.Held(app::kKeyF1) && phase_ == TPhase::Running &&
                 braking + v * kLimitMargin >= s.StopDistance) {
        // Close to the mark the brake comes off to roll on, not to power.
        keys_.Release(s, app::kKeyF1);
      } else if (phase_ == TPhase::Departing || braking + v * kLimitMargin < s.StopDistance) {
        power();
      }
      if (phase_ == TPhase::Running && v < kAtRest) {
        if (phase_ == TPhase::Running && std::fabs(s.StopDistance) <= kAtTheMark) {
          StartDwell(now);
        } else {
          phase_ = TPhase::Held;
        }
      }
      break;
    }
    case TPhase::Held:
      // Stopped short of the mark, by a train ahead or a limit: wait for the way to clear.
      keys_.Press(s, app::kKeyF1, now);
      if (limit > kHeldRelease) {
        phase_ = departX_ == s.Own.X && departY_ == s.Own.Y ? TPhase::Departing : TPhase::Running;
        power();
      }
      break;
  }
  return app::TJoystickReading{};
}

std::vector<TWayPoint> RaceCourse() {
  // West straight north along x = 5800 from y −400 to 400, the north bend
  // round (6000, 400), the east straight south along x = 6200, the south bend
  // round (6000, −400); 200 m bends.
  constexpr double kStraight = 28;  // m/s, about 100 km/h
  constexpr double kBend = 20;      // m/s: 2 m/s² across the car in the 200 m bends
  constexpr double kStep = 20;      // m between way points
  std::vector<TWayPoint> points;
  for (double y = -300; y < 400; y += kStep) points.push_back({5800, y, kStraight});
  for (int i = 0; i < 32; ++i) {
    const double a = 3.14159265358979 * i / 32;  // from the west point over the north
    points.push_back({6000 - 200 * std::cos(a), 400 + 200 * std::sin(a), kBend});
  }
  for (double y = 400; y > -400; y -= kStep) points.push_back({6200, y, kStraight});
  for (int i = 0; i < 32; ++i) {
    const double a = 3.14159265358979 * i / 32;  // from the east point over the south
    points.push_back({6000 + 200 * std::cos(a), -400 - 200 * std::sin(a), kBend});
  }
  for (double y = -400; y < -300; y += kStep) points.push_back({5800, y, kStraight});
  return points;
}

void TCarDriver::Restart(state::TMainState& s, uint32_t now) {
  keys_.ReleaseAll(s);
  keys_.Press(s, app::kKeyF1, now);
  startAt_ = now + kStartPause;
  // The nearest way point ahead of the car.
  next_ = 0;
  double best = 1e300;
  for (std::size_t i = 0; i < course_.size(); ++i) {
    const double dx = course_[i].X - s.Own.X, dy = course_[i].Y - s.Own.Y;
    const double ahead = dx * vehicle::SinDeg(s.Own.Heading) + dy * vehicle::CosDeg(s.Own.Heading);
    const double d = std::hypot(dx, dy);
    if (ahead > 0 && d < best) {
      best = d;
      next_ = i;
    }
  }
}

double TCarDriver::OffCourse(double x, double y) const {
  double nearest = 1e300;
  for (std::size_t i = 0; i < course_.size(); ++i) {
    const TWayPoint& a = course_[i];
    const TWayPoint& b = course_[(i + 1) % course_.size()];
    const double ex = b.X - a.X, ey = b.Y - a.Y;
    const double t =
        Clamp(((x - a.X) * ex + (y - a.Y) * ey) / std::max(ex * ex + ey * ey, 1e-9), 0, 1);
    nearest = std::min(nearest, std::hypot(x - a.X - t * ex, y - a.Y - t * ey));
  }
  return nearest;
}

app::TJoystickReading TCarDriver::Drive(state::TMainState& s, uint32_t now) {
  if (course_.empty() || state::ClockDiff(now, startAt_) < 0) {
    keys_.Press(s, app::kKeyF1, now);
    return app::TJoystickReading{};
  }
  const double v = vehicle::GroundSpeed(s.Own);
  // The point aimed at lies a little more than a second ahead.
  const double lookAhead = std::max(15.0, 1.2 * v);
  for (int guard = 0; guard < static_cast<int>(course_.size()); ++guard) {
    const TWayPoint& p = course_[next_];
    const double dx = p.X - s.Own.X, dy = p.Y - s.Own.Y;
    const double ahead = dx * vehicle::SinDeg(s.Own.Heading) + dy * vehicle::CosDeg(s.Own.Heading);
    if (std::hypot(dx, dy) >= lookAhead && ahead > 0) break;
    next_ = (next_ + 1) % course_.size();
  }
  const TWayPoint& target = course_[next_];
  const double dx = target.X - s.Own.X, dy = target.Y - s.Own.Y;
  const double distance = std::hypot(dx, dy);
  const double alpha = Normalise180(vehicle::Atan2Deg(dx, dy) - s.Own.Heading);
  const double wheelbase =
      s.Forms[s.Own.FormNo].Wheelbase > 0 ? s.Forms[s.Own.FormNo].Wheelbase : kCarWheelbase;
  // Pure pursuit: the wheel angle whose circle runs through the aimed point.
  const double wheel = std::atan(2 * wheelbase * vehicle::SinDeg(alpha) / std::max(distance, 1.0)) *
                       units::kDegreesPerRadian;
  const double steerLimit = kVehicleSteerLimit / std::max(v * v, 25.0);

  // The slowest way point within the braking distance, with a margin, ahead.
  double speed = target.Speed;
  for (std::size_t k = 0, i = next_; k < 8; ++k, i = (i + 1) % course_.size()) {
    speed = std::min(speed, course_[i].Speed);
  }
  HoldSpeed(s, keys_, v, speed, now);
  return Stick(wheel / steerLimit, 0);
}

void TAirlinerDriver::Restart(state::TMainState& s, uint32_t now) {
  keys_.ReleaseAll(s);
  heading_ = s.Own.Heading;
  startAt_ = now + kStartPause;
  runway_ = s.SelectedDestination;
  finalSeen_ = s.GuidanceMode == pilot::kModeFinal;
  missionAgain_ = false;
  if (app::OnGround(s)) {
    startAt_ += std::exchange(firstWaitMs_, 0);
    phase_ = TPhase::Waiting;
    keys_.Press(s, app::kKeyF1, now);
    return;
  }
  // Placed in flight, on an approach: the crew flies on.
  phase_ = s.GuidanceMode == pilot::kModeManualLanding ? TPhase::Landing : TPhase::Autopilot;
}

bool TAirlinerDriver::TakeMissionAgain() {
  return std::exchange(missionAgain_, false);
}

app::TJoystickReading TAirlinerDriver::Drive(state::TMainState& s, uint32_t now) {
  switch (phase_) {
    case TPhase::Waiting:
      if (state::ClockDiff(now, startAt_) < 0) {
        keys_.Press(s, app::kKeyF1, now);
        return app::TJoystickReading{};
      }
      keys_.Release(s, app::kKeyF1);
      keys_.Tap(s, app::kKeyF4, now);  // take-off power; the crew calls the speeds
      phase_ = TPhase::TakeOff;
      return TakeOff(s, now);
    case TPhase::TakeOff:
      return TakeOff(s, now);
    case TPhase::Autopilot:
      if (s.GuidanceMode == pilot::kModeManualLanding) {
        runway_ = s.SelectedDestination;
        const world::TRunwayInfo* runway = Destination(s, runway_);
        if (runway != nullptr && finalSeen_ &&
            std::hypot(s.Own.X + s.OriginX - runway->X1, s.Own.Y + s.OriginY - runway->Y1) <=
                kHandOverReach) {
          // The hand-over: the landing is the pilot's.
          phase_ = TPhase::Landing;
          return Land(s, now);
        }
        // Let go far from the runway, too slow to hold the aircraft up.
        keys_.Tap(s, app::kKeyF4, now);
        phase_ = TPhase::Recovering;
        return Recover(s, now);
      }
      finalSeen_ = s.GuidanceMode == pilot::kModeFinal;
      Flaps(s, now);
      return Stick(0, 0);  // hands off: the autopilot holds pitch and bank
    case TPhase::Recovering:
      return Recover(s, now);
    case TPhase::Landing:
      if (app::OnGround(s)) {
        phase_ = TPhase::RollOut;
        return RollOut(s, now);
      }
      return Land(s, now);
    case TPhase::RollOut:
      return RollOut(s, now);
    case TPhase::Standing:
      keys_.Press(s, app::kKeyF1, now);
      if (state::ClockDiff(now, stoppedAt_) >= static_cast<int32_t>(kStandMs)) {
        missionAgain_ = true;
        phase_ = TPhase::Done;
      }
      return app::TJoystickReading{};
    case TPhase::Done:
      keys_.Press(s, app::kKeyF1, now);
      return app::TJoystickReading{};
  }
  return app::TJoystickReading{};
}

app::TJoystickReading TAirlinerDriver::TakeOff(state::TMainState& s, uint32_t now) {
  const vehicle::TFormParam& form = s.Forms[s.Own.FormNo];
  const bool onGround = app::OnGround(s);
  const double airspeed = vehicle::AirData(s.Own, s.WindX, s.WindY).Forward;
  const double height = Height(s) + form.RestZ;  // m above the wheels' ground
  const double headingError = Normalise180(heading_ - s.Own.Heading);
  // Rotation: a little below the speed at which the wing carries the weight
  // at 8° nose up, so the nose is up by the time it does.
  const double liftFactor = form.Lift * (1 - 8.0 / form.ZeroLiftAngle);
  const double rotate =
      liftFactor > 0 ? kRotateFraction * std::sqrt(units::kGravity / liftFactor) : 70;

  double targetPitch = 0;
  if (!onGround || airspeed >= rotate) {
    // Climb at 8°, easing to level flight at the cruise height.
    targetPitch = Clamp(2 + 0.02 * (900 - height), -2, 8);
  }
  if (!onGround && height > 30 && s.GearCommand >= 0.5) keys_.Tap(s, app::kKeyF5, now);
  Flaps(s, now);
  // With the gear up, the runway: the crew engages the autopilot at 300 m and flies to it.
  if (!onGround && height > kChooseHeight && s.GearCommand < 0.5 && s.SelectedDestination < 0) {
    ChooseRunway(s, now);
  }
  if (s.SelectedDestination >= 0 && s.GuidanceMode >= pilot::kModePositioning &&
      s.GuidanceMode <= pilot::kModeFinal) {
    phase_ = TPhase::Autopilot;
    return Stick(0, 0);
  }

  double stickX = 0;
  if (onGround && s.Own.Pitch <= 0) {
    const double limit = kAircraftSteerLimit / std::max(airspeed * airspeed, 25.0);
    stickX = Clamp(2 * headingError / limit, -1.0, 1.0);
  } else if (!onGround) {
    stickX = RollStick(s, Clamp(2 * headingError, -20, 20));
  }
  return Stick(stickX, PitchStick(s, targetPitch));
}

// The runway most into the base wind among those near, the first listed of
// equals, chosen as a user does: the navigation display clicked for the
// destination panel, then the runway's row.
void TAirlinerDriver::ChooseRunway(state::TMainState& s, uint32_t now) {
  if (s.World == nullptr) return;
  const double x = s.Own.X + s.OriginX, y = s.Own.Y + s.OriginY;
  int32_t row = 0;
  double best = -1e300;
  for (int32_t i = 0; i < s.World->DestinationCount; ++i) {
    const world::TRunwayInfo* r = Destination(s, i);
    if (r == nullptr || std::hypot(r->X1 - x, r->Y1 - y) > kHomeRange) continue;
    const double heading = OnRunway(*r, x, y).Heading;
    const double headwind =
        -(s.BaseWindX * vehicle::SinDeg(heading) + s.BaseWindY * vehicle::CosDeg(heading));
    if (headwind > best) {
      best = headwind;
      row = i + 1;
    }
  }
  if (row == 0) return;
  app::ListBoxNaviMouseUp(s);
  s.DestRow = row;
  app::StringGridDestClick(s, now, {});
}

// The instructor's schedule: flaps 5 below 200 kt, 10 below 180, (gear
// down and) 20 below 160, 25 below 150.
static double ScheduledFlaps(double knots) {
  if (knots < 150) return 25;
  if (knots < 160) return 20;
  if (knots < 180) return 10;
  if (knots < 200) return 5;
  return 0;
}

void TAirlinerDriver::Flaps(state::TMainState& s, uint32_t now) {
  const double height = s.Forms[s.Own.FormNo].RestZ - s.Own.Z;
  const bool approach = s.GuidanceMode >= pilot::kModeToFix;
  if (app::OnGround(s) || (!approach && height <= kFlapsFrom)) return;
  const double knots =
      vehicle::AirData(s.Own, s.WindX, s.WindY).Forward * units::kKnotsPerMetrePerSecond;
  const bool acknowledged = s.FlapCommand == s.FlapSet;  // one detent at a time
  // Up as the speed passes the schedule, with a margin against flapping;
  // down as it falls below it, so the wing always carries the weight at the
  // speed the crew flies. On the approach only down, with the gear.
  if (!approach && s.FlapCommand > ScheduledFlaps(knots - kFlapMargin) && acknowledged) {
    keys_.Tap(s, app::kKeyF6, now);
  } else if (s.FlapCommand < ScheduledFlaps(knots) && acknowledged) {
    keys_.Tap(s, app::kKeyF7, now);
  }
  if (approach && ScheduledFlaps(knots) >= 20 && s.GearCommand < 0.5)
    keys_.Tap(s, app::kKeyF5, now);
}

app::TJoystickReading TAirlinerDriver::Land(state::TMainState& s, uint32_t now) {
  const vehicle::TFormParam& form = s.Forms[s.Own.FormNo];
  const vehicle::TVehicleState& own = s.Own;
  if (s.GearCommand < 0.5) keys_.Tap(s, app::kKeyF5, now);
  Flaps(s, now);
  const world::TRunwayInfo* runway = Destination(s, runway_);
  if (runway == nullptr) return Stick(RollStick(s, 0), PitchStick(s, 2));

  const double x = own.X + s.OriginX, y = own.Y + s.OriginY;
  const TOnRunway at = OnRunway(*runway, x, y);
  const double height = form.RestZ - own.Z;  // m of the wheels
  const double groundSpeed = std::hypot(own.VX, own.VY);
  const double track = vehicle::Atan2Deg(own.VX, own.VY);
  const double airspeed = vehicle::AirData(own, s.WindX, s.WindY).Forward;
  const bool flare = height < kFlareHeight;

  // Lateral: a track onto the centre line, banked towards it; the wings
  // come level near the ground.
  const double wantedTrack = at.Heading - Clamp(kCentreLineGain * at.Right, -30, 30);
  const double bankLimit = Clamp(height, 2, 25);
  const double bank = Clamp(2.5 * Normalise180(wantedTrack - track), -bankLimit, bankLimit);

  // Vertical: the 3° path to the point beyond the threshold, never climbing
  // back to it; in the flare the sink rate falls with the height.
  const double aimX = runway->X1 + world::kAimPointDistance * vehicle::SinDeg(at.Heading);
  const double aimY = runway->Y1 + world::kAimPointDistance * vehicle::CosDeg(at.Heading);
  const double path = world::kGlideSlope * std::hypot(aimX - x, aimY - y);
  double climb = Clamp(-world::kGlideSlope * groundSpeed + kPathGain * (path - height), -6, 0);
  if (flare) climb = std::max(climb, -(kTouchdownSink + kFlareGain * height));
  // The pitch: the angle of attack at which the wing carries the weight in
  // the bank, plus the flight path wanted, plus the climb-rate error.
  const double carry = form.Lift * vehicle::FlapFactor(own.Flap) * vehicle::DensityRatio(-own.Z) *
                       airspeed * airspeed * vehicle::CosDeg(own.Bank);
  const double alpha =
      carry > 0 ? Clamp(form.ZeroLiftAngle * (1 - units::kGravity / carry), -5, 12) : 12;
  const double pathAngle = vehicle::Atan2Deg(climb, std::max(airspeed, 1.0));
  const double targetPitch = Clamp(alpha + pathAngle + kClimbRateGain * (climb + own.VZ), -5, 12);

  // Power: the thrust that holds the approach speed against drag and the
  // slope, by the throttle keys; idle in the flare.
  if (flare) {
    keys_.Release(s, app::kKeyF3);
    keys_.Press(s, app::kKeyF2, now);
  } else {
    const double sigma = vehicle::DensityRatio(-own.Z);
    const double drag =
        form.Drag * (vehicle::FlapFactor(own.Flap) * sigma + ((own.FormNo & 1) ? 0.381 : 0));
    const double wanted = units::kGravity * vehicle::SinDeg(own.Pitch) +
                          drag * kApproachSpeed * kApproachSpeed +
                          0.5 * (kApproachSpeed - airspeed);
    const double band = 0.02 * s.ThrottleMax;
    if (s.Throttle < wanted - band) {
      keys_.Release(s, app::kKeyF2);
      keys_.Press(s, app::kKeyF3, now);
    } else if (s.Throttle > wanted + band) {
      keys_.Release(s, app::kKeyF3);
      keys_.Press(s, app::kKeyF2, now);
    } else {
      keys_.Release(s, app::kKeyF2);
      keys_.Release(s, app::kKeyF3);
    }
  }
  return Stick(RollStick(s, bank), PitchStick(s, targetPitch, kLandingPitchGain));
}

// Wings level and the nose low on climb power until the wing carries the
// weight again with a margin; then the runway chosen again on the panel, and
// the crew takes over once more.
app::TJoystickReading TAirlinerDriver::Recover(state::TMainState& s, uint32_t now) {
  const vehicle::TFormParam& form = s.Forms[s.Own.FormNo];
  const double liftFactor = form.Lift * vehicle::FlapFactor(s.Own.Flap) *
                            vehicle::DensityRatio(-s.Own.Z) *
                            (1 - kRecoveredAngleOfAttack / form.ZeroLiftAngle);
  const double airspeed = vehicle::AirData(s.Own, s.WindX, s.WindY).Forward;
  if (liftFactor > 0 && airspeed >= kRecoveryMargin * std::sqrt(units::kGravity / liftFactor)) {
    ChooseRunway(s, now);
    phase_ = TPhase::Autopilot;
    return Stick(0, 0);
  }
  return Stick(RollStick(s, 0), PitchStick(s, 0));
}

app::TJoystickReading TAirlinerDriver::RollOut(state::TMainState& s, uint32_t now) {
  const vehicle::TVehicleState& own = s.Own;
  keys_.Release(s, app::kKeyF2);
  keys_.Release(s, app::kKeyF3);
  keys_.Press(s, app::kKeyF1, now);  // the brake, as the touchdown set it
  const double v = vehicle::GroundSpeed(own);
  if (std::fabs(v) < kAtRest) {
    phase_ = TPhase::Standing;
    stoppedAt_ = now;
    return app::TJoystickReading{};
  }
  // Along the centre line: the nose wheel down, then steered to it.
  double stickX = 0;
  if (const world::TRunwayInfo* runway = Destination(s, runway_)) {
    const TOnRunway at = OnRunway(*runway, own.X + s.OriginX, own.Y + s.OriginY);
    const double error = Normalise180(at.Heading - Clamp(0.5 * at.Right, -5, 5) - own.Heading);
    if (own.Pitch > 0) {
      stickX = Clamp(error / 5, -1.0, 1.0);  // the rudder while the nose is up
    } else {
      const double limit = kAircraftSteerLimit / std::max(v * v, 25.0);
      stickX = Clamp(2 * error / limit, -1.0, 1.0);
    }
  }
  return Stick(stickX, own.Pitch > 0 ? PitchStick(s, 0) : 0);
}

void TFighterDriver::Restart(state::TMainState& s, uint32_t now) {
  keys_.ReleaseAll(s);
  (void)now;
  height_ = Height(s);
  speed_ = std::max(vehicle::GroundSpeed(s.Own), 150.0);
}

app::TJoystickReading TFighterDriver::Drive(state::TMainState& s, uint32_t now) {
  const double climbRate = -s.Own.VZ;  // m/s up
  const double targetPitch = Clamp(3 + 0.02 * (height_ - Height(s)) - 0.1 * climbRate, -10, 15);
  const double v = vehicle::AirData(s.Own, s.WindX, s.WindY).Forward;
  // The speed with the throttle keys held, as a user holds F2 or F3.
  if (v < speed_ - 5) {
    keys_.Release(s, app::kKeyF2);
    keys_.Press(s, app::kKeyF3, now);
  } else if (v > speed_ + 5) {
    keys_.Release(s, app::kKeyF3);
    keys_.Press(s, app::kKeyF2, now);
  } else {
    keys_.Release(s, app::kKeyF2);
    keys_.Release(s, app::kKeyF3);
  }
  return Stick(RollStick(s, bank_), PitchStick(s, targetPitch));
}

}  // namespace velmora::traffic
