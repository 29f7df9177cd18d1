#include "vehicle/vehicles_dat.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "net/text_encoding.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/temp_file.h"

namespace velmora::vehicle {
namespace {

constexpr double kScaledTol = 1e-12;  // file integers scaled by 1/1000 or 1/1000000

class VehiclesDatTest : public ::testing::Test {
 protected:
  // Writes UTF-8 text to a vehicles.dat in CP932, as an installation ships it.
  std::filesystem::path WriteFile(const std::string& utf8) {
    const net::TextConversion cp932 = net::Utf8ToCp932(utf8);
    EXPECT_TRUE(cp932.Ok);
    return WriteBytes(cp932.Text);
  }
  std::filesystem::path WriteBytes(const std::string& bytes) {
    return testing::WriteTestFile("vehicles.dat", bytes);
  }

  TFormTable table;
  testing::FakeRenderer renderer;
};

TEST_F(VehiclesDatTest, LoadsTheExampleLine) {
  const auto file =
      WriteFile("3;-2500;10000;0;1500;12000;5000;20;6000;-3000; 小型機 \t shapes/light \r\n");
  const TVehicleLoadResult result = LoadVehicleTypes(file, table, renderer);
  ASSERT_TRUE(result.Ok()) << result.Error->Message();

  const TFormParam& form = table[3];
  EXPECT_NEAR(form.RestZ, -2.5, kScaledTol);
  EXPECT_NEAR(form.Wheelbase, 10, kScaledTol);
  EXPECT_NEAR(form.EyeRight, 0, kScaledTol);
  EXPECT_NEAR(form.EyeUp, 1.5, kScaledTol);
  EXPECT_NEAR(form.EyeForward, 12, kScaledTol);
  EXPECT_NEAR(form.Scale, 5, kScaledTol);
  EXPECT_NEAR(form.Drag, 0.00002, kScaledTol);
  EXPECT_NEAR(form.Lift, 0.006, kScaledTol);
  EXPECT_NEAR(form.ZeroLiftAngle, -3, kScaledTol);
  EXPECT_EQ(form.Name, "小型機");

  ASSERT_EQ(renderer.FormCalls.size(), 1u);
  EXPECT_EQ(renderer.FormCalls[0].Stem, "shapes/light");
  EXPECT_EQ(renderer.FormCalls[0].FormId, 3);
  EXPECT_EQ(renderer.FormCalls[0].SwitchDistance, 50.0f);

  // Entries no line fills stay zero.
  EXPECT_EQ(table[4].Scale, 0.0);
  EXPECT_EQ(table[4].Name, "");
}

TEST_F(VehiclesDatTest, LaterLinesOverwriteAndEveryShapeIsLoadedInOrder) {
  const auto file = WriteFile(
      "10;-2500;20000;0;3000;25000;30000;25;5000;-3000;旅客機\tairliner\n"
      "20;-600;2600;0;1200;800;4000;300;100;-1000;乗用車\tcar\n"
      "10;-2600;20000;0;3000;25000;31000;25;5000;-3000;旅客機B\tairliner_b\n");
  ASSERT_TRUE(LoadVehicleTypes(file, table, renderer).Ok());
  EXPECT_EQ(table[10].Name, "旅客機B");
  EXPECT_NEAR(table[10].RestZ, -2.6, kScaledTol);
  ASSERT_EQ(renderer.FormCalls.size(), 3u);
  EXPECT_EQ(renderer.FormCalls[0].Stem, "airliner");
  EXPECT_EQ(renderer.FormCalls[2].Stem, "airliner_b");
  EXPECT_EQ(renderer.FormCalls[2].FormId, 10);
  EXPECT_EQ(renderer.FormCalls[1].SwitchDistance, 40.0f);
}

TEST_F(VehiclesDatTest, NameAndShapeFields) {
  struct Case {
    const char* tail;  // what follows field 10
    const char* name;
    const char* stem;
  } cases[] = {
      {"Name\tstem", "Name", "stem"},
      {"  spaced name \t\tstem\t", "spaced name", "stem"},  // control characters trimmed too
      {"name only", "name only", ""},                         // no TAB: no shape file name
      {"\tstem", "", "stem"},
      {"", "", ""},
      {"a;b\tc;d", "a;b", "c;d"},
  };
  for (const Case& c : cases) {
    std::string reason;
    const auto line =
        ParseVehicleLine(std::string("1;0;0;0;0;0;0;0;0;-1000;") + c.tail, &reason);
    ASSERT_TRUE(line) << reason;
    EXPECT_EQ(line->Param.Name, c.name) << c.tail;
    EXPECT_EQ(line->ShapeStem, c.stem) << c.tail;
  }
}

TEST_F(VehiclesDatTest, MalformedLinesStopLoadingWithFileAndLine) {
  const std::string good = "1;0;0;0;0;0;1000;0;0;-1000;ok\tok\n";
  struct Case {
    std::string badLine;
    std::string reason;
  } cases[] = {
      {"", "empty line: every line must describe a vehicle type"},
      {"0;0;0;0;0;0;0;0;0;0;x\ty", "type number 0 is outside 1..100"},
      {"101;0;0;0;0;0;0;0;0;0;x\ty", "type number 101 is outside 1..100"},
      {"-5;0;0;0;0;0;0;0;0;0;x", "type number -5 is outside 1..100"},
      {"abc;0;0;0;0;0;0;0;0;0;x", "field 1 is not an integer: 'abc'"},
      {"1;0;0;0;1.5;0;0;0;0;0;x", "field 5 is not an integer: '1.5'"},
      {"1;0;0;0;0;0;0;0;0;0", "field 10 is missing its ';'"},
      {"1;-2500;10000", "field 3 is missing its ';'"},
      {"1;99999999999;0;0;0;0;0;0;0;0;x", "field 2 is not an integer: '99999999999'"},
      {"1;0;0;0;0;0;1000;0;0;0;x\ty", "field 10 (zero-lift angle) is 0, but the lift law divides by it"},
  };
  for (const Case& c : cases) {
    TFormTable fresh;
    testing::FakeRenderer calls;
    const auto file = WriteFile(good + good + c.badLine + "\n" + good);
    const TVehicleLoadResult result = LoadVehicleTypes(file, fresh, calls);
    ASSERT_TRUE(result.Error) << c.badLine;
    EXPECT_EQ(result.RendererResult, 0);
    EXPECT_EQ(result.Error->Message(), file.string() + ": line 3: " + c.reason);
    // The lines before the bad one are loaded, nothing after it.
    EXPECT_EQ(calls.FormCalls.size(), 2u) << c.badLine;
    EXPECT_EQ(fresh[1].Name, "ok");
  }
}

TEST_F(VehiclesDatTest, FileLevelErrors) {
  const TVehicleLoadResult missing =
      LoadVehicleTypes("/nonexistent/dir/vehicles.dat", table, renderer);
  ASSERT_TRUE(missing.Error);
  EXPECT_EQ(missing.Error->Message(),
            "/nonexistent/dir/vehicles.dat: cannot open: No such file or directory");

  const auto badBytes = WriteBytes("1;0;0;0;0;0;0;0;0;0;\x82\xa0\x82");
  const TVehicleLoadResult encoding = LoadVehicleTypes(badBytes, table, renderer);
  ASSERT_TRUE(encoding.Error);
  EXPECT_EQ(encoding.Error->Line, 1);
  EXPECT_TRUE(renderer.FormCalls.empty());
}

TEST_F(VehiclesDatTest, ARendererFailureStopsLoadingWithItsResult) {
  renderer.FormResult = -2005530516;
  renderer.FailFormCallNumber = 2;
  const auto file = WriteFile(
      "1;0;0;0;0;0;0;0;0;-1;a\tfirst\n"
      "2;0;0;0;0;0;0;0;0;-1;b\tmissing\n"
      "3;0;0;0;0;0;0;0;0;-1;c\tthird\n");
  const TVehicleLoadResult result = LoadVehicleTypes(file, table, renderer);
  EXPECT_FALSE(result.Ok());
  EXPECT_EQ(result.RendererResult, -2005530516);
  ASSERT_TRUE(result.Error);
  EXPECT_EQ(result.Error->Line, 2);
  EXPECT_NE(result.Error->Reason.find("'missing'"), std::string::npos);
  EXPECT_EQ(renderer.FormCalls.size(), 2u);
}

TEST_F(VehiclesDatTest, AShapeThatCannotBeLoadedNamesItsFilesAndTheReason) {
  const std::filesystem::path folder = testing::TestFilePath("shapes");
  std::filesystem::create_directories(folder);
  const std::string both = (folder / "both").string();
  const std::string fineOnly = (folder / "fine").string();
  testing::WriteTestFile("shapes/both.x", "x");
  testing::WriteTestFile("shapes/both_rough.x", "x");
  testing::WriteTestFile("shapes/fine.x", "x");
  struct Case {
    std::string stem;
    int32_t result;
    std::string why;
  } cases[] = {
      {both, DX_ERROR_FORM_COUNT,
       both + ".x or " + both + "_rough.x holds a count larger than the file can hold"},
      {(folder / "none").string(), DX_ERROR_FORM_FILE, (folder / "none").string() + ".x does not exist"},
      {fineOnly, DX_ERROR_FORM_FILE, fineOnly + "_rough.x does not exist"},
      {both, DX_ERROR_FORM_FILE,
       both + ".x or " + both + "_rough.x is not a mesh the renderer can read"},
      {both, DX_ERROR_FORM_NOT_READY, "the renderer refused it"},
  };
  for (const Case& c : cases) {
    testing::FakeRenderer calls;
    calls.FormResult = c.result;
    calls.FailFormCallNumber = 1;
    TFormTable fresh;
    const auto file = WriteFile("1;0;0;0;0;0;0;0;0;-1;a\t" + c.stem + "\n");
    const TVehicleLoadResult result = LoadVehicleTypes(file, fresh, calls);
    ASSERT_TRUE(result.Error);
    EXPECT_EQ(result.Error->Message(),
              file.string() + ": line 1: the renderer could not load shape '" + c.stem + "': " +
                  c.why + " (result " + std::to_string(c.result) +
                  "; the renderer's own reason is on standard error)");
  }
}

}  // namespace
}  // namespace velmora::vehicle
