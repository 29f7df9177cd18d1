// What the three data-file loaders say about hostile or sloppy files: a huge
// line is quoted as a short, visibly cut excerpt; every error gives its
// reason; blank lines at the end are accepted alike; an empty file is noted.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/fake_renderer.h"
#include "tests/support/temp_file.h"
#include "vehicle/vehicles_dat.h"
#include "world/ground_dat.h"
#include "world/objects_dat.h"

namespace velmora::world {
namespace {

// The longest message a quoted line may produce: the fixed words, a file
// path, the excerpt and the reason around it.
constexpr std::size_t kMaxMessageBytes = 400;
const std::string kHuge(10 * 1024 * 1024, 'x');  // a 10 MB field
const std::string kGoodVehicle = "1;0;0;0;0;0;0;0;0;-1;a\tbox";
const std::string kGoodGround = "0;0;10;10;0;0;$008000";
const std::string kGoodObject = "Line\t0;0;0;1000;-10;5000;FFFFFF";

class DataMessagesTest : public ::testing::Test {
 protected:
  DataMessagesTest() {
    renderer.GiveTextureIds = true;
    renderer.GiveSurfaceIds = true;
  }

  std::optional<net::DataFileError> Vehicles(const std::string& text,
                                             std::vector<std::string>* notices = nullptr) {
    vehicle::TFormTable table;
    const auto result =
        vehicle::LoadVehicleTypes(testing::WriteTestFile("vehicles.dat", text), table, renderer);
    if (notices) *notices = result.Notices;
    return result.Error;
  }
  std::optional<net::DataFileError> Ground(const std::string& text,
                                           std::vector<std::string>* notices = nullptr) {
    TGroundTable table;
    const auto result = LoadGround(testing::WriteTestFile("ground.dat", text), table, renderer);
    if (notices) *notices = result.Notices;
    return result.Error;
  }
  TObjectsLoadResult Objects(const std::string& text) {
    world = std::make_unique<TWorld>();
    return LoadObjects(testing::WriteTestFile("objects.dat", text), *world, renderer, {});
  }

  testing::FakeRenderer renderer;
  std::unique_ptr<TWorld> world;
};

TEST_F(DataMessagesTest, AHugeLineIsQuotedAsAShortCutExcerpt) {
  // The length given is the whole field's: 10 MB and any characters around it.
  const std::string inAll = "…(" + std::to_string(kHuge.size()).substr(0, 3);
  const auto vehicles = Vehicles("1;" + kHuge + ";0;0;0;0;0;0;0;-1;a\tbox\n");
  ASSERT_TRUE(vehicles);
  const auto ground = Ground("0;" + kHuge + ";10;10;0;0;$008000\n");
  ASSERT_TRUE(ground);
  const auto groundColour = Ground("0;0;10;10;0;0;$" + kHuge + "\n");
  ASSERT_TRUE(groundColour);
  const TObjectsLoadResult keyword = Objects(kHuge + "\t0;0;0;1000;-10;5000;FFFFFF\n");
  ASSERT_TRUE(keyword.Error);
  const TObjectsLoadResult colour = Objects("Line\t0;0;0;1000;-10;5000;" + kHuge + "\n");
  ASSERT_TRUE(colour.Error);
  const std::string messages[] = {vehicles->Message(),      ground->Message(),
                                  groundColour->Message(),  keyword.Error->Message(),
                                  keyword.Message,          colour.Error->Message(),
                                  colour.Message};
  for (const std::string& message : messages) {
    EXPECT_LE(message.size(), kMaxMessageBytes) << message.substr(0, kMaxMessageBytes);
    EXPECT_NE(message.find(inAll), std::string::npos) << message.substr(0, kMaxMessageBytes);
  }
  EXPECT_NE(keyword.Message.find("unknown keyword"), std::string::npos) << keyword.Message;
  EXPECT_NE(colour.Message.find("not a hexadecimal colour"), std::string::npos) << colour.Message;
}

TEST_F(DataMessagesTest, ObjectsErrorsGiveTheReasonAndAMissingFileIsNoLine) {
  renderer.MissingTextures = {"broken.bmp"};
  const TObjectsLoadResult texture =
      Objects(kGoodObject + "\nRunway\t0;0;0;30000;0;45000;0;0;broken.bmp\tR\n");
  ASSERT_TRUE(texture.Error);
  EXPECT_EQ(texture.Message,
            "objects.datの形式が異常です: Line 2: Runway\t0;0;0;30000;0;45000;0;0;broken.bmp\tR\n"
            "texture 'broken.bmp' cannot be loaded");

  world = std::make_unique<TWorld>();
  const std::string missing = testing::TestFilePath("none").string() + "/objects.dat";
  const TObjectsLoadResult none = LoadObjects(missing, *world, renderer, {});
  ASSERT_TRUE(none.Error);
  EXPECT_EQ(none.Message, "objects.datを読めません: " + missing +
                              ": cannot open: No such file or directory");
  EXPECT_EQ(none.Message.find("Line 0"), std::string::npos);
}

TEST_F(DataMessagesTest, BlankLinesAtTheEndAreAcceptedByEveryLoader) {
  const std::string endings[] = {"\n", "\n\n", "\r\n\r\n", "\n \n", "\n\t\n\n"};
  for (const std::string& end : endings) {
    SCOPED_TRACE(::testing::PrintToString(end));
    EXPECT_FALSE(Vehicles(kGoodVehicle + end));
    EXPECT_FALSE(Ground(kGoodGround + end));
    EXPECT_TRUE(Objects(kGoodObject + end).Ok());
  }
  // A blank line between records stays an error where the format allows none.
  EXPECT_TRUE(Vehicles(kGoodVehicle + "\n\n" + kGoodVehicle + "\n"));
  EXPECT_TRUE(Ground(kGoodGround + "\n\n" + kGoodGround + "\n"));
  EXPECT_TRUE(Objects(kGoodObject + "\n\n" + kGoodObject + "\n").Ok());
}

TEST_F(DataMessagesTest, AnEmptyFileLoadsWithANotice) {
  for (const std::string& text : {std::string(), std::string("\n \n")}) {
    std::vector<std::string> notices;
    EXPECT_FALSE(Vehicles(text, &notices));
    EXPECT_EQ(notices, std::vector<std::string>{testing::TestFilePath("vehicles.dat").string() +
                                                " に乗物の種類がありません。"});
    EXPECT_FALSE(Ground(text, &notices));
    EXPECT_EQ(notices, std::vector<std::string>{testing::TestFilePath("ground.dat").string() +
                                                " に地面がありません。"});
    const TObjectsLoadResult objects = Objects(text);
    EXPECT_TRUE(objects.Ok());
    EXPECT_EQ(objects.Notices, std::vector<std::string>{testing::TestFilePath("objects.dat").string() +
                                                        " に物体がありません。"});
  }
  // A file with records gives no such notice.
  std::vector<std::string> notices;
  EXPECT_FALSE(Vehicles(kGoodVehicle + "\n", &notices));
  EXPECT_TRUE(notices.empty());
  EXPECT_TRUE(Objects(kGoodObject + "\n").Notices.empty());
}

}  // namespace
}  // namespace velmora::world
