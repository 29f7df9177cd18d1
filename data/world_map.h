// The map of an installation, as the server's web page draws it: the ground
// patches with their colours, the paved strips (aprons, taxiways, runways,
// roads, the race course) and the buildings, the runways with their names,
// the railway by line and its stations. JSON, metres east and north; the
// format is described in server/README.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "world/world.h"

namespace velmora::data {

// Colours are 0xRRGGBB.
using TTextureColours = std::map<int32_t, uint32_t>;  // by texture id

// The map of a loaded world; a ground patch painted with texture id n gets
// colours[n] (grey when it has none).
std::string WorldMapJson(const world::TWorld& world, const TTextureColours& colours);

struct TMapBuild {
  std::string Json;
  std::string Error;  // what stopped it: the file and line, or the file and why
  std::string Notes;  // textures that could not be read (drawn grey), one per line
};

// Loads ground.dat and objects.dat of the installation in `folder` as the
// program does, and takes each ground texture's mean colour from its image.
TMapBuild BuildWorldMap(const std::filesystem::path& folder);

}  // namespace velmora::data
