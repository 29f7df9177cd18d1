#include "app/reset.h"

#include <gtest/gtest.h>

#include "tests/support/test_vehicles.h"

namespace velmora::app {
namespace {

class ResetTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::FillTestForms(s); }
  state::TMainState s;
};

TEST_F(ResetTest, PanelsThrottleMaximumAndGearByType) {
  // The fighter and the airliner by their numbers; every other type by its
  // kind, type div 10: the light aircraft and the express among them.
  constexpr double kTrain = 11.0 / 12.0;
  struct Case {
    int32_t type;
    state::TPanelVisibility panels;  // PFD, Indicator, Navi, Dest, Video, Power
    double throttleMax;              // m/s²
    double gear;
  } cases[] = {
      {12, {true, true, true, false, false, true}, 10, 0},
      {13, {true, true, true, false, false, true}, 10, 1},
      {10, {true, true, false, true, false, true}, 3.9, 0},
      {11, {true, true, false, true, false, true}, 3.9, 1},
      {14, {true, true, true, false, false, true}, 1.5, 0},
      {15, {true, true, true, false, false, true}, 1.5, 1},
      {19, {true, true, true, false, false, true}, 1.5, 1},
      {20, {false, true, true, false, false, true}, 6, 1},
      {29, {false, true, true, false, false, true}, 6, 1},
      {30, {false, true, true, false, false, true}, kTrain, 1},
      {31, {false, true, true, false, false, true}, kTrain, 1},
      {39, {false, true, true, false, false, true}, kTrain, 1},
      {40, {false, false, true, false, false, true}, kTrain, 1},
      {100, {false, false, true, false, false, true}, kTrain, 1},
      {9, {false, false, false, false, false, false}, 0, 1},
      {0, {false, false, false, false, false, false}, 0, 1},
  };
  for (const Case& c : cases) {
    // The placing step moves the own vehicle, whatever type the panels are for.
    testing::PlaceOwn(s, vehicle::kKindRoad, testing::kCar);
    ResetRoutine(s, c.type, true, 0);
    EXPECT_EQ(s.Panels.PFD, c.panels.PFD) << c.type;
    EXPECT_EQ(s.Panels.Indicator, c.panels.Indicator) << c.type;
    EXPECT_EQ(s.Panels.Navi, c.panels.Navi) << c.type;
    EXPECT_EQ(s.Panels.Dest, c.panels.Dest) << c.type;
    EXPECT_EQ(s.Panels.Power, c.panels.Power) << c.type;
    EXPECT_EQ(s.ThrottleMax, c.throttleMax) << c.type;
    EXPECT_EQ(s.Gear, c.gear) << c.type;
    EXPECT_EQ(s.GearSet, c.gear) << c.type;
    EXPECT_EQ(s.GearCommand, c.gear) << c.type;
  }
}

TEST_F(ResetTest, PlacingSettlesTheVehicleAndTrimsTheThrottle) {
  testing::PlaceOwn(s, vehicle::kKindRoad, testing::kCar);
  s.Own.Z = -0.5;  // 10 cm into the road: the zero step puts it on its wheels
  s.Own.VY = 20;
  s.OriginX = 5;
  s.PitchRate = 3;
  s.Steer = 4;
  s.RollInput = 1;
  s.GuidanceMode = 2;
  ResetRoutine(s, testing::kCar, true, 50000);
  EXPECT_EQ(s.Own.Z, -0.6);
  EXPECT_GT(s.Throttle, 0.1);  // holds 20 m/s
  EXPECT_EQ(s.Brake, 0);       // moving: brake off
  EXPECT_EQ(s.OriginX, 0);
  EXPECT_EQ(s.PitchRate, 0);
  EXPECT_EQ(s.Steer, 0);
  EXPECT_EQ(s.RollInput, 0);
  EXPECT_EQ(s.GuidanceMode, 0);
  EXPECT_EQ(s.LastShotTime, 40000u);
  EXPECT_EQ(s.LastViewDirection, -1);
  EXPECT_EQ(s.StopDistance, 1e38);
  EXPECT_EQ(s.RailSpeedLimit, 1e38);

  // Standing still the brake is set and no thrust is needed.
  s.Own.VY = 0;
  ResetRoutine(s, testing::kCar, true, 0);
  EXPECT_EQ(s.Brake, 1);
  EXPECT_EQ(s.Throttle, 0);
}

TEST_F(ResetTest, WithoutPlacingTheDestinationAndMapPanelsHide) {
  testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
  s.Throttle = 2;
  ResetRoutine(s, testing::kAirlinerGearDown, false, 0);
  EXPECT_FALSE(s.Panels.Dest);
  EXPECT_FALSE(s.Panels.Video);  // nothing recorded
  EXPECT_EQ(s.Throttle, 0);
  EXPECT_TRUE(s.MessageLog.empty());
  s.ReplayEnd = 10;
  ResetRoutine(s, 0, false, 0);
  EXPECT_TRUE(s.Panels.Video);
}

TEST_F(ResetTest, TheCaptainBriefsAServerMission) {
  testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
  s.Start = s.Own;  // the server placed it
  s.BaseWindX = 0;
  s.BaseWindY = -10;  // blowing towards the south: from 360, 19 kt
  world::TWorld world;
  world.DestinationCount = 3;
  s.World = &world;
  ResetRoutine(s, testing::kAirlinerGearDown, true, 0);
  EXPECT_EQ(s.MessageLog, (std::vector<std::string>{"", "機長> 風は方位0から19ノット。",
                                                    "機長> V1 140. VR 150. V2 160.",
                                                    "機長> 君が操縦してくれ。"}));
  EXPECT_EQ(world.DestinationPanel.Rows[4], "・行先を指定しない");
  EXPECT_EQ(s.DestRow, 4);

  // In practice no wind and speeds: the instructor says how the flight starts.
  s.MessageLog.clear();
  s.Start = vehicle::TVehicleState{};
  s.BaseWindX = -7;
  ResetRoutine(s, testing::kAirlinerGearDown, true, 0);
  EXPECT_EQ(s.MessageLog,
            (std::vector<std::string>{"", "教官> 下の行先一覧で着陸する滑走路を選ぶと、",
                                      "教官> その滑走路への進入から始まる。"}));
}

}  // namespace
}  // namespace velmora::app
