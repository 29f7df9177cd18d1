// A renderer that records every call and answers with preset results, for
// tests of the core that do not need pixels.
#pragma once

#include <string>
#include <vector>

#include "renderer/renderer_api.h"

namespace velmora::testing {

class FakeRenderer : public renderer::RendererApi {
 public:
  struct FormCall {
    std::string Stem;
    int32_t FormId;
    float SwitchDistance;
  };

  std::vector<FormCall> FormCalls;
  int32_t FormResult = 0;       // returned by DXLoadVehicleForm
  int FailFormCallNumber = 0;   // 1-based call that returns FormResult; 0 = every call

  int32_t DXInitialize(DXView*, int32_t, int32_t) override { return 0; }
  void DXTerminate() override {}
  int32_t DXLoadVehicleForm(const char* stem, int32_t formId, float switchDistance) override {
    FormCalls.push_back({stem, formId, switchDistance});
    if (FailFormCallNumber == 0 || static_cast<int>(FormCalls.size()) == FailFormCallNumber) {
      return FormResult;
    }
    return 0;
  }
  int32_t DXLoadTexture(const char*, float) override { return 0; }
  int32_t DXAddSurface(const DXSurface&, int32_t) override { return 0; }
  int32_t DXRemoveSurface(int32_t) override { return 0; }
  int32_t DXGetNumOfVertexBufs() override { return DX_SURFACE_CAPACITY; }
  int32_t DXDraw(float, uint32_t, const renderer::TVehicleState&,
                 const renderer::TVehicleState* const*) override {
    return 0;
  }
};

}  // namespace velmora::testing
