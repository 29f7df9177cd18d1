// The benchmark's reference ways of drawing the surface store must give the
// same frame as the one-call drawing, or the comparison means nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <vector>

#include "renderer/scene_renderer.h"
#include "tests/renderer/prismoth_library.h"

namespace velmora::renderer {
namespace {

constexpr int kLevelTol = 1;  // 8-bit levels: rounding of the interpolation

struct TFrame {
  std::vector<uint8_t> Pixels;
};

void Keep(void* context, const uint8_t* rgba, int32_t width, int32_t height, int32_t stride) {
  auto* frame = static_cast<TFrame*>(context);
  frame->Pixels.assign(rgba, rgba + size_t(stride) * size_t(height));
  (void)width;
}

// The distinct colours of an RGBA frame.
size_t Colours(const std::vector<uint8_t>& pixels) {
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
    colours.insert(uint32_t(pixels[i]) | uint32_t(pixels[i + 1]) << 8 |
                   uint32_t(pixels[i + 2]) << 16);
  }
  return colours.size();
}

TEST(DrawingModes, ReferencesDrawTheSameFrame) {
  testing::TInTestFolder folder;
  testing::WriteTga("checks.tga", 2, 2, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0x80FFFFFF});
  TFrame frame;
  DXView view{48, 32, &Keep, &frame};
  TRenderer renderer;
  ASSERT_EQ(renderer.Initialize(&view, 0, 0), DX_OK);
  const int32_t texture = renderer.LoadTexture("checks.tga", 3);
  ASSERT_EQ(texture, 1);
  // Ground patches (biased), walls, a translucent textured sign, overlapping
  // surfaces at the same depth, and a removed slot.
  const DXSurface surfaces[] = {
      testing::LevelQuad(0x808080, -50, 50, 0, 100, 0),
      testing::LevelQuad(0x00FFFF, -5, 5, 10, 60, 0, texture),
      testing::LevelQuad(0xFFFFFF, -1, 1, 10, 80, -0.01f),
      testing::UprightQuad(0x0000FF, -8, -2, 30, -6, 0),
      testing::UprightQuad(0x00FF00, -8, -2, 30, -6, 0),
      testing::UprightQuad(0xFF00FF, 2, 8, 25, -6, 0),
      testing::Quad(0xFFFFFF, texture, {{-3, 20, -1}, {3, 20, -1}, {-3, 20, -5}, {3, 20, -5}}),
  };
  for (const DXSurface& surface : surfaces) ASSERT_NE(renderer.AddSurface(&surface, 4), 0);
  ASSERT_EQ(renderer.RemoveSurface(6), DX_OK);

  DXVehicleRecord camera{};
  camera.Z = -3;
  camera.Pitch = -5;
  const DXVehicleRecord* none[] = {nullptr};
  std::vector<std::vector<uint8_t>> frames;
  for (TSurfaceDrawing drawing : {TSurfaceDrawing::WholeStore, TSurfaceDrawing::PerSurface,
                                  TSurfaceDrawing::PerSurfaceStates}) {
    renderer.SetSurfaceDrawing(drawing);
    ASSERT_EQ(renderer.Draw(60, 0xFF000040, &camera, none), DX_OK);
    frames.push_back(frame.Pixels);
  }
  renderer.Terminate();
  // The scene shows: sky, ground, paint, walls and the sign.
  EXPECT_GE(Colours(frames[0]), 6u);
  for (size_t mode = 1; mode < frames.size(); ++mode) {
    ASSERT_EQ(frames[mode].size(), frames[0].size());
    int differing = 0;
    for (size_t i = 0; i < frames[0].size(); ++i) {
      differing += std::abs(int(frames[mode][i]) - int(frames[0][i])) > kLevelTol;
    }
    EXPECT_EQ(differing, 0) << "drawing " << mode;
  }
}

