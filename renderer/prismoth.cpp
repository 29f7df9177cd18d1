// The eight exports of libprismoth over the one renderer of the process.
#include "renderer/prismoth.h"

#include "renderer/scene_renderer.h"

namespace {

using velmora::renderer::TRenderer;

// Never destroyed: the program closes the renderer with DXTerminate, and
// graphics calls from exit handlers are not safe.
TRenderer& Renderer() {
  static TRenderer* renderer = new TRenderer;
  return *renderer;
}

}  // namespace

#define PRISMOTH_EXPORT extern "C" __attribute__((visibility("default")))

PRISMOTH_EXPORT int32_t DXInitialize(void* view, int32_t width, int32_t height) {
  return Renderer().Initialize(static_cast<const DXView*>(view), width, height);
}

PRISMOTH_EXPORT void DXTerminate(void) { Renderer().Terminate(); }

PRISMOTH_EXPORT int32_t DXLoadVehicleForm(const char* stem, int32_t formId,
                                          float switchDistance) {
  return Renderer().LoadVehicleForm(stem, formId, switchDistance);
}

PRISMOTH_EXPORT int32_t DXLoadTexture(const char* fileName, float scale) {
  return Renderer().LoadTexture(fileName, scale);
}

PRISMOTH_EXPORT int32_t DXAddSurface(const DXSurface* surface, int32_t vertexCount) {
  return Renderer().AddSurface(surface, vertexCount);
}

PRISMOTH_EXPORT int32_t DXRemoveSurface(int32_t surfaceId) {
  return Renderer().RemoveSurface(surfaceId);
}

PRISMOTH_EXPORT int32_t DXGetNumOfVertexBufs(void) { return DX_SURFACE_CAPACITY; }

PRISMOTH_EXPORT int32_t DXDraw(float fieldOfView, uint32_t clearColour, const void* camera,
                               const void* const* vehicles) {
  return Renderer().Draw(fieldOfView, clearColour, static_cast<const DXVehicleRecord*>(camera),
                         reinterpret_cast<const DXVehicleRecord* const*>(vehicles));
}
