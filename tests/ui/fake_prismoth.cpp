// A stand-in for the renderer library with the same eight exports, for tests
// of the program that need no real drawing. Each frame is the clear colour
// above a grey ground, handed to the view's Present. The environment steers
// it: VELMORA_FAKE_VERTEX_BUFS is the vertex-buffer count it reports
// (default 20000), VELMORA_FAKE_INIT_RESULT what DXInitialize returns.
#include <cstdlib>
#include <vector>

#include "renderer/prismoth.h"

namespace {

DXView* gView = nullptr;
int32_t gNextSurface = 1;
int32_t gNextTexture = 1;

int32_t EnvInteger(const char* name, int32_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? static_cast<int32_t>(std::atoi(value)) : fallback;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t DXInitialize(void* view, int32_t, int32_t) {
  gView = static_cast<DXView*>(view);
  return EnvInteger("VELMORA_FAKE_INIT_RESULT", 0);
}

__attribute__((visibility("default"))) void DXTerminate(void) { gView = nullptr; }

__attribute__((visibility("default"))) int32_t DXLoadVehicleForm(const char*, int32_t, float) {
  return 0;
}

__attribute__((visibility("default"))) int32_t DXLoadTexture(const char*, float) {
  return gNextTexture <= DX_TEXTURE_CAPACITY ? gNextTexture++ : 0;
}

__attribute__((visibility("default"))) int32_t DXAddSurface(const DXSurface*, int32_t) {
  return gNextSurface <= DX_SURFACE_CAPACITY ? gNextSurface++ : 0;
}

__attribute__((visibility("default"))) int32_t DXRemoveSurface(int32_t) { return 0; }

__attribute__((visibility("default"))) int32_t DXGetNumOfVertexBufs(void) {
  return EnvInteger("VELMORA_FAKE_VERTEX_BUFS", DX_SURFACE_CAPACITY);
}

__attribute__((visibility("default"))) int32_t DXDraw(float, uint32_t clearColour, const void*,
                                                      const void* const*) {
  if (gView == nullptr || gView->Present == nullptr) return DX_ERROR_NOT_READY;
  const int32_t w = gView->Width, h = gView->Height;
  std::vector<uint8_t> frame(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 4);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = &frame[(static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)) * 4];
      const bool sky = y < h / 2;
      p[0] = sky ? static_cast<uint8_t>(clearColour >> 16) : 0x80;
      p[1] = sky ? static_cast<uint8_t>(clearColour >> 8) : 0x80;
      p[2] = sky ? static_cast<uint8_t>(clearColour) : 0x80;
      p[3] = 0xFF;
    }
  }
  gView->Present(gView->Context, frame.data(), w, h, w * 4);
  return DX_OK;
}

}  // extern "C"
