#include "app/controls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "tests/support/recording_canvas.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"
#include "world/shapes.h"
#include "world/world.h"

namespace velmora::app {
namespace {

using testing::kAirlinerGearUp;
using testing::kCar;
using testing::kFighterGearUp;

constexpr uint32_t kNow = 100000;  // ms, synchronised clock of the tests

class ControlsTest : public ::testing::Test {
 protected:
  ControlsTest() : s(std::make_unique<state::TMainState>()) { testing::FillTestForms(*s); }

  void Place(int32_t kind, int32_t formNo) {
    testing::PlaceOwn(*s, kind, formNo);
    s->ThrottleMax = 10;
  }
  int32_t Down(int32_t key, uint32_t shift = 0, uint32_t now = kNow) {
    OnKeyDown(*s, key, shift, now);
    return key;
  }
  int32_t Up(int32_t key) {
    OnKeyUp(*s, key, 0);
    return key;
  }

  std::unique_ptr<state::TMainState> s;
};

TEST_F(ControlsTest, HelpBeforeAVehicleAndNothingElse) {
  Down(kKeyF8);
  EXPECT_TRUE(s->Requests.ShowHelp);
  s->ThrottleMax = 10;
  for (const int32_t key : {kKeyF1, kKeyF3, kKeyF4, kKeyUp, kKeyEnd}) Down(key);
  EXPECT_EQ(s->Throttle, 0);
  EXPECT_EQ(s->ThrottleRate, 0);
  EXPECT_EQ(s->PitchInput, 0);
  EXPECT_EQ(s->EndKey, 0);
  EXPECT_TRUE(s->MessageLog.empty());
  // A vehicle of a type the table cannot hold is treated as none.
  s->Own.FormNo = 150;
  Down(kKeyF4);
  Up(kKeyF1);
  EXPECT_EQ(s->Throttle, 0);
}

TEST_F(ControlsTest, FlapDetents) {
  struct Case {
    int32_t Key;
    double From, To;
  };
  const Case cases[] = {{kKeyF6, 30, 25}, {kKeyF6, 25, 20}, {kKeyF6, 20, 10}, {kKeyF6, 10, 5},
                        {kKeyF6, 5, 1},   {kKeyF6, 1, 0},   {kKeyF6, 0, 0},   {kKeyF7, 0, 1},
                        {kKeyF7, 1, 5},   {kKeyF7, 5, 10},  {kKeyF7, 10, 20}, {kKeyF7, 20, 25},
                        {kKeyF7, 25, 30}, {kKeyF7, 30, 30}, {kKeyF6, 15, 15}, {kKeyF7, 15, 15}};
  for (const Case& c : cases) {
    // A fighter takes the command at once and says nothing.
    Place(vehicle::kKindAircraft, kFighterGearUp);
    s->FlapCommand = s->FlapSet = c.From;
    Down(c.Key);
    EXPECT_EQ(s->FlapCommand, c.To) << c.Key << " from " << c.From;
    EXPECT_EQ(s->FlapSet, c.To) << c.Key << " from " << c.From;
    EXPECT_TRUE(s->MessageLog.empty());
  }
}

TEST_F(ControlsTest, AirlinerCallsForFlapsAndGear) {
  struct Case {
    int32_t Key;
    double From;
    const char* Line;
  };
  const Case cases[] = {{kKeyF7, 0, "自分> Flaps 1."},   {kKeyF7, 20, "自分> Flaps 25."},
                        {kKeyF6, 5, "自分> Flaps 1."},   {kKeyF6, 1, "自分> Flaps up."},
                        {kKeyF6, 15, nullptr},           {kKeyF7, 15, nullptr}};
  for (const Case& c : cases) {
    Place(vehicle::kKindAircraft, kAirlinerGearUp);
    s->MessageLog.clear();
    s->FlapCommand = s->FlapSet = c.From;
    s->CommandTime = 0;
    Down(c.Key);
    // The crew moves the flaps: the accepted setting waits.
    EXPECT_EQ(s->FlapSet, c.From);
    if (c.Line == nullptr) {
      EXPECT_TRUE(s->MessageLog.empty()) << c.From;
      EXPECT_EQ(s->CommandTime, 0u);
    } else {
      ASSERT_EQ(s->MessageLog.size(), 1u) << c.From;
      EXPECT_EQ(s->MessageLog[0], c.Line);
      EXPECT_EQ(s->CommandTime, kNow);
    }
  }

  Place(vehicle::kKindAircraft, kAirlinerGearUp);
  s->MessageLog.clear();
  s->GearCommand = s->GearSet = 1;
  Down(kKeyF5);
  EXPECT_EQ(s->GearCommand, 0);
  EXPECT_EQ(s->GearSet, 1);
  ASSERT_EQ(s->MessageLog.size(), 1u);
  EXPECT_EQ(s->MessageLog[0], "自分> Gear up.");
  Down(kKeyF5);
  EXPECT_EQ(s->MessageLog.size(), 1u);  // back where the crew has it: nothing to call

  Place(vehicle::kKindAircraft, kFighterGearUp);
  s->MessageLog.clear();
  s->GearCommand = s->GearSet = 1;
  Down(kKeyF5);
  EXPECT_EQ(s->GearSet, 0);
  EXPECT_TRUE(s->MessageLog.empty());
}

TEST_F(ControlsTest, PowerOnTheGroundEndsTheLandingRoll) {
  struct Case {
    int32_t key;
    double height;  // m of the wheels above the ground
    uint8_t landingRoll;
  };
  const Case cases[] = {{kKeyF4, 0, 0}, {kKeyF3, 0, 0}, {kKeyF2, 0, 1}, {kKeyF1, 0, 1},
                        {kKeyF4, 0.01, 1}, {kKeyF3, 0.01, 1}};
  for (const Case& c : cases) {
    Place(vehicle::kKindAircraft, kAirlinerGearUp);
    s->Own.Z -= c.height;
    s->LandingRoll = 1;
    Down(c.key);
    EXPECT_EQ(s->LandingRoll, c.landingRoll) << c.key << " at " << c.height << " m";
  }
}

TEST_F(ControlsTest, ThrottleAndBrakeKeys) {
  Place(vehicle::kKindAircraft, kAirlinerGearUp);
  s->Brake = 1;
  Down(kKeyF4);
  EXPECT_DOUBLE_EQ(s->Throttle, 9);
  EXPECT_EQ(s->Brake, 0);
  ASSERT_EQ(s->MessageLog.size(), 1u);
  EXPECT_EQ(s->MessageLog[0], "自分> Take off.");
  Down(kKeyF2, kShiftKey | kCtrlKey);  // function keys ignore the shift state
  EXPECT_DOUBLE_EQ(s->ThrottleRate, -2);
  Up(kKeyF2);
  EXPECT_EQ(s->ThrottleRate, 0);

  Place(vehicle::kKindRoad, kCar);
  Down(kKeyF4);
  EXPECT_DOUBLE_EQ(s->Throttle, 10);
  Down(kKeyF1);
  EXPECT_EQ(s->Brake, 1);
  // Released at rest the brake latches; released while rolling it lets go
  // and the throttle holds the speed.
  Up(kKeyF1);
  EXPECT_EQ(s->Brake, 1);
  s->Own.VY = 5;
  s->Throttle = 0;
  Up(kKeyF1);
  EXPECT_EQ(s->Brake, 0);
  EXPECT_GT(s->Throttle, 0);
}

TEST_F(ControlsTest, ArrowsSteerOrTurnTheViewAndAreConsumed) {
  Place(vehicle::kKindAircraft, kFighterGearUp);
  struct Case {
    int32_t Key;
    uint32_t Shift;
    double Pitch, Roll;
    int32_t View;
  };
  const Case cases[] = {{kKeyUp, 0, -1, 0, 0},
                        {kKeyDown, 0, 1, 0, 0},
                        {kKeyLeft, 0, 0, -1, 0},
                        {kKeyRight, 0, 0, 1, 0},
                        {kKeyRight, kShiftKey, 0, 0, 90},
                        {kKeyDown, kShiftKey, 0, 0, 180},
                        {kKeyLeft, kShiftKey | kCtrlKey, 0, 0, 270},
                        {kKeyUp, kShiftKey | kAltKey, 0, 0, 0}};
  for (const Case& c : cases) {
    s->PitchInput = s->RollInput = 0;
    s->ViewDirection = 45;
    EXPECT_EQ(Down(c.Key, c.Shift), 0) << c.Key;
    EXPECT_EQ(s->PitchInput, c.Pitch) << c.Key;
    EXPECT_EQ(s->RollInput, c.Roll) << c.Key;
    EXPECT_EQ(s->ViewDirection, c.Shift != 0 ? c.View : 45) << c.Key;
  }
  Down(kKeyUp);
  Up(kKeyUp);
  EXPECT_EQ(s->PitchInput, 0);
  EXPECT_EQ(Down(kKeyF4), kKeyF4);  // other keys go on to the widget
}

TEST_F(ControlsTest, FreezeNeedsShiftCtrlAndAlt) {
  Place(vehicle::kKindRoad, kCar);
  Down(kKeyNumLock, kShiftKey | kCtrlKey);
  EXPECT_EQ(s->Freeze, 0);
  Down(kKeyNumLock, kShiftKey | kCtrlKey | kAltKey);
  EXPECT_EQ(s->Freeze, 1);
  Down(kKeyNumLock, kShiftKey | kCtrlKey | kAltKey);
  EXPECT_EQ(s->Freeze, 0);
  Down(kKeyEnd, kShiftKey);
  EXPECT_EQ(s->EndKey, 0);
  Down(kKeyEnd);
  EXPECT_EQ(s->EndKey, 1);
  Up(kKeyEnd);
  EXPECT_EQ(s->EndKey, 0);
}

TEST_F(ControlsTest, NavigationDisplayClickOpensTheDestinations) {
  Place(vehicle::kKindRoad, kCar);
  s->Panels.Navi = true;
  ListBoxNaviMouseUp(*s);
  EXPECT_TRUE(s->Panels.Navi);
  Place(vehicle::kKindAircraft, kAirlinerGearUp);
  ListBoxNaviMouseUp(*s);
  EXPECT_FALSE(s->Panels.Navi);
  EXPECT_TRUE(s->Panels.Dest);
  EXPECT_TRUE(s->Requests.FocusChatInput);
}

class LockOnTest : public ControlsTest {
 protected:
  LockOnTest() {
    Place(vehicle::kKindAircraft, kFighterGearUp);
    s->Own.Z = -1000;
    s->Own.GroupNo = 4;
    s->LastShotTime = kNow - 20000;
  }
  vehicle::TVehicleState& AddFighter(int32_t userNo, double bearing, double distance,
                                     int32_t groupNo = 4) {
    return testing::Vehicle(kFighterGearUp)
        .User(userNo, groupNo)
        .At(vehicle::SinDeg(bearing) * distance, vehicle::CosDeg(bearing) * distance, s->Own.Z)
        .AsNextRemote(*s);
  }
  // Runs the step with the fire key held; whether a shot went out.
  bool Fires(uint32_t now = kNow) {
    s->Requests.Send.clear();
    s->EndKey = 1;
    LockOnStep(*s, &canvas, 1017, 577, now);
    return s->Requests.Send.find("60;") != std::string::npos;
  }

