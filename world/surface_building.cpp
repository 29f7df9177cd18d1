#include "world/surface_building.h"

#include <algorithm>
#include <cmath>

#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::world {
namespace {

// Tangents of the view pyramid's half-angles, widened by a fifth: sideways
// 0.8 × 2.123155 and vertically 0.8 × 3.732051, as (forward, up, right) normals.
constexpr double kSidePlaneSlope = 1.698524;
constexpr double kVerticalPlaneSlope = 2.985641;

// The wall box's cone test in camera body axes.
constexpr double kWallSideSlope = 1.698524;
constexpr double kWallSideAllowance = 2.3468675;
constexpr double kWallVerticalSlope = 2.9856408;
constexpr double kWallVerticalAllowance = 3.8637035;
constexpr double kWallBoxReach = 15100.0;  // m, east and north from the camera
constexpr double kWallFoot = 0.2;          // m: walls reach this far below the ground plane

constexpr double kMinSegmentLengthSquared = 1e-10;  // m²: shorter segments are never drawn
constexpr double kMinSideHeight = 1e-10;            // m: lower sides are not drawn
constexpr double kLightRangeSquared = 1e8;          // m²: lights end at 10 km
constexpr double kArcPlaneMargin = 10.0;            // m, view planes moved back for arc pieces
constexpr double kArcPlaneSlack = 1e-6;             // m, against rounding in the whole-arc test

double Dot(const TPoint3& a, double x, double y, double z) { return a.X * x + a.Y * y + a.Z * z; }

TPoint3 Unit(const vehicle::TWorldVector& v) {
  const double length = std::sqrt(v.X * v.X + v.Y * v.Y + v.Z * v.Z);
  return {v.X / length, v.Y / length, v.Z / length};
}

// Each of red, green and blue times factor, rounded to nearest (ties to even).
int32_t Shade(int32_t colour, double factor) {
  int32_t result = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const int channel = (colour >> shift) & 0xFF;
    const auto scaled = static_cast<int32_t>(std::nearbyint(channel * factor));
    result |= scaled << shift;
  }
  return result;
}

// Half-width in degrees of the bearings from an arc's centre at which a point
// between radii rhoMin and rhoMax can lie within range of a camera at
// horizontal distance d from the centre; 180 when no bearing can be ruled
// out, negative when no point can be in range. Widened slightly so that it
// never rules out a piece the exact test would accept.
double ArcPieceWindow(double d, double rhoMin, double rhoMax, double range) {
  constexpr double kRangeSlack = 0.01;    // m
  constexpr double kWindowSlack = 1e-6;   // deg
  if (!(rhoMin > 0) || !(d > 0) || !(rhoMax >= rhoMin) || !std::isfinite(d)) return 180;
  const double r = range + kRangeSlack;
  // cos of the widest bearing for radius rho: (d² + rho² - r²) / (2 d rho),
  // smallest at rho = sqrt(d² - r²) within [rhoMin, rhoMax].
  double rho = rhoMin;
  if (d > r) rho = std::clamp(std::sqrt(d * d - r * r), rhoMin, rhoMax);
  const double cosWindow = (d * d + rho * rho - r * r) / (2 * d * rho);
  if (cosWindow > 1) return -1;
  if (cosWindow <= -1) return 180;
  return std::acos(cosWindow) * units::kDegreesPerRadian + kWindowSlack;
}

// Angular distance in degrees from bearing b to the interval [from, to]
// (from <= to, less than a turn apart); 0 inside it.
double AngleGap(double b, double from, double to) {
  double offset = std::fmod(b - from, 360.0);
  if (offset < 0) offset += 360.0;
  const double span = to - from;
  if (offset <= span) return 0;
  return std::min(offset - span, 360.0 - offset);
}

}  // namespace

TViewFrame TViewFrame::FromCamera(const vehicle::TVehicleState& camera) {
  TViewFrame view;
  view.Camera = camera;
  view.Position = {camera.X, camera.Y, camera.Z};
  const vehicle::TAttitude attitude(camera);
  const vehicle::TWorldVector right = vehicle::BodyToWorld(attitude, 1, 0, 0);
  const vehicle::TWorldVector up = vehicle::BodyToWorld(attitude, 0, 1, 0);
  const vehicle::TWorldVector forward = vehicle::BodyToWorld(attitude, 0, 0, 1);
  view.Right = {right.X, right.Y, right.Z};
  view.Up = {up.X, up.Y, up.Z};
  view.Forward = {forward.X, forward.Y, forward.Z};
  // Normals given as (forward, up, right) in body axes.
  const double normals[4][3] = {{1, 0, kSidePlaneSlope},
                                {1, 0, -kSidePlaneSlope},
                                {1, kVerticalPlaneSlope, 0},
                                {1, -kVerticalPlaneSlope, 0}};
  for (int i = 0; i < 4; ++i) {
    view.Planes[i] =
        Unit(vehicle::BodyToWorld(attitude, normals[i][2], normals[i][1], normals[i][0]));
  }
  return view;
}

