#include "world/shapes.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::world {
namespace {

constexpr double kReachSlack = 1.0;         // m added to every reach against rounding
constexpr double kMaxRange = 15000.0;       // m, the cap of VisibleRange
constexpr double kMarkingLift = 0.01;       // m: runway paint above the runway surface
constexpr double kLineLift = 0.005;         // m: centre lines, dashes and start lines above their strip
constexpr double kHousingDrop = 0.3;        // m: housing top below the blinking light
constexpr double kHousingHalfLength = 0.3;  // m
constexpr double kHousingThickness = 0.6;   // m
constexpr int32_t kBlinkPeriod = 500;       // ms
constexpr int32_t kBlinkOnTime = 250;       // ms

constexpr double kStrobeLift = 3.0;         // m above the runway
constexpr double kStrobeFarthest = 900.0;   // m before the threshold
constexpr double kStrobeStep = 30.0;        // m per step towards the runway
constexpr int kStrobeSteps = 20;            // steps per period
constexpr double kStraightInLimit = 10.0;   // |course difference| in rad × 2000 for a straight-in approach
constexpr double kSlopeLightAlong = 450.0;  // m from the threshold
constexpr double kSlopeLightLift = 1.0;     // m above the runway
constexpr double kSlopeLightOffsets[4] = {40, 50, 60, 70};  // m to the left
constexpr double kSlopeLightAngles[4] = {3.5, 3.1666667, 2.8333333, 2.5};  // deg
constexpr double kSlopeLightScale = 1100.0;  // m of distance per metre of size
constexpr double kLightRangeSquared = 1e8;   // m²

constexpr double kDashWidth = 0.15;     // m
constexpr double kDashLength = 5.0;     // m
constexpr double kDashPitch = 10.0;     // m from dash start to dash start
constexpr double kDashMargin = 10.075;  // m

constexpr double kFilletLineWidth = 0.6;  // m, taxiway centre and fillet lines
constexpr double kOutlineFlare = 20.0;    // m, taxiway widening where a fillet meets it

constexpr double kStartLineLength = 0.2;  // m

constexpr double kBedWidth = 4.0;          // m
constexpr double kBedDepth = 0.15;         // m below the track z
constexpr double kRailOffset = 0.57;       // m from the centre line
constexpr double kRailWidth = 0.06;        // m
constexpr double kRailLift = 0.01;         // m: rail top above the track z
constexpr double kRailSideHeight = 0.15;   // m
constexpr double kSleeperDepth = 0.14;     // m below the track z
constexpr double kSleeperHalfSpan = 1.0;   // m across the track
constexpr double kSleeperHalfLength = 0.15;  // m along the track
constexpr double kSleeperRange = 200.0;    // m
constexpr double kSleeperMargin = 11.0;    // m

struct TVec2 {
  double X = 0;
  double Y = 0;
};

double Distance(double ax, double ay, double bx, double by) {
  return std::hypot(bx - ax, by - ay);
}

// The unit vector of a compass heading.
TVec2 HeadingVector(double heading) {
  TVec2 v;
  vehicle::SinCosDeg(heading, v.X, v.Y);
  return v;
}

// x mod 360 in [0, 360).
double PositiveDegrees(double x) {
  double r = std::fmod(x, 360.0);
  if (r < 0) r += 360.0;
  return r;
}

// Elapsed time of a period timer, moving its start on by one period when a
// whole period has passed.
int32_t AdvancePeriod(int32_t& periodStart, uint32_t clock) {
  auto t = static_cast<int32_t>(clock - static_cast<uint32_t>(periodStart));
  if (t >= kBlinkPeriod) {
    periodStart = static_cast<int32_t>(static_cast<uint32_t>(periodStart) + kBlinkPeriod);
    t -= kBlinkPeriod;
  }
  return t;
}

// Adds or keeps the dashes or sleepers of [first, last] and removes those of
// the range built last time that fall outside it.
template <typename BuildOne>
void UpdateRange(TSurfaceWriter& out, int32_t* ids, int32_t& builtFirst, int32_t& builtLast,
                 int first, int last, BuildOne build) {
  for (int i = builtFirst; i <= builtLast; ++i) {
    if (i < first || i > last) out.Remove(ids[i]);
  }
  for (int i = first; i <= last; ++i) {
    if (ids[i] <= 0) build(i);
  }
  builtFirst = first;
  builtLast = last;
  if (last < first) {
    builtFirst = 0;
    builtLast = -1;
  }
}

}  // namespace

void TShapeInfo::RefreshSurfaces(const TViewFrame&, TSurfaceWriter&) {}
void TShapeInfo::AnimateSurfaces(const TViewFrame&, TSurfaceWriter&, uint32_t) {}

