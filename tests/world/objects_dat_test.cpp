#include "world/objects_dat.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "net/text_encoding.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/temp_file.h"

namespace velmora::world {
namespace {

constexpr double kScaledTol = 1e-6;  // m: file integers scaled into 32-bit floats

class ObjectsDatTest : public ::testing::Test {
 protected:
  ObjectsDatTest() {
    renderer.GiveTextureIds = true;
    renderer.GiveSurfaceIds = true;
    renderer.MissingTextures = {"missing.bmp"};
  }
  TObjectsLoadResult Load(const std::string& utf8) {
    const net::TextConversion cp932 = net::Utf8ToCp932(utf8);
    EXPECT_TRUE(cp932.Ok);
    return LoadObjects(testing::WriteTestFile("objects.dat", cp932.Text), *world, renderer,
                       context);
  }
  template <typename T>
  const T* Object(int index) {
    return dynamic_cast<const T*>(&world->Objects[index]);
  }

  std::unique_ptr<TWorld> world = std::make_unique<TWorld>();
  testing::FakeRenderer renderer;
  TObjectsLoadContext context;
};

TEST_F(ObjectsDatTest, BlankFileGivesTheThreePanelRows) {
  const TObjectsLoadResult result = Load("\r\n   \r\n\t\r\n");
  ASSERT_TRUE(result.Ok()) << result.Message;
  EXPECT_EQ(world->Objects.Count(), 0);
  ASSERT_EQ(world->DestinationPanel.RowCount, 3);
  EXPECT_EQ(world->DestinationPanel.Rows[0], "行先を選択してください。");
  EXPECT_EQ(world->DestinationPanel.Rows[1], "・行先を指定しない");
  EXPECT_EQ(world->DestinationPanel.Rows[2], "・そのまま");
  EXPECT_EQ(world->Track.Count, 0);
  EXPECT_EQ(world->Track.Slots[0].CurveRadius, -1);
}

TEST_F(ObjectsDatTest, EveryKeywordMakesItsClass) {
  const TObjectsLoadResult result = Load(
      "Line\t0;0;1000;0;-10;150;0000FF\n"
      "Wall\t0;0;100;0;$FFFFF448;500;0a\ttex.bmp\n"
      "Arc\t0;0;0;1000;200;350;10;00FF00\n"
      "BlinkLight\t10;20;-5000;0000FF\n"
      "Taxiway\t0;0;1000;0;0;23000;0;0;0;0;0;0;tex.bmp\n"
      "Apron\t0;0;1000;0;0;23000;0;0;0;0;0;0;tex.bmp\n"
      "RaceCrs\t0;0;1000;0;0;10000;-10;tex.bmp\n"
      "RaceCrsArc\t0;0;0;1000;10000;0;90;tex.bmp\n"
      "Road\t0;0;1000;0;0;6000;tex.bmp\n"
      "Banner\t0;0;100;0;-10000;ad.bmp\thttp://example.invalid/\n");
  ASSERT_TRUE(result.Ok()) << result.Message;
  ASSERT_EQ(world->Objects.Count(), 10);
  const auto* line = Object<TLineInfo>(0);
  ASSERT_TRUE(line);
  EXPECT_NEAR(line->X2, 100, kScaledTol);
  EXPECT_NEAR(line->Z, -0.01, kScaledTol);
  EXPECT_NEAR(line->Width, 0.15, kScaledTol);
  EXPECT_EQ(line->Colour, 0x0000FF);  // red
  EXPECT_EQ(line->TextureId, 0);      // optional texture left out
  const auto* wall = Object<TWallInfo>(1);
  ASSERT_TRUE(wall);
  EXPECT_EQ(wall->Colour, 0x0A);
  EXPECT_NEAR(wall->Z, -3, kScaledTol);  // $FFFFF448 is -3000 mm in 32 bits
  EXPECT_GT(wall->TextureId, 0);
  const auto* arc = Object<TArcInfo>(2);
  ASSERT_TRUE(arc);
  EXPECT_EQ(arc->FromAngle, 350);
  EXPECT_EQ(arc->ToAngle, 10);
  EXPECT_NEAR(arc->Radius, 100, kScaledTol);
  EXPECT_EQ(arc->Colour, 0x00FF00);
  ASSERT_TRUE(Object<TBlinkLightInfo>(3));
  EXPECT_EQ(Object<TBlinkLightInfo>(3)->Colour, 0x0000FF);
  EXPECT_TRUE(Object<TTaxiwayInfo>(4));
  EXPECT_TRUE(Object<TTaxiwayInfo>(5));  // Apron is the same object
  ASSERT_TRUE(Object<TRaceCrsInfo>(6));
  EXPECT_EQ(Object<TRaceCrsInfo>(6)->StartLineDistance, -1);
  ASSERT_TRUE(Object<TRaceCrsArcInfo>(7));
  EXPECT_EQ(Object<TRaceCrsArcInfo>(7)->Colour, 0);  // textured
  EXPECT_GT(Object<TRaceCrsArcInfo>(7)->TextureId, 0);
  EXPECT_TRUE(Object<TRoadInfo>(8));
  ASSERT_TRUE(Object<TBannerInfo>(9));
  EXPECT_EQ(Object<TBannerInfo>(9)->Text, "http://example.invalid/");
  EXPECT_EQ(world->RaceStartLine, nullptr);
}

TEST_F(ObjectsDatTest, RaceStartLineIsTheLastRaceCourseWithOne) {
  ASSERT_TRUE(Load("RaceCrs\t0;0;1000;0;0;10000;0;t.bmp\n"
                   "RaceCrs\t0;0;1000;0;0;10000;50;t.bmp\n"
                   "RaceCrs\t0;0;1000;0;0;10000;-1;t.bmp\n")
                  .Ok());
  EXPECT_EQ(world->RaceStartLine, Object<TRaceCrsInfo>(1));
  EXPECT_NEAR(world->RaceStartLine->StartLineDistance, 5, kScaledTol);
}

TEST_F(ObjectsDatTest, RunwayApproachPointLiesBackAlongTheCourse) {
  // Threshold at (100 m, 200 m), approach course 90: the approach point lies
  // 1000 m west of it.
  ASSERT_TRUE(Load("Runway\t1000;2000;31000;2000;0;45000;10000;90000;t.bmp\tR\n").Ok());
  const TPoint3 point = world->Destinations[0]->ApproachPoint();
  EXPECT_NEAR(point.X, -900, kScaledTol);
  EXPECT_NEAR(point.Y, 200, kScaledTol);
}

TEST_F(ObjectsDatTest, BadLinesStopLoadingWithTheirLineNumber) {
  struct Case {
    std::string Text;
    int Line;
    const char* Reason;  // part of the reason
  };
  const Case cases[] = {
      {"\n\nline\t0;0;10;0;0;100;FFFFFF\n", 3, "unknown keyword"},
      {"Line\t0;0;10;0;0;100;FFFFFF\tmissing.bmp\n", 1, "cannot be loaded"},
      {"Road\t0;0;10;0;0;100;\n", 1, "texture file name is missing"},
      {"Road\t0;0;10;0;0;100;missing.bmp\n", 1, "cannot be loaded"},
      {"Taxiway\t0;0;10;0;0;100;0;0;0;0;0;0;   \n", 1, "texture file name is missing"},
      {std::string("Line\t0;0;10;0;0;100;FF\t") + std::string(64, 't') + "\n", 1, "63 bytes"},
      {"Line\t0;0;10;0;0;100;GREEN\n", 1, "colour"},
      {"Line\t0;0;10;zero;0;100;FFFFFF\n", 1, "y2"},
      {"Line\t0;0;10;0;0;100\n", 1, "width"},
      {"Line 0;0;10;0;0;100;FFFFFF\n", 1, "unknown keyword"},
      {"RaceCrsArcs\t0;0;0;1000;100;0;90;t.bmp\n", 1, "unknown keyword"},
      {"Runway\t0;0;0;51500;0;45000;0;0;t.bmp\tlong\n", 1, "5150"},
      {"Road\t0;0;0;100060;0;6000;t.bmp\n", 1, "1000"},
      {"Arc\t0;0;0;20000;100;0;0;FFFFFF\n", 1, "361"},
      {"Taxiway\t0;0;1000;0;0;23000;0;30000;0;0;0;0;t.bmp\n", 1, "182"},
      {"Railway\t1;0;0;0;-10;0;100;0;0;1;0;-1;t.bmp\n", 1, "negative"},
      {"Railway\t1;0;0;0;1000;0;100;1800;0;1;0;-1;t.bmp\n", 1, "opposite"},
      {"Railway\t1;0;0;900;1000;0;100;4500;0;1;0;-1;t.bmp\n", 1, "whole turn"},
      {"Railway\t1;0;0;900;1000;0;100;-2700;0;1;0;-1;t.bmp\n", 1, "whole turn"},
      {"\nRailway\t12;0;0;0;0;0;100;0;0;1;0;-1;t.bmp\n", 2, "line mask"},
      {"Railway\t0110\t0;0;0;0;0;100;0;0;1;0;-1;t.bmp\n", 1, "line mask"},
      {"Railway\t0;0;0;0;0;100;0;0;1;0;-1;t.bmp\n", 1, "stop position"},  // one field short
      {"Railway\t1;0;0;0;0;0;10000;0;0;1;0;-1;t.bmp\n", 1, "1000 m"},
      {"Railway\t1;0;0;0;100000;10000;10000;1700;0;1;0;-1;t.bmp\n", 1, "180 pieces"},
      {"Banner\t0;0;10;0;-1000;\tlink\n", 1, "texture file name is missing"},
  };
  for (const Case& c : cases) {
    world = std::make_unique<TWorld>();
    const TObjectsLoadResult result = Load(c.Text);
    ASSERT_TRUE(result.Error) << c.Text;
    EXPECT_EQ(result.Code, kWorldLoadFailure);
    EXPECT_EQ(result.Error->Line, c.Line) << c.Text;
    EXPECT_NE(result.Error->Reason.find(c.Reason), std::string::npos)
        << c.Text << " -> " << result.Error->Reason;
    EXPECT_NE(result.Error->Message().find("objects.dat"), std::string::npos);
    std::string line = c.Text;
    while (line.find('\n') == 0) line.erase(0, 1);
    line.erase(line.find('\n'));
    while (!line.empty() && line.back() == ' ') line.pop_back();  // lines are read trimmed
    // The box gives the line and, on a line of its own, the reason.
    EXPECT_EQ(result.Message, "objects.datの形式が異常です: Line " + std::to_string(c.Line) +
                                  ": " + net::Excerpt(line) + "\n" + result.Error->Reason);
  }
}

TEST_F(ObjectsDatTest, ObjectsBeforeABadLineStay) {
  const TObjectsLoadResult result = Load("Line\t0;0;10;0;0;100;FFFFFF\nWall\t1;2\n");
  ASSERT_TRUE(result.Error);
  EXPECT_EQ(world->Objects.Count(), 1);
}

TEST_F(ObjectsDatTest, RunwayPanelRowsGiveTheTurn) {
  struct Case {
    const char* Line;  // x1;y1;x2;y2 of the runway and its approach course (0.001 deg)
    const char* Row;
  };
  // A runway heading north (0) or east (90).
  const Case cases[] = {
      {"0;0;0;30000;0;45000;0;0", "・北　直線進入"},
      {"0;0;0;30000;0;45000;0;280", "・北　直線進入"},             // 0.28 deg: within 0.29
      {"0;0;0;30000;0;45000;0;-300", "・北　右0°旋回"},             // 0.3 deg to the right
      {"0;0;30000;0;0;45000;0;60000", "・北　右30°旋回"},           // heading 90, course 60
      {"0;0;30000;0;0;45000;0;120000", "・北　左30°旋回"},          // heading 90, course 120
      {"0;0;0;30000;0;45000;0;350000", "・北　右10°旋回"},          // through north
  };
  for (const Case& c : cases) {
    world = std::make_unique<TWorld>();
    const std::string line = std::string("Runway\t") + c.Line + ";t.bmp\t北\n";
    const TObjectsLoadResult result = Load(line);
    ASSERT_TRUE(result.Ok()) << result.Message;
    ASSERT_EQ(world->DestinationCount, 1);
    EXPECT_EQ(world->DestinationPanel.Rows[1], c.Row) << c.Line;
    EXPECT_EQ(world->DestinationPanel.RowCount, 4);
    EXPECT_EQ(world->DestinationPanel.Rows[2], "・行先を指定しない");
  }
}

TEST_F(ObjectsDatTest, CrosswindSuffix) {
  struct Case {
    double WindEast, WindNorth;
    bool Across;
  };
  // Runway heading north.
  const Case cases[] = {
      {0, 0, false},   // calm air blows across nothing
      {0, 5, false},   // along the runway
      {5, 0, true},    // straight across
      {5, 5.1, false}, // just under 45 degrees off the runway
      {5.1, 5, true},  // just over
      {-5, -1, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DestinationRowText("R", 0, 0, 0, 3000, 0, c.WindEast, c.WindNorth),
              c.Across ? "・R　直線進入　横風" : "・R　直線進入")
        << c.WindEast << " " << c.WindNorth;
  }
}

TEST_F(ObjectsDatTest, RunwaysBecomeDestinationsUpToTwenty) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "Runway\t0;0;0;30000;0;45000;0;0;t.bmp\tR" + std::to_string(i) + "\n";
  ASSERT_TRUE(Load(text).Ok());
  EXPECT_EQ(world->DestinationCount, 20);
  EXPECT_EQ(world->Destinations[19]->Name, "R19");
  EXPECT_EQ(world->DestinationPanel.RowCount, 23);
  EXPECT_EQ(world->DestinationPanel.Rows[22], "・そのまま");

