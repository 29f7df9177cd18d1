#include "world/surface_building.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "vehicle/geometry.h"

#include "tests/support/fake_renderer.h"
#include "tests/support/camera.h"
#include "world/shapes.h"

namespace velmora::world {
namespace {

using velmora::testing::CameraAt;

constexpr double kFractionTol = 1e-9;  // fraction of a segment's length
constexpr float kVertexTol = 1e-3f;    // m: vertices pass through 32-bit floats

class SurfaceTest : public ::testing::Test {
 protected:
  SurfaceTest() { renderer.GiveSurfaceIds = true; }
  TViewFrame View(double x, double y, double z, float heading, float pitch = 0) {
    return TViewFrame::FromCamera(CameraAt(x, y, z, heading, pitch));
  }
  testing::FakeRenderer renderer;
  TSurfaceWriter out{renderer};
};

TEST_F(SurfaceTest, VisibleRangeGrowsWithSizeUpTo15Km) {
  const struct {
    double Size, Range;
  } cases[] = {{0.15, 900}, {1, 6000}, {2.5, 15000}, {3, 15000}, {0, 0}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(VisibleRange(c.Size), c.Range) << c.Size;
}

TEST_F(SurfaceTest, SegmentSeenFromItsStartIsCutByTheRange) {
  // Looking along a 10 km segment from its start: the range ends it at 1 km,
  // and the margin keeps its start inside every plane.
  const TSegmentView seen =
      SegmentVisible(View(0, 0, 0, 0), 0, 0, 0, 10000, 0, 1000, 1);
  ASSERT_TRUE(seen.Visible);
  EXPECT_NEAR(seen.T0, 0, kFractionTol);
  EXPECT_NEAR(seen.T1, 0.1, kFractionTol);
}

TEST_F(SurfaceTest, ZeroLengthSegmentIsNeverDrawn) {
  EXPECT_FALSE(SegmentVisible(View(0, -100, -2, 0), 5, 5, 5, 5, 0, 15000, 20).Visible);
  TLineInfo point(5, 5, 5, 5, 0, 10, 0xFFFFFF, 0);
  point.RefreshSurfaces(View(0, -100, -2, 0), out);
  EXPECT_EQ(renderer.AddCalls, 0);
  EXPECT_EQ(point.SurfaceId, 0);
}

TEST_F(SurfaceTest, ViewPyramidDecidesWhatIsSeen) {
  // A 1 m piece of line 1000 m from the camera, at the given bearing and
  // elevation as seen from it. About 30.5 degrees to each side and 18.5 up and
  // down, widened a little by the margin.
  const struct {
    float CameraHeading;
    double Bearing;  // deg of the piece from the camera
    bool Visible;
  } cases[] = {{0, 0, true},    {180, 0, false}, {90, 0, false},  {0, 29, true},
               {0, -29, true},  {0, 33, false},  {0, -33, false}, {270, 250, true},
               {270, 300, true}, {270, 310, false}};
  for (const auto& c : cases) {
    const double cx = 1000 * std::sin(c.Bearing * M_PI / 180);
    const double cy = 1000 * std::cos(c.Bearing * M_PI / 180);
    const TSegmentView seen =
        SegmentVisible(View(0, 0, 0, c.CameraHeading), cx - 0.5, cy, cx + 0.5, cy, 0, 6000, 0);
    EXPECT_EQ(seen.Visible, c.Visible) << c.CameraHeading << " " << c.Bearing;
  }
  // Up and down: a camera pitched 30 degrees up no longer sees the ground ahead.
  EXPECT_FALSE(SegmentVisible(View(0, 0, -2, 0, 30), -0.5, 1000, 0.5, 1000, 0, 6000, 0).Visible);
  EXPECT_TRUE(SegmentVisible(View(0, 0, -2, 0, 15), -0.5, 1000, 0.5, 1000, 0, 6000, 0).Visible);
}

TEST_F(SurfaceTest, LineIsSeenEdgeOnUpToItsRange) {
  // A 100 m line across the view, d metres ahead of a camera 2 m up.
  const struct {
    float Width;
    double Distance;
    bool Visible;
  } cases[] = {{1, 5990, true},   {1, 6010, false},   {3, 14990, true},
               {3, 15010, false}, {10, 14990, true},  {10, 15010, false},
               {0.5, 2990, true}, {0.5, 3010, false}};
  for (const auto& c : cases) {
    TLineInfo line(-50, 0, 50, 0, 0, c.Width, 0xFFFFFF, 0);
    line.RefreshSurfaces(View(0, -c.Distance, -2, 0), out);
    EXPECT_EQ(line.SurfaceId > 0, c.Visible) << c.Width << " m at " << c.Distance;
  }
}

TEST_F(SurfaceTest, FlatStripCornersAndSides) {
  int32_t top = 0, left = 0, right = 0;
  ASSERT_TRUE(FlatStrip(out, View(0, -50, -2, 0), 0, 0, 0, 10, 1, 2, 0x112233, 7,
                        {&top, &left, &right}, 0.5, 0x445566));
  const auto& quad = renderer.Surfaces.at(top);
  const std::array<float, 3> corners[4] = {{-1, 0, 1}, {1, 0, 1}, {-1, 10, 1}, {1, 10, 1}};
  for (int v = 0; v < 4; ++v) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(quad.Vertices[v][k], corners[v][k], kVertexTol);
  }
  EXPECT_EQ(quad.Colour, 0x112233u);
  EXPECT_EQ(quad.TextureId, 7);
  const auto& side = renderer.Surfaces.at(left);
  EXPECT_EQ(side.Colour, 0x445566u);
  EXPECT_NEAR(side.Vertices[0][0], -1, kVertexTol);
  EXPECT_NEAR(side.Vertices[3][2], 1.5, kVertexTol);
  EXPECT_GT(right, 0);

  // Out of view everything goes; back in view it is built again.
  EXPECT_FALSE(FlatStrip(out, View(0, -50, -2, 180), 0, 0, 0, 10, 1, 2, 0x112233, 7,
                         {&top, &left, &right}, 0.5, 0x445566));
  EXPECT_EQ(top, 0);
  EXPECT_EQ(left, 0);
  EXPECT_EQ(right, 0);
  EXPECT_TRUE(renderer.Surfaces.empty());
}

TEST_F(SurfaceTest, WallBoxShadesItsFaces) {
  int32_t ids[5] = {};
  WallBox(out, View(-20, 5, -2, 90), 0, 0, 0, 10, -3, 1, 0x0A6432, 0, ids);
  for (int32_t id : ids) ASSERT_GT(id, 0);
  EXPECT_EQ(renderer.Surfaces.at(ids[0]).Colour, 0x0A6432u);
  EXPECT_EQ(renderer.Surfaces.at(ids[1]).Colour, 0x095A2Du);  // 0.9: 9, 90, 45
  EXPECT_EQ(renderer.Surfaces.at(ids[3]).Colour, 0x085028u);  // 0.8: 8, 80, 40
  for (int face = 1; face < 5; ++face) {
    EXPECT_NEAR(renderer.Surfaces.at(ids[face]).Vertices[3][2], 0.2, kVertexTol);
  }
  // Well behind the camera it goes away.
  WallBox(out, View(-100, 5, -2, 270), 0, 0, 0, 10, -3, 1, 0x0A6432, 0, ids);
  for (int32_t id : ids) EXPECT_EQ(id, 0);
}

TEST_F(SurfaceTest, ArcThroughNorthDrawsTwentyDegrees) {
  EXPECT_EQ(ArcPieceCount(100, 350, 10), 20);
  EXPECT_EQ(ArcPieceCount(100, 10, 10), 360);
  EXPECT_EQ(ArcPieceCount(2000, 0, 90), 180);  // half-degree steps
  EXPECT_EQ(ArcPieceCount(0, 0, 90), 90);

  TArcInfo arc(0, 0, 0, 100, 1, 350, 10, 0xFFFFFF, 0);
  arc.RefreshSurfaces(View(0, 0, -1, 0), out);
  ASSERT_EQ(renderer.Surfaces.size(), 20u);
  for (int k = 0; k < 20; ++k) EXPECT_GT(arc.PieceIds[k], 0) << k;
  EXPECT_EQ(arc.PieceIds[20], 0);
  const auto& first = renderer.Surfaces.at(arc.PieceIds[0]);
  const double s350 = std::sin(350 * M_PI / 180), c350 = std::cos(350 * M_PI / 180);
  EXPECT_NEAR(first.Vertices[0][0], 99.5 * s350, kVertexTol);  // inner edge at 350
  EXPECT_NEAR(first.Vertices[1][1], 100.5 * c350, kVertexTol); // outer edge
  const auto& last = renderer.Surfaces.at(arc.PieceIds[19]);
  EXPECT_NEAR(last.Vertices[3][0], 100.5 * std::sin(10 * M_PI / 180), kVertexTol);
}

TEST_F(SurfaceTest, LightFacesTheCameraAndEndsAt10Km) {
  const struct {
    double Distance;
    bool Drawn;
    double HalfSize;  // m
  } cases[] = {{100, true, 0.5}, {1000, true, 1.0}, {5000, true, 3.0}, {9999, true, 3.0},
               {10001, false, 0}};
  for (const auto& c : cases) {
    int32_t id = 0;
    Light(out, View(0, 0, 0, 0), {0, c.Distance, 0}, 0xFF, id);
    EXPECT_EQ(id > 0, c.Drawn) << c.Distance;
    if (id == 0) continue;
    const auto& diamond = renderer.Surfaces.at(id);
    EXPECT_NEAR(diamond.Vertices[0][0], c.HalfSize, kVertexTol);   // right
    EXPECT_NEAR(diamond.Vertices[1][2], -c.HalfSize, kVertexTol);  // up is -z
    EXPECT_NEAR(diamond.Vertices[3][0], -c.HalfSize, kVertexTol);  // left
    // Rebuilt on every call.
    const int adds = renderer.AddCalls;
    Light(out, View(0, 0, 0, 0), {0, c.Distance, 0}, 0xFF, id);
    EXPECT_EQ(renderer.AddCalls, adds + 1);
    out.Remove(id);
  }
  EXPECT_TRUE(renderer.Surfaces.empty());
}

}  // namespace
}  // namespace velmora::world

