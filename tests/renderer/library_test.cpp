#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/renderer/prismoth_library.h"

namespace velmora::testing {
namespace {

using vehicle::TableRenderer;

constexpr int32_t kCapacity = 20000;  // surfaces

TEST(PrismothLibrary, AllEightExportsResolveByName) {
  ASSERT_NE(PrismothHandle(), nullptr) << dlerror();
  const char* names[] = {"DXInitialize",      "DXTerminate",     "DXLoadVehicleForm",
                         "DXLoadTexture",     "DXAddSurface",    "DXRemoveSurface",
                         "DXGetNumOfVertexBufs", "DXDraw"};
  for (const char* name : names) EXPECT_NE(dlsym(PrismothHandle(), name), nullptr) << name;
  // Nothing of the inside is exported.
  EXPECT_EQ(dlsym(PrismothHandle(), "_ZN7velmora8renderer9TRenderer4DrawEfjPK15DXVehicleRecordPKS4_"),
            nullptr);
}

TEST(PrismothLibrary, InitialiseFailuresHaveTheirOwnCodesAndLeaveItUninitialised) {
  TableRenderer renderer(BindPrismoth());
  TCapturedView good(32, 24);
  DXView noPresent = *good.View();
  noPresent.Present = nullptr;
  TCapturedView empty(0, 24);
  TCapturedView huge(100000, 24);
  struct Case {
    const char* name;
    DXView* view;
    int32_t width, height;  // pixels
  } cases[] = {{"no view", nullptr, 0, 0},
               {"no Present", &noPresent, 0, 0},
               {"zero view width", empty.View(), 0, 0},
               {"view too wide", huge.View(), 0, 0},
               {"negative frame size", good.View(), -1, 24},
               {"only one frame size given", good.View(), 32, 0}};
  const vehicle::TVehicleState camera;
  const vehicle::TVehicleState* none[] = {nullptr};
  DXSurface surface = LevelQuad(0xFF, 0, 1, 0, 1, 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(renderer.DXInitialize(c.view, c.width, c.height), DX_ERROR_VIEW);
    EXPECT_EQ(renderer.DXDraw(60, 0, camera, none), DX_ERROR_NOT_READY);
    EXPECT_EQ(renderer.DXAddSurface(surface, 4), 0);
    EXPECT_EQ(renderer.DXLoadTexture("sky.tga", 0), 0);
    EXPECT_EQ(renderer.DXLoadVehicleForm("plane", 1, 100), DX_ERROR_FORM_NOT_READY);
  }
  // All these codes differ from each other and from success.
  const int32_t codes[] = {DX_OK,           DX_ERROR_NO_DEVICE, DX_ERROR_VIEW,
                           DX_ERROR_FRAME_TARGET, DX_ERROR_SHADERS};
  for (size_t i = 0; i < std::size(codes); ++i) {
    for (size_t j = i + 1; j < std::size(codes); ++j) EXPECT_NE(codes[i], codes[j]);
  }
}

TEST(PrismothLibrary, FixedFrameSizeAndAFreshStartAfterTerminate) {
  TableRenderer renderer(BindPrismoth());
  TCapturedView view(32, 24);
  const vehicle::TVehicleState camera;
  const vehicle::TVehicleState* none[] = {nullptr};
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(renderer.DXInitialize(view.View(), 20, 10), DX_OK);
    // Every start begins with an empty store.
    EXPECT_EQ(renderer.DXAddSurface(LevelQuad(0xFF, 0, 1, 0, 1, 0), 4), 1);
    EXPECT_EQ(renderer.DXDraw(60, 0xFF000000, camera, none), DX_OK);
    EXPECT_EQ(view.Width(), 20);
    EXPECT_EQ(view.Height(), 10);
    // A fixed size does not follow the view.
    view.Resize(40, 30);
    EXPECT_EQ(renderer.DXDraw(60, 0xFF000000, camera, none), DX_OK);
    EXPECT_EQ(view.Width(), 20);
    view.Resize(32, 24);
    renderer.DXTerminate();
  }
  EXPECT_EQ(renderer.DXDraw(60, 0, camera, none), DX_ERROR_NOT_READY);
}

// A view that changes its size gets its next frame at the new size, drawn
// anew although nothing in the scene moved; a size it cannot draw is refused
// and the size before it still works.
TEST(PrismothLibrary, FramesFollowTheViewsSize) {
  TableRenderer renderer(BindPrismoth());
  TCapturedView view(32, 24);
  ASSERT_EQ(renderer.DXInitialize(view.View(), 0, 0), DX_OK);
  vehicle::TVehicleState camera;
  camera.Z = -3;
  const vehicle::TVehicleState* none[] = {nullptr};
  // A red wall ahead that fills the view.
  ASSERT_EQ(renderer.DXAddSurface(UprightQuad(0x0000FF, -50, 50, 20, -50, 50), 4), 1);
  struct Row {
    int32_t Width, Height;  // px, the view's
    int32_t Result;
    int Frames;  // handed over so far
  } rows[] = {{32, 24, DX_OK, 1},       {48, 20, DX_OK, 2}, {0, 20, DX_ERROR_VIEW, 2},
              {100000, 20, DX_ERROR_VIEW, 2}, {48, 20, DX_OK, 3}, {7, 5, DX_OK, 4}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.Width) + " x " + std::to_string(row.Height));
    view.Resize(row.Width, row.Height);
    EXPECT_EQ(renderer.DXDraw(60, 0xFF000000, camera, none), row.Result);
    EXPECT_EQ(view.Frames(), row.Frames);
    if (row.Result != DX_OK) continue;
    EXPECT_EQ(view.Width(), row.Width);
    EXPECT_EQ(view.Height(), row.Height);
    EXPECT_EQ(view.Centre().R, 0xFF);  // the red quad, drawn at this size
  }
  renderer.DXTerminate();
}