  testing::RecordingCanvas canvas;
};

TEST_F(LockOnTest, RangeAndCone) {
  struct Case {
    double Bearing, Distance;
    bool Locked;
  };
  const Case cases[] = {{0, 3999, true}, {0, 4001, false}, {14, 2000, true}, {16, 2000, false},
                        {-16, 2000, false}, {180, 1000, false}};
  for (const Case& c : cases) {
    s->Remote[0].UserNo = 0;
    AddFighter(9, c.Bearing, c.Distance);
    s->LastShotTime = kNow - 20000;
    canvas.Calls.clear();
    EXPECT_EQ(Fires(), c.Locked) << c.Bearing << "° at " << c.Distance << " m";
    EXPECT_EQ(canvas.Count("Rectangle"), c.Locked ? 1 : 0);
  }
}

TEST_F(LockOnTest, OnlyTheFirstFighterOfTheGroupCounts) {
  AddFighter(8, 0, 2000, 5);   // another group: ignored
  AddFighter(9, 0, 6000);      // first of the group, out of range
  AddFighter(10, 0, 1000);     // straight ahead, but second
  EXPECT_FALSE(Fires());
  EXPECT_TRUE(canvas.Calls.empty());
  // Without a user number nothing is locked either.
  s->Remote[0].UserNo = 0;
  AddFighter(10, 0, 1000);
  s->Own.UserNo = 0;
  EXPECT_FALSE(Fires());
}

TEST_F(LockOnTest, TenSecondsBetweenShots) {
  AddFighter(9, 0, 2000);
  s->LastShotTime = kNow;
  EXPECT_FALSE(Fires(kNow + 5000));
  EXPECT_FALSE(Fires(kNow + 9999));
  EXPECT_TRUE(Fires(kNow + 10000));
  EXPECT_EQ(s->LastShotTime, kNow + 10000);
  EXPECT_FALSE(Fires(kNow + 15000));
  EXPECT_TRUE(Fires(kNow + 20000));
  // The shot names the target.
  EXPECT_NE(s->Requests.Send.find("60;1;0;9;"), std::string::npos) << s->Requests.Send;
  // No key, no shot.
  s->EndKey = 0;
  s->Requests.Send.clear();
  LockOnStep(*s, &canvas, 1017, 577, kNow + 40000);
  EXPECT_TRUE(s->Requests.Send.empty());
  // A joystick button fires as well.
  s->JoystickButton = 1;
  LockOnStep(*s, &canvas, 1017, 577, kNow + 40000);
  EXPECT_FALSE(s->Requests.Send.empty());
}

TEST_F(LockOnTest, TargetBoxAtTheProjectedPoint) {
  AddFighter(9, 0, 2000);
  s->EndKey = 0;
  LockOnStep(*s, &canvas, 1017, 577, kNow);
  ASSERT_EQ(canvas.Count("Rectangle"), 1);
  const auto& box = canvas.Calls.back();
  // Straight ahead at the eye's height less EyeUp: the box sits below the
  // centre by round(EyeUp / (2000 − EyeForward) · 3.732051 · 288).
  const vehicle::TFormParam& f = s->Forms[kFighterGearUp];
  const int32_t y = 288 + static_cast<int32_t>(std::nearbyint(f.EyeUp / (2000 - f.EyeForward) * 3.732051 * 288));
  EXPECT_EQ(box.Values, (std::vector<int32_t>{508 - 10, y - 10, 508 + 11, y + 11}));
  EXPECT_EQ(box.PenColour, kTargetBoxColour);
  EXPECT_EQ(box.PenWidth, 2);
  EXPECT_TRUE(box.ClearBrush);
  // Looking sideways: no box.
  canvas.Calls.clear();
  s->ViewDirection = 90;
  LockOnStep(*s, &canvas, 1017, 577, kNow);
  EXPECT_TRUE(canvas.Calls.empty());
}

TEST_F(ControlsTest, BannerClick) {
  world::TWorld world;
  // A board 40 m wide and 20 m tall, 200 m ahead of a camera 2 m above the ground.
  ASSERT_TRUE(world.Objects.Append(std::make_unique<world::TBannerInfo>(
      -20.0f, 200.0f, 20.0f, 200.0f, -20.0f, 0, "http://example.invalid/board")));
  s->World = &world;
  s->Camera.Z = -2;
  s->FieldOfView = 30;
  // The board's middle, 10 m up, is 8 m above the eye: y = 288 − 8/200·3.732·288.
  ListBoxViewMouseDown(*s, 508, 245, 1017, 577);
  ASSERT_EQ(s->Requests.OpenLinks.size(), 1u);
  EXPECT_EQ(s->Requests.OpenLinks[0], "http://example.invalid/board");
  // Beside the board: nothing.
  s->Requests.OpenLinks.clear();
  ListBoxViewMouseDown(*s, 900, 245, 1017, 577);
  EXPECT_TRUE(s->Requests.OpenLinks.empty());
  // A slanted board crossing the middle of the view 25 m ahead is hit; moved
  // 10 m nearer, its left end lies behind the viewer and it never is.
  world::TWorld slanted;
  ASSERT_TRUE(slanted.Objects.Append(std::make_unique<world::TBannerInfo>(
      -20.0f, 200.0f, 20.0f, 240.0f, -20.0f, 0, "ahead")));
  s->World = &slanted;
  s->Camera.Y = 195;
  ListBoxViewMouseDown(*s, 508, 288, 1017, 577);
  ASSERT_EQ(s->Requests.OpenLinks.size(), 1u);
  EXPECT_EQ(s->Requests.OpenLinks[0], "ahead");
  s->Requests.OpenLinks.clear();
  slanted.Objects.Clear();
  ASSERT_TRUE(slanted.Objects.Append(std::make_unique<world::TBannerInfo>(
      -20.0f, 190.0f, 20.0f, 230.0f, -20.0f, 0, "behind")));
  ListBoxViewMouseDown(*s, 508, 288, 1017, 577);
  EXPECT_TRUE(s->Requests.OpenLinks.empty());
}

}  // namespace
}  // namespace velmora::app
