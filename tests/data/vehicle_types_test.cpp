// The vehicle types of the installation behave credibly under the force
// model, driven through the own-vehicle control step: vehicles standing on
// their wheels and aircraft rotating for take-off trip no crash test, the
// airliner at full thrust rotates near 150 kt and climbs, the fighter holds
// a 60° turn, the car tops out near its road speed.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "pilot/control_step.h"
#include "state/main_state.h"
#include "tests/data/installation.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::testing {
namespace {

using vehicle::TVehicleState;

constexpr double kTick = 0.01;  // s, one control step

class VehicleTypesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TInDataFolder inData;
    FakeRenderer renderer;
    const auto result = vehicle::LoadVehicleTypes("vehicles.dat", s.Forms, renderer);
    ASSERT_TRUE(result.Ok()) << Describe(result.Error);
  }

  // The own vehicle standing on its wheels at the origin, heading north, in
  // practice mode (no server start state), so the crash tests run.
  void Place(int formNo) {
    Vehicle(formNo).User(1).OnWheels(s).AsOwn(s);
    s.Start = TVehicleState{};
    s.Throttle = 0;
    s.ThrottleRate = 0;
    s.PitchRate = s.RollRate = 0;
    s.Gear = s.GearSet = s.GearCommand = (formNo & 1) != 0 ? 1 : 0;
  }

  const vehicle::TFormParam& Form() const { return s.Forms[s.Own.FormNo]; }

  state::TMainState s;
};

TEST_F(VehicleTypesTest, StandingOnItsWheelsTripsNoCrashTest) {
  for (int formNo : {11, 13, 15, 20, 30, 31}) {
    SCOPED_TRACE(formNo);
    Place(formNo);
    for (int tick = 0; tick < 200; ++tick) {
      const std::optional<std::string> crash = pilot::ControlStep(s, 0, 0, kTick);
      ASSERT_FALSE(crash.has_value()) << *crash << " after " << tick << " ticks";
    }
    EXPECT_EQ(s.Own.Z, Form().RestZ);
  }
}

TEST_F(VehicleTypesTest, TakeOffAttitudeOnTheGroundTripsNoCrashTest) {
  // With the main gear on the ground the nose can rise to the angle of
  // attack limit, 12°, without the tail or the engines touching.
  constexpr double kNoseLimit = 12;  // deg
  for (int formNo : {11, 13, 15}) {
    for (double pitch = 0; pitch <= kNoseLimit; pitch += 1) {
      SCOPED_TRACE(std::to_string(formNo) + " at pitch " + std::to_string(pitch));
      Place(formNo);
      s.Own.Pitch = static_cast<float>(pitch);
      s.Freeze = 1;  // the attitude stays as set; the crash tests still run
      const std::optional<std::string> crash = pilot::ControlStep(s, 0, 0, kTick);
      s.Freeze = 0;
      EXPECT_FALSE(crash.has_value()) << *crash;
    }
  }
}

TEST_F(VehicleTypesTest, AirlinerRotatesNearVrAndClimbs) {
  // Flaps 10, gear down, full thrust from a standing start; the Down key
  // from 150 kt until the nose is 8° up.
  constexpr double kVr = 150 / units::kKnotsPerMetrePerSecond;   // m/s
  constexpr double kLiftOffLow = 145;                            // kt
  constexpr double kLiftOffHigh = 175;                           // kt
  constexpr double kRunwayLength = 3000;                         // m
  Place(11);
  s.Own.Flap = 10;
  s.FlapSet = s.FlapCommand = 10;
  s.ThrottleMax = 3.9;
  s.Throttle = 3.9;
  double liftOffSpeed = 0, liftOffDistance = 0;
  for (int tick = 0; tick < 9000; ++tick) {
    const double speed = vehicle::GroundSpeed(s.Own);
    s.PitchInput = (speed >= kVr && s.Own.Pitch < 8) ? 1 : 0;
    if (s.Own.Z < -105) s.GearSet = s.GearCommand = 0;  // gear up through 100 m
    const std::optional<std::string> crash = pilot::ControlStep(s, 0, 0, kTick);
    ASSERT_FALSE(crash.has_value()) << *crash << " at " << tick * kTick << " s";
    if (liftOffSpeed == 0 && s.Own.Z < Form().RestZ - 1) {
      liftOffSpeed = speed * units::kKnotsPerMetrePerSecond;
      liftOffDistance = s.Own.Y;
    }
    if (liftOffSpeed == 0) {
      ASSERT_TRUE(speed >= kVr || s.Own.Pitch == 0) << "the nose stays down below VR";
    }
  }
  EXPECT_GT(liftOffSpeed, kLiftOffLow);
  EXPECT_LT(liftOffSpeed, kLiftOffHigh);
  EXPECT_LT(liftOffDistance, kRunwayLength) << "airborne within the runway";
  EXPECT_LT(s.Own.Z, -600) << "climbing after 90 s";
  EXPECT_EQ(s.Own.FormNo, 10) << "the gear came up";
}

