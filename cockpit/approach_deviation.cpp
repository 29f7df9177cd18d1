#include "cockpit/approach_deviation.h"

#include <algorithm>
#include <cmath>

#include "vehicle/geometry.h"
#include "vehicle/units.h"
#include "world/runway_geometry.h"

namespace velmora::cockpit {

namespace {

constexpr double kShownFrom = 20000;          // m before the threshold
constexpr double kPointerLimit = 2.5;         // dots: the pointer stops at the scale's end
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kMagenta = 0xFF00FF;
constexpr int32_t kDotSpacing = 20;  // px

// The free strips of the flight display (px): between the indicator
// (x 48..192, y 8..152) and the altitude tape (x 201), and below the indicator.
constexpr int32_t kPathLeft = 193, kPathRight = 201, kPathTop = 8, kPathBottom = 153;
constexpr int32_t kPathX = 197, kPathCentreY = 80;
constexpr int32_t kLineLeft = 48, kLineRight = 193, kLineTop = 153, kLineBottom = 161;
constexpr int32_t kLineY = 157, kLineCentreX = 120;

int32_t PointerOffset(double dots) {
  return static_cast<int32_t>(
      std::lround(std::clamp(dots, -kPointerLimit, kPointerLimit) * kDotSpacing));
}

void Dot(TCanvas& c, int32_t x, int32_t y) {
  c.Ellipse(x - 1, y - 1, x + 2, y + 2);
}

}  // namespace

TApproachDeviation ApproachDeviation(const state::TMainState& s) {
  TApproachDeviation d;
  const vehicle::TVehicleState& own = s.Own;
  if (own.Kind != vehicle::kKindAircraft || !state::InPracticeMode(s) || s.World == nullptr ||
      s.SelectedDestination < 0 || s.SelectedDestination >= s.World->DestinationCount ||
      s.SelectedDestination >= world::kMaxDestinations) {
    return d;
  }
  const world::TRunwayInfo* r =
      s.World->Destinations[static_cast<std::size_t>(s.SelectedDestination)];
  const vehicle::TFormParam* form = s.Forms.Find(own.FormNo);
  if (r == nullptr || form == nullptr) return d;
  const double course = world::RunwayCourse(*r);
  const double length = world::RunwayLength(*r);
  const auto [along, right] = world::RunwayAxes(*r, course, own.X + s.OriginX, own.Y + s.OriginY);
  const double height = form->RestZ - own.Z;
  const double toPathEnd = world::kAimPointDistance - along;
  if (height <= 0 || along < -kShownFrom || toPathEnd <= 0) return d;
  d.Shown = true;
  d.Path = (vehicle::Atan2Deg(height, toPathEnd) - world::kGlidePathAngle) / kPathDot;
  d.CentreLine = vehicle::Atan2Deg(right, length - along) / kCentreLineDot;
  return d;
}

void DrawApproachDeviation(TCanvas& c, const TApproachDeviation& d, bool wasShown) {
  if (!d.Shown && !wasShown) return;
  c.BeginPaint();
  c.SetPen(kBlack, 1);
  c.SetBrush(kBlack, false);
  c.FillRect(kPathLeft, kPathTop, kPathRight, kPathBottom);
  c.FillRect(kLineLeft, kLineTop, kLineRight, kLineBottom);
  if (d.Shown) {
    // The scales: two dots either side of the centre mark.
    c.SetPen(kWhite, 1);
    c.SetBrush(kBlack, true);
    for (int k = -2; k <= 2; ++k) {
      if (k == 0) continue;
      Dot(c, kPathX, kPathCentreY + k * kDotSpacing);
      Dot(c, kLineCentreX + k * kDotSpacing, kLineY);
    }
    c.Line(kPathLeft, kPathCentreY, kPathRight - 1, kPathCentreY);
    c.Line(kLineCentreX, kLineTop, kLineCentreX, kLineBottom);
    // The pointers show where the path lies: below when the aircraft is above it,
    // left when the aircraft is right of the centre line.
    c.SetPen(kMagenta, 1);
    c.SetBrush(kMagenta, false);
    const int32_t py = kPathCentreY + PointerOffset(d.Path);
    const TPixel path[] = {{kPathX, py - 4}, {kPathX + 3, py}, {kPathX, py + 4}, {kPathX - 3, py}};
    c.Polygon(path, 4);
    const int32_t lx = kLineCentreX - PointerOffset(d.CentreLine);
    const TPixel line[] = {{lx - 4, kLineY}, {lx, kLineY - 3}, {lx + 4, kLineY}, {lx, kLineY + 3}};
    c.Polygon(line, 4);
  }
  c.EndPaint();
}

}  // namespace velmora::cockpit
