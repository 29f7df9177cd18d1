#include "world/world.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "tests/support/fake_renderer.h"
#include "tests/support/camera.h"
#include "world/objects_dat.h"

namespace velmora::world {
namespace {

using velmora::testing::CameraAt;

class WorldDriverTest : public ::testing::Test {
 protected:
  WorldDriverTest() {
    renderer.GiveSurfaceIds = true;
    renderer.GiveTextureIds = true;
  }
  testing::FakeRenderer renderer;
  std::unique_ptr<TWorld> world = std::make_unique<TWorld>();
  TWorldDriver driver;
};

TEST_F(WorldDriverTest, RefreshesEvery100MsOrWhenTheViewTurns) {
  world->Ground.Count = 1;
  world->Ground.Patches[0] = {-100, -100, 100, 100, 0, 0, 0x00FF00, 0};
  world->Objects.Append(std::make_unique<TLineInfo>(0, 50, 0, 60, 0, 1, 0xFFFFFF, 0));
  driver.Prepare(world->Objects);
  const auto camera = CameraAt(0, 0, -2, 0);

  driver.Frame(*world, renderer, camera, camera, 0, 1000);
  ASSERT_EQ(renderer.SurfaceEvents.size(), 2u);
  // Ground patches come first.
  EXPECT_EQ(renderer.SurfaceEvents[0].Id, world->Ground.Patches[0].SurfaceId);

  // The line goes out of view, but no refresh is due yet.
  const auto away = CameraAt(0, 0, -2, 180);
  driver.Frame(*world, renderer, away, away, 0, 1099);
  EXPECT_EQ(renderer.Surfaces.size(), 2u);
  driver.Frame(*world, renderer, away, away, 0, 1100);
  EXPECT_EQ(renderer.Surfaces.size(), 1u);
  // A new view direction refreshes at once.
  driver.Frame(*world, renderer, camera, camera, 1, 1101);
  EXPECT_EQ(renderer.Surfaces.size(), 2u);
  // Across the clock's wrap the interval still counts.
  driver.Frame(*world, renderer, away, away, 1, 0xFFFFFFF0u);
  driver.Frame(*world, renderer, camera, camera, 1, 0xFFFFFFF0u + 99);
  EXPECT_EQ(renderer.Surfaces.size(), 1u);
  driver.Frame(*world, renderer, camera, camera, 1, 0xFFFFFFF0u + 100);
  EXPECT_EQ(renderer.Surfaces.size(), 2u);
}

TEST_F(WorldDriverTest, AnimationRunsEveryFrame) {
  world->Objects.Append(std::make_unique<TBlinkLightInfo>(0, 100, -5, 0xFF, 0));
  const auto camera = CameraAt(0, 0, -5, 0);
  driver.Frame(*world, renderer, camera, camera, 0, 0);
  const auto& light = dynamic_cast<TBlinkLightInfo&>(world->Objects[0]);
  EXPECT_GT(light.LightId, 0);
  driver.Frame(*world, renderer, camera, camera, 0, 260);
  EXPECT_EQ(light.LightId, 0);
}

// A pass from the camera of the pass before is skipped only while it would
// change nothing: the same bits of position and attitude, every add of the
// pass before granted, no index made since.
TEST_F(WorldDriverTest, OnlyAPassThatWouldChangeNothingIsSkipped) {
  world->Objects.Append(std::make_unique<TLineInfo>(0, 50, 0, 60, 0, 1, 0xFFFFFF, 0));
  driver.Prepare(world->Objects);
  const auto camera = CameraAt(0, 0, -2, 0);
  using TCamera = vehicle::TVehicleState;
  struct Case {
    const char* change;
    void (*apply)(TCamera&);
    bool skipped;
  } cases[] = {
      {"none", [](TCamera&) {}, true},
      {"x from +0 to -0", [](TCamera& c) { c.X = -0.0; }, false},
      {"y", [](TCamera& c) { c.Y = std::nextafter(c.Y, 1.0); }, false},
      {"z", [](TCamera& c) { c.Z = std::nextafter(c.Z, 0.0); }, false},
      {"heading", [](TCamera& c) { c.Heading = std::nextafter(c.Heading, 1.0f); }, false},
      {"pitch", [](TCamera& c) { c.Pitch = std::nextafter(c.Pitch, 1.0f); }, false},
      {"bank", [](TCamera& c) { c.Bank = std::nextafter(c.Bank, -1.0f); }, false},
  };
  for (const Case& c : cases) {
    driver.Refresh(*world, renderer, camera);
    TCamera moved = camera;
    c.apply(moved);
    driver.Refresh(*world, renderer, moved);
    EXPECT_EQ(driver.LastPassObjects() == 0, c.skipped) << c.change;
  }

  // An add the renderer refused is asked for again from the same camera.
  world->Objects.Clear();
  world->Objects.Append(std::make_unique<TLineInfo>(5, 50, 5, 60, 0, 1, 0xFFFFFF, 0));
  driver.Prepare(world->Objects);
  const auto& line = dynamic_cast<TLineInfo&>(world->Objects[0]);
  renderer.FailAdds = true;
  driver.Refresh(*world, renderer, camera);
  renderer.FailAdds = false;
  driver.Refresh(*world, renderer, camera);
  EXPECT_GT(line.SurfaceId, 0);
  // New objects in the same list after a new index are built from the same camera.
  world->Objects.Clear();
  world->Objects.Append(std::make_unique<TLineInfo>(-5, 50, -5, 60, 0, 1, 0xFFFFFF, 0));
  driver.Prepare(world->Objects);
  driver.Refresh(*world, renderer, camera);
  EXPECT_GT(dynamic_cast<TLineInfo&>(world->Objects[0]).SurfaceId, 0);
}

// A world of every kind of object, scattered over 60 km.
std::string ScatteredWorld(unsigned seed, int count) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> place(-300000, 300000);  // 0.1 m
  std::uniform_int_distribution<int> offset(-20000, 20000);
  std::uniform_int_distribution<int> small(1, 5000);
  std::uniform_int_distribution<int> angle(0, 359);
  std::string text;
  for (int i = 0; i < count; ++i) {
    const int x = place(random), y = place(random);
    const std::string p = std::to_string(x) + ";" + std::to_string(y) + ";";
    const std::string q =
        std::to_string(x + offset(random)) + ";" + std::to_string(y + offset(random)) + ";";
    const std::string w = std::to_string(small(random)) + ";";
    switch (i % 9) {
      case 0: text += "Line\t" + p + q + "0;" + w + "FFFFFF\n"; break;
      case 1: text += "Wall\t" + p + q + "-3000;" + w + "808080\n"; break;
      case 2:
        text += "Arc\t" + p + "0;" + std::to_string(small(random) * 2) + ";" + w +
                std::to_string(angle(random)) + ";" + std::to_string(angle(random)) + ";00FF00\n";
        break;
      case 3: text += "Road\t" + p + q + "0;6000;road.bmp\n"; break;
      case 4: text += "Taxiway\t" + p + q + "0;23000;100;300;0;100;0;300;tw.bmp\n"; break;
      case 5: text += "Banner\t" + p + q + "-8000;ad.bmp\tlink\n"; break;
      case 6: text += "RaceCrs\t" + p + q + "0;10000;50;rc.bmp\n"; break;
      case 7: text += "BlinkLight\t" + p + "-5000;0000FF\n"; break;
      default:
        // A quarter circle of 100 m radius between two 100 m straights, or a
        // 424 m straight.
        text += "Railway\t1;" + p + (i % 2 ? "0;1000;" : "450;1000;") +
                std::to_string(x + 2000) + ";" + std::to_string(y + 2000) + ";" +
                (i % 2 ? "900" : "450") + ";0;1;0;-1;rail.bmp\n";
        break;
    }
  }
  return text;
}

TEST_F(WorldDriverTest, IndexedPassMakesExactlyTheCallsOfAFullPass) {
  std::string text = ScatteredWorld(7, 900);
  text += "Runway\t0;0;0;30000;0;45000;0;0;rw.bmp\tR\n";
  text += "Runway\t50000;0;50000;1000;0;45000;0;0;rw.bmp\tShort\n";
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  testing::FakeRenderer fullRenderer;
  fullRenderer.GiveSurfaceIds = fullRenderer.GiveTextureIds = true;
  auto fullWorld = std::make_unique<TWorld>();
  TWorldDriver fullDriver;
  fullDriver.UseIndex = false;
  const TObjectsLoadResult loaded = LoadObjectsLines(lines, "objects.dat", *world, renderer, {});
  ASSERT_TRUE(loaded.Ok()) << loaded.Message << " " << loaded.Error->Reason;
  ASSERT_TRUE(LoadObjectsLines(lines, "objects.dat", *fullWorld, fullRenderer, {}).Ok());
  driver.Prepare(world->Objects);
  fullDriver.Prepare(fullWorld->Objects);

  std::mt19937 random(11);
  std::uniform_real_distribution<double> jump(-30000, 30000);
  std::uniform_real_distribution<double> turn(0, 360);
  double x = 0, y = -2000;
  float heading = 0;
  int indexedObjects = 0;
  for (int step = 0; step < 60; ++step) {
    if (step % 10 == 9) {
      x = jump(random);
      y = jump(random);
    } else {
      x += 300 * std::sin(heading * M_PI / 180);
      y += 300 * std::cos(heading * M_PI / 180);
    }
    if (step % 4 == 3) heading = static_cast<float>(turn(random));
    const auto camera = CameraAt(x, y, -20 - step, heading, -2);
    driver.Refresh(*world, renderer, camera);
    fullDriver.Refresh(*fullWorld, fullRenderer, camera);
    indexedObjects += driver.LastPassObjects();
    ASSERT_EQ(renderer.SurfaceEvents.size(), fullRenderer.SurfaceEvents.size()) << step;
  }
  for (std::size_t i = 0; i < renderer.SurfaceEvents.size(); ++i) {
    ASSERT_EQ(renderer.SurfaceEvents[i].Added, fullRenderer.SurfaceEvents[i].Added) << i;
    ASSERT_EQ(renderer.SurfaceEvents[i].Id, fullRenderer.SurfaceEvents[i].Id) << i;
  }
  EXPECT_GT(renderer.SurfaceEvents.size(), 1000u);
  // The index leaves most of the world alone.
  EXPECT_LT(indexedObjects, 60 * world->Objects.Count() / 2);
}

}  // namespace
}  // namespace velmora::world

