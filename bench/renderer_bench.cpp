// A worst-case frame at 1017 x 577: the surface store full with 20000
// surfaces of mixed kinds and sizes spread over 10 km (half of them textured
// over 50 textures, one in ten of eight vertices), 100 vehicles of a few
// hundred triangles, the camera 2 m above the ground. Each figure is the
// median of 50 frames after 300 unmeasured ones, the device finished before
// the clock stops.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "renderer/scene_renderer.h"

namespace {

using namespace velmora::renderer;

constexpr int32_t kWidth = 1017;        // pixels
constexpr int32_t kHeight = 577;        // pixels
constexpr int kTextures = 50;
constexpr int kVehicles = 100;
constexpr double kWorldSize = 10000;    // m, side of the square the surfaces lie in
constexpr float kFieldOfView = 45;      // degrees
constexpr int kWarmUpFrames = 300;

void Discard(void*, const uint8_t*, int32_t, int32_t, int32_t) {}

void WriteTga(const std::string& path, int size, std::mt19937& random) {
  std::string bytes(18, '\0');
  bytes[2] = 2;
  bytes[12] = char(size & 0xFF);
  bytes[13] = char(size >> 8);
  bytes[14] = char(size & 0xFF);
  bytes[15] = char(size >> 8);
  bytes[16] = 32;
  bytes[17] = 0x28;
  std::uniform_int_distribution<int> level(0, 255);
  for (int i = 0; i < size * size; ++i) {
    for (int c = 0; c < 3; ++c) bytes += char(level(random));
    bytes += char(255);
  }
  std::ofstream(path, std::ios::binary) << bytes;
}

// A closed body of revolution along the model's forward axis: rings x
// segments quads, 2 x rings x segments triangles, with normals.
std::string BodyMesh(int rings, int segments, float length, float radius) {
  std::ostringstream x;
  x << "xof 0303txt 0032\nMaterial Paint {\n 0.8;0.8;0.9;1.0;;\n 0.0;\n 0.0;0.0;0.0;;\n"
       " 0.0;0.0;0.0;;\n}\nMesh Body {\n";
  const int vertexCount = (rings + 1) * segments;
  std::vector<std::array<float, 6>> vertices;
  for (int r = 0; r <= rings; ++r) {
    const double along = M_PI * r / rings;
    const float ringRadius = radius * float(std::sin(along)) + 0.01f;
    const float z = -length / 2 * float(std::cos(along));
    for (int s = 0; s < segments; ++s) {
      const double around = 2 * M_PI * s / segments;
      const float nx = float(std::cos(around));
      const float ny = float(std::sin(around));
      vertices.push_back({ringRadius * nx, ringRadius * ny, z, nx, ny, 0});
    }
  }
  x << " " << vertexCount << ";\n";
  for (size_t i = 0; i < vertices.size(); ++i) {
    x << " " << vertices[i][0] << ";" << vertices[i][1] << ";" << vertices[i][2] << ";"
      << (i + 1 == vertices.size() ? ";" : ",") << "\n";
  }
  std::vector<std::array<int, 3>> faces;
  for (int r = 0; r < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      const int a = r * segments + s;
      const int b = r * segments + (s + 1) % segments;
      faces.push_back({a, b, a + segments});
      faces.push_back({b, b + segments, a + segments});
    }
  }
  auto writeFaces = [&](const char* indent) {
    x << indent << faces.size() << ";\n";
    for (size_t i = 0; i < faces.size(); ++i) {
      x << indent << "3;" << faces[i][0] << "," << faces[i][1] << "," << faces[i][2] << ";"
        << (i + 1 == faces.size() ? ";" : ",") << "\n";
    }
  };
  writeFaces(" ");
  x << " MeshMaterialList {\n  1;\n  " << faces.size() << ";\n";
  for (size_t i = 0; i < faces.size(); ++i) x << "  0" << (i + 1 == faces.size() ? ";" : ",");
  x << "\n  {Paint}\n }\n MeshNormals {\n  " << vertexCount << ";\n";
  for (size_t i = 0; i < vertices.size(); ++i) {
    x << "  " << vertices[i][3] << ";" << vertices[i][4] << ";" << vertices[i][5] << ";"
      << (i + 1 == vertices.size() ? ";" : ",") << "\n";
  }
  writeFaces("  ");
  x << " }\n}\n";
  return x.str();
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "renderer_bench: %s\n", what);
    std::exit(1);
  }
}

struct TScene {
  DXView View{kWidth, kHeight, &Discard, nullptr};
  TRenderer Renderer;
  std::vector<DXVehicleRecord> Vehicles;
  std::vector<const DXVehicleRecord*> VehicleList;
  DXVehicleRecord Camera{};

