#include "world/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "tests/support/fake_renderer.h"
#include "tests/support/camera.h"

namespace velmora::world {
namespace {

using velmora::testing::CameraAt;

constexpr float kVertexTol = 1e-3f;   // m: vertices pass through 32-bit floats
constexpr double kLayoutTol = 1e-6;   // m: curve geometry from 32-bit float input

class ShapesTest : public ::testing::Test {
 protected:
  ShapesTest() { renderer.GiveSurfaceIds = true; }
  TViewFrame View(double x, double y, double z, float heading, float pitch = 0) {
    return TViewFrame::FromCamera(CameraAt(x, y, z, heading, pitch));
  }
  // Centre of a surface's first four vertices.
  std::array<double, 3> Centre(int32_t id) {
    const auto& s = renderer.Surfaces.at(id);
    std::array<double, 3> c{};
    for (int v = 0; v < 4; ++v) {
      for (int k = 0; k < 3; ++k) c[k] += s.Vertices[v][k] / 4.0;
    }
    return c;
  }
  testing::FakeRenderer renderer;
  TSurfaceWriter out{renderer};
};

TEST_F(ShapesTest, BlinkLightIsOnForTheFirstQuarterSecondOfEveryHalf) {
  const TViewFrame view = View(0, 0, -5, 0);
  TBlinkLightInfo light(0, 100, -5, 0x0000FF, 1000);
  const bool expected[] = {true, true, true, false, false, true, true, true, false, false, true};
  for (int frame = 0; frame <= 10; ++frame) {
    light.AnimateSurfaces(view, out, 1000 + 100 * frame);
    EXPECT_EQ(light.LightId > 0, expected[frame]) << "frame " << frame;
  }
  // The housing: a dark box from 0.3 m below the light down to 0.2 m below ground.
  float top = 1e9f, foot = -1e9f;
  for (int32_t id : light.HousingIds) {
    ASSERT_GT(id, 0);
    for (const auto& v : renderer.Surfaces.at(id).Vertices) {
      top = std::min(top, v[2]);
      foot = std::max(foot, v[2]);
    }
  }
  EXPECT_NEAR(top, -4.7f, kVertexTol);
  EXPECT_NEAR(foot, 0.2f, kVertexTol);
  EXPECT_EQ(renderer.Surfaces.at(light.HousingIds[0]).Colour, 0x333333u);
}

TEST_F(ShapesTest, BlinkLightWithSlowFramesStaysOffAfterTwo) {
  // Frames 600 ms apart: the period start moves on 500 ms per frame, so the
  // time into the period grows by 100 ms a frame: 100, 200, 300, 400, 500.
  const TViewFrame view = View(0, 0, -5, 0);
  TBlinkLightInfo light(0, 100, -5, 0x0000FF, 0);
  const bool expected[] = {true, true, false, false, false};
  for (int frame = 0; frame < 5; ++frame) {
    light.AnimateSurfaces(view, out, 600u * static_cast<uint32_t>(frame + 1));
    EXPECT_EQ(light.LightId > 0, expected[frame]) << "frame " << frame;
  }
}

TEST_F(ShapesTest, BlinkLightSurvivesTheClockWrap) {
  const TViewFrame view = View(0, 0, -5, 0);
  TBlinkLightInfo light(0, 100, -5, 0x0000FF, 0xFFFFFF00u);
  light.AnimateSurfaces(view, out, 0xFFFFFF00u + 300);  // wraps through 0: t = 300
  EXPECT_EQ(light.LightId, 0);
  light.AnimateSurfaces(view, out, 0xFFFFFF00u + 500);  // t = 500: next period starts
  EXPECT_GT(light.LightId, 0);
}

TEST_F(ShapesTest, ApproachSlopeLightsShowTheGlidePath) {
  // Runway north from the origin; the lights stand 450 m along it. The camera
  // flies the approach 3000 m before them at the given elevation.
  const struct {
    double Elevation;  // deg, seen from the lights
    int32_t Colours[4];
  } cases[] = {
      {3.0, {kColourRed, kColourRed, kColourWhite, kColourWhite}},
      {2.0, {kColourRed, kColourRed, kColourRed, kColourRed}},
      {4.0, {kColourWhite, kColourWhite, kColourWhite, kColourWhite}},
      {2.7, {kColourRed, kColourRed, kColourRed, kColourWhite}},
  };
  for (const auto& c : cases) {
    TRunwayInfo runway(0, 0, 0, 3000, 0, 45, 0, 0, 1, "R", 0);
    const double along = 3000;
    const TViewFrame view =
        View(0, 450 - along, -1 - along * std::tan(c.Elevation * M_PI / 180), 0, -3);
    runway.AnimateSurfaces(view, out, 0);
    for (int i = 0; i < 4; ++i) {
      ASSERT_GT(runway.SlopeLightIds[i], 0);
      EXPECT_EQ(runway.SlopeLightColours[i], c.Colours[i]) << c.Elevation << " light " << i;
      EXPECT_EQ(renderer.Surfaces.at(runway.SlopeLightIds[i]).Colour,
                static_cast<uint32_t>(c.Colours[i]));
    }
    // Light 0 stands 40 m left (west) of the centre line, 1 m above the runway.
    const auto centre = Centre(runway.SlopeLightIds[0]);
    EXPECT_NEAR(centre[0], -40, kVertexTol);
    EXPECT_NEAR(centre[1], 450, kVertexTol);
    EXPECT_NEAR(centre[2], -1, kVertexTol);
    // The strobe runs on this straight-in approach.
    EXPECT_GT(runway.StrobeId, 0);

    // The same view again keeps the slope lights.
    const int32_t kept = runway.SlopeLightIds[2];
    runway.AnimateSurfaces(view, out, 0);
    EXPECT_EQ(runway.SlopeLightIds[2], kept);
  }
}

TEST_F(ShapesTest, NoStrobeOffTheStraightInCourse) {
  TRunwayInfo runway(0, 0, 0, 3000, 0, 45, 0, 1.0f, 1, "R", 0);
  runway.AnimateSurfaces(View(0, -2550, -150, 0), out, 0);
  EXPECT_EQ(runway.StrobeId, 0);
  for (int32_t id : runway.SlopeLightIds) EXPECT_GT(id, 0);
  // Beside the approach the slope lights go too.
  runway.AnimateSurfaces(View(3000, 0, -150, 270), out, 0);
  for (int32_t id : runway.SlopeLightIds) EXPECT_EQ(id, 0);
}

TEST_F(ShapesTest, StrobeRunsTowardsTheThreshold) {
  TRunwayInfo runway(0, 0, 0, 3000, 0, 45, 0, 0, 1, "R", 0);
  const TViewFrame view = View(0, -3000, -150, 0);
  // 20 steps of 30 m per 500 ms, from 900 m before the threshold.
  const struct {
    uint32_t Clock;
    double Before;
  } cases[] = {{0, 900}, {25, 870}, {249, 630}, {475, 330}, {500, 900}};
  for (const auto& c : cases) {
    runway.AnimateSurfaces(view, out, c.Clock);
    ASSERT_GT(runway.StrobeId, 0);
    const auto centre = Centre(runway.StrobeId);
    EXPECT_NEAR(centre[1], -c.Before, kVertexTol) << c.Clock;
    EXPECT_NEAR(centre[2], -3, kVertexTol);
  }
}

TEST_F(ShapesTest, RunwayMarkingsComeAndGoWithTheView) {
  EXPECT_EQ(TRunwayInfo::StripeCount(100), 0);
  EXPECT_EQ(TRunwayInfo::StripeCount(150), 1);
  EXPECT_EQ(TRunwayInfo::StripeCount(199), 1);
  EXPECT_EQ(TRunwayInfo::StripeCount(200), 2);
  EXPECT_EQ(TRunwayInfo::StripeCount(5149), 100);
  EXPECT_EQ(TRunwayInfo::StripeCount(5150), 101);

  TRunwayInfo runway(0, 0, 0, 1000, 0, 45, 0, 0, 1, "R", 0);
  runway.RefreshSurfaces(View(0, -200, -50, 0, -5), out);
  const std::size_t seen = renderer.Surfaces.size();
  // Strip, 18 stripes (ending at 60, 110, ..., 910 m), 4 threshold blocks,
  // 4 aiming marks, 8 touchdown marks.
  EXPECT_EQ(seen, 1u + 18 + 4 + 4 + 8);
  EXPECT_EQ(renderer.Surfaces.at(runway.ThresholdIds[0]).Colour, 0xAAAAAAu);
  // Paint lies 1 cm above the runway.
  EXPECT_NEAR(renderer.Surfaces.at(runway.StripeIds[0]).Vertices[0][2], -0.01f, kVertexTol);

  runway.RefreshSurfaces(View(0, -200, -50, 180), out);
  EXPECT_TRUE(renderer.Surfaces.empty());
  runway.RefreshSurfaces(View(0, -200, -50, 0, -5), out);
  EXPECT_EQ(renderer.Surfaces.size(), seen);
}

TEST_F(ShapesTest, RoadKeepsTheDashesThatStayInView) {
  TRoadInfo road(0, 0, 0, 2000, 0, 6, 1);
  road.RefreshSurfaces(View(0, 500, -2, 0), out);
  // Dashes from just behind the camera (the planes' margin) to 900 m ahead.
  EXPECT_EQ(road.FirstDash, 48);
  EXPECT_EQ(road.LastDash, 139);
  std::map<int, int32_t> before;
  for (int i = road.FirstDash; i <= road.LastDash; ++i) before[i] = road.DashIds[i];
  EXPECT_EQ(renderer.Surfaces.size(), 1 + before.size());
  const auto& dash = renderer.Surfaces.at(road.DashIds[100]);
  EXPECT_NEAR(dash.Vertices[0][1], 1000, kVertexTol);
  EXPECT_NEAR(dash.Vertices[3][1], 1005, kVertexTol);
  EXPECT_NEAR(dash.Vertices[1][0] - dash.Vertices[0][0], 0.15, kVertexTol);
  EXPECT_EQ(dash.Colour, 0xCCCCCCu);

  road.RefreshSurfaces(View(0, 600, -2, 0), out);
  EXPECT_EQ(road.FirstDash, 58);
  EXPECT_EQ(road.LastDash, 149);
  for (const auto& [index, id] : before) {
    if (index >= road.FirstDash) {
      EXPECT_EQ(road.DashIds[index], id) << index;
    } else {
      EXPECT_EQ(road.DashIds[index], 0) << index;
    }
  }
  EXPECT_EQ(renderer.Surfaces.size(), 1u + 92);

  road.RefreshSurfaces(View(0, -1000, -2, 180), out);
  EXPECT_EQ(road.FirstDash, 0);
  EXPECT_EQ(road.LastDash, -1);
  EXPECT_TRUE(renderer.Surfaces.empty());
}

TEST_F(ShapesTest, RailwayLayoutOfRightAndLeftCurves) {
  const struct {
    double EndX, EndY, EndHeading;
    double KX, KY, T1X, T1Y, T2X, T2Y;
  } cases[] = {
      {200, 200, 90, 100, 100, 0, 100, 100, 200},
      {-200, 200, 270, -100, 100, 0, 100, -100, 200},
  };
  for (const auto& c : cases) {
    TRailLayout layout;
    ASSERT_TRUE(TRailwayInfo::Layout(0, 0, 0, 100, c.EndX, c.EndY, c.EndHeading, layout, nullptr));
    EXPECT_TRUE(layout.Curved);
    EXPECT_NEAR(layout.KX, c.KX, kLayoutTol);
    EXPECT_NEAR(layout.KY, c.KY, kLayoutTol);
    EXPECT_NEAR(layout.T1X, c.T1X, kLayoutTol);
    EXPECT_NEAR(layout.T1Y, c.T1Y, kLayoutTol);
    EXPECT_NEAR(layout.T2X, c.T2X, kLayoutTol);
    EXPECT_NEAR(layout.T2Y, c.T2Y, kLayoutTol);
    EXPECT_NEAR(layout.FirstLength, 100, kLayoutTol);
    EXPECT_NEAR(layout.CurveLength, 50 * M_PI, kLayoutTol);
    EXPECT_NEAR(layout.SecondLength, 100, kLayoutTol);
  }
}

TEST_F(ShapesTest, RailwaySleepersFollowTheTrackNearTheCamera) {
  TRailwayInfo rail(0, 0, 0, 100, 200, 200, 90, 0, 1);
  rail.RefreshSurfaces(View(0, -20, -2, 0), out);
  EXPECT_EQ(rail.FirstSleeper, 0);
  EXPECT_GT(rail.LastSleeper, 150);
  // Sleeper 50 lies on the first straight, sleeper 100 + 25π on the curve's middle.
  const auto straight = Centre(rail.SleeperIds[50]);
  EXPECT_NEAR(straight[0], 0, kVertexTol);
  EXPECT_NEAR(straight[1], 50, kVertexTol);
  EXPECT_NEAR(straight[2], 0.14, kVertexTol);
  const int onCurve = 100 + 79;  // 79 m into the curve of radius 100
  const double bearing = 270 + 79 / 100.0 * 180 / M_PI;
  const auto curved = Centre(rail.SleeperIds[onCurve]);
  EXPECT_NEAR(curved[0], 100 + 100 * std::sin(bearing * M_PI / 180), kVertexTol);
  EXPECT_NEAR(curved[1], 100 + 100 * std::cos(bearing * M_PI / 180), kVertexTol);
  EXPECT_GT(rail.BedIds[kRailCurvePieces], 0);
  EXPECT_GT(rail.RailIds[0][0][kRailCurvePieces], 0);
  EXPECT_GT(rail.RailIds[1][2][0], 0);
  EXPECT_EQ(renderer.Surfaces.at(rail.RailIds[0][0][0]).Colour, kColourRail);
  EXPECT_EQ(renderer.Surfaces.at(rail.RailIds[0][1][0]).Colour, kColourRailSide);

  // A steady camera adds nothing more.
  const int adds = renderer.AddCalls;
  rail.RefreshSurfaces(View(0, -20, -2, 0), out);
  EXPECT_EQ(renderer.AddCalls, adds);

  // From 1 km away the sleepers and rails go; the bed stays in range.
  rail.RefreshSurfaces(View(0, -1000, -2, 0), out);
  EXPECT_EQ(rail.LastSleeper, -1);
  for (int32_t id : rail.SleeperIds) EXPECT_EQ(id, 0);
  EXPECT_EQ(rail.RailIds[0][0][kRailCurvePieces], 0);
  EXPECT_GT(rail.BedIds[kRailCurvePieces], 0);
}

TEST_F(ShapesTest, TaxiwayOutlineWidensForItsFillets) {
  TTaxiwayInfo taxiway(0, 0, 0, 100, 0, 20, 0, 30, 0, 0, 0, 0, 1);
  taxiway.RefreshSurfaces(View(0, -50, -5, 0, -5), out);
  ASSERT_GT(taxiway.SurfaceId, 0);
  const auto& outline = renderer.Surfaces.at(taxiway.SurfaceId);
  ASSERT_EQ(outline.Vertices.size(), 8u);
  const float expected[8][2] = {{-30, 0}, {10, 0},  {-10, 20}, {10, 20},
                                {-10, 80}, {10, 80}, {-10, 100}, {10, 100}};
  for (int v = 0; v < 8; ++v) {
    EXPECT_NEAR(outline.Vertices[v][0], expected[v][0], kVertexTol) << v;
    EXPECT_NEAR(outline.Vertices[v][1], expected[v][1], kVertexTol) << v;
  }
  EXPECT_GT(taxiway.CentreLineId, 0);
  EXPECT_EQ(renderer.Surfaces.at(taxiway.CentreLineId).Colour, 0x33AADDu);
  // The start-left fillet leaves the centre line's end towards the left.
  ASSERT_GT(taxiway.FilletIds[0][0], 0);
  const auto& first = renderer.Surfaces.at(taxiway.FilletIds[0][0]);
  EXPECT_NEAR(first.Vertices[0][0], -0.3, kVertexTol);  // inner edge at (0, 0)
  EXPECT_NEAR(first.Vertices[0][1], 0, kVertexTol);
  EXPECT_EQ(taxiway.FilletIds[1][0], 0);
}

TEST_F(ShapesTest, RaceCourseStartLine) {
  TRaceCrsInfo none(0, 0, 0, 100, 0, 10, -1, 1);
  none.RefreshSurfaces(View(0, -20, -2, 0), out);
  EXPECT_EQ(none.StartLineId, 0);
  TRaceCrsInfo start(0, 0, 0, 100, 0, 10, 0, 1);
  start.RefreshSurfaces(View(0, -20, -2, 0), out);
  ASSERT_GT(start.StartLineId, 0);
  const auto& line = renderer.Surfaces.at(start.StartLineId);
  EXPECT_NEAR(line.Vertices[0][0], -5, kVertexTol);
  EXPECT_NEAR(line.Vertices[0][1], 0, kVertexTol);
  EXPECT_NEAR(line.Vertices[3][1], 0.2, kVertexTol);
  EXPECT_NEAR(line.Vertices[0][2], -0.005, kVertexTol);
}

TEST_F(ShapesTest, BannerIsAnUprightBoard) {
  TBannerInfo banner(0, 100, 10, 100, -5, 3, "link");
  banner.RefreshSurfaces(View(5, 0, -2, 0), out);
  ASSERT_GT(banner.SurfaceId, 0);
  const auto& board = renderer.Surfaces.at(banner.SurfaceId);
  EXPECT_EQ(board.TextureId, 3);
  EXPECT_EQ(board.Colour, 0u);
  const std::array<float, 3> corners[4] = {{0, 100, -5}, {10, 100, -5}, {0, 100, 0.2f},
                                           {10, 100, 0.2f}};
  for (int v = 0; v < 4; ++v) EXPECT_EQ(board.Vertices[v], corners[v]);
  banner.RefreshSurfaces(View(5, 0, -2, 180), out);
  EXPECT_EQ(banner.SurfaceId, 0);
}

}  // namespace
}  // namespace velmora::world