namespace velmora::world {
namespace {

// An object whose reach does not hold the camera builds nothing, so the
// refresh pass may leave it alone. Cameras look at the object from around
// the edge of its reach.
TEST(ObjectReach, NothingIsBuiltFromOutsideTheReach) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> unit(0, 1);
  const auto make = [&](int kind) -> std::unique_ptr<TShapeInfo> {
    const auto f = [&](double lo, double hi) { return static_cast<float>(lo + (hi - lo) * unit(random)); };
    switch (kind) {
      case 0: return std::make_unique<TLineInfo>(0, 0, f(-300, 300), f(-300, 300), 0, f(0.1, 5), 1, 0);
      case 1: return std::make_unique<TWallInfo>(0, 0, f(-50, 50), f(-50, 50), -5, f(0.1, 5), 1, 0);
      case 2: return std::make_unique<TArcInfo>(0, 0, 0, f(1, 900), f(0.1, 3), f(0, 360), f(0, 360), 1, 0);
      case 3: return std::make_unique<TRunwayInfo>(0, 0, 0, f(50, 600), 0, 45, 0, 0, 1, "R", 0);
      case 4: return std::make_unique<TTaxiwayInfo>(0, 0, f(-200, 200), f(20, 200), 0, 23, f(0, 30), f(0, 60), f(0, 60), f(0, 30), f(0, 60), f(0, 60), 1);
      case 5: return std::make_unique<TRaceCrsInfo>(0, 0, 0, f(10, 300), 0, 10, f(-1, 400), 1);
      case 6: return std::make_unique<TRoadInfo>(0, 0, f(-500, 500), f(-500, 500), 0, 6, 1);
      case 7: return std::make_unique<TBannerInfo>(0, 0, f(-20, 20), f(1, 20), f(-10, -1), 1, "");
      default:
        return std::make_unique<TRailwayInfo>(0, 0, 0, f(50, 300), 200, 200, 90, 0, 1);
    }
  };
  int outside = 0;
  for (int trial = 0; trial < 900; ++trial) {
    std::unique_ptr<TShapeInfo> object = make(trial % 9);
    const TReach reach = object->Reach();
    ASSERT_GT(reach.Radius, 0);
    const double bearing = 360 * unit(random);
    const double distance = reach.Radius * (0.98 + 0.04 * unit(random));
    const double x = reach.CentreX + distance * std::sin(bearing * M_PI / 180);
    const double y = reach.CentreY + distance * std::cos(bearing * M_PI / 180);
    const auto heading = static_cast<float>(std::fmod(bearing + 180, 360));
    testing::FakeRenderer renderer;
    renderer.GiveSurfaceIds = true;
    TSurfaceWriter out(renderer);
    object->RefreshSurfaces(TViewFrame::FromCamera(CameraAt(x, y, -1, heading)), out);
    if (distance > reach.Radius) {
      ++outside;
      EXPECT_EQ(renderer.AddCalls, 0) << "kind " << trial % 9 << " trial " << trial;
    }
  }
  EXPECT_GT(outside, 300);
}

}  // namespace
}  // namespace velmora::world
