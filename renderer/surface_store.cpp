#include "renderer/surface_store.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace velmora::renderer {
namespace {

static_assert(std::endian::native == std::endian::little,
              "vertex colours are written as little-endian words");

double Distance(const float (&a)[3], const float (&b)[3]) {
  const double dx = double(a[0]) - b[0];
  const double dy = double(a[1]) - b[1];
  const double dz = double(a[2]) - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

uint32_t SurfaceVertexColour(uint32_t colour) { return (colour & 0x00FFFFFFu) | 0xFF000000u; }

TSurfaceStore::TSurfaceStore() { slots_.resize(kSurfaceCapacity); }

void TSurfaceStore::Reset() {
  std::fill(slots_.begin(), slots_.end(), TSurfaceSlot{});
  slotCount_ = 0;
  untexturedHeads_.fill(0);
  texturedHeads_.fill(0);
  vertices_.clear();
  states_.clear();
  corners_.clear();
}

int32_t& TSurfaceStore::Head(bool textured, int32_t sizeClass) {
  return textured ? texturedHeads_[sizeClass] : untexturedHeads_[sizeClass];
}

int32_t TSurfaceStore::FreeHead(bool textured, int32_t vertexCount) const {
  if (vertexCount < kMinSurfaceVertices || vertexCount > kMaxSurfaceVertices) return 0;
  const int32_t sizeClass = vertexCount - kMinSurfaceVertices;
  return textured ? texturedHeads_[sizeClass] : untexturedHeads_[sizeClass];
}

bool TSurfaceStore::InUse(int32_t surfaceId) const {
  return surfaceId >= 1 && surfaceId <= slotCount_ && slots_[surfaceId - 1].Link == kSlotInUse;
}

int32_t TSurfaceStore::CreateSlot(int32_t vertexCount, int32_t textureId) {
  TSurfaceSlot& slot = slots_[slotCount_];
  slot = TSurfaceSlot{};
  slot.PrimitiveCount = vertexCount - 2;
  slot.TextureId = textureId;
  slot.FirstVertex = static_cast<int32_t>(vertices_.size());
  slot.FirstIndex = static_cast<int32_t>(corners_.size());
  vertices_.resize(vertices_.size() + vertexCount);
  states_.resize(states_.size() + vertexCount, 0);
  // The strip as separate triangles; with no culling their winding is moot.
  for (int32_t i = 0; i < slot.PrimitiveCount; ++i) {
    for (int32_t corner = 0; corner < 3; ++corner) {
      corners_.push_back(static_cast<uint32_t>(slot.FirstVertex + i + corner));
    }
  }
  ++slotCount_;
  return slotCount_;
}

int32_t TSurfaceStore::Add(const DXSurface& surface, int32_t vertexCount, float textureScale) {
  if (vertexCount < kMinSurfaceVertices || vertexCount > kMaxSurfaceVertices) return 0;
  const int32_t sizeClass = vertexCount - kMinSurfaceVertices;
  const bool textured = surface.TextureId != 0;

  int32_t& head = Head(textured, sizeClass);
  int32_t id = head;
  if (id != 0) {
    head = slots_[id - 1].Link;
  } else {
    if (slotCount_ == kSurfaceCapacity) return 0;
    id = CreateSlot(vertexCount, surface.TextureId);
  }

  TSurfaceSlot& slot = slots_[id - 1];
  slot.Link = kSlotInUse;
  WriteSurface(slot, surface, vertexCount, textureScale);
  if (textured) slot.TextureId = surface.TextureId;
  const float firstZ = surface.Vertices[0][2];
  const float lastZ = surface.Vertices[vertexCount - 1][2];
  slot.DepthBias = (firstZ >= 0 && lastZ >= 0) ? kGroundDepthBias : 0.0f;

  uint32_t state = kVertexVisible | (textured ? uint32_t(slot.TextureId) & kVertexTextureMask : 0);
  if (slot.DepthBias != 0) state |= kVertexBiased;
  std::fill_n(states_.begin() + slot.FirstVertex, vertexCount, state);
  return id;
}

void TSurfaceStore::WriteSurface(TSurfaceSlot& slot, const DXSurface& surface,
                                 int32_t vertexCount, float textureScale) {
  const uint32_t colour = SurfaceVertexColour(surface.Colour);
  TSurfaceVertex* out = vertices_.data() + slot.FirstVertex;
  for (int32_t i = 0; i < vertexCount; ++i) {
    out[i] = TSurfaceVertex{surface.Vertices[i][0], surface.Vertices[i][1],
                            surface.Vertices[i][2], 0.0f, 0.0f, colour};
  }
  Bound(slot, surface, vertexCount);
  if (surface.TextureId == 0) return;

  // The texture is centred on the quadrilateral of the first four vertices:
  // u runs from P0 towards P1, v from P0 towards P[n-2]. W and L are half the
  // mean width and half the mean length in repeats; scale 0 stretches one
  // repeat across the width and keeps the texture's aspect along the length.
  const auto& p = surface.Vertices;
  const int32_t n = vertexCount;
  double halfWidth = (Distance(p[1], p[0]) + Distance(p[n - 1], p[n - 2])) / 4;
  double halfLength = (Distance(p[n - 2], p[0]) + Distance(p[n - 1], p[1])) / 4;
  if (textureScale == 0) {
    halfLength = halfWidth > 0 ? halfLength / (2 * halfWidth) : 0.0;
    halfWidth = 0.5;
  } else {
    halfWidth /= textureScale;
    halfLength /= textureScale;
  }
  const float corners[4][2] = {{float(0.5 - halfWidth), float(0.5 - halfLength)},
                               {float(0.5 + halfWidth), float(0.5 - halfLength)},
                               {float(0.5 - halfWidth), float(0.5 + halfLength)},
                               {float(0.5 + halfWidth), float(0.5 + halfLength)}};
  for (int32_t i = 0; i < n && i < 4; ++i) {
    out[i].U = corners[i][0];
    out[i].V = corners[i][1];
  }
}

// The sphere around the middle of the vertices' box, the radius rounded up so
// that it holds every vertex whatever the rounding of the centre.
void TSurfaceStore::Bound(TSurfaceSlot& slot, const DXSurface& surface, int32_t vertexCount) {
  for (int axis = 0; axis < 3; ++axis) {
    float low = surface.Vertices[0][axis];
    float high = low;
    for (int32_t i = 1; i < vertexCount; ++i) {
      low = std::min(low, surface.Vertices[i][axis]);
      high = std::max(high, surface.Vertices[i][axis]);
    }
    slot.Centre[axis] = float((double(low) + double(high)) / 2);
  }
  double radius = 0;
  for (int32_t i = 0; i < vertexCount; ++i) {
    radius = std::max(radius, Distance(surface.Vertices[i], slot.Centre));
  }
  slot.Radius = float(radius * (1 + 1e-6));
}

int32_t TSurfaceStore::Remove(int32_t surfaceId) {
  if (surfaceId < 1 || surfaceId > kSurfaceCapacity) return DX_ERROR_SURFACE_ID;
  if (!InUse(surfaceId)) return DX_ERROR_SURFACE_UNUSED;
  TSurfaceSlot& slot = slots_[surfaceId - 1];
  int32_t& head = Head(slot.TextureId != 0, slot.PrimitiveCount);
  slot.Link = head;
  head = surfaceId;
  std::fill_n(states_.begin() + slot.FirstVertex, slot.PrimitiveCount + 2, 0u);
  return 0;
}

}  // namespace velmora::renderer
