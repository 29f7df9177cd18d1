#include "app/tick.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "app/protocol.h"
#include "app/reset.h"
#include "tests/support/settable_clock.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"

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
    return testing::Vehicle(kCar).User(100 + index).OnWheels(s).Time(time).AsRemote(s, index);
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

// The train protection is the tick's own, after the steps and before the
// frame: a speeding own train is braked with no hook drawing anything, and
// the run's figures log it. Off the track the limit is 0 (a blocked track).
TEST_F(TickTest, TheTickBrakesASpeedingTrainWithoutAFrame) {
  testing::PlaceOwn(s, vehicle::kKindTrain, testing::kTrain);
  s.Start = s.Own;
  s.Own.VY = 5;  // the caution speed of a blocked track is 3.4 m/s
  TTickHooks drawsNothing;
  clock.Now = 10;
  Tick(s, clock, noJoystick, drawsNothing);
  EXPECT_EQ(s.EmergencyBrake, 1);
  for (int i = 0; i < 1000 && vehicle::GroundSpeed(s.Own) > 0; ++i) {
    clock.Now += 10;
    Tick(s, clock, noJoystick, drawsNothing);
  }
  EXPECT_EQ(vehicle::GroundSpeed(s.Own), 0);
  EXPECT_EQ(s.EmergencyBrake, 0) << "released once the train stands";
  EXPECT_EQ(s.Brake, 1) << "the idle train held";
  EXPECT_EQ(std::count(s.MessageLog.begin(), s.MessageLog.end(),
                       "記録> ATS 作動  速度 18 km/h（制限 0 km/h）"),
            1);
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
  // One minute of dead reckoning at most, 100 steps of it per tick.
  EXPECT_EQ(ancient.Steps, 100);
  for (int tick = 0; tick < 70 && ancient.Time != static_cast<int32_t>(clock.Now); ++tick) {
    clock.Now += 10;
    Tick(s, clock, noJoystick, hooks);
  }
  EXPECT_EQ(ancient.Time, static_cast<int32_t>(clock.Now));
  EXPECT_LE(ancient.Steps, 6001 + 70);
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

// The start state a server mission placed, and the run since: the car has
// driven 500 m east.
class OwnFaultTest : public TickTest {
 protected:
  void SetUp() override {
    TickTest::SetUp();
    clock.Now = 100000;
    s.Own.Time = 100000;
    s.Start = s.Own;
    s.Own.X = 500;
    s.Own.VX = 20;
    s.Own.Heading = 90;
    s.Brake = 0;
  }

  // The start state back, and nothing asked of the shell.
  void ExpectStartRestored() {
    EXPECT_EQ(s.Own.Kind, kKindRoad);
    EXPECT_EQ(s.Own.UserNo, 1);
    EXPECT_EQ(s.Own.X, s.Start.X);
    EXPECT_EQ(s.Own.VX, 0);
    EXPECT_FALSE(s.Requests.Close);
    EXPECT_TRUE(s.Requests.ErrorBoxes.empty());
  }
};

TEST_F(OwnFaultTest, AStepThePhysicsCannotTakeEndsTheRunLikeACrash) {
  struct Case {
    const char* what;
    void (*spoil)(vehicle::TVehicleState&);
    std::string line;  // how the log line starts
  } cases[] = {
      {"off the position grid in one step", [](vehicle::TVehicleState& v) { v.VX = 2e7; },
       "自分> 速度 "},
      {"no number", [](vehicle::TVehicleState& v) { v.VZ = NAN; },
       "自分> 乗物の速度と位置が計算できなくなりました。開始状態に戻します。"},
      {"a type number outside the table", [](vehicle::TVehicleState& v) { v.FormNo = 101; },
       "自分> 乗物の型番号 101 は扱えません。開始状態に戻します。"},
  };
  for (const Case& c : cases) {
    s = state::TMainState{};
    SetUp();
    c.spoil(s.Own);
    clock.Now += 10;
    ASSERT_NO_THROW(Tick(s, clock, noJoystick, hooks)) << c.what;
    ASSERT_EQ(s.MessageLog.size(), 1u) << c.what;
    EXPECT_TRUE(s.MessageLog[0].starts_with(c.line)) << c.what << ": " << s.MessageLog[0];
    EXPECT_TRUE(s.MessageLog[0].ends_with("開始状態に戻します。")) << c.what;
    ExpectStartRestored();
    // The game goes on from the start.
    s.Brake = 0;
    s.Throttle = s.ThrottleMax;
    for (int tick = 0; tick < 100; ++tick) {
      clock.Now += 10;
      Tick(s, clock, noJoystick, hooks);
    }
    EXPECT_GT(vehicle::GroundSpeed(s.Own), 0) << c.what;
    EXPECT_EQ(s.MessageLog.size(), 1u) << c.what;
  }
}

TEST_F(OwnFaultTest, AStartThatCannotBeRunIsTakenOutOfPlayOnce) {
  s.Start.VX = 2e7;  // a start the physics cannot step from
  s.Own = s.Start;
  for (int tick = 0; tick < 300; ++tick) {
    clock.Now += 10;
    ASSERT_NO_THROW(Tick(s, clock, noJoystick, hooks));
  }
  // Restored once, faulted again at once: no vehicle, and the log stays quiet.
  ASSERT_EQ(s.MessageLog.size(), 3u);
  EXPECT_EQ(s.MessageLog[2], "自分> 開始状態からも続けられないため、乗物を外しました。");
  EXPECT_EQ(s.Own.Kind, vehicle::kKindNone);
  EXPECT_EQ(s.Own.UserNo, 1);  // still logged in
  EXPECT_FALSE(s.Panels.Power);
}

TEST_F(OwnFaultTest, TheShellsLastResortRestoresOrGivesUpOnARepeat) {
  // With a vehicle in play the start comes back.
  EXPECT_TRUE(RecoverFromFault(s, "自分> 内部エラーが発生しました。", 100000));
  EXPECT_EQ(s.MessageLog.back(), "自分> 内部エラーが発生しました。開始状態に戻します。");
  ExpectStartRestored();
  // Without one there is nothing to restore: a fault within a second of the
  // last one is one the program cannot get past.
  s.Own.Kind = vehicle::kKindNone;
  s.Own.FormNo = 0;
  struct Case {
    uint32_t now;  // ms
    bool goesOn;
  } cases[] = {{100999, false}, {102000, true}, {103000, true}, {103999, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(RecoverFromFault(s, "自分> 内部エラーが発生しました。", c.now), c.goesOn) << c.now;
  }
}

TEST_F(OwnFaultTest, NoVehicleGoesThroughTheGround) {
  // An airliner 1 cm above its wheels' height over a runway in a mission,
  // sinking: the gear takes up to 4 m/s, the fuselage nothing.
  constexpr double kAboveWheels = 0.01;  // m
  struct Case {
    int32_t type;
    double sinkRate;  // m/s, at the start of the step
    bool crash;
  } cases[] = {
      {testing::kAirlinerGearDown, 3.9, false},
      {testing::kAirlinerGearDown, 4.1, true},
      {testing::kAirlinerGearUp, 1.0, true},
      {testing::kAirlinerGearUp, 100.0, true},
  };
  for (const Case& c : cases) {
    s = state::TMainState{};
    testing::FillTestForms(s);
    testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
    s.Own.Time = static_cast<int32_t>(clock.Now);
    s.Start = s.Own;  // standing at the threshold
    ResetRoutine(s, c.type, true, clock.Now);
    s.Own.FormNo = c.type;
    s.Own.Y = 1000;
    s.Own.Z = s.Forms[c.type].RestZ - kAboveWheels;
    s.Own.VZ = c.sinkRate;
    double deepest = -1e9;  // m below the wheels' height, over 20 s
    for (int tick = 0; tick < 2000; ++tick) {
      clock.Now += 10;
      Tick(s, clock, noJoystick, hooks);
      deepest = std::max(deepest, s.Own.Z - s.Forms[s.Own.FormNo].RestZ);
    }
    EXPECT_LE(deepest, 0) << c.type << " at " << c.sinkRate;
    EXPECT_EQ(s.Own.Y, c.crash ? s.Start.Y : 1000) << c.type << " at " << c.sinkRate;
    const auto impacts =
        std::count_if(s.MessageLog.begin(), s.MessageLog.end(), [](const std::string& line) {
          return line.starts_with("自分> 地面に衝突しました（降下率 ");
        });
    EXPECT_EQ(impacts, c.crash ? 1 : 0) << c.type << " at " << c.sinkRate;
  }
}

// A scripted server whose clock leaps ahead: position messages every 100 ms
// with the own free body (1 m/s east, so its travel is its simulated time)
// and 99 remote fighters. Returns the worst tick.
struct TLeapFigures {
  double OwnSpan = 0;       // s of own simulation in one tick
  int RemoteSteps = 0;      // dead-reckoning steps of one remote vehicle in one tick
  double WallMs = 0;        // ms, the longest tick (reported, not checked)
  double CpuMs = 0;         // ms of processor time of the longest tick
  bool AtTheClock = false;  // every vehicle at the synchronised clock at the end
};

TLeapFigures RunClockLeap(int64_t leap) {
  state::TMainState s;
  testing::FillTestForms(s);
  testing::TSettableClock clock;
  RecordingHooks hooks;
  TJoystickReading joystick;
  constexpr int kRemotes = 99;
  const auto message = [&](int64_t serverTime, bool withOwn) {
    std::string line =
        "52566771;40;100;" + std::to_string(static_cast<int32_t>(serverTime)) + ";0;0;";
    if (withOwn) line += "1;0;4;40;0;0;-10000;9000;0;0;0;100;0;0;0;";
    for (int i = 0; i < kRemotes; ++i) {
      line += std::to_string(2 + i) + ";0;1;12;" + std::to_string(i * 10000) +
              ";0;-300000;0;0;0;0;0;15000;0;0;";
    }
    ClientSocketRead(s, line + "0;\n", SynchronisedClock(s, clock));
  };
  clock.Now = 1000;
  ClientSocketRead(s, "52566771;30;1;3;\n", clock.Now);
  int64_t serverTime = 50000;
  message(serverTime, true);
  s.Throttle = 0;

  TLeapFigures worst;
  std::array<int, kRemotes> steps{};
  const auto remote = [&](int i) -> vehicle::TVehicleState& {
    return s.Remote[static_cast<std::size_t>(i)];
  };
  for (int round = 0; round < 60; ++round) {
    serverTime += 100;
    if (round == 10) serverTime += leap;
    if (round > 0) message(serverTime, false);
    for (int tick = 0; tick < 10; ++tick) {
      clock.Now += 10;
      const double x = s.Own.X + s.OriginX;
      for (int i = 0; i < kRemotes; ++i) steps[static_cast<std::size_t>(i)] = remote(i).Steps;
      const auto start = std::chrono::steady_clock::now();
      const std::clock_t cpuStart = std::clock();
      Tick(s, clock, joystick, hooks);
      const double cpu = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
      const std::chrono::duration<double, std::milli> wall =
          std::chrono::steady_clock::now() - start;
      worst.WallMs = std::max(worst.WallMs, wall.count());
      worst.CpuMs = std::max(worst.CpuMs, cpu);
      worst.OwnSpan = std::max(worst.OwnSpan, s.Own.X + s.OriginX - x);
      for (int i = 0; i < kRemotes; ++i) {
        worst.RemoteSteps =
            std::max(worst.RemoteSteps, remote(i).Steps - steps[static_cast<std::size_t>(i)]);
      }
    }
  }
  const int32_t now = static_cast<int32_t>(SynchronisedClock(s, clock));
  worst.AtTheClock = s.Own.Time == now && vehicle::RemoteCount(s.Remote) == kRemotes;
  for (int i = 0; i < kRemotes; ++i) worst.AtTheClock &= remote(i).Time == now;
  return worst;
}

TEST(ClockLeap, ATickSimulatesAtMostOneSecondAndAHundredStepsOfEachRemote) {
  constexpr double kGridTol = 100.0 / 32768;  // m: a hundred steps truncated onto a 2^-15 m grid
  for (const int64_t leap : {int64_t{600000}, int64_t{2000000000}}) {
    const TLeapFigures worst = RunClockLeap(leap);
    std::printf("clock leap of %lld ms, 99 remote vehicles: longest tick %.1f ms (%.1f ms of "
                "processor time)\n",
                static_cast<long long>(leap), worst.WallMs, worst.CpuMs);
    EXPECT_LE(worst.OwnSpan, 1.0 + kGridTol) << leap;
    EXPECT_GT(worst.OwnSpan, 1.0 - kGridTol) << leap << ": the last second is simulated";
    EXPECT_EQ(worst.RemoteSteps, 100) << leap;
    EXPECT_TRUE(worst.AtTheClock) << leap;
  }
}

}  // namespace
}  // namespace velmora::app