// With only opaque textures the surfaces are drawn without blending; the
// frame is the one blending gives, which a translucent texture in the table
// (loaded, never drawn) turns back on.
TEST(DrawingModes, OpaqueSurfacesWithoutBlendingDrawTheSameFrame) {
  testing::TInTestFolder folder;
  testing::WriteTga("opaque.tga", 2, 2, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF808080});
  testing::WriteTga("glass.tga", 2, 2, {0x80FFFFFF, 0x80FFFFFF, 0x80FFFFFF, 0x80FFFFFF});
  std::vector<std::vector<uint8_t>> frames;
  for (const bool withGlass : {false, true}) {
    TFrame frame;
    DXView view{48, 32, &Keep, &frame};
    TRenderer renderer;
    ASSERT_EQ(renderer.Initialize(&view, 0, 0), DX_OK);
    const int32_t texture = renderer.LoadTexture("opaque.tga", 3);
    if (withGlass) {
      ASSERT_NE(renderer.LoadTexture("glass.tga", 3), 0);
    }
    const DXSurface surfaces[] = {
        testing::LevelQuad(0x808080, -50, 50, 0, 100, 0),
        testing::LevelQuad(0x00FFFF, -5, 5, 10, 60, 0, texture),
        testing::UprightQuad(0x0000FF, -8, -2, 30, -6, 0),
        testing::UprightQuad(0x00FF00, -8, -2, 30, -6, 0),
        testing::Quad(0xFFFFFF, texture, {{-3, 20, -1}, {3, 20, -1}, {-3, 20, -5}, {3, 20, -5}}),
    };
    for (const DXSurface& surface : surfaces) ASSERT_NE(renderer.AddSurface(&surface, 4), 0);
    DXVehicleRecord camera{};
    camera.Z = -3;
    camera.Pitch = -5;
    const DXVehicleRecord* none[] = {nullptr};
    ASSERT_EQ(renderer.Draw(60, 0xFF000040, &camera, none), DX_OK);
    renderer.Terminate();
    frames.push_back(frame.Pixels);
  }
  ASSERT_EQ(frames[0].size(), frames[1].size());
  EXPECT_TRUE(frames[0] == frames[1]) << "the opaque store's frame differs from the blended one";
}

// The vehicles of one mesh are drawn in one instanced call per material; the
// frame is the one drawing them one by one gives, byte for byte: two forms
// interleaved in the list, fine and rough meshes, a textured material,
// vehicles hiding each other, one resting on a ground surface, and a form
// that was never loaded.
TEST(DrawingModes, InstancedVehiclesDrawTheSameFrameAsOneByOne) {
  testing::TInTestFolder folder;
  testing::WriteTga("paint.tga", 2, 2, {0xFF00FFFF, 0xFF0000FF, 0xFFFF00FF, 0xFF00FF00});
  std::ofstream("box.x") << testing::BoxMesh(3, -2, 2, {1, 0, 0, ""});
  std::ofstream("box_rough.x") << testing::BoxMesh(3, -2, 2, {0, 1, 0, ""});
  std::ofstream("van.x") << testing::BoxMesh(2, 0, 3, {0, 0, 1, "paint.tga"}, 0, 2);
  std::ofstream("van_rough.x") << testing::BoxMesh(2, 0, 3, {1, 1, 0, ""});
  TFrame frame;
  DXView view{96, 64, &Keep, &frame};
  TRenderer renderer;
  ASSERT_EQ(renderer.Initialize(&view, 0, 0), DX_OK);
  ASSERT_EQ(renderer.LoadVehicleForm("box", 1, 60), 0);
  ASSERT_EQ(renderer.LoadVehicleForm("van", 2, 60), 0);
  const DXSurface ground = testing::LevelQuad(0x808080, -200, 200, 0, 400, 0);
  ASSERT_NE(renderer.AddSurface(&ground, 4), 0);

  // Kind, form, x, y, z (m), heading, pitch, bank (deg).
  const DXVehicleRecord records[] = {
      {0, 1, -6, 30, -4, 10, 0, 0},  {0, 2, -4, 34, -1, 200, 5, 0},  {0, 1, 4, 40, -6, 45, 20, 30},
      {0, 2, 8, 25, 0, 90, 0, -10},  {0, 1, 0, 120, -3, 0, 0, 0},    {0, 2, -20, 150, -5, 300, 0, 0},
      {0, 50, 0, 20, -2, 0, 0, 0},   {0, 1, 2, 31, -4, 350, -5, 0},  {0, 2, 12, 200, -8, 180, 0, 0},
  };
  std::vector<const DXVehicleRecord*> list;
  for (const DXVehicleRecord& record : records) list.push_back(&record);
  list.push_back(nullptr);
  const DXVehicleRecord camera{0, 0, 0, 0, -6, 0, -8, 0};

  std::vector<std::vector<uint8_t>> frames;
  for (TVehicleDrawing drawing : {TVehicleDrawing::Instanced, TVehicleDrawing::PerVehicle}) {
    renderer.SetVehicleDrawing(drawing);
    ASSERT_EQ(renderer.Draw(60, 0xFF000040, &camera, list.data()), DX_OK);
    frames.push_back(frame.Pixels);
  }
  renderer.Terminate();
  // Sky, ground, and the vehicles' lit and textured faces of both meshes.
  EXPECT_GE(Colours(frames[0]), 8u);
  EXPECT_TRUE(frames[0] == frames[1]) << "the instanced vehicles differ from the one-by-one ones";
}

