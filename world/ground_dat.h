// ground.dat: the flat ground patches of the world, axis-aligned rectangles
// painted with a colour or a texture. CP932 text, one patch per line:
//   x1;y1;x2;y2;z;textureScale;name
// x and y in 0.1 m, z in mm (down positive), the texture scale in mm per
// repeat (0 = fit the width); integers may be "$" hexadecimal. A name that
// starts with "$" is a colour ($BBGGRR), anything else a texture file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "net/data_file.h"
#include "vehicle/renderer_api.h"

namespace velmora::world {

inline constexpr int kMaxGroundPatches = 100;
inline constexpr int32_t kWorldLoadFailure = 0x20000000;  // result of a failed world loader

struct TGroundPatch {
  double X1 = 0;          // m, east, one corner
  double Y1 = 0;          // m, north, that corner
  double X2 = 0;          // m, east, the opposite corner
  double Y2 = 0;          // m, north
  double Z = 0;           // m, down (0 = ground plane)
  int32_t SurfaceId = 0;  // renderer surface, 0 = not added yet
  int32_t Colour = 0;     // red in the low byte; 0 for a textured patch
  int32_t TextureId = 0;  // 0 for a coloured patch
};

struct TGroundTable {
  std::array<TGroundPatch, kMaxGroundPatches> Patches{};
  int Count = 0;
};

struct TGroundLoadResult {
  int32_t Code = 0;                       // 0, or kWorldLoadFailure when loading stopped
  std::optional<net::DataFileError> Error;  // what stopped it, with file and line
  std::vector<std::string> Notices;  // for the message log; loading still succeeds

  bool Ok() const { return Code == 0 && !Error; }
};

// Reads the patches into the table (which it empties first) and loads their
// textures. Stops at the first bad line; the patches before it stay.
TGroundLoadResult LoadGround(const std::filesystem::path& file, TGroundTable& table,
                             vehicle::RendererApi& renderer);
TGroundLoadResult LoadGroundLines(const std::vector<std::string>& lines,
                                  const std::string& fileName, TGroundTable& table,
                                  vehicle::RendererApi& renderer);

// Adds every patch that has no surface yet; a failed add is tried again on
// the next call. Patches are never removed.
void AddGroundPatches(TGroundTable& table, vehicle::RendererApi& renderer);

}  // namespace velmora::world
