#include "app/tick.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/settable_clock.h"
#include "tests/support/test_vehicles.h"

namespace velmora::app {
namespace {

using testing::kCar;
using vehicle::kKindRoad;

class RecordingHooks : public TTickHooks {
 public:
  std::vector<std::string> Calls;
  void DrawFrame() override { Calls.push_back("draw"); }
  void LockOn() override { Calls.push_back("lockon"); }
  void SendState() override { Calls.push_back("send"); }
};

class TickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FillTestForms(s);
    testing::PlaceOwn(s, kKindRoad, kCar);
    s.Start = s.Own;  // a server mission
  }

  // A remote car at the given time stamp.
  vehicle::TVehicleState& AddRemote(int index, int32_t time) {
    vehicle::TVehicleState& r = s.Remote[static_cast<std::size_t>(index)];
    r.Kind = kKindRoad;
    r.FormNo = kCar;
    r.UserNo = 100 + index;
    r.Z = s.Forms[kCar].RestZ;
    r.Time = time;
    return r;
  }

  state::TMainState s;
  testing::TSettableClock clock;
  RecordingHooks hooks;
  TJoystickReading noJoystick;
};

TEST(Joystick, AxisScalingAndDeadZone) {
  struct Case {
    uint32_t position;
    double expected;
  } cases[] = {
      {32768, 0}, {65535, 1.05}, {0, -1.05}, {37000, 0}, {28000, 0},
      {32768 + 26214, 0.8},  // just under one full unit from the centre
  };
  constexpr double kAxisTol = 1e-4;  // of full deflection: 65535 is one count short of 65536
  for (const Case& c : cases) {
    EXPECT_NEAR(JoystickAxis(c.position), c.expected, kAxisTol) << c.position;
  }
}

TEST_F(TickTest, RemoteVehiclesCatchUpInStepsOfAtMostTenMilliseconds) {
  clock.Now = 1000;
  s.Own.Time = 990;
  AddRemote(0, 965);   // 35 ms behind the target: 10, 10, 10, 5
  AddRemote(1, 1025);  // 25 ms ahead: -10, -10, -5
  AddRemote(2, 1000);  // on time: one step of 0
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(s.Own.Time, 1000);
  EXPECT_EQ(s.Remote[0].Time, 1000);
  EXPECT_EQ(s.Remote[0].Steps, 4);
  EXPECT_EQ(s.Remote[1].Time, 1000);
  EXPECT_EQ(s.Remote[1].Steps, 3);
  EXPECT_EQ(s.Remote[2].Steps, 1);
}

TEST_F(TickTest, OwnVehicleRunsOneControlStepPerTenMilliseconds) {
  clock.Now = 5025;
  s.Own.Time = 5000;
  AddRemote(0, 5000);
  s.Brake = 0;
  s.Throttle = 0;
  s.ThrottleMax = 100;
  s.ThrottleRate = 1000;  // throttle += 10 per 10 ms of control step
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(s.Own.Time, 5025);
  // Three passes of 10, 10 and 5 ms, each bringing the remote to its target first.
  EXPECT_EQ(s.Remote[0].Steps, 3);
  EXPECT_EQ(s.Remote[0].Time, 5025);
  EXPECT_DOUBLE_EQ(s.Throttle, 25);
}

TEST_F(TickTest, ClockWrapIsADifferenceNotAJump) {
  s.Own.Time = static_cast<int32_t>(0xFFFFFFF0u);
  clock.Now = 0x00000010u;  // 32 ms later, across the wrap
  AddRemote(0, static_cast<int32_t>(0xFFFFFFF0u));
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(static_cast<uint32_t>(s.Own.Time), 0x10u);
  EXPECT_EQ(s.Remote[0].Steps, 4);  // 10, 10, 10, 2
}

