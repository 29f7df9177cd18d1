// The run's figures on the sample installation: touchdowns on its runways,
// the commuter's stop at station B, the race course's start line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/reset.h"
#include "app/run_figures.h"
#include "app/tick.h"
#include "physics/railway.h"
#include "tests/data/installation.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/sample_world.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::app {
namespace {

using state::TLandingGrade;
using state::TRunEnd;
using state::TRunEventKind;
using vehicle::TVehicleState;


constexpr int32_t kAirlinerGearDown = 11;
constexpr int32_t kCommuter = 30;
constexpr double kTouchdownSpeed = 70;  // m/s along the runway

class RunFiguresTest : public testing::SampleWorldTest {
 protected:

  const world::TRunwayInfo& Runway(int index) const {
    return *s.World->Destinations[static_cast<std::size_t>(index)];
  }
  static double CourseOf(const world::TRunwayInfo& r) {
    return vehicle::Normalise360(vehicle::Atan2Deg(r.X2 - r.X1, r.Y2 - r.Y1));
  }

  // The practice airliner over runway `index`, `along` m past its threshold
  // and `right` m right of its centre line, half a step above its wheels,
  // descending at `sink` m/s; one tick without elapsed time starts the run.
  void PlaceOverRunway(int index, double along, double right, double sink) {
    EndRunAsLeft(s, clock.Now);
    const world::TRunwayInfo& r = Runway(index);
    const double d = CourseOf(r);
    testing::Vehicle(kAirlinerGearDown)
        .User(1)
        .Time(static_cast<int32_t>(clock.Now))
        .At(r.X1 + along * vehicle::SinDeg(d) + right * vehicle::CosDeg(d),
            r.Y1 + along * vehicle::CosDeg(d) - right * vehicle::SinDeg(d))
        .OnWheels(s, sink * 0.005)
        .Moving(kTouchdownSpeed, d, sink)
        .AsOwn(s);
    s.Start = TVehicleState{};  // practice
    s.Start.FormNo = kAirlinerGearDown;
    s.Own.Pitch = 3;
    s.Own.Flap = 25;
    s.Gear = s.GearSet = s.GearCommand = 1;
    Tick(s, clock, joystick, hooks);
  }

  void Ticks(int n, const std::function<void(int)>& before = {}) {
    for (int i = 0; i < n; ++i) {
      if (before) before(i);
      clock.Now += 10;
      Tick(s, clock, joystick, hooks);
    }
  }

  const state::TRunEvent& Event(int i) const {
    return s.Figures.Run.Events[static_cast<std::size_t>(i)];
  }

