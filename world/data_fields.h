// Field helpers shared by the ground.dat and objects.dat loaders.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/field_reader.h"
#include "vehicle/renderer_api.h"

namespace velmora::world::fields {

// Longest texture file name the renderer's table holds, in bytes.
inline constexpr std::size_t kMaxTextureNameBytes = 63;

// The text without blanks and control characters at either end.
using net::TrimControl;

// Reads the next ";"-ended integer; on failure says which field and why.
std::optional<int32_t> ReadInteger(net::FieldReader& reader, const char* name,
                                   std::string& problem);

// A colour written as hexadecimal digits (blue, green, red) without prefix.
std::optional<int32_t> ParseHexColour(std::string_view text);

// Loads a texture; 0 with a problem when the name is too long for the
// renderer or the renderer cannot load it.
int32_t LoadTexture(vehicle::RendererApi& renderer, const std::string& name, float scale,
                    std::string& problem);

}  // namespace velmora::world::fields
