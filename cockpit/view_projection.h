// Where world points appear in the 3D view: the screen projection of the
// 30-degree view, the cone test that chooses the vehicles worth drawing and
// the clipping of ground lines to the view. World axes x east, y north,
// z down, metres; the camera is a vehicle record's position and attitude.
#pragma once

#include <cstdint>
#include <optional>

#include "vehicle/vehicle_state.h"

namespace velmora::cockpit {

// Screen scale of the default view: the cotangent of half the 30° vertical
// field of view, and its horizontal counterpart for the view's aspect.
inline constexpr double kVerticalViewScale = 3.732051;
inline constexpr double kHorizontalViewScale = 2.123155;

// The horizontal scale of a view of width × height pixels: the vertical field
// of view stays, so a wider view sees more to the sides. The default view's
// size gives kHorizontalViewScale exactly.
double HorizontalViewScale(int32_t width, int32_t height);

struct TScreenPoint {
  int32_t X = 0;         // px, client x of the 3D view
  int32_t Y = 0;         // px, client y
  bool InFront = false;  // the point lies ahead of the camera plane
  bool Drawable = false; // in front and both coordinates fit 32 bits
};

// The client pixel of the world offset (dx, dy, dz) from the camera, in a view
// of width × height pixels (its aspect sets the horizontal scale). A point whose coordinate does not fit a 32-bit
// integer (one almost in the camera's plane) is not drawable.
TScreenPoint ProjectToView(const vehicle::TVehicleState& camera, double dx, double dy, double dz,
                           int32_t width, int32_t height);

// Whether the world point lies on the inner side of the view plane (b, c),
// moved back from the camera by margin metres. The plane's normal is the body
// vector (forward 1, up 0.8 b, right 0.8 c).
bool InViewCone(const vehicle::TVehicleState& camera, double margin, double b, double c,
                double x, double y, double z);

// All four view planes: the point can be in the view. horizontalScale: the
// view's, from HorizontalViewScale.
bool InsideViewCone(const vehicle::TVehicleState& camera, double margin, double x, double y,
                    double z, double horizontalScale = kHorizontalViewScale);

// The part [T1, T2] of a segment that lies within radius metres of the camera
// and inside the four view planes moved back by margin metres.
struct TSegmentPart {
  double T1 = 0;  // 0..1 along A -> B
  double T2 = 0;
};
std::optional<TSegmentPart> ClipToView(const vehicle::TVehicleState& camera, double radius,
                                       double margin, double ax, double ay, double az, double bx,
                                       double by, double bz,
                                       double horizontalScale = kHorizontalViewScale);

}  // namespace velmora::cockpit