TPoint3 TViewFrame::ToBody(double dx, double dy, double dz) const {
  return {Dot(Right, dx, dy, dz), Dot(Up, dx, dy, dz), Dot(Forward, dx, dy, dz)};
}

void TSurfaceWriter::AddQuad(int32_t& id, int32_t colour, int32_t textureId, const TPoint3& p0,
                             const TPoint3& p1, const TPoint3& p2, const TPoint3& p3) {
  const TPoint3 points[4] = {p0, p1, p2, p3};
  AddStrip(id, colour, textureId, points, 4);
}

void TSurfaceWriter::AddStrip(int32_t& id, int32_t colour, int32_t textureId,
                              const TPoint3* points, int count) {
  if (id > 0) return;
  DXSurface surface;
  surface.Colour = static_cast<uint32_t>(colour);
  surface.TextureId = textureId;
  for (int i = 0; i < count; ++i) {
    surface.Vertices[i][0] = static_cast<float>(points[i].X);
    surface.Vertices[i][1] = static_cast<float>(points[i].Y);
    surface.Vertices[i][2] = static_cast<float>(points[i].Z);
  }
  id = renderer_.DXAddSurface(surface, count);
  if (id > 0) {
    ++added_;
  } else {
    id = 0;
    ++failed_;
  }
}

void TSurfaceWriter::Remove(int32_t& id) {
  if (id <= 0) return;
  renderer_.DXRemoveSurface(id);
  id = 0;
  ++removed_;
}

double VisibleRange(double size) { return std::min(6000.0 * size, 15000.0); }

TSegmentView SegmentVisible(const TViewFrame& view, double ax, double ay, double bx, double by,
                            double z, double range, double margin) {
  TSegmentView result;
  const double dx = bx - ax;
  const double dy = by - ay;
  const double lengthSquared = dx * dx + dy * dy;
  // Written so that a NaN anywhere makes the segment invisible.
  if (!(lengthSquared >= kMinSegmentLengthSquared) || !(range >= 0)) return result;

  // Where the segment crosses the sphere of the visible range.
  const double ox = ax - view.Position.X;
  const double oy = ay - view.Position.Y;
  const double oz = z - view.Position.Z;
  const double half = dx * ox + dy * oy;
  const double c = ox * ox + oy * oy + oz * oz - range * range;
  const double discriminant = half * half - lengthSquared * c;
  if (!(discriminant >= 0)) return result;
  const double root = std::sqrt(discriminant);
  double t0 = (-half - root) / lengthSquared;
  double t1 = (-half + root) / lengthSquared;
  if (t0 >= 1 || t1 <= 0) return result;
  t0 = std::max(t0, 0.0);
  t1 = std::min(t1, 1.0);

  // The four view planes, each moved back by the margin.
  for (const TPoint3& n : view.Planes) {
    const double start = Dot(n, ox, oy, oz) + margin;
    const double slope = n.X * dx + n.Y * dy;
    if (slope == 0) {
      if (start < 0) return result;
      continue;
    }
    const double crossing = -start / slope;
    if (slope > 0) {
      t0 = std::max(t0, crossing);
    } else {
      t1 = std::min(t1, crossing);
    }
  }
  if (!(t0 <= t1)) return result;
  result.Visible = true;
  result.T0 = t0;
  result.T1 = t1;
  return result;
}

bool FlatStrip(TSurfaceWriter& out, const TViewFrame& view, double ax, double ay, double bx,
               double by, double z, double width, int32_t colour, int32_t textureId,
               TStripIds ids, double sideHeight, int32_t sideColour) {
  const double dx = bx - ax;
  const double dy = by - ay;
  const double length = std::sqrt(dx * dx + dy * dy);
  const bool sides = sideHeight >= kMinSideHeight;
  const TSegmentView seen = SegmentVisible(view, ax, ay, bx, by, z,
                                           VisibleRange(std::min(length, width)), width / 2 + 10);
  if (!seen.Visible) {
    RemoveStrip(out, ids);
    return false;
  }
  const double ox = -dy / length * width / 2;
  const double oy = dx / length * width / 2;
  const TPoint3 al{ax + ox, ay + oy, z};
  const TPoint3 ar{ax - ox, ay - oy, z};
  const TPoint3 bl{bx + ox, by + oy, z};
  const TPoint3 br{bx - ox, by - oy, z};
  out.AddQuad(*ids.Top, colour, textureId, al, ar, bl, br);
  if (sides) {
    const double foot = z + sideHeight;
    out.AddQuad(*ids.LeftSide, sideColour, textureId, al, bl, {al.X, al.Y, foot},
                {bl.X, bl.Y, foot});
    out.AddQuad(*ids.RightSide, sideColour, textureId, ar, br, {ar.X, ar.Y, foot},
                {br.X, br.Y, foot});
  }
  return true;
}