TLineInfo::TLineInfo(float x1, float y1, float x2, float y2, float z, float width, int32_t colour,
                     int32_t textureId)
    : X1(x1), Y1(y1), X2(x2), Y2(y2), Z(z), Width(width), Colour(colour), TextureId(textureId) {}

double TLineInfo::Length() const { return Distance(X1, Y1, X2, Y2); }

void TLineInfo::RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) {
  FlatStrip(out, view, X1, Y1, X2, Y2, Z, Width, Colour, TextureId, {&SurfaceId});
}

TReach TLineInfo::Reach() const {
  return {(X1 + X2) / 2.0, (Y1 + Y2) / 2.0,
          Length() / 2 + VisibleRange(std::min(Length(), static_cast<double>(Width))) +
              kReachSlack};
}

void TWallInfo::RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) {
  int32_t ids[5] = {SurfaceId, SideIds[0], SideIds[1], SideIds[2], SideIds[3]};
  WallBox(out, view, X1, Y1, X2, Y2, Z, Width, Colour, TextureId, ids);
  SurfaceId = ids[0];
  std::copy(ids + 1, ids + 5, SideIds);
}

TReach TWallInfo::Reach() const {
  // The camera must be within range of the box centre.
  return {(X1 + X2) / 2.0, (Y1 + Y2) / 2.0,
          VisibleRange(std::min(Length(), static_cast<double>(Width))) + kReachSlack};
}

TArcInfo::TArcInfo(float centreX, float centreY, float z, float radius, float width,
                   float fromAngle, float toAngle, int32_t colour, int32_t textureId)
    : CentreX(centreX),
      CentreY(centreY),
      Z(z),
      Radius(radius),
      Width(width),
      FromAngle(fromAngle),
      ToAngle(toAngle),
      Colour(colour),
      TextureId(textureId) {}

void TArcInfo::RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) {
  ArcStrip(out, view, CentreX, CentreY, Z, Radius, Width, FromAngle, ToAngle, Colour, TextureId,
           {PieceIds, nullptr, nullptr, kArcPieceIds});
}

TReach TArcInfo::Reach() const {
  return {CentreX, CentreY,
          std::fabs(Radius) + std::fabs(Width) / 2 + VisibleRange(Width) + kReachSlack};
}

TBlinkLightInfo::TBlinkLightInfo(float x, float y, float z, int32_t colour, uint32_t clock)
    : X(x), Y(y), Z(z), Colour(colour), PeriodStart(static_cast<int32_t>(clock)) {}

void TBlinkLightInfo::AnimateSurfaces(const TViewFrame& view, TSurfaceWriter& out,
                                      uint32_t clock) {
  WallBox(out, view, X, Y - kHousingHalfLength, X, Y + kHousingHalfLength, Z + kHousingDrop,
          kHousingThickness, kColourHousing, 0, HousingIds);
  const int32_t t = AdvancePeriod(PeriodStart, clock);
  if (t >= kBlinkOnTime) {
    out.Remove(LightId);
  } else {
    Light(out, view, {X, Y, Z}, Colour, LightId);
  }
}

TReach TBlinkLightInfo::Reach() const { return {X, Y, -1}; }  // nothing to refresh

TRunwayInfo::TRunwayInfo(float x1, float y1, float x2, float y2, float z, float width,
                         float approachOffset, float approachCourse, int32_t textureId,
                         std::string name, uint32_t clock)
    : TSturdyPaveInfo(x1, y1, x2, y2, z, width, 0, textureId),
      ApproachOffset(approachOffset),
      ApproachCourse(approachCourse),
      Name(std::move(name)),
      StrobePeriodStart(static_cast<int32_t>(clock)) {}

TPoint3 TRunwayInfo::ApproachPoint() const {
  const TVec2 course = HeadingVector(ApproachCourse);
  return {X1 - ApproachOffset * course.X, Y1 - ApproachOffset * course.Y, Z};
}

int TRunwayInfo::StripeCount(double length) {
  // Stripes end at d = 60, 110, 160, ... while d <= length - 90.
  if (!(length - 90 >= 60)) return 0;
  const double count = std::floor((length - 150) / 50) + 1;
  return count > 1e6 ? 1000000 : static_cast<int>(count);
}

