#include "app/panels.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pilot/crew.h"
#include "tests/support/test_vehicles.h"

namespace velmora::app {
namespace {

using Lines = std::vector<std::string>;

// Rows of the destination grid with two destinations.
constexpr int32_t kFirst = 1;
constexpr int32_t kSecond = 2;
constexpr int32_t kCancelRow = 3;
constexpr int32_t kKeepRow = 4;

// Records the brush and the filled rectangles.
class BrushCanvas final : public cockpit::TCanvas {
 public:
  struct Fill {
    uint32_t Brush;
    bool Clear;
    std::vector<int32_t> Box;
  };
  std::vector<Fill> Fills;

  int32_t Width() const override { return 265; }
  int32_t Height() const override { return 161; }
  void SetPen(uint32_t, int32_t) override {}
  void SetBrush(uint32_t colour, bool clear) override {
    brush_ = colour;
    clear_ = clear;
  }
  void SetFont(uint32_t, int32_t) override {}
  void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    Fills.push_back({brush_, clear_, {x1, y1, x2, y2}});
  }
  void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    Fills.push_back({brush_, clear_, {x1, y1, x2, y2}});
  }
  void Ellipse(int32_t, int32_t, int32_t, int32_t) override {}
  void Arc(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override {}
  void Polygon(const cockpit::TPixel*, int) override {}
  void Polyline(const cockpit::TPixel*, int) override {}
  void Line(int32_t, int32_t, int32_t, int32_t) override {}
  void Text(int32_t, int32_t, std::string_view) override {}
  void ClippedText(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                   std::string_view) override {}

 private:
  uint32_t brush_ = 0xFFFFFF;
  bool clear_ = true;
};

class DestinationPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FillTestForms(s);
    for (int i = 0; i < 2; ++i) {
      runways[i] = std::make_unique<world::TRunwayInfo>(0.0f, 10000.0f * static_cast<float>(i),
                                                        0.0f, 10000.0f * static_cast<float>(i) + 3000,
                                                        0.0f, 45.0f, 1000.0f, 0.0f, 0,
                                                        i == 0 ? "北" : "南", 0u);
      world.Destinations[static_cast<std::size_t>(i)] = runways[i].get();
    }
    world.DestinationCount = 2;
    world.DestinationPanel.RowCount = 5;
    world.DestinationPanel.Rows[kCancelRow] = "・行先を指定しない";
    world.DestinationPanel.Rows[kKeepRow] = "・そのまま";
    s.World = &world;
    s.Panels.Dest = true;
  }

  // The airliner of a server mission in flight, 1000 m up.
  void Mission() {
    testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kAirlinerGearUp);
    s.Own.Z = -1005;
    s.Own.VY = 100;
    s.Start = s.Own;
  }

  // Practice mode: the kind-0 start state of the gear-down airliner.
  void Practice() {
    testing::PlaceOwn(s, vehicle::kKindNone, testing::kAirlinerGearDown);
    s.Start = s.Own;
  }

  void Click(int32_t row, uint32_t now = 5000) {
    s.DestRow = row;
    s.MessageLog.clear();
    s.Requests = {};
    StringGridDestClick(s, now, {&pfd, &indicator, &power});
  }

  state::TMainState s;
  world::TWorld world;
  std::unique_ptr<world::TRunwayInfo> runways[2];
  BrushCanvas pfd, indicator, power;
};

TEST_F(DestinationPanelTest, ChoosingADestinationInAMission) {
  struct Case {
    int32_t mode, modeAfter;
  };
  const Case cases[] = {{0, 0}, {3, 3}, {4, 4}, {5, 5}, {6, 5}, {7, 5}, {8, 4}};
  for (const Case& c : cases) {
    Mission();
    s.GuidanceMode = c.mode;
    const vehicle::TVehicleState before = s.Own;
    Click(kSecond);
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(s.SelectedDestination, 1);
    EXPECT_EQ(s.GuidanceMode, c.modeAfter);
    EXPECT_EQ(s.MessageLog, Lines{"自分> 行先に南を指定しました。"});
    EXPECT_EQ(world.DestinationPanel.Rows[kCancelRow], "・行先の指定を解除する");
    EXPECT_TRUE(s.Panels.Navi);
    EXPECT_FALSE(s.Panels.Dest);
    EXPECT_TRUE(s.Requests.FocusChatInput);
    EXPECT_EQ(s.Own.Y, before.Y) << "a mission's aircraft stays where it flies";
  }
}

TEST_F(DestinationPanelTest, ChoosingADestinationInPracticePlacesTheAircraft) {
  Practice();
  s.GuidanceMode = 0;
  Click(kFirst, 7777);
  EXPECT_EQ(s.Own.Kind, vehicle::kKindAircraft);
  EXPECT_EQ(s.Own.Time, 7777);
  EXPECT_EQ(s.GuidanceMode, pilot::kModeFinal) << "the gear-down type starts on the final";
  EXPECT_NEAR(s.Own.Y, -6500, 1e-6) << "straight-in: 6500 m before the threshold";
  EXPECT_TRUE(s.Panels.Navi);
  EXPECT_FALSE(s.Panels.Dest);
  EXPECT_EQ(s.MessageLog, Lines{"自分> 行先に北を指定しました。"});
}

