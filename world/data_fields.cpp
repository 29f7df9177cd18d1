#include "world/data_fields.h"

#include "net/data_file.h"

namespace velmora::world::fields {

std::optional<int32_t> ReadInteger(net::FieldReader& reader, const char* name,
                                   std::string& problem) {
  const std::string_view before = reader.Rest();
  const std::optional<int32_t> value = reader.ReadInteger();
  if (value) return value;
  const std::size_t semicolon = before.find(';');
  if (semicolon == std::string_view::npos) {
    problem = std::string(name) + " is missing or lacks its ';'";
  } else {
    problem = std::string(name) + " is not an integer: '" +
              net::Excerpt(before.substr(0, semicolon)) + "'";
  }
  return std::nullopt;
}

std::optional<int32_t> ParseHexColour(std::string_view text) {
  text = TrimControl(text);
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (const char c : text) {
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return static_cast<int32_t>(value);
}

int32_t LoadTexture(vehicle::RendererApi& renderer, const std::string& name, float scale,
                    std::string& problem) {
  if (name.size() > kMaxTextureNameBytes) {
    problem = "texture file name '" + net::Excerpt(name) + "' is longer than 63 bytes";
    return 0;
  }
  const int32_t id = renderer.DXLoadTexture(name.c_str(), scale);
  if (id <= 0) {
    problem = "texture '" + name + "' cannot be loaded";
    return 0;
  }
  return id;
}

}  // namespace velmora::world::fields