void TRunwayInfo::RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) {
  FlatStrip(out, view, X1, Y1, X2, Y2, Z, Width, Colour, TextureId, {&SurfaceId});

  const double length = Length();
  if (!(length > 0)) return;
  const TVec2 u{(X2 - X1) / length, (Y2 - Y1) / length};
  const TVec2 right{u.Y, -u.X};
  const double z = Z - kMarkingLift;
  const auto mark = [&](int32_t& id, double lateral, double from, double to, double width,
                        int32_t colour) {
    const double x = X1 + lateral * right.X;
    const double y = Y1 + lateral * right.Y;
    FlatStrip(out, view, x + from * u.X, y + from * u.Y, x + to * u.X, y + to * u.Y, z, width,
              colour, 0, {&id});
  };

  const int stripes = std::min(StripeCount(length), kMaxRunwayStripes);
  for (int i = 0; i < stripes; ++i) {
    const double d = 60.0 + 50.0 * i;
    mark(StripeIds[i], 0, d + 30, d, 0.9, kColourMarking);
  }
  const double sides[2] = {-15.5, 15.5};
  for (int s = 0; s < 2; ++s) {
    mark(ThresholdIds[s], sides[s], 40, 10, 29, kColourThreshold);
    mark(ThresholdIds[2 + s], sides[s], length - 40, length - 10, 29, kColourThreshold);
    mark(AimingIds[s], sides[s] < 0 ? -15.0 : 15.0, 350, 300, 10, kColourMarking);
    mark(AimingIds[2 + s], sides[s] < 0 ? -15.0 : 15.0, length - 350, length - 300, 10,
         kColourMarking);
    const double lateral = sides[s] < 0 ? -11.3 : 11.3;
    mark(TouchdownIds[4 * s + 0], lateral, 175, 150, 2.6, kColourMarking);
    mark(TouchdownIds[4 * s + 1], lateral, 475, 450, 2.6, kColourMarking);
    mark(TouchdownIds[4 * s + 2], lateral, length - 175, length - 150, 2.6, kColourMarking);
    mark(TouchdownIds[4 * s + 3], lateral, length - 475, length - 450, 2.6, kColourMarking);
  }
}

void TRunwayInfo::AnimateSurfaces(const TViewFrame& view, TSurfaceWriter& out, uint32_t clock) {
  const double length = Length();
  const int32_t t = AdvancePeriod(StrobePeriodStart, clock);
  if (!(length > 0)) {
    out.Remove(StrobeId);
    for (int32_t& id : SlopeLightIds) out.Remove(id);
    return;
  }
  const TVec2 u{(X2 - X1) / length, (Y2 - Y1) / length};
  const TVec2 left{-u.Y, u.X};
  const TPoint3& camera = view.Position;

  // The strobe runs towards the threshold, only on a straight-in approach.
  const double heading = vehicle::Normalise360(vehicle::Atan2Deg(X2 - X1, Y2 - Y1));
  const double difference = vehicle::Normalise180(heading - ApproachCourse);
  if (std::fabs(difference) * units::kRadiansPerDegree * 2000.0 <= kStraightInLimit) {
    const int step = static_cast<int>(std::floor(static_cast<double>(t) / kBlinkPeriod * kStrobeSteps));
    const double before = kStrobeFarthest - kStrobeStep * step;
    const TPoint3 strobe{X1 - before * u.X, Y1 - before * u.Y, Z - kStrobeLift};
    const double dx = camera.X - strobe.X;
    const double dy = camera.Y - strobe.Y;
    const double along = -(dx * u.X + dy * u.Y);
    const double cross = dx * left.X + dy * left.Y;
    if (along >= std::fabs(cross) && along >= std::fabs(camera.Z - strobe.Z)) {
      Light(out, view, strobe, kColourStrobe, StrobeId);
    } else {
      out.Remove(StrobeId);
    }
  } else {
    out.Remove(StrobeId);
  }

  // Approach-slope lights: red below their angle, white above.
  const TPoint3 p{X1 + kSlopeLightAlong * u.X, Y1 + kSlopeLightAlong * u.Y, Z - kSlopeLightLift};
  const double dx = camera.X - p.X;
  const double dy = camera.Y - p.Y;
  const double dz = camera.Z - p.Z;
  const double distanceSquared = dx * dx + dy * dy + dz * dz;
  const double along = -(dx * u.X + dy * u.Y);
  const double cross = dx * left.X + dy * left.Y;
  const bool ahead = distanceSquared <= kLightRangeSquared && along >= std::fabs(cross) &&
                     along >= std::fabs(dz);
  const double k = std::sqrt(distanceSquared) / kSlopeLightScale;
  const double halfWidth = std::min(4.0, std::max(0.6, k)) / 2;
  const double halfHeight = std::min(4.0, std::max(0.4, k)) / 2;
  const double elevation = vehicle::Atan2Deg(-dz, along);
  for (int i = 0; i < 4; ++i) {
    int32_t& id = SlopeLightIds[i];
    if (!ahead) {
      out.Remove(id);
      continue;
    }
    const int32_t colour = kSlopeLightAngles[i] > elevation ? kColourRed : kColourWhite;
    const auto size = static_cast<float>(k);
    if (id > 0 && size == SlopeLightSizes[i] && colour == SlopeLightColours[i]) continue;
    out.Remove(id);
    const double cx = p.X + kSlopeLightOffsets[i] * left.X;
    const double cy = p.Y + kSlopeLightOffsets[i] * left.Y;
    const double ex = halfWidth * left.X;
    const double ey = halfWidth * left.Y;
    out.AddQuad(id, colour, 0, {cx + ex, cy + ey, p.Z - halfHeight},
                {cx - ex, cy - ey, p.Z - halfHeight}, {cx + ex, cy + ey, p.Z + halfHeight},
                {cx - ex, cy - ey, p.Z + halfHeight});
    SlopeLightSizes[i] = size;
    SlopeLightColours[i] = colour;
  }
}

