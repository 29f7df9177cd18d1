// The store of static surfaces: 20000 slots of triangle strips, created in
// order and never destroyed, reused last-freed-first per kind and vertex
// count. The store keeps the vertices of every slot in one array, each slot
// at a fixed place, so that a frame draws the whole store in one call.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "renderer/prismoth.h"

namespace velmora::renderer {

constexpr int32_t kSurfaceCapacity = DX_SURFACE_CAPACITY;
constexpr int32_t kMinSurfaceVertices = 2;
constexpr int32_t kMaxSurfaceVertices = DX_MAX_SURFACE_VERTICES;
constexpr int32_t kSizeClasses = kMaxSurfaceVertices - kMinSurfaceVertices + 1;
constexpr int32_t kSlotInUse = INT32_MIN;             // link of a slot in use
constexpr float kGroundDepthBias = 1.0f / 65536.0f;   // 2^-16 of the depth range

// One vertex as the store keeps it for drawing.
struct TSurfaceVertex {
  float X;  // m, east
  float Y;  // m, north
  float Z;  // m, down
  float U;  // texture repeats, across the surface
  float V;  // texture repeats, along the surface
  uint32_t Colour;  // bytes red, green, blue, alpha in memory order
};

// Per-vertex drawing state: whether the slot is in use, whether it carries
// the ground depth bias, and its texture (0 = untextured, else the id).
constexpr uint32_t kVertexVisible = 0x80000000u;
constexpr uint32_t kVertexBiased = 0x40000000u;
constexpr uint32_t kVertexTextureMask = 0xFFu;

struct TSurfaceSlot {
  int32_t Link = 0;            // kSlotInUse, or the next free id of the same list, 0 = end
  int32_t PrimitiveCount = 0;  // triangles of the strip, vertex count - 2; the size class
  int32_t TextureId = 0;       // 0 = untextured slot, else the texture of a textured slot
  float DepthBias = 0;         // kGroundDepthBias or 0
  int32_t FirstVertex = 0;     // index of the slot's first vertex in the store's arrays
  int32_t FirstIndex = 0;      // index of the slot's first triangle corner
  float Centre[3] = {};        // m, the centre of a sphere holding every vertex
  float Radius = 0;            // m, its radius
};

class TSurfaceStore {
 public:
  TSurfaceStore();

  // Empties the store: no slot created, every free list empty.
  void Reset();

  // Adds a surface of vertexCount vertices. textureScale is the scale of the
  // surface's texture (metres per repeat, 0 = one repeat across the width);
  // it is ignored for an untextured surface. Returns the id, 0 when the count
  // is outside 2..101 or no slot of that kind and size is free.
  int32_t Add(const DXSurface& surface, int32_t vertexCount, float textureScale);

  // Frees a surface: 0, DX_ERROR_SURFACE_ID or DX_ERROR_SURFACE_UNUSED.
  int32_t Remove(int32_t surfaceId);

  int32_t SlotCount() const { return slotCount_; }
  bool InUse(int32_t surfaceId) const;
  // The slot of an id in 1..SlotCount().
  const TSurfaceSlot& Slot(int32_t surfaceId) const { return slots_[surfaceId - 1]; }
  int32_t FreeHead(bool textured, int32_t vertexCount) const;
  int32_t Link(int32_t surfaceId) const { return slots_[surfaceId - 1].Link; }

  // Every created slot's vertices, their drawing states, and the slots'
  // strips as a list of triangles (three vertex indices each), in slot order.
  std::span<const TSurfaceVertex> Vertices() const { return vertices_; }
  std::span<const uint32_t> VertexStates() const { return states_; }
  std::span<const uint32_t> TriangleCorners() const { return corners_; }

 private:
  std::vector<TSurfaceSlot> slots_;
  int32_t slotCount_ = 0;
  std::array<int32_t, kSizeClasses> untexturedHeads_{};
  std::array<int32_t, kSizeClasses> texturedHeads_{};
  std::vector<TSurfaceVertex> vertices_;
  std::vector<uint32_t> states_;
  std::vector<uint32_t> corners_;

  int32_t& Head(bool textured, int32_t sizeClass);
  int32_t CreateSlot(int32_t vertexCount, int32_t textureId);
  void WriteSurface(TSurfaceSlot& slot, const DXSurface& surface, int32_t vertexCount,
                    float textureScale);
  static void Bound(TSurfaceSlot& slot, const DXSurface& surface, int32_t vertexCount);
};

// The opaque vertex colour of a surface colour (red in the low byte) as bytes
// red, green, blue, alpha in memory order.
uint32_t SurfaceVertexColour(uint32_t colour);

}  // namespace velmora::renderer