namespace velmora::world {
namespace {

// Every piece an arc builds is exactly one whose inner or outer edge passes
// the segment test, whatever shortcut the builder takes to skip the others.
TEST(ArcPieces, BuiltPiecesAreThoseWhoseEdgesAreSeen) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> place(-3000, 3000);
  std::uniform_real_distribution<double> radius(0.5, 1200);
  std::uniform_real_distribution<double> width(0.05, 30);
  std::uniform_real_distribution<double> angle(0, 360);
  int seen = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const double cx = place(random), cy = place(random), r = radius(random);
    const double w = width(random), a0 = angle(random), a1 = angle(random);
    const TViewFrame view = TViewFrame::FromCamera(
        CameraAt(place(random) / 4, place(random) / 4, -place(random) / 100 - 31,
                       static_cast<float>(angle(random)), static_cast<float>(angle(random) / 20 - 9)));
    testing::FakeRenderer renderer;
    renderer.GiveSurfaceIds = true;
    TSurfaceWriter out(renderer);
    int32_t ids[kArcPieceIds] = {};
    ArcStrip(out, view, cx, cy, 0, r, w, a0, a1, 0xFF, 0, {ids, nullptr, nullptr, kArcPieceIds});

    const int pieces = std::min(ArcPieceCount(r, a0, a1), kArcPieceIds);
    const double to = a1 <= a0 ? a1 + 360 : a1;
    for (int k = 0; k < pieces; ++k) {
      const double p = a0 + k * ArcStep(r);
      const double q = k + 1 == pieces ? to : a0 + (k + 1) * ArcStep(r);
      const auto edge = [&](double rho) {
        return SegmentVisible(view, cx + rho * vehicle::SinDeg(p), cy + rho * vehicle::CosDeg(p),
                              cx + rho * vehicle::SinDeg(q), cy + rho * vehicle::CosDeg(q), 0,
                              VisibleRange(w), 10)
            .Visible;
      };
      const bool visible = edge(r - w / 2) || edge(r + w / 2);
      EXPECT_EQ(ids[k] > 0, visible) << "trial " << trial << " piece " << k;
      seen += visible;
    }
  }
  EXPECT_GT(seen, 1000);
}

}  // namespace
}  // namespace velmora::world
