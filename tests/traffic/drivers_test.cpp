// The traffic's drivers on the core alone: the sample installation, the
// server's start points, the tick at 10 ms and nothing but the controls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "app/panels.h"
#include "app/protocol.h"
#include "app/reset.h"
#include "app/run_figures.h"
#include "app/tick.h"
#include "physics/railway.h"
#include "tests/data/installation.h"
#include "tests/data/start_points.h"
#include "tests/support/sample_world.h"
#include "traffic/drivers.h"
#include "vehicle/geometry.h"
#include "world/runway_geometry.h"

namespace velmora::traffic {
namespace {

using vehicle::TVehicleState;

class DriverTest : public testing::SampleWorldTest {
 protected:

  // The vehicle of a start point as the server places it, at the clock's time.
  void Place(const testing::TStartPoint& start, double speed = 0) {
    physics::ClearTrackMarks(s);
    TVehicleState v;
    v.Kind = start.FormNo / 10 == 1 ? vehicle::kKindAircraft : start.FormNo / 10;
    v.FormNo = start.FormNo;
    v.UserNo = 1;
    v.GroupNo = start.FormNo >= 30 ? start.FormNo - 29 : 0;
    v.X = start.X;
    v.Y = start.Y;
    v.Z = start.Z;
    v.Heading = static_cast<float>(start.Heading);
    v.VX = speed * vehicle::SinDeg(start.Heading);
    v.VY = speed * vehicle::CosDeg(start.Heading);
    v.Time = static_cast<int32_t>(clock.Now);
    s.Own = v;
    s.Start = v;
    app::ResetRoutine(s, start.FormNo, true, clock.Now);
  }

  // One tick of the driver and the core.
  void Step(TDriver& driver) {
    const app::TJoystickReading reading = driver.Drive(s, clock.Now);
    clock.Now += 10;
    app::Tick(s, clock, reading, hooks);
  }

  static const testing::TStartPoint& StartPoint(const char* name) {
    for (const testing::TStartPoint& p : testing::kStartPoints) {
      if (std::string(p.Name) == name) return p;
    }
    throw std::logic_error(name);
  }

