#include "cockpit/view_projection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "cockpit/frame.h"
#include "vehicle/geometry.h"

namespace velmora::cockpit {
namespace {

// The side planes lean out by 0.8 of the view's own slope, so a vehicle at the
// edge of the picture still passes.
constexpr double kPlaneLean = 0.8;

// Normal (b, c) of each view plane: left, right, top, bottom edge.
using TPlanes = std::array<std::array<double, 2>, 4>;
TPlanes Planes(double horizontalScale) {
  return {{{0, horizontalScale},
           {0, -horizontalScale},
           {kVerticalViewScale, 0},
           {-kVerticalViewScale, 0}}};
}

struct TNormal {
  double X, Y, Z;
};

TNormal PlaneNormal(const vehicle::TVehicleState& camera, double b, double c) {
  const vehicle::TWorldVector n =
      vehicle::BodyToWorld(camera, kPlaneLean * c, kPlaneLean * b, 1);
  const double length = std::sqrt(n.X * n.X + n.Y * n.Y + n.Z * n.Z);
  return {n.X / length, n.Y / length, n.Z / length};
}

// A screen coordinate, when it fits 32 bits.
std::optional<int32_t> ScreenCoordinate(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<int32_t>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<int32_t>::max()))) {
    return std::nullopt;
  }
  return static_cast<int32_t>(rounded);
}

}  // namespace

double HorizontalViewScale(int32_t width, int32_t height) {
  if (width <= 1 || height <= 1) return kHorizontalViewScale;
  // Half sizes, as the projection measures from the centre.
  const double stretch = double(kViewWidth / 2) * double(height / 2) /
                         (double(kViewHeight / 2) * double(width / 2));
  return kHorizontalViewScale * stretch;
}

TScreenPoint ProjectToView(const vehicle::TVehicleState& camera, double dx, double dy, double dz,
                           int32_t width, int32_t height) {
  const vehicle::TBodyVector body = vehicle::WorldToBody(camera, dx, dy, dz);
  const int32_t w = width / 2;
  const int32_t h = height / 2;
  TScreenPoint point;
  point.InFront = body.Forward > 0;
  // Rounded offsets from the centre, as the 32-bit screen coordinates take them.
  const auto x =
      ScreenCoordinate(body.Right / body.Forward * HorizontalViewScale(width, height) * w);
  const auto y = ScreenCoordinate(body.Up / body.Forward * kVerticalViewScale * h);
  if (!x || !y) return point;
  const int64_t sx = static_cast<int64_t>(w) + *x;
  const int64_t sy = static_cast<int64_t>(h) - *y;
  if (sx < std::numeric_limits<int32_t>::min() || sx > std::numeric_limits<int32_t>::max() ||
      sy < std::numeric_limits<int32_t>::min() || sy > std::numeric_limits<int32_t>::max()) {
    return point;
  }
  point.X = static_cast<int32_t>(sx);
  point.Y = static_cast<int32_t>(sy);
  point.Drawable = point.InFront;
  return point;
}

bool InViewCone(const vehicle::TVehicleState& camera, double margin, double b, double c,
                double x, double y, double z) {
  const TNormal n = PlaneNormal(camera, b, c);
  const double px = camera.X - margin * n.X;
  const double py = camera.Y - margin * n.Y;
  const double pz = camera.Z - margin * n.Z;
  return (x - px) * n.X + (y - py) * n.Y + (z - pz) * n.Z >= 0;
}

bool InsideViewCone(const vehicle::TVehicleState& camera, double margin, double x, double y,
                    double z, double horizontalScale) {
  for (const auto& plane : Planes(horizontalScale)) {
    if (!InViewCone(camera, margin, plane[0], plane[1], x, y, z)) return false;
  }
  return true;
}

std::optional<TSegmentPart> ClipToView(const vehicle::TVehicleState& camera, double radius,
                                       double margin, double ax, double ay, double az, double bx,
                                       double by, double bz, double horizontalScale) {
  const double dx = bx - ax, dy = by - ay, dz = bz - az;
  const double ox = ax - camera.X, oy = ay - camera.Y, oz = az - camera.Z;
  double t1 = 0, t2 = 1;

  // Within the sphere of the radius: |o + t d|² ≤ r².
  const double a = dx * dx + dy * dy + dz * dz;
  const double half = ox * dx + oy * dy + oz * dz;
  const double c = ox * ox + oy * oy + oz * oz - radius * radius;
  if (a > 0) {
    const double discriminant = half * half - a * c;
    if (!(discriminant >= 0)) return std::nullopt;
    const double root = std::sqrt(discriminant);
    t1 = std::max(t1, (-half - root) / a);
    t2 = std::min(t2, (-half + root) / a);
  } else if (!(c <= 0)) {
    return std::nullopt;
  }

  // Inside each view plane: (o + t d)·n + margin ≥ 0.
  for (const auto& plane : Planes(horizontalScale)) {
    const TNormal n = PlaneNormal(camera, plane[0], plane[1]);
    const double start = ox * n.X + oy * n.Y + oz * n.Z + margin;
    const double slope = dx * n.X + dy * n.Y + dz * n.Z;
    if (slope == 0) {
      if (!(start >= 0)) return std::nullopt;
      continue;
    }
    const double crossing = -start / slope;
    if (slope > 0) {
      t1 = std::max(t1, crossing);
    } else {
      t2 = std::min(t2, crossing);
    }
  }
  if (!(t1 <= t2)) return std::nullopt;
  return TSegmentPart{t1, t2};
}

}  // namespace velmora::cockpit
