// A renderer library that lacks DXDraw: the program must refuse it by name.
#include "renderer/prismoth.h"

extern "C" {
int32_t DXInitialize(void*, int32_t, int32_t) { return 0; }
void DXTerminate(void) {}
int32_t DXLoadVehicleForm(const char*, int32_t, float) { return 0; }
int32_t DXLoadTexture(const char*, float) { return 0; }
int32_t DXAddSurface(const DXSurface*, int32_t) { return 0; }
int32_t DXRemoveSurface(int32_t) { return 0; }
int32_t DXGetNumOfVertexBufs(void) { return DX_SURFACE_CAPACITY; }
}