// Surfaces wholly outside the view are left out before they reach the
// device, and no pixel changes: a ring of small posts every half degree
// around the camera at heights up to 23 m (so some stand just outside each
// edge of the view and some straddle it), ground tiles all round, and a tile
// behind the camera reaching forward under it, seen from several headings,
// pitches and banks.
TEST(DrawingModes, CullingChangesNoPixel) {
  TFrame frame;
  DXView view{160, 96, &Keep, &frame};
  TRenderer renderer;
  ASSERT_EQ(renderer.Initialize(&view, 0, 0), DX_OK);
  for (int post = 0; post < 720; ++post) {
    const float angle = float(post * 0.5 * M_PI / 180);
    const float x = 40 * std::sin(angle);
    const float y = 40 * std::cos(angle);
    const float dx = 0.3f * std::cos(angle);
    const float dy = -0.3f * std::sin(angle);
    const float bottom = -float(post % 24);
    const float top = bottom - 0.6f;
    const DXSurface surface = testing::Quad(
        0x20 * uint32_t(post % 8) | 0x3000 * uint32_t(post % 5) | 0xFF0000, 0,
        {{x - dx, y - dy, bottom}, {x + dx, y + dy, bottom}, {x - dx, y - dy, top},
         {x + dx, y + dy, top}});
    ASSERT_NE(renderer.AddSurface(&surface, 4), 0);
  }
  for (int tile = 0; tile < 100; ++tile) {
    const float x = float(tile % 10 * 30 - 150);
    const float y = float(tile / 10 * 30 - 150);
    const DXSurface ground =
        testing::LevelQuad(0x404040 + 0x080808 * uint32_t(tile % 7), x, x + 28, y, y + 28, 0);
    ASSERT_NE(renderer.AddSurface(&ground, 4), 0);
  }
  const DXSurface under = testing::LevelQuad(0xFFFFFF, -1, 1, -30, 3, -0.5f);
  ASSERT_NE(renderer.AddSurface(&under, 4), 0);
  const int32_t surfaces = renderer.Store().SlotCount();

  // Kind, form, x, y, z (m), heading, pitch, bank (deg).
  const DXVehicleRecord cameras[] = {{0, 0, 0, 0, -3, 0, 0, 0},     {0, 0, 0, 0, -3, 37, -10, 0},
                                     {0, 0, 0, 0, -3, 135, -35, 20}, {0, 0, 0, 0, -3, 260, 5, -45},
                                     {0, 0, 0, 0, -3, 0, -60, 0}};
  const DXVehicleRecord* none[] = {nullptr};
  for (const DXVehicleRecord& camera : cameras) {
    SCOPED_TRACE(camera.Heading);
    std::vector<uint8_t> frames[2];
    for (const bool culling : {false, true}) {
      renderer.SetCulling(culling);
      ASSERT_EQ(renderer.Draw(60, 0xFF000040, &camera, none), DX_OK);
      frames[culling] = frame.Pixels;
    }
    EXPECT_GT(renderer.DrawnSurfaces(), 0);
    EXPECT_LT(renderer.DrawnSurfaces(), surfaces / 2);
    EXPECT_TRUE(frames[0] == frames[1]) << "culling changed the frame";
  }
  renderer.Terminate();
}

