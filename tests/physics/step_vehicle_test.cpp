#include "physics/step_vehicle.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"
#include "vehicle/range_fault.h"
#include "vehicle/units.h"

namespace velmora::physics {
namespace {

using testing::kAirlinerGearDown;
using testing::kAirlinerGearUp;
using testing::kCar;
using testing::kFreeBody;
using vehicle::TVehicleState;

constexpr double kDt = 0.01;            // s: one sub-step
constexpr double kVelocityTol = 1e-12;  // m/s: rounding of a handful of operations
constexpr double kAccelTol = 1e-9;      // m/s²: rounding divided by one sub-step

class StepVehicleTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::FillTestForms(state); }

  // A remote vehicle (not the own record) of the given kind and type.
  TVehicleState& Remote(int32_t kind, int32_t formNo) {
    return testing::Vehicle(kind, formNo).User(2).OnWheels(state).AsRemote(state, 0);
  }

  state::TMainState state;
};

TEST_F(StepVehicleTest, AFreeBodyKeepsItsVelocity) {
  TVehicleState& v = Remote(vehicle::kKindNoGravity, kFreeBody);
  v.Z = -100;
  v.VX = 3;
  v.VY = -4;
  v.VZ = -1.5;  // climbing: no gravity pulls it back
  for (int i = 0; i < 1000; ++i) StepVehicle(state, v, kDt, 0, 0);
  EXPECT_EQ(v.VX, 3);
  EXPECT_EQ(v.VY, -4);
  EXPECT_EQ(v.VZ, -1.5);
  // Ten seconds along the velocity, within the position grid.
  constexpr double kGridTol = 1000 * 2.0 / 32768;  // m: one grid step lost per step at most
  EXPECT_NEAR(v.X, 30, kGridTol);
  EXPECT_NEAR(v.Y, -40, kGridTol);
  EXPECT_NEAR(v.Z, -115, kGridTol);
}

TEST_F(StepVehicleTest, ZeroTimeStepLeavesTheVelocity) {
  TVehicleState& v = Remote(vehicle::kKindAircraft, kAirlinerGearUp);
  v.Z = -1000;
  v.VY = 120;
  v.VZ = 3;
  v.Pitch = 5;
  StepVehicle(state, v, 0, 2, 3);
  EXPECT_EQ(v.VY, 120);
  EXPECT_EQ(v.VZ, 3);
  EXPECT_EQ(v.VX, 0);
  EXPECT_EQ(v.Pitch, 5);  // rate limits are zero
  EXPECT_EQ(v.Z, -1000);
}

TEST_F(StepVehicleTest, BrakingStopsExactlyAndNeverReverses) {
  // A car braking at 7 m/s² (6.9 and the rolling resistance) from 14 m/s.
  TVehicleState& v = Remote(vehicle::kKindRoad, kCar);
  state.Forms[kCar].Drag = 0;
  v.VY = 14;
  int steps = 0;
  while (vehicle::GroundSpeed(v) > 0 && steps < 1000) {
    StepVehicle(state, v, kDt, 6.9, 0);
    ++steps;
  }
  // 2 s of braking, give or take the rounding of the last step.
  EXPECT_GE(steps, 200);
  EXPECT_LE(steps, 201);
  EXPECT_EQ(vehicle::GroundSpeed(v), 0);
  for (int i = 0; i < 100; ++i) StepVehicle(state, v, kDt, 6.9, 0);
  EXPECT_EQ(v.VX, 0);
  EXPECT_EQ(v.VY, 0);
  constexpr double kStopTol = 0.2;  // m: 14²/(2·7) = 14 m, to within the last steps
  EXPECT_NEAR(v.Y, 14, kStopTol);
}

TEST_F(StepVehicleTest, AtRestWithBrakeAtLeastThrustStaysAtRest) {
  struct Case {
    double brake, thrust;
  } cases[] = {{2, 1}, {1, 1}, {0.5, 0.3}, {3, -2}};
  for (const Case& c : cases) {
    TVehicleState& v = Remote(vehicle::kKindRoad, kCar);
    for (int i = 0; i < 50; ++i) StepVehicle(state, v, kDt, c.brake, c.thrust);
    EXPECT_EQ(v.VX, 0) << c.brake << " vs " << c.thrust;
    EXPECT_EQ(v.VY, 0) << c.brake << " vs " << c.thrust;
    EXPECT_EQ(v.Y, 0) << c.brake << " vs " << c.thrust;
  }
  // Thrust beyond the brake (and the rolling resistance) moves it.
  TVehicleState& v = Remote(vehicle::kKindRoad, kCar);
  StepVehicle(state, v, kDt, 1, 2);
  EXPECT_NEAR(v.VY, (2 - 1 - 0.1) * kDt, kVelocityTol);
}

