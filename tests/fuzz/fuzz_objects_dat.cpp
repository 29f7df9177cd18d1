// Loads arbitrary bytes as objects.dat and runs refresh and animation passes
// from a few cameras. Whatever the input, loading either succeeds or names a
// line inside the file, the tables stay within their sizes, and every surface
// the objects remove is one they added.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "net/data_file.h"
#include "tests/support/fake_renderer.h"
#include "world/objects_dat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace velmora;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const net::DataFileLines lines = net::SplitDataFileLines(bytes, "objects.dat");
  if (lines.Error) return 0;
  auto world = std::make_unique<world::TWorld>();
  testing::FakeRenderer renderer;
  renderer.GiveTextureIds = true;
  renderer.GiveSurfaceIds = true;
  const auto result = world::LoadObjectsLines(lines.Lines, "objects.dat", *world, renderer, {});
  if (result.Error &&
      (result.Error->Line < 1 || result.Error->Line > static_cast<int>(lines.Lines.size()))) {
    std::abort();
  }
  if (world->DestinationCount > world::kMaxDestinations ||
      world->Track.Count > world::kMaxTrackRecords ||
      world->Track.Slots[world->Track.Count].CurveRadius != -1) {
    std::abort();
  }

  // Cameras at the first objects' corners and at the origin, looking about.
  world::TWorldDriver driver;
  driver.Prepare(world->Objects);
  vehicle::TVehicleState camera;
  for (int frame = 0; frame < 6; ++frame) {
    camera.X = frame % 2 ? 0 : 10.0 * frame;
    camera.Y = frame % 3 ? 5.0 : -20.0;
    camera.Z = -2.0 - frame;
    camera.Heading = static_cast<float>(frame * 60);
    camera.Pitch = static_cast<float>(frame % 2 ? -10 : 5);
    driver.Frame(*world, renderer, camera, camera, frame, static_cast<uint32_t>(frame * 150));
  }
  if (renderer.BadRemoveCalls != 0) std::abort();
  return 0;
}
