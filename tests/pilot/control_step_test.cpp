#include "pilot/control_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pilot/crew.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::pilot {
namespace {

using namespace vehicle;  // records, kinds and geometry helpers

using testing::kAirlinerGearDown;
using testing::kAirlinerGearUp;
using testing::kCar;

constexpr double kDt = 0.01;           // s: one sub-step
constexpr double kRateTol = 1e-9;      // deg/s: rounding of a few sub-steps
constexpr double kAngleTol = 1e-4;     // deg: attitude angles are stored as float

class ControlStepTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::FillTestForms(s); }

  // The own airliner in level flight north at 100 m/s, 1000 m up. Frozen, so
  // only the control channels move it.
  void FlyAirliner() {
    testing::PlaceOwn(s, kKindAircraft, kAirlinerGearUp);
    s.Own.Z = -1000;
    s.Own.VY = 100;
    s.Freeze = 1;
    s.Start.Kind = kKindAircraft;  // a server mission: no crash tests
  }

  state::TMainState s;
};

// The stall warning of any aircraft (the fighter has no crew) at its limits: in flight below
// the floor it calls at once and every 5 s; on the wheels, or 5 % above the floor, it ends.
TEST_F(ControlStepTest, TheStallWarningCallsInFlightBelowTheFloorEveryFiveSeconds) {
  constexpr double e = 1e-9;  // a relative step either side of a limit
  // m above the wheels' rest, airspeed of the floor, on before, ms since its call: on, called
  const double rows[][6] = {{9, 1 + e, 0, 0, 0, 0},       {9, 1 - e, 0, 0, 1, 1},
                            {0, 0.5, 0, 0, 0, 0},         {0.01, 0.5, 0, 0, 1, 1},
                            {9, 1 - e, 1, 4999, 1, 0},    {9, 1 - e, 1, 5000, 1, 1},
                            {9, 1.05 - e, 1, 6000, 1, 1}, {9, 1.05 + e, 1, 6000, 0, 0}};
  for (const auto& r : rows) {
    FlyAirliner();
    s.Own.FormNo = testing::kFighterGearDown;
    s.Own.Z = s.Forms[s.Own.FormNo].RestZ - r[0];
    s.Own.VY = r[1] * AirspeedFloor(s.Own, s.Forms[s.Own.FormNo]);
    s.StallWarning = r[2] != 0;
    s.StallCallTime = s.ClockNow - static_cast<uint32_t>(r[3]);
    s.MessageLog.clear();
    ControlStep(s, 0, 0, kDt);
    EXPECT_EQ(s.StallWarning, r[4]) << r[0] << " m, " << r[1];
    EXPECT_EQ(s.MessageLog,
              std::vector<std::string>(static_cast<std::size_t>(r[5]), "失速警報> Stall."));
  }
}

TEST_F(ControlStepTest, WithoutInputNothingRotates) {
  FlyAirliner();
  s.Own.Pitch = 2;
  s.Own.Bank = -3;
  s.Own.Heading = 45;
  for (int i = 0; i < 10; ++i) ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.PitchRate, 0);
  EXPECT_EQ(s.RollRate, 0);
  EXPECT_EQ(s.Own.Pitch, 2);
  EXPECT_EQ(s.Own.Bank, -3);
  EXPECT_EQ(s.Own.Heading, 45);
}

TEST_F(ControlStepTest, ReleasedPitchRateDecaysToZero) {
  FlyAirliner();
  s.PitchRate = 1;  // deg/s; decays by 0.002·uF² ≈ 20 deg/s²
  // The nose moves a little, so the airspeed along it drops by a few parts in 1e8.
  constexpr double kDecayTol = 1e-6;  // deg/s
  for (double rate : {0.8, 0.6, 0.4, 0.2, 0.0}) {
    ControlStep(s, 0, 0, kDt);
    EXPECT_NEAR(s.PitchRate, rate, kDecayTol);
  }
  ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.PitchRate, 0);  // the stop test ends the decay exactly
}

TEST_F(ControlStepTest, HoldingDownStopsTheNoseAtTwelveDegreesAngleOfAttack) {
  FlyAirliner();
  s.PitchInput = 1;
  double maxPitch = 0;
  for (int i = 0; i < 500; ++i) {
    ControlStep(s, 0, 0, kDt);
    maxPitch = std::max(maxPitch, static_cast<double>(s.Own.Pitch));
  }
  // Frozen, the airflow stays level: the angle of attack is the pitch.
  EXPECT_NEAR(s.Own.Pitch, 12, kAngleTol);
  EXPECT_LE(maxPitch, 12 + kAngleTol);
}

