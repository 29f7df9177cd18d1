// Railway following on small hand-built track lists: the geometry of
// straight and curved segments, the coupling of a track point, the search
// ahead for stops, speed limits and other trains, and the occupancy marks.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

#include "physics/railway.h"
#include "physics/step_vehicle.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"

namespace velmora::physics {
namespace {

using testing::kTrain;
using vehicle::TVehicleState;
using world::TTrackRecord;

constexpr double kGeometryTol = 1e-9;  // m, deg: closed forms up to rounding
constexpr double kSpeedTol = 1e-12;    // m/s
constexpr double kPi = std::numbers::pi;
constexpr double kCurveLimit300 = 70 / 3.6;  // m/s on a 300 m radius
constexpr double kSlowLimit = 25 / 3.6;      // m/s on a slow section
constexpr int32_t kAllLines = -1;

// A segment; curve radius, track id, direction, stop and mask as given.
TTrackRecord Segment(double sx, double sy, double sh, double radius, double ex, double ey,
                     double eh, int32_t id = 1, int32_t direction = 0, double stop = -1,
                     int32_t mask = kAllLines) {
  TTrackRecord r;
  r.LineMask = mask;
  r.StartX = sx;
  r.StartY = sy;
  r.StartHeading = sh;
  r.CurveRadius = radius;
  r.EndX = ex;
  r.EndY = ey;
  r.EndHeading = eh;
  r.TrackId = id;
  r.Direction = direction;
  r.StopPosition = stop;
  return r;
}

// A straight segment running north along x.
TTrackRecord North(double x, double y0, double y1, int32_t id = 1, double stop = -1,
                   double radius = 0) {
  return Segment(x, y0, 0, radius, x, y1, 0, id, 0, stop);
}

class RailwayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FillTestForms(s);
    s.World = world.get();
    testing::PlaceOwn(s, vehicle::kKindTrain, kTrain);
    s.Own.GroupNo = 1;
  }

  // Replaces the track list and connects it.
  void SetTrack(std::initializer_list<TTrackRecord> records) {
    world::TTrackList& list = world->Track;
    list = world::TTrackList{};
    for (const TTrackRecord& r : records) list.Slots[static_cast<std::size_t>(list.Count++)] = r;
    list.Slots[static_cast<std::size_t>(list.Count)].CurveRadius = -1;
    world::BuildTrackConnections(list);
  }
  world::TTrackList& Track() { return world->Track; }
  TTrackRecord& Record(int n) { return world->Track.Record(n); }

  // A remote train in slot `slot`, user 10 + slot, heading north.
  TVehicleState& Remote(int slot, double x, double y, double vy) {
    TVehicleState& v =
        testing::Vehicle(kTrain).User(10 + slot, 1).At(x, y).Velocity(0, vy).AsRemote(s, slot);
    v.TrackSegments = 0x00010001u;  // known to be on track: it looks ahead
    return v;
  }

  TTrackCoupling Couple(const TVehicleState& train, double x, double y, uint16_t segment = 0,
                        bool* ok = nullptr) {
    TTrackCoupling result;
    const bool coupled = CoupleToTrack(s, train, x, y, segment, result);
    if (ok) *ok = coupled;
    return result;
  }

  std::unique_ptr<world::TWorld> world = std::make_unique<world::TWorld>();
  state::TMainState s;
};

// Right turn from north to east, radius 100: centre (100, 100), first straight
// (0, 0)–(0, 100), quarter arc to (100, 200), second straight to (150, 200).
TTrackRecord RightFillet() {
  return Segment(0, 0, 0, 100, 150, 200, 90);
}
// Its mirror image turning left to the west.
TTrackRecord LeftFillet() {
  return Segment(0, 0, 0, 100, -150, 200, 270);
}

