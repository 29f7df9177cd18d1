// The whole installation loads through the real loaders: every vehicle type
// with both its meshes, every texture, the ground and every object, with the
// destinations, the race start line and the railway in place; the start
// points lie where their vehicles can start.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "tests/data/installation.h"
#include "tests/data/start_points.h"
#include "tests/support/fake_renderer.h"
#include "vehicle/geometry.h"

namespace velmora::testing {
namespace {

constexpr double kOnTrackTol = 0.5;  // m: a train point nearer than this lies on the track

class InstallationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    renderer.GiveTextureIds = true;
    renderer.GiveSurfaceIds = true;
    LoadInstallation(renderer, installation);
  }
  FakeRenderer renderer;
  TInstallation installation;
};

TEST_F(InstallationTest, EveryMeshAndTextureFileIsThere) {
  ASSERT_TRUE(installation.Ok());
  EXPECT_GE(renderer.FormCalls.size(), 9u);
  for (const auto& call : renderer.FormCalls) {
    EXPECT_TRUE(std::filesystem::is_regular_file(kDataFolder / (call.Stem + ".x"))) << call.Stem;
    EXPECT_TRUE(std::filesystem::is_regular_file(kDataFolder / (call.Stem + "_rough.x")))
        << call.Stem;
    EXPECT_FLOAT_EQ(call.SwitchDistance, static_cast<float>((*installation.Forms)[call.FormId].Scale * 10));
  }
  std::set<std::pair<std::string, float>> distinct;
  for (const auto& call : renderer.TextureCalls) {
    EXPECT_TRUE(std::filesystem::is_regular_file(kDataFolder / call.FileName)) << call.FileName;
    EXPECT_LT(call.FileName.size(), 64u) << call.FileName;
    distinct.insert({call.FileName, call.Scale});
  }
  EXPECT_LE(distinct.size(), static_cast<size_t>(DX_TEXTURE_CAPACITY));
  EXPECT_TRUE(installation.Objects.TrackNotices.empty());
}

TEST_F(InstallationTest, VehicleTypesKeepTheirKindAndLiftRules) {
  // Type number div 10 is the kind; aircraft come in gear-up/gear-down pairs.
  const std::set<int> expected = {10, 11, 12, 13, 14, 15, 20, 30, 31};
  std::set<int> present;
  for (int n = 1; n <= 100; ++n) {
    const vehicle::TFormParam& f = (*installation.Forms)[n];
    if (f.Name.empty()) continue;
    present.insert(n);
    const int kind = n / 10;
    EXPECT_TRUE(kind >= vehicle::kKindAircraft && kind <= vehicle::kKindTrain) << n;
    EXPECT_NE(f.ZeroLiftAngle, 0) << "type " << n << ": the lift law divides by it";
    EXPECT_LT(f.RestZ, 0) << "type " << n << ": the reference point lies above the ground";
    EXPECT_GT(f.Scale, 0) << n;
    EXPECT_GT(f.Wheelbase, 0) << n;
    if (kind == vehicle::kKindAircraft) {
      EXPECT_FALSE((*installation.Forms)[n ^ 1].Name.empty()) << "type " << n << " has no pair";
    } else {
      EXPECT_EQ(f.Lift, 0) << "type " << n << ": only aircraft fly";
    }
  }
  for (int n : expected) EXPECT_EQ(present.count(n), 1u) << "type " << n << " is missing";
}

TEST_F(InstallationTest, EveryObjectKeywordIsUsed) {
  std::set<std::string> keywords;
  for (const std::string& line : DataFileLines("objects.dat")) {
    keywords.insert(line.substr(0, line.find('\t')));
  }
  for (const char* keyword : {"Line", "Wall", "Arc", "BlinkLight", "Runway", "Taxiway", "Apron",
                              "RaceCrs", "RaceCrsArc", "Road", "Railway", "Banner"}) {
    EXPECT_EQ(keywords.count(keyword), 1u) << keyword;
  }
  EXPECT_GT(installation.World->Ground.Count, 5);
  EXPECT_NE(installation.World->RaceStartLine, nullptr);
}

TEST_F(InstallationTest, TwoRunwaysOneStraightInOneWithAFinalTurn) {
  const world::TWorld& w = *installation.World;
  ASSERT_EQ(w.DestinationCount, 2);
  EXPECT_EQ(w.DestinationPanel.RowCount, 5);
  EXPECT_NE(w.DestinationPanel.Rows[1].find("直線進入"), std::string::npos)
      << w.DestinationPanel.Rows[1];
  EXPECT_NE(w.DestinationPanel.Rows[2].find("右30°旋回"), std::string::npos)
      << w.DestinationPanel.Rows[2];
  // The main runway's southern threshold is where the airliner mission starts.
  const world::TRunwayInfo& main = *w.Destinations[0];
  EXPECT_EQ(main.X1, 0);
  EXPECT_EQ(main.Y1, -1500);
  EXPECT_EQ(main.X2, 0);
}