void RemoveStrip(TSurfaceWriter& out, TStripIds ids) {
  out.Remove(*ids.Top);
  if (ids.LeftSide) out.Remove(*ids.LeftSide);
  if (ids.RightSide) out.Remove(*ids.RightSide);
}

void WallBox(TSurfaceWriter& out, const TViewFrame& view, double ax, double ay, double bx,
             double by, double z, double width, int32_t colour, int32_t textureId,
             int32_t (&ids)[5]) {
  const double dx = bx - ax;
  const double dy = by - ay;
  const double length = std::sqrt(dx * dx + dy * dy);

  bool visible = std::fabs(ax - view.Position.X) <= kWallBoxReach &&
                 std::fabs(ay - view.Position.Y) <= kWallBoxReach;
  if (visible) {
    const double cx = (ax + bx) / 2 - view.Position.X;
    const double cy = (ay + by) / 2 - view.Position.Y;
    const double cz = z / 2 - view.Position.Z;
    const double range = VisibleRange(std::min(length, width));
    visible = cx * cx + cy * cy + cz * cz <= range * range;
    if (visible) {
      const TPoint3 body = view.ToBody(cx, cy, cz);
      const double reach = std::sqrt(length * length + width * width + z * z) / 2 + 10;
      visible = body.Z >= std::fabs(body.X) * kWallSideSlope - reach * kWallSideAllowance &&
                body.Z >= std::fabs(body.Y) * kWallVerticalSlope - reach * kWallVerticalAllowance;
    }
  }
  if (!visible || length == 0) {
    for (int32_t& id : ids) out.Remove(id);
    return;
  }

  const double ox = -dy / length * width / 2;
  const double oy = dx / length * width / 2;
  const int32_t shade09 = Shade(colour, 0.9);
  const int32_t shade08 = Shade(colour, 0.8);
  const TPoint3 al{ax + ox, ay + oy, z}, ar{ax - ox, ay - oy, z};
  const TPoint3 bl{bx + ox, by + oy, z}, br{bx - ox, by - oy, z};
  const TPoint3 alFoot{al.X, al.Y, kWallFoot}, arFoot{ar.X, ar.Y, kWallFoot};
  const TPoint3 blFoot{bl.X, bl.Y, kWallFoot}, brFoot{br.X, br.Y, kWallFoot};
  out.AddQuad(ids[0], colour, textureId, al, ar, bl, br);
  out.AddQuad(ids[1], shade09, textureId, al, bl, alFoot, blFoot);
  out.AddQuad(ids[2], shade09, textureId, ar, br, arFoot, brFoot);
  out.AddQuad(ids[3], shade08, textureId, al, ar, alFoot, arFoot);
  out.AddQuad(ids[4], shade08, textureId, bl, br, blFoot, brFoot);
}

double ArcStep(double radius) { return radius > 1000.0 ? 1000.0 / radius : 1.0; }

int ArcPieceCount(double radius, double fromAngle, double toAngle) {
  if (toAngle <= fromAngle) toAngle += 360.0;
  const double pieces = std::ceil((toAngle - fromAngle) / ArcStep(radius) - 1e-9);
  if (!(pieces < 1e6)) return 1000000;
  return std::max(1, static_cast<int>(pieces));
}

