#include "pilot/control_step.h"

#include <algorithm>
#include <cmath>

#include "physics/railway.h"
#include "physics/step_vehicle.h"
#include "pilot/crew.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::pilot {

using namespace vehicle;  // records, kinds and geometry helpers

namespace {

constexpr double kPitchGain = 0.002;        // deg/s² per (m/s)²
constexpr double kRollGain = 0.004;         // deg/s² per (m/s)²
constexpr double kAngleOfAttackLimit = 12;  // deg: the nose stops rising there
constexpr double kPitchLiftDeficit = 0.2;   // share of a lift deficit that drops the nose
constexpr double kSteeringRate = 2000;      // deg/s × (m/s)²
constexpr double kAircraftSteerLimit = 1675;  // deg × (m/s)²
constexpr double kVehicleSteerLimit = 1125;   // deg × (m/s)²
constexpr double kRudderRate = 10;          // deg/s
constexpr double kRudderLimit = 20;         // deg
constexpr double kFlapSpeed = 1.2;          // deg/s
constexpr double kGearSpeed = 0.1;          // of the full travel per second
constexpr double kOffsetShift = 100000;     // m
constexpr double kOffsetLimit = 50000;      // m

// Brake decelerations (m/s²).
constexpr double kEmergencyBrake = 1.25;    // 4.5 km/h per second
constexpr double kAircraftBrake = 2.2;
constexpr double kRoadBrake = 7.0;
constexpr double kTrainBrake = 35.0 / 36.0;  // 3.5 km/h per second

bool IsOdd(int32_t n) { return (n & 1) != 0; }

// The stop test of a rate channel: the acceleration would carry the rate
// through zero within this step (also true when both are zero).
bool RateStops(double rate, double accel, double dt) {
  return Sign(rate) == -Sign(accel) && std::fabs(accel * dt) >= std::fabs(rate);
}

// Thrust demand and brake deceleration from the brake and throttle controls.
double ApplyBrakeTable(state::TMainState& s, double dt) {
  if (s.EmergencyBrake) {
    s.Throttle = 0;
    return kEmergencyBrake;
  }
  if (s.Brake) {
    s.Throttle = 0;
    switch (s.Own.Kind) {
      case kKindAircraft: return kAircraftBrake;
      case kKindRoad: return kRoadBrake;
      case kKindTrain: return kTrainBrake;
      default: return 0;
    }
  }
  s.Throttle = Clamp(s.Throttle + s.ThrottleRate * dt, 0, s.ThrottleMax);
  return 0;
}

// Turns the own attitude by d degrees about the body right axis.
void PitchAttitude(TVehicleState& own, double d) {
  const TWorldVector nose = BodyToWorld(own, 0, SinDeg(d), CosDeg(d));
  const TWorldVector up = BodyToWorld(own, 0, CosDeg(d), -SinDeg(d));
  own.Heading = (std::fabs(nose.X) < 1e-10 && std::fabs(nose.Y) < 1e-10)
                    ? 0.0f
                    : static_cast<float>(Normalise360(Atan2Deg(nose.X, nose.Y)));
  own.Pitch = static_cast<float>(
      Normalise180(Atan2Deg(-nose.Z, std::sqrt(nose.X * nose.X + nose.Y * nose.Y))));
  own.Bank = 0;
  const TBodyVector upInBody = WorldToBody(own, up.X, up.Y, up.Z);
  own.Bank = static_cast<float>(Normalise180(Atan2Deg(upInBody.Right, upInBody.Up)));
}

// The angular acceleration a channel is commanded: the stick's or the keys'
// direction times gain·uF², or, with nothing commanded, a decay of the present
// rate at the same magnitude.
struct TCommand {
  double Demand;  // deg/s² per (m/s)², signed
  double Accel;   // deg/s²
};

TCommand Commanded(double gain, double stick, double storedStick, double keyInput, double rate,
                   double uF2) {
  const bool joystick = stick != 0 || storedStick != 0;
  const double demand = gain * (joystick ? Sign(stick) : keyInput);
  const double accel = (demand == 0 && rate != 0) ? -Sign(rate) * gain * uF2 : demand * uF2;
  return {demand, accel};
}

// Applies the acceleration to the rate. The stop test ends a rate that would
// pass through zero (returns false: no rotation this sub-step); otherwise the
// new rate stays within ±|accel|, scaled by the stick's deflection, and on the
// ground the channel's ground law has the last word. A step of dt = 0 leaves
// the rate as it is.
template <typename GroundLaw>
bool UpdateRate(double& rate, double accel, double stick, double dt, bool onGround,
                GroundLaw groundLaw) {
  if (RateStops(rate, accel, dt)) {
    rate = 0;
    return false;
  }
  double limit = std::fabs(accel);
  if (stick != 0) limit *= std::fabs(stick);
  if (dt != 0) {
    accel = Clamp(accel, (-limit - rate) / dt, (limit - rate) / dt);
    if (onGround) accel = groundLaw(accel);
  }
  rate += accel * dt;
  return true;
}

// Aircraft pitch channel: the stick or keys command a pitch acceleration that
// grows with the square of the airspeed; the rate is limited and the nose
// stops at the angle-of-attack limit.
void PitchChannel(state::TMainState& s, const TBodyVector& air, double liftExcess, bool onGround,
                  double stickY, double dt) {
  TVehicleState& own = s.Own;
  const double uF2 = air.Forward * air.Forward;
  double accel = Commanded(kPitchGain, stickY, s.StickY, s.PitchInput, s.PitchRate, uF2).Accel;
  // On the ground the elevator works within ±gain·uF², and a lift deficit
  // pushes the nose down.
  const double deficit = liftExcess < 0 ? kPitchLiftDeficit * liftExcess : 0;
  const auto groundLaw = [&](double a) {
    return Clamp(a, deficit - kPitchGain * uF2, deficit + kPitchGain * uF2);
  };
  if (onGround) accel = groundLaw(accel);
  if (!UpdateRate(s.PitchRate, accel, stickY, dt, onGround, groundLaw)) return;
  if (onGround && own.Pitch <= 0 && s.PitchRate < 0) s.PitchRate = 0;  // nose stays on the ground

  double rotation = s.PitchRate * dt;
  const double alpha = -Atan2Deg(air.Up, air.Forward);
  if (alpha + rotation > kAngleOfAttackLimit) rotation = kAngleOfAttackLimit - alpha;
  PitchAttitude(own, rotation);
}

// Aircraft roll channel; on the ground the wings only drop back towards level,
// and only when lift is short.
void RollChannel(state::TMainState& s, const TBodyVector& air, double liftExcess, bool onGround,
                 double stickX, double dt) {
  TVehicleState& own = s.Own;
  const double uF2 = air.Forward * air.Forward;
  const TCommand command = Commanded(kRollGain, stickX, s.StickX, s.RollInput, s.RollRate, uF2);
  const double deficit = liftExcess < 0 ? liftExcess : 0;
  const auto groundLaw = [&](double) { return Sign(own.Bank) * deficit; };
  const double accel = onGround ? groundLaw(command.Accel) : command.Accel;
  if (!UpdateRate(s.RollRate, accel, stickX, dt, onGround, groundLaw)) return;

  if (onGround && Sign(command.Demand) != Sign(s.RollRate) &&
      Sign(own.Bank) == -Sign(s.RollRate) && std::fabs(own.Bank) <= std::fabs(s.RollRate * dt)) {
    own.Bank = 0;  // level exactly
    s.RollRate = 0;
  } else {
    own.Bank = static_cast<float>(Normalise180(own.Bank + s.RollRate * dt));
  }
}

// Rudder while the nose is raised, nose-wheel or front-wheel steering otherwise.
void Steering(state::TMainState& s, const TFormParam& form, bool onGround, double stickX,
              double dt) {
  TVehicleState& own = s.Own;
  if (!onGround) {
    s.Rudder = 0;
    return;
  }
  const bool joystick = stickX != 0 || s.StickX != 0;
  const double speed = GroundSpeed(own);
  if (own.Pitch > 0) {
    s.Rudder += kRudderRate * s.RollInput * dt;
    if (joystick) s.Rudder = kRudderLimit * stickX;
    s.Rudder = Clamp(s.Rudder, -kRudderLimit, kRudderLimit);
    return;
  }
  // The Up key centres the wheel; the roll keys turn it.
  double rate = (s.Steer != 0 && s.PitchInput < 0) ? -Sign(s.Steer) * kSteeringRate
                                                   : kSteeringRate * s.RollInput;
  rate /= std::max(speed * speed, 100.0);
  if (!joystick && Sign(s.Steer) == -Sign(rate) && std::fabs(rate * dt) >= std::fabs(s.Steer)) {
    s.Steer = 0;
    return;
  }
  const double limit = (own.Kind == kKindAircraft ? kAircraftSteerLimit : kVehicleSteerLimit) /
                       std::max(speed * speed, 25.0);
  s.Steer = joystick ? limit * stickX : Clamp(s.Steer + rate * dt, -limit, limit);
  // A type without a wheelbase cannot turn on its wheels.
  if (s.Steer != 0 && form.Wheelbase > 0) {
    const double turnRate =
        speed * std::tan(s.Steer * units::kRadiansPerDegree) / form.Wheelbase;  // rad/s
    own.Heading =
        static_cast<float>(Normalise360(own.Heading + dt * turnRate * units::kDegreesPerRadian));
  }
}

// Flaps and gear move towards their accepted settings; the gear switches the
// vehicle between its gear-up (even) and gear-down (odd) type half-way.
void MoveFlapsAndGear(state::TMainState& s, double dt) {
  TVehicleState& own = s.Own;
  if (s.FlapSet > own.Flap) {
    own.Flap = std::min(own.Flap + kFlapSpeed * dt, s.FlapSet);
  } else if (s.FlapSet < own.Flap) {
    own.Flap = std::max(own.Flap - kFlapSpeed * dt, s.FlapSet);
  }
  if (s.GearSet > s.Gear) {
    s.Gear += kGearSpeed * dt;
    if (!IsOdd(own.FormNo) && s.Gear >= 0.5 && own.FormNo < kFormCount) own.FormNo += 1;
    s.Gear = std::min(s.Gear, s.GearSet);
  } else if (s.GearSet < s.Gear) {
    s.Gear -= kGearSpeed * dt;
    // Type 1 has no gear-up partner: type 0 does not exist.
    if (IsOdd(own.FormNo) && s.Gear < 0.5 && own.FormNo > 1) own.FormNo -= 1;
    s.Gear = std::max(s.Gear, s.GearSet);
  }
}

// The instructor's verdict when a part of the airframe is below the ground.
const char* CrashMessage(const TVehicleState& own, const TFormParam& form) {
  const double scale = form.Scale;
  const double pitch = own.Pitch;
  const double bank = std::fabs(own.Bank);
  const double z = own.Z;
  if (z > -1.084 * scale * SinDeg(bank) * CosDeg(pitch)) return "教官> 翼が地面に接触した。";
  if (z > -1.076 * scale * SinDeg(4 - pitch)) return "教官> 胴体先端が地面に接触した。";
  if (z > -1.285 * scale * SinDeg(pitch - 1.5)) return "教官> 胴体末端が地面に接触した。";
  if (bank > 90) {
    if (z > -0.516 * scale * SinDeg(17.4 - pitch)) return "教官> 胴体前方が地面に接触した。";
    if (z > -1.341 * scale * SinDeg(19.4 + pitch)) return "教官> 垂直尾翼が地面に接触した。";
    return nullptr;
  }
  if (z > -0.814 * scale * SinDeg(bank + 8.5) * CosDeg(pitch)) {
    return "教官> エンジンが地面に接触した。";
  }
  if (z > -0.374 * scale * SinDeg(25.2 - pitch)) return "教官> 胴体前方が地面に接触した。";
  if (z > -0.374 * scale * SinDeg(25.2 + pitch)) return "教官> 胴体後方が地面に接触した。";
  if (IsOdd(own.FormNo)) {
    if (z > form.Wheelbase * SinDeg(pitch) + form.RestZ * CosDeg(pitch) + 0.01) {
      return "教官> 前側から接地し、前脚が破損した。";
    }
    if (z >= form.RestZ && own.VZ > 4) return "教官> 降下速度が大きく、主脚が破損した。";
  }
  return nullptr;
}

}  // namespace

