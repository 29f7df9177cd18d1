#include "renderer/view_math.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora::renderer {
namespace {

constexpr double kUnitTol = 1e-6;   // unit vectors: single-precision angles
constexpr double kMetreTol = 1e-4;  // m: single-precision matrices on 100 m scenes

DXVehicleRecord Record(double x, double y, double z, float heading, float pitch, float bank) {
  DXVehicleRecord record{};
  record.X = x;
  record.Y = y;
  record.Z = z;
  record.Heading = heading;
  record.Pitch = pitch;
  record.Bank = bank;
  return record;
}

void ExpectVector(const TVector3& v, double x, double y, double z) {
  EXPECT_NEAR(v.X, x, kUnitTol);
  EXPECT_NEAR(v.Y, y, kUnitTol);
  EXPECT_NEAR(v.Z, z, kUnitTol);
}

TEST(ViewMath, FrameVectorsOfTheCamera) {
  const double s30 = 0.5;
  const double c30 = std::sqrt(3.0) / 2;
  struct Case {
    const char* name;
    float heading, pitch, roll;
    TVector3 forward, up;
  } cases[] = {
      {"level north", 0, 0, 0, {0, 1, 0}, {0, 0, -1}},
      {"heading 90 looks east", 90, 0, 0, {1, 0, 0}, {0, 0, -1}},
      {"pitch 30 up tilts up backwards", 0, 30, 0, {0, c30, -s30}, {0, -s30, -c30}},
      {"roll 30 tilts up towards the right wing", 0, 0, 30, {0, 1, 0}, {s30, 0, -c30}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectVector(FrameVector(c.heading, c.pitch, c.roll, 0, 1), c.forward.X, c.forward.Y,
                 c.forward.Z);
    ExpectVector(FrameVector(c.heading, c.pitch, c.roll, 1, 0), c.up.X, c.up.Y, c.up.Z);
  }
}

TEST(ViewMath, CameraAtHeading90HasNorthOnItsLeft) {
  const TMatrix viewProjection =
      CameraViewProjection(Record(0, 0, 0, 90, 0, 0), 90, 1.0, TDepthConvention::Reversed);
  // A point 10 m east lies ahead at the centre; one 10 m east and 10 m north
  // lies on the left edge of a 90-degree view (x / w = -1).
  const auto ahead = Transform(viewProjection, 10, 0, 0);
  EXPECT_NEAR(ahead[0] / ahead[3], 0, kUnitTol);
  EXPECT_NEAR(ahead[1] / ahead[3], 0, kUnitTol);
  EXPECT_NEAR(ahead[3], 10, kMetreTol);
  const auto leftEdge = Transform(viewProjection, 10, 10, 0);
  EXPECT_NEAR(leftEdge[0] / leftEdge[3], -1, kUnitTol);
  // Up (negative z) is the top of the picture, which is the first row read
  // back: clip y is negative there.
  const auto above = Transform(viewProjection, 10, 0, -10);
  EXPECT_NEAR(above[1] / above[3], -1, kUnitTol);
}

TEST(ViewMath, ReversedDepthPutsNearAtOneAndFarAtZero) {
  const TMatrix projection = PerspectiveLH(M_PI / 2, 1.0, kNearPlane, kFarPlane,
                                           TDepthConvention::Reversed);
  const auto nearPoint = Transform(projection, 0, 0, kNearPlane);
  const auto farPoint = Transform(projection, 0, 0, kFarPlane);
  EXPECT_NEAR(nearPoint[2] / nearPoint[3], 1, kUnitTol);
  EXPECT_NEAR(farPoint[2] / farPoint[3], 0, kUnitTol);
  const TMatrix conventional = PerspectiveLH(M_PI / 2, 1.0, kNearPlane, kFarPlane,
                                             TDepthConvention::Conventional);
  const auto nearConventional = Transform(conventional, 0, 0, kNearPlane);
  EXPECT_NEAR(nearConventional[2] / nearConventional[3], -1, kUnitTol);
}

TEST(ViewMath, VehicleWorldTurnsModelAxesOntoTheWorld) {
  // Model axes: x right, y up, z forward. A point 1 m forward of a vehicle at
  // (100, 200, -5) heading 90 lies 1 m east of it; 1 m up lies at z - 1.
  struct Case {
    const char* name;
    float heading, pitch, bank;
    double mx, my, mz;        // model point
    double wx, wy, wz;        // expected offset from the vehicle, world axes
  } cases[] = {
      {"forward at heading 0 is north", 0, 0, 0, 0, 0, 1, 0, 1, 0},
      {"up is negative z", 0, 0, 0, 0, 1, 0, 0, 0, -1},
      {"right at heading 0 is east", 0, 0, 0, 1, 0, 0, 1, 0, 0},
      {"forward at heading 90 is east", 90, 0, 0, 0, 0, 1, 1, 0, 0},
      {"forward at pitch 30 climbs", 0, 30, 0, 0, 0, 1, 0, std::sqrt(3.0) / 2, -0.5},
      {"right wing at bank 30 goes down", 0, 0, 30, 1, 0, 0, std::sqrt(3.0) / 2, 0, 0.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TMatrix world = VehicleWorld(Record(100, 200, -5, c.heading, c.pitch, c.bank));
    const auto p = Transform(world, c.mx, c.my, c.mz);
    EXPECT_NEAR(p[0] - 100, c.wx, kMetreTol);
    EXPECT_NEAR(p[1] - 200, c.wy, kMetreTol);
    EXPECT_NEAR(p[2] + 5, c.wz, kMetreTol);
  }
}

TEST(ViewMath, FineMeshUpToTheSwitchDistanceTimesTheFieldOfView) {
  const DXVehicleRecord camera = Record(0, 0, 0, 0, 0, 0);
  // Field of view 180/pi degrees is about 1 radian: the switch is at the
  // switch distance itself.
  const float fieldOfView = 57.29578f;
  const float zoom = (fieldOfView * kDegreesToRadians) * (fieldOfView * kDegreesToRadians);
  const DXVehicleRecord near = Record(0, 100, 0, 0, 0, 0);
  const float switchValue = 10000.0f * zoom;  // d^2 k exactly
  EXPECT_TRUE(UseFineMesh(camera, near, fieldOfView, switchValue));
  EXPECT_FALSE(UseFineMesh(camera, near, fieldOfView, std::nextafter(switchValue, 0.0f)));
  // Zooming in (a smaller field of view) keeps the fine mesh farther out.
  EXPECT_TRUE(UseFineMesh(camera, Record(0, 150, 0, 0, 0, 0), 30, SwitchValue(100)));
  EXPECT_FALSE(UseFineMesh(camera, Record(0, 150, 0, 0, 0, 0), 60, SwitchValue(100)));
  EXPECT_EQ(SwitchValue(30), 900.0f);
}

}  // namespace
}  // namespace velmora::renderer