// A frame whose inputs are all the last frame's, the surfaces in the store
// included, is handed over again without drawing; a change to any input, down
// to one unit in the last place, draws.
TEST(DrawingModes, OnlyAChangedInputDrawsTheFrameAgain) {
  testing::TInTestFolder folder;
  testing::WriteTga("checks.tga", 2, 2, {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF808080});
  std::ofstream("box.x") << testing::BoxMesh(2, -2, 2, {1, 0, 0, ""});
  std::ofstream("box_rough.x") << testing::BoxMesh(2, -2, 2, {0, 1, 0, ""});
  TFrame frame;
  DXView view{48, 32, &Keep, &frame};
  TRenderer renderer;
  ASSERT_EQ(renderer.Initialize(&view, 0, 0), DX_OK);
  ASSERT_EQ(renderer.LoadVehicleForm("box", 1, 100), 0);
  const DXSurface ground = testing::LevelQuad(0x808080, -50, 50, 0, 100, 0);
  ASSERT_NE(renderer.AddSurface(&ground, 4), 0);
  DXVehicleRecord camera{0, 0, 0, 0, -3, 0, 0, 0};
  DXVehicleRecord box{0, 1, 0, 20, -2, 0, 0, 0};
  std::vector<const DXVehicleRecord*> list = {&box, nullptr};
  float fieldOfView = 60;
  uint32_t sky = 0xFF000040;
  const DXSurface wall = testing::UprightQuad(0x00FF00, -3, 3, 30, -6, 0);
  int32_t wallId = 0;

  const struct {
    const char* Name;
    std::function<void()> Change;
    bool Draws;
  } cases[] = {
      {"nothing changed", [] {}, false},
      {"camera east by one unit in the last place",
       [&] { camera.X = std::nextafter(camera.X, 1.0); }, true},
      {"vehicle banked", [&] { box.Bank = std::nextafter(0.0f, 1.0f); }, true},
      {"vehicle's form", [&] { box.FormNo = 2; }, true},
      {"vehicle left out of the list", [&] { list = {nullptr}; }, true},
      {"field of view", [&] { fieldOfView = std::nextafter(60.0f, 0.0f); }, true},
      {"clear colour", [&] { sky = 0xFF000041; }, true},
      {"surface added", [&] { wallId = renderer.AddSurface(&wall, 4); }, true},
      {"surface removed", [&] { renderer.RemoveSurface(wallId); }, true},
      {"surface added and removed again", [&] {
         wallId = renderer.AddSurface(&wall, 4);
         renderer.RemoveSurface(wallId);
       }, false},
      {"ground removed and added back the same", [&] {
         renderer.RemoveSurface(1);
         renderer.AddSurface(&ground, 4);
       }, false},
      {"ground added back with a vertex moved by a hair", [&] {
         renderer.RemoveSurface(1);
         DXSurface moved = ground;
         moved.Vertices[3][2] = std::nextafter(0.0f, -1.0f);
         renderer.AddSurface(&moved, 4);
       }, true},
      {"texture loaded", [&] { renderer.LoadTexture("checks.tga", 1); }, true},
      {"form loaded", [&] { renderer.LoadVehicleForm("box", 2, 100); }, true},
      {"nothing changed at last", [] {}, false},
  };
  ASSERT_EQ(renderer.Draw(fieldOfView, sky, &camera, list.data()), DX_OK);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::vector<uint8_t> before = frame.Pixels;
    const int64_t drawn = renderer.FramesDrawn();
    c.Change();
    frame.Pixels.clear();
    ASSERT_EQ(renderer.Draw(fieldOfView, sky, &camera, list.data()), DX_OK);
    EXPECT_EQ(renderer.FramesDrawn(), drawn + (c.Draws ? 1 : 0));
    if (!c.Draws) {
      EXPECT_TRUE(frame.Pixels == before) << "the repeated frame differs";
    }
  }
  renderer.Terminate();
}

// Read back one frame behind, each draw hands over the frame of the draw
// before it, the very first frame at once; the pixels are those of reading
// back the frame just drawn.
TEST(DrawingModes, ReadingBackOneFrameBehindHandsOverTheFrameBefore) {
  TFrame frame;
  DXView view{48, 32, &Keep, &frame};
  const float headings[] = {0, 20, 40};
  std::vector<std::vector<uint8_t>> frames[2];
  for (TReadBack readBack : {TReadBack::Waiting, TReadBack::OneFrameBehind}) {
    TRenderer renderer;
    ASSERT_EQ(renderer.Initialize(&view, 0, 0), DX_OK);
    renderer.SetReadBack(readBack);
    const DXSurface surfaces[] = {testing::LevelQuad(0x808080, -50, 50, 0, 100, 0),
                                  testing::UprightQuad(0x0000FF, 2, 8, 30, -6, 0)};
    for (const DXSurface& surface : surfaces) ASSERT_NE(renderer.AddSurface(&surface, 4), 0);
    DXVehicleRecord camera{0, 0, 0, 0, -3, 0, 0, 0};
    const DXVehicleRecord* none[] = {nullptr};
    for (const float heading : headings) {
      camera.Heading = heading;
      ASSERT_EQ(renderer.Draw(60, 0xFF000040, &camera, none), DX_OK);
      frames[readBack == TReadBack::OneFrameBehind].push_back(frame.Pixels);
    }
  }
  const auto& waiting = frames[0];
  const auto& behind = frames[1];
  EXPECT_FALSE(waiting[0] == waiting[1]);
  EXPECT_TRUE(behind[0] == waiting[0]);
  EXPECT_TRUE(behind[1] == waiting[0]);
  EXPECT_TRUE(behind[2] == waiting[1]);
}

}  // namespace
}  // namespace velmora::renderer
