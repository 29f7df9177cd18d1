#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/missions.h"
#include "tests/data/start_points.h"
#include "tests/support/temp_file.h"

namespace velmora::server {
namespace {

constexpr double kExact = 1e-12;  // m: values read from the file unchanged

TEST(Missions, SampleFileHoldsEveryKindOfMission) {
  const MissionsLoad load = LoadMissions(VELMORA_SAMPLE_MISSIONS);
  ASSERT_FALSE(load.Error) << load.Error->Message();
  const MissionsFile& file = load.Missions;
  ASSERT_EQ(file.Headings.size(), 1u);

  bool departure = false, practice10 = false, practice11 = false, fighters = false, race = false,
       train = false;
  for (const Mission& m : file.Missions) {
    const StartPoint& s = m.Starts.front();
    if (!m.Practice && s.FormNo == 11 && s.Speed == 0) departure = true;
    if (m.Practice && s.FormNo == 10) practice10 = true;
    if (m.Practice && s.FormNo == 11) practice11 = true;
    if (s.FormNo == 12 && m.GroupNo != 0 && m.Starts.size() >= 2) fighters = true;
    if (s.FormNo == 20 && m.Goal && m.Starts.size() >= 2) race = true;
    if (s.FormNo == 30 && m.Goal) train = true;
  }
  EXPECT_TRUE(departure && practice10 && practice11 && fighters && race && train);
  EXPECT_LE(file.Headings.size() + file.Missions.size(), kMaxPanelRows);
}

TEST(Missions, SampleStartsAreTheInstallationsDocumentedStartPoints) {
  // The installation's tests check these points against its world; every
  // start of the sample missions must be one of them (a practice approach is
  // placed anew when its destination is chosen).
  const MissionsLoad load = LoadMissions(VELMORA_SAMPLE_MISSIONS);
  ASSERT_FALSE(load.Error) << load.Error->Message();
  for (const Mission& m : load.Missions.Missions) {
    if (m.Practice) continue;
    for (const StartPoint& start : m.Starts) {
      bool documented = false;
      for (const testing::TStartPoint& p : testing::kStartPoints) {
        documented = documented || (p.FormNo == start.FormNo && p.X == start.X &&
                                    p.Y == start.Y && p.Heading == start.Heading);
      }
      EXPECT_TRUE(documented) << m.Title << ": type " << start.FormNo << " at (" << start.X
                              << ", " << start.Y << ") heading " << start.Heading;
    }
  }
}

TEST(Missions, ReadsEveryKeyword) {
  const MissionsLoad load = ParseMissions(
      "# comment\n"
      "\n"
      "wind 1.5 -2\n"
      "heading Choose\n"
      "mission  Dogfight  \n"
      "  group 7\n"
      "  start 12 -100 -3000 3000 0 2 200 0\n"
      "  start 13 100 3000 3000 180 0 200 10\n"
      "mission Practice\r\n"
      "practice\n"
      "start 10 0 -12000 600 0 0 108 0\n"
      "mission Race\n"
      "start 20 800 -1000 0 0 0 0 0\n"
      "goal 800 1000 0 20 1000\n",
      "test.txt");
  ASSERT_FALSE(load.Error) << load.Error->Message();
  const MissionsFile& f = load.Missions;
  EXPECT_NEAR(f.WindEast, 1.5, kExact);
  EXPECT_NEAR(f.WindNorth, -2.0, kExact);
  ASSERT_EQ(f.Headings, std::vector<std::string>{"Choose"});
  ASSERT_EQ(f.Missions.size(), 3u);
  EXPECT_EQ(f.Missions[0].Title, "Dogfight");
  EXPECT_EQ(f.Missions[0].GroupNo, 7);
  ASSERT_EQ(f.Missions[0].Starts.size(), 2u);
  EXPECT_EQ(f.Missions[0].Starts[1].FormNo, 13);
  EXPECT_NEAR(f.Missions[0].Starts[1].Heading, 180, kExact);
  EXPECT_NEAR(f.Missions[0].Starts[1].Flap, 10, kExact);
  EXPECT_NEAR(f.Missions[0].Starts[0].Pitch, 2, kExact);
  EXPECT_TRUE(f.Missions[1].Practice);
  EXPECT_EQ(f.Missions[1].Title, "Practice");
  ASSERT_TRUE(f.Missions[2].Goal);
  EXPECT_NEAR(f.Missions[2].Goal->Radius, 20, kExact);
}

TEST(Missions, StartRecordsInWireUnits) {
  Mission fighters{"F", 7, false, {}, std::nullopt};
  const StartPoint east{12, 100.25, -3000, 3000, 90, 2, 200, 0};
  const WireVehicle v = StartRecord(fighters, east, 5);
  EXPECT_EQ(v.UserNo, 5);
  EXPECT_EQ(v.GroupNo, 7);
  EXPECT_EQ(v.Kind, 1);
  EXPECT_EQ(v.FormNo, 12);
  EXPECT_EQ(v.X, 10025);
  EXPECT_EQ(v.Y, -300000);
  EXPECT_EQ(v.Z, -300000);  // 3000 m up is z = -3000 m
  EXPECT_EQ(v.Heading, 9000);
  EXPECT_EQ(v.Pitch, 200);
  EXPECT_EQ(v.VX, 20000);   // 200 m/s due east
  EXPECT_EQ(v.VY, 0);

  Mission practice{"P", 0, true, {}, std::nullopt};
  const WireVehicle p = StartRecord(practice, StartPoint{10, 0, -12000, 600, 360, 0, 108, 0}, 5);
  EXPECT_EQ(p.Kind, 0);  // the program flies it in practice mode
  EXPECT_EQ(p.FormNo, 10);
  EXPECT_EQ(p.Heading, 0);
  EXPECT_EQ(p.VY, 10800);
  const WireVehicle train =
      StartRecord(Mission{"T", 0, false, {}, std::nullopt}, StartPoint{30, 0, 0, 0, 0, 0, 0, 0}, 1);
  EXPECT_EQ(train.Kind, 3);
}

TEST(Missions, ErrorsNameTheLineAndTheFault) {
  struct Case {
    std::string text;
    int line;
    std::string reason;  // a part of the reason
  };
  const std::vector<Case> cases = {
      {"", 0, "no mission"},
      {"# only a comment\n", 0, "no mission"},
      {"mission A\nstart 12 0 0 0 0 0 0 0\nhelicopter 1\n", 3, "unknown keyword 'helicopter'"},
      {"start 12 0 0 0 0 0 0 0\n", 1, "before any 'mission'"},
      {"mission A\nstart 12 0 0 0 0 0 0\n", 2, "needs 8 numbers"},
      {"mission A\nstart 12 0 0 0 0 0 0 0 9\n", 2, "more follow"},
      {"mission A\nstart 12 0 x 0 0 0 0 0\n", 2, "'x' is not a number"},
      {"mission A\nstart 5 0 0 0 0 0 0 0\n", 2, "vehicle type"},
      {"mission A\nstart 12.5 0 0 0 0 0 0 0\n", 2, "vehicle type"},
      {"mission A\nstart 101 0 0 0 0 0 0 0\n", 2, "vehicle type"},
      {"mission A\nstart 12 0 0 0 0 95 0 0\n", 2, "pitch"},
      {"mission A\nstart 12 1e9 0 0 0 0 0 0\n", 2, "10000 km"},
      {"mission A\nstart 12 0 0 0 0 0 0 120\n", 2, "flap"},
      {"mission A\n\nmission B\nstart 12 0 0 0 0 0 0 0\n", 1, "has no 'start'"},
      {"mission A\nstart 12 0 0 0 0 0 0 0\nmission B\n", 3, "has no 'start'"},
      {"mission A\npractice\nstart 12 0 0 0 0 0 0 0\n", 1, "type 10 or 11"},
      {"mission A\nstart 12 0 0 0 0 0 0 0\nheading late\n", 3, "before the first mission"},
      {"mission A\nstart 12 0 0 0 0 0 0 0\ngoal 0 0 0 0 1\n", 3, "radius"},
      {"mission A\nstart 12 0 0 0 0 0 0 0\ngoal 0 0 0 5 1\ngoal 0 0 0 5 1\n", 4, "second 'goal'"},
      {"wind 1 2\nwind 1 2\n", 2, "second 'wind'"},
      {"mission A\ngroup -1\n", 2, "group number"},
      {"mission\n", 1, "text is empty"},
      {"mission a\tb\n", 1, "TAB"},
      {"mission \xff\xfe\n", 1, "Shift-JIS"},
      {"mission A\npractice now\n", 2, "takes nothing"},
  };
  for (const Case& c : cases) {
    const MissionsLoad load = ParseMissions(c.text, "m.txt");
    ASSERT_TRUE(load.Error) << c.text;
    EXPECT_EQ(load.Error->File, "m.txt");
    EXPECT_EQ(load.Error->Line, c.line) << c.text;
    EXPECT_NE(load.Error->Reason.find(c.reason), std::string::npos)
        << c.text << " gave: " << load.Error->Reason;
  }
}

TEST(Missions, AHugeLineIsQuotedAsAShortExcerpt) {
  constexpr std::size_t kMaxReasonBytes = 200;  // the excerpt and the words around it
  const std::string huge(10 * 1024 * 1024, 'x');
  const std::string texts[] = {
      "mission A\nstart 12 0 0 0 0 0 0 0\n" + huge + " 1\n",
      "mission A\nstart 12 0 " + huge + " 0 0 0 0 0\n",
      "mission A\nstart 12 0 0 0 0 0 0 0 " + huge + "\n",
      huge + "\n",
  };
  for (const std::string& text : texts) {
    const MissionsLoad load = ParseMissions(text, "m.txt");
    ASSERT_TRUE(load.Error);
    EXPECT_LE(load.Error->Reason.size(), kMaxReasonBytes) << load.Error->Reason.substr(0, 200);
    EXPECT_NE(load.Error->Reason.find("bytes in all"), std::string::npos)
        << load.Error->Reason.substr(0, 200);
  }
}

TEST(Missions, TooManyPanelRowsIsAnError) {
  std::string text = "heading H\n";
  for (int i = 1; i <= 100; ++i) {
    text += "mission M" + std::to_string(i) + "\nstart 20 0 0 0 0 0 0 0\n";
  }
  const MissionsLoad load = ParseMissions(text, "m.txt");
  ASSERT_TRUE(load.Error);
  EXPECT_EQ(load.Error->Line, 1 + 99 * 2 + 1);  // the 100th mission line
  EXPECT_NE(load.Error->Reason.find("panel rows"), std::string::npos);
}

TEST(Missions, FileErrorsNameTheFile) {
  const auto path = testing::TestFilePath("absent.txt");
  const MissionsLoad missing = LoadMissions(path);
  ASSERT_TRUE(missing.Error);
  EXPECT_EQ(missing.Error->File, path.string());
  EXPECT_EQ(missing.Error->Line, 0);

  const auto bad = testing::WriteTestFile("bad.txt", "mission A\nstart 12 0 0\n");
  const MissionsLoad load = LoadMissions(bad);
  ASSERT_TRUE(load.Error);
  EXPECT_EQ(load.Error->Message(), bad.string() + ": line 2: 'start' needs 8 numbers");
}

}  // namespace
}  // namespace velmora::server
