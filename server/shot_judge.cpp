#include "server/shot_judge.h"

#include <cmath>
#include <numbers>

#include "vehicle/geometry.h"

namespace velmora::server {
namespace {

constexpr double kMetresPerCentimetre = 0.01;
constexpr double kDegreesPerHundredth = 0.01;
constexpr double kSecondsPerMillisecond = 0.001;

struct Position {
  double X = 0;  // m, east
  double Y = 0;  // m, north
  double Z = 0;  // m, down
};

Position CarriedForward(const WireVehicle& v, int32_t ageMs) {
  const double age = ageMs * kSecondsPerMillisecond;
  return Position{(v.X + v.VX * age) * kMetresPerCentimetre,
                  (v.Y + v.VY * age) * kMetresPerCentimetre,
                  (v.Z + v.VZ * age) * kMetresPerCentimetre};
}

}  // namespace

ShotJudgement JudgeShot(const WireVehicle& shooter, int32_t shooterAgeMs, const WireVehicle& target,
                        int32_t targetAgeMs) {
  const Position from = CarriedForward(shooter, shooterAgeMs);
  const Position to = CarriedForward(target, targetAgeMs);
  const double dx = to.X - from.X;
  const double dy = to.Y - from.Y;
  const double dz = to.Z - from.Z;

  ShotJudgement judgement;
  judgement.Distance = std::sqrt(dx * dx + dy * dy + dz * dz);
  if (!(judgement.Distance <= kShotRange + kShotRangeMargin)) {
    judgement.Verdict = ShotVerdict::OutOfRange;
    return judgement;
  }

  vehicle::TVehicleState attitude;
  attitude.Heading = static_cast<float>(shooter.Heading * kDegreesPerHundredth);
  attitude.Pitch = static_cast<float>(shooter.Pitch * kDegreesPerHundredth);
  attitude.Bank = static_cast<float>(shooter.Bank * kDegreesPerHundredth);
  const vehicle::TBodyVector body = vehicle::WorldToBody(attitude, dx, dy, dz);
  const double reach = body.Forward * std::tan((kShotConeHalfAngle + kShotConeMargin) * std::numbers::pi / 180.0);
  const bool inFront =
      body.Forward > 0 && std::fabs(body.Right) <= reach && std::fabs(body.Up) <= reach;
  judgement.Verdict = inFront ? ShotVerdict::Hit : ShotVerdict::NotInFront;
  return judgement;
}

}  // namespace velmora::server