std::optional<std::string> ControlStep(state::TMainState& s, double stickX, double stickY,
                                       double dt) {
  TVehicleState& own = s.Own;
  if (own.Kind == 0 || own.FormNo == 0) return std::nullopt;
  const TFormParam& form = s.Forms[own.FormNo];

  const double brake = ApplyBrakeTable(s, dt);

  // An aircraft stands on the ground only on its gear; a road vehicle always does.
  const bool onGround = (own.Kind == kKindAircraft && IsOdd(own.FormNo) && own.Z >= form.RestZ) ||
                        own.Kind == kKindRoad;

  if (own.Kind == kKindAircraft) {
    const TBodyVector air = AirData(own, s.WindX, s.WindY);
    const double liftExcess =
        air.Forward * air.Forward * form.Lift * (1 - own.Pitch / form.ZeroLiftAngle) -
        units::kGravity;
    PitchChannel(s, air, liftExcess, onGround, stickY, dt);
    RollChannel(s, air, liftExcess, onGround, stickX, dt);
  }
  Steering(s, form, onGround, stickX, dt);
  MoveFlapsAndGear(s, dt);

  if (own.Kind == kKindTrain) physics::ReleaseTrack(s, own.UserNo);

  const double z0 = own.Z;
  const double vz0 = own.VZ;
  physics::StepVehicle(s, own, s.Freeze ? 0.0 : dt, brake, s.Throttle);

  if (own.Kind == kKindAircraft && IsAirliner(own.FormNo)) {
    CrewCallouts(s, z0, vz0);
    if (dt != 0) CrewGuidance(s, (vz0 - own.VZ) / dt, dt);
  }
  if (own.Kind == kKindAircraft) StallWarning(s);

  if (s.Start.Kind == 0) {
    if (const char* message = CrashMessage(own, s.Forms[own.FormNo])) return std::string(message);
  }
  return std::nullopt;
}

