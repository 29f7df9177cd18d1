// A renderer that accepts every call and draws nothing, for benchmarks whose
// figures should be the core's alone. Textures and surfaces get id 1.
#pragma once

#include "vehicle/null_renderer.h"

namespace velmora::testing {

class NullRenderer : public vehicle::TNullRenderer {
 public:
  // Walks the vehicle list as a renderer would, so the list is really built.
  int32_t DXDraw(float, uint32_t, const vehicle::TVehicleState&,
                 const vehicle::TVehicleState* const* vehicles) override {
    int n = 0;
    while (vehicles && vehicles[n] != nullptr) ++n;
    return n > 1000 ? 1 : 0;
  }
};

}  // namespace velmora::testing