class Store : public ::testing::Test {
 protected:
  TCapturedView view_{16, 16};
  TableRenderer renderer_{BindPrismoth()};
  TInTestFolder folder_;

  void SetUp() override { ASSERT_EQ(renderer_.DXInitialize(view_.View(), 0, 0), DX_OK); }
  void TearDown() override { renderer_.DXTerminate(); }

  // A surface of n vertices, textured with texture unless it is 0.
  static DXSurface Strip(int32_t textureId = 0) {
    DXSurface surface{};
    surface.Colour = 0x123456;
    surface.TextureId = textureId;
    for (int i = 0; i < DX_MAX_SURFACE_VERTICES; ++i) {
      surface.Vertices[i][0] = float(i % 2);
      surface.Vertices[i][1] = float(i / 2);
      surface.Vertices[i][2] = 0;
    }
    return surface;
  }
};

TEST_F(Store, CapacityIsAlways20000) {
  EXPECT_EQ(renderer_.DXGetNumOfVertexBufs(), kCapacity);
  for (int i = 0; i < 10; ++i) ASSERT_NE(renderer_.DXAddSurface(Strip(), 4), 0);
  EXPECT_EQ(renderer_.DXGetNumOfVertexBufs(), kCapacity);
}

TEST_F(Store, RemoveChecksTheIdAndTheSlot) {
  const int32_t id = renderer_.DXAddSurface(Strip(), 4);
  ASSERT_EQ(id, 1);
  struct Case {
    int32_t id;
    int32_t result;
  } cases[] = {{0, DX_ERROR_SURFACE_ID},      {kCapacity + 1, DX_ERROR_SURFACE_ID},
               {-5, DX_ERROR_SURFACE_ID},     {2, DX_ERROR_SURFACE_UNUSED},
               {kCapacity, DX_ERROR_SURFACE_UNUSED}, {id, DX_OK},
               {id, DX_ERROR_SURFACE_UNUSED}};
  for (const Case& c : cases) EXPECT_EQ(renderer_.DXRemoveSurface(c.id), c.result) << c.id;
  // The second removal changed nothing: the slot comes back once.
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 4), id);
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 4), 2);
}

TEST_F(Store, FreedSlotsComeBackLastFreedFirstPerKindAndSize) {
  for (int i = 1; i <= 10; ++i) ASSERT_EQ(renderer_.DXAddSurface(Strip(), 4), i);
  ASSERT_EQ(renderer_.DXRemoveSurface(7), DX_OK);
  ASSERT_EQ(renderer_.DXRemoveSurface(9), DX_OK);
  // Another size or kind does not take them.
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 8), 11);
  EXPECT_EQ(renderer_.DXAddSurface(Strip(1), 4), 0) << "no texture 1 is loaded";
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 4), 9);
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 4), 7);
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 4), 12);
}