void ArcStrip(TSurfaceWriter& out, const TViewFrame& view, double cx, double cy, double z,
              double radius, double width, double fromAngle, double toAngle, int32_t colour,
              int32_t textureId, TArcIds ids, double sideHeight, int32_t sideColour) {
  if (toAngle <= fromAngle) toAngle += 360.0;
  const double step = ArcStep(radius);
  const int pieces = std::min(ArcPieceCount(radius, fromAngle, toAngle), ids.Capacity);
  const double inner = radius - width / 2;
  const double outer = radius + width / 2;
  const double range = VisibleRange(width);
  const bool sides = sideHeight >= kMinSideHeight;

  // Bearings from the centre within `window` degrees of the camera's bearing
  // hold every piece that can come within range; pieces beyond need no test.
  const double toCameraX = view.Position.X - cx;
  const double toCameraY = view.Position.Y - cy;
  const double cameraBearing = vehicle::Atan2Deg(toCameraX, toCameraY);
  const double window = ArcPieceWindow(std::hypot(toCameraX, toCameraY),
                                       std::min(inner, outer) * vehicle::CosDeg(step / 2),
                                       std::max(std::fabs(inner), std::fabs(outer)), range);

  // Nothing of an arc that lies wholly outside one view plane can be seen.
  bool outsideView = window < 0;
  const double reach = std::max(std::fabs(inner), std::fabs(outer));
  for (const TPoint3& n : view.Planes) {
    if (outsideView) break;
    outsideView = Dot(n, -toCameraX, -toCameraY, z - view.Position.Z) + kArcPlaneMargin + reach +
                      kArcPlaneSlack <
                  0;
  }
  if (outsideView) {
    for (int k = 0; k < pieces; ++k) {
      out.Remove(ids.Pieces[k]);
      if (ids.InnerSides) out.Remove(ids.InnerSides[k]);
      if (ids.OuterSides) out.Remove(ids.OuterSides[k]);
    }
    return;
  }

  bool trigDone = false;
  double sinA = 0;
  double cosA = 0;
  for (int k = 0; k < pieces; ++k) {
    const double from = fromAngle + k * step;
    const double next = k + 1 == pieces ? toAngle : fromAngle + (k + 1) * step;
    if (window < 180 && AngleGap(cameraBearing, from, next) > window) {
      out.Remove(ids.Pieces[k]);
      if (ids.InnerSides) out.Remove(ids.InnerSides[k]);
      if (ids.OuterSides) out.Remove(ids.OuterSides[k]);
      trigDone = false;
      continue;
    }
    if (!trigDone) vehicle::SinCosDeg(from, sinA, cosA);
    trigDone = true;
    double sinB = 0;
    double cosB = 0;
    vehicle::SinCosDeg(next, sinB, cosB);
    const TPoint3 ia{cx + inner * sinA, cy + inner * cosA, z};
    const TPoint3 oa{cx + outer * sinA, cy + outer * cosA, z};
    const TPoint3 ib{cx + inner * sinB, cy + inner * cosB, z};
    const TPoint3 ob{cx + outer * sinB, cy + outer * cosB, z};
    const bool visible =
        SegmentVisible(view, ia.X, ia.Y, ib.X, ib.Y, z, range, kArcPlaneMargin).Visible ||
        SegmentVisible(view, oa.X, oa.Y, ob.X, ob.Y, z, range, kArcPlaneMargin).Visible;
    if (visible) {
      out.AddQuad(ids.Pieces[k], colour, textureId, ia, oa, ib, ob);
      if (sides) {
        const double foot = z + sideHeight;
        out.AddQuad(ids.InnerSides[k], sideColour, textureId, ia, ib, {ia.X, ia.Y, foot},
                    {ib.X, ib.Y, foot});
        out.AddQuad(ids.OuterSides[k], sideColour, textureId, oa, ob, {oa.X, oa.Y, foot},
                    {ob.X, ob.Y, foot});
      }
    } else {
      out.Remove(ids.Pieces[k]);
      if (ids.InnerSides) out.Remove(ids.InnerSides[k]);
      if (ids.OuterSides) out.Remove(ids.OuterSides[k]);
    }
    sinA = sinB;
    cosA = cosB;
  }
}

void Light(TSurfaceWriter& out, const TViewFrame& view, const TPoint3& p, int32_t colour,
           int32_t& id) {
  const double dx = p.X - view.Position.X;
  const double dy = p.Y - view.Position.Y;
  const double dz = p.Z - view.Position.Z;
  const double distanceSquared = dx * dx + dy * dy + dz * dz;
  out.Remove(id);
  if (!(distanceSquared <= kLightRangeSquared)) return;
  const double q = std::min(6.0, std::max(1.0, 0.002 * std::sqrt(distanceSquared))) / 2;
  const TPoint3& r = view.Right;
  const TPoint3& u = view.Up;
  out.AddQuad(id, colour, 0, {p.X + r.X * q, p.Y + r.Y * q, p.Z + r.Z * q},
              {p.X + u.X * q, p.Y + u.Y * q, p.Z + u.Z * q},
              {p.X - u.X * q, p.Y - u.Y * q, p.Z - u.Z * q},
              {p.X - r.X * q, p.Y - r.Y * q, p.Z - r.Z * q});
}

}  // namespace velmora::world