TEST_F(ControlStepTest, StickSetsTheRateLimit) {
  FlyAirliner();
  // Half stick right: the roll rate builds at 0.004·100² = 40 deg/s² up to
  // half of that per second.
  for (int i = 0; i < 200; ++i) ControlStep(s, 0.5, 0, kDt);
  EXPECT_NEAR(s.RollRate, 20, kRateTol);
  EXPECT_GT(s.Own.Bank, 10);
}

TEST_F(ControlStepTest, OnTheGroundTheNoseCannotGoBelowLevel) {
  testing::PlaceOwn(s, kKindAircraft, kAirlinerGearDown);
  s.Own.VY = 20;
  s.Start.Kind = kKindAircraft;
  s.PitchInput = -1;  // Up key: nose down
  for (int i = 0; i < 100; ++i) ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.Own.Pitch, 0);
  EXPECT_EQ(s.PitchRate, 0);
}

TEST_F(ControlStepTest, SteeringLimitsShrinkWithTheSquareOfSpeed) {
  struct Case {
    int32_t kind, formNo;
    double speed, limit;  // m/s, deg
  } cases[] = {
      {kKindAircraft, kAirlinerGearDown, 5, 1675.0 / 25},
      {kKindAircraft, kAirlinerGearDown, 50, 1675.0 / 2500},
      {kKindRoad, kCar, 5, 1125.0 / 25},
      {kKindRoad, kCar, 50, 1125.0 / 2500},
      {kKindRoad, kCar, 2, 1125.0 / 25},  // below 5 m/s the limit stays
  };
  for (const Case& c : cases) {
    testing::PlaceOwn(s, c.kind, c.formNo);
    s.Start.Kind = c.kind;
    s.Freeze = 1;  // keeps the speed
    s.Steer = 0;
    s.Own.VY = c.speed;
    s.RollInput = 1;
    for (int i = 0; i < 1000; ++i) ControlStep(s, 0, 0, kDt);
    constexpr double kSteerTol = 1e-12;  // deg per deg of limit: the speed's rounding
    EXPECT_NEAR(s.Steer, c.limit, kSteerTol * c.limit) << c.formNo << " at " << c.speed;
    // The joystick sets the angle directly as a share of the limit.
    ControlStep(s, -0.5, 0, kDt);
    EXPECT_NEAR(s.Steer, -0.5 * c.limit, kSteerTol * c.limit) << c.formNo << " at " << c.speed;
  }
}

TEST_F(ControlStepTest, SteeringTurnsTheHeadingByTheWheelbase) {
  testing::PlaceOwn(s, kKindRoad, kCar);
  s.Start.Kind = kKindRoad;
  s.Freeze = 1;
  s.Own.VY = 10;
  s.Steer = 10;
  ControlStep(s, 0, 0, kDt);
  // V·tan(steer)/wheelbase rad/s for one sub-step.
  const double expected = kDt * 10 * std::tan(10 * units::kRadiansPerDegree) / 2.6 *
                          units::kDegreesPerRadian;
  EXPECT_NEAR(s.Own.Heading, expected, kAngleTol);
  // The Up key centres the wheel.
  s.PitchInput = -1;
  for (int i = 0; i < 100; ++i) ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.Steer, 0);
}

TEST_F(ControlStepTest, GearSwitchesTheTypeHalfWay) {
  FlyAirliner();
  s.Gear = 0;
  s.GearSet = 1;
  for (int i = 0; i < 495; ++i) ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.Own.FormNo, kAirlinerGearUp) << "gear at " << s.Gear;
  for (int i = 0; i < 10; ++i) ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.Own.FormNo, kAirlinerGearDown) << "gear at " << s.Gear;  // after 5 s
  for (int i = 0; i < 600; ++i) ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.Gear, 1);
  s.GearSet = 0;
  for (int i = 0; i < 505; ++i) ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.Own.FormNo, kAirlinerGearUp);
  // Flaps follow their setting at 1.2 deg/s and stop on it.
  s.FlapSet = 1;
  for (int i = 0; i < 50; ++i) ControlStep(s, 0, 0, kDt);
  EXPECT_NEAR(s.Own.Flap, 0.6, 1e-12);
  for (int i = 0; i < 100; ++i) ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.Own.Flap, 1);
}

