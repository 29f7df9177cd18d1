// The geometry that turns world objects into renderer surfaces: the visible
// range of an object, the segment visibility test against the camera, and the
// builders for strips, boxes, arcs, lights, dashes and sleepers. Every builder
// adds a piece when it is visible and has no surface, removes it when it is
// not visible and has one, and leaves a visible piece that has one alone.
// World axes x east, y north, z down, metres; angles in degrees clockwise from
// north.
#pragma once

#include <cstdint>

#include "vehicle/renderer_api.h"
#include "vehicle/vehicle_state.h"

namespace velmora::world {

struct TPoint3 {
  double X = 0;  // m, east
  double Y = 0;  // m, north
  double Z = 0;  // m, down
};

// Colours as the data files and the renderer store them: red in the low byte.
inline constexpr int32_t kColourMarking = 0xCCCCCC;   // light grey paint
inline constexpr int32_t kColourThreshold = 0xAAAAAA; // runway threshold blocks
inline constexpr int32_t kColourHousing = 0x333333;   // blinking-light housing
inline constexpr int32_t kColourYellow = 0x33AADD;    // taxiway lines
inline constexpr int32_t kColourRail = 0xC0B8B0;      // rail top
inline constexpr int32_t kColourRailSide = 0x1C2627;  // rail sides
inline constexpr int32_t kColourSleeper = 0xBBBBBB;
inline constexpr int32_t kColourRed = 0x3333FF;       // approach-slope light below its angle
inline constexpr int32_t kColourWhite = 0xEEEEEE;     // approach-slope light above its angle
inline constexpr int32_t kColourStrobe = 0xFFFFFF;

// The camera of one refresh pass: its position and the directions of its body
// axes and view planes in world axes, worked out once for every object.
struct TViewFrame {
  vehicle::TVehicleState Camera;  // the camera record as given
  TPoint3 Position;               // m, world
  TPoint3 Right;                  // unit vector, world axes
  TPoint3 Up;                     // unit vector, world axes
  TPoint3 Forward;                // unit vector, world axes
  TPoint3 Planes[4];              // unit inward normals of the four view planes, world axes

  static TViewFrame FromCamera(const vehicle::TVehicleState& camera);

  // A world vector in camera body axes: x = right, y = up, z = forward.
  TPoint3 ToBody(double dx, double dy, double dz) const;
};

// Adds and removes renderer surfaces and counts how many it added and removed,
// so the caller knows which objects still hold surfaces.
class TSurfaceWriter {
 public:
  explicit TSurfaceWriter(vehicle::RendererApi& renderer) : renderer_(renderer) {}

  // Builds a four-vertex quadrilateral (strip order) into id when id is 0 or
  // less; the renderer's answer is stored, 0 when it failed.
  void AddQuad(int32_t& id, int32_t colour, int32_t textureId, const TPoint3& p0,
               const TPoint3& p1, const TPoint3& p2, const TPoint3& p3);
  // The same for a strip of 3..101 vertices.
  void AddStrip(int32_t& id, int32_t colour, int32_t textureId, const TPoint3* points, int count);
  // Removes the surface when id is above 0 and sets id to 0.
  void Remove(int32_t& id);

  vehicle::RendererApi& Renderer() { return renderer_; }
  int64_t Added() const { return added_; }
  int64_t Removed() const { return removed_; }
  // Adds the renderer refused: their ids stay 0, so the next pass tries again.
  int64_t Failed() const { return failed_; }

 private:
  vehicle::RendererApi& renderer_;
  int64_t added_ = 0;
  int64_t removed_ = 0;
  int64_t failed_ = 0;
};

// Visible range of an object s metres in size: min(6000 s, 15000) m.
double VisibleRange(double size);

// Visible part of a horizontal segment, as fractions of its length.
struct TSegmentView {
  bool Visible = false;
  double T0 = 0;  // start of the visible part, 0..1
  double T1 = 0;  // end of the visible part, 0..1
};

// Whether some of the segment A -> B at depth z lies within range of the
// camera and inside the four view planes, each moved back by margin metres.
TSegmentView SegmentVisible(const TViewFrame& view, double ax, double ay, double bx, double by,
                            double z, double range, double margin);

// A flat strip from A to B at depth z, width wide, with optional side faces
// sideHeight deep in sideColour. ids: top, and when sides are drawn the side
// along A + O .. B + O and the side along A - O .. B - O (O = half the width
// to the left). Returns whether it is visible.
struct TStripIds {
  int32_t* Top = nullptr;
  int32_t* LeftSide = nullptr;   // needed only with a side height
  int32_t* RightSide = nullptr;  // needed only with a side height
};
bool FlatStrip(TSurfaceWriter& out, const TViewFrame& view, double ax, double ay, double bx,
               double by, double z, double width, int32_t colour, int32_t textureId,
               TStripIds ids, double sideHeight = 0, int32_t sideColour = 0);

// Removes every surface of a flat strip.
void RemoveStrip(TSurfaceWriter& out, TStripIds ids);

// An upright box along A -> B from top depth z down to 0.2 m below the ground
// plane, width thick; ids[0] top, [1] left side, [2] right side, [3] end at A,
// [4] end at B.
void WallBox(TSurfaceWriter& out, const TViewFrame& view, double ax, double ay, double bx,
             double by, double z, double width, int32_t colour, int32_t textureId,
             int32_t (&ids)[5]);

// Angle step of an arc strip of radius r: min(1000 / r, 1) degrees; 1 degree
// for a radius of 0 or less, so a degenerate arc still ends.
double ArcStep(double radius);
// Number of pieces of an arc strip from a0 to a1 (wrapping through north
// when a1 <= a0) at radius r.
int ArcPieceCount(double radius, double fromAngle, double toAngle);

// A flat curved strip cut into pieces of ArcStep degrees, each added or
// removed by its own visibility. ids holds at least ArcPieceCount entries,
// and with a side height so do innerSides and outerSides.
struct TArcIds {
  int32_t* Pieces = nullptr;
  int32_t* InnerSides = nullptr;
  int32_t* OuterSides = nullptr;
  int Capacity = 0;  // entries in each array
};
void ArcStrip(TSurfaceWriter& out, const TViewFrame& view, double cx, double cy, double z,
              double radius, double width, double fromAngle, double toAngle, int32_t colour,
              int32_t textureId, TArcIds ids, double sideHeight = 0, int32_t sideColour = 0);

// A camera-facing diamond at p, rebuilt on every call so that it keeps facing
// the camera; removed beyond 10 km.
void Light(TSurfaceWriter& out, const TViewFrame& view, const TPoint3& p, int32_t colour,
           int32_t& id);

}  // namespace velmora::world