TEST_F(StepVehicleTest, RemoteOnTheGroundRollsToAStop) {
  // Only the rolling resistance of 0.1 m/s² acts: 1 m/s stops in 10 s.
  TVehicleState& v = Remote(vehicle::kKindRoad, kCar);
  state.Forms[kCar].Drag = 0;
  v.VY = 1;
  for (int i = 0; i < 999; ++i) StepVehicle(state, v, kDt, 0, 0);
  EXPECT_GT(v.VY, 0);
  StepVehicle(state, v, kDt, 0, 0);
  StepVehicle(state, v, kDt, 0, 0);
  EXPECT_EQ(v.VY, 0);
}

TEST_F(StepVehicleTest, RoadThrustFadesWithSpeedEitherWay) {
  state.Forms[kCar].Drag = 0;
  struct Case {
    double speed, expectedAccel;
  } cases[] = {
      {0.0, 6 - 0.1},
      {25, 6 - 6 * 0.25 - 0.1},
      {-25, 6 - 6 * 0.25 + 0.1},  // reversing: the rolling resistance opposes backward motion
      {50, -0.1},                 // no thrust left at 50·√(6/6)
      {60, -0.1},
  };
  for (const Case& c : cases) {
    TVehicleState& v = Remote(vehicle::kKindRoad, kCar);
    v.VY = c.speed;
    StepVehicle(state, v, kDt, 0, 6);
    EXPECT_NEAR((v.VY - c.speed) / kDt, c.expectedAccel, kAccelTol) << c.speed;
  }
}

TEST_F(StepVehicleTest, GearDownAddsItsDrag) {
  // Level flight north at 100 m/s, 1000 m up; no lift so only drag acts along.
  state.Forms[kAirlinerGearUp].Lift = 0;
  state.Forms[kAirlinerGearDown].Lift = 0;
  double along[2];
  for (int formNo : {kAirlinerGearUp, kAirlinerGearDown}) {
    TVehicleState& v = Remote(vehicle::kKindAircraft, formNo);
    v.Z = -1000;
    v.VY = 100;
    StepVehicle(state, v, kDt, 0, 0);
    along[formNo - kAirlinerGearUp] = (v.VY - 100) / kDt;
  }
  const double sigma = vehicle::DensityRatio(1000);
  const double drag = state.Forms[kAirlinerGearUp].Drag;
  EXPECT_NEAR(along[0], -drag * sigma * 100 * 100, kAccelTol);
  EXPECT_NEAR(along[0] - along[1], drag * sigma * 0.381 * 100 * 100, kAccelTol);
}

TEST_F(StepVehicleTest, StallBeyondFifteenDegrees) {
  // Level attitude heading north, descending so that the angle of attack is α.
  state.Forms[kAirlinerGearUp].Drag = 0;
  const auto upwardAccel = [&](double alpha) {
    TVehicleState& v = Remote(vehicle::kKindAircraft, kAirlinerGearUp);
    v.Z = -1000;
    v.VY = 100 * vehicle::CosDeg(alpha);
    v.VZ = 100 * vehicle::SinDeg(alpha);
    const double vz0 = v.VZ;
    StepVehicle(state, v, kDt, 0, 0);
    return -(v.VZ - vz0) / kDt + units::kGravity;
  };
  const auto& form = state.Forms[kAirlinerGearUp];
  const double sigma = vehicle::DensityRatio(1000);
  const double linear = form.Lift * sigma * (1 - 14.9999 / form.ZeroLiftAngle) * 100 * 100;
  // Below the stall the lift acts along body up (level attitude: straight up).
  EXPECT_NEAR(upwardAccel(14.9999), linear, 1e-6);
  // Beyond it the lift keeps only sin²α of itself; the rest turns into drag.
  const double stalledLift = form.Lift * sigma * (1 - 15.0001 / form.ZeroLiftAngle) * 1e4 *
                             std::pow(vehicle::SinDeg(15.0001), 2);
  EXPECT_NEAR(upwardAccel(15.0001), stalledLift, 1e-6);
  EXPECT_LT(upwardAccel(15.0001), linear / 10);
}

TEST_F(StepVehicleTest, GroundContactCatchesGentleDescentsOnly) {
  struct Case {
    int32_t kind, formNo;
    float bank;
    double vz;
    bool caught;
  } cases[] = {
      {vehicle::kKindNoGravity, kFreeBody, 0, 4.0, true},
      {vehicle::kKindNoGravity, kFreeBody, 0, 4.01, false},
      {vehicle::kKindAircraft, kAirlinerGearUp, 0, 1.0, false},  // gear up: never caught
      {vehicle::kKindAircraft, kAirlinerGearDown, 0, 1.0, true},
      {vehicle::kKindAircraft, kAirlinerGearDown, 95, 1.0, false},  // banked beyond 90
      {vehicle::kKindRoad, kCar, 0, 2.0, true},
  };
  for (const Case& c : cases) {
    state.Forms[c.formNo].Lift = 0;
    state.Forms[c.formNo].Drag = 0;
    TVehicleState& v = Remote(c.kind, c.formNo);
    const double restZ = state.Forms[c.formNo].RestZ;
    v.Z = restZ - 0.001;
    v.VZ = c.vz;
    v.Bank = c.bank;
    v.Pitch = -2;
    StepVehicle(state, v, kDt, 0, 0);
    if (c.caught) {
      EXPECT_EQ(v.Z, restZ) << c.formNo << " at " << c.vz;
      EXPECT_EQ(v.VZ, 0) << c.formNo << " at " << c.vz;
      EXPECT_EQ(v.Pitch, 0) << "a negative pitch levels on contact";
    } else {
      EXPECT_GT(v.Z, restZ) << c.formNo << " at " << c.vz;
      EXPECT_GT(v.VZ, 0) << c.formNo << " at " << c.vz;
    }
  }
}