TEST_F(RailwayTest, FilletProjectsOntoEachPartWithItsHeadingAndLength) {
  SetTrack({RightFillet(), LeftFillet()});
  const double r45 = 100 * std::sqrt(0.5);
  struct Case {
    int Segment;
    double X, Y;      // the point
    double Distance;  // expected
    double FootX, FootY, Heading;
    double FromStart;  // TrackLength mode −1
  };
  const Case cases[] = {
      // First straight part, 0.25 m to either side.
      {1, 0.25, 50, 0.25, 0, 50, 0, 50},
      {2, -0.25, 50, 0.25, 0, 50, 0, 50},
      // Arc at 45°: the centre lies inside the turn (right of a right turn).
      {1, 100 - (100 + 0.3) * std::sqrt(0.5), 100 + (100 + 0.3) * std::sqrt(0.5), 0.3, 100 - r45,
       100 + r45, 45, 100 + 25 * kPi},
      {2, -100 + (100 - 0.3) * std::sqrt(0.5), 100 + (100 - 0.3) * std::sqrt(0.5), 0.3, -100 + r45,
       100 + r45, 315, 100 + 25 * kPi},
      // Second straight part.
      {1, 125, 200.2, 0.2, 125, 200, 90, 100 + 50 * kPi + 25},
      {2, -125, 199.8, 0.2, -125, 200, 270, 100 + 50 * kPi + 25},
  };
  for (const Case& c : cases) {
    TTrackFoot foot;
    EXPECT_NEAR(TrackDistance(Track(), c.Segment, c.X, c.Y, foot), c.Distance, kGeometryTol)
        << c.Segment << " at " << c.X << ", " << c.Y;
    EXPECT_NEAR(foot.X, c.FootX, kGeometryTol);
    EXPECT_NEAR(foot.Y, c.FootY, kGeometryTol);
    EXPECT_NEAR(foot.Heading, c.Heading, kGeometryTol);
    const double total = 150 + 50 * kPi;
    EXPECT_NEAR(TrackLength(Track(), c.Segment, 0, c.FootX, c.FootY), total, kGeometryTol);
    EXPECT_NEAR(TrackLength(Track(), c.Segment, -1, c.FootX, c.FootY), c.FromStart, kGeometryTol);
    EXPECT_NEAR(TrackLength(Track(), c.Segment, 1, c.FootX, c.FootY), total - c.FromStart,
                kGeometryTol);
  }
}

TEST_F(RailwayTest, TrackDistanceBoxAndProjectionRules) {
  SetTrack({North(0, 0, 100), RightFillet()});
  struct Case {
    int Segment;
    double X, Y;
    double Distance;  // expected; kNoTrack: rejected
    bool FootWritten;
  };
  const Case cases[] = {
      {1, 0.5, 50, 0.5, true},  // on the widened box edge: measured, 0.5 is off the track
      {1, 0.5000001, 50, kNoTrack, false},  // just outside the box
      {1, 0, 100.4, kNoTrack, false},       // in the box, beyond the end: no foot
      {1, 0, 100, 0, true},                 // the end point itself is on the part
      {0, 0, 50, kNoTrack, false},          // empty reference
      {3, 0, 50, kNoTrack, false},          // beyond the list
      // Curved: the box widens by half its other side: x by 100.5, y by 75.5.
      {2, -100.5, 50, 100.5, true},  // far off the first part, foot still written
      {2, -100.5000001, 50, kNoTrack, false},
  };
  for (const Case& c : cases) {
    TTrackFoot foot{-7, -7, -7};
    EXPECT_NEAR(TrackDistance(Track(), c.Segment, c.X, c.Y, foot), c.Distance, kGeometryTol)
        << c.Segment << " at " << c.X << ", " << c.Y;
    EXPECT_EQ(foot.X != -7, c.FootWritten) << c.Segment << " at " << c.X << ", " << c.Y;
  }
}

TEST_F(RailwayTest, HeadingsEqualModuloAWholeTurnAreAStraightChord) {
  SetTrack({Segment(0, 0, 90, 100, 100, 0, 450)});
  TTrackFoot foot;
  EXPECT_NEAR(TrackDistance(Track(), 1, 40, 0.2, foot), 0.2, kGeometryTol);
  EXPECT_NEAR(TrackLength(Track(), 1, 0, 0, 0), 100, kGeometryTol);
  EXPECT_TRUE(std::isfinite(foot.X));
}

TEST_F(RailwayTest, NextSegmentNeedsMatchingHeadingsAtTheJoint) {
  // 1 → 2 straight on; 3 joins 1's end with another heading; 4 leads into 1.
  SetTrack({North(0, 0, 100), North(0, 100, 200), Segment(0, 100, 10, 0, 10, 200, 10),
            North(0, -100, 0)});
  ASSERT_EQ(Record(1).EndConnections[0], 2);
  ASSERT_EQ(Record(1).EndConnections[1], 3);
  struct Case {
    int Segment, Direction, Index, Expected;
  };
  const Case cases[] = {
      {1, 1, 0, 2}, {1, 1, 1, 0},  // 3 leaves at 10°: no joint
      {1, 0, 0, 4}, {1, -1, 0, 4}, {1, -1, 1, 0}, {2, -1, 0, 1},
      {4, 1, 0, 1}, {1, 1, 2, 0},  {9, 1, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextSegment(Track(), c.Segment, c.Direction, c.Index), c.Expected)
        << c.Segment << " dir " << c.Direction << " index " << c.Index;
  }
}