TEST_F(Store, VertexCountsOutsideTwoTo101AreRefused) {
  for (int32_t count : {-1, 0, 1, 102, 1000000}) {
    EXPECT_EQ(renderer_.DXAddSurface(Strip(), count), 0) << count;
  }
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 2), 1);
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 101), 2);
}

TEST_F(Store, FullStoreTakesOnlyAFreedSlotOfTheSameKindAndSize) {
  WriteTga("t.tga", 1, 1, {0xFFFFFFFF});
  ASSERT_EQ(renderer_.DXLoadTexture("t.tga", 10), 1);
  // Half untextured quads, half textured quads, a few eight-vertex strips.
  for (int32_t i = 1; i <= kCapacity; ++i) {
    const int32_t texture = i % 2 == 0 ? 1 : 0;
    const int32_t count = i % 1000 == 1 ? 8 : 4;
    ASSERT_EQ(renderer_.DXAddSurface(Strip(texture), count), i);
  }
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 4), 0);
  // Free an untextured quad (3) and a textured quad (4).
  ASSERT_EQ(renderer_.DXRemoveSurface(3), DX_OK);
  ASSERT_EQ(renderer_.DXRemoveSurface(4), DX_OK);
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 8), 0) << "another size";
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 5), 0) << "a size never created";
  EXPECT_EQ(renderer_.DXAddSurface(Strip(1), 4), 4);
  EXPECT_EQ(renderer_.DXAddSurface(Strip(1), 4), 0) << "textured list empty, untextured slot free";
  EXPECT_EQ(renderer_.DXAddSurface(Strip(), 4), 3);
  // A full store still draws.
  const vehicle::TVehicleState camera;
  const vehicle::TVehicleState* none[] = {nullptr};
  EXPECT_EQ(renderer_.DXDraw(60, 0, camera, none), DX_OK);
}

TEST_F(Store, TexturesAreSharedByNameAndScaleUpTo100) {
  WriteTga("a.tga", 2, 2, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFFFFFFFF});
  WriteTga("b.tga", 1, 1, {0xFF0000FF});
  EXPECT_EQ(renderer_.DXLoadTexture("a.tga", 10), 1);
  EXPECT_EQ(renderer_.DXLoadTexture("a.tga", 20), 2) << "another scale is another entry";
  EXPECT_EQ(renderer_.DXLoadTexture("b.tga", 10), 3);
  // Loaded once: the same name and scale answers without reading the file.
  std::filesystem::remove("a.tga");
  EXPECT_EQ(renderer_.DXLoadTexture("a.tga", 10), 1);
  EXPECT_EQ(renderer_.DXLoadTexture("./a.tga", 10), 0) << "names compare exactly";
  EXPECT_EQ(renderer_.DXLoadTexture("missing.tga", 0), 0);
  std::ofstream("junk.tga") << "not an image";
  EXPECT_EQ(renderer_.DXLoadTexture("junk.tga", 0), 0);
  EXPECT_EQ(renderer_.DXLoadTexture("", 0), 0);
  EXPECT_EQ(renderer_.DXLoadTexture(nullptr, 0), 0);
  // Names of up to 63 characters.
  const std::string longName = std::string(59, 'n') + ".tga";
  const std::string tooLong = std::string(60, 'n') + ".tga";
  WriteTga(longName, 1, 1, {0xFF00FF00});
  WriteTga(tooLong, 1, 1, {0xFF00FF00});
  EXPECT_EQ(renderer_.DXLoadTexture(longName.c_str(), 0), 4);
  EXPECT_EQ(renderer_.DXLoadTexture(tooLong.c_str(), 0), 0);
  // Up to 100 entries; the 101st distinct pair is refused, known ones still answer.
  for (int32_t id = 5; id <= 100; ++id) {
    ASSERT_EQ(renderer_.DXLoadTexture("b.tga", float(1000 + id)), id);
  }
  EXPECT_EQ(renderer_.DXLoadTexture("b.tga", 1101), 0);
  EXPECT_EQ(renderer_.DXLoadTexture("b.tga", 1050), 50);
  // Surfaces may name any loaded texture, and no other.
  EXPECT_NE(renderer_.DXAddSurface(Strip(100), 4), 0);
  EXPECT_EQ(renderer_.DXAddSurface(Strip(101), 4), 0);
  EXPECT_EQ(renderer_.DXAddSurface(Strip(-1), 4), 0);
}