TEST_F(DestinationPanelTest, CancellingInAMission) {
  struct Case {
    int32_t mode, modeAfter;
    bool disengaged;
  };
  const Case cases[] = {{3, 3, false}, {4, 4, false}, {5, 4, true},
                        {6, 4, true},  {7, 4, true},  {8, 4, false}};
  for (const Case& c : cases) {
    Mission();
    s.SelectedDestination = 0;
    s.GuidanceMode = c.mode;
    world.DestinationPanel.Rows[kCancelRow] = "・行先の指定を解除する";
    const uint32_t cues = s.Cues.Pushed;
    Click(kCancelRow);
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(s.SelectedDestination, -1);
    EXPECT_EQ(s.GuidanceMode, c.modeAfter);
    Lines expected{"自分> 行先の指定を解除しました。"};
    if (c.disengaged) expected.push_back("機長> Auto pilot disengaged.");
    EXPECT_EQ(s.MessageLog, expected);
    // The captain's call is spoken as well as logged, as every call is.
    ASSERT_EQ(s.Cues.Pushed - cues, c.disengaged ? 1u : 0u);
    if (c.disengaged) {
      EXPECT_EQ(s.Cues.At(cues).Call, state::TCall::AutopilotDisengaged);
    }
    EXPECT_EQ(world.DestinationPanel.Rows[kCancelRow], "・行先を指定しない");
    EXPECT_TRUE(s.Panels.Navi);
    EXPECT_FALSE(s.Panels.Dest);
    EXPECT_EQ(s.Own.Kind, vehicle::kKindAircraft);
    EXPECT_TRUE(pfd.Fills.empty()) << "a mission's instruments stay";

    // The captain does not engage again with nothing to fly.
    if (c.modeAfter < pilot::kModeDestinationChosen) continue;  // engages on climb-out
    s.MessageLog.clear();
    pilot::CrewGuidance(s, 0, 0.01);
    EXPECT_EQ(s.GuidanceMode, c.modeAfter);
    EXPECT_EQ(s.MessageLog, Lines{});
  }
}

TEST_F(DestinationPanelTest, CancellingInPracticeEndsTheFlight) {
  Practice();
  Click(kFirst, 1000);
  ASSERT_EQ(s.Own.Kind, vehicle::kKindAircraft);
  Click(kCancelRow, 9000);
  EXPECT_EQ(s.SelectedDestination, -1);
  EXPECT_EQ(s.MessageLog, Lines{"自分> 行先の指定を解除しました。"});
  EXPECT_EQ(s.Own.Kind, vehicle::kKindNone) << "back to the kind-0 start state";
  EXPECT_EQ(s.Own.Time, 9000);
  EXPECT_EQ(s.Own.Y, s.Start.Y);
  for (const BrushCanvas* canvas : {&pfd, &indicator, &power}) {
    ASSERT_EQ(canvas->Fills.size(), 1u);
    EXPECT_EQ(canvas->Fills[0].Brush, 0x000000u);
    EXPECT_FALSE(canvas->Fills[0].Clear);
    EXPECT_EQ(canvas->Fills[0].Box, (std::vector<int32_t>{-1, -1, 1001, 1001}));
  }
  EXPECT_TRUE(s.Panels.Dest) << "practice shows the destination list again";
  EXPECT_FALSE(s.Panels.Navi);
  EXPECT_EQ(world.DestinationPanel.Rows[kCancelRow], "・行先を指定しない");
}

TEST_F(DestinationPanelTest, CancellingWithNothingSelectedOnlySwitchesThePanel) {
  for (const bool practice : {true, false}) {
    if (practice) Practice();
    else Mission();
    s.SelectedDestination = -1;
    s.GuidanceMode = 6;
    Click(kCancelRow);
    SCOPED_TRACE(practice);
    EXPECT_EQ(s.MessageLog, Lines{});
    EXPECT_EQ(s.GuidanceMode, 6);
    EXPECT_EQ(s.Panels.Dest, practice);
    EXPECT_EQ(s.Panels.Navi, !practice);
    EXPECT_TRUE(pfd.Fills.empty());
  }
}

TEST_F(DestinationPanelTest, KeepingChangesNothingButThePanel) {
  struct Case {
    bool practice;
    int32_t selected, rowAfter;
  };
  const Case cases[] = {{false, 1, kSecond}, {false, -1, kCancelRow}, {true, 0, kFirst},
                        {true, -1, kCancelRow}};
  for (const Case& c : cases) {
    if (c.practice) Practice();
    else Mission();
    s.SelectedDestination = c.selected;
    s.GuidanceMode = 6;
    const vehicle::TVehicleState before = s.Own;
    Click(kKeepRow);
    SCOPED_TRACE(c.rowAfter);
    EXPECT_EQ(s.DestRow, c.rowAfter);
    EXPECT_EQ(s.SelectedDestination, c.selected);
    EXPECT_EQ(s.GuidanceMode, 6);
    EXPECT_EQ(s.MessageLog, Lines{});
    EXPECT_EQ(s.Own.Kind, before.Kind);
    EXPECT_EQ(s.Own.Y, before.Y);
    EXPECT_EQ(s.Panels.Dest, c.practice);
    EXPECT_EQ(s.Panels.Navi, !c.practice);
    EXPECT_TRUE(s.Requests.FocusChatInput);
  }
}

}  // namespace
}  // namespace velmora::app
