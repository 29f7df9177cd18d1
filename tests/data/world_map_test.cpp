// The map of the sample installation that the server's web page draws, read
// back as JSON; and an installation that cannot be read.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <string>

#include "data/world_map.h"
#include "tests/support/temp_file.h"

namespace velmora::data {
namespace {

constexpr double kPrinted = 0.05;  // m: the map is written to 0.1 m

TEST(WorldMap, TheSampleInstallation) {
  const TMapBuild build = BuildWorldMap(VELMORA_DATA_DIR);
  ASSERT_EQ(build.Error, "");
  EXPECT_EQ(build.Notes, "") << "every ground texture has its colour";
  const QJsonObject map = QJsonDocument::fromJson(QByteArray::fromStdString(build.Json)).object();

  const QJsonArray runways = map["runways"].toArray();
  ASSERT_EQ(runways.size(), 2);
  EXPECT_EQ(runways[0].toObject()["name"].toString().toStdString(), "中央空港 RWY36");
  EXPECT_NEAR(runways[0].toObject()["y1"].toDouble(), -1500, kPrinted);
  EXPECT_NEAR(runways[0].toObject()["y2"].toDouble(), 1500, kPrinted);
  EXPECT_NEAR(runways[0].toObject()["width"].toDouble(), 45, kPrinted);
  EXPECT_EQ(runways[1].toObject()["name"].toString().toStdString(), "中央空港 RWY03");

  // Station A 200 m up line 1 from its buffer stop; B, where the loop of
  // line 2 stops beside line 1, between the two stop marks; C; D.
  const QJsonArray stations = map["stations"].toArray();
  ASSERT_EQ(stations.size(), 4);
  EXPECT_NEAR(stations[0].toObject()["x"].toDouble(), -4000, kPrinted);
  EXPECT_NEAR(stations[0].toObject()["y"].toDouble(), -2800, kPrinted);
  EXPECT_EQ(stations[0].toObject()["lines"].toInt(), 3);
  EXPECT_NEAR(stations[1].toObject()["x"].toDouble(), (-3654.1 - 3648.9) / 2, kPrinted);
  EXPECT_NEAR(stations[1].toObject()["y"].toDouble(), -537.8, kPrinted);
  EXPECT_EQ(stations[1].toObject()["lines"].toInt(), 3);
  EXPECT_EQ(map["railway"].toArray().size(), 21);

  std::map<std::string, int> kinds;
  for (const auto& strip : map["strips"].toArray()) {
    ++kinds[strip.toObject()["kind"].toString().toStdString()];
  }
  EXPECT_EQ(kinds["runway"], 2);
  EXPECT_EQ(kinds["race"], 4);
  EXPECT_EQ(kinds["road"], 9);
  EXPECT_EQ(kinds["building"], 17);
  EXPECT_EQ(kinds["apron"], 1);

  // The ground deepest first: the plain land reaching to the horizon, then
  // the open sea south of it.
  const QJsonArray ground = map["ground"].toArray();
  ASSERT_EQ(ground.size(), 13);
  EXPECT_EQ(ground[0].toObject()["colour"].toString(), "#466e3c");
  EXPECT_NEAR(ground[1].toObject()["y2"].toDouble(), -12000, kPrinted);
  EXPECT_NE(ground[1].toObject()["colour"].toString(), "#808080");

  const QJsonObject bounds = map["bounds"].toObject();
  EXPECT_LT(bounds["west"].toDouble(), -4300);
  EXPECT_GT(bounds["east"].toDouble(), 6200);
  EXPECT_LT(bounds["south"].toDouble(), -3000);
  EXPECT_GT(bounds["north"].toDouble(), 2200);
}

TEST(WorldMap, AnInstallationThatCannotBeReadIsNamed) {
  const auto folder = testing::TestFilePath("installation");
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "ground.dat") << "0;0;100;100;0;0;$008000\r\n";
  std::ofstream(folder / "objects.dat") << "Road\t0;0;10;10;0;8000;road.png\r\nRoad\t1;2\r\n";
  const TMapBuild build = BuildWorldMap(folder);
  EXPECT_NE(build.Error.find("objects.dat"), std::string::npos) << build.Error;
  EXPECT_NE(build.Error.find("2"), std::string::npos) << build.Error;
  EXPECT_EQ(build.Json, "");
  EXPECT_NE(BuildWorldMap(folder / "missing").Error.find("ground.dat"), std::string::npos);
}

}  // namespace
}  // namespace velmora::data
