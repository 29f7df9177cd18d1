// Loading objects.dat and the world refresh pass: a synthetic world of 200000
// objects of every kind spread over 200 km × 200 km, and the sample world when
// it is installed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "net/data_file.h"
#include "tests/support/null_renderer.h"
#include "world/ground_dat.h"
#include "world/objects_dat.h"
#include "world/world.h"

namespace {

using namespace velmora;

// A renderer that hands out ids the way the store does and keeps nothing else.
class CountingRenderer final : public testing::NullRenderer {
 public:
  int32_t DXAddSurface(const DXSurface&, int32_t) override {
    if (!freed_.empty()) {
      const int32_t id = freed_.back();
      freed_.pop_back();
      return id;
    }
    return ++created_;
  }
  int32_t DXRemoveSurface(int32_t id) override {
    freed_.push_back(id);
    return 0;
  }
  int32_t InUse() const { return created_ - static_cast<int32_t>(freed_.size()); }

 private:
  int32_t created_ = 0;
  std::vector<int32_t> freed_;
};

// 200000 lines: 20 runways, 200 railway segments, the rest mixed, placed at
// random within 100 km of the origin (coordinates in 0.1 m).
std::vector<std::string> SyntheticObjects() {
  std::mt19937 random(2026);
  std::uniform_int_distribution<int> place(-1000000, 1000000);
  std::uniform_int_distribution<int> offset(-2000, 2000);
  std::uniform_int_distribution<int> width(100, 20000);
  std::uniform_int_distribution<int> angle(0, 359);
  std::vector<std::string> lines;
  lines.reserve(world::kMaxWorldObjects);
  for (int i = 0; i < 20; ++i) {
    const int x = place(random), y = place(random);
    lines.push_back("Runway\t" + std::to_string(x) + ";" + std::to_string(y) + ";" +
                    std::to_string(x) + ";" + std::to_string(y + 30000) +
                    ";0;45000;100000;0;runway.bmp\tRWY" + std::to_string(i));
  }
  for (int i = 0; i < 200; ++i) {
    const int x = place(random), y = place(random);
    lines.push_back("Railway\t1;" + std::to_string(x) + ";" + std::to_string(y) + ";0;1000;" +
                    std::to_string(x + 2000) + ";" + std::to_string(y + 2000) +
                    ";900;0;1;0;-1;rail.bmp");
  }
  while (static_cast<int>(lines.size()) < world::kMaxWorldObjects) {
    const int x = place(random), y = place(random);
    const std::string a = std::to_string(x) + ";" + std::to_string(y) + ";";
    const std::string b = std::to_string(x + offset(random)) + ";" +
                          std::to_string(y + offset(random)) + ";";
    const std::string w = std::to_string(width(random)) + ";";
    switch (lines.size() % 20) {
      case 0: case 1: case 2: case 3: case 4: case 5:
        lines.push_back("Line\t" + a + b + "-10;" + w + "FFFFFF");
        break;
      case 6: case 7: case 8:
        lines.push_back("Wall\t" + a + b + "-5000;" + w + "808080\twall.bmp");
        break;
      case 9: case 10:
        // Radius up to 1000 m, so that a whole turn fits the arc's pieces.
        lines.push_back("Arc\t" + a + "0;" + std::to_string(width(random) / 2) + ";" + w +
                        std::to_string(angle(random)) + ";" + std::to_string(angle(random)) +
                        ";00FF00");
        break;
      case 11: case 12:
        lines.push_back("BlinkLight\t" + a + "-5000;0000FF");
        break;
      case 13: case 14:
        lines.push_back("Road\t" + a + b + "0;6000;road.bmp");
        break;
      case 15:
        lines.push_back("Taxiway\t" + a + b + "0;23000;100;300;0;100;0;300;taxiway.bmp");
        break;
      case 16:
        lines.push_back("RaceCrs\t" + a + b + "0;10000;50;race.bmp");
        break;
      case 17:
        lines.push_back("RaceCrsArc\t" + a + "0;5000;10000;0;90;race.bmp");
        break;
      default:
        lines.push_back("Banner\t" + a + b + "-8000;banner.bmp\thttp://example.invalid/");
        break;
    }
  }
  return lines;
}

const std::vector<std::string>& Lines() {
  static const std::vector<std::string> lines = SyntheticObjects();
  return lines;
}

void BM_LoadObjects200k(benchmark::State& state) {
  const std::vector<std::string>& lines = Lines();
  for (auto _ : state) {
    auto world = std::make_unique<world::TWorld>();
    CountingRenderer renderer;
    const auto result = world::LoadObjectsLines(lines, "objects.dat", *world, renderer, {});
    if (!result.Ok()) state.SkipWithError(result.Message.c_str());
    benchmark::DoNotOptimize(world->Objects.Count());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
}
BENCHMARK(BM_LoadObjects200k)->Unit(benchmark::kMillisecond)->Iterations(3);

// A camera 300 m up near the middle of the world, looking north-east and a
// little down.
vehicle::TVehicleState SteadyCamera() {
  vehicle::TVehicleState camera;
  camera.X = 1234;
  camera.Y = -567;
  camera.Z = -300;
  camera.Heading = 45;
  camera.Pitch = -5;
  return camera;
}

// A loaded world with the renderer that holds its surfaces and the driver
// that has seen every change of them.
struct TDrivenWorld {
  std::unique_ptr<world::TWorld> World = std::make_unique<world::TWorld>();
  CountingRenderer Renderer;
  world::TWorldDriver Driver;
};

void RefreshSteady(benchmark::State& state, TDrivenWorld& driven, bool useIndex) {
  driven.Driver.UseIndex = useIndex;
  const vehicle::TVehicleState camera = SteadyCamera();
  driven.Driver.Refresh(*driven.World, driven.Renderer, camera);  // builds what the camera sees
  for (auto _ : state) driven.Driver.Refresh(*driven.World, driven.Renderer, camera);
  state.counters["objects"] = driven.World->Objects.Count();
  state.counters["refreshed"] = driven.Driver.LastPassObjects();
  state.counters["surfaces"] = driven.Renderer.InUse();
}

TDrivenWorld& SyntheticWorld() {
  static const std::unique_ptr<TDrivenWorld> driven = [] {
    auto loaded = std::make_unique<TDrivenWorld>();
    world::LoadObjectsLines(Lines(), "objects.dat", *loaded->World, loaded->Renderer, {});
    loaded->Driver.Prepare(loaded->World->Objects);
    return loaded;
  }();
  return *driven;
}

void BM_RefreshSteadyCamera200k(benchmark::State& state) {
  RefreshSteady(state, SyntheticWorld(), true);
}
BENCHMARK(BM_RefreshSteadyCamera200k)->Unit(benchmark::kMillisecond);

void BM_RefreshSteadyCamera200kEveryObject(benchmark::State& state) {
  RefreshSteady(state, SyntheticWorld(), false);
}
BENCHMARK(BM_RefreshSteadyCamera200kEveryObject)->Unit(benchmark::kMillisecond);

// A camera that never stands quite still: it moves 1 cm back and forth, so
// every pass refreshes what the steady camera's passes find settled.
void BM_RefreshHoveringCamera200k(benchmark::State& state) {
  TDrivenWorld& driven = SyntheticWorld();
  driven.Driver.UseIndex = true;
  vehicle::TVehicleState camera = SteadyCamera();
  driven.Driver.Refresh(*driven.World, driven.Renderer, camera);
  int pass = 0;
  for (auto _ : state) {
    camera.X = SteadyCamera().X + (++pass % 2) * 0.01;
    driven.Driver.Refresh(*driven.World, driven.Renderer, camera);
  }
  state.counters["refreshed"] = driven.Driver.LastPassObjects();
  state.counters["surfaces"] = driven.Renderer.InUse();
}
BENCHMARK(BM_RefreshHoveringCamera200k)->Unit(benchmark::kMillisecond);

// A camera flying north-east at 250 m/s: 25 m between refresh passes, so
// pieces keep entering and leaving the view.
void BM_RefreshMovingCamera200k(benchmark::State& state) {
  TDrivenWorld& driven = SyntheticWorld();
  driven.Driver.UseIndex = true;
  vehicle::TVehicleState camera = SteadyCamera();
  for (auto _ : state) {
    camera.X += 25 * std::sqrt(0.5);
    camera.Y += 25 * std::sqrt(0.5);
    driven.Driver.Refresh(*driven.World, driven.Renderer, camera);
  }
  state.counters["refreshed"] = driven.Driver.LastPassObjects();
  state.counters["surfaces"] = driven.Renderer.InUse();
}
BENCHMARK(BM_RefreshMovingCamera200k)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_RefreshSteadyCameraSampleWorld(benchmark::State& state) {
  const std::filesystem::path dir = VELMORA_SAMPLE_DATA_DIR;
  if (!std::filesystem::exists(dir / "objects.dat")) {
    state.SkipWithError("no sample world in data/");
    return;
  }
  TDrivenWorld driven;
  const auto current = std::filesystem::current_path();
  std::filesystem::current_path(dir);  // texture names are relative to the installation
  const auto ground = world::LoadGround("ground.dat", driven.World->Ground, driven.Renderer);
  const auto objects = world::LoadObjects("objects.dat", *driven.World, driven.Renderer, {});
  std::filesystem::current_path(current);
  if (!ground.Ok() || !objects.Ok()) {
    state.SkipWithError("the sample world does not load");
    return;
  }
  driven.Driver.Prepare(driven.World->Objects);
  RefreshSteady(state, driven, true);
}
BENCHMARK(BM_RefreshSteadyCameraSampleWorld)->Unit(benchmark::kMillisecond);

}  // namespace