TReach TRunwayInfo::Reach() const {
  // Marks lie up to 475 m from either end, even past the far end of a short
  // runway, and up to 30 m off the centre line.
  return {(X1 + X2) / 2.0, (Y1 + Y2) / 2.0, Length() / 2 + 475 + 30 + kMaxRange + kReachSlack};
}

TTaxiwayInfo::TTaxiwayInfo(float x1, float y1, float x2, float y2, float z, float width,
                           float startSetback, float startLeftRadius, float startRightRadius,
                           float endSetback, float endLeftRadius, float endRightRadius,
                           int32_t textureId)
    : TSturdyPaveInfo(x1, y1, x2, y2, z, width, 0, textureId),
      StartSetback(startSetback),
      StartLeftRadius(startLeftRadius),
      StartRightRadius(startRightRadius),
      EndSetback(endSetback),
      EndLeftRadius(endLeftRadius),
      EndRightRadius(endRightRadius) {}

void TTaxiwayInfo::RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) {
  const double length = Length();
  const TSegmentView seen =
      SegmentVisible(view, X1, Y1, X2, Y2, Z, VisibleRange(std::min(length, double{Width})),
                     Width / 2.0 + 10);
  if (!seen.Visible) {
    out.Remove(SurfaceId);
  }
  if (!(length > 0)) {
    out.Remove(CentreLineId);
    for (auto& fillet : FilletIds) {
      for (int32_t& id : fillet) out.Remove(id);
    }
    return;
  }
  const TVec2 u{(X2 - X1) / length, (Y2 - Y1) / length};
  const TVec2 left{-u.Y, u.X};

  if (seen.Visible) {
    const TVec2 o{left.X * Width / 2, left.Y * Width / 2};
    const TVec2 n{left.X * kOutlineFlare, left.Y * kOutlineFlare};
    const TVec2 flare{u.X * kOutlineFlare, u.Y * kOutlineFlare};
    const auto widen = [](float radius) { return radius > 0 ? 1.0 : 0.0; };
    const double sl = widen(StartLeftRadius), sr = widen(StartRightRadius);
    const double el = widen(EndLeftRadius), er = widen(EndRightRadius);
    const TPoint3 outline[8] = {
        {X1 + o.X + sl * n.X, Y1 + o.Y + sl * n.Y, Z},
        {X1 - o.X - sr * n.X, Y1 - o.Y - sr * n.Y, Z},
        {X1 + o.X + flare.X, Y1 + o.Y + flare.Y, Z},
        {X1 - o.X + flare.X, Y1 - o.Y + flare.Y, Z},
        {X2 + o.X - flare.X, Y2 + o.Y - flare.Y, Z},
        {X2 - o.X - flare.X, Y2 - o.Y - flare.Y, Z},
        {X2 + o.X + el * n.X, Y2 + o.Y + el * n.Y, Z},
        {X2 - o.X - er * n.X, Y2 - o.Y - er * n.Y, Z},
    };
    out.AddStrip(SurfaceId, Colour, TextureId, outline, 8);
  }

  const double z = Z - kLineLift;
  const TVec2 c1{X1 + StartSetback * u.X, Y1 + StartSetback * u.Y};
  const TVec2 c2{X2 - EndSetback * u.X, Y2 - EndSetback * u.Y};
  FlatStrip(out, view, c1.X, c1.Y, c2.X, c2.Y, z, kFilletLineWidth, kColourYellow, 0,
            {&CentreLineId});

  const double h = vehicle::Atan2Deg(u.X, u.Y);
  struct Fillet {
    float Radius;
    TVec2 From;   // centre-line end point
    double Side;  // +1 centre on the left, -1 on the right
    double A0, A1;
  };
  const Fillet fillets[4] = {
      {StartLeftRadius, c1, +1, h + 90, h + 180},
      {StartRightRadius, c1, -1, h - 180, h - 90},
      {EndLeftRadius, c2, +1, h, h + 90},
      {EndRightRadius, c2, -1, h - 90, h},
  };
  for (int i = 0; i < 4; ++i) {
    const Fillet& f = fillets[i];
    if (f.Radius > 0) {
      const double cx = f.From.X + f.Side * f.Radius * left.X;
      const double cy = f.From.Y + f.Side * f.Radius * left.Y;
      ArcStrip(out, view, cx, cy, z, f.Radius, kFilletLineWidth, f.A0, f.A1, kColourYellow, 0,
               {FilletIds[i], nullptr, nullptr, kFilletPieceIds});
    }
  }
}

