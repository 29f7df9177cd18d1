#include "world/ground_dat.h"

#include "net/field_reader.h"
#include "world/data_fields.h"

namespace velmora::world {
namespace {

// Parses one line into a patch; the texture is loaded by the caller.
bool ParseGroundLine(std::string_view line, TGroundPatch& patch, int32_t& textureScale,
                     std::string& name, std::string& problem) {
  static constexpr const char* kFieldNames[6] = {"field 1 (x1)", "field 2 (y1)",
                                                 "field 3 (x2)", "field 4 (y2)",
                                                 "field 5 (z)",  "field 6 (texture scale)"};
  if (fields::TrimControl(line).empty()) {
    problem = "blank line: every line must describe a ground patch";
    return false;
  }
  net::FieldReader reader(line);
  int32_t values[6] = {};
  for (int i = 0; i < 6; ++i) {
    const std::optional<int32_t> value = fields::ReadInteger(reader, kFieldNames[i], problem);
    if (!value) return false;
    values[i] = *value;
  }
  patch = TGroundPatch{};
  patch.X1 = values[0] / 10.0;
  patch.Y1 = values[1] / 10.0;
  patch.X2 = values[2] / 10.0;
  patch.Y2 = values[3] / 10.0;
  patch.Z = values[4] / 1000.0;
  textureScale = values[5];
  name = std::string(fields::TrimControl(reader.Rest()));
  if (name.empty()) {
    problem = "the colour or texture name is missing";
    return false;
  }
  return true;
}

}  // namespace

TGroundLoadResult LoadGround(const std::filesystem::path& file, TGroundTable& table,
                             vehicle::RendererApi& renderer) {
  net::DataFileLines lines = net::ReadDataFileLines(file);
  if (lines.Error) {
    table.Count = 0;
    TGroundLoadResult result;
    result.Code = kWorldLoadFailure;
    result.Error = std::move(lines.Error);
    return result;
  }
  return LoadGroundLines(lines.Lines, file.string(), table, renderer);
}

TGroundLoadResult LoadGroundLines(const std::vector<std::string>& lines,
                                  const std::string& fileName, TGroundTable& table,
                                  vehicle::RendererApi& renderer) {
  TGroundLoadResult result;
  table.Count = 0;
  const auto fail = [&](int lineNo, std::string why) {
    result.Code = kWorldLoadFailure;
    result.Error = net::DataFileError{fileName, lineNo, std::move(why)};
    return result;
  };
  const std::size_t count = net::CountUpToLastContent(lines);
  if (count == 0) result.Notices.push_back(fileName + " に地面がありません。");
  int lineNo = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& line = lines[i];
    ++lineNo;
    if (table.Count >= kMaxGroundPatches) {
      return fail(lineNo, "more than 100 ground patches");
    }
    TGroundPatch patch;
    int32_t textureScale = 0;
    std::string name;
    std::string problem;
    if (!ParseGroundLine(line, patch, textureScale, name, problem)) {
      return fail(lineNo, std::move(problem));
    }
    if (name.front() == '$') {
      const std::optional<int32_t> colour = net::ParseIntegerField(name);
      if (!colour) return fail(lineNo, "colour '" + net::Excerpt(name) + "' is not a hexadecimal number");
      patch.Colour = *colour;
    } else {
      const auto scale = static_cast<float>(textureScale / 1000.0);
      patch.TextureId = fields::LoadTexture(renderer, name, scale, problem);
      if (patch.TextureId == 0) return fail(lineNo, std::move(problem));
    }
    table.Patches[table.Count++] = patch;
  }
  return result;
}

void AddGroundPatches(TGroundTable& table, vehicle::RendererApi& renderer) {
  for (int i = 0; i < table.Count; ++i) {
    TGroundPatch& patch = table.Patches[i];
    if (patch.SurfaceId > 0) continue;
    DXSurface surface;
    surface.Colour = static_cast<uint32_t>(patch.Colour);
    surface.TextureId = patch.TextureId;
    const double corners[4][2] = {
        {patch.X1, patch.Y1}, {patch.X1, patch.Y2}, {patch.X2, patch.Y1}, {patch.X2, patch.Y2}};
    for (int v = 0; v < 4; ++v) {
      surface.Vertices[v][0] = static_cast<float>(corners[v][0]);
      surface.Vertices[v][1] = static_cast<float>(corners[v][1]);
      surface.Vertices[v][2] = static_cast<float>(patch.Z);
    }
    const int32_t id = renderer.DXAddSurface(surface, 4);
    patch.SurfaceId = id > 0 ? id : 0;
  }
}

}  // namespace velmora::world
