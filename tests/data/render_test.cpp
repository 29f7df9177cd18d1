// The whole installation through the real renderer library, headless: every
// mesh and texture loads, and a frame from the final approach shows the
// runway. The view tool draws the curved approach into a PNG file.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stb_image.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/data/installation.h"
#include "tests/data/start_points.h"
#include "tests/support/temp_file.h"
#include "vehicle/geometry.h"

namespace velmora::testing {
namespace {

constexpr int kNeutralTol = 24;  // colour levels: paving is grey or white, the land is not

struct TPixel {
  int R, G, B;
};

bool Neutral(const TPixel& p) {
  return std::abs(p.R - p.G) < kNeutralTol && std::abs(p.G - p.B) < kNeutralTol;
}

vehicle::TRendererTable BindLibrary() {
  vehicle::TRendererTable table;
  void* handle = dlopen(PRISMOTH_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return table;
  const auto bind = [&](const char* name) { return dlsym(handle, name); };
  table.Initialize = reinterpret_cast<DXInitializeFn>(bind("DXInitialize"));
  table.Terminate = reinterpret_cast<DXTerminateFn>(bind("DXTerminate"));
  table.LoadVehicleForm = reinterpret_cast<DXLoadVehicleFormFn>(bind("DXLoadVehicleForm"));
  table.LoadTexture = reinterpret_cast<DXLoadTextureFn>(bind("DXLoadTexture"));
  table.AddSurface = reinterpret_cast<DXAddSurfaceFn>(bind("DXAddSurface"));
  table.RemoveSurface = reinterpret_cast<DXRemoveSurfaceFn>(bind("DXRemoveSurface"));
  table.GetNumOfVertexBufs = reinterpret_cast<DXGetNumOfVertexBufsFn>(bind("DXGetNumOfVertexBufs"));
  table.Draw = reinterpret_cast<DXDrawFn>(bind("DXDraw"));
  return table;
}

// Keeps the last frame the library presents.
struct TFrame {
  std::vector<uint8_t> Rgba;
  int Width = 0;
  int Height = 0;

  TPixel At(int x, int y) const {
    const uint8_t* p = Rgba.data() + (static_cast<size_t>(y) * Width + x) * 4;
    return {p[0], p[1], p[2]};
  }
  static void Present(void* context, const uint8_t* rgba, int32_t width, int32_t height,
                      int32_t stride) {
    auto& frame = *static_cast<TFrame*>(context);
    frame.Width = width;
    frame.Height = height;
    frame.Rgba.clear();
    for (int32_t row = 0; row < height; ++row) {
      frame.Rgba.insert(frame.Rgba.end(), rgba + static_cast<size_t>(row) * stride,
                        rgba + static_cast<size_t>(row) * stride + static_cast<size_t>(width) * 4);
    }
  }
};

// A camera at (x, y, z) looking at the ground point (tx, ty).
vehicle::TVehicleState LookAt(double x, double y, double z, double tx, double ty) {
  vehicle::TVehicleState camera;
  camera.X = x;
  camera.Y = y;
  camera.Z = z;
  camera.Heading = static_cast<float>(vehicle::Normalise360(vehicle::Atan2Deg(tx - x, ty - y)));
  camera.Pitch = static_cast<float>(vehicle::Atan2Deg(z, std::hypot(tx - x, ty - y)));
  return camera;
}

TEST(RenderTest, WholeInstallationLoadsAndTheStraightInApproachShowsTheRunway) {
  const vehicle::TRendererTable table = BindLibrary();
  ASSERT_NE(table.Draw, nullptr) << "cannot bind " << PRISMOTH_LIBRARY;
  vehicle::TableRenderer renderer(table);
  TFrame frame;
  DXView view{320, 240, &TFrame::Present, &frame};
  ASSERT_EQ(renderer.DXInitialize(&view, 0, 0), 0);
  {
    TInstallation installation;
    LoadInstallation(renderer, installation);
    ASSERT_TRUE(installation.Ok());
    world::TWorldDriver driver;
    driver.Prepare(installation.World->Objects);
    // 1 km before the runway 36 threshold, 60 m up, looking 200 m into the runway.
    const vehicle::TVehicleState camera = LookAt(0, -2500, -60, 0, -1300);
    driver.Frame(*installation.World, renderer, camera, camera, 0, 0);
    const vehicle::TVehicleState* none[] = {nullptr};
    ASSERT_EQ(renderer.DXDraw(30, 0xFF9CC3E6, camera, none), 0);
    ASSERT_EQ(frame.Width, 320);
    const TPixel centre = frame.At(160, 120);
    const TPixel field = frame.At(10, 230);
    EXPECT_TRUE(Neutral(centre)) << centre.R << " " << centre.G << " " << centre.B;
    EXPECT_FALSE(Neutral(field)) << field.R << " " << field.G << " " << field.B;

    // From 3000 m, level, over the airport and 40 km out, towards the land and the sea: the
    // sky ends at the horizon (the middle row), and 1.5 px (0.19°) below it is ground.
    for (const auto& high : {LookAt(0, 0, -3000, 0, 1e9), LookAt(0, 40000, -3000, 0, -1e9)}) {
      driver.Frame(*installation.World, renderer, high, high, 0, 0);
      ASSERT_EQ(renderer.DXDraw(30, 0xFF9CC3E6, high, none), 0);
      for (int x = 0; x < 320; x += 32) {
        EXPECT_EQ(frame.At(x, 118).B, 0xE6);
        EXPECT_NE(frame.At(x, 121).B, 0xE6) << "column " << x << ", " << high.Y << " m north";
      }
    }
  }
  renderer.DXTerminate();
}

TEST(RenderTest, TheDriverSeesTheRoadOverTheCarsBonnet) {
  // The car at the terminal, heading north up the access road, seen from its
  // eye with its own body drawn, as the forward view draws it (the program's
  // view is 1017 × 577 with 30° of height).
  const vehicle::TRendererTable table = BindLibrary();
  ASSERT_NE(table.Draw, nullptr) << "cannot bind " << PRISMOTH_LIBRARY;
  vehicle::TableRenderer renderer(table);
  TFrame frame;
  DXView view{339, 192, &TFrame::Present, &frame};
  ASSERT_EQ(renderer.DXInitialize(&view, 0, 0), 0);
  {
    TInstallation installation;
    LoadInstallation(renderer, installation);
    ASSERT_TRUE(installation.Ok());
    const TStartPoint* start = nullptr;
    for (const TStartPoint& p : kStartPoints) {
      if (std::string(p.Name) == "car at the terminal") start = &p;
    }
    ASSERT_NE(start, nullptr);
    vehicle::TVehicleState car;
    car.Kind = vehicle::kKindRoad;
    car.FormNo = start->FormNo;
    car.X = start->X;
    car.Y = start->Y;
    car.Z = start->Z;
    car.Heading = static_cast<float>(start->Heading);
    const vehicle::TFormParam& form = (*installation.Forms)[car.FormNo];
    vehicle::TVehicleState camera = car;
    const vehicle::TWorldVector eye =
        vehicle::BodyToWorld(car, form.EyeRight, form.EyeUp, form.EyeForward);
    camera.X += eye.X;
    camera.Y += eye.Y;
    camera.Z += eye.Z;
    world::TWorldDriver driver;
    driver.Prepare(installation.World->Objects);
    driver.Frame(*installation.World, renderer, camera, camera, 0, 0);
    const vehicle::TVehicleState* vehicles[] = {&car, nullptr};
    ASSERT_EQ(renderer.DXDraw(30, 0xFF9CC3E6, camera, vehicles), 0);
    ASSERT_EQ(frame.Height, 192);
    // From just below the horizon down to four fifths of the height the
    // middle column is the road: grey, not the car's dark blue glass or red paint.
    constexpr int kGlassRed = 40;  // colour level: the glass's red is below it, the asphalt's far above
    for (int y = 192 / 2 + 4; y < 192 * 4 / 5; ++y) {
      const TPixel p = frame.At(339 / 2, y);
      EXPECT_TRUE(Neutral(p) && p.R > kGlassRed)
          << "row " << y << ": " << p.R << " " << p.G << " " << p.B;
    }
  }
  renderer.DXTerminate();
}

// Runs the tool and returns its exit status. Under the sanitizers the tool
// runs without the leak check at exit: LeakSanitizer's scan of the dynamic
// TLS that the Mesa drivers leave behind can crash the sanitizer runtime
// itself. Memory errors still abort the tool.
int RunViewTool(const std::string& arguments) {
  const std::string command = std::string("ASAN_OPTIONS=\"${ASAN_OPTIONS}:detect_leaks=0\" ") +
                              VELMORA_VIEW_TOOL + " " + arguments + " 2>/dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RenderTest, ViewToolDrawsTheCurvedApproachIntoAPng) {
  // On the runway 03 approach course (000) 1 km south of the threshold,
  // 60 m up, looking 200 m into the runway, which lies 30° to the right.
  const std::filesystem::path png = TestFilePath("approach03.png");
  const vehicle::TVehicleState camera = LookAt(800, -2200, -60, 900, -1026.8);
  char arguments[512];
  std::snprintf(arguments, sizeof arguments,
                "--data %s --size 320x240 --vehicle 11,-450,-60,-5,90 %.3f %.3f %.3f %.4f %.4f 0 %s",
                kDataFolder.c_str(), camera.X, camera.Y, camera.Z, camera.Heading, camera.Pitch,
                png.c_str());
  ASSERT_EQ(RunViewTool(arguments), 0) << arguments;

  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = stbi_load(png.c_str(), &width, &height, &channels, 3);
  ASSERT_NE(pixels, nullptr) << "not a readable image";
  ASSERT_EQ(width, 320);
  ASSERT_EQ(height, 240);
  const auto at = [&](int x, int y) {
    const stbi_uc* p = pixels + (static_cast<size_t>(y) * width + x) * 3;
    return TPixel{p[0], p[1], p[2]};
  };
  const TPixel runway = at(160, 120);
  const TPixel field = at(10, 230);
  stbi_image_free(pixels);
  EXPECT_TRUE(Neutral(runway)) << runway.R << " " << runway.G << " " << runway.B;
  EXPECT_FALSE(Neutral(field)) << field.R << " " << field.G << " " << field.B;
}

TEST(RenderTest, ViewToolRejectsBadArguments) {
  const std::filesystem::path png = TestFilePath("never.png");
  struct Case {
    std::string Arguments;
    int Status;
  };
  const Case cases[] = {
      {"0 0 -100 0 0 0", 2},                                        // no output file
      {"0 0 -100 north 0 0 " + png.string(), 2},                    // not a number
      {"--size 10x10 0 0 -100 0 0 0 " + png.string(), 2},           // too small
      {"--vehicle 101,0,0,0,0 0 0 -100 0 0 0 " + png.string(), 2},  // type outside 1..100
      {"--data /nonexistent/velmora 0 0 -100 0 0 0 " + png.string(), 1},
  };
  for (const Case& c : cases) EXPECT_EQ(RunViewTool(c.Arguments), c.Status) << c.Arguments;
  EXPECT_FALSE(std::filesystem::exists(png));
}

}  // namespace
}  // namespace velmora::testing
