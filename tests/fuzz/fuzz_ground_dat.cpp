// Loads arbitrary bytes as ground.dat and adds the patches. Whatever the
// input, loading either succeeds or names a line inside the file, never holds
// more than 100 patches, and adds one four-vertex surface per patch.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/data_file.h"
#include "tests/support/fake_renderer.h"
#include "world/ground_dat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const velmora::net::DataFileLines lines = velmora::net::SplitDataFileLines(bytes, "ground.dat");
  if (lines.Error) return 0;
  velmora::world::TGroundTable table;
  velmora::testing::FakeRenderer renderer;
  renderer.GiveTextureIds = true;
  renderer.GiveSurfaceIds = true;
  const auto result = velmora::world::LoadGroundLines(lines.Lines, "ground.dat", table, renderer);
  if (result.Error) {
    if (result.Error->Line < 1 || result.Error->Line > static_cast<int>(lines.Lines.size())) {
      std::abort();
    }
    if (result.Code != velmora::world::kWorldLoadFailure) std::abort();
  }
  if (table.Count < 0 || table.Count > velmora::world::kMaxGroundPatches) std::abort();
  velmora::world::AddGroundPatches(table, renderer);
  if (static_cast<int>(renderer.Surfaces.size()) != table.Count) std::abort();
  return 0;
}