void ShiftWorldOffset(state::TMainState& s) {
  const auto shiftOf = [](double position) {
    if (position < -kOffsetLimit) return -kOffsetShift;
    if (position >= kOffsetLimit) return kOffsetShift;
    return 0.0;
  };
  const double sx = shiftOf(s.Own.X);
  const double sy = shiftOf(s.Own.Y);
  if (sx == 0 && sy == 0) return;
  s.Own.X -= sx;
  s.Own.Y -= sy;
  for (int i = 0; i < RemoteCount(s.Remote); ++i) {
    s.Remote[static_cast<std::size_t>(i)].X -= sx;
    s.Remote[static_cast<std::size_t>(i)].Y -= sy;
  }
  s.OriginX += sx;
  s.OriginY += sy;
}

double TrimThrottle(state::TMainState& s, const TVehicleState& w) {
  const TFormParam& form = s.Forms[w.FormNo];
  const double speed = GroundSpeed(w);
  const TBodyVector air = AirData(w, s.WindX, s.WindY);
  if (speed == 0 && w.Z >= form.RestZ) {
    s.Throttle = 0;
    return s.Throttle;
  }
  const double sigma = DensityRatio(-w.Z);
  double dragFactor = sigma * FlapFactor(w.Flap) * form.Drag;
  if (IsOdd(w.FormNo)) dragFactor += sigma * form.Drag * 0.381;
  s.Throttle = units::kGravity * SinDeg(w.Pitch) + dragFactor * air.Forward * air.Forward;
  if (w.Kind != kKindTrain && w.Z >= form.RestZ) s.Throttle += 0.1;
  if (w.Kind == kKindRoad) s.Throttle += 6 * (speed / 50) * (speed / 50);
  return s.Throttle;
}

}  // namespace velmora::pilot
