// The sample installation: loading it at start-up (vehicle types, ground,
// objects and the track connections) and the first world refresh from the
// start points, against a renderer that only hands out ids.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "tests/support/fake_renderer.h"
#include "world/installation.h"
#include "world/world.h"

namespace velmora {
namespace {

struct TLoaded {
  std::unique_ptr<vehicle::TFormTable> Forms = std::make_unique<vehicle::TFormTable>();
  std::unique_ptr<world::TWorld> World = std::make_unique<world::TWorld>();
  testing::FakeRenderer Renderer;
  bool Ok = false;
};

void Load(TLoaded& out) {
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(VELMORA_DATA_DIR);
  out.Renderer.GiveTextureIds = true;
  out.Renderer.GiveSurfaceIds = true;
  out.Ok = world::LoadInstallation(*out.Forms, *out.World, out.Renderer).Ok();
  std::filesystem::current_path(previous);
}

void BM_LoadInstallation(benchmark::State& state) {
  for (auto _ : state) {
    TLoaded loaded;
    Load(loaded);
    if (!loaded.Ok) {
      state.SkipWithError("the installation does not load");
      return;
    }
    benchmark::DoNotOptimize(loaded.World->Objects.Count());
  }
}
BENCHMARK(BM_LoadInstallation)->Unit(benchmark::kMillisecond);

// The first frame after start-up with the camera at a start point: every
// object near it builds its surfaces.
void FirstFrame(benchmark::State& state, double x, double y, double z, float heading) {
  int surfaces = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TLoaded loaded;
    Load(loaded);
    world::TWorldDriver driver;
    driver.Prepare(loaded.World->Objects);
    vehicle::TVehicleState camera;
    camera.X = x;
    camera.Y = y;
    camera.Z = z;
    camera.Heading = heading;
    state.ResumeTiming();
    driver.Frame(*loaded.World, loaded.Renderer, camera, camera, 0, 0);
    surfaces = static_cast<int>(loaded.Renderer.Surfaces.size());
  }
  state.counters["surfaces"] = surfaces;
}

void BM_FirstFrameRunway36Threshold(benchmark::State& state) {
  FirstFrame(state, 0, -1480, -7, 0);
}
BENCHMARK(BM_FirstFrameRunway36Threshold)->Unit(benchmark::kMillisecond);

void BM_FirstFrameStationA(benchmark::State& state) { FirstFrame(state, -4000, -2800, -4, 0); }
BENCHMARK(BM_FirstFrameStationA)->Unit(benchmark::kMillisecond);

void BM_FirstFrameRaceStart(benchmark::State& state) { FirstFrame(state, 5796, -320, -2, 0); }
BENCHMARK(BM_FirstFrameRaceStart)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velmora
