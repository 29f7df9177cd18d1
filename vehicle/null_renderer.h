// A renderer that accepts every call and draws nothing: a headless program's
// loaders get their ids and slots, and the shapes stay unread. Textures and
// surfaces get id 1.
#pragma once

#include "vehicle/renderer_api.h"

namespace velmora::vehicle {

class TNullRenderer : public RendererApi {
 public:
  int32_t DXInitialize(DXView*, int32_t, int32_t) override { return 0; }
  void DXTerminate() override {}
  int32_t DXLoadVehicleForm(const char*, int32_t, float) override { return 0; }
  int32_t DXLoadTexture(const char*, float) override { return 1; }
  int32_t DXAddSurface(const DXSurface&, int32_t) override { return 1; }
  int32_t DXRemoveSurface(int32_t) override { return 0; }
  int32_t DXGetNumOfVertexBufs() override { return DX_SURFACE_CAPACITY; }
  int32_t DXDraw(float, uint32_t, const TVehicleState&, const TVehicleState* const*) override {
    return 0;
  }
};

}  // namespace velmora::vehicle
