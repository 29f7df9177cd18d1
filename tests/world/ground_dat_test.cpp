#include "world/ground_dat.h"

#include <gtest/gtest.h>

#include "net/text_encoding.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/temp_file.h"

namespace velmora::world {
namespace {

constexpr double kScaledTol = 1e-12;  // m: file integers scaled by 1/10 or 1/1000

class GroundDatTest : public ::testing::Test {
 protected:
  GroundDatTest() {
    renderer.GiveTextureIds = true;
    renderer.GiveSurfaceIds = true;
  }
  TGroundLoadResult Load(const std::string& utf8) {
    const net::TextConversion cp932 = net::Utf8ToCp932(utf8);
    EXPECT_TRUE(cp932.Ok);
    return LoadGround(testing::WriteTestFile("ground.dat", cp932.Text), table, renderer);
  }

  TGroundTable table;
  testing::FakeRenderer renderer;
};

TEST_F(GroundDatTest, ColouredPatchBecomesAGroundQuad) {
  const TGroundLoadResult result = Load("0;0;100;200;0;0;$008000\r\n");
  ASSERT_TRUE(result.Ok()) << result.Error->Message();
  ASSERT_EQ(table.Count, 1);
  const TGroundPatch& patch = table.Patches[0];
  EXPECT_NEAR(patch.X2, 10, kScaledTol);
  EXPECT_NEAR(patch.Y2, 20, kScaledTol);
  EXPECT_EQ(patch.Colour, 0x008000);
  EXPECT_EQ(patch.TextureId, 0);
  EXPECT_TRUE(renderer.TextureCalls.empty());

  AddGroundPatches(table, renderer);
  ASSERT_EQ(renderer.Surfaces.size(), 1u);
  const auto& quad = renderer.Surfaces.begin()->second;
  EXPECT_EQ(patch.SurfaceId, quad.Id);
  EXPECT_EQ(quad.Colour, 0x008000u);
  const std::array<float, 3> corners[4] = {{0, 0, 0}, {0, 20, 0}, {10, 0, 0}, {10, 20, 0}};
  for (int v = 0; v < 4; ++v) EXPECT_EQ(quad.Vertices[v], corners[v]) << "vertex " << v;

  // Patches are added once and never removed.
  AddGroundPatches(table, renderer);
  EXPECT_EQ(renderer.AddCalls, 1);
}

TEST_F(GroundDatTest, TexturedPatchesShareTextures) {
  const TGroundLoadResult result =
      Load("-500;-500;500;500;100;20000;grass.bmp\n$64;0;$C8;10;$3E8;20000; grass.bmp \n"
           "0;0;1;1;0;0;grass.bmp\n");
  ASSERT_TRUE(result.Ok()) << result.Error->Message();
  ASSERT_EQ(table.Count, 3);
  EXPECT_NEAR(table.Patches[0].X1, -50, kScaledTol);
  EXPECT_NEAR(table.Patches[0].Z, 0.1, kScaledTol);
  EXPECT_NEAR(table.Patches[1].X1, 10, kScaledTol);  // $64
  EXPECT_NEAR(table.Patches[1].X2, 20, kScaledTol);  // $C8
  EXPECT_NEAR(table.Patches[1].Z, 1, kScaledTol);    // $3E8 mm
  ASSERT_EQ(renderer.TextureCalls.size(), 3u);
  EXPECT_EQ(renderer.TextureCalls[0].FileName, "grass.bmp");
  EXPECT_EQ(renderer.TextureCalls[0].Scale, 20.0f);
  EXPECT_EQ(table.Patches[0].TextureId, table.Patches[1].TextureId);
  EXPECT_NE(table.Patches[0].TextureId, table.Patches[2].TextureId);  // another scale
  EXPECT_EQ(table.Patches[0].Colour, 0);
}

TEST_F(GroundDatTest, EmptyFileLoadsNothing) {
  EXPECT_TRUE(Load("").Ok());
  EXPECT_EQ(table.Count, 0);
}

TEST_F(GroundDatTest, BadLinesNameFileAndLine) {
  struct Case {
    const char* Text;
    int Line;
    const char* Reason;  // part of the reason
  };
  const Case cases[] = {
      {"0;0;1;1;0;0;$FF\n\n0;0;1;1;0;0;$FF\n", 2, "blank"},
      {"0;0;1;x;0;0;$FF\n", 1, "field 4"},
      {"0;0;1;1;0;$FF\n", 1, "field 6"},
      {"0;0;1;1;0;0;\n", 1, "missing"},
      {"0;0;1;1;0;0;$GG\n", 1, "hexadecimal"},
      {"0;0;1;1;0;0;$FF\n0;0;1;1;0;0;missing.bmp\n", 2, "cannot be loaded"},
  };
  renderer.MissingTextures = {"missing.bmp"};
  for (const Case& c : cases) {
    const TGroundLoadResult result = Load(c.Text);
    ASSERT_TRUE(result.Error) << c.Text;
    EXPECT_EQ(result.Code, kWorldLoadFailure) << c.Text;
    EXPECT_EQ(result.Error->Line, c.Line) << c.Text;
    EXPECT_NE(result.Error->Message().find("ground.dat"), std::string::npos);
    EXPECT_NE(result.Error->Reason.find(c.Reason), std::string::npos) << result.Error->Reason;
    // Lines before the bad one stay loaded.
    EXPECT_EQ(table.Count, c.Line - 1) << c.Text;
  }
}

TEST_F(GroundDatTest, HundredAndFirstLineIsRejected) {
  std::string text;
  for (int i = 0; i < 101; ++i) text += "0;0;10;10;0;0;$FF\n";
  const TGroundLoadResult result = Load(text);
  ASSERT_TRUE(result.Error);
  EXPECT_EQ(result.Error->Line, 101);
  EXPECT_EQ(table.Count, kMaxGroundPatches);
}

TEST_F(GroundDatTest, MissingFileFails) {
  const TGroundLoadResult result =
      LoadGround(testing::TestFilePath("absent.dat"), table, renderer);
  ASSERT_TRUE(result.Error);
  EXPECT_EQ(result.Code, kWorldLoadFailure);
}

TEST_F(GroundDatTest, FailedAddsAreRetried) {
  ASSERT_TRUE(Load("0;0;10;10;0;0;$FF\n").Ok());
  renderer.FailAdds = true;
  AddGroundPatches(table, renderer);
  EXPECT_EQ(table.Patches[0].SurfaceId, 0);
  renderer.FailAdds = false;
  AddGroundPatches(table, renderer);
  EXPECT_GT(table.Patches[0].SurfaceId, 0);
  EXPECT_EQ(renderer.AddCalls, 2);
}

}  // namespace
}  // namespace velmora::world