TEST_F(VehicleTypesTest, AirlinerStaysOnTheGroundWithTheNoseDown) {
  // At 150 kt with flaps 10 and the nose on the ground the wing lifts less
  // than the weight: the airliner leaves the ground only when rotated.
  Place(11);
  const double vr = 150 / units::kKnotsPerMetrePerSecond;
  EXPECT_LT(Form().Lift * vehicle::FlapFactor(10) * vr * vr, units::kGravity);
}

TEST_F(VehicleTypesTest, FighterSustainsASixtyDegreeTurn) {
  // At 3000 m and 200 m/s a 60° bank needs twice the weight in lift: the
  // wing gives it below the stall and the engine beats the drag there.
  constexpr double kStall = 15;     // deg angle of attack
  constexpr double kSpeed = 200;    // m/s
  constexpr double kAltitudeBand = 150;  // m the turn may lose or gain in 30 s
  Place(12);
  const double sigma = vehicle::DensityRatio(3000);
  const double g2 = 2 * units::kGravity;
  EXPECT_GT(Form().Lift * sigma * (1 - kStall / Form().ZeroLiftAngle) * kSpeed * kSpeed, g2);
  EXPECT_GT(10 * sigma, Form().Drag * sigma * kSpeed * kSpeed);

  s.Start = s.Own;  // a mission: no gusts, no crash tests in the air
  s.Own.Z = -3000;
  s.Own.VY = kSpeed;
  s.Own.Bank = 60;
  s.Own.Pitch = 2;
  s.ThrottleMax = 10;
  s.Throttle = 6;
  // A coordinated 60° turn at 200 m/s turns g·tan 60° / V rad/s.
  const double kTurnRate = units::kGravity * std::tan(60 * units::kRadiansPerDegree) / kSpeed *
                           units::kDegreesPerRadian;  // deg/s
  constexpr double kSinkGain = 0.5;      // deg/s of pitch rate per m/s of sink
  constexpr double kRateDeadBand = 0.5;  // deg/s
  double turned = 0;
  for (int tick = 0; tick < 3000; ++tick) {
    // Hold the bank with the roll keys; with the pitch keys, hold the pitch
    // rate of a level turn, corrected by the climb or sink rate.
    s.RollInput = s.Own.Bank < 59 ? 1 : (s.Own.Bank > 61 ? -1 : 0);
    const double wantedRate = kTurnRate * vehicle::SinDeg(s.Own.Bank) + kSinkGain * s.Own.VZ;
    const double rateError = wantedRate - s.PitchRate;
    s.PitchInput = rateError > kRateDeadBand ? 1 : (rateError < -kRateDeadBand ? -1 : 0);
    const float before = s.Own.Heading;
    pilot::ControlStep(s, 0, 0, kTick);
    turned += vehicle::Normalise180(s.Own.Heading - before);
  }
  EXPECT_NEAR(s.Own.Z, -3000, kAltitudeBand);
  EXPECT_GT(vehicle::GroundSpeed(s.Own), 0.75 * kSpeed) << "the engine holds the speed";
  EXPECT_GT(turned, 0.75 * kTurnRate * 30) << "the fighter turns right";
}

TEST_F(VehicleTypesTest, CarTopsOutNearItsRoadSpeed) {
  // Full throttle (6 m/s²) against the power fade 6·(v/50)², drag and
  // rolling resistance: v² (6/2500 + Drag) = 6 - 0.1.
  constexpr double kRollingResistance = 0.1;  // m/s²
  constexpr double kSpeedTol = 0.05;          // m/s: still creeping up after 120 s
  Place(20);
  s.ThrottleMax = 6;
  s.Throttle = 6;
  for (int tick = 0; tick < 12000; ++tick) pilot::ControlStep(s, 0, 0, kTick);
  const double top = std::sqrt((6 - kRollingResistance) / (6.0 / 2500 + Form().Drag));
  EXPECT_NEAR(vehicle::GroundSpeed(s.Own), top, kSpeedTol);
  EXPECT_GT(top * units::kKmhPerMetrePerSecond, 130);
  EXPECT_LT(top * units::kKmhPerMetrePerSecond, 160);
}

}  // namespace
}  // namespace velmora::testing