TEST_F(ControlStepTest, BrakeTable) {
  struct Case {
    int32_t kind, formNo;
    uint8_t brake, emergency;
    double deceleration;  // m/s², the rolling resistance included
  } cases[] = {
      {kKindRoad, kCar, 1, 0, 7.0 + 0.1},
      {kKindAircraft, kAirlinerGearDown, 1, 0, 2.2 + 0.1},
      {kKindTrain, testing::kTrain, 1, 0, 35.0 / 36.0},  // the own train rolls freely
      {kKindRoad, kCar, 0, 1, 1.25 + 0.1},
      {kKindRoad, kCar, 1, 1, 1.25 + 0.1},  // the emergency brake comes first
  };
  for (const Case& c : cases) {
    testing::PlaceOwn(s, c.kind, c.formNo);
    s.Forms[c.formNo].Drag = 0;
    s.Forms[c.formNo].Lift = 0;
    s.Start.Kind = c.kind;
    s.Freeze = 0;
    s.Own.VY = 10;
    s.Throttle = 3;
    s.ThrottleMax = 6;
    s.Brake = c.brake;
    s.EmergencyBrake = c.emergency;
    ControlStep(s, 0, 0, kDt);
    EXPECT_EQ(s.Throttle, 0) << c.formNo;
    EXPECT_NEAR((10 - s.Own.VY) / kDt, c.deceleration, 1e-9) << c.formNo;
  }
  // Without brakes the throttle moves at its rate within 0..ThrottleMax.
  s.Brake = 0;
  s.EmergencyBrake = 0;
  s.ThrottleRate = 100;
  ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.Throttle, 1);
  s.ThrottleRate = 1000;
  ControlStep(s, 0, 0, kDt);
  EXPECT_EQ(s.Throttle, 6);
}

TEST_F(ControlStepTest, CrashTestsInPracticeMode) {
  struct Case {
    int32_t formNo;
    double z;
    float pitch, bank;
    double vz;
    const char* message;  // nullptr: no crash
  } cases[] = {
      {kAirlinerGearDown, -5, 0, 0, 0, nullptr},  // standing on its wheels
      {kAirlinerGearDown, -5, 10, 0, 0, nullptr},  // rotating for take-off
      {kAirlinerGearDown, -5, 0, 30, 0, "教官> 翼が地面に接触した。"},
      {kAirlinerGearDown, -5, 15, 0, 0, "教官> 胴体末端が地面に接触した。"},
      {kAirlinerGearUp, -2, 0, 0, 0, "教官> エンジンが地面に接触した。"},
      {kAirlinerGearDown, -5, 0, 0, 5, "教官> 降下速度が大きく、主脚が破損した。"},
      // Nose down and too fast for the ground to catch: the nose gear hits first.
      {kAirlinerGearDown, -4.9, -1, 0, 4.5, "教官> 前側から接地し、前脚が破損した。"},
  };
  for (const Case& c : cases) {
    testing::PlaceOwn(s, kKindAircraft, c.formNo);
    s.Start = vehicle::TVehicleState{};  // practice mode
    s.Freeze = 1;
    s.Own.Z = c.z;
    s.Own.Pitch = c.pitch;
    s.Own.Bank = c.bank;
    s.Own.VZ = c.vz;
    s.Own.VY = 70;  // landing speed: the angle of attack stays small
    s.PitchRate = s.RollRate = 0;
    const auto message = ControlStep(s, 0, 0, kDt);
    if (c.message) {
      ASSERT_TRUE(message) << c.message;
      EXPECT_EQ(*message, c.message) << "z " << c.z << " pitch " << c.pitch;
    } else {
      EXPECT_FALSE(message) << *message;
    }
    // A server mission makes no crash tests.
    testing::PlaceOwn(s, kKindAircraft, c.formNo);
    s.Own.Z = c.z;
    s.Own.Pitch = c.pitch;
    s.Own.Bank = c.bank;
    s.Own.VZ = c.vz;
    s.Start.Kind = kKindAircraft;
    EXPECT_FALSE(ControlStep(s, 0, 0, kDt));
  }
}

