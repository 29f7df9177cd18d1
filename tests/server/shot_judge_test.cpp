#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "server/shot_judge.h"

namespace velmora::server {
namespace {

constexpr double kDistanceTol = 1e-6;  // m: straight-line arithmetic only

// A fighter at the origin, 3000 m up, flying north at 200 m/s.
WireVehicle Shooter() {
  WireVehicle v;
  v.UserNo = 1;
  v.Kind = 1;
  v.FormNo = 12;
  v.Z = -300000;
  v.VY = 20000;
  return v;
}

// A target at a bearing and distance in the horizontal plane.
WireVehicle TargetAt(double bearing, double metres) {
  WireVehicle v = Shooter();
  v.UserNo = 2;
  v.VY = 0;
  v.X = std::sin(bearing * std::numbers::pi / 180.0) * metres * 100.0;
  v.Y = std::cos(bearing * std::numbers::pi / 180.0) * metres * 100.0;
  return v;
}

TEST(ShotJudge, RangeAndConeAroundTheNose) {
  struct Case {
    double bearing;  // deg, from the shooter, which heads north
    double metres;
    ShotVerdict verdict;
  };
  const std::vector<Case> cases = {
      {0, 3999, ShotVerdict::Hit},
      {0, kShotRange + kShotRangeMargin - 1, ShotVerdict::Hit},
      {0, kShotRange + kShotRangeMargin + 1, ShotVerdict::OutOfRange},
      {19, 2000, ShotVerdict::Hit},         // inside 15° plus the margin
      {-19, 2000, ShotVerdict::Hit},
      {21, 2000, ShotVerdict::NotInFront},  // outside it
      {180, 1000, ShotVerdict::NotInFront},
      {90, 1000, ShotVerdict::NotInFront},
  };
  for (const Case& c : cases) {
    const ShotJudgement j = JudgeShot(Shooter(), 0, TargetAt(c.bearing, c.metres), 0);
    EXPECT_EQ(j.Verdict, c.verdict) << c.bearing << " deg, " << c.metres << " m";
    EXPECT_NEAR(j.Distance, c.metres, kDistanceTol);
  }
}

TEST(ShotJudge, AttitudeTurnsTheCone) {
  // Heading 90: a target due east is in front, one due north is not.
  WireVehicle east = Shooter();
  east.Heading = 9000;
  EXPECT_EQ(JudgeShot(east, 0, TargetAt(90, 2000), 0).Verdict, ShotVerdict::Hit);
  EXPECT_EQ(JudgeShot(east, 0, TargetAt(0, 2000), 0).Verdict, ShotVerdict::NotInFront);
  // Nose 30° up: a target straight ahead at the same height is below the cone.
  WireVehicle climbing = Shooter();
  climbing.Pitch = 3000;
  EXPECT_EQ(JudgeShot(climbing, 0, TargetAt(0, 2000), 0).Verdict, ShotVerdict::NotInFront);
}

TEST(ShotJudge, RecordsAreCarriedForwardByTheirAges) {
  // 4400 m ahead, closing at 100 m/s: 2 s later it is 4200 m ahead.
  WireVehicle target = TargetAt(0, 4400);
  target.VY = -10000;
  EXPECT_EQ(JudgeShot(Shooter(), 0, target, 0).Verdict, ShotVerdict::OutOfRange);
  const ShotJudgement later = JudgeShot(Shooter(), 0, target, 2000);
  EXPECT_EQ(later.Verdict, ShotVerdict::Hit);
  EXPECT_NEAR(later.Distance, 4200, kDistanceTol);
  // The shooter's own age moves it 200 m/s × 1 s towards the target.
  EXPECT_NEAR(JudgeShot(Shooter(), 1000, TargetAt(0, 4400), 0).Distance, 4200, kDistanceTol);
}

}  // namespace
}  // namespace velmora::server
