// The whole renderer behind the eight exports: the context, the frame target,
// the surface store, the texture table and the vehicle forms, and the frame.
#pragma once

#include <array>
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

// How the vehicles are drawn: those of one mesh together, one instanced call
// per material; or, as the reference for tests and the benchmark, one
// vehicle after another with its matrices set before its calls.
enum class TVehicleDrawing { Instanced, PerVehicle };

// Which frame a draw hands to the view: the one it drew, waiting for the
// device to finish it; or the one before, so the program goes on while the
// device works (a frame of latency, where a GPU gains its drawing time).
enum class TReadBack { Waiting, OneFrameBehind };

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
  void SetSurfaceDrawing(TSurfaceDrawing drawing) {
    surfaceDrawing_ = drawing;
    SceneChanged();
  }
  void SetVehicleDrawing(TVehicleDrawing drawing) {
    vehicleDrawing_ = drawing;
    SceneChanged();
  }
  // Whether the whole-store drawing leaves out the surfaces that lie wholly
  // outside the view (on unless a test or the benchmark turns it off).
  void SetCulling(bool culling) {
    culling_ = culling;
    SceneChanged();
  }
  void SetReadBack(TReadBack readBack) { readBack_ = readBack; }
  // Frames drawn since the start; a frame that repeats the last one's inputs
  // (the surfaces in the store, textures, forms, camera, vehicles, field of
  // view, clear colour) is handed over again without drawing and not counted.
  int64_t FramesDrawn() const { return framesDrawn_; }
  // The surfaces handed to the device in the last frame.
  int32_t DrawnSurfaces() const { return drawnSurfaces_; }
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
  // A drawn vehicle's matrices, as the instanced program reads them.
  struct TVehicleInstance {
    std::array<float, 16> WorldViewProjection;
    std::array<float, 16> World;
  };
  struct TInstanceRun {
    const TMesh* Mesh;
    size_t FirstInstance;  // in instances_
    size_t Count;
  };
  struct TVehiclePick {
    int32_t Key;  // groups the vehicles of one mesh: form id, fine or rough
    const TMesh* Mesh;
    const DXVehicleRecord* Vehicle;
  };

  bool ready_ = false;
  TGlContext context_;
  TFrameTarget target_;
  const DXView* view_ = nullptr;  // the caller's, read before each frame
  bool fixedSize_ = false;        // the frame's size was given at initialisation
  int32_t frameWidth_ = 0;
  int32_t frameHeight_ = 0;
  TDepthConvention depth_ = TDepthConvention::Reversed;
  TSurfaceDrawing surfaceDrawing_ = TSurfaceDrawing::WholeStore;
  TSurfaceProgram surfaceProgram_;
  TSurfaceProgram singleSurfaceProgram_;
  int32_t singleSurfaceTextured_ = -1;
  TVehicleProgram vehicleProgram_;
  TVehicleProgram instancedProgram_;
  TVehicleDrawing vehicleDrawing_ = TVehicleDrawing::Instanced;
  TSurfaceStore store_;
  TTextureTable textures_;
  TVehicleForms forms_;
  uint32_t surfaceArray_ = 0;
  uint32_t surfaceVertices_ = 0;
  uint32_t surfaceStates_ = 0;
  uint32_t surfaceCorners_ = 0;
  size_t vertexCapacity_ = 0;  // vertices the device buffers hold
  size_t cornerCapacity_ = 0;  // corners the device index buffer holds
  uint32_t instanceBuffer_ = 0;
  uint32_t visibleCorners_ = 0;  // the corners of the surfaces in view, this frame
  size_t instanceCapacity_ = 0;  // bytes the instance and corner buffers hold
  size_t visibleCapacity_ = 0;
  bool culling_ = true;
  TReadBack readBack_ = TReadBack::Waiting;
  int32_t drawnSurfaces_ = 0;
  std::vector<uint32_t> visible_;
  // The inputs of the last frame drawn, and whether its pixels are held.
  bool lastFrameValid_ = false;
  float lastFieldOfView_ = 0;
  uint32_t lastClearColour_ = 0;
  DXVehicleRecord lastCamera_{};
  bool lastHadNoList_ = false;
  std::vector<DXVehicleRecord> lastVehicles_;
  int64_t framesDrawn_ = 0;
  // The slots changed since the last frame drawn, as they were then: a
  // surface removed and added back the same leaves the frame as it was.
  struct TSlotBefore {
    int32_t Id;
    bool InUse;
    uint32_t State;      // the vertices' drawing state
    size_t FirstVertex;  // in verticesBefore_
  };
  static constexpr size_t kSlotsRemembered = 4096;
  std::vector<TSlotBefore> slotsBefore_;
  std::vector<TSurfaceVertex> verticesBefore_;
  std::vector<uint8_t> slotTouched_ = std::vector<uint8_t>(kSurfaceCapacity, 0);
  std::vector<TVehiclePick> picks_;        // kept between frames: a frame allocates nothing
  std::vector<TVehicleInstance> instances_;
  std::vector<TInstanceRun> runs_;
  size_t instanceAlignment_ = 1;  // a block starts at a multiple of this many instances

  bool BuildPrograms();
  void CreateSurfaceBuffers();
  void ReleaseDevice();
  void UploadSlot(int32_t surfaceId, bool created);
  void DrawSurfaces(const TMatrix& viewProjection);
  void DrawStore(const TMatrix& viewProjection);
  void DrawSurfacesWithStates(const TMatrix& viewProjection);
  // Fills visible_ with the corners of the surfaces in use that may show.
  void CollectVisibleCorners(const TMatrix& viewProjection);
  void DrawVehicles(const TMatrix& viewProjection, float fieldOfView,
                    const DXVehicleRecord& camera, const DXVehicleRecord* const* vehicles);
  void DrawVehiclesInstanced(const TMatrix& viewProjection, float fieldOfView,
                             const DXVehicleRecord& camera, const DXVehicleRecord* const* vehicles);
  // The mesh's material subsets: instanced calls for that many instances, or
  // plain calls when instances is 0.
  void DrawMaterials(const TVehicleProgram& program, const TMesh& mesh, int32_t instances);
  void ApplyStates();
  void SceneChanged() { lastFrameValid_ = false; }
  void RememberSlot(int32_t surfaceId);
  bool StoreAsLastDrawn() const;
  void ForgetSlots();
  // Makes the frame target anew when the view's size has changed since the
  // last frame; DX_OK, DX_ERROR_VIEW for a size out of bounds, or
  // DX_ERROR_FRAME_TARGET.
  int32_t FollowViewSize();
  bool SameAsLastFrame(float fieldOfView, uint32_t clearColour, const DXVehicleRecord& camera,
                       const DXVehicleRecord* const* vehicles) const;
  void KeepFrameInputs(float fieldOfView, uint32_t clearColour, const DXVehicleRecord& camera,
                       const DXVehicleRecord* const* vehicles);
};

}  // namespace velmora::renderer
