// The benchmark's reference ways of drawing the surface store must give the
// same frame as the one-call drawing, or the comparison means nothing.
#include <gtest/gtest.h>

#include <cstdlib>
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
  std::set<uint32_t> colours;
  for (size_t i = 0; i + 3 < frames[0].size(); i += 4) {
    colours.insert(uint32_t(frames[0][i]) | uint32_t(frames[0][i + 1]) << 8 |
                   uint32_t(frames[0][i + 2]) << 16);
  }
  EXPECT_GE(colours.size(), 6u);
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

}  // namespace
}  // namespace velmora::renderer