TReach TTaxiwayInfo::Reach() const {
  const double fillet = std::max({StartLeftRadius, StartRightRadius, EndLeftRadius,
                                  EndRightRadius, 0.0f});
  return {(X1 + X2) / 2.0, (Y1 + Y2) / 2.0,
          Length() / 2 + std::fabs(Width) / 2 + kOutlineFlare + std::fabs(StartSetback) +
              std::fabs(EndSetback) + 2 * fillet + kMaxRange + kReachSlack};
}

TRaceCrsInfo::TRaceCrsInfo(float x1, float y1, float x2, float y2, float z, float width,
                           double startLineDistance, int32_t textureId)
    : TLineInfo(x1, y1, x2, y2, z, width, 0, textureId), StartLineDistance(startLineDistance) {}

void TRaceCrsInfo::RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) {
  TLineInfo::RefreshSurfaces(view, out);
  const double length = Length();
  if (StartLineDistance < 0 || !(length > 0)) return;
  const double ux = (X2 - X1) / length;
  const double uy = (Y2 - Y1) / length;
  const double from = StartLineDistance;
  const double to = StartLineDistance + kStartLineLength;
  FlatStrip(out, view, X1 + from * ux, Y1 + from * uy, X1 + to * ux, Y1 + to * uy,
            Z - kLineLift, Width, kColourMarking, 0, {&StartLineId});
}

TReach TRaceCrsInfo::Reach() const {
  // The start line may lie beyond the end of the strip.
  return {X1, Y1, Length() + std::max(0.0, StartLineDistance) + kStartLineLength + kMaxRange +
                      kReachSlack};
}

TRoadInfo::TRoadInfo(float x1, float y1, float x2, float y2, float z, float width,
                     int32_t textureId)
    : TLineInfo(x1, y1, x2, y2, z, width, 0, textureId) {}

int TRoadInfo::LastDashIndex(double length) {
  const double last = std::floor((length - kDashLength) / kDashPitch);
  if (!(last < 1e6)) return 1000000;
  return static_cast<int>(std::max(last, -1.0));
}

void TRoadInfo::RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) {
  TLineInfo::RefreshSurfaces(view, out);

  const double length = Length();
  const double z = Z - kLineLift;
  const TSegmentView seen =
      SegmentVisible(view, X1, Y1, X2, Y2, z, VisibleRange(kDashWidth), kDashMargin);
  int first = 0;
  int last = -1;
  if (seen.Visible) {
    first = static_cast<int>(std::ceil((length * seen.T0 - kDashLength) / kDashPitch));
    last = static_cast<int>(std::floor((length * seen.T1 - kDashLength) / kDashPitch));
    first = std::max(first, 0);
    last = std::min(last, kMaxRoadDashes - 1);
  }
  const double ux = (X2 - X1) / length;
  const double uy = (Y2 - Y1) / length;
  const double ox = -uy * kDashWidth / 2;
  const double oy = ux * kDashWidth / 2;
  UpdateRange(out, DashIds, FirstDash, LastDash, first, last, [&](int i) {
    const double ax = X1 + kDashPitch * i * ux;
    const double ay = Y1 + kDashPitch * i * uy;
    const double bx = ax + kDashLength * ux;
    const double by = ay + kDashLength * uy;
    out.AddQuad(DashIds[i], kColourMarking, 0, {ax + ox, ay + oy, z}, {ax - ox, ay - oy, z},
                {bx + ox, by + oy, z}, {bx - ox, by - oy, z});
  });
}

TReach TRoadInfo::Reach() const {
  return {(X1 + X2) / 2.0, (Y1 + Y2) / 2.0,
          Length() / 2 +
              std::max(VisibleRange(std::min(Length(), double{Width})), VisibleRange(kDashWidth)) +
              kReachSlack};
}

TRailwayInfo::TRailwayInfo(float startX, float startY, float startHeading, float curveRadius,
                           float endX, float endY, float endHeading, float trackZ,
                           int32_t textureId)
    : StartX(startX),
      StartY(startY),
      StartHeading(startHeading),
      CurveRadius(curveRadius),
      EndX(endX),
      EndY(endY),
      EndHeading(endHeading),
      TrackZ(trackZ),
      TextureId(textureId) {
  Layout(StartX, StartY, StartHeading, CurveRadius, EndX, EndY, EndHeading, layout_, nullptr);
}

