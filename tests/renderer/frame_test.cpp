#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "tests/renderer/prismoth_library.h"
#include "tests/support/temp_file.h"

namespace velmora::testing {
namespace {

using vehicle::TableRenderer;
using vehicle::TVehicleState;

constexpr int32_t kFrameWidth = 64;   // pixels
constexpr int32_t kFrameHeight = 48;  // pixels
constexpr float kFieldOfView = 60;    // degrees, vertical
constexpr uint32_t kSky = 0xFF0000FFu;  // D3DCOLOR: opaque blue
constexpr int kColourTol = 3;  // 8-bit levels: rounding of blending and dithering

// Surface colours, red in the low byte.
constexpr uint32_t kRed = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGrey = 0x808080;

::testing::AssertionResult IsColour(const TPixel& p, int r, int g, int b) {
  if (std::abs(p.R - r) <= kColourTol && std::abs(p.G - g) <= kColourTol &&
      std::abs(p.B - b) <= kColourTol && p.A == 255) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "pixel (" << p.R << ", " << p.G << ", " << p.B << ", "
                                       << p.A << ") is not (" << r << ", " << g << ", " << b
                                       << ", 255)";
}

::testing::AssertionResult IsSurfaceColour(const TPixel& p, uint32_t colour) {
  return IsColour(p, int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

::testing::AssertionResult IsSky(const TPixel& p) { return IsColour(p, 0, 0, 255); }

class Frame : public ::testing::Test {
 protected:
  TCapturedView view_{kFrameWidth, kFrameHeight};
  TableRenderer renderer_{BindPrismoth()};

  TInTestFolder folder_;

  void SetUp() override { ASSERT_EQ(renderer_.DXInitialize(view_.View(), 0, 0), DX_OK); }
  void TearDown() override { renderer_.DXTerminate(); }

  void Add(const DXSurface& surface, int32_t vertexCount = 4) {
    ASSERT_NE(renderer_.DXAddSurface(surface, vertexCount), 0);
  }

  // Draws one frame and checks it reached the view.
  void Draw(const TVehicleState& camera, std::vector<const TVehicleState*> vehicles = {},
            float fieldOfView = kFieldOfView) {
    vehicles.push_back(nullptr);
    const int before = view_.Frames();
    ASSERT_EQ(renderer_.DXDraw(fieldOfView, kSky, camera, vehicles.data()), DX_OK);
    ASSERT_EQ(view_.Frames(), before + 1);
    ASSERT_EQ(view_.Width(), kFrameWidth);
    ASSERT_EQ(view_.Height(), kFrameHeight);
  }
};

TEST_F(Frame, RedQuadInFrontShowsRedAtTheCentreAndSkyAround) {
  Add(UprightQuad(kRed, -5, 5, 20, -7, 3));
  Draw(Camera(0, 0, -2, 0));
  EXPECT_TRUE(IsSurfaceColour(view_.Centre(), kRed));
  EXPECT_TRUE(IsSky(view_.At(0, 0)));
  EXPECT_TRUE(IsSky(view_.At(kFrameWidth - 1, kFrameHeight - 1)));
}


TEST_F(Frame, CameraAtHeading90SeesEastAndNotNorth) {
  // A marker 20 m east (a wall across the x axis) and one 20 m north.
  Add(Quad(kGreen, 0, {{20, -3, 1}, {20, 3, 1}, {20, -3, -5}, {20, 3, -5}}));
  Add(UprightQuad(kRed, -3, 3, 20, -5, 1));
  Draw(Camera(0, 0, -2, 90));
  EXPECT_TRUE(IsSurfaceColour(view_.Centre(), kGreen));
  for (int y = 0; y < kFrameHeight; ++y) {
    for (int x = 0; x < kFrameWidth; ++x) {
      ASSERT_FALSE(IsSurfaceColour(view_.At(x, y), kRed)) << "north marker at " << x << ", " << y;
    }
  }
  // North lies on the camera's left: turning to heading 45 brings the north
  // marker into the left half.
  Draw(Camera(0, 0, -2, 45));
  bool redOnLeft = false;
  for (int x = 0; x < kFrameWidth / 2; ++x) redOnLeft |= IsSurfaceColour(view_.At(x, kFrameHeight / 2), kRed);
  EXPECT_TRUE(redOnLeft);
}

// The first row from the top that shows ground in a column.
int HorizonRow(const TCapturedView& view, int x) {
  for (int y = 0; y < view.Height(); ++y) {
    if (!IsSky(view.At(x, y))) return y;
  }
  return view.Height();
}

TEST_F(Frame, Roll30TiltsTheHorizon) {
  Add(LevelQuad(kGrey, -1000, 1000, -1000, 1000, 0));
  constexpr double kRowTol = 1.5;  // pixels: the horizon row is found to whole pixels
  // Level: the horizon lies flat across the middle (the camera 2 m up sees
  // the ground's far edge 1 km away practically at the horizon).
  Draw(Camera(0, 0, -2, 0));
  const int left = HorizonRow(view_, kFrameWidth / 4);
  const int right = HorizonRow(view_, 3 * kFrameWidth / 4);
  EXPECT_NEAR(left, kFrameHeight / 2, kRowTol);
  EXPECT_EQ(left, right);
  // Right wing down: the horizon rises to the right by tan 30 per pixel across.
  Draw(Camera(0, 0, -2, 0, 0, 30));
  const int tiltedLeft = HorizonRow(view_, kFrameWidth / 4);
  const int tiltedRight = HorizonRow(view_, 3 * kFrameWidth / 4);
  const double expectedRise = (kFrameWidth / 2) * std::tan(30 * M_PI / 180);
  EXPECT_NEAR(tiltedLeft - tiltedRight, expectedRise, 2 * kRowTol);
  EXPECT_TRUE(IsSurfaceColour(view_.At(kFrameWidth - 1, kFrameHeight / 2 - 4), kGrey));
  EXPECT_TRUE(IsSky(view_.At(0, kFrameHeight / 2 - 4)));
}

TEST_F(Frame, TexturedQuadMapsOneRepeatAcrossItsWidth) {
  // Left half red, right half green, 4 x 1 pixels.
  WriteTga("halves.tga", 4, 1, {0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0xFF00FF00});
  const int32_t texture = renderer_.DXLoadTexture("halves.tga", 0);
  ASSERT_EQ(texture, 1);
  // An upright 10 m wide quad facing the camera, P0 at the left.
  Add(Quad(kWhite, texture, {{-5, 20, 3}, {5, 20, 3}, {-5, 20, -7}, {5, 20, -7}}));
  Draw(Camera(0, 0, -2, 0));
  // A quarter of the width in from each edge, on the centre row.
  const int quarter = int(std::lround(5.0 / (20 * std::tan(30 * M_PI / 180)) * kFrameHeight / 4));
  EXPECT_TRUE(IsSurfaceColour(view_.At(kFrameWidth / 2 - quarter, kFrameHeight / 2), kRed));
  EXPECT_TRUE(IsSurfaceColour(view_.At(kFrameWidth / 2 + quarter, kFrameHeight / 2), kGreen));
}

TEST_F(Frame, TexturesAreMirroredOnAlternateRepeats) {
  WriteTga("halves.tga", 4, 1, {0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0xFF00FF00});
  // Scale 5 on a 10 m wide quad: u runs from -0.5 to 1.5. Mirrored, the
  // outer quarters repeat their neighbours: red, red, green, green.
  const int32_t texture = renderer_.DXLoadTexture("halves.tga", 5);
  ASSERT_EQ(texture, 1);
  Add(Quad(kWhite, texture, {{-5, 20, 3}, {5, 20, 3}, {-5, 20, -7}, {5, 20, -7}}));
  Draw(Camera(0, 0, -2, 0));
  const double halfWidth = 5.0 / (20 * std::tan(30 * M_PI / 180)) * kFrameHeight / 2;  // pixels
  const uint32_t expected[4] = {kRed, kRed, kGreen, kGreen};
  for (int quarter = 0; quarter < 4; ++quarter) {
    const int x = int(kFrameWidth / 2 - halfWidth + (quarter + 0.5) * halfWidth / 2);
    EXPECT_TRUE(IsSurfaceColour(view_.At(x, kFrameHeight / 2), expected[quarter])) << quarter;
  }
}

TEST_F(Frame, EmptyVehicleArrayDrawsSurfacesOnly) {
  Add(UprightQuad(kRed, -5, 5, 20, -7, 3));
  Draw(Camera(0, 0, -2, 0), {});
  EXPECT_TRUE(IsSurfaceColour(view_.Centre(), kRed));
}

TEST_F(Frame, PaintOneCentimetreAboveARunwayShowsAt500Metres) {
  // A runway on the ground (biased) and a raised deck (not biased), each
  // with paint 1 cm above it, seen 500 m ahead from 10 m above each.
  struct Case {
    const char* name;
    float surfaceZ;  // m, down
  } cases[] = {{"runway on the ground", 0.0f}, {"raised deck", -5.0f}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    renderer_.DXTerminate();
    ASSERT_EQ(renderer_.DXInitialize(view_.View(), 0, 0), DX_OK);
    Add(LevelQuad(kGrey, -25, 25, 0, 1000, c.surfaceZ));
    Add(LevelQuad(kWhite, -10, 10, 450, 550, c.surfaceZ - 0.01f));
    // Zoomed in to 10 degrees so the paint spans several rows.
    const float pitch = float(-std::atan(30.0 / 500.0) * 180 / M_PI);
    Draw(Camera(0, 0, c.surfaceZ - 30.0, 0, pitch), {}, 10);
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -3; dx <= 3; ++dx) {
        EXPECT_TRUE(IsSurfaceColour(view_.At(kFrameWidth / 2 + dx, kFrameHeight / 2 + dy), kWhite))
            << dx << ", " << dy;
      }
    }
  }
}

TEST_F(Frame, LaterSlotsDrawOverEarlierOnesAtTheSameDepth) {
  Add(UprightQuad(kRed, -5, 5, 20, -7, 3));
  Add(UprightQuad(kGreen, -5, 5, 20, -7, 3));
  Draw(Camera(0, 0, -2, 0));
  EXPECT_TRUE(IsSurfaceColour(view_.Centre(), kGreen));
  // Removing the later one uncovers the earlier one.
  ASSERT_EQ(renderer_.DXRemoveSurface(2), DX_OK);
  Draw(Camera(0, 0, -2, 0));
  EXPECT_TRUE(IsSurfaceColour(view_.Centre(), kRed));
}


// Vehicles: boxes written as .x files; fine meshes red, rough meshes green.
class VehicleFrame : public Frame {
 protected:
  // Writes stem.x (and stem_rough.x unless fineOnly) as boxes of the given
  // half width spanning bottom..top in model y (up).
  void WriteForm(const std::string& stem, float halfWidth, float bottom, float top,
                 bool fineOnly = false) {
    WriteTestFileHere(stem + ".x", BoxMesh(halfWidth, bottom, top, {1, 0, 0, ""}));
    if (!fineOnly) {
      WriteTestFileHere(stem + "_rough.x", BoxMesh(halfWidth, bottom, top, {0, 1, 0, ""}));
    }
  }
  static void WriteTestFileHere(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
};

TEST_F(VehicleFrame, SidesShow60PercentAndTheTopTheFullDiffuseColour) {
  WriteForm("box", 5, -5, 5);
  ASSERT_EQ(renderer_.DXLoadVehicleForm("box", 1, 1000), 0);
  TVehicleState box = Camera(0, 30, -5, 0);
  box.FormNo = 1;
  // Looking north at its south face: lit by the ambient part only.
  Draw(Camera(0, 0, -5, 0), {&box});
  EXPECT_TRUE(IsColour(view_.Centre(), 153, 0, 0));
  // Looking straight down on its top face: ambient and full diffuse, clamped.
  Draw(Camera(0, 30, -40, 0, -90), {&box});
  EXPECT_TRUE(IsColour(view_.Centre(), 255, 0, 0));
}

TEST_F(VehicleFrame, ModelAxesMeetTheWorldAsBuilt) {
  // A box 4 m to the model's right and one 4 m ahead, seen from 30 m above
  // (north at the top of the picture, east on the right).
  WriteTestFileHere("right.x", BoxMesh(1, -1, 1, {1, 0, 0, ""}, 4, 0));
  WriteTestFileHere("right_rough.x", BoxMesh(1, -1, 1, {1, 0, 0, ""}, 4, 0));
  WriteTestFileHere("ahead.x", BoxMesh(1, -1, 1, {1, 0, 0, ""}, 0, 4));
  WriteTestFileHere("ahead_rough.x", BoxMesh(1, -1, 1, {1, 0, 0, ""}, 0, 4));
  ASSERT_EQ(renderer_.DXLoadVehicleForm("right", 1, 1000), 0);
  ASSERT_EQ(renderer_.DXLoadVehicleForm("ahead", 2, 1000), 0);
  // 4 m at 30 m with a 60-degree view 48 pixels high: about 5.5 pixels.
  const int offset = int(std::lround(4.0 / (30 * std::tan(30 * M_PI / 180)) * kFrameHeight / 2));
  struct Case {
    const char* name;
    int formNo;
    float heading;  // deg
    int dx, dy;     // pixels from the centre where the box shows
  } cases[] = {{"right at heading 0: east", 1, 0, offset, 0},
               {"ahead at heading 0: north", 2, 0, 0, -offset},
               {"right at heading 90: south", 1, 90, 0, offset},
               {"ahead at heading 90: east", 2, 90, offset, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVehicleState box = Camera(0, 0, 0, c.heading);
    box.FormNo = c.formNo;
    Draw(Camera(0, 0, -30, 0, -90), {&box});
    EXPECT_TRUE(IsColour(view_.At(kFrameWidth / 2 + c.dx, kFrameHeight / 2 + c.dy), 255, 0, 0));
    EXPECT_TRUE(IsSky(view_.At(kFrameWidth / 2 - c.dx, kFrameHeight / 2 - c.dy)));
  }
}

TEST_F(VehicleFrame, SwitchesToTheRoughMeshBeyondTheSwitchDistance) {
  WriteForm("plane", 10, -10, 10);
  WriteForm("glider", 10, -10, 10, true);
  const TVehicleState camera = Camera(0, 0, -10, 0);

  // A distance d and switch distance s with d^2 k equal to s^2 exactly, the
  // way the library computes both in single precision (k: the field of view
  // squared, in radians).
  const float fieldOfViewRadians = kFieldOfView * 0.017453292f;
  const float zoom = fieldOfViewRadians * fieldOfViewRadians;
  float distance = 0;
  float atSwitch = 0;
  for (int metres = 100; metres < 200 && distance == 0; ++metres) {
    const float product = float(metres * metres) * zoom;
    float s = std::nextafter(std::sqrt(product), 0.0f);
    for (int step = 0; step < 3; ++step, s = std::nextafter(s, 1e9f)) {
      if (s * s == product) {
        distance = float(metres);
        atSwitch = s;
      }
    }
  }
  ASSERT_NE(distance, 0) << "no single-precision switch distance fits";
  const float justShort = std::nextafter(atSwitch, 0.0f);
  TVehicleState plane = Camera(0, distance, -10, 0);
  plane.FormNo = 1;
  TVehicleState glider = plane;
  glider.FormNo = 2;

  struct Case {
    const char* name;
    float switchDistance;  // m
    int formNo;
    int r, g, b;  // expected centre colour: the lit south face or the sky
  } cases[] = {
      {"exactly at the switch distance: fine", atSwitch, 1, 153, 0, 0},
      {"beyond it: rough", justShort, 1, 0, 153, 0},
      {"beyond it without a rough mesh: not drawn", justShort, 2, 0, 0, 255},
      {"within it without a rough mesh: fine", atSwitch, 2, 153, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t result =
        renderer_.DXLoadVehicleForm(c.formNo == 1 ? "plane" : "glider", c.formNo, c.switchDistance);
    if (c.formNo == 1) {
      EXPECT_EQ(result, 0);
    } else {
      EXPECT_EQ(result, DX_ERROR_FORM_FILE);
    }
    Draw(camera, {c.formNo == 1 ? &plane : &glider});
    EXPECT_TRUE(IsColour(view_.Centre(), c.r, c.g, c.b));
  }
}

TEST_F(VehicleFrame, VehicleRestingOnAGroundSurfaceWinsWhereTheyTouch) {
  // A box whose top face lies 0.1 mm under the ground plane (a resting
  // vehicle touches the ground only within rounding), seen from 20 m above
  // inside a grey ground surface. The surface's bias pushes it back by
  // 2^-16 of its distance, 0.3 mm here, so the vehicle wins. The same
  // surface with its last vertex a hair above the ground gets no bias and
  // hides the vehicle.
  constexpr float kHair = -1e-7f;  // m: lifts the last vertex, not the centre
  struct Case {
    const char* name;
    float lastZ;  // m, down
    bool vehicleShows;
  } cases[] = {{"both end vertices on the ground: biased", 0.0f, true},
               {"last vertex above the ground: not biased", kHair, false}};
  WriteForm("plate", 5, -1, -0.0001f);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    renderer_.DXTerminate();
    ASSERT_EQ(renderer_.DXInitialize(view_.View(), 0, 0), DX_OK);
    ASSERT_EQ(renderer_.DXLoadVehicleForm("plate", 1, 1000), 0);
    // The centre of the picture lies on the P1-P2 diagonal, at z = 0.
    Add(Quad(kGrey, 0, {{-50, -50, 0}, {50, -50, 0}, {-50, 50, 0}, {50, 50, c.lastZ}}));
    TVehicleState plate = Camera(0, 0, 0, 0);
    plate.FormNo = 1;
    Draw(Camera(0, 0, -20, 0, -90), {&plate});
    if (c.vehicleShows) {
      EXPECT_TRUE(IsColour(view_.Centre(), 255, 0, 0));
    } else {
      EXPECT_TRUE(IsSurfaceColour(view_.Centre(), kGrey));
    }
  }
}

TEST_F(VehicleFrame, FailedLoadKeepsThePreviousMeshes) {
  WriteForm("box", 5, -5, 5);
  ASSERT_EQ(renderer_.DXLoadVehicleForm("box", 1, 1000), 0);
  EXPECT_EQ(renderer_.DXLoadVehicleForm("missing", 1, 1000), DX_ERROR_FORM_FILE);
  TVehicleState box = Camera(0, 30, -5, 0);
  box.FormNo = 1;
  Draw(Camera(0, 0, -5, 0), {&box});
  EXPECT_TRUE(IsColour(view_.Centre(), 153, 0, 0));
  // The switch value is stored even so: with distance 1 the rough mesh shows.
  EXPECT_EQ(renderer_.DXLoadVehicleForm("missing", 1, 1), DX_ERROR_FORM_FILE);
  Draw(Camera(0, 0, -5, 0), {&box});
  EXPECT_TRUE(IsColour(view_.Centre(), 0, 153, 0));
}

TEST_F(VehicleFrame, MaterialTextureReplacesTheLitColour) {
  WriteTga("paint.tga", 2, 2, {0xFF00FF00, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00});
  WriteTestFileHere("tex.x", BoxMesh(5, -5, 5, {1, 0, 0, "paint.tga"}));
  WriteTestFileHere("tex_rough.x", BoxMesh(5, -5, 5, {1, 0, 0, "missing.tga"}));
  ASSERT_EQ(renderer_.DXLoadVehicleForm("tex", 1, 1000), 0);
  TVehicleState box = Camera(0, 30, -5, 0);
  box.FormNo = 1;
  Draw(Camera(0, 0, -5, 0), {&box});
  EXPECT_TRUE(IsColour(view_.Centre(), 0, 255, 0));
  // The rough mesh names a texture that is not there: it stays untextured.
  ASSERT_EQ(renderer_.DXLoadVehicleForm("tex", 1, 1), 0);
  Draw(Camera(0, 0, -5, 0), {&box});
  EXPECT_TRUE(IsColour(view_.Centre(), 153, 0, 0));
}

}  // namespace
}  // namespace velmora::testing