TEST_F(Store, VehicleFormFailures) {
  std::ofstream("broken.x") << "xof 0303txt 0032\nMesh { 3; garbage";
  std::ofstream("half.x") << BoxMesh(1, 0, 1, {1, 1, 1, ""});
  struct Case {
    const char* stem;
    int32_t formId;
    int32_t result;
  } cases[] = {{"missing", 1, DX_ERROR_FORM_FILE},  {"broken", 1, DX_ERROR_FORM_FILE},
               {"half", 1, DX_ERROR_FORM_FILE},      {nullptr, 1, DX_ERROR_FORM_ARGUMENT},
               {"half", 0, DX_ERROR_FORM_ARGUMENT},  {"half", 101, DX_ERROR_FORM_ARGUMENT}};
  for (const Case& c : cases) {
    EXPECT_EQ(renderer_.DXLoadVehicleForm(c.stem, c.formId, 100), c.result)
        << (c.stem ? c.stem : "null") << " " << c.formId;
  }
  EXPECT_LT(DX_ERROR_FORM_FILE, 0);
  EXPECT_LT(DX_ERROR_FORM_ARGUMENT, 0);
  EXPECT_LT(DX_ERROR_FORM_NOT_READY, 0);
}

TEST_F(Store, AMeshCountTheFileCannotHoldIsRefusedBeforeTheImporterAllocates) {
  // The sample car with its vertex count raised from 616, as a hostile edit
  // would: the importer would size its lists from it before reading them.
  std::ifstream source(std::string(VELMORA_DATA_DIR) + "/car.x", std::ios::binary);
  const std::string car((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
  ASSERT_NE(car.find(" 616;"), std::string::npos);
  struct Case {
    const char* count;
    int32_t result;
  } cases[] = {{"616", DX_OK}, {"300000000", DX_ERROR_FORM_COUNT}, {"2000000000", DX_ERROR_FORM_COUNT}};
  std::ofstream("car_rough.x", std::ios::binary) << car;
  for (const Case& c : cases) {
    std::string edited = car;
    edited.replace(edited.find(" 616;"), 5, std::string(" ") + c.count + ";");
    std::ofstream("car.x", std::ios::binary) << edited;
    EXPECT_EQ(renderer_.DXLoadVehicleForm("car", 1, 100), c.result) << c.count;
  }
  EXPECT_NE(DX_ERROR_FORM_COUNT, DX_ERROR_FORM_FILE);
}

TEST_F(Store, ABrokenMaterialTextureIsReportedAndTheShapeStillLoads) {
  std::ofstream("broken.png") << "not a picture";
  struct Case {
    const char* texture;
    bool reported;
  } cases[] = {{"", false}, {"broken.png", true}, {"absent.png", true}};
  for (const Case& c : cases) {
    const std::string mesh = BoxMesh(1, 0, 1, {1, 1, 1, c.texture});
    std::ofstream("painted.x") << mesh;
    std::ofstream("painted_rough.x") << mesh;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(renderer_.DXLoadVehicleForm("painted", 1, 100), DX_OK) << c.texture;
    const std::string said = ::testing::internal::GetCapturedStderr();
    const std::string expected = std::string("prismoth: painted.x: the texture '") + c.texture +
                                 "' of material 1 cannot be loaded";
    EXPECT_EQ(said.find(expected) != std::string::npos, c.reported) << said;
  }
}

TEST_F(Store, DrawNeedsACamera) {
  const vehicle::TVehicleState* none[] = {nullptr};
  auto draw = BindExport<DXDrawFn>("DXDraw");
  EXPECT_EQ(draw(60, 0, nullptr, reinterpret_cast<const void* const*>(none)), DX_ERROR_CAMERA);
  // No vehicle list at all draws surfaces only.
  const vehicle::TVehicleState camera;
  EXPECT_EQ(draw(60, 0, &camera, nullptr), DX_OK);
  // A vehicle of a form id outside 1..100 is not drawn.
  vehicle::TVehicleState stranger;
  stranger.FormNo = 5000;
  const vehicle::TVehicleState* list[] = {&stranger, nullptr};
  EXPECT_EQ(renderer_.DXDraw(60, 0, camera, list), DX_OK);
}

}  // namespace
}  // namespace velmora::testing