  testing::SteppingClock clock{50000};
  TTickHooks hooks;
  TJoystickReading joystick;
};

// The contact figures against the placement: the point travels one step of
// 70 m/s along the runway; the sink rate is the one placed; the grade
// switches at 1 and 3 m/s and the gear breaks above 4 m/s.
TEST_F(RunFiguresTest, TouchdownPointSinkRateAndGrade) {
  constexpr double kStep = kTouchdownSpeed * 0.01;  // m travelled in the contact step
  constexpr double kPointTol = 0.02;                // m: drag changes the step's travel by less
  constexpr double kTwoG = 2.9108;  // m/s: √(2·g·efficiency·stroke), a load of 2 g
  struct Row {
    int Runway;
    double Along, Right, Sink;
    TLandingGrade Grade;
    double Load;  // g; 0: not checked
  };
  const Row rows[] = {
      {0, 400, 3, 0.99, TLandingGrade::Smooth, 0},  {0, 250, -6.5, 1.01, TLandingGrade::Firm, 0},
      {1, 500, -4, 2.99, TLandingGrade::Firm, 0},   {1, 300, 0, 3.01, TLandingGrade::Hard, 0},
      {0, -20, 1, kTwoG, TLandingGrade::Firm, 2.0}, {0, 900, 2, 4.2, TLandingGrade::Crash, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "runway " << row.Runway << ", sink " << row.Sink);
    PlaceOverRunway(row.Runway, row.Along, row.Right, row.Sink);
    Ticks(1);
    const state::TRunRecord& run = s.Figures.Active ? s.Figures.Run : s.Figures.Finished;
    ASSERT_EQ(run.EventCount, 1);
    const state::TTouchdownFigures& t = run.Events[0].Touchdown;
    EXPECT_EQ(run.Events[0].Kind, TRunEventKind::Touchdown);
    EXPECT_EQ(t.Runway, row.Runway);
    EXPECT_NEAR(t.SinkRate, row.Sink, 1e-12);
    EXPECT_NEAR(t.SinkRate * units::kFeetPerMinutePerMetrePerSecond, row.Sink * 200, 1e-9);
    EXPECT_NEAR(t.PastThreshold, row.Along + kStep, kPointTol);
    EXPECT_NEAR(t.FromAimPoint, row.Along + kStep - 300, kPointTol);
    EXPECT_NEAR(t.CentreLine, row.Right, kPointTol);
    EXPECT_EQ(t.OnRunway, row.Along >= 0);
    EXPECT_NEAR(t.GroundSpeed, kTouchdownSpeed, 0.1);
    EXPECT_EQ(t.Grade, row.Grade);
    if (row.Load != 0) {
      EXPECT_NEAR(t.VerticalLoad, row.Load, 1e-3);
    }
    if (row.Grade == TLandingGrade::Crash) {
      EXPECT_EQ(run.End, TRunEnd::Crash);
      EXPECT_STRNE(run.CrashMessage.data(), "");
      EXPECT_EQ(s.Own.Kind, vehicle::kKindNone) << "practice restarts without a vehicle";
    }
  }
}

// Lift-offs within the roll: only those longer than 1 s end in a bounce; one
// longer than 10 s is a touch-and-go, and the next contact a new touchdown.
// The roll-out then ends with the report, and coming to rest ends the run.
TEST_F(RunFiguresTest, BouncesTouchAndGoAndRollOut) {
  struct Row {
    std::vector<int> LiftOffs;  // ticks airborne, each after 50 ticks on the ground
    std::vector<int> Bounces;   // per touchdown
  };
  const Row rows[] = {
      {{}, {0}}, {{99}, {0}}, {{102}, {1}}, {{90, 102, 150}, {2}}, {{1005, 50}, {0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.LiftOffs.size() << " lift-offs");
    const uint32_t finished = s.Figures.FinishedSerial;
    PlaceOverRunway(0, 300, 0, 0.8);
    Ticks(1);
    for (int airborne : row.LiftOffs) {
      Ticks(50);
      // Held 1 m up, level, then put back on the wheels descending gently.
      Ticks(airborne, [&](int) {
        s.Own.Z = s.Forms[kAirlinerGearDown].RestZ - 1;
        s.Own.VZ = 0;
        s.Own.VX = 0;
        s.Own.VY = kTouchdownSpeed;
      });
      s.Own.Z = s.Forms[kAirlinerGearDown].RestZ - 0.001;
      s.Own.VZ = 0.5;
    }
    const std::size_t logBefore = s.MessageLog.size();
    Ticks(6000);  // the brake stops it
    ASSERT_EQ(s.Figures.FinishedSerial, finished + 1);
    const state::TRunRecord& run = s.Figures.Finished;
    EXPECT_EQ(run.End, TRunEnd::Landed);
    ASSERT_EQ(run.EventCount, static_cast<int>(row.Bounces.size()));
    for (std::size_t i = 0; i < row.Bounces.size(); ++i) {
      EXPECT_EQ(run.Events[i].Touchdown.Bounces, row.Bounces[i]) << "touchdown " << i;
    }
    ASSERT_GT(s.MessageLog.size(), logBefore);
    EXPECT_EQ(s.MessageLog[s.MessageLog.size() - 4].rfind("記録> 着陸 中央空港 RWY36", 0), 0u)
        << s.MessageLog[s.MessageLog.size() - 4];
    EXPECT_GT(run.Distance, 300);
    EXPECT_NEAR(run.TopSpeed, kTouchdownSpeed, 1);
  }
}

// The commuter from station A to station B with the golden run's driver:
// braking to stop at the mark, and braking 8 m late. The error is the
// reference point's place against the mark's: stop distance 0 puts it
// Wheelbase/2 + 3 m short of the mark at (−3654.1, −537.8), on track running north.
TEST_F(RunFiguresTest, TrainStopErrorAtStationB) {
  constexpr double kServiceBrake = 35.0 / 36.0;  // m/s²
  constexpr double kStopPointY = -537.8 - 10;    // m
  constexpr double kErrorTol = 0.1;              // m: the golden run's own tolerance
  for (const double late : {0.0, 8.0}) {
    SCOPED_TRACE(::testing::Message() << "braking " << late << " m late");
    physics::ClearTrackMarks(s);
    testing::Vehicle(kCommuter)
        .User(1, 1)
        .At(-4000, -2800, -1.8)
        .Time(static_cast<int32_t>(clock.Now))
        .AsOwn(s);
    s.Start = s.Own;
    ResetRoutine(s, kCommuter, true, clock.Now);
    Tick(s, clock, joystick, hooks);  // no time passes: the run starts
    // The driver aims `late` m beyond the mark: braking whenever the braking
    // distance reaches what is left to that point, counted on past the mark.
    bool departed = false, stopping = false;
    double left = 0;  // m to the point aimed at
    for (int tick = 0; tick < 20000 && s.Figures.Run.EventCount == 0; ++tick) {
      const double v = vehicle::GroundSpeed(s.Own);
      if (!departed && s.StopDistance > 1e3 && s.StopDistance < 1e37) departed = true;
      const double braking = v * v / (2 * kServiceBrake);
      if (departed && !stopping && v > 0 && braking >= s.StopDistance + late) {
        stopping = true;
        left = s.StopDistance + late;
      }
      if (!departed) {
        s.Brake = 0;
        s.Throttle = s.ThrottleMax;
      } else if (stopping) {
        s.Brake = braking >= left ? 1 : 0;
        s.Throttle = 0;
      } else if (v > s.RailSpeedLimit) {
        s.Brake = 1;
      } else {
        s.Brake = 0;
        s.Throttle = v > s.RailSpeedLimit - 1 ? 0 : s.ThrottleMax;
      }
      const double x = s.Own.X, y = s.Own.Y;
      Ticks(1);
      left -= std::hypot(s.Own.X - x, s.Own.Y - y);
    }
    ASSERT_EQ(s.Figures.Run.EventCount, 1);
    const state::TRunEvent& e = Event(0);
    EXPECT_EQ(e.Kind, TRunEventKind::TrainStop);
    const double expected = s.Own.Y - kStopPointY;
    std::printf(
        "commuter at station B, braking %.0f m late: stop error %+.3f m (%+.3f m by position)\n",
        late, e.Stop.Error, expected);
    EXPECT_NEAR(e.Stop.Error, expected, kErrorTol);
    if (late > 0) {
      EXPECT_NEAR(e.Stop.Error, late, 1.0) << "past the mark";
    } else {
      EXPECT_LT(std::fabs(e.Stop.Error), 2.0);
      EXPECT_NEAR(e.Stop.Error, -s.StopDistance, 1e-6);
    }
    EXPECT_LE(e.Stop.OverLimit, 0.05);
    EXPECT_EQ(e.Stop.ProtectionBrakes, 0);
    EXPECT_GT(e.Stop.SinceDeparture, 60);
    EXPECT_EQ(s.MessageLog.back().rfind("記録> 制限速度超過", 0), 0u);

    // The server ends the run at the goal: a stop.
    s.Log("サーバー: 試験さんが「通勤電車」を完了しました。タイム 1.0 秒");
    s.Own = TVehicleState{};
    Ticks(1);
    EXPECT_EQ(s.Figures.Finished.End, TRunEnd::Stopped);
    EXPECT_EQ(s.Figures.Finished.EventCount, 1);
  }
}

// The race time runs from the start line, crossed at a steady speed, to the
// server's completion line 30 s later.
TEST_F(RunFiguresTest, RaceTimeFromTheStartLine) {
  ASSERT_NE(s.World->RaceStartLine, nullptr);
  const world::TRaceCrsInfo& line = *s.World->RaceStartLine;
  const double d = vehicle::Atan2Deg(line.X2 - line.X1, line.Y2 - line.Y1);
  s.Figures.Handle = "試験";
  const double before = line.StartLineDistance - 20;  // m
  testing::Vehicle(20)
      .User(1)
      .At(line.X1 + before * vehicle::SinDeg(d), line.Y1 + before * vehicle::CosDeg(d))
      .OnWheels(s)
      .Heading(vehicle::Normalise360(d))
      .Time(static_cast<int32_t>(clock.Now))
      .AsOwn(s);
  s.Start = s.Own;
  ResetRoutine(s, 20, true, clock.Now);
  s.Own.VX = 20 * vehicle::SinDeg(d);
  s.Own.VY = 20 * vehicle::CosDeg(d);
  int crossed = -1;
  Ticks(400, [&](int i) {
    s.Brake = 0;
    const double along = (s.Own.X + s.OriginX - line.X1) * vehicle::SinDeg(d) +
                         (s.Own.Y + s.OriginY - line.Y1) * vehicle::CosDeg(d);
    if (crossed < 0 && along >= line.StartLineDistance) crossed = i;
  });
  ASSERT_GE(crossed, 0) << "the car reached the start line";
  Ticks(3000 - (400 - crossed));
  s.Log("サーバー: 別人さんが「レース」を完了しました。タイム 1.0 秒");  // not this user
  Ticks(100);
  s.Log("サーバー: 試験さんが「レース」を完了しました。タイム 1.0 秒");
  Ticks(1);
  s.Own = TVehicleState{};
  Ticks(1);
  const state::TRunRecord& run = s.Figures.Finished;
  EXPECT_EQ(run.End, TRunEnd::Goal);
  ASSERT_EQ(run.EventCount, 1);
  EXPECT_EQ(run.Events[0].Kind, TRunEventKind::RaceGoal);
  EXPECT_NEAR(run.Events[0].RaceTime, 31.0, 0.02) << "one tick either way";
}

}  // namespace
}  // namespace velmora::app