bool TRailwayInfo::Layout(double startX, double startY, double startHeading,
                          double curveRadius, double endX, double endY, double endHeading,
                          TRailLayout& layout, std::string* problem) {
  const auto fail = [&](const char* why) {
    if (problem) *problem = why;
    layout = TRailLayout{};
    layout.FirstLength = Distance(startX, startY, endX, endY);
    layout.T1X = layout.T2X = endX;
    layout.T1Y = layout.T2Y = endY;
    return false;
  };
  layout = TRailLayout{};
  if (curveRadius < 0) return fail("the curve radius is negative");
  if (startHeading == endHeading) {
    layout.T1X = layout.T2X = endX;
    layout.T1Y = layout.T2Y = endY;
    layout.FirstLength = Distance(startX, startY, endX, endY);
  } else {
    const double r = curveRadius;
    const double turn = vehicle::Normalise180(endHeading - startHeading);
    const double side = turn >= 0 ? -90.0 : 90.0;
    const double a1 = vehicle::Normalise360(startHeading + side);
    const double a2 = vehicle::Normalise360(endHeading + side);
    const TVec2 d1 = HeadingVector(startHeading);
    const TVec2 d2 = HeadingVector(endHeading);
    const TVec2 r1 = HeadingVector(a1);
    const TVec2 r2 = HeadingVector(a2);
    // Both lines moved by r towards the inside of the curve cross at its centre.
    const TVec2 p1{startX - r * r1.X, startY - r * r1.Y};
    const TVec2 p2{endX - r * r2.X, endY - r * r2.Y};
    const double cross = d1.X * d2.Y - d1.Y * d2.X;
    if (std::fabs(cross) < 1e-9) {
      // Parallel lines have no centre between them: headings equal modulo
      // 360 (90 and 450) are as unusable as opposite ones.
      return fail(turn == 0
                      ? "the start and end headings differ by a whole turn: no curve joins them"
                      : "the start and end headings are opposite: no curve joins them");
    }
    const double along = ((p2.X - p1.X) * d2.Y - (p2.Y - p1.Y) * d2.X) / cross;
    layout.Curved = true;
    layout.KX = p1.X + along * d1.X;
    layout.KY = p1.Y + along * d1.Y;
    layout.T1X = layout.KX + r * r1.X;
    layout.T1Y = layout.KY + r * r1.Y;
    layout.T2X = layout.KX + r * r2.X;
    layout.T2Y = layout.KY + r * r2.Y;
    layout.Turn = turn;
    layout.ArcFrom = turn >= 0 ? a1 : a2;
    layout.ArcTo = turn >= 0 ? a2 : a1;
    layout.FirstLength = Distance(startX, startY, layout.T1X, layout.T1Y);
    layout.CurveLength = r * std::fabs(turn) * units::kRadiansPerDegree;
    layout.SecondLength = Distance(layout.T2X, layout.T2Y, endX, endY);
    for (double radius : {r - kRailOffset, r, r + kRailOffset}) {
      if (ArcPieceCount(radius, layout.ArcFrom, layout.ArcTo) > kRailCurvePieces) {
        return fail("the curve needs more than 180 pieces");
      }
    }
  }
  const double total = layout.FirstLength + layout.CurveLength + layout.SecondLength;
  if (!(total < kMaxSleepers)) return fail("the segment is 1000 m long or more");
  return true;
}

TRailwayInfo::TSleeperSpot TRailwayInfo::SleeperAt(double distance) const {
  const TRailLayout& l = layout_;
  const auto straight = [](double ax, double ay, double bx, double by, double fallbackHeading,
                           double d) {
    const double length = Distance(ax, ay, bx, by);
    TVec2 dir = length > 0 ? TVec2{(bx - ax) / length, (by - ay) / length}
                           : HeadingVector(fallbackHeading);
    return TSleeperSpot{ax + d * dir.X, ay + d * dir.Y, dir.X, dir.Y};
  };
  if (distance <= l.FirstLength || !l.Curved) {
    return straight(StartX, StartY, l.T1X, l.T1Y, StartHeading, distance);
  }
  const double onCurve = distance - l.FirstLength;
  if (onCurve <= l.CurveLength && CurveRadius > 0) {
    const double turned = onCurve / CurveRadius * units::kDegreesPerRadian;
    const double sign = l.Turn >= 0 ? 1.0 : -1.0;
    const double bearing = (l.Turn >= 0 ? l.ArcFrom : l.ArcTo) + sign * turned;
    const TVec2 radial = HeadingVector(bearing);
    const TVec2 along = HeadingVector(StartHeading + sign * turned);
    return {l.KX + CurveRadius * radial.X, l.KY + CurveRadius * radial.Y, along.X, along.Y};
  }
  return straight(l.T2X, l.T2Y, EndX, EndY, EndHeading, onCurve - l.CurveLength);
}

