#include <algorithm>
#include <cmath>

#include "cockpit/instrument_support.h"
#include "cockpit/instruments.h"
#include "vehicle/geometry.h"

namespace velmora::cockpit {
namespace {

using detail::Drawable;
using detail::Format;
using detail::Px;
using detail::Stroke;
using detail::TPaintSession;
using vehicle::CosDeg;
using vehicle::SinDeg;

constexpr uint32_t kRoadGrey = 0x888888;

constexpr double kCentre = 80;                  // px: the own vehicle
constexpr double kAirScale = 80.0 / 10000;      // px per m: 10 km to the rim
constexpr double kRoadScale = 80.0 / 500;       // px per m: 500 m to the rim
constexpr double kRunwayReach = 15000;          // m: runways shown within this
constexpr double kRoadReach = 750;              // m: roads shown within this
constexpr double kTrafficFloor = -100;          // m, z: traffic and legend above 100 m
constexpr double kColourPerMetre = 2.55;        // colour steps per m of height difference
constexpr double kOnStop = 0.5;                 // m: the train stands at its stop
constexpr int32_t kStopFont = 32;               // px
constexpr int32_t kCompassFont = 10;            // px
constexpr int32_t kLegendFont = 11;             // px: 8 points

uint32_t Rgb(int r, int g, int b) {
  return static_cast<uint32_t>(r) | static_cast<uint32_t>(g) << 8 | static_cast<uint32_t>(b) << 16;
}

// Distance of point (px, py) from the segment (x1, y1)-(x2, y2): to the foot
// of the perpendicular when it lies on the segment, else to the nearer end.
double SegmentDistance(double px, double py, double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1, dy = y2 - y1;
  const double length2 = dx * dx + dy * dy;
  const double t = length2 > 0 ? ((px - x1) * dx + (py - y1) * dy) / length2 : -1;
  if (t >= 0 && t <= 1) return std::hypot(px - (x1 + t * dx), py - (y1 + t * dy));
  return std::min(std::hypot(px - x1, py - y1), std::hypot(px - x2, py - y2));
}

// World offset from the own vehicle onto the heading-up map.
struct TMap {
  double Cos, Sin, Scale;
  double X(double dx, double dy) const { return kCentre + (dx * Cos - dy * Sin) * Scale; }
  double Y(double dx, double dy) const { return kCentre - (dx * Sin + dy * Cos) * Scale; }
};

void StopDistance(TCanvas& c, state::TMainState& s, TStopDistanceSource fallback) {
  double r = s.StopDistance;
  if (r >= kUnknownDistance) {
    r = fallback != nullptr ? fallback(s) : kUnknownDistance;
    s.StopDistance = r;
  }
  if (!(r < kUnknownDistance)) return;
  const uint32_t colour = r > kOnStop ? kWhite : (r >= -kOnStop ? kGreen : kRed);
  c.SetFont(colour, kStopFont);
  c.Text(8, 63, r >= 0 ? "残" : "過");
  const detail::TText t = Format("%.2f", std::fabs(r));
  c.Text(160 - 16 * t.Length, 63, t.View());
}

void Compass(TCanvas& c, double heading) {
  c.SetPen(kYellow, 1);
  c.SetBrush(kYellow, false);
  const TPixel index[] = {{76, -1}, {80, 8}, {84, -1}};
  c.Polygon(index, 3);
  c.SetBrush(kGreen, false);
  c.FillRect(77, 80, 84, 81);
  c.FillRect(80, 77, 81, 84);
  c.SetBrush(kBlack, true);
  c.SetPen(kGreen, 1);
  c.SetFont(kGreen, kCompassFont);
  for (int i = 1; i <= 36; ++i) {
    const double a = 10.0 * i - heading;
    const double outer = i % 3 == 0 ? 68 : 65;
    Stroke(c, 1, 80 + Px(outer * SinDeg(a)), 80 - Px(outer * CosDeg(a)), 80 + Px(64 * SinDeg(a)),
           80 - Px(64 * CosDeg(a)));
    if (i % 3 == 0) {
      c.Text(75 + Px(75 * SinDeg(a)), 74 - Px(75 * CosDeg(a)), Format("%.2d", i).View());
    }
  }
}

void RoadMap(TCanvas& c, const state::TMainState& s, const TMap& map) {
  if (s.World == nullptr) return;
  const vehicle::TVehicleState& own = s.Own;
  const world::TWorldObjectList& objects = s.World->Objects;
  for (int i = 0; i < objects.Count(); ++i) {
    const world::TShapeInfo& object = objects[i];
    const world::TLineInfo* line = dynamic_cast<const world::TRoadInfo*>(&object);
    if (line == nullptr) line = dynamic_cast<const world::TRaceCrsInfo*>(&object);
    if (line != nullptr) {
      const double x1 = line->X1 - s.OriginX - own.X, y1 = line->Y1 - s.OriginY - own.Y;
      const double x2 = line->X2 - s.OriginX - own.X, y2 = line->Y2 - s.OriginY - own.Y;
      if (!(SegmentDistance(0, 0, x1, y1, x2, y2) < kRoadReach)) continue;
      DrawThickLine(c, kRoadGrey, 3, map.X(x2, y2), map.Y(x2, y2), map.X(x1, y1), map.Y(x1, y1));
      continue;
    }
    const auto* arc = dynamic_cast<const world::TRaceCrsArcInfo*>(&object);
    if (arc == nullptr) continue;
    const double cx = arc->CentreX - s.OriginX - own.X, cy = arc->CentreY - s.OriginY - own.Y;
    // The arc runs clockwise from FromAngle to ToAngle, through north when
    // ToAngle is not above FromAngle.
    const double bearing = vehicle::Normalise360(vehicle::Atan2Deg(-cx, -cy));
    const bool inside = arc->FromAngle < arc->ToAngle
                            ? bearing >= arc->FromAngle && bearing <= arc->ToAngle
                            : bearing >= arc->FromAngle || bearing <= arc->ToAngle;
    if (!inside || !(std::fabs(std::hypot(cx, cy) - arc->Radius) < kRoadReach)) continue;
    DrawArc(c, kRoadGrey, vehicle::Normalise360(arc->ToAngle - own.Heading),
            vehicle::Normalise360(arc->FromAngle - own.Heading), 3, arc->Radius * kRoadScale,
            map.X(cx, cy), map.Y(cx, cy));
  }
}

void AircraftMap(TCanvas& c, const state::TMainState& s, const TMap& map) {
  const vehicle::TVehicleState& own = s.Own;
  // Runways only in the unshifted world: their ends are absolute positions.
  if (s.World != nullptr && s.OriginX == 0 && s.OriginY == 0) {
    for (int i = 0; i < s.World->DestinationCount; ++i) {
      const world::TRunwayInfo* d = s.World->Destinations[static_cast<std::size_t>(i)];
      if (d == nullptr) continue;
      const double x1 = d->X1 - own.X, y1 = d->Y1 - own.Y;
      const double x2 = d->X2 - own.X, y2 = d->Y2 - own.Y;
      if (!(SegmentDistance(0, 0, x1, y1, x2, y2) < kRunwayReach)) continue;
      DrawThickLine(c, kYellow, 3, map.X(x2, y2), map.Y(x2, y2), map.X(x1, y1), map.Y(x1, y1));
    }
  }
  if (!(own.Z <= kTrafficFloor)) return;

  // Legend of the traffic colours.
  c.SetBrush(kCyan, false);
  c.FillRect(128, 15, 136, 23);
  c.SetBrush(kWhite, false);
  c.FillRect(128, 27, 136, 35);
  c.SetBrush(kMagenta, false);
  c.FillRect(128, 39, 136, 47);
  c.SetBrush(kBlack, true);
  c.SetFont(kWhite, kLegendFont);
  c.Text(116, 2, "機影高度");
  c.Text(138, 14, "上方");
  c.Text(138, 26, "同高");
  c.Text(138, 38, "下方");

  // Traffic at least 100 m up: cyan above, magenta below, white level.
  const int remotes = vehicle::RemoteCount(s.Remote);
  for (int i = 0; i < remotes; ++i) {
    const vehicle::TVehicleState& r = s.Remote[static_cast<std::size_t>(i)];
    if (!(r.Z <= kTrafficFloor)) continue;
    const double dx = r.X - own.X, dy = r.Y - own.Y;
    const double mx = map.X(dx, dy), my = map.Y(dx, dy);
    const double dz = (r.Z - own.Z) * kColourPerMetre;
    if (!Drawable(mx) || !Drawable(my) || !std::isfinite(dz)) continue;
    const int32_t x = Px(mx), y = Px(my);
    const int d = static_cast<int>(std::lround(std::clamp(dz, -1000.0, 1000.0)));
    c.SetBrush(d < 1 ? Rgb(std::max(255 + d, 0), 255, 255) : Rgb(255, std::max(255 - d, 0), 255),
               false);
    const bool wingman = vehicle::IsFighter(r.FormNo) && r.GroupNo == own.GroupNo;
    if (wingman) {
      c.FillRect(x - 2, y - 1, x + 3, y + 2);
      c.FillRect(x - 1, y - 2, x + 2, y + 3);
    } else {
      c.FillRect(x - 1, y - 1, x + 2, y + 2);
    }
  }
}

}  // namespace

void DrawThickLine(TCanvas& c, uint32_t colour, int32_t width, double x1, double y1, double x2,
                   double y2) {
  if (!Drawable(x1) || !Drawable(y1) || !Drawable(x2) || !Drawable(y2)) return;
  const double length = std::hypot(x2 - x1, y2 - y1);
  if (!(length > 0)) return;
  const double half = (width - 1) / 2.0;
  const double nx = -(y2 - y1) / length * half, ny = (x2 - x1) / length * half;
  const TPixel quad[] = {{Px(x1 + nx), Px(y1 + ny)},
                         {Px(x2 + nx), Px(y2 + ny)},
                         {Px(x2 - nx), Px(y2 - ny)},
                         {Px(x1 - nx), Px(y1 - ny)}};
  c.SetPen(colour, 1);
  c.SetBrush(colour, false);
  c.Polygon(quad, 4);
}

void DrawArc(TCanvas& c, uint32_t colour, double from, double to, int32_t penWidth, double r,
             double cx, double cy) {
  if (!Drawable(cx) || !Drawable(cy) || !Drawable(r)) return;
  constexpr double kRay = 10000;  // px: rays far beyond the circle give exact directions
  c.SetPen(colour, penWidth);
  c.SetBrush(kBlack, true);
  const int32_t left = Px(cx - r), top = Px(cy - r), right = Px(cx + r + 1), bottom = Px(cy + r + 1);
  if (from == to) {
    c.Ellipse(left, top, right, bottom);
    return;
  }
  c.Arc(left, top, right, bottom, Px(cx + kRay * SinDeg(from)), Px(cy - kRay * CosDeg(from)),
        Px(cx + kRay * SinDeg(to)), Px(cy - kRay * CosDeg(to)));
}

void DrawNavigationDisplay(TCanvas& c, state::TMainState& s, TStopDistanceSource fallback) {
  TPaintSession session(c);
  c.SetPen(kBlack, 1);
  c.SetBrush(kBlack, false);
  c.FillRect(0, 0, kNaviSize, kNaviSize);

  const vehicle::TVehicleState& own = s.Own;
  if (own.Kind == vehicle::kKindTrain) {
    StopDistance(c, s, fallback);
    return;
  }
  const double heading = own.Heading;
  const double scale = own.Kind == vehicle::kKindAircraft ? kAirScale : kRoadScale;
  const TMap map{CosDeg(heading), SinDeg(heading), scale};
  if (own.Kind == vehicle::kKindRoad) RoadMap(c, s, map);
  Compass(c, heading);
  if (own.Kind == vehicle::kKindAircraft) AircraftMap(c, s, map);
}

}  // namespace velmora::cockpit
