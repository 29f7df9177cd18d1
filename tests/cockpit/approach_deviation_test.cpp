// The approach's deviation on the flight display: dots against the 3° path
// and the centre line in closed form, and drawing only in the display's free strips.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "cockpit/approach_deviation.h"
#include "tests/support/recording_canvas.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"

namespace velmora::cockpit {
namespace {

// Runway 36 of the sample world: threshold (0, −1500), 3000 m north.
class ApproachDeviationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FillTestForms(s);
    runway = std::make_unique<world::TRunwayInfo>(0.0f, -1500.0f, 0.0f, 1500.0f, 0.0f, 45.0f,
                                                  6000.0f, 0.0f, 0, "RWY36", 0u);
    world.Destinations[0] = runway.get();
    world.DestinationCount = 1;
    s.World = &world;
    s.SelectedDestination = 0;
    testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
    s.Start = vehicle::TVehicleState{};  // practice
  }
  // The aircraft `before` m before the threshold, `right` m right of the
  // centre line, its wheels `height` m up.
  void Place(double before, double right, double height) {
    s.Own.X = right;
    s.Own.Y = -1500 - before;
    s.Own.Z = s.Forms[testing::kAirlinerGearDown].RestZ - height;
  }
  std::unique_ptr<world::TRunwayInfo> runway;
  world::TWorld world;
  state::TMainState s;
};

TEST_F(ApproachDeviationTest, DotsAgainstThePathAndTheCentreLine) {
  constexpr double kDotTol = 1e-9;
  const auto pathHeight = [](double before, double degrees) {
    return (before + 300) * std::tan(degrees * 3.14159265358979323846 / 180);
  };
  const auto lineOffset = [](double before, double degrees) {
    return (before + 3000) * std::tan(degrees * 3.14159265358979323846 / 180);
  };
  struct Row {
    double Before, Right, Height;
    double Path, CentreLine;
  };
  const Row rows[] = {
      {5000, 0, pathHeight(5000, 3), 0, 0},
      {5000, 0, pathHeight(5000, 3.35), 1, 0},
      {2000, 0, pathHeight(2000, 2.3), -2, 0},
      {3000, lineOffset(3000, 1), pathHeight(3000, 3), 0, 1},
      {1000, lineOffset(1000, -2.5), pathHeight(1000, 3), 0, -2.5},
  };
  for (const Row& row : rows) {
    Place(row.Before, row.Right, row.Height);
    const TApproachDeviation d = ApproachDeviation(s);
    ASSERT_TRUE(d.Shown) << row.Before;
    EXPECT_NEAR(d.Path, row.Path, kDotTol) << row.Before;
    EXPECT_NEAR(d.CentreLine, row.CentreLine, kDotTol) << row.Before;
  }
}

TEST_F(ApproachDeviationTest, ShownOnlyOnAPracticeApproachInTheAir) {
  struct Row {
    const char* Case;
    std::function<void(state::TMainState&)> Change;
    bool Shown;
  };
  const Row rows[] = {
      {"on the approach", [](state::TMainState&) {}, true},
      {"20 km out", [](state::TMainState& st) { st.Own.Y = -1500 - 20000; }, true},
      {"beyond 20 km", [](state::TMainState& st) { st.Own.Y = -1500 - 20001; }, false},
      {"on the wheels", [](state::TMainState& st) { st.Own.Z = st.Forms[st.Own.FormNo].RestZ; },
       false},
      {"no destination", [](state::TMainState& st) { st.SelectedDestination = -1; }, false},
      {"a server mission", [](state::TMainState& st) { st.Start = st.Own; }, false},
      {"past the path's end", [](state::TMainState& st) { st.Own.Y = -1500 + 300; }, false},
  };
  for (const Row& row : rows) {
    SetUp();
    Place(4000, 0, 200);
    row.Change(s);
    EXPECT_EQ(ApproachDeviation(s).Shown, row.Shown) << row.Case;
  }
}

// Everything drawn lies in the free strips: x 193..200 between the attitude
// indicator and the altitude tape, y 153..160 below the indicator.
TEST_F(ApproachDeviationTest, DrawsOnlyInTheFreeStrips) {
  const auto inStrips = [](int32_t x, int32_t y) {
    return (x >= 193 && x <= 201 && y >= 8 && y <= 153) ||
           (x >= 48 && x <= 193 && y >= 153 && y <= 161);
  };
  for (const double dots : {0.0, 2.0, -9.0, 9.0}) {
    testing::RecordingCanvas pfd;
    pfd.W = 265;
    pfd.H = 161;
    DrawApproachDeviation(pfd, {true, dots, -dots}, false);
    ASSERT_GE(pfd.Count("Polygon"), 2);
    for (const auto& call : pfd.Calls) {
      for (std::size_t i = 0; i + 1 < call.Values.size(); i += 2) {
        EXPECT_TRUE(inStrips(call.Values[i], call.Values[i + 1]))
            << call.Kind << " at " << call.Values[i] << ", " << call.Values[i + 1];
      }
    }
  }
  testing::RecordingCanvas idle;
  DrawApproachDeviation(idle, {}, false);
  EXPECT_TRUE(idle.Calls.empty()) << "nothing without an approach";
  DrawApproachDeviation(idle, {}, true);
  EXPECT_EQ(idle.Count("FillRect"), 2) << "the strips are cleared once the approach ends";
}

}  // namespace
}  // namespace velmora::cockpit