void TRailwayInfo::RefreshSleepers(const TViewFrame& view, TSurfaceWriter& out) {
  const TRailLayout& l = layout_;
  const double z = TrackZ + kSleeperDepth;
  const double total = l.FirstLength + l.CurveLength + l.SecondLength;
  double from = 1e300;  // m along the segment, hull of the visible parts
  double to = -1e300;
  const auto straightPart = [&](double ax, double ay, double bx, double by, double offset,
                                double length) {
    const TSegmentView seen =
        SegmentVisible(view, ax, ay, bx, by, z, kSleeperRange, kSleeperMargin);
    if (!seen.Visible) return;
    from = std::min(from, offset + seen.T0 * length);
    to = std::max(to, offset + seen.T1 * length);
  };
  straightPart(StartX, StartY, l.T1X, l.T1Y, 0, l.FirstLength);
  if (l.Curved) {
    straightPart(l.T2X, l.T2Y, EndX, EndY, l.FirstLength + l.CurveLength, l.SecondLength);
  }

  // On the curve: the bearings from K whose point of the circle lies within
  // range, cut to the curve's own span, then each sleeper against the planes.
  const double r = CurveRadius;
  if (l.Curved && r > 0 && l.CurveLength > 0) {
    const double cx = view.Position.X - l.KX;
    const double cy = view.Position.Y - l.KY;
    const double cz = view.Position.Z - z;
    const double horizontal = std::hypot(cx, cy);
    const double reachSquared = kSleeperRange * kSleeperRange;
    double windowStart = 0;
    double windowEnd = 0;
    bool any = false;
    if (horizontal <= 0) {
      any = r * r + cz * cz <= reachSquared;
      windowStart = l.ArcFrom;
      windowEnd = l.ArcTo;
    } else {
      const double cosHalf = (horizontal * horizontal + r * r + cz * cz - reachSquared) /
                             (2 * r * horizontal);
      if (cosHalf <= 1) {
        const double half =
            cosHalf < -1 ? 180.0 : std::acos(cosHalf) * units::kDegreesPerRadian;
        const double towards = vehicle::Atan2Deg(cx, cy);
        windowStart = vehicle::Normalise360(towards - half);
        windowEnd = vehicle::Normalise360(towards + half);
        any = half >= 180.0 ? true
                            : vehicle::ClipAngleWindow(windowStart, windowEnd, l.ArcFrom, l.ArcTo);
        if (half >= 180.0) {
          windowStart = l.ArcFrom;
          windowEnd = l.ArcTo;
        }
      }
    }
    if (any) {
      const double span = PositiveDegrees(l.ArcTo - l.ArcFrom);
      double startOffset = PositiveDegrees(windowStart - l.ArcFrom);
      if (startOffset > span) startOffset = 0;  // rounding just below the span's start
      double width = PositiveDegrees(windowEnd - windowStart);
      if (width == 0 && windowEnd != windowStart) width = 360;
      const double endOffset = std::min(startOffset + width, span);
      // Distance run is measured from T1, which is ArcFrom on a right-hand
      // curve and ArcTo on a left-hand one.
      const double metresPerDegree = r * units::kRadiansPerDegree;
      double curveFrom = l.Turn >= 0 ? startOffset : span - endOffset;
      double curveTo = l.Turn >= 0 ? endOffset : span - startOffset;
      curveFrom = l.FirstLength + curveFrom * metresPerDegree;
      curveTo = l.FirstLength + curveTo * metresPerDegree;
      int firstInView = -1;
      int lastInView = -2;
      for (int i = static_cast<int>(std::ceil(curveFrom));
           i <= static_cast<int>(std::floor(curveTo)) && i < kMaxSleepers; ++i) {
        const TSleeperSpot spot = SleeperAt(i);
        bool inside = true;
        for (const TPoint3& n : view.Planes) {
          if (n.X * (spot.X - view.Position.X) + n.Y * (spot.Y - view.Position.Y) +
                  n.Z * (z - view.Position.Z) + kSleeperMargin <
              0) {
            inside = false;
            break;
          }
        }
        if (!inside) continue;
        if (firstInView < 0) firstInView = i;
        lastInView = i;
      }
      if (firstInView >= 0) {
        from = std::min(from, static_cast<double>(firstInView));
        to = std::max(to, static_cast<double>(lastInView));
      }
    }
  }

  int first = 0;
  int last = -1;
  if (from <= to) {
    first = std::max(0, static_cast<int>(std::ceil(from)));
    last = std::min({static_cast<int>(std::floor(std::min(to, total))), kMaxSleepers - 1});
  }
  UpdateRange(out, SleeperIds, FirstSleeper, LastSleeper, first, last, [&](int i) {
    const TSleeperSpot s = SleeperAt(i);
    const double ax = s.AlongX * kSleeperHalfLength, ay = s.AlongY * kSleeperHalfLength;
    const double nx = s.AlongY * kSleeperHalfSpan, ny = -s.AlongX * kSleeperHalfSpan;
    out.AddQuad(SleeperIds[i], kColourSleeper, 0, {s.X - ax + nx, s.Y - ay + ny, z},
                {s.X - ax - nx, s.Y - ay - ny, z}, {s.X + ax + nx, s.Y + ay + ny, z},
                {s.X + ax - nx, s.Y + ay - ny, z});
  });
}

