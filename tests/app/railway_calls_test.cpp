// Where the program frees and clears the track marks: a remote train's marks
// before its first step after a new state, the own train's before every
// control step, a vehicle's when it stops being a train, and all of them when
// the own record arrives during playback.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/protocol.h"
#include "app/reset.h"
#include "app/tick.h"
#include "physics/railway.h"
#include "pilot/control_step.h"
#include "tests/support/settable_clock.h"
#include "tests/support/test_vehicles.h"

namespace velmora::app {
namespace {

using testing::kTrain;
using vehicle::TVehicleState;

constexpr int32_t kOwnUser = 7;
constexpr int32_t kRemoteUser = 21;

class RailwayCallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FillTestForms(s);
    s.World = world.get();
    // Three 100 m segments of one track running north along x = 0.
    world::TTrackList& list = world->Track;
    for (int k = 0; k < 3; ++k) {
      world::TTrackRecord& r = list.Slots[static_cast<std::size_t>(list.Count++)];
      r.LineMask = -1;
      r.StartY = k * 100.0;
      r.EndY = (k + 1) * 100.0;
      r.TrackId = 1;
      r.StopPosition = -1;
    }
    list.Slots[3].CurveRadius = -1;
    world::BuildTrackConnections(list);
  }

  int32_t Occupant(int n) const { return world->Track.Record(n).Occupant; }
  void Mark(int n, int32_t user) { world->Track.Record(n).Occupant = user; }

  // A standing train at (0, y).
  static void MakeTrain(TVehicleState& v, int32_t user, double y) {
    v = TVehicleState{};
    v.Kind = vehicle::kKindTrain;
    v.FormNo = kTrain;
    v.UserNo = user;
    v.GroupNo = 1;
    v.Y = y;
    v.Z = -1.2;
  }

  std::unique_ptr<world::TWorld> world = std::make_unique<world::TWorld>();
  state::TMainState s;
};

TEST_F(RailwayCallsTest, RemoteTrainIsReleasedOnlyBeforeItsFirstStepAfterANewState) {
  testing::PlaceOwn(s, vehicle::kKindRoad, testing::kCar);
  s.Own.X = 500;
  s.Start = s.Own;
  MakeTrain(s.Remote[0], kRemoteUser, 250);  // both bogies on segment 3
  testing::TSettableClock clock;
  TTickHooks hooks;
  TJoystickReading joystick;
  Mark(1, kRemoteUser);  // left from its previous state
  clock.Now = 10;
  Tick(s, clock, joystick, hooks);
  EXPECT_EQ(Occupant(1), 0) << "released before the first step";
  EXPECT_EQ(Occupant(3), kRemoteUser) << "and marked again by it";
  EXPECT_EQ(s.Remote[0].Steps, 1);
  Mark(1, kRemoteUser);
  clock.Now = 20;
  Tick(s, clock, joystick, hooks);
  EXPECT_EQ(Occupant(1), kRemoteUser) << "no release on later steps";
  EXPECT_EQ(Occupant(3), kRemoteUser);
}

TEST_F(RailwayCallsTest, OwnTrainIsReleasedBeforeEveryControlStep) {
  MakeTrain(s.Own, kOwnUser, 150);
  s.Start = s.Own;
  for (int step = 0; step < 3; ++step) {
    Mark(1, kOwnUser);
    Mark(3, 99);
    pilot::ControlStep(s, 0, 0, 0.01);
    EXPECT_EQ(Occupant(1), 0) << step;
    EXPECT_EQ(Occupant(2), kOwnUser) << step;
    EXPECT_EQ(Occupant(3), 99) << step << ": another train's mark stays";
    EXPECT_EQ(s.RailSpeedLimit, 0) << "blocked by it";
  }
}

// A code-40 message with one vehicle record: user, kind, type at (0, y).
std::string Positions(int32_t user, int32_t kind, int32_t type, double y) {
  return "52566771;40;100;5000;0;0;" + std::to_string(user) + ";1;" + std::to_string(kind) + ";" +
         std::to_string(type) + ";0;" + std::to_string(static_cast<long long>(y * 100)) +
         ";-120;0;0;0;0;0;0;0;0;0;\n";
}

TEST_F(RailwayCallsTest, ProtocolReleasesAVehicleThatStopsBeingATrain) {
  ClientSocketRead(s, "52566771;30;7;3;\n", 1000);
  ClientSocketRead(s, Positions(kRemoteUser, vehicle::kKindTrain, kTrain, 150), 1000);
  ASSERT_EQ(s.Remote[0].UserNo, kRemoteUser);
  s.Remote[0].TrackSegments = 0x00020002u;
  Mark(2, kRemoteUser);
  Mark(3, 99);
  // Still a train: nothing is released.
  ClientSocketRead(s, Positions(kRemoteUser, vehicle::kKindTrain, kTrain, 150), 1000);
  EXPECT_EQ(Occupant(2), kRemoteUser);
  // Now a road vehicle: its marks and track word go.
  ClientSocketRead(s, Positions(kRemoteUser, vehicle::kKindRoad, testing::kCar, 150), 1000);
  EXPECT_EQ(Occupant(2), 0);
  EXPECT_EQ(Occupant(3), 99);
  EXPECT_EQ(s.Remote[0].TrackSegments, 0u);
}

TEST_F(RailwayCallsTest, OwnRecordDuringPlaybackClearsEveryMark) {
  ClientSocketRead(s, "52566771;30;7;3;\n", 1000);
  Mark(1, 5);
  Mark(2, 6);
  s.ReplayMode = 4;  // playing back
  ClientSocketRead(s, Positions(kOwnUser, vehicle::kKindTrain, kTrain, 250), 1000);
  EXPECT_EQ(Occupant(1), 0);
  EXPECT_EQ(Occupant(2), 0);
  // Live, the own record clears nothing but the own train's marks of the step.
  Mark(1, 5);
  ClientSocketRead(s, Positions(kOwnUser, vehicle::kKindTrain, kTrain, 250), 1000);
  EXPECT_EQ(Occupant(1), 5);
}

TEST(TrainThrottle, EveryTrainTypeDrivesWithTheTrainThrottleMaximum) {
  state::TMainState s;
  struct Case {
    int32_t Type;
    double Maximum;  // m/s²
  };
  const Case cases[] = {
      {29, 6}, {30, 11.0 / 12.0}, {31, 11.0 / 12.0}, {39, 11.0 / 12.0}, {40, 11.0 / 12.0}};
  for (const Case& c : cases) {
    ResetRoutine(s, c.Type, false, 0);
    EXPECT_EQ(s.ThrottleMax, c.Maximum) << c.Type;
  }
}

}  // namespace
}  // namespace velmora::app