TEST_F(TickTest, HooksRunInOrderAndTheStateGoesOutAtItsInterval) {
  clock.Now = 100;
  s.Own.Time = 100;
  s.ReplayMode = 6;
  s.NextFrameTime = 100;
  s.SendInterval = 0;
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(hooks.Calls, (std::vector<std::string>{"draw", "lockon", "send"}));
  EXPECT_EQ(s.ReplayEnd, 1);  // the frame at 100 ms was recorded before drawing

  hooks.Calls.clear();
  s.SendInterval = 500;
  s.LastSendTime = 0;
  clock.Now = 200;  // 200 ms since the last send
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(hooks.Calls, (std::vector<std::string>{"draw", "lockon"}));
  clock.Now = 500;
  hooks.Calls.clear();
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(hooks.Calls.back(), "send");
  EXPECT_EQ(s.LastSendTime, 500u);
}

TEST_F(TickTest, PracticeModeEmptiesTheRemoteListAndSendsNothing) {
  s.Start = vehicle::TVehicleState{};  // practice
  AddRemote(0, 0);
  s.SendInterval = 0;
  clock.Now = 10;
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(vehicle::RemoteCount(s.Remote), 0);
  EXPECT_EQ(hooks.Calls, (std::vector<std::string>{"draw"}));
}

TEST_F(TickTest, PlaybackOnlyCopiesAndDraws) {
  s.ReplayMode = 3;
  s.CameraNo = 1;
  s.Own.Time = 0;
  clock.Now = 1000;
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(hooks.Calls, (std::vector<std::string>{"draw", "lockon"}));
  EXPECT_EQ(s.Own.Time, 0);  // nothing simulated
  s.CameraNo = 3;
  hooks.Calls.clear();
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(hooks.Calls, (std::vector<std::string>{"draw"}));
}

TEST_F(TickTest, JoystickReachesTheControlsAndIsStored) {
  TJoystickReading stick;
  stick.Present = true;
  stick.X = 65535;
  stick.Y = 32768;
  stick.AnyButton = true;
  clock.Now = 10;
  Tick(s, clock, stick, hooks);
  EXPECT_NEAR(s.StickX, 1.05, 1e-4);
  EXPECT_EQ(s.StickY, 0);
  EXPECT_EQ(s.JoystickButton, 1);
  // The car steered with the stick: the wheel is at its limit's share.
  EXPECT_GT(s.Steer, 0);
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(s.StickX, 0);
  EXPECT_EQ(s.JoystickButton, 0);
}

TEST_F(TickTest, BadRemoteStatesNeitherCrashNorHang) {
  clock.Now = 100000;
  s.Own.Time = 100000;
  vehicle::TVehicleState& unknownType = AddRemote(0, 100000);
  unknownType.FormNo = 77;  // a type no line of vehicles.dat filled: lift divides by zero
  s.Forms[77] = vehicle::TFormParam{};
  vehicle::TVehicleState& tooFast = AddRemote(1, 99990);
  tooFast.VX = 2e7;  // m/s: leaves the position grid in one step
  vehicle::TVehicleState& ancient = AddRemote(2, 100000 - 2000000000);  // a bad age
  Tick(s, clock, noJoystick, hooks);
  EXPECT_EQ(s.Remote[0].Kind, 0);
  EXPECT_EQ(s.Remote[1].Kind, 0);
  EXPECT_EQ(s.Remote[2].Kind, kKindRoad);
  EXPECT_EQ(s.Remote[2].Time, 100000);
  EXPECT_LE(s.Remote[2].Steps, 6001);  // one minute of dead reckoning at most
  (void)ancient;
}

TEST_F(TickTest, GustsSwingTheWindBetweenBounds) {
  s.Start = vehicle::TVehicleState{};  // practice
  s.BaseWindX = 10;
  s.BaseWindY = -5;
  double lowest = 1, highest = 1;
  for (int i = 0; i < 100000; ++i) {
    AdvanceGust(s, 10);
    lowest = std::min(lowest, s.Gust.Factor);
    highest = std::max(highest, s.Gust.Factor);
    ASSERT_DOUBLE_EQ(s.WindX, 10 * s.Gust.Factor);
    ASSERT_DOUBLE_EQ(s.WindY, -5 * s.Gust.Factor);
  }
  // Swings of about ±0.2 around 1: it reaches both turning regions, never far beyond.
  EXPECT_LT(lowest, 0.82);
  EXPECT_GT(highest, 1.18);
  EXPECT_GT(lowest, 0.75);
  EXPECT_LT(highest, 1.25);
}

}  // namespace
}  // namespace velmora::app
