// The railway of the installation connects as intended: the main line runs
// unbroken between its two buffer stops, every switch gives the through
// route first, and each line can run its route from terminus to terminus.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "tests/data/installation.h"
#include "tests/support/fake_renderer.h"

namespace velmora::testing {
namespace {

constexpr int kMainTrack = 1;
constexpr double kSlowSection = 65536;  // m: stop positions from here on mean 25 km/h

bool Admits(const world::TTrackRecord& r, int line) { return (r.LineMask >> (line - 1)) & 1; }
bool HasStop(const world::TTrackRecord& r) {
  return r.StopPosition >= 0 && r.StopPosition < kSlowSection;
}

class RailwayNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    renderer.GiveTextureIds = true;
    LoadInstallation(renderer, installation);
  }
  const world::TTrackList& Track() const { return installation.World->Track; }
  const world::TTrackRecord& Record(int n) const { return Track().Record(n); }

  // The route a train of `line` takes from segment `first` running towards
  // the segments' ends (forwards) or starts: the first connection at each
  // joint that admits it, as the through route comes first. Ends where no
  // connection admits it.
  std::vector<int> Route(int first, int line, bool forwards) const {
    std::vector<int> route = {first};
    while (static_cast<int>(route.size()) <= Track().Count) {
      const world::TTrackRecord& r = Record(route.back());
      const int32_t* next = forwards ? r.EndConnections : r.StartConnections;
      int chosen = 0;
      for (int k = 0; k < 2 && chosen == 0 && next[k] != 0; ++k) {
        const world::TTrackRecord& n = Record(next[k]);
        const bool allowed = forwards ? n.Direction >= 0 : n.Direction <= 0;
        if (Admits(n, line) && allowed) chosen = next[k];
      }
      if (chosen == 0) break;
      route.push_back(chosen);
    }
    return route;
  }

  FakeRenderer renderer;
  TInstallation installation;
};

TEST_F(RailwayNetworkTest, EveryJointMatchesInPositionAndHeading) {
  ASSERT_GT(Track().Count, 10);
  EXPECT_TRUE(installation.Objects.TrackNotices.empty());
  for (int n = 1; n <= Track().Count; ++n) {
    const world::TTrackRecord& r = Record(n);
    for (int k = 0; k < 2; ++k) {
      if (const int s = r.StartConnections[k]; s != 0) {
        EXPECT_EQ(Record(s).EndX, r.StartX) << n;
        EXPECT_EQ(Record(s).EndY, r.StartY) << n;
        EXPECT_EQ(Record(s).EndHeading, r.StartHeading) << "joint " << s << " - " << n;
      }
      if (const int e = r.EndConnections[k]; e != 0) {
        EXPECT_EQ(Record(e).StartHeading, r.EndHeading) << "joint " << n << " - " << e;
      }
    }
  }
}

TEST_F(RailwayNetworkTest, MainLineRunsUnbrokenBetweenTwoBufferStops) {
  int openStarts = 0, openEnds = 0, mainSegments = 0;
  for (int n = 1; n <= Track().Count; ++n) {
    const world::TTrackRecord& r = Record(n);
    if (r.TrackId != kMainTrack) continue;
    ++mainSegments;
    openStarts += r.StartConnections[0] == 0 ? 1 : 0;
    openEnds += r.EndConnections[0] == 0 ? 1 : 0;
  }
  EXPECT_GT(mainSegments, 8);
  EXPECT_EQ(openStarts, 1) << "only station A's buffer stop ends the main line to the south";
  EXPECT_EQ(openEnds, 1) << "only station C's buffer stop ends it to the north";
}

TEST_F(RailwayNetworkTest, SwitchesGiveTheThroughRouteFirst) {
  int switches = 0;
  for (int n = 1; n <= Track().Count; ++n) {
    const world::TTrackRecord& r = Record(n);
    for (const int32_t* joint : {r.StartConnections, r.EndConnections}) {
      if (joint[1] == 0) continue;
      ++switches;
      EXPECT_EQ(Record(joint[0]).TrackId, r.TrackId) << "segment " << n << ": through route";
      EXPECT_NE(Record(joint[1]).TrackId, r.TrackId) << "segment " << n << ": diverging route";
    }
  }
  EXPECT_EQ(switches, 3) << "the two ends of the passing loop and the junction";
}

TEST_F(RailwayNetworkTest, EachLineRunsFromTerminusToTerminus) {
  struct Case {
    int Line;
    bool StartAtStationD;  // else at station A
    bool Forwards;
    int ExpectedStops;     // station stops along the route, the first included
  };
  int stationD = 0;
  for (int n = 1; n <= Track().Count; ++n) {
    if (Record(n).TrackId != kMainTrack && HasStop(Record(n)) && !Admits(Record(n), 1)) {
      stationD = n;
    }
  }
  ASSERT_NE(stationD, 0);
  const Case cases[] = {
      {1, false, true, 3},   // A - B - C
      {2, false, true, 3},   // A - B - D
      {2, true, false, 3},   // D - B - A
  };
  for (const Case& c : cases) {
    const std::vector<int> route = Route(c.StartAtStationD ? stationD : 1, c.Line, c.Forwards);
    const world::TTrackRecord& last = Record(route.back());
    int stops = 0;
    for (int n : route) stops += HasStop(Record(n)) ? 1 : 0;
    EXPECT_EQ(stops, c.ExpectedStops) << "line " << c.Line;
    const int32_t* beyond = c.Forwards ? last.EndConnections : last.StartConnections;
    EXPECT_EQ(beyond[0], 0) << "line " << c.Line << " ends at a buffer stop";
    if (c.Forwards) {
      EXPECT_GE(last.StopPosition, kSlowSection) << "the 25 km/h section before the buffer stop";
    }
  }
}

TEST_F(RailwayNetworkTest, LoopCurvesAndLinesAreVaried) {
  std::set<double> radii;
  std::set<int> lineBits;
  int loopSegments = 0;
  for (int n = 1; n <= Track().Count; ++n) {
    const world::TTrackRecord& r = Record(n);
    if (r.StartHeading != r.EndHeading) radii.insert(r.CurveRadius);
    for (int line = 1; line <= 32; ++line) {
      if (Admits(r, line)) lineBits.insert(line);
    }
    if (r.TrackId == 2) {
      ++loopSegments;
      EXPECT_EQ(r.Direction, 1) << "the passing loop is northbound";
    }
  }
  EXPECT_GE(radii.size(), 4u);
  EXPECT_EQ(lineBits, (std::set<int>{1, 2}));
  EXPECT_GE(loopSegments, 5);
}

}  // namespace
}  // namespace velmora::testing