  TScene() {
    const auto folder = std::filesystem::temp_directory_path() / "velmora-renderer-bench";
    std::filesystem::create_directories(folder);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    Check(Renderer.Initialize(&View, 0, 0) == DX_OK, "no OpenGL context");
    std::mt19937 random(1234);

    // Vehicle forms: 16 x 10 rings, 320 triangles; rough: 8 x 4, 64.
    std::ofstream("body.x") << BodyMesh(10, 16, 40, 3);
    std::ofstream("body_rough.x") << BodyMesh(4, 8, 40, 3);
    Check(Renderer.LoadVehicleForm("body", 1, 2000) == 0, "vehicle form not loaded");

    std::vector<int32_t> textures;
    for (int i = 0; i < kTextures; ++i) {
      const std::string name = "ground" + std::to_string(i) + ".tga";
      WriteTga(name, 64, random);
      textures.push_back(Renderer.LoadTexture(name.c_str(), float(5 + i)));
      Check(textures.back() != 0, "texture not loaded");
    }

    std::uniform_real_distribution<float> across(-float(kWorldSize / 2), float(kWorldSize / 2));
    std::uniform_real_distribution<float> size(5, 60);
    std::uniform_real_distribution<float> unit(0, 1);
    std::uniform_int_distribution<uint32_t> colour(0, 0xFFFFFF);
    std::uniform_int_distribution<int> texture(0, kTextures - 1);
    for (int i = 0; i < kSurfaceCapacity; ++i) {
      DXSurface surface{};
      surface.Colour = colour(random);
      surface.TextureId = i % 2 == 0 ? textures[size_t(texture(random))] : 0;
      const int32_t count = i % 10 == 0 ? 8 : 4;
      const float x = across(random);
      const float y = across(random);
      const float width = size(random);
      const float length = size(random);
      // Most surfaces lie on the ground; a quarter stand up as walls.
      const bool wall = unit(random) < 0.25f;
      for (int32_t v = 0; v < count; ++v) {
        const float side = float(v % 2);
        const float step = float(v / 2) / float(count / 2 - 1);
        surface.Vertices[v][0] = x + side * width;
        surface.Vertices[v][1] = y + (wall ? 0 : step * length);
        surface.Vertices[v][2] = wall ? -step * 10 : 0;
      }
      Check(Renderer.AddSurface(&surface, count) != 0, "surface not added");
    }

    std::uniform_real_distribution<float> heading(0, 360);
    std::uniform_real_distribution<float> nearby(-800, 800);
    for (int i = 0; i < kVehicles; ++i) {
      DXVehicleRecord vehicle{};
      vehicle.FormNo = 1;
      vehicle.X = nearby(random);
      vehicle.Y = std::abs(nearby(random)) + 20;
      vehicle.Z = -3;
      vehicle.Heading = heading(random);
      Vehicles.push_back(vehicle);
    }
    for (const DXVehicleRecord& vehicle : Vehicles) VehicleList.push_back(&vehicle);
    VehicleList.push_back(nullptr);
    Camera.Z = -2;
    std::filesystem::current_path(previous);
    // The first frames of a process pay for memory the software rasteriser
    // touches for the first time; the figures are of frames after them.
    for (int frame = 0; frame < kWarmUpFrames; ++frame) {
      Camera.X = frame % 2 == 0 ? 0.001 : 0;
      Renderer.Draw(kFieldOfView, 0xFF87CEEB, &Camera, VehicleList.data());
    }
    Renderer.Finish();
  }
};

TScene& Scene() {
  static TScene* scene = new TScene;
  return *scene;
}

struct TDrawing {
  TSurfaceDrawing Surfaces;
  bool Culling;
  const char* Name;
};
constexpr TDrawing kDrawings[] = {
    {TSurfaceDrawing::WholeStore, true, "surfaces in view in one call"},
    {TSurfaceDrawing::WholeStore, false, "whole store in one call"},
    {TSurfaceDrawing::PerSurface, false, "one call per surface"},
    {TSurfaceDrawing::PerSurfaceStates, false, "one call per surface, states set per call"}};
constexpr const char* kVehicleNames[] = {", vehicles instanced", ", one call per vehicle",
                                         ", no vehicles"};

// Arguments: the surface drawing (index into kDrawings), and the vehicles:
// 0 instanced, 1 one by one, 2 left out. The camera moves by a millimetre
// between frames, so that every frame is drawn rather than handed over again.
void BM_WorstCaseFrame(benchmark::State& state) {
  TScene& scene = Scene();
  const TDrawing& drawing = kDrawings[state.range(0)];
  scene.Renderer.SetSurfaceDrawing(drawing.Surfaces);
  scene.Renderer.SetCulling(drawing.Culling);
  scene.Renderer.SetVehicleDrawing(state.range(1) == 1 ? TVehicleDrawing::PerVehicle
                                                       : TVehicleDrawing::Instanced);
  const DXVehicleRecord* noVehicles[] = {nullptr};
  const DXVehicleRecord* const* vehicles =
      state.range(1) == 2 ? noVehicles : scene.VehicleList.data();
  scene.Renderer.Draw(kFieldOfView, 0xFF87CEEB, &scene.Camera, vehicles);
  scene.Renderer.Finish();
  const int64_t drawnBefore = scene.Renderer.FramesDrawn();
  int64_t frames = 0;
  for (auto _ : state) {
    scene.Camera.X = scene.Camera.X == 0 ? 0.001 : 0;
    const int32_t result = scene.Renderer.Draw(kFieldOfView, 0xFF87CEEB, &scene.Camera, vehicles);
    scene.Renderer.Finish();
    benchmark::DoNotOptimize(result);
    ++frames;
  }
  Check(scene.Renderer.FramesDrawn() - drawnBefore == frames, "a frame was not drawn");
  state.counters["surfaces"] = double(scene.Renderer.DrawnSurfaces());
  state.SetLabel(std::string(drawing.Name) + kVehicleNames[state.range(1)]);
}
BENCHMARK(BM_WorstCaseFrame)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}})
    ->Iterations(1)
    ->Repetitions(50)
    ->ReportAggregatesOnly()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
