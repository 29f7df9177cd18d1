#include "physics/step_vehicle.h"

#include <algorithm>
#include <cmath>

#include "physics/railway.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::physics {
namespace {

using vehicle::TAttitude;
using vehicle::TBodyVector;
using vehicle::TFormParam;
using vehicle::TVehicleState;
using vehicle::TWorldVector;
using namespace vehicle;  // geometry helpers

constexpr double kStallAngle = 15;          // deg: beyond it lift and side force collapse
constexpr double kRollingResistance = 0.1;  // m/s² on the ground
constexpr double kGearDrag = 0.381;         // gear drag as a share of Drag
constexpr double kMaxTouchdownRate = 4;     // m/s: a faster descent is not caught
constexpr double kCoordinatedTurnRate = 8;  // deg/s: airliner heading change limit
constexpr double kAirflowFollowRate = 90;   // deg/s: heading and pitch follow the airflow

bool IsOdd(int32_t n) { return (n & 1) != 0; }

// Limits |value| to limit, keeping its sign.
double LimitMagnitude(double value, double limit) {
  return std::fabs(value) > limit ? limit * Sign(value) : value;
}

// Accelerations from drag, lift, side force, thrust, braking and gravity;
// updates the velocity. attitude: that of v, which this leaves as it is.
void ApplyForces(state::TMainState& state, TVehicleState& v, const TFormParam& form,
                 const TAttitude& attitude, double dt, double brake, double thrust, bool own) {
  // Ground speed along the heading, and the airspeed in body axes.
  const double speed = GroundSpeed(v, attitude);
  const TBodyVector air = AirData(v, attitude, state.WindX, state.WindY);
  const double uF = air.Forward, uU = air.Up, uR = air.Right;

  // Air density and the flaps scale every aerodynamic force; the gear adds
  // drag without the flap factor.
  const double sigma = DensityRatio(-v.Z);
  const double q = FlapFactor(v.Flap) * sigma;
  double dragFactor = form.Drag * q;
  if (IsOdd(v.FormNo)) dragFactor += form.Drag * sigma * kGearDrag;

  // Thrust law of the kind: engines lose thrust with density, a road vehicle
  // runs out of power towards 50·√(thrust/6) m/s.
  if (v.Kind == kKindAircraft) {
    thrust *= sigma;
  } else if (v.Kind == kKindRoad) {
    const double g = speed / 50;
    thrust -= 6 * g * g;
    if (thrust < 0) thrust = 0;
  }
  thrust -= std::fabs(uF) * uF * dragFactor;

  // Rolling resistance; a moving train or the own train rolls freely.
  const bool onGround = v.Z >= form.RestZ;
  if (onGround) {
    if (v.Kind != kKindTrain) {
      brake += kRollingResistance;
    } else if (!own && std::fabs(speed) < 1e-10) {
      brake += kRollingResistance;
    }
  }

  // Side force along body right, in the air or with the nose raised.
  double side = 0;
  if (!onGround || v.Pitch > 0) {
    if (v.FormNo == 14) {
      const double beta = -Atan2Deg(uR, uF);
      side = form.Lift * q * (-beta / form.ZeroLiftAngle) * (uR * uR + uF * uF);
      if (std::fabs(beta) > kStallAngle) {
        double sinBeta = 0, cosBeta = 0;
        SinCosDeg(beta, sinBeta, cosBeta);
        side *= sinBeta;
        thrust -= cosBeta * side;
        side *= sinBeta;
      }
    } else {
      side = -form.Drag * std::fabs(uR) * uR;
    }
  }

  // Lift along body up, linear in the angle of attack up to the stall; beyond
  // it the force turns towards the flat-plate form and the rest becomes drag.
  const double alpha = -Atan2Deg(uU, uF);
  double lift = form.Lift * q * (1 - alpha / form.ZeroLiftAngle) * (uU * uU + uF * uF);
  if (std::fabs(alpha) > kStallAngle) {
    double sinAlpha = 0, cosAlpha = 0;
    SinCosDeg(alpha, sinAlpha, cosAlpha);
    lift *= sinAlpha;
    thrust -= cosAlpha * lift;
    lift *= sinAlpha;
  }

  // Longitudinal acceleration; braking never reverses the motion.
  double along = thrust - brake * Sign(speed);
  if (dt != 0 && along != 0 && (along * dt + speed) * speed <= 0) {
    if (brake >= std::fabs(thrust)) {
      along = -speed / dt;  // comes exactly to rest at the end of the step
    } else {
      // Passes through zero speed at −V/A and goes on under thrust against the brake.
      along = ((thrust - brake * Sign(thrust)) * (dt + speed / along) - speed) / dt;
    }
  }

  // Back into world axes, add gravity, update the velocity.
  TWorldVector accel = BodyToWorld(attitude, side, lift, along);
  if (v.Kind != kKindNoGravity) accel.Z += units::kGravity;
  v.VX += accel.X * dt;
  v.VY += accel.Y * dt;
  v.VZ += accel.Z * dt;
}

// Turns the attitude towards the motion. attitude: that of v on entry.
void ApplyAttitudeLaw(const state::TMainState& state, TVehicleState& v, const TAttitude& attitude,
                      bool onGround, double dt) {
  if (v.Kind < kKindNone || v.Kind > kKindTrain) return;  // kind 4 keeps its attitude

  if (onGround && v.Pitch <= 0) {
    // Ground roll: the horizontal velocity turns onto the heading line, no side slip.
    double p = std::sqrt(v.VX * v.VX + v.VY * v.VY);
    const double track = Normalise360(Atan2Deg(v.VX, v.VY));
    if (std::fabs(Normalise180(track - v.Heading)) > 90) p = -p;  // rolling backwards
    v.VX = attitude.SinHeading * p;
    v.VY = attitude.CosHeading * p;
    return;
  }
  if (v.FormNo == 14) return;  // the side-force law keeps its own attitude

  if (vehicle::IsAirliner(v.FormNo) && std::fabs(v.Bank) <= 45) {
    // Coordinated turn: find the heading at which the body right axis is
    // perpendicular to the airflow and turn towards it, plus the rudder.
    const double p = v.VX - state.WindX;
    const double q = v.VY - state.WindY;
    const double airTrack = Normalise360(Atan2Deg(p, q));
    const double sPhi = attitude.SinBank, cPhi = attitude.CosBank;
    const double sTheta = attitude.SinPitch, cTheta = attitude.CosPitch;
    const double a = sTheta * sPhi;
    const double b = cTheta * sPhi * v.VZ;
    const double c = cPhi * cPhi;
    const double d2 = a * a;
    double disc = d2 * b * b - (b * b - (p * p + q * q) * c) * (c + d2);
    if (disc < 0) disc = 0;
    const double n = (std::sqrt(disc) - a * b) / (c + d2);  // forward horizontal airspeed
    const double m = -(a * n + b) / cPhi;                   // right horizontal airspeed
    double turn = Normalise180(Normalise360(airTrack - Atan2Deg(m, n)) - v.Heading);
    turn = Normalise180(turn + state.Rudder);
    turn = LimitMagnitude(turn, kCoordinatedTurnRate * std::fabs(dt));
    v.Heading = static_cast<float>(Normalise360(v.Heading + turn));
    return;
  }

  // General law: the nose follows the airflow projected onto the wing plane,
  // keeping the angle of attack; the body up axis stays where it was.
  const TBodyVector air = AirData(v, attitude, state.WindX, state.WindY);
  const TWorldVector flow = BodyToWorld(attitude, air.Right, 0, air.Forward);
  const TWorldVector up = BodyToWorld(attitude, 0, 1, 0);
  double turn = 0;
  if (std::fabs(flow.X) >= 1e-10 || std::fabs(flow.Y) >= 1e-10) {
    turn = Normalise180(Normalise360(Atan2Deg(flow.X, flow.Y)) - v.Heading);
  }
  turn = LimitMagnitude(turn, kAirflowFollowRate * std::fabs(dt));
  v.Heading = static_cast<float>(Normalise360(v.Heading + turn));
  double climb = Normalise180(Atan2Deg(-flow.Z, std::sqrt(flow.X * flow.X + flow.Y * flow.Y)) -
                              v.Pitch);
  climb = LimitMagnitude(climb, kAirflowFollowRate * std::fabs(dt));
  v.Pitch = static_cast<float>(v.Pitch + climb);
  v.Bank = 0;
  const TBodyVector upInBody = WorldToBody(v, up.X, up.Y, up.Z);
  v.Bank = static_cast<float>(Normalise180(Atan2Deg(upInBody.Right, upInBody.Up)));
}

// Stops a vehicle that reaches the ground gently enough; registers the own
// vehicle's touchdown.
void ApplyGroundContact(state::TMainState& state, TVehicleState& v, const TFormParam& form,
                        double oldZ, bool own) {
  if (v.Kind == kKindAircraft && !(std::fabs(v.Bank) <= 90 && IsOdd(v.FormNo))) return;
  if (!(v.Z >= form.RestZ && v.VZ <= kMaxTouchdownRate)) return;
  if (own && oldZ < form.RestZ) {
    // Both rates turn the attitude back towards level.
    state.PitchRate = -Sign(v.Pitch) * 0.2 * v.VZ;
    state.RollRate = -Sign(v.Bank) * v.VZ;
    state.Brake = 1;
    state.GuidanceMode = 0;
    state.LandingRoll = 1;
  }
  v.Z = form.RestZ;
  v.VZ = 0;
  if (v.Pitch < 0) v.Pitch = 0;
}

// The nearest point of the fixed position grid: the grid addition truncates,
// so a snapped position just below a grid point would lose a whole grid step
// on the next move, and the train's progress would hang on the last bit of
// the projection.
double SnapToGrid(double a) {
  if (!std::isfinite(a)) return a;
  int exponent = 0;
  std::frexp(a, &exponent);
  const int k = std::min(30 - exponent, 15);
  return std::ldexp(std::nearbyint(std::ldexp(a, k)), -k);
}

// Puts both bogies of a train on the track; leaves the train as it is when
// either lies on no track.
void CoupleTrain(state::TMainState& state, TVehicleState& v, const TFormParam& form, bool own) {
  if (own) {
    state.StopDistance = 1e38;
    state.RailSpeedLimit = 0;
  }
  double sinHeading = 0, cosHeading = 0;
  SinCosDeg(v.Heading, sinHeading, cosHeading);
  const double halfX = sinHeading * form.Wheelbase / 2;
  const double halfY = cosHeading * form.Wheelbase / 2;
  TTrackCoupling front, rear;
  if (!CoupleToTrack(state, v, v.X + halfX, v.Y + halfY,
                     static_cast<uint16_t>(v.TrackSegments >> 16), front)) {
    return;
  }
  if (!CoupleToTrack(state, v, v.X - halfX, v.Y - halfY,
                     static_cast<uint16_t>(v.TrackSegments & 0xFFFFu), rear)) {
    return;
  }
  v.TrackSegments = (static_cast<uint32_t>(front.Segment) << 16) | rear.Segment;
  if (own) {
    state.StopDistance = front.StopDistance;
    state.RailSpeedLimit = front.SpeedLimit;
  }
  v.X = SnapToGrid((front.X + rear.X) / 2);
  v.Y = SnapToGrid((front.Y + rear.Y) / 2);
  v.Heading = static_cast<float>(Normalise360(Atan2Deg(front.X - rear.X, front.Y - rear.Y)));
}

}  // namespace

void StepVehicle(state::TMainState& state, TVehicleState& v, double dt, double brake,
                 double thrust) {
  const TFormParam& form = state.Forms[v.FormNo];
  const bool own = &v == &state.Own;

  // Forces change only the velocity: the attitude's sines and cosines serve
  // both them and the attitude law.
  const TAttitude attitude(v);
  ApplyForces(state, v, form, attitude, dt, brake, thrust, own);

  // On the ground is judged from the position before the move.
  ApplyAttitudeLaw(state, v, attitude, v.Z >= form.RestZ, dt);

  // Move on the fixed grid, so equal inputs give bit-equal positions everywhere.
  const double oldZ = v.Z;
  v.X = FixedGridAdd(v.X, dt * v.VX);
  v.Y = FixedGridAdd(v.Y, dt * v.VY);
  v.Z = FixedGridAdd(v.Z, dt * v.VZ);

  ApplyGroundContact(state, v, form, oldZ, own);
  if (v.Kind == kKindTrain) CoupleTrain(state, v, form, own);
}

}  // namespace velmora::physics
