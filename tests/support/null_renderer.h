// A renderer that accepts every call and draws nothing, for benchmarks whose
// figures should be the core's alone. Textures and surfaces get id 1.
#pragma once

#include "vehicle/renderer_api.h"

namespace velmora::testing {

class NullRenderer : public vehicle::RendererApi {
 public:
  int32_t DXInitialize(DXView*, int32_t, int32_t) override { return 0; }
  void DXTerminate() override {}
  int32_t DXLoadVehicleForm(const char*, int32_t, float) override { return 0; }
  int32_t DXLoadTexture(const char*, float) override { return 1; }
  int32_t DXAddSurface(const DXSurface&, int32_t) override { return 1; }
  int32_t DXRemoveSurface(int32_t) override { return 0; }
  int32_t DXGetNumOfVertexBufs() override { return DX_SURFACE_CAPACITY; }
  // Walks the vehicle list as a renderer would, so the list is really built.
  int32_t DXDraw(float, uint32_t, const vehicle::TVehicleState&,
                 const vehicle::TVehicleState* const* vehicles) override {
    int n = 0;
    while (vehicles && vehicles[n] != nullptr) ++n;
    return n > 1000 ? 1 : 0;
  }
};

}  // namespace velmora::testing