namespace velmora::app {
namespace {

// The server ends a train's run at its goal before the last centimetres: a
// crawl counts as the stop, a train still rolling does not.
TEST(RunFiguresServerEnd, CrawlingTrainStopsWhereTheServerEndsTheRun) {
  struct Row {
    double Speed;  // m/s when the server takes the train away
    int Events;
    state::TRunEnd End;
  };
  const Row rows[] = {
      {kServerStopSpeed, 1, state::TRunEnd::Stopped},
      {kServerStopSpeed + 0.01, 0, state::TRunEnd::Goal},
  };
  for (const Row& row : rows) {
    state::TMainState s;
    testing::FillTestForms(s);
    testing::PlaceOwn(s, vehicle::kKindTrain, testing::kTrain);
    s.StopDistance = 30;  // m to the mark, straight ahead (north)
    UpdateRunFigures(s, nullptr, 0);
    // 29 m run at a falling speed, one step each: the mark is 1 m ahead.
    for (int i = 0; i < 29; ++i) {
      s.Own.VY = row.Speed + 0.1 * (29 - i);
      s.Own.Y += 1;
      s.Own.Time += 10;
      s.StopDistance -= 1;
      UpdateRunFigures(s, nullptr, 0.01);
    }
    s.Own.VY = row.Speed;
    UpdateRunFigures(s, nullptr, 0.01);
    s.Log("サーバー: 試験さんが「通勤電車」を完了しました。タイム 1.0 秒");
    s.Own = vehicle::TVehicleState{};
    UpdateRunFigures(s, nullptr, 0.01);
    const state::TRunRecord& run = s.Figures.Finished;
    EXPECT_EQ(run.End, row.End) << row.Speed;
    ASSERT_EQ(run.EventCount, row.Events) << row.Speed;
    if (row.Events == 1) {
      EXPECT_NEAR(run.Events[0].Stop.Error, -1, 1e-9);
    }
  }
}

// The load against published figures for transport aircraft: at the design
// sink rate of 10 ft/s the gear's reaction is 0.7 to 1.5 times the weight,
// 1 g more at the centre of gravity; for a given gear it grows with the
// square of the sink rate.
TEST(RunFiguresLoad, TouchdownLoadLiesInTheTransportRange) {
  constexpr double kDesignSinkRate = 3.048;  // m/s, 10 ft/s
  constexpr double kLeast = 0.7, kMost = 1.5;  // reaction at the design sink rate, weights
  for (const double sinkRate : {kDesignSinkRate, 699 / units::kFeetPerMinutePerMetrePerSecond}) {
    SCOPED_TRACE(::testing::Message() << sinkRate << " m/s");
    const double scale = (sinkRate / kDesignSinkRate) * (sinkRate / kDesignSinkRate);
    EXPECT_GE(TouchdownLoad(sinkRate), 1 + kLeast * scale);
    EXPECT_LE(TouchdownLoad(sinkRate), 1 + kMost * scale);
  }
}

// A train on a straight track north at the step level: each step runs 1 m
// at `speed`, and the look-ahead reads the mark `toMark` m ahead until the
// train passes it, then the next one 1000 m on.
class TrainPastItsMark : public ::testing::Test {
 protected:
  void SetUp() override { testing::FillTestForms(s); }
  void Look() { s.StopDistance = toMark >= 0 ? toMark : toMark + 1000; }
  void Start(double mark) {
    s.Figures = state::TRunFigures{};
    s.MessageLog.clear();
    testing::PlaceOwn(s, vehicle::kKindTrain, testing::kTrain);
    toMark = mark;
    Look();
    UpdateRunFigures(s, nullptr, 0);
  }
  void Run(int metres, double speed) {
    for (int i = 0; i < metres; ++i) {
      s.Own.VY = speed;
      s.Own.Y += 1;
      s.Own.Time += 10;
      toMark -= 1;
      Look();
      UpdateRunFigures(s, nullptr, 0.01);
    }
  }
  void Halt() {
    s.Own.VY = 0;
    s.Own.Time += 10;
    UpdateRunFigures(s, nullptr, 0.01);
  }
  int Lines(const std::string& start) const {
    return static_cast<int>(
        std::count_if(s.MessageLog.begin(), s.MessageLog.end(),
                      [&](const std::string& l) { return l.rfind(start, 0) == 0; }));
  }

