#include "pilot/approach.h"

#include <cmath>

#include "pilot/crew.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"
#include "world/runway_geometry.h"

namespace velmora::pilot {

using namespace vehicle;  // records and geometry helpers

namespace {

constexpr double kLevelHeight = 590;            // m above the ground before the descent
constexpr double kCruiseApproachSpeed = 107.91666666666667;  // m/s, 210 kt
constexpr double kFinalApproachSpeed = 74.51388888888889;    // m/s, 145 kt
constexpr double kLevelPitch = 3;               // deg, nose up in level flight at 210 kt

}  // namespace

void PlaceOnApproach(state::TMainState& s, const world::TRunwayInfo& dest, uint32_t now) {
  // The start state, flying.
  s.Own = s.Start;
  s.Own.Time = static_cast<int32_t>(now);
  s.Own.Kind = kKindAircraft;
  const int32_t type = s.Own.FormNo;
  const bool gearDown = type == 11;
  if (type == 10) {
    s.Log("");
    s.Log("教官> 速度が 200ノットを切ったら Flaps 5。");
  }

  // Aim point f before the threshold, then back to where the final turn starts.
  const double runway = Normalise360(world::RunwayCourse(dest));
  const double f = dest.ApproachOffset;
  const double h = dest.ApproachCourse;
  double m = dest.X1 - SinDeg(runway) * f;
  double t = dest.Y1 - CosDeg(runway) * f;
  if (Normalise180(runway - h) >= 0) {
    m += world::kFinalTurnRadius * (CosDeg(runway) - CosDeg(h));
    t -= world::kFinalTurnRadius * (SinDeg(runway) - SinDeg(h));
  } else {
    m -= world::kFinalTurnRadius * (CosDeg(runway) - CosDeg(h));
    t += world::kFinalTurnRadius * (SinDeg(runway) - SinDeg(h));
  }
  const double u = std::fabs(Normalise180(h - runway)) * units::kRadiansPerDegree * world::kFinalTurnRadius;
  const bool curved = u > world::kStraightInTurn;

  // Distance before the turn, and the height: level at 590 m, or for the
  // gear-down type on the 3° path.
  double w = 16000 - (f + u);
  if (gearDown) w = curved ? 1500 : 6500 - (f + u);
  double dz = -kLevelHeight;
  if (gearDown) dz = curved ? -(f + world::kAimPointDistance + u) * world::kGlideSlope
                            : -(f + world::kAimPointDistance + u + w) * world::kGlideSlope;

  // Runway coordinates are absolute; the record is relative to the world offset.
  s.Own.X = m - SinDeg(h) * w - s.OriginX;
  s.Own.Y = t - CosDeg(h) * w - s.OriginY;
  s.Own.Z = s.Forms[type].RestZ + dz;

  s.Own.Heading = static_cast<float>(h);
  s.Own.Pitch = (!gearDown || curved) ? static_cast<float>(kLevelPitch) : 0.0f;
  s.Own.Bank = 0;

  // Air speed plus the wind along the course.
  const double speed = (gearDown ? kFinalApproachSpeed : kCruiseApproachSpeed) +
                       SinDeg(h) * s.BaseWindX + CosDeg(h) * s.BaseWindY;
  s.Own.VX = SinDeg(h) * speed;
  s.Own.VY = CosDeg(h) * speed;
  s.Own.VZ = (gearDown && !curved) ? speed * world::kGlideSlope : 0;

  // The gear of the type, flaps as they are, brake off, autopilot on.
  s.Gear = s.GearSet = s.GearCommand = static_cast<double>(type & 1);
  s.FlapCommand = s.FlapSet = s.Own.Flap;
  s.Brake = 0;
  s.GuidanceMode = gearDown ? kModeFinal : kModeToFix;
}

}  // namespace velmora::pilot
