// The renderer as the core sees it: the library's eight operations behind an
// interface, so the core runs against the real library (bound by name at
// start-up) or against a fake in tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "renderer/prismoth.h"
#include "vehicle/vehicle_state.h"

namespace velmora::vehicle {



// The renderer reads the leading fields of a vehicle record through its own
// C declaration; the two must stay in step.
static_assert(offsetof(TVehicleState, Kind) == offsetof(DXVehicleRecord, Kind));
static_assert(offsetof(TVehicleState, FormNo) == offsetof(DXVehicleRecord, FormNo));
static_assert(offsetof(TVehicleState, X) == offsetof(DXVehicleRecord, X));
static_assert(offsetof(TVehicleState, Y) == offsetof(DXVehicleRecord, Y));
static_assert(offsetof(TVehicleState, Z) == offsetof(DXVehicleRecord, Z));
static_assert(offsetof(TVehicleState, Heading) == offsetof(DXVehicleRecord, Heading));
static_assert(offsetof(TVehicleState, Pitch) == offsetof(DXVehicleRecord, Pitch));
static_assert(offsetof(TVehicleState, Bank) == offsetof(DXVehicleRecord, Bank));

class RendererApi {
 public:
  virtual ~RendererApi() = default;

  virtual int32_t DXInitialize(DXView* view, int32_t width, int32_t height) = 0;
  virtual void DXTerminate() = 0;
  // stem: shape file name without its ending; switchDistance in metres.
  virtual int32_t DXLoadVehicleForm(const char* stem, int32_t formId, float switchDistance) = 0;
  // scale: metres of surface per texture repeat. Returns the id, 0 on failure.
  virtual int32_t DXLoadTexture(const char* fileName, float scale) = 0;
  virtual int32_t DXAddSurface(const DXSurface& surface, int32_t vertexCount) = 0;
  virtual int32_t DXRemoveSurface(int32_t surfaceId) = 0;
  virtual int32_t DXGetNumOfVertexBufs() = 0;
  // fieldOfView: vertical, degrees. vehicles: ended by a null pointer.
  virtual int32_t DXDraw(float fieldOfView, uint32_t clearColour, const TVehicleState& camera,
                         const TVehicleState* const* vehicles) = 0;
};

// Passes every call on to another renderer; a wrapper overrides the calls it
// watches or times.
class ForwardingRenderer : public RendererApi {
 public:
  explicit ForwardingRenderer(RendererApi& inner) : inner_(inner) {}

  int32_t DXInitialize(DXView* view, int32_t width, int32_t height) override {
    return inner_.DXInitialize(view, width, height);
  }
  void DXTerminate() override { inner_.DXTerminate(); }
  int32_t DXLoadVehicleForm(const char* stem, int32_t formId, float switchDistance) override {
    return inner_.DXLoadVehicleForm(stem, formId, switchDistance);
  }
  int32_t DXLoadTexture(const char* fileName, float scale) override {
    return inner_.DXLoadTexture(fileName, scale);
  }
  int32_t DXAddSurface(const DXSurface& surface, int32_t vertexCount) override {
    return inner_.DXAddSurface(surface, vertexCount);
  }
  int32_t DXRemoveSurface(int32_t surfaceId) override { return inner_.DXRemoveSurface(surfaceId); }
  int32_t DXGetNumOfVertexBufs() override { return inner_.DXGetNumOfVertexBufs(); }
  int32_t DXDraw(float fieldOfView, uint32_t clearColour, const TVehicleState& camera,
                 const TVehicleState* const* vehicles) override {
    return inner_.DXDraw(fieldOfView, clearColour, camera, vehicles);
  }

 protected:
  RendererApi& inner_;
};

// The exports of the library, as bound by name.
struct TRendererTable {
  DXInitializeFn Initialize = nullptr;
  DXTerminateFn Terminate = nullptr;
  DXLoadVehicleFormFn LoadVehicleForm = nullptr;
  DXLoadTextureFn LoadTexture = nullptr;
  DXAddSurfaceFn AddSurface = nullptr;
  DXRemoveSurfaceFn RemoveSurface = nullptr;
  DXGetNumOfVertexBufsFn GetNumOfVertexBufs = nullptr;
  DXDrawFn Draw = nullptr;
};

// RendererApi over a table of bound exports; every entry must be set.
class TableRenderer final : public RendererApi {
 public:
  explicit TableRenderer(const TRendererTable& table) : table_(table) {}

  int32_t DXInitialize(DXView* view, int32_t width, int32_t height) override {
    return table_.Initialize(view, width, height);
  }
  void DXTerminate() override { table_.Terminate(); }
  int32_t DXLoadVehicleForm(const char* stem, int32_t formId, float switchDistance) override {
    return table_.LoadVehicleForm(stem, formId, switchDistance);
  }
  int32_t DXLoadTexture(const char* fileName, float scale) override {
    return table_.LoadTexture(fileName, scale);
  }
  int32_t DXAddSurface(const DXSurface& surface, int32_t vertexCount) override {
    return table_.AddSurface(&surface, vertexCount);
  }
  int32_t DXRemoveSurface(int32_t surfaceId) override { return table_.RemoveSurface(surfaceId); }
  int32_t DXGetNumOfVertexBufs() override { return table_.GetNumOfVertexBufs(); }
  int32_t DXDraw(float fieldOfView, uint32_t clearColour, const TVehicleState& camera,
                 const TVehicleState* const* vehicles) override {
    return table_.Draw(fieldOfView, clearColour, &camera,
                       reinterpret_cast<const void* const*>(vehicles));
  }

 private:
  TRendererTable table_;
};

}  // namespace velmora::vehicle