  state::TMainState s;
  double toMark = 0;  // m
};

// Past the mark by more than the 50 m that still count as a stop, without
// having stood within them: a missed stop, logged, with the speed at the mark.
TEST_F(TrainPastItsMark, MissedStopBeyondTheReachOfAStop) {
  constexpr int kNone = 0;
  struct Row {
    const char* Name;
    double Mark;      // m ahead at the start
    bool Stands;      // stands a step at the start
    int Before;       // m run at 20 m/s
    bool Halts;       // then stands, and runs on 100 m
    int Event;        // the one event's kind, or kNone
  };
  const Row rows[] = {
      {"runs through", 100, false, 300, false, static_cast<int>(TRunEventKind::MissedStop)},
      {"halts 49 m past", 100, false, 149, true, static_cast<int>(TRunEventKind::TrainStop)},
      {"halts 51 m past", 100, false, 151, true, static_cast<int>(TRunEventKind::MissedStop)},
      {"departs 30 m short of it", 30, true, 200, false, kNone},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    Start(row.Mark);
    if (row.Stands) Halt();
    Run(row.Before, 20);
    if (row.Halts) {
      Halt();
      Run(100, 20);
    }
    const state::TRunRecord& run = s.Figures.Run;
    const bool missed = row.Event == static_cast<int>(TRunEventKind::MissedStop);
    EXPECT_EQ(Lines("記録> 停止位置を通過"), missed ? 1 : 0);
    ASSERT_EQ(run.EventCount, row.Event == kNone ? 0 : 1);
    if (row.Event == kNone) continue;
    EXPECT_EQ(static_cast<int>(run.Events[0].Kind), row.Event);
    if (missed) {
      EXPECT_NEAR(run.Events[0].Stop.Error, 51, 1e-9) << "counted at the first metre beyond";
      EXPECT_EQ(run.Events[0].Stop.MarkSpeed, 20);
      EXPECT_EQ(s.Figures.EventSerial, 1u) << "handed to the logbook";
    }
  }
}

// Each time the train protection brakes, one line with the speed and the
// limit; a halt between stations keeps the count up to the next stop.
TEST_F(TrainPastItsMark, EachProtectionBrakingIsLogged) {
  Start(5000);
  s.RailSpeedLimit = 10;
  for (const int brake : {0, 1, 1, 1, 0, 1, 0}) {
    s.EmergencyBrake = static_cast<uint8_t>(brake);
    Run(1, 20);
  }
  EXPECT_EQ(Lines("記録> ATS 作動  速度 72 km/h（制限 36 km/h）"), 2);
  Halt();
  Run(1, 5);
  EXPECT_EQ(s.Figures.ProtectionBrakes, 2);
}

// The server's completion line is found however long the session, also once
// the log holds all the lines it keeps and stops growing.
TEST(RunFiguresServerEnd, CompletionLineFoundInAFullLog) {
  for (const std::size_t before : {std::size_t{100}, state::kMaxLogLines + 10}) {
    SCOPED_TRACE(::testing::Message() << before << " lines logged before");
    state::TMainState s;
    testing::FillTestForms(s);
    testing::PlaceOwn(s, vehicle::kKindRoad, testing::kCar);
    s.Figures.Handle = "試験";
    for (std::size_t i = 0; i < before; ++i) s.Log("チャット " + std::to_string(i));
    UpdateRunFigures(s, nullptr, 0);
    s.Own.Y += 10;
    s.Own.Time += 10;
    UpdateRunFigures(s, nullptr, 0.01);
    s.Log("サーバー: 試験さんが「レース」を完了しました。タイム 1.0 秒");
    s.Own = vehicle::TVehicleState{};
    UpdateRunFigures(s, nullptr, 0.01);
    EXPECT_EQ(s.Figures.Finished.End, state::TRunEnd::Goal);
  }
}

}  // namespace
}  // namespace velmora::app