TEST_F(StepVehicleTest, TouchdownOfTheOwnVehicleIsRegisteredOnce) {
  state.Forms[kAirlinerGearDown].Lift = 0;
  state.Forms[kAirlinerGearDown].Drag = 0;
  testing::PlaceOwn(state, vehicle::kKindAircraft, kAirlinerGearDown);
  TVehicleState& own = state.Own;
  own.Z = -5.02;  // 2 cm above the rest height
  own.VZ = 2;
  own.VY = 70;
  own.Pitch = 3;
  own.Bank = -2;
  state.GuidanceMode = 4;
  StepVehicle(state, own, kDt, 0, 0);
  ASSERT_EQ(own.Z, -5);
  EXPECT_EQ(state.Brake, 1);
  EXPECT_EQ(state.GuidanceMode, 0);
  // Both rates turn the attitude back towards level, in proportion to the descent.
  const double vz = 2 + units::kGravity * kDt;
  EXPECT_NEAR(state.PitchRate, -0.2 * vz, kVelocityTol);
  EXPECT_NEAR(state.RollRate, vz, kVelocityTol);

  // Rolling on: no second touchdown.
  state.PitchRate = 0;
  state.RollRate = 0;
  state.Brake = 0;
  for (int i = 0; i < 10; ++i) StepVehicle(state, own, kDt, 0, 0);
  EXPECT_EQ(state.PitchRate, 0);
  EXPECT_EQ(state.Brake, 0);

  // A remote vehicle landing registers nothing.
  TVehicleState& remote = Remote(vehicle::kKindAircraft, kAirlinerGearDown);
  remote.Z = -5.02;
  remote.VZ = 2;
  StepVehicle(state, remote, kDt, 0, 0);
  EXPECT_EQ(remote.Z, -5);
  EXPECT_EQ(state.Brake, 0);
}

TEST_F(StepVehicleTest, GroundRollKeepsTheVelocityOnTheHeadingLine) {
  struct Case {
    float heading;
    double vx, vy;
    double expectedAlong;  // signed speed along the heading after the step
  } cases[] = {
      {90, 3, 4, 5},     // moving north-east, pointing east: turned onto east
      {0, 0, -10, -10},  // rolling backwards keeps going backwards
      {45, -3, -4, -5},
  };
  state.Forms[kCar].Drag = 0;
  for (const Case& c : cases) {
    TVehicleState& v = Remote(vehicle::kKindRoad, kCar);
    v.Heading = c.heading;
    v.VX = c.vx;
    v.VY = c.vy;
    StepVehicle(state, v, 0, 0, 0);
    EXPECT_NEAR(v.VX, vehicle::SinDeg(c.heading) * c.expectedAlong, kVelocityTol);
    EXPECT_NEAR(v.VY, vehicle::CosDeg(c.heading) * c.expectedAlong, kVelocityTol);
  }
}

TEST_F(StepVehicleTest, BankedAircraftTurnsAtMostNinetyDegreesPerSecond) {
  // General law: a fighter banked 60° with its velocity along the nose
  // turns right as lift pulls it round.
  TVehicleState& v = Remote(vehicle::kKindAircraft, testing::kFighterGearUp);
  v.Z = -3000;
  v.VY = 200;
  v.Bank = 60;
  double previous = v.Heading;
  for (int i = 0; i < 100; ++i) {
    StepVehicle(state, v, kDt, 0, 0);
    const double turn = vehicle::Normalise180(v.Heading - previous);
    EXPECT_LE(std::fabs(turn), 90 * kDt + 1e-4);
    previous = v.Heading;
  }
  EXPECT_GT(vehicle::Normalise180(v.Heading), 1.0);  // turned right
}

TEST_F(StepVehicleTest, UnknownTypeIsARangeFault) {
  TVehicleState& v = Remote(vehicle::kKindRoad, kCar);
  v.FormNo = 0;
  EXPECT_THROW(StepVehicle(state, v, kDt, 0, 0), vehicle::RangeFault);
  v.FormNo = 101;
  EXPECT_THROW(StepVehicle(state, v, kDt, 0, 0), vehicle::RangeFault);
}

}  // namespace
}  // namespace velmora::physics