void TRailwayInfo::RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) {
  const TRailLayout& l = layout_;
  const double bedZ = TrackZ + kBedDepth;
  const double railZ = TrackZ - kRailLift;
  constexpr int kFirstStraight = kRailCurvePieces;
  constexpr int kSecondStraight = kRailCurvePieces + 1;

  // One piece of track: the bed and the two rails, each offset sideways.
  const auto straight = [&](int piece, double ax, double ay, double bx, double by,
                            double heading) {
    FlatStrip(out, view, ax, ay, bx, by, bedZ, kBedWidth, 0, TextureId, {&BedIds[piece]});
    const TVec2 along = HeadingVector(heading);
    const TVec2 right{along.Y, -along.X};
    for (int rail = 0; rail < 2; ++rail) {
      const double offset = rail == 0 ? -kRailOffset : kRailOffset;
      auto& ids = RailIds[rail];
      FlatStrip(out, view, ax + offset * right.X, ay + offset * right.Y, bx + offset * right.X,
                by + offset * right.Y, railZ, kRailWidth, kColourRail, 0,
                {&ids[0][piece], &ids[1][piece], &ids[2][piece]}, kRailSideHeight,
                kColourRailSide);
    }
  };

  if (!l.Curved) {
    straight(kFirstStraight, StartX, StartY, EndX, EndY, StartHeading);
  } else {
    straight(kFirstStraight, StartX, StartY, l.T1X, l.T1Y, StartHeading);
    const double r = CurveRadius;
    ArcStrip(out, view, l.KX, l.KY, bedZ, r, kBedWidth, l.ArcFrom, l.ArcTo, 0, TextureId,
             {BedIds, nullptr, nullptr, kRailCurvePieces});
    for (int rail = 0; rail < 2; ++rail) {
      const double offset = rail == 0 ? -kRailOffset : kRailOffset;
      // The right rail is on the inside of a right-hand curve.
      const double radius = l.Turn >= 0 ? r - offset : r + offset;
      auto& ids = RailIds[rail];
      ArcStrip(out, view, l.KX, l.KY, railZ, radius, kRailWidth, l.ArcFrom, l.ArcTo, kColourRail,
               0, {ids[0], ids[1], ids[2], kRailCurvePieces}, kRailSideHeight, kColourRailSide);
    }
    straight(kSecondStraight, l.T2X, l.T2Y, EndX, EndY, EndHeading);
  }
  RefreshSleepers(view, out);
}

TReach TRailwayInfo::Reach() const {
  const TRailLayout& l = layout_;
  double minX = std::min({double{StartX}, double{EndX}, l.T1X, l.T2X});
  double maxX = std::max({double{StartX}, double{EndX}, l.T1X, l.T2X});
  double minY = std::min({double{StartY}, double{EndY}, l.T1Y, l.T2Y});
  double maxY = std::max({double{StartY}, double{EndY}, l.T1Y, l.T2Y});
  if (l.Curved) {
    const double r = std::fabs(CurveRadius) + kBedWidth;
    minX = std::min(minX, l.KX - r);
    maxX = std::max(maxX, l.KX + r);
    minY = std::min(minY, l.KY - r);
    maxY = std::max(maxY, l.KY + r);
  }
  return {(minX + maxX) / 2, (minY + maxY) / 2,
          std::hypot(maxX - minX, maxY - minY) / 2 + kBedWidth + kMaxRange + kReachSlack};
}

TBannerInfo::TBannerInfo(float x1, float y1, float x2, float y2, float topZ, int32_t textureId,
                         std::string text)
    : X1(x1), Y1(y1), X2(x2), Y2(y2), TopZ(topZ), TextureId(textureId), Text(std::move(text)) {}

void TBannerInfo::RefreshSurfaces(const TViewFrame& view, TSurfaceWriter& out) {
  const double length = Distance(X1, Y1, X2, Y2);
  const double range = VisibleRange(std::min(length, -double{TopZ}));
  if (!SegmentVisible(view, X1, Y1, X2, Y2, TopZ, range, 10 - double{TopZ}).Visible) {
    out.Remove(SurfaceId);
    return;
  }
  out.AddQuad(SurfaceId, 0, TextureId, {X1, Y1, TopZ}, {X2, Y2, TopZ}, {X1, Y1, 0.2},
              {X2, Y2, 0.2});
}

TReach TBannerInfo::Reach() const {
  const double length = Distance(X1, Y1, X2, Y2);
  return {(X1 + X2) / 2.0, (Y1 + Y2) / 2.0,
          length / 2 + std::max(0.0, VisibleRange(std::min(length, -double{TopZ}))) +
              kReachSlack};
}

}  // namespace velmora::world