TEST_F(RailwayTest, EndSpeedHoldsTheCreepSpeedAndStopsTenMetresShort) {
  const double creep = std::sqrt(1.94 * 24.858);
  struct Case {
    double X, Expected;
  };
  const Case cases[] = {
      {100, std::sqrt(77.6)},              // 100 m ahead: r = 40
      {84.859, std::sqrt(1.94 * 24.859)},  // just beyond the creep section
      {84.858, creep},
      {34.858, creep},
      {34.857, std::sqrt(1.94 * 24.857)},
      {20, std::sqrt(19.4)},
      {10, 0},
      {5, -std::sqrt(9.7)},
  };
  for (const Case& c : cases) EXPECT_NEAR(EndSpeed(c.X), c.Expected, 1e-9) << c.X;
}

TEST_F(RailwayTest, APointExactlyHalfAMetreFromEverySegmentIsOffTheTrack) {
  SetTrack({North(0, 0, 100), North(1, 0, 100)});
  bool ok = true;
  Couple(s.Own, 0.5, 50, 0, &ok);
  EXPECT_FALSE(ok);
  const TTrackCoupling on = Couple(s.Own, 0.4999, 50, 0, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(on.Segment, 1);
  EXPECT_EQ(on.X, 0);
  EXPECT_EQ(on.Y, 50);
}

TEST_F(RailwayTest, TrackWordBeyondTheListCountsAsUnknown) {
  SetTrack({North(0, 0, 100), North(0, 100, 200), North(0, 200, 300)});
  for (const uint16_t word : {uint16_t{3}, uint16_t{4}, uint16_t{500}, uint16_t{65535}}) {
    bool ok = false;
    const TTrackCoupling c = Couple(s.Own, 0, 150, word, &ok);
    EXPECT_TRUE(ok) << word;
    EXPECT_EQ(c.Segment, 2) << word;  // found by the full search (word 3 by running off)
  }
}

TEST_F(RailwayTest, RunningOffASegmentTakesItsNeighbour) {
  SetTrack({North(0, 0, 100), North(0, 100, 200)});
  bool ok = false;
  const TTrackCoupling c = Couple(s.Own, 0.1, 100.5, 1, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(c.Segment, 2);
  EXPECT_EQ(c.X, 0);
  EXPECT_EQ(c.Y, 100.5);
}

TEST_F(RailwayTest, BackwardsRunningFollowsTheOtherEnd) {
  // A remote train on the middle segment reserves what lies ahead of its motion.
  SetTrack({North(0, 0, 100), North(0, 100, 200), North(0, 200, 300)});
  struct Case {
    double Heading, VY;  // heading and velocity of the train
    int Reserved, Free;
  };
  const Case cases[] = {
      {0, 10, 3, 1},     // forwards
      {0, -10, 1, 3},    // backwards: velocity against the heading
      {180, -10, 1, 3},  // turned round, running forwards to the south
      {180, 10, 3, 1},
  };
  for (const Case& c : cases) {
    ClearTrackMarks(Track());
    TVehicleState& train = Remote(0, 0, 150, c.VY);
    train.Heading = static_cast<float>(c.Heading);
    bool ok = false;
    Couple(train, 0, 150, 2, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Record(2).Occupant, train.UserNo);
    EXPECT_EQ(Record(c.Reserved).Occupant, train.UserNo) << c.Heading << " " << c.VY;
    EXPECT_EQ(Record(c.Free).Occupant, 0) << c.Heading << " " << c.VY;
  }
}

// A switch at (0, 100): through route north (2), diverging curve to the right (3).
class SwitchTest : public RailwayTest {
 protected:
  void SetUp() override {
    RailwayTest::SetUp();
    // The curve starts at the switch: centre (300, 100), 10° of arc, then 50 m straight.
    const double t2x = 300 + 300 * vehicle::SinDeg(280), t2y = 100 + 300 * vehicle::CosDeg(280);
    SetTrack({North(0, 0, 100), North(0, 100, 1000),
              Segment(0, 100, 0, 300, t2x + 50 * vehicle::SinDeg(10),
                      t2y + 50 * vehicle::CosDeg(10), 10, 2)});
  }
};

TEST_F(SwitchTest, ThroughRouteIsTriedFirst) {
  ASSERT_EQ(Record(1).EndConnections[0], 2);
  ASSERT_EQ(Record(1).EndConnections[1], 3);
  // 1 m past the switch the curve is 1.7 mm right of the through route; a
  // point 2 mm right lies nearer the curve.
  struct Case {
    uint16_t Known;
    int32_t ThroughOccupant;
    int Expected;
  };
  const Case cases[] = {
      {1, 0, 2},   // run off segment 1: both neighbours, the through route first
      {0, 0, 2},   // full search: two candidates behind one switch
      {1, 99, 3},  // through route held by another train: the curve
      {0, 99, 3},
  };
  for (const Case& c : cases) {
    ClearTrackMarks(Track());
    Record(2).Occupant = c.ThroughOccupant;
    bool ok = false;
    const TTrackCoupling r = Couple(s.Own, 0.002, 101, c.Known, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Segment, c.Expected) << "known " << c.Known << ", occupant " << c.ThroughOccupant;
    EXPECT_GT(r.SpeedLimit, 0);
    // The segment taken is marked; the other train's is never taken from it.
    EXPECT_EQ(Record(c.Expected).Occupant, s.Own.UserNo);
    if (c.ThroughOccupant != 0) {
      EXPECT_EQ(Record(2).Occupant, c.ThroughOccupant);
    }
  }
}

TEST_F(SwitchTest, StandingTrainOnTwoSegmentsLeavesTheSegmentUnknown) {
  struct Case {
    double VY;
    uint16_t Known;
    int Expected;
  };
  const Case cases[] = {
      {0, 0, 0},
      {0, 1, 0},       // run off towards a switch: no candidate, then the full search
      {0.0009, 1, 0},  // still standing
      {0.001, 1, 2},   // moving: the through route
  };
  for (const Case& c : cases) {
    ClearTrackMarks(Track());
    TVehicleState& train = Remote(0, 0.002, 101, c.VY);
    bool ok = false;
    const TTrackCoupling r = Couple(train, 0.002, 101, c.Known, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(r.Segment, c.Expected) << c.VY << " from " << c.Known;
    EXPECT_NEAR(r.X, 0, 0.002);
  }
}

TEST_F(SwitchTest, StopOfABlockedCandidateIsNotReportedForTheRouteTaken) {
  // The through route has a stop 50 m on but is blocked beyond it; the curve is free.
  SetTrack({North(0, 0, 100), North(0, 100, 1000, 1, 50), Record(3), North(0, 1000, 1100)});
  Record(4).Occupant = 99;
  bool ok = false;
  const TTrackCoupling r = Couple(s.Own, 0.002, 101, 1, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r.Segment, 3);
  EXPECT_EQ(r.StopDistance, kNoTrack);
}

TEST_F(RailwayTest, StopOnABlockedBranchIsNotReportedAtTheTrackEnd) {
  // The own train's track ends where a branch leaves; the branch has a stop
  // and is blocked beyond it, so the train must stop at the joint instead.
  SetTrack({North(0, 0, 1000), North(0, 1000, 2000, 2, 500), North(0, 2000, 3000, 2)});
  Record(3).Occupant = 99;
  bool ok = false;
  const TTrackCoupling r = Couple(s.Own, 0, 500, 1, &ok);
  ASSERT_TRUE(ok);
  EXPECT_NEAR(r.SpeedLimit, EndSpeed(500 + 7 - 10), kSpeedTol);
  EXPECT_EQ(r.StopDistance, kNoTrack);
  Record(3).Occupant = 0;
  EXPECT_NEAR(Couple(s.Own, 0, 500, 1, &ok).StopDistance, 500 + 500 - 3, kGeometryTol);
}

TEST_F(RailwayTest, SlowSectionHasNoStopButTheCreepLimit) {
  // Stop positions 70000 and 65536 are slow sections; 65535.9 is still a stop.
  SetTrack({North(0, 0, 1000, 1, 70000), North(0, 1000, 1200, 1, 65536),
            North(0, 1200, 1400, 1, 65535.9)});
  struct Case {
    double Y;
    double Stop;  // own train, Wheelbase 14: f = a + 7 − 10, the stop f − (200 − 65535.9)
  };
  const Case cases[] = {
      {100, 900 + 200 + 200 - 3 - (200 - 65535.9)},
      {1100, 100 + 200 - 3 - (200 - 65535.9)},
  };
  for (const Case& c : cases) {
    bool ok = false;
    const TTrackCoupling r = Couple(s.Own, 0, c.Y, 0, &ok);
    ASSERT_TRUE(ok);
    EXPECT_NEAR(r.SpeedLimit, kSlowLimit, kSpeedTol) << c.Y;
    EXPECT_NEAR(r.StopDistance, c.Stop, kGeometryTol) << c.Y;
  }
  // Without the last segment no stop lies ahead at all.
  SetTrack({North(0, 0, 1000, 1, 70000)});
  bool ok = false;
  const TTrackCoupling r = Couple(s.Own, 0, 100, 0, &ok);
  EXPECT_NEAR(r.SpeedLimit, kSlowLimit, kSpeedTol);
  EXPECT_EQ(r.StopDistance, kNoTrack);
}

TEST_F(RailwayTest, BufferStopAheadGivesEndSpeed) {
  SetTrack({North(0, 0, 300)});
  s.Forms[kTrain].Wheelbase = 20;
  bool ok = false;
  const TTrackCoupling r = Couple(s.Own, 0, 200, 0, &ok);  // 100 m before the end
  ASSERT_TRUE(ok);
  EXPECT_NEAR(r.SpeedLimit, std::sqrt(77.6), kSpeedTol);
  EXPECT_EQ(r.StopDistance, kNoTrack);
}

TEST_F(RailwayTest, CurveLimitIsRaisedOnlyBeyondFiftyMetres) {
  struct Case {
    double Ahead;  // m from the point to the curved segment
    double Limit;
  };
  const Case cases[] = {
      {49, kCurveLimit300},
      {50, kCurveLimit300},
      {51, std::sqrt(kCurveLimit300 * kCurveLimit300 + 1.94)},
      {250, std::sqrt(kCurveLimit300 * kCurveLimit300 + 1.94 * 200)},
  };
  for (const Case& c : cases) {
    // The radius alone decides: a straight segment with radius 300.
    SetTrack(
        {North(0, 0, 1000), North(0, 1000, 9000, 1, -1, 300), North(0, 9000, 20000, 1, -1, 1200)});
    bool ok = false;
    const TTrackCoupling r = Couple(s.Own, 0, 1000 - c.Ahead, 0, &ok);
    ASSERT_TRUE(ok);
    EXPECT_NEAR(r.SpeedLimit, c.Limit, 1e-9) << c.Ahead;
  }
  // Radius 1200 gives twice the speed of radius 300, on the segment itself.
  bool ok = false;
  EXPECT_NEAR(Couple(s.Own, 0, 9500, 0, &ok).SpeedLimit, 2 * kCurveLimit300, 1e-9);
}

TEST_F(RailwayTest, StopOvershotByUpToFortyMetresStillCounts) {
  SetTrack({North(0, 0, 1000, 1, 500), North(0, 1000, 2000, 1, 300)});
  struct Case {
    double Y, Stop;
  };
  // Own train, Wheelbase 14: stop distance = (1000 − y) + 7 − 10 − 500 = 497 − y.
  const Case cases[] = {
      {400, 97},
      {497, 0},
      {537, -40},
      {537.5, 1000 + 300 - 537.5 - 3},  // overshot by 40.5 m: the next segment's stop
  };
  for (const Case& c : cases) {
    bool ok = false;
    const TTrackCoupling r = Couple(s.Own, 0, c.Y, 0, &ok);
    ASSERT_TRUE(ok);
    EXPECT_NEAR(r.StopDistance, c.Stop, kGeometryTol) << c.Y;
  }
}

TEST_F(RailwayTest, FollowerMeetsTheLeadersMarksAndStops) {
  SetTrack({North(0, 0, 300), North(0, 300, 600), North(0, 600, 900), North(0, 900, 1200)});
  TVehicleState& leader = Remote(0, 0, 700, 10);
  bool ok = false;
  Couple(leader, 0, 700, 3, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(Record(3).Occupant, leader.UserNo);
  EXPECT_EQ(Record(4).Occupant, leader.UserNo) << "reserved ahead";
  const TTrackCoupling r = Couple(s.Own, 0, 100, 1, &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r.Segment, 1);
  EXPECT_EQ(r.SpeedLimit, 0);
  EXPECT_EQ(Record(1).Occupant, s.Own.UserNo);
  EXPECT_EQ(Record(2).Occupant, 0);
  EXPECT_EQ(Record(3).Occupant, leader.UserNo);
  // The coupled partner's marks do not block.
  s.Own.PartnerNo = leader.UserNo;
  EXPECT_GT(Couple(s.Own, 0, 100, 1, &ok).SpeedLimit, 0);
}

TEST_F(RailwayTest, TwoTrainsOnOneSegmentDoNotStealTheMark) {
  SetTrack({North(0, 0, 300)});
  TVehicleState& first = Remote(0, 0, 200, 10);
  TVehicleState& second = Remote(1, 0, 100, 10);
  for (int round = 0; round < 3; ++round) {
    bool ok = false;
    Couple(first, 0, 200, 1, &ok);
    EXPECT_EQ(Record(1).Occupant, first.UserNo) << round;
    const TTrackCoupling r = Couple(second, 0, 100, 1, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.SpeedLimit, 0);
    EXPECT_EQ(Record(1).Occupant, first.UserNo) << "round " << round;
  }
}

TEST_F(RailwayTest, BlockedLineWithABranchOutOfReachIsNotATrackEnd) {
  // Main line 1 → 2 (held by another train); branch 3 leaves at the same joint.
  const auto build = [&] {
    SetTrack({North(0, 0, 1000), North(0, 1000, 2000),
              Segment(0, 1000, 0, 300, 300 + 300 * vehicle::SinDeg(280),
                      1000 + 300 * vehicle::CosDeg(280), 10, 2)});
  };
  struct Case {
    int32_t Occupant;  // of segment 2
    bool Stopped;
  };
  for (const Case c : {Case{77, true}, Case{0, false}}) {
    build();
    Record(2).Occupant = c.Occupant;
    TVehicleState& train = Remote(0, 0, 100, 1);  // 900 m from the joint, looking 9.5 m ahead
    bool ok = false;
    const TTrackCoupling r = Couple(train, 0, 100, 1, &ok);
    ASSERT_TRUE(ok);
    if (c.Stopped) {
      EXPECT_EQ(r.SpeedLimit, 0);
    } else {
      EXPECT_GT(r.SpeedLimit, 20);  // the main line runs on to 2000 m
    }
  }
}

TEST_F(RailwayTest, BranchesAreFollowedWithinReachAndReservedWithinTheLookAhead) {
  // A standing remote train looks 16 − 14/2 = 9 m ahead: it follows a branch
  // up to 69 m away and reserves it up to 9 m away.
  struct Case {
    double Ahead;  // m from the point to the branch
    bool Followed, Reserved;
  };
  const Case cases[] = {{8, true, true},   {9, true, true},   {10, true, false},
                        {68, true, false}, {69, true, false}, {70, false, false}};
  for (const Case& c : cases) {
    SetTrack({North(0, 0, 1000), North(0, 1000, 11000, 2)});
    TVehicleState& train = Remote(0, 0, 1000 - c.Ahead, 0);
    bool ok = false;
    const TTrackCoupling r = Couple(train, 0, 1000 - c.Ahead, 1, &ok);
    ASSERT_TRUE(ok);
    // Followed, the track ends at the branch's far end; otherwise at the joint.
    const double end = c.Followed ? c.Ahead + 10000 : c.Ahead;
    EXPECT_NEAR(r.SpeedLimit, EndSpeed(end + 7 - 10), 1e-9) << c.Ahead;
    EXPECT_EQ(Record(2).Occupant, c.Reserved ? train.UserNo : 0) << c.Ahead;
  }
}

TEST_F(RailwayTest, OwnTrainFollowsBranchesWithin6060Metres) {
  for (const double ahead : {6059.0, 6060.0, 6061.0}) {
    SetTrack({North(0, 0, 7000), North(0, 7000, 17000, 2)});
    bool ok = false;
    const TTrackCoupling r = Couple(s.Own, 0, 7000 - ahead, 1, &ok);
    ASSERT_TRUE(ok);
    const double end = ahead <= 6060 ? ahead + 10000 : ahead;
    EXPECT_NEAR(r.SpeedLimit, EndSpeed(end + 7 - 10), 1e-9) << ahead;
    EXPECT_EQ(Record(2).Occupant, 0) << "the own train reserves nothing";
  }
}

TEST_F(RailwayTest, LookAheadGrowsByFiftyMetresBeyondTwentySixMetresOfBraking) {
  // Braking distances 25.9 m and 26.1 m: look-ahead 34.9 m and 85.1 m, so a
  // branch 100 m on is followed (reach + 60 m) only by the faster train.
  for (const double braking : {25.9, 26.1}) {
    SetTrack({North(0, 0, 1000), North(0, 1000, 11000, 2)});
    TVehicleState& train = Remote(0, 0, 900, std::sqrt(1.94 * braking));
    bool ok = false;
    const TTrackCoupling r = Couple(train, 0, 900, 1, &ok);
    ASSERT_TRUE(ok);
    const double end = braking > 26 ? 100 + 10000 : 100;
    EXPECT_NEAR(r.SpeedLimit, EndSpeed(end + 7 - 10), 1e-9) << braking;
  }
}

TEST_F(RailwayTest, FullSearchTakesOnlyTrackNearlyParallelToTheMotion) {
  SetTrack({North(0, 0, 100)});
  struct Case {
    float Heading;
    bool Found;
  };
  // Within 4° of the track either way round.
  const Case cases[] = {{3.9f, true},    {4.0f, false},  {356.1f, true}, {356.0f, false},
                        {176.0f, false}, {176.1f, true}, {183.9f, true}, {184.0f, false}};
  for (const Case& c : cases) {
    s.Own.Heading = c.Heading;
    bool ok = false;
    Couple(s.Own, 0, 50, 0, &ok);
    EXPECT_EQ(ok, c.Found) << c.Heading;
  }
}

TEST_F(RailwayTest, OnlyAStandingTrainMayStandOnTrackRunAgainstIt) {
  SetTrack({Segment(0, 0, 0, 0, 0, 100, 0, 1, -1)});  // southbound only
  struct Case {
    double VY;
    bool Coupled;
  };
  const Case cases[] = {{0, true}, {0.0009, true}, {0.001, false}, {0.0011, false}};
  for (const Case& c : cases) {
    TVehicleState& train = Remote(0, 0, 50, c.VY);
    bool ok = false;
    Couple(train, 0, 50, 0, &ok);
    EXPECT_EQ(ok, c.Coupled) << c.VY;
  }
}

TEST_F(RailwayTest, LookAheadEndsOnAClosedLoop) {
  struct Case {
    int32_t Ids[4];
    bool Own;
  };
  const Case cases[] = {
      {{1, 1, 1, 1}, true}, {{1, 1, 1, 1}, false}, {{1, 2, 1, 2}, true}, {{1, 2, 1, 2}, false}};
  for (const Case& c : cases) {
    // Four quarter circles of radius 100 round (0, 0), clockwise from (−100, 0).
    SetTrack({Segment(-100, 0, 0, 100, 0, 100, 90, c.Ids[0]),
              Segment(0, 100, 90, 100, 100, 0, 180, c.Ids[1]),
              Segment(100, 0, 180, 100, 0, -100, 270, c.Ids[2]),
              Segment(0, -100, 270, 100, -100, 0, 0, c.Ids[3])});
    ASSERT_EQ(Record(4).EndConnections[0], 1);
    const double r45 = 100 * std::sqrt(0.5);
    TVehicleState& train = c.Own ? s.Own : Remote(0, -r45, r45, 5);
    train.Heading = 45;
    bool ok = false;
    const TTrackCoupling r = Couple(train, -r45, r45, 1, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(r.Segment, 1);
    // Round and round: never a track end, only the curve limit.
    EXPECT_NEAR(r.SpeedLimit, std::sqrt(100.0 / 300) * kCurveLimit300, 1e-9);
    EXPECT_EQ(r.StopDistance, kNoTrack);
  }
}

TEST_F(RailwayTest, LineMaskAndDirectionDecideWhichTrackATrainTakes) {
  // Two parallel tracks 0.4 m apart: line 2 only, and a one-way southbound.
  SetTrack(
      {Segment(0, 0, 0, 0, 0, 100, 0, 1, 0, -1, 0b10), Segment(0.4, 0, 0, 0, 0.4, 100, 0, 2, -1)});
  bool ok = false;
  // Line 1 heading north: the one-way segment runs against it and the near
  // one is not its line: on the track, but it must stop there.
  TTrackCoupling r = Couple(s.Own, 0.1, 50, 0, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(r.Segment, 1);
  EXPECT_EQ(r.SpeedLimit, 0);
  s.Own.GroupNo = 2;
  r = Couple(s.Own, 0.1, 50, 0, &ok);
  EXPECT_EQ(r.Segment, 1);
  EXPECT_GT(r.SpeedLimit, 0);
  // Line bits wrap at 32: lines 34 and −30 use line 2's bit, line 0 line 32's.
  for (const int32_t group : {34, -30}) {
    s.Own.GroupNo = group;
    EXPECT_GT(Couple(s.Own, 0.1, 50, 0, &ok).SpeedLimit, 0) << group;
  }
  for (const int32_t group : {0, 1, 3, INT32_MIN, INT32_MAX}) {
    s.Own.GroupNo = group;
    EXPECT_EQ(Couple(s.Own, 0.1, 50, 0, &ok).SpeedLimit, 0) << group;
  }
}

TEST_F(RailwayTest, ReleaseAndClearTouchOnlyWhatTheySay) {
  SetTrack({North(0, 0, 1), North(0, 1, 2), North(0, 2, 3)});
  Record(1).Occupant = 5;
  Record(2).Occupant = 6;
  Record(3).Occupant = 5;
  Track().Slots[3].Occupant = 5;  // beyond the end record: not part of the list
  ReleaseTrack(Track(), 5, 8);
  EXPECT_EQ(Record(1).Occupant, 8);
  EXPECT_EQ(Record(2).Occupant, 6);
  EXPECT_EQ(Record(3).Occupant, 8);
  EXPECT_EQ(Track().Slots[3].Occupant, 5);
  ReleaseTrack(s, 8);
  EXPECT_EQ(Record(1).Occupant, 0);
  EXPECT_EQ(Record(2).Occupant, 6);
  ClearTrackMarks(s);
  EXPECT_EQ(Record(2).Occupant, 0);
  s.World = nullptr;
  ReleaseTrack(s, 5);  // no world loaded: nothing to do
  ClearTrackMarks(s);
}

TEST_F(RailwayTest, StopDistanceFallbackWalksTheThroughRoutes) {
  SetTrack({North(0, 0, 100), North(0, 100, 200, 1, 30), North(0, 200, 300, 1, 70)});
  struct Case {
    double Y, Heading, Expected;
  };
  const Case cases[] = {
      {40, 0, 60 + 30},           // forwards to segment 2's stop
      {250, 180, 50 + 100 - 30},  // backwards to segment 2's stop
      {150, 0, 50 + 70},          // the own segment's stop is not counted
      {50, 180, kNoTrack},        // runs out of track
      {400, 0, kNoTrack},         // on no segment
  };
  for (const Case& c : cases) {
    s.Own.Y = c.Y;
    s.Own.Heading = static_cast<float>(c.Heading);
    EXPECT_NEAR(StopDistanceFallback(s), c.Expected, kGeometryTol) << c.Y << " " << c.Heading;
  }
}

TEST_F(RailwayTest, AHeadingSquareToTheTrackCountsAsRunningAlongIt) {
  // "Within 90°" of the track includes 90° itself, for the look-ahead of the
  // coupling and for the fallback walk alike; beyond it the train runs the
  // other way, where the track ends behind it.
  SetTrack({North(0, 0, 100), North(0, 100, 200, 1, 30)});
  const double halfWheelbase = 7, stopMargin = 10;  // m: the test train's, and the stop's margin
  struct Case {
    float heading;
    bool forwards;
  };
  const Case cases[] = {{89.99f, true}, {90, true}, {90.01f, false},
                        {270, true},    {-90, true}, {269.99f, false}};
  for (const Case& c : cases) {
    s.Own.Y = 40;
    s.Own.Heading = c.heading;
    SCOPED_TRACE(c.heading);
    EXPECT_NEAR(StopDistanceFallback(s), c.forwards ? 60 + 30 : kNoTrack, kGeometryTol);
    bool ok = false;
    const TTrackCoupling coupling = Couple(s.Own, 0, 40, 1, &ok);
    ASSERT_TRUE(ok);
    EXPECT_NEAR(coupling.StopDistance,
                c.forwards ? 60 + 30 + halfWheelbase - stopMargin : kNoTrack, kGeometryTol);
  }
}

TEST_F(RailwayTest, StopDistanceFallbackEndsOnARingAndASelfJoinedSegment) {
  SetTrack({Segment(-100, 0, 0, 100, 0, 100, 90), Segment(0, 100, 90, 100, 100, 0, 180),
            Segment(100, 0, 180, 100, 0, -100, 270), Segment(0, -100, 270, 100, -100, 0, 0)});
  s.Own.X = -100;
  s.Own.Y = 0.2;
  EXPECT_EQ(StopDistanceFallback(s), kNoTrack);
  // A corrupt list: a segment whose through route is itself.
  SetTrack({North(0, 0, 100)});
  Record(1).EndConnections[0] = 1;
  Record(1).StartConnections[0] = 1;
  s.Own.X = 0;
  s.Own.Y = 50;
  EXPECT_EQ(StopDistanceFallback(s), kNoTrack);
  // And the look-ahead on it ends too.
  bool ok = false;
  Couple(s.Own, 0, 50, 1, &ok);
  EXPECT_TRUE(ok);
}

TEST_F(RailwayTest, SnappedTrainStaysOnThePositionGrid) {
  // A 45° track: the projection of a grid point is rarely a grid point.
  SetTrack({Segment(0, 0, 45, 0, 1000, 1000, 45)});
  s.Own.X = 100;
  s.Own.Y = 100;
  s.Own.Heading = 45;
  s.Own.VX = s.Own.VY = 10;
  for (int step = 0; step < 200; ++step) {
    StepVehicle(s, s.Own, 0.01, 0, 0.3);
    for (const double c : {s.Own.X, s.Own.Y}) {
      int exponent = 0;
      std::frexp(c, &exponent);
      const double scaled = std::ldexp(c, std::min(30 - exponent, 15));
      ASSERT_EQ(scaled, std::trunc(scaled)) << "step " << step;
    }
    ASSERT_NE(s.Own.TrackSegments, 0u);
  }
  EXPECT_NEAR(s.Own.X, s.Own.Y, 1e-4) << "on the 45° line";
  EXPECT_NEAR(vehicle::Normalise180(s.Own.Heading - 45), 0, 1e-3);
}

TEST_F(RailwayTest, MotionStepCouplesBothPointsAndReportsTheOwnLimits) {
  SetTrack({North(0, 0, 1000, 1, 600)});
  s.Own.Y = 500;
  s.Own.VY = 5;
  StepVehicle(s, s.Own, 0.01, 0, 0);
  EXPECT_EQ(s.Own.TrackSegments, 0x00010001u);
  EXPECT_EQ(Record(1).Occupant, s.Own.UserNo);
  // Front point 7 m ahead of the reference point: 600 − 507.05 − 3.
  EXPECT_NEAR(s.StopDistance, 600 - (500.05 + 7) - 3, 1e-3);
  EXPECT_NEAR(s.RailSpeedLimit, EndSpeed(1000 - 507.05 + 7 - 10), 1e-3);
  // Off the track: nothing changes, the word stays.
  s.Own.X = 5;
  StepVehicle(s, s.Own, 0.01, 0, 0);
  EXPECT_EQ(s.Own.X, 5);
  EXPECT_EQ(s.Own.TrackSegments, 0x00010001u);
  EXPECT_EQ(s.StopDistance, kNoTrack);
  EXPECT_EQ(s.RailSpeedLimit, 0);
}

}  // namespace
}  // namespace velmora::physics
