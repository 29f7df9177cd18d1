// A renderer that records every call and answers with preset results, for
// tests of the core that do not need pixels.
#pragma once

#include <array>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "vehicle/renderer_api.h"

namespace velmora::testing {

class FakeRenderer : public vehicle::RendererApi {
 public:
  struct FormCall {
    std::string Stem;
    int32_t FormId;
    float SwitchDistance;
  };

  std::vector<FormCall> FormCalls;
  int32_t FormResult = 0;       // returned by DXLoadVehicleForm
  int FailFormCallNumber = 0;   // 1-based call that returns FormResult; 0 = every call

  struct TextureCall {
    std::string FileName;
    float Scale;
  };
  // A surface as handed to DXAddSurface.
  struct Surface {
    int32_t Id = 0;
    uint32_t Colour = 0;
    int32_t TextureId = 0;
    std::vector<std::array<float, 3>> Vertices;  // x, y, z in metres
  };
  // One add (Added) or remove call, in call order.
  struct SurfaceEvent {
    bool Added = false;
    int32_t Id = 0;
  };

  std::vector<TextureCall> TextureCalls;
  // Without GiveTextureIds every texture load fails (returns 0). With it each
  // distinct name and scale gets the next id, 1..100, except the names in
  // MissingTextures.
  bool GiveTextureIds = false;
  std::set<std::string> MissingTextures;

  // Without GiveSurfaceIds every add fails (returns 0). With it ids are handed
  // out like the renderer's store: a freed id is reused last-freed-first for
  // the same kind (textured or not) and vertex count, else the next new id.
  bool GiveSurfaceIds = false;
  bool FailAdds = false;                 // while set, every add fails
  std::map<int32_t, Surface> Surfaces;   // in use, by id
  std::vector<SurfaceEvent> SurfaceEvents;
  int AddCalls = 0;
  int RemoveCalls = 0;
  int BadRemoveCalls = 0;                // removes of ids not in use

  int32_t DXInitialize(DXView*, int32_t, int32_t) override { return 0; }
  void DXTerminate() override {}
  int32_t DXLoadVehicleForm(const char* stem, int32_t formId, float switchDistance) override {
    FormCalls.push_back({stem, formId, switchDistance});
    if (FailFormCallNumber == 0 || static_cast<int>(FormCalls.size()) == FailFormCallNumber) {
      return FormResult;
    }
    return 0;
  }
  int32_t DXLoadTexture(const char* fileName, float scale) override {
    TextureCalls.push_back({fileName, scale});
    if (!GiveTextureIds || MissingTextures.count(fileName) != 0) return 0;
    const auto key = std::make_pair(std::string(fileName), scale);
    const auto found = textureIds_.find(key);
    if (found != textureIds_.end()) return found->second;
    if (textureIds_.size() >= DX_TEXTURE_CAPACITY) return 0;
    const auto id = static_cast<int32_t>(textureIds_.size() + 1);
    textureIds_[key] = id;
    return id;
  }
  int32_t DXAddSurface(const DXSurface& surface, int32_t vertexCount) override {
    ++AddCalls;
    if (!GiveSurfaceIds || FailAdds || vertexCount < 3 || vertexCount > DX_MAX_SURFACE_VERTICES) {
      return 0;
    }
    const auto kind = std::make_pair(surface.TextureId != 0, vertexCount);
    int32_t id = 0;
    auto& freed = freed_[kind];
    if (!freed.empty()) {
      id = freed.back();
      freed.pop_back();
    } else if (slotKinds_.size() < DX_SURFACE_CAPACITY) {
      slotKinds_.push_back(kind);
      id = static_cast<int32_t>(slotKinds_.size());
    } else {
      return 0;
    }
    Surface& stored = Surfaces[id];
    stored.Id = id;
    stored.Colour = surface.Colour;
    stored.TextureId = surface.TextureId;
    stored.Vertices.clear();
    for (int32_t v = 0; v < vertexCount; ++v) {
      stored.Vertices.push_back(
          {surface.Vertices[v][0], surface.Vertices[v][1], surface.Vertices[v][2]});
    }
    SurfaceEvents.push_back({true, id});
    return id;
  }
  int32_t DXRemoveSurface(int32_t surfaceId) override {
    ++RemoveCalls;
    if (surfaceId < 1 || surfaceId > DX_SURFACE_CAPACITY) {
      ++BadRemoveCalls;
      return DX_ERROR_SURFACE_ID;
    }
    const auto found = Surfaces.find(surfaceId);
    if (found == Surfaces.end()) {
      ++BadRemoveCalls;
      return DX_ERROR_SURFACE_UNUSED;
    }
    Surfaces.erase(found);
    freed_[slotKinds_[surfaceId - 1]].push_back(surfaceId);
    SurfaceEvents.push_back({false, surfaceId});
    return 0;
  }
  int32_t DXGetNumOfVertexBufs() override { return DX_SURFACE_CAPACITY; }
  int32_t DXDraw(float, uint32_t, const vehicle::TVehicleState&,
                 const vehicle::TVehicleState* const*) override {
    return 0;
  }

 private:
  std::map<std::pair<std::string, float>, int32_t> textureIds_;
  std::vector<std::pair<bool, int32_t>> slotKinds_;  // kind of each slot ever created
  std::map<std::pair<bool, int32_t>, std::vector<int32_t>> freed_;
};

}  // namespace velmora::testing
