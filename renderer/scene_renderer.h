// The whole renderer behind the eight exports: the context, the frame target,
// the surface store, the texture table and the vehicle forms, and the frame.
#pragma once

#include <cstdint>
#include <vector>

#include "renderer/gl_context.h"
#include "renderer/prismoth.h"
#include "renderer/surface_store.h"
#include "renderer/texture_table.h"
#include "renderer/vehicle_forms.h"
#include "renderer/view_math.h"

namespace velmora::renderer {

// How the surface store is drawn: the whole store in one call; or, as
// references for the benchmark, one call per surface in use, either with the
// per-surface states kept in the buffers or set before each call (bias,
// texture), the way a store of separate vertex buffers draws.
enum class TSurfaceDrawing { WholeStore, PerSurface, PerSurfaceStates };

class TRenderer {
 public:
  TRenderer() = default;
  TRenderer(const TRenderer&) = delete;
  TRenderer& operator=(const TRenderer&) = delete;
  ~TRenderer() { Terminate(); }

  int32_t Initialize(const DXView* view, int32_t width, int32_t height);
  void Terminate();
  int32_t LoadVehicleForm(const char* stem, int32_t formId, float switchDistance);
  int32_t LoadTexture(const char* fileName, float scale);
  int32_t AddSurface(const DXSurface* surface, int32_t vertexCount);
  int32_t RemoveSurface(int32_t surfaceId);
  int32_t Draw(float fieldOfView, uint32_t clearColour, const DXVehicleRecord* camera,
               const DXVehicleRecord* const* vehicles);

  bool Ready() const { return ready_; }
  void SetSurfaceDrawing(TSurfaceDrawing drawing) { surfaceDrawing_ = drawing; }
  const TSurfaceStore& Store() const { return store_; }
  // Waits until the device has finished every command given so far.
  void Finish();

 private:
  struct TSurfaceProgram {
    uint32_t Program = 0;
    int32_t ViewProjection = -1;
    int32_t BiasScale = -1;
    int32_t BiasOffset = -1;
    int32_t Sampler = -1;
  };
  struct TVehicleProgram {
    uint32_t Program = 0;
    int32_t WorldViewProjection = -1;
    int32_t World = -1;
    int32_t Diffuse = -1;
    int32_t Ambient = -1;
    int32_t Emissive = -1;
    int32_t Textured = -1;
    int32_t Texture = -1;
  };

  bool ready_ = false;
  TGlContext context_;
  TFrameTarget target_;
  DXView view_{};
  int32_t frameWidth_ = 0;
  int32_t frameHeight_ = 0;
  TDepthConvention depth_ = TDepthConvention::Reversed;
  TSurfaceDrawing surfaceDrawing_ = TSurfaceDrawing::WholeStore;
  TSurfaceProgram surfaceProgram_;
  TSurfaceProgram singleSurfaceProgram_;
  int32_t singleSurfaceTextured_ = -1;
  TVehicleProgram vehicleProgram_;
  TSurfaceStore store_;
  TTextureTable textures_;
  TVehicleForms forms_;
  uint32_t surfaceArray_ = 0;
  uint32_t surfaceVertices_ = 0;
  uint32_t surfaceStates_ = 0;
  uint32_t surfaceCorners_ = 0;
  size_t vertexCapacity_ = 0;  // vertices the device buffers hold
  size_t cornerCapacity_ = 0;  // corners the device index buffer holds
  std::vector<uint8_t> pixels_;

  bool BuildPrograms();
  void CreateSurfaceBuffers();
  void ReleaseDevice();
  void UploadSlot(int32_t surfaceId, bool created);
  void DrawSurfaces(const TMatrix& viewProjection);
  void DrawStore(const TMatrix& viewProjection);
  void DrawSurfacesWithStates(const TMatrix& viewProjection);
  void DrawVehicles(const TMatrix& viewProjection, float fieldOfView,
                    const DXVehicleRecord& camera, const DXVehicleRecord* const* vehicles);
  void ApplyStates();
};

}  // namespace velmora::renderer