  testing::SteppingClock clock{5000};
  app::TTickHooks hooks;
};

TEST(AxisReadingTest, TheTickReadsTheStickBack) {
  constexpr double kOneStep = 1.0 / 26214.4;  // stick units per step of the raw axis
  for (double stick : {-1.05, -1.0, -0.5, -0.001, 0.0, 0.001, 0.5, 1.0, 1.05}) {
    EXPECT_NEAR(app::JoystickAxis(AxisReading(stick)), stick, kOneStep) << stick;
  }
  EXPECT_EQ(app::JoystickAxis(AxisReading(3)), app::JoystickAxis(AxisReading(1.05)))
      << "beyond full stick: full stick";
}

TEST(MissionsForKindTest, TitlesNameTheVehicle) {
  state::TMainState s;
  const char* rows[] = {" ミッションを選択してください。",
                        " 旅客機：離陸",
                        " 戦闘機：交戦",
                        " 自動車レース：半周",
                        " 自動車：自由走行",
                        " 通勤電車：1号線",
                        " 特急電車：2号線",
                        ""};
  for (std::size_t i = 0; i < std::size(rows); ++i) s.MissionCells[i] = rows[i];
  s.MissionRowCount = static_cast<int32_t>(std::size(rows));
  s.MissionFixedRows = 1;
  const struct {
    TTrafficKind Kind;
    std::vector<int32_t> Missions;
  } cases[] = {
      {TTrafficKind::Airliner, {1}},
      {TTrafficKind::Fighter, {2}},
      {TTrafficKind::Car, {3}},  // the race only: a free drive has no course
      {TTrafficKind::Train, {5, 6}},
  };
  for (const auto& c : cases) EXPECT_EQ(MissionsForKind(s, c.Kind), c.Missions) << KindName(c.Kind);
  s.MissionRowCount = 1;  // an empty list
  EXPECT_TRUE(MissionsForKind(s, TTrafficKind::Train).empty());
}

TEST_F(DriverTest, TrainsStopAtTheNextStationsMarkAndWaitTheirDwell) {
  constexpr double kAtTheMark = 1.0;    // m, the stop accepted as the station's
  constexpr int kTicks = 60 * 100 * 6;  // six minutes
  const char* starts[] = {"line 1 train at station A", "line 1 train at station C",
                          "line 2 train at station D"};
  for (const char* name : starts) {
    SCOPED_TRACE(name);
    Place(StartPoint(name));
    TTrainDriver driver(7);
    driver.Restart(s, clock.Now);
    const int32_t firstDwell = driver.DwellMs();
    EXPECT_GE(firstDwell, 20000);
    EXPECT_LE(firstDwell, 40000);
    // The dwell at the start station: standing until it is over, then away.
    const double x0 = s.Own.X, y0 = s.Own.Y;
    int departedAfter = -1, arrivedAt = -1;
    for (int tick = 0; tick < kTicks && arrivedAt < 0; ++tick) {
      Step(driver);
      const bool moved = std::hypot(s.Own.X - x0, s.Own.Y - y0) > 0.01;
      if (departedAfter < 0 && moved) departedAfter = tick * 10;
      if (departedAfter >= 0 && driver.Phase() == TTrainDriver::TPhase::Dwell) arrivedAt = tick;
    }
    EXPECT_GE(departedAfter, firstDwell - 10) << "left before its dwell was over";
    EXPECT_LE(departedAfter, firstDwell + 1000) << "the first centimetre takes a moment";
    ASSERT_GE(arrivedAt, 0) << "never stopped at the next station";
    EXPECT_LE(std::fabs(s.StopDistance), kAtTheMark);
    EXPECT_LT(std::hypot(s.Own.X - x0, s.Own.Y - y0), 1e4);
    EXPECT_GT(std::hypot(s.Own.X - x0, s.Own.Y - y0), 500) << "the next station, not the first";
    // The dwell at the arrival: still there a moment before it ends.
    const double xa = s.Own.X, ya = s.Own.Y;
    const int dwellTicks = driver.DwellMs() / 10;
    for (int tick = 0; tick < dwellTicks - 2; ++tick) Step(driver);
    EXPECT_EQ(std::hypot(s.Own.X - xa, s.Own.Y - ya), 0) << "moved during the dwell";
    for (int tick = 0; tick < 500; ++tick) Step(driver);
    EXPECT_NE(driver.Phase(), TTrainDriver::TPhase::Dwell) << "the dwell never ended";
  }
}

TEST_F(DriverTest, TrainHeldByATrainAheadWaitsShortOfItAndGoesOnWhenItLeaves) {
  // The own line-1 train leaves station A; at 60 s a standing line-1 train
  // appears on the straight before the south switch. Its reservation stops
  // the own train short of it, held, not dwelling; at 200 s it is gone and
  // the own train runs on to station B.
  constexpr double kAtTheMark = 1.0;  // m
  Place(StartPoint("line 1 train at station A"));
  TTrainDriver driver(3);
  driver.Restart(s, clock.Now);
  double nearest = 1e9;
  bool heldAtRest = false;
  int arrivedAt = -1;
  for (int tick = 0; tick < 100 * 400 && arrivedAt < 0; ++tick) {
    if (tick == 100 * 60) {
      TVehicleState& other = s.Remote[0];
      other = TVehicleState{};
      other.Kind = vehicle::kKindTrain;
      other.FormNo = 30;
      other.UserNo = 2;
      other.GroupNo = 1;
      other.X = -3654.1;
      other.Y = -1000;
      other.Z = -1.8;
      other.Time = static_cast<int32_t>(clock.Now);
      s.Remote[1].UserNo = 0;
    }
    if (tick == 100 * 200) {
      ASSERT_EQ(driver.Phase(), TTrainDriver::TPhase::Held);
      heldAtRest = vehicle::GroundSpeed(s.Own) == 0;
      physics::ReleaseTrack(s, 2);
      s.Remote[0] = TVehicleState{};
    }
    Step(driver);
    if (tick > 100 * 60 && tick < 100 * 200) nearest = std::min(nearest, -1000 - s.Own.Y);
    if (tick > 100 * 200 && driver.Phase() == TTrainDriver::TPhase::Dwell) arrivedAt = tick;
  }
  EXPECT_TRUE(heldAtRest);
  EXPECT_GT(nearest, 14 + 10) << "m: the fronts never met";
  ASSERT_GE(arrivedAt, 0) << "never reached station B";
  EXPECT_LE(std::fabs(s.StopDistance), kAtTheMark);
  EXPECT_NEAR(s.Own.Y, -537.8 - 10, kAtTheMark) << "station B's stop";
}

TEST_F(DriverTest, CarsKeepToTheRaceCourse) {
  constexpr double kHalfTrack = 7.5;  // m, half the course's width
  const char* starts[] = {"car on the race start grid, left", "car on the race start grid, right"};
  for (const char* name : starts) {
    SCOPED_TRACE(name);
    Place(StartPoint(name));
    TCarDriver driver(RaceCourse());
    driver.Restart(s, clock.Now);
    double worst = 0, travelled = 0, fastest = 0;
    for (int tick = 0; tick < 100 * 150; ++tick) {
      const double x = s.Own.X, y = s.Own.Y;
      Step(driver);
      travelled += std::hypot(s.Own.X - x, s.Own.Y - y);
      fastest = std::max(fastest, vehicle::GroundSpeed(s.Own));
      if (travelled > 30) worst = std::max(worst, driver.OffCourse(s.Own.X, s.Own.Y));
    }
    EXPECT_LT(worst, kHalfTrack);
    EXPECT_GT(travelled, 2857) << "a lap of the oval in 150 s";
    EXPECT_LT(fastest, 30) << "m/s: about 100 km/h on the straights at most";
  }
}

// An airliner's run to its end: the driver asks for the mission again once,
// after the aircraft has come to rest after a landing below the hard sink
// rate on the runway, with no crash.
class AirlinerTest : public DriverTest {
 protected:
  void FlyUntilTheMissionAgain(int seconds, const std::function<void()>& eachTick = {}) {
    bool again = false;
    for (int tick = 0; tick < 100 * seconds && !again; ++tick) {
      Step(driver);
      if (eachTick) eachTick();
      again = driver.TakeMissionAgain();
    }
    EXPECT_TRUE(again) << "never asked for the mission again";
    EXPECT_FALSE(driver.TakeMissionAgain()) << "asks once";
  }