TEST_F(ControlStepTest, TheLandingRollHearsNoTakeOffCallUntilTheAircraftStands) {
  // The airliner flares onto the runway at 136 kt, 1 cm above its wheels.
  constexpr double kKnots = units::kKnotsPerMetrePerSecond;
  testing::PlaceOwn(s, kKindAircraft, kAirlinerGearDown);
  s.Start.Kind = kKindAircraft;  // a server mission: no crash tests
  s.Own.Z = -5.01;
  s.Own.VY = 136 / kKnots;
  s.Own.VZ = 1;
  s.Own.Pitch = 3;
  s.ThrottleMax = 3.9;
  s.GuidanceMode = kModeManualLanding;
  s.LastAirspeed = s.Own.VY * CosDeg(3);
  ControlStep(s, 0, 0, kDt);
  ASSERT_EQ(s.GuidanceMode, 0) << "touched down";
  ASSERT_EQ(s.Brake, 1);
  const auto takeOffCalls = [&] {
    int n = 0;
    for (const std::string& line : s.MessageLog) {
      for (const char* call : {"機長> 80.", "機長> V（ヴィーーーー）.", "機長> 1（ワン）.",
                               "機長> VR（ヴィアール）.", "機長> V2（ヴィツー）."}) {
        n += line == call ? 1 : 0;
      }
    }
    return n;
  };
  // A gust of 5 m/s on the nose lifts the airspeed through 140 kt; the roll
  // goes on to a stop under the brake.
  s.WindY = -5;
  for (int i = 0; i < 10000 && std::hypot(s.Own.VX, s.Own.VY) > 0; ++i) ControlStep(s, 0, 0, kDt);
  ASSERT_LT(std::hypot(s.Own.VX, s.Own.VY), 0.01) << "standing";
  EXPECT_EQ(takeOffCalls(), 0) << s.MessageLog.front();
  // Standing, the next run is a take-off: 80 kt is called.
  ControlStep(s, 0, 0, kDt);
  s.Brake = 0;
  s.Throttle = 3.9;
  for (int i = 0; i < 10000 && AirData(s.Own, s.WindX, s.WindY).Forward * kKnots < 90; ++i) {
    ControlStep(s, 0, 0, kDt);
  }
  EXPECT_EQ(s.MessageLog.back(), "機長> 80.");
  EXPECT_EQ(takeOffCalls(), 1);
}

TEST_F(ControlStepTest, OffsetShiftKeepsAbsolutePositions) {
  s.Own.X = 50000;
  s.Own.Y = -50000.5;
  s.Remote[0].UserNo = 5;
  s.Remote[0].X = 49000;
  s.Remote[0].Y = -1000;
  s.Remote[1].UserNo = 6;
  s.Remote[1].X = 51000;
  s.Remote[2].X = 7;  // behind the end of the list: untouched
  ShiftWorldOffset(s);
  EXPECT_EQ(s.Own.X, -50000);
  EXPECT_EQ(s.Own.Y, 49999.5);
  EXPECT_EQ(s.OriginX, 100000);
  EXPECT_EQ(s.OriginY, -100000);
  EXPECT_EQ(s.Remote[0].X + s.OriginX, 49000);
  EXPECT_EQ(s.Remote[0].Y + s.OriginY, -1000);
  EXPECT_EQ(s.Remote[1].X + s.OriginX, 51000);
  EXPECT_EQ(s.Remote[2].X, 7);
  ShiftWorldOffset(s);  // inside the limits now: nothing moves
  EXPECT_EQ(s.OriginX, 100000);
}

TEST_F(ControlStepTest, TrimThrottleHoldsTheSpeed) {
  // A car at 20 m/s on a flat road: drag, rolling resistance and the power law.
  testing::PlaceOwn(s, kKindRoad, kCar);
  s.Own.VY = 20;
  const double trim = TrimThrottle(s, s.Own);
  const double sigma = DensityRatio(0.6);
  EXPECT_NEAR(trim, sigma * s.Forms[kCar].Drag * 400 + 0.1 + 6 * 0.16, 1e-12);
  EXPECT_EQ(s.Throttle, trim);
  s.ThrottleMax = 100;
  s.Start.Kind = kKindRoad;
  ControlStep(s, 0, 0, kDt);
  constexpr double kHoldTol = 1e-9;  // m/s: the trim balances the forces exactly
  EXPECT_NEAR(s.Own.VY, 20, kHoldTol);
  // Standing still on the ground needs no thrust.
  s.Own.VY = 0;
  EXPECT_EQ(TrimThrottle(s, s.Own), 0);
}

TEST_F(ControlStepTest, NoVehicleNoStep) {
  s.Own.Kind = 0;
  s.Own.FormNo = 10;
  s.Throttle = 1;
  s.ThrottleRate = 1;
  EXPECT_FALSE(ControlStep(s, 1, 1, kDt));
  EXPECT_EQ(s.Throttle, 1);
}

}  // namespace
}  // namespace velmora::pilot