  world = std::make_unique<TWorld>();
  const TObjectsLoadResult result = Load(text + "Runway\t0;0;0;30000;0;45000;0;0;t.bmp\tR20\n");
  ASSERT_TRUE(result.Error);
  EXPECT_EQ(result.Error->Line, 21);
}

TEST_F(ObjectsDatTest, RailwayLinesBecomeTrackRecords) {
  const TObjectsLoadResult result = Load(
      "Railway\t101;10;20;900;1000;$64;200;900;-5;7;1;500;rail.bmp\n"
      "Railway\t;0;0;0;0;0;100;0;0;7;0;-1;rail.bmp\n");
  ASSERT_TRUE(result.Ok()) << result.Message;
  ASSERT_EQ(world->Track.Count, 2);
  const TTrackRecord& first = world->Track.Record(1);
  EXPECT_EQ(first.LineMask, 5);
  EXPECT_NEAR(first.StartX, 1, kScaledTol);
  EXPECT_NEAR(first.StartY, 2, kScaledTol);
  EXPECT_NEAR(first.StartHeading, 90, kScaledTol);
  EXPECT_NEAR(first.CurveRadius, 100, kScaledTol);
  EXPECT_NEAR(first.EndX, 10, kScaledTol);  // $64 tenths
  EXPECT_EQ(first.TrackId, 7);
  EXPECT_EQ(first.Direction, 1);
  EXPECT_NEAR(first.StopPosition, 50, kScaledTol);
  // An empty mask admits no line; the fields after it keep their places.
  EXPECT_EQ(world->Track.Record(2).LineMask, 0);
  EXPECT_NEAR(world->Track.Record(2).EndY, 10, kScaledTol);
  EXPECT_EQ(world->Track.Slots[2].CurveRadius, -1);  // the end record
}

TEST_F(ObjectsDatTest, LineMaskHoldsAtMostThirtyTwoDigits) {
  // Each mask on the second line, after a good segment.
  struct Case {
    std::string Mask;
    std::optional<int32_t> LineMask;  // empty: the line is refused
  };
  const Case cases[] = {
      {"1" + std::string(31, '0'), INT32_MIN},     // 32 digits: line 32 alone
      {std::string(31, '0') + "1", 1},             // 32 digits: line 1 alone
      {"1" + std::string(32, '0'), std::nullopt},  // 33 digits: line 33 would read as no line
      {std::string(32, '0') + "1", std::nullopt},  // 33 digits, even with a value that fits
      {"", 0},                                     // no digit: a segment no train uses
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mask '" + c.Mask + "'");
    world = std::make_unique<TWorld>();
    const TObjectsLoadResult result = Load(
        "Railway\t1;0;0;0;0;0;100;0;0;1;0;-1;t.bmp\n"
        "Railway\t" +
        c.Mask + ";0;100;0;0;0;200;0;0;1;0;-1;t.bmp\n");
    if (c.LineMask) {
      ASSERT_TRUE(result.Ok()) << result.Message;
      EXPECT_EQ(world->Track.Record(2).LineMask, *c.LineMask);
    } else {
      ASSERT_TRUE(result.Error);
      EXPECT_EQ(result.Error->Line, 2);
      EXPECT_NE(result.Error->Reason.find("line mask has 33 digits; it holds at most 32"),
                std::string::npos)
          << result.Error->Reason;
    }
  }
}

TEST_F(ObjectsDatTest, TwoHundredAndFirstRailwayIsRejected) {
  std::string text;
  for (int i = 0; i < 201; ++i) {
    text += "Railway\t1;" + std::to_string(i * 1000) + ";0;0;0;" + std::to_string(i * 1000) +
            ";1000;0;0;1;0;-1;r.bmp\n";
  }
  const TObjectsLoadResult result = Load(text);
  ASSERT_TRUE(result.Error);
  EXPECT_EQ(result.Error->Line, 201);
  EXPECT_EQ(world->Track.Count, 200);
  EXPECT_EQ(world->Track.Slots[200].CurveRadius, -1);
}

// Segments 1..3 all end at (0, 0), where segment 4 starts heading north.
TEST_F(ObjectsDatTest, ThirdSegmentIntoOneStartIsReported) {
  const TObjectsLoadResult result =
      Load("Railway\t1;0;-1000;0;0;0;0;0;0;1;0;-1;r.bmp\n"
           "Railway\t1;-1000;-1000;0;1000;0;0;0;0;2;0;-1;r.bmp\n"
           "Railway\t1;1000;-1000;0;1000;0;0;0;0;3;0;-1;r.bmp\n"
           "Railway\t1;0;0;0;0;0;1000;0;0;1;0;-1;r.bmp\n");
  ASSERT_TRUE(result.Ok()) << result.Message;
  ASSERT_EQ(result.TrackNotices.size(), 1u);
  EXPECT_EQ(result.TrackNotices[0], "# Railway 4 S connections to 1 2 3.");
  const TTrackRecord& joint = world->Track.Record(4);
  EXPECT_EQ(joint.StartConnections[0], 1);
  EXPECT_EQ(joint.StartConnections[1], 2);
  EXPECT_EQ(world->Track.Record(1).EndConnections[0], 4);
  EXPECT_EQ(world->Track.Record(3).EndConnections[0], 4);
}

TEST(TrackConnections, ThroughRouteComesFirst) {
  // Segment 1 heads north and ends at the origin; segments 2 (straight on)
  // and 3 (curving right) start there. Listed diverging route first.
  TTrackList list;
  const auto add = [&](double sx, double sy, double sh, double ex, double ey, double eh,
                       int direction) {
    TTrackRecord& r = list.Slots[list.Count++];
    r.StartX = sx, r.StartY = sy, r.StartHeading = sh;
    r.EndX = ex, r.EndY = ey, r.EndHeading = eh;
    r.CurveRadius = 100, r.Direction = direction;
  };
  add(0, -100, 0, 0, 0, 0, 0);
  add(0, 0, 0, 100, 100, 90, 0);   // diverging: turns right
  add(0, 0, 0, 0, 100, 0, 0);      // through
  add(0, 0, 0, -100, 100, 270, 0); // turns left
  list.Slots[list.Count].CurveRadius = -1;
  std::vector<std::string> notices = BuildTrackConnections(list);
  EXPECT_EQ(list.Record(1).EndConnections[0], 3) << "the through route";
  EXPECT_EQ(list.Record(1).EndConnections[1], 2);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], "# Railway 1 E connections to 3 2 4.");
  // Segments starting at the same point as one another join nothing there.
  EXPECT_EQ(list.Record(3).StartConnections[0], 1);
  EXPECT_EQ(list.Record(3).StartConnections[1], 0);
}

TEST(TrackConnections, OneWayFirstLinkGivesWay) {
  TTrackList list;
  list.Count = 3;
  list.Slots[0] = {};
  list.Slots[0].EndY = 0, list.Slots[0].StartY = -100;
  list.Slots[1].StartY = 0, list.Slots[1].EndY = 100, list.Slots[1].Direction = -1;  // one way back
  list.Slots[2].StartY = 0, list.Slots[2].EndY = 200;
  BuildTrackConnections(list);
  EXPECT_EQ(list.Record(1).EndConnections[0], 3);
  EXPECT_EQ(list.Record(1).EndConnections[1], 2);
}

}  // namespace
}  // namespace velmora::world
