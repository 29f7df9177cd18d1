#include "renderer/surface_store.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>

namespace velmora::renderer {
namespace {

constexpr float kCoordinateTol = 1e-6f;  // texture repeats: single-precision rounding

DXSurface Surface(int32_t textureId, std::initializer_list<std::array<float, 3>> vertices) {
  DXSurface surface{};
  surface.Colour = 0xAB563412;  // red 0x12, green 0x34, blue 0x56; the top byte is ignored
  surface.TextureId = textureId;
  int i = 0;
  for (const auto& v : vertices) {
    surface.Vertices[i][0] = v[0];
    surface.Vertices[i][1] = v[1];
    surface.Vertices[i][2] = v[2];
    ++i;
  }
  return surface;
}

// A 10 m wide, 40 m long level quad: P0, P1 across, P2, P3 40 m on.
DXSurface Runway(int32_t textureId, float z0 = 0, float z3 = 0) {
  return Surface(textureId, {{0, 0, z0}, {10, 0, 0}, {0, 40, 0}, {10, 40, z3}});
}

TEST(SurfaceStore, TextureCoordinatesCentreTheTextureOnTheQuad) {
  struct Case {
    const char* name;
    float scale;  // m per repeat
    float u0, u1, v0, v1;
  } cases[] = {
      // One repeat across the 10 m width; the 40 m length keeps the aspect.
      {"scale 0", 0, 0.0f, 1.0f, -1.5f, 2.5f},
      // One repeat per 10 m: 1 across, 4 along, centred on 0.5.
      {"scale 10", 10, 0.0f, 1.0f, -1.5f, 2.5f},
      {"scale 5", 5, -0.5f, 1.5f, -3.5f, 4.5f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TSurfaceStore store;
    const int32_t id = store.Add(Runway(1), 4, c.scale);
    ASSERT_EQ(id, 1);
    const auto v = store.Vertices();
    const float expected[4][2] = {{c.u0, c.v0}, {c.u1, c.v0}, {c.u0, c.v1}, {c.u1, c.v1}};
    for (int i = 0; i < 4; ++i) {
      EXPECT_NEAR(v[i].U, expected[i][0], kCoordinateTol) << i;
      EXPECT_NEAR(v[i].V, expected[i][1], kCoordinateTol) << i;
    }
  }
}

TEST(SurfaceStore, OnlyTheFirstFourVerticesOfATexturedSurfaceGetCoordinates) {
  TSurfaceStore store;
  const DXSurface taxiway = Surface(
      2, {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}, {10, 10, 0}, {0, 20, 0}, {10, 20, 0}, {0, 30, 0},
          {10, 30, 0}});
  ASSERT_EQ(store.Add(taxiway, 8, 0), 1);
  const auto v = store.Vertices();
  ASSERT_EQ(v.size(), 8u);
  // W = (10 + 10) / 4; L = (|P6 - P0| + |P7 - P1|) / 4 = 15, over 2W: 1.5.
  EXPECT_NEAR(v[3].U, 1.0f, kCoordinateTol);
  EXPECT_NEAR(v[3].V, 2.0f, kCoordinateTol);
  for (int i = 4; i < 8; ++i) {
    EXPECT_EQ(v[i].U, 0.0f) << i;
    EXPECT_EQ(v[i].V, 0.0f) << i;
  }
  // An untextured surface carries none.
  ASSERT_EQ(store.Add(Runway(0), 4, 0), 2);
  EXPECT_EQ(store.Vertices()[8].U, 0.0f);
  EXPECT_EQ(store.Vertices()[9].U, 0.0f);
}

TEST(SurfaceStore, ZeroWidthWithScaleZeroGivesNoInfiniteCoordinates) {
  TSurfaceStore store;
  ASSERT_EQ(store.Add(Surface(1, {{0, 0, 0}, {0, 0, 0}, {0, 5, 0}, {0, 5, 0}}), 4, 0), 1);
  for (const TSurfaceVertex& v : store.Vertices()) {
    EXPECT_TRUE(std::isfinite(v.U));
    EXPECT_TRUE(std::isfinite(v.V));
  }
}

TEST(SurfaceStore, DepthBiasWhenBothEndVerticesAreOnOrBelowTheGround) {
  struct Case {
    float firstZ, lastZ;  // m, down
    float bias;
  } cases[] = {{0, 0, kGroundDepthBias},     {0, -0.1f, 0},  {-0.1f, 0, 0},
               {0.5f, 2, kGroundDepthBias},  {-1, -1, 0},    {-0.0f, 0, kGroundDepthBias}};
  for (const Case& c : cases) {
    TSurfaceStore store;
    ASSERT_EQ(store.Add(Runway(0, c.firstZ, c.lastZ), 4, 0), 1);
    EXPECT_EQ(store.Slot(1).DepthBias, c.bias) << c.firstZ << " " << c.lastZ;
    const bool biased = (store.VertexStates()[0] & kVertexBiased) != 0;
    EXPECT_EQ(biased, c.bias != 0);
  }
  EXPECT_EQ(std::bit_cast<uint32_t>(kGroundDepthBias), 0x37800000u);
}

TEST(SurfaceStore, VerticesCarryTheOpaqueColourAndStatesTheKind) {
  TSurfaceStore store;
  ASSERT_EQ(store.Add(Runway(0), 4, 0), 1);
  ASSERT_EQ(store.Add(Runway(7), 4, 0), 2);
  const auto v = store.Vertices();
  uint8_t bytes[4];
  std::memcpy(bytes, &v[0].Colour, 4);
  EXPECT_EQ(bytes[0], 0x12);
  EXPECT_EQ(bytes[1], 0x34);
  EXPECT_EQ(bytes[2], 0x56);
  EXPECT_EQ(bytes[3], 0xFF);
  const auto states = store.VertexStates();
  EXPECT_EQ(states[0] & kVertexTextureMask, 0u);
  EXPECT_EQ(states[4] & kVertexTextureMask, 7u);
  EXPECT_NE(states[4] & kVertexVisible, 0u);
  EXPECT_EQ(store.Slot(1).TextureId, 0);
  EXPECT_EQ(store.Slot(2).TextureId, 7);
  // Removal hides the slot's vertices.
  ASSERT_EQ(store.Remove(2), 0);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(states[i], 0u);
}

TEST(SurfaceStore, SlotsKeepTheirPlaceAndStripsBecomeTriangles) {
  TSurfaceStore store;
  ASSERT_EQ(store.Add(Runway(0), 4, 0), 1);
  ASSERT_EQ(store.Add(Runway(0), 3, 0), 2);
  EXPECT_EQ(store.Slot(1).PrimitiveCount, 2);
  EXPECT_EQ(store.Slot(2).PrimitiveCount, 1);
  EXPECT_EQ(store.Slot(2).FirstVertex, 4);
  const std::vector<uint32_t> corners(store.TriangleCorners().begin(),
                                      store.TriangleCorners().end());
  EXPECT_EQ(corners, (std::vector<uint32_t>{0, 1, 2, 1, 2, 3, 4, 5, 6}));
  // A reused slot writes over its own place.
  ASSERT_EQ(store.Remove(1), 0);
  EXPECT_EQ(store.Link(1), 0);
  EXPECT_EQ(store.FreeHead(false, 4), 1);
  ASSERT_EQ(store.Add(Runway(0, 3, 3), 4, 0), 1);
  EXPECT_EQ(store.Vertices()[0].Z, 3.0f);
  EXPECT_EQ(store.Vertices().size(), 7u);
  EXPECT_EQ(store.Link(1), kSlotInUse);
}

TEST(SurfaceStore, FreeListsAreLinkedThroughTheSlots) {
  TSurfaceStore store;
  for (int i = 1; i <= 10; ++i) ASSERT_EQ(store.Add(Runway(i % 2), 4, 0), i);
  ASSERT_EQ(store.Remove(7), 0);  // textured
  ASSERT_EQ(store.Remove(9), 0);  // textured
  ASSERT_EQ(store.Remove(2), 0);  // untextured
  EXPECT_EQ(store.FreeHead(true, 4), 9);
  EXPECT_EQ(store.Link(9), 7);
  EXPECT_EQ(store.Link(7), 0);
  EXPECT_EQ(store.FreeHead(false, 4), 2);
  EXPECT_EQ(store.FreeHead(false, 5), 0);
  EXPECT_EQ(store.Add(Runway(1), 4, 0), 9);
  EXPECT_EQ(store.Add(Runway(3), 4, 0), 7);
  EXPECT_EQ(store.Slot(7).TextureId, 3);
  EXPECT_EQ(store.Add(Runway(1), 4, 0), 11);
}

}  // namespace
}  // namespace velmora::renderer
