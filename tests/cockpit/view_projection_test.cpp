#include "cockpit/view_projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace velmora::cockpit {
namespace {

using vehicle::TVehicleState;

constexpr int32_t kWidth = 1017;   // px: half width 508
constexpr int32_t kHeight = 577;   // px: half height 288
constexpr double kFractionTol = 1e-12;  // of a segment's length: exact arithmetic up to rounding

TVehicleState Camera(float heading, float pitch = 0, float bank = 0) {
  TVehicleState c;
  c.Heading = heading;
  c.Pitch = pitch;
  c.Bank = bank;
  return c;
}

TEST(ProjectToView, HandComputedPoints) {
  struct Case {
    float Heading, Pitch;
    double Dx, Dy, Dz;
    int32_t X, Y;
  };
  const Case cases[] = {
      // Straight ahead lands on the centre pixel.
      {0, 0, 0, 1000, 0, 508, 288},
      // 100 m right, 50 m up at 1000 m: 508 + round(0.1·2.123155·508) = 508 + 108,
      // 288 − round(0.05·3.732051·288) = 288 − 54.
      {0, 0, 100, 1000, -50, 616, 234},
      // Facing east, north is to the left.
      {90, 0, 1000, 100, 0, 400, 288},
      // Pitched 10° up, a level point ahead lies below the centre:
      // up/forward = −tan 10°, 288 + round(0.176327·3.732051·288) = 288 + 190.
      {0, 10, 0, 1000, 0, 508, 478},
  };
  for (const Case& c : cases) {
    const TScreenPoint p = ProjectToView(Camera(c.Heading, c.Pitch), c.Dx, c.Dy, c.Dz, kWidth, kHeight);
    EXPECT_TRUE(p.InFront);
    EXPECT_TRUE(p.Drawable);
    EXPECT_EQ(p.X, c.X) << c.Heading << " " << c.Dx << " " << c.Dy;
    EXPECT_EQ(p.Y, c.Y) << c.Heading << " " << c.Dx << " " << c.Dy;
  }
}

TEST(ProjectToView, PointsThatCannotBeDrawn) {
  // Behind the camera: projected, but not in front.
  const TScreenPoint behind = ProjectToView(Camera(0), 10, -1000, 0, kWidth, kHeight);
  EXPECT_FALSE(behind.InFront);
  EXPECT_FALSE(behind.Drawable);
  // Almost in the camera's plane: the coordinate does not fit 32 bits.
  const TScreenPoint edge = ProjectToView(Camera(0), 1000, 1e-9, 0, kWidth, kHeight);
  EXPECT_TRUE(edge.InFront);
  EXPECT_FALSE(edge.Drawable);
  // Exactly in the plane: no division result at all.
  EXPECT_FALSE(ProjectToView(Camera(0), 1000, 0, 0, kWidth, kHeight).Drawable);
}

TEST(InViewCone, SidePlaneLeansOutByFourFifths) {
  // The plane (0, +2.123155) has the normal forward + 1.698524·right: it
  // bounds the left side at right/forward = −1/1.698524 = −0.58875.
  struct Case {
    double X, Y, Margin;
    bool Inside;
  };
  const Case cases[] = {
      {-580, 1000, 0, true},
      {-600, 1000, 0, false},
      {500, 1000, 0, true},
      // 100 m behind the camera: 100/√(1 + 1.698524²) = 50.74 m from the plane.
      {0, -100, 50, false},
      {0, -100, 51, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InViewCone(Camera(0), c.Margin, 0, kHorizontalViewScale, c.X, c.Y, 0), c.Inside)
        << c.X << " " << c.Y << " " << c.Margin;
  }
}

// A wider view keeps the vertical field of view: the pixels per radian follow
// the height alone, and the side planes open out with the width.
TEST(ProjectToView, AWiderViewSeesMoreToTheSides) {
  EXPECT_EQ(HorizontalViewScale(kWidth, kHeight), kHorizontalViewScale);
  struct Row {
    int32_t Width, Height;  // px
    int32_t X, Y;           // px, of the point 100 m right and 50 m up at 1000 m
    bool SideInside;        // a vehicle 700 m left at 1000 m may be in view
  } rows[] = {
      {kWidth, kHeight, 508 + 108, 288 - 54, false},
      // Twice as wide: the same offsets from the centre, 1/0.8/1.06055 = 1.18 to the side.
      {2035, 577, 1017 + 108, 288 - 54, true},
      // 1921 × 841: round(0.1·2.123155·(508·420)/(288·960)·960) = 157, round(0.05·3.732051·420) = 78.
      {1921, 841, 960 + 157, 420 - 78, true},
  };
  for (const Row& row : rows) {
    const TScreenPoint p = ProjectToView(Camera(0), 100, 1000, -50, row.Width, row.Height);
    EXPECT_EQ(p.X, row.X) << row.Width;
    EXPECT_EQ(p.Y, row.Y) << row.Width;
    EXPECT_EQ(InsideViewCone(Camera(0), 0, -700, 1000, 0,
                             HorizontalViewScale(row.Width, row.Height)),
              row.SideInside)
        << row.Width;
  }
}

TEST(InViewCone, AllFourPlanes) {
  const TVehicleState cam = Camera(0);
  EXPECT_TRUE(InsideViewCone(cam, 0, 0, 1000, 0));
  EXPECT_FALSE(InsideViewCone(cam, 0, 0, -1000, 0));
  // The vertical planes lean out to up/forward = ±1/(0.8·3.732051) = ±0.33494.
  EXPECT_TRUE(InsideViewCone(cam, 0, 0, 1000, -330));
  EXPECT_FALSE(InsideViewCone(cam, 0, 0, 1000, -340));
  EXPECT_FALSE(InsideViewCone(cam, 0, 0, 1000, 340));
}

TEST(ClipToView, RadiusAndPlanes) {
  const TVehicleState cam = Camera(0);
  // Straight ahead from 100 m to 20000 m: the radius cuts at 16000 m.
  const auto ahead = ClipToView(cam, 16000, 10, 0, 100, 0, 0, 20000, 0);
  ASSERT_TRUE(ahead);
  EXPECT_NEAR(ahead->T1, 0, kFractionTol);
  EXPECT_NEAR(ahead->T2, (16000.0 - 100) / 19900, kFractionTol);
  // Wholly behind the camera: nothing remains.
  EXPECT_FALSE(ClipToView(cam, 16000, 10, 0, -100, 0, 0, -2000, 0));
  // Wholly beyond the radius.
  EXPECT_FALSE(ClipToView(cam, 16000, 10, 0, 17000, 0, 0, 18000, 0));
  // From behind to ahead: the part starts where the side planes, moved back by
  // 10 m, cross the line: forward = −10·√(1 + 1.698524²) = −19.71 m.
  const auto through = ClipToView(cam, 16000, 10, 0, -1000, 0, 0, 1000, 0);
  ASSERT_TRUE(through);
  EXPECT_GT(through->T1, 0.49);
  EXPECT_LT(through->T1, 0.5);
  EXPECT_NEAR(through->T2, 1, kFractionTol);
}

}  // namespace
}  // namespace velmora::cockpit