// Distance of (x, y) from the centre line of a strip from (x1, y1) to
// (x2, y2), and how far along it the foot lies (m).
struct TStripPosition {
  double Across;
  double Along;
  double Length;
};
TStripPosition OnStrip(double x1, double y1, double x2, double y2, double x, double y) {
  const double length = std::hypot(x2 - x1, y2 - y1);
  const double ux = (x2 - x1) / length, uy = (y2 - y1) / length;
  return {std::fabs((x - x1) * uy - (y - y1) * ux), (x - x1) * ux + (y - y1) * uy, length};
}

bool OnAnyStrip(const world::TWorld& w, double x, double y) {
  for (int i = 0; i < w.Objects.Count(); ++i) {
    const auto* strip = dynamic_cast<const world::TLineInfo*>(&w.Objects[i]);
    if (strip == nullptr || dynamic_cast<const world::TWallInfo*>(strip) != nullptr) continue;
    const TStripPosition p = OnStrip(strip->X1, strip->Y1, strip->X2, strip->Y2, x, y);
    if (p.Across <= strip->Width / 2 && p.Along >= 0 && p.Along <= p.Length) return true;
  }
  return false;
}

// Distance from the point to the nearest straight track segment the point
// projects onto.
double DistanceToStraightTrack(const world::TTrackList& track, double x, double y) {
  double best = 1e38;
  for (int n = 1; n <= track.Count; ++n) {
    const world::TTrackRecord& r = track.Record(n);
    if (r.StartHeading != r.EndHeading) continue;
    const TStripPosition p = OnStrip(r.StartX, r.StartY, r.EndX, r.EndY, x, y);
    if (p.Along >= 0 && p.Along <= p.Length) best = std::min(best, p.Across);
  }
  return best;
}

TEST_F(InstallationTest, StartPointsLieWhereTheirVehiclesCanStart) {
  const world::TWorld& w = *installation.World;
  for (const TStartPoint& start : kStartPoints) {
    SCOPED_TRACE(start.Name);
    const vehicle::TFormParam& form = (*installation.Forms)[start.FormNo];
    ASSERT_FALSE(form.Name.empty());
    const bool inFlight = start.Z < form.RestZ;
    if (inFlight) {
      EXPECT_LT(start.Z, -300) << "an aircraft in flight starts well above the ground";
      continue;
    }
    EXPECT_EQ(start.Z, form.RestZ) << "a vehicle on the ground starts on its wheels";
    if (start.FormNo / 10 == vehicle::kKindTrain) {
      // Both bogies lie on the track.
      for (double side : {-0.5, 0.5}) {
        const double x = start.X + side * form.Wheelbase * vehicle::SinDeg(start.Heading);
        const double y = start.Y + side * form.Wheelbase * vehicle::CosDeg(start.Heading);
        EXPECT_LT(DistanceToStraightTrack(w.Track, x, y), kOnTrackTol);
      }
    } else {
      EXPECT_TRUE(OnAnyStrip(w, start.X, start.Y)) << "starts on a runway, taxiway or road";
    }
  }
  // The race grid lies behind the start line.
  const world::TRaceCrsInfo& line = *w.RaceStartLine;
  for (const TStartPoint& start : kStartPoints) {
    if (start.FormNo != 20 || start.X < line.X1 - line.Width) continue;
    const TStripPosition p = OnStrip(line.X1, line.Y1, line.X2, line.Y2, start.X, start.Y);
    EXPECT_LT(p.Along, line.StartLineDistance) << start.Name;
    EXPECT_LE(p.Across, line.Width / 2) << start.Name;
  }
}

TEST_F(InstallationTest, TheSurfaceStoreHoldsTheViewFromEveryStartPoint) {
  // A refresh from each start point keeps the surfaces in use within the
  // renderer's store, and no add fails.
  world::TWorldDriver driver;
  driver.Prepare(installation.World->Objects);
  uint32_t clock = 0;
  for (const TStartPoint& start : kStartPoints) {
    SCOPED_TRACE(start.Name);
    vehicle::TVehicleState camera;
    camera.X = start.X;
    camera.Y = start.Y;
    camera.Z = start.Z - 2;
    camera.Heading = static_cast<float>(start.Heading);
    const int addsBefore = renderer.AddCalls;
    const size_t surfacesBefore = renderer.SurfaceEvents.size();
    clock += 1000;
    driver.Frame(*installation.World, renderer, camera, camera, 0, clock);
    EXPECT_LT(renderer.Surfaces.size(), static_cast<size_t>(DX_SURFACE_CAPACITY / 2));
    int added = 0;
    for (size_t i = surfacesBefore; i < renderer.SurfaceEvents.size(); ++i) {
      added += renderer.SurfaceEvents[i].Added ? 1 : 0;
    }
    EXPECT_EQ(added, renderer.AddCalls - addsBefore) << "an add failed";
  }
}

}  // namespace
}  // namespace velmora::testing