  void ExpectLandedAndStoppedOn(int32_t runway) {
    EXPECT_EQ(s.Restarted, 0) << "crashed: " << s.MessageLog.back();
    const state::TRunRecord& run = s.Figures.Finished;
    ASSERT_EQ(run.End, state::TRunEnd::Landed);
    const state::TTouchdownFigures& t = run.Events[0].Touchdown;
    const world::TRunwayPosition stop =
        world::RunwayPosition(*s.World->Destinations[static_cast<std::size_t>(runway)],
                            s.Own.X + s.OriginX, s.Own.Y + s.OriginY, s.Own.Heading);
    std::printf(
        "[ runway %d ] sink %.2f m/s %.0f m past the threshold, %.1f m right; "
        "stopped %.0f m past it\n",
        runway, t.SinkRate, t.PastThreshold, t.CentreLine, stop.PastThreshold);
    EXPECT_LT(t.SinkRate, app::kHardSinkRate);
    EXPECT_EQ(t.Runway, runway);
    EXPECT_TRUE(t.OnRunway);
    EXPECT_TRUE(stop.OnRunway) << "stopped on the runway";
  }

  TAirlinerDriver driver;
};

constexpr double kSampleWindEast = 1.0, kSampleWindNorth = -3.0;  // m/s, the sample missions'

// The landing from the crew's hand-over, started as a landing practice on
// the destination panel: the gear-down type at 145 kt with flaps 25 on the
// straight-in to runway 36 or before the right turn onto runway 03, in calm
// air and in the sample wind (gusting, as practice flies it).
TEST_F(AirlinerTest, FlareLandsBelowTheHardSinkRateAndStopsOnTheRunway) {
  const struct {
    int32_t Runway;  // destination index: 0 runway 36, 1 runway 03
    double WindEast, WindNorth;
  } cases[] = {
      {0, 0, 0},
      {0, kSampleWindEast, kSampleWindNorth},
      {1, 0, 0},
      {1, kSampleWindEast, kSampleWindNorth},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "runway " << c.Runway << ", wind " << c.WindNorth);
    TVehicleState start;
    start.FormNo = 11;
    start.Flap = 25;
    start.UserNo = 1;
    start.Time = static_cast<int32_t>(clock.Now);
    s.Own = s.Start = start;
    s.BaseWindX = s.WindX = c.WindEast;
    s.BaseWindY = s.WindY = c.WindNorth;
    app::ResetRoutine(s, start.FormNo, true, clock.Now);
    s.DestRow = c.Runway + 1;
    app::StringGridDestClick(s, clock.Now, {});
    driver.Restart(s, clock.Now);
    FlyUntilTheMissionAgain(240);
    ExpectLandedAndStoppedOn(c.Runway);
  }
}

// A server mission's whole circuit in the sample wind: the take-off from
// runway 36, gear and flaps up in the climb, runway 36 (the most into the
// wind) chosen on the destination panel, the autopilot's approach, the
// landing, and the mission again, never passing the mission's goal, where
// the server would end the run.
TEST_F(AirlinerTest, FliesTheCircuitToTheRunwayIntoTheWind) {
  Place(StartPoint("airliner on the runway 36 threshold"));
  s.FlapCommand = s.FlapSet = s.Own.Flap = 10;
  s.BaseWindX = s.WindX = kSampleWindEast;
  s.BaseWindY = s.WindY = kSampleWindNorth;
  driver.Restart(s, clock.Now);
  constexpr double kGoalY = 15000, kGoalHeight = 900, kGoalRadius = 1500;  // m
  double liftOffY = 1e9, nearestGoal = 1e9, highest = 0;
  bool clean = false;
  FlyUntilTheMissionAgain(900, [&] {
    if (liftOffY > 1e8 && -s.Own.Z > 15) liftOffY = s.Own.Y;
    highest = std::max(highest, -s.Own.Z);
    clean = clean || (s.Gear == 0 && s.Own.Flap == 0);
    nearestGoal = std::min(
        nearestGoal,
        std::hypot(s.Own.X + s.OriginX, s.Own.Y + s.OriginY - kGoalY, -s.Own.Z - kGoalHeight));
  });
  EXPECT_LT(liftOffY, 1500 - 300) << "m north: 15 m up well before the runway's far end";
  EXPECT_GT(highest, 600) << "m";
  EXPECT_TRUE(clean) << "gear and flaps up in the climb";
  EXPECT_GT(nearestGoal, kGoalRadius) << "m";
  ExpectLandedAndStoppedOn(0);
}

// A further airliner on the one start waits its spacing before its first
// take-off, and only the first: a restart rolls after the usual pause.
TEST_F(AirlinerTest, AFurtherAirlinerWaitsItsSpacingOnlyBeforeItsFirstTakeOff) {
  TAirlinerDriver later(20000);
  Place(StartPoint("airliner on the runway 36 threshold"));
  const double startY = s.Own.Y;
  const auto rolledAfter = [&](int seconds) {
    for (int tick = 0; tick < 100 * seconds; ++tick) Step(later);
    return s.Own.Y - startY > 1.0;
  };
  later.Restart(s, clock.Now);
  EXPECT_FALSE(rolledAfter(22)) << "rolled before its spacing and pause";
  EXPECT_TRUE(rolledAfter(3));
  Place(StartPoint("airliner on the runway 36 threshold"));
  later.Restart(s, clock.Now);
  EXPECT_FALSE(rolledAfter(2));
  EXPECT_TRUE(rolledAfter(3)) << "waited its spacing again";
}

// The autopilot lets go of an aircraft too slow for its clean wing, far from
// the runway: power and the nose down until the wing carries it again, the
// runway chosen again, and the crew flies the approach once more.
TEST_F(AirlinerTest, RecoversWhenTheAutopilotLetsGoTooSlow) {
  TVehicleState start;
  start.Kind = vehicle::kKindAircraft;
  start.FormNo = 10;  // gear and flaps up
  start.UserNo = 1;
  start.X = 3000;
  start.Y = 5000;
  start.Z = -900;
  start.VY = 78;  // m/s north
  start.Time = static_cast<int32_t>(clock.Now);
  s.Own = s.Start = start;
  app::ResetRoutine(s, start.FormNo, true, clock.Now);
  s.DestRow = 1;
  app::StringGridDestClick(s, clock.Now, {});
  driver.Restart(s, clock.Now);
  bool recovering = false;
  FlyUntilTheMissionAgain(900, [&] {
    recovering = recovering || driver.Phase() == TAirlinerDriver::TPhase::Recovering;
  });
  EXPECT_TRUE(recovering);
  ExpectLandedAndStoppedOn(0);
}

TEST_F(DriverTest, FighterPatrolsAtItsHeight) {
  constexpr double kHeightBand = 150;  // m around the start height
  const testing::TStartPoint& lead = StartPoint("fighter lead");
  Place(lead, 200);
  TFighterDriver driver(40);
  driver.Restart(s, clock.Now);
  double worst = 0, turned = 0;
  float heading = s.Own.Heading;
  for (int tick = 0; tick < 100 * 120; ++tick) {
    Step(driver);
    if (tick > 100 * 20) worst = std::max(worst, std::fabs(-s.Own.Z + lead.Z));
    const double d = std::fmod(s.Own.Heading - heading + 540.0, 360.0) - 180.0;
    turned += d;
    heading = s.Own.Heading;
  }
  EXPECT_EQ(s.Restarted, 0) << "crashed";
  EXPECT_LT(worst, kHeightBand);
  EXPECT_GT(turned, 270) << "deg: most of a patrol turn in two minutes";
}

}  // namespace
}  // namespace velmora::traffic
