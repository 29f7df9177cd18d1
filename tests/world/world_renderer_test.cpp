// The world against the real renderer library: files loaded, surfaces built
// by a refresh pass, a frame drawn headless and its pixels checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>

#include "tests/renderer/prismoth_library.h"
#include "world/ground_dat.h"
#include "world/objects_dat.h"
#include "world/world.h"

namespace velmora::world {
namespace {

using testing::TPixel;

constexpr int32_t kFrameWidth = 64;    // pixels
constexpr int32_t kFrameHeight = 48;   // pixels
constexpr float kFieldOfView = 60;     // degrees, vertical
constexpr uint32_t kSky = 0xFF0000FFu; // D3DCOLOR: opaque blue
constexpr int kColourTol = 3;          // 8-bit levels: rounding of blending

// Forwards to the library and remembers what it answered.
class CheckedRenderer final : public vehicle::ForwardingRenderer {
 public:
  explicit CheckedRenderer(vehicle::RendererApi& inner) : ForwardingRenderer(inner) {}
  int32_t DXAddSurface(const DXSurface& surface, int32_t count) override {
    const int32_t id = inner_.DXAddSurface(surface, count);
    if (id > 0) ++InUse; else ++FailedAdds;
    return id;
  }
  int32_t DXRemoveSurface(int32_t id) override {
    const int32_t result = inner_.DXRemoveSurface(id);
    if (result == 0) --InUse; else ++FailedRemoves;
    return result;
  }

  int InUse = 0;
  int FailedAdds = 0;
  int FailedRemoves = 0;
};

::testing::AssertionResult IsColour(const TPixel& p, int r, int g, int b) {
  if (std::abs(p.R - r) <= kColourTol && std::abs(p.G - g) <= kColourTol &&
      std::abs(p.B - b) <= kColourTol) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel (" << p.R << ", " << p.G << ", " << p.B
                                       << ") is not (" << r << ", " << g << ", " << b << ")";
}

class WorldOnTheRenderer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(testing::PrismothHandle(), nullptr) << dlerror();
    ASSERT_EQ(renderer_.DXInitialize(view_.View(), 0, 0), DX_OK);
  }
  void TearDown() override { renderer_.DXTerminate(); }

  void Write(const char* name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  }
  void Frame(float heading, uint32_t clock) {
    const vehicle::TVehicleState camera = testing::Camera(0, 0, -2, heading);
    driver_.Frame(*world_, checked_, camera, camera, 0, clock);
    const vehicle::TVehicleState* vehicles[] = {nullptr};
    ASSERT_EQ(checked_.DXDraw(kFieldOfView, kSky, camera, vehicles), DX_OK);
  }

  testing::TInTestFolder folder_;
  testing::TCapturedView view_{kFrameWidth, kFrameHeight};
  vehicle::TableRenderer renderer_{testing::BindPrismoth()};
  CheckedRenderer checked_{renderer_};
  std::unique_ptr<TWorld> world_ = std::make_unique<TWorld>();
  TWorldDriver driver_;
};

TEST_F(WorldOnTheRenderer, WallRoadAndGroundShowAndGoWithTheView) {
  // Green ground, a 2 m yellow-textured road running north under the camera, and
  // a red wall across the view 30 m north.
  testing::WriteTga("yellow.tga", 2, 2, std::vector<uint32_t>(4, 0xFF00FFFFu));
  Write("ground.dat", "-20000;-20000;20000;20000;0;0;$008000\r\n");
  Write("objects.dat",
        "Road\t0;-1000;0;10000;-10;2000;yellow.tga\r\n"
        "Wall\t-500;300;500;300;-10000;1000;0000FF\r\n");
  ASSERT_TRUE(LoadGround("ground.dat", world_->Ground, checked_).Ok());
  const TObjectsLoadResult loaded = LoadObjects("objects.dat", *world_, checked_, {});
  ASSERT_TRUE(loaded.Ok()) << loaded.Message;
  driver_.Prepare(world_->Objects);

  Frame(0, 1000);
  EXPECT_EQ(checked_.FailedAdds, 0);
  const int looking = checked_.InUse;
  // The wall's south face, shaded to 0.9 of its red.
  EXPECT_TRUE(IsColour(view_.Centre(), 230, 0, 0));
  // Low in the view, left of the centre line: the road; at the edge: ground.
  EXPECT_TRUE(IsColour(view_.At(kFrameWidth / 2 - 6, kFrameHeight - 2), 255, 255, 0));
  EXPECT_TRUE(IsColour(view_.At(0, kFrameHeight - 1), 0, 128, 0));

  // Turned south: the wall and the road ahead of it leave the store.
  Frame(180, 1100);
  EXPECT_LT(checked_.InUse, looking);
  EXPECT_FALSE(IsColour(view_.Centre(), 230, 0, 0));
  // Turned back: the same surfaces come back.
  Frame(0, 1200);
  EXPECT_EQ(checked_.InUse, looking);
  EXPECT_TRUE(IsColour(view_.Centre(), 230, 0, 0));
  EXPECT_EQ(checked_.FailedRemoves, 0);
}

}  // namespace
}  // namespace velmora::world
