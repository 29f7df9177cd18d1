#include "cockpit/instruments.h"

#include <algorithm>
#include <cmath>

#include "cockpit/instrument_support.h"
#include "pilot/train_protection.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::cockpit {
namespace {

using detail::Bounded;
using detail::Format;
using detail::Px;
using detail::Stroke;
using detail::TPaintSession;
using vehicle::CosDeg;
using vehicle::SinDeg;

constexpr uint32_t kTapeGrey = 0x505050;
constexpr uint32_t kSymbolGrey = 0xCCCCCC;
constexpr uint32_t kSky = 0xDE9000;       // blue
constexpr uint32_t kGround = 0x145090;    // brown
constexpr uint32_t kNeedle = 0x7F84B1;
constexpr uint32_t kDialScale = 0xDDDDDD;
constexpr uint32_t kGearCaption = 0xEFAD00;
constexpr uint32_t kGearTransit = 0xAAAAAA;

constexpr int32_t kCharWidth = 5;         // px per character of right-aligned labels
constexpr int32_t kSmallFont = 10;        // px, labels
constexpr int32_t kLargeFont = 13;        // px, readouts

// Font sizes in points of the power panel, as pixel heights at 96 dots per inch.
int32_t PointsToPixels(int32_t points) { return (points * 96 + 36) / 72; }

struct TBox {
  int32_t Left, Top, Right, Bottom;
};

// Flight display layout (px on ListBoxPFD).
constexpr TBox kSpeedUpper{8, 8, 40, 66};
constexpr TBox kSpeedBeside{31, 66, 40, 95};
constexpr TBox kSpeedLower{8, 95, 40, 153};
constexpr TBox kAltUpper{201, 8, 233, 66};
constexpr TBox kAltBeside{201, 66, 209, 95};
constexpr TBox kAltLower{201, 95, 233, 153};
constexpr TBox kReadoutBand{0, 67, 1000, 94};
constexpr TBox kGroundSpeedBox{10, 153, 40, 161};
// The radio altitude sits above the attitude indicator, which covers the
// display from row 8 between columns 48 and 193; four digits need the width.
constexpr TBox kRadioAltitudeBox{160, 0, 193, 8};
constexpr int32_t kReadoutDigitWidth = 6;  // px: the form's font sets digits 5.5 px apart at 10 px
constexpr int32_t kCentreY = 80;          // px: the tapes' present value

constexpr TPixel kVsiOutline[] = {{239, 11}, {248, 11}, {258, 41}, {258, 119}, {248, 149},
                                  {239, 149}, {239, 107}, {246, 100}, {246, 60}, {239, 53}};
constexpr TPixel kSpeedReadout[] = {{4, 66},  {30, 66}, {30, 76}, {34, 80},
                                    {30, 84}, {30, 94}, {4, 94}};
constexpr TPixel kAltReadout[] = {{209, 66}, {242, 66}, {242, 94}, {209, 94},
                                  {209, 84}, {205, 80}, {209, 76}};

constexpr double kSpeedScale = 1.8;       // px per kt on the tape
constexpr double kAltScale = 0.26;        // px per ft on the tape
constexpr double kSpeedRoll = 13;         // px per kt of the rolling digits
constexpr double kAltRoll = 0.65;         // px per ft of the rolling digits
constexpr double kGroundSpeedShown = 45;  // kt: the GS text shows up to this
constexpr double kRadioAltitudeShown = 2500;  // ft

void ClippedText(TCanvas& c, const TBox& b, int32_t x, int32_t y, std::string_view text) {
  c.ClippedText(b.Left, b.Top, b.Right, b.Bottom, x, y, text);
}

void FillBox(TCanvas& c, const TBox& b) { c.FillRect(b.Left, b.Top, b.Right, b.Bottom); }

int32_t RightAligned(int32_t anchor, const detail::TText& t) { return anchor - kCharWidth * t.Length; }

// Vertical speed scale: 500 ft/min at 14 px, compressing towards ±6000.
int32_t VsiY(double fpm) {
  return kCentreY - Px(14 * std::atan(fpm / 1790) / std::atan(0.27932960893854747));
}

// Tens of a non-negative integer value, and so on.
int64_t Digit(int64_t v, int64_t place) { return (v / place) % 10; }

int64_t SignOf(int64_t v) { return (v > 0) - (v < 0); }

void SpeedTape(TCanvas& c, double airspeed) {
  const int64_t base = 10 * static_cast<int64_t>(std::floor(airspeed / 10));
  for (int64_t n = std::max<int64_t>(base - 40, 0); n <= base + 50; n += 10) {
    const int32_t y = Px(kCentreY - (static_cast<double>(n) - airspeed) * kSpeedScale);
    if (y >= kSpeedUpper.Top && y < kSpeedLower.Bottom) c.Line(35, y, 40, y);
    if (n % 20 != 0) continue;
    const detail::TText t = Format("%lld", static_cast<long long>(n));
    const int32_t x = RightAligned(32, t);
    ClippedText(c, y >= kCentreY ? kSpeedLower : kSpeedUpper, x, y - 5, t.View());
    if (std::abs(y - kCentreY) < 21) ClippedText(c, kSpeedBeside, x, y - 5, t.View());
  }
}

void AltitudeTape(TCanvas& c, double altitude) {
  const int64_t base = 100 * static_cast<int64_t>(std::floor(altitude / 100));
  for (int64_t n = base - 300; n <= base + 400; n += 100) {
    const int32_t y = Px(kCentreY - (static_cast<double>(n) - altitude) * kAltScale);
    if (y >= kAltUpper.Top && y < kAltLower.Bottom) c.Line(201, y, 205, y);
    if (n % 200 != 0) continue;
    const detail::TText t = Format("%.3lld", static_cast<long long>(n));
    const int32_t x = RightAligned(232, t);
    ClippedText(c, y >= kCentreY ? kAltLower : kAltUpper, x, y - 4, t.View());
    if (std::abs(y - kCentreY) < 21) ClippedText(c, kAltBeside, x, y - 4, t.View());
  }
}

void VerticalSpeedScale(TCanvas& c, double verticalSpeed) {
  c.Line(246, kCentreY, 251, kCentreY);
  for (int v = -6000; v <= 6000; v += 500) {
    const int a = std::abs(v);
    if (!(a <= 2000 || a == 3000 || a == 6000)) continue;
    const int32_t y = VsiY(v);
    c.Line(246, y, 249, y);
    if (a % 1000 == 0 && a != 3000) c.Text(242, y - 5, Format("%d", a / 1000).View());
  }
  // The pointer from the scale to the pivot at the right edge.
  const int32_t y = std::clamp(VsiY(verticalSpeed), 11, 149);
  const int32_t y2 = kCentreY + Px((13.0 * y - 1040) / 24);
  c.Line(247, y, 258, y2);
  c.Line(258, y2, 259, y2);
}

void SpeedReadout(TCanvas& c, double airspeed) {
  c.SetBrush(kBlack, false);
  c.SetPen(kWhite, 1);
  c.Polygon(kSpeedReadout, static_cast<int>(std::size(kSpeedReadout)));
  c.SetBrush(kBlack, true);
  c.SetFont(kWhite, kLargeFont);
  const int64_t b = static_cast<int64_t>(std::floor(airspeed));
  for (int64_t i = std::max<int64_t>(b - 1, 0); i <= b + 2; ++i) {
    const int32_t y = Px(kCentreY - (static_cast<double>(i) - airspeed) * kSpeedRoll);
    const int64_t other = i - SignOf(i - b);
    ClippedText(c, kReadoutBand, 22, y - 6, Format("%.1lld", static_cast<long long>(i % 10)).View());
    if (i == b || i / 10 != other / 10) {
      const int32_t ty = (i == b && i % 10 != 9) ? kCentreY - 6 : y - 6;
      ClippedText(c, kReadoutBand, 15, ty, Format("%lld", static_cast<long long>(Digit(i, 10))).View());
    }
    if (i == b || i / 100 != other / 100) {
      const int32_t ty = (i == b && i % 100 < 90) ? kCentreY - 6 : y - 6;
      ClippedText(c, kReadoutBand, 8, ty, Format("%lld", static_cast<long long>(Digit(i, 100))).View());
    }
  }
}

void GroundSpeedAndRadioAltitude(TCanvas& c, double groundSpeed, double height) {
  c.SetBrush(kBlack, false);
  c.SetFont(kWhite, kSmallFont);
  const detail::TText gs = (height > 0 || std::fabs(groundSpeed) > kGroundSpeedShown)
                               ? Format("        ")
                               : Format("GS  %.0f  ", std::fabs(groundSpeed));
  ClippedText(c, kGroundSpeedBox, kGroundSpeedBox.Left, kGroundSpeedBox.Top - 1, gs.View());
  // Right-aligned a pixel inside the box, the digits' tops on its first row;
  // the box is filled first, so an empty text clears it.
  const detail::TText ra = height > kRadioAltitudeShown ? detail::TText{} : Format("%.0f", height);
  ClippedText(c, kRadioAltitudeBox, kRadioAltitudeBox.Right - 1 - kReadoutDigitWidth * ra.Length,
              kRadioAltitudeBox.Top - 1, ra.View());
}

void AltitudeReadout(TCanvas& c, double altitude) {
  c.SetBrush(kBlack, false);
  c.SetPen(kWhite, 1);
  c.Polygon(kAltReadout, static_cast<int>(std::size(kAltReadout)));
  c.SetBrush(kBlack, true);
  const int64_t b = 20 * static_cast<int64_t>(std::floor(altitude / 20));
  for (int64_t n = std::max<int64_t>(b - 20, 0); n <= b + 40; n += 20) {
    const int32_t y = Px(kCentreY - (static_cast<double>(n) - altitude) * kAltRoll);
    const int64_t other = n - 20 * SignOf(n - b);
    const bool current = n == b;
    c.SetFont(kWhite, kSmallFont);
    ClippedText(c, kReadoutBand, 231, y - 5, Format("%.2lld", static_cast<long long>(n % 100)).View());
    if (current || n / 100 != other / 100) {
      const int32_t ty = (current && n % 100 < 80) ? kCentreY - 5 : y - 5;
      ClippedText(c, kReadoutBand, 226, ty, Format("%lld", static_cast<long long>(Digit(n, 100))).View());
    }
    c.SetFont(kWhite, kLargeFont);
    if (current || n / 1000 != other / 1000) {
      const int32_t ty = (current && n % 1000 < 900) ? kCentreY - 6 : y - 6;
      ClippedText(c, kReadoutBand, 219, ty, Format("%lld", static_cast<long long>(Digit(n, 1000))).View());
    }
    if (current || n / 10000 != other / 10000) {
      const int32_t yc = (current && n % 10000 < 9000) ? kCentreY : y;
      if (n >= 10000) {
        ClippedText(c, kReadoutBand, 212, yc - 6,
                    Format("%lld", static_cast<long long>(Digit(n, 10000))).View());
      } else {
        // Below 10 000 ft a green bar holds the ten-thousands place.
        const int32_t top = std::max(yc - 6, kReadoutBand.Top);
        const int32_t bottom = std::min(yc + 7, kReadoutBand.Bottom);
        if (bottom > top) {
          c.SetBrush(kGreen, false);
          c.FillRect(211, top, 217, bottom);
          c.SetBrush(kBlack, true);
        }
      }
    }
  }
}

void VerticalSpeedNumber(TCanvas& c, double verticalSpeed) {
  c.SetBrush(kBlack, false);
  c.FillRect(233, 150, 265, 160);
  c.SetFont(kWhite, kSmallFont);
  const detail::TText t = Format("%lld", static_cast<long long>(std::llround(std::fabs(verticalSpeed))));
  c.Text(RightAligned(259, t), 150, t.View());
}

// Attitude indicator layout (px on ListBoxIndicator).
constexpr int32_t kDial = 72;  // centre x and y
constexpr int32_t kEdge = 144;

constexpr TPixel kCornerMasks[4][3] = {{{0, 0}, {3, 0}, {0, 3}},
                                       {{145, 0}, {141, 0}, {145, 4}},
                                       {{0, 145}, {4, 145}, {0, 141}},
                                       {{145, 145}, {140, 145}, {145, 140}}};
constexpr TPixel kBankIndex[] = {{68, -1}, {72, 8}, {76, -1}};
constexpr TPixel kInnerSquare[] = {{70, 70}, {74, 70}, {74, 74}, {70, 74}};
constexpr TPixel kOuterSquare[] = {{69, 69}, {75, 69}, {75, 75}, {69, 75}};
constexpr TPixel kLeftWing[] = {{48, 70}, {15, 70}, {15, 74}, {44, 74}, {44, 84}, {48, 84}};
constexpr TPixel kRightWing[] = {{96, 70}, {129, 70}, {129, 74}, {100, 74}, {100, 84}, {96, 84}};

// The sky pointer turns with the bank: radius r, angle a (deg) mirrored.
TPixel Pointer(double r, double a) { return {kDial - Px(r * SinDeg(a)), kDial - Px(r * CosDeg(a))}; }

}  // namespace

void DrawPrimaryFlightDisplay(TCanvas& pfd, TCanvas& indicator, bool fighter, double pitch,
                              double bank, double airspeed, double groundSpeed, double altitude,
                              double height, double verticalSpeed) {
  airspeed = std::max(0.0, Bounded(airspeed));
  groundSpeed = Bounded(groundSpeed);
  altitude = Bounded(altitude);
  height = Bounded(height);
  verticalSpeed = Bounded(verticalSpeed);
  {
    TPaintSession session(pfd);
    // Tape backgrounds and the vertical speed scale.
    pfd.SetPen(kWhite, 1);
    pfd.SetBrush(kTapeGrey, false);
    for (const TBox& b : {kSpeedUpper, kSpeedBeside, kSpeedLower, kAltUpper, kAltBeside, kAltLower}) {
      FillBox(pfd, b);
    }
    pfd.Polygon(kVsiOutline, static_cast<int>(std::size(kVsiOutline)));
    pfd.SetBrush(kBlack, true);
    pfd.SetPen(kWhite, 1);
    pfd.SetFont(kWhite, kSmallFont);

    SpeedTape(pfd, airspeed);
    AltitudeTape(pfd, altitude);
    VerticalSpeedScale(pfd, verticalSpeed);
    SpeedReadout(pfd, airspeed);
    GroundSpeedAndRadioAltitude(pfd, groundSpeed, height);
    AltitudeReadout(pfd, altitude);
    VerticalSpeedNumber(pfd, verticalSpeed);
  }
  DrawAttitude(indicator, fighter, pitch, bank);
}

void DrawAttitude(TCanvas& c, bool fighter, double pitch, double bank) {
  TPaintSession session(c);
  const double scale = fighter ? 40 : 10;           // deg between ladder labels
  const double p = Bounded(pitch) * 32 / scale;     // px the horizon moves down
  const double sinB = SinDeg(Bounded(bank)), cosB = CosDeg(Bounded(bank));

  // Sky and ground, split at the horizon through (72 + p·sin, 72 + p·cos).
  TPixel a[4], b[4];
  bool skyFirst;
  TPixel h1, h2;
  if (std::fabs(sinB) >= std::fabs(cosB)) {
    const int32_t xt = Px(p * sinB - (cosB / sinB) * (-kDial - p * cosB)) + kDial;
    const int32_t xb = Px(p * sinB - (cosB / sinB) * (kDial - p * cosB)) + kDial;
    h1 = {xt, 0};
    h2 = {xb, kEdge};
    a[0] = h1, a[1] = h2, a[2] = {0, kEdge}, a[3] = {0, 0};
    b[0] = h1, b[1] = h2, b[2] = {kEdge, kEdge}, b[3] = {kEdge, 0};
    skyFirst = sinB > 0;
  } else {
    const int32_t yl = Px(p * cosB - (sinB / cosB) * (-kDial - p * sinB)) + kDial;
    const int32_t yr = Px(p * cosB - (sinB / cosB) * (kDial - p * sinB)) + kDial;
    h1 = {0, yl};
    h2 = {kEdge, yr};
    a[0] = h1, a[1] = h2, a[2] = {kEdge, 0}, a[3] = {0, 0};
    b[0] = h1, b[1] = h2, b[2] = {kEdge, kEdge}, b[3] = {0, kEdge};
    skyFirst = cosB > 0;
  }
  const uint32_t first = skyFirst ? kSky : kGround, second = skyFirst ? kGround : kSky;
  c.SetPen(first, 1);
  c.SetBrush(first, false);
  c.Polygon(a, 4);
  c.SetPen(second, 1);
  c.SetBrush(second, false);
  c.Polygon(b, 4);

  // Corner masks, bank index, centre marks and the horizon line.
  c.SetPen(kBlack, 1);
  c.SetBrush(kBlack, false);
  for (const auto& mask : kCornerMasks) c.Polygon(mask, 3);
  c.SetPen(kWhite, 1);
  c.SetBrush(kWhite, false);
  c.Polygon(kBankIndex, 3);
  c.SetBrush(kBlack, true);
  c.SetFont(kWhite, kSmallFont);
  c.SetPen(kSymbolGrey, 1);
  c.Polygon(kInnerSquare, 4);
  c.Polygon(kOuterSquare, 4);
  Stroke(c, 1, h1.X, h1.Y, h2.X, h2.Y);

  // Sky pointer.
  c.SetPen(kWhite, 1);
  const double phi = Bounded(bank);
  const TPixel left = Pointer(56, phi - 7.13), tip = Pointer(63, phi), right = Pointer(56, phi + 7.13);
  const TPixel triangle[] = {left, tip, right};
  c.Polygon(triangle, 3);
  const TPixel bar[] = {left, Pointer(51, phi - 7.8), Pointer(51, phi + 7.8), right};
  c.Polyline(bar, 4);

  // Pitch ladder, fixed on the glass.
  const int top = fighter ? 6 : 9;
  for (int i = -6; i <= top; ++i) {
    const int32_t half = i % 4 == 0 ? 28 : (i % 2 == 0 ? 14 : 7);
    const int32_t y = kDial + 8 * i;
    c.Line(kDial - half, y, kDial + 1 + half, y);
    if (i != 0 && i % 4 == 0) {
      const detail::TText t = Format("%d", static_cast<int>(std::abs(i) / 4 * scale));
      c.Text(kDial - half - 12, y - 5, t.View());
      c.Text(kDial + 3 + half, y - 5, t.View());
    }
  }

  // Bank scale: 10°, 20°, 30° and 45° each side; all round for fighters.
  for (int j = -18; j <= 17; ++j) {
    double angle = 10.0 * j;
    if (!fighter) {
      if (std::abs(j) > 4) continue;
      if (std::abs(j) == 4) angle = j > 0 ? 45 : -45;
    }
    const double outer = j % 3 == 0 ? 75 : 70;
    Stroke(c, 1, kDial + Px(outer * SinDeg(angle)), kDial - Px(outer * CosDeg(angle)),
           kDial + Px(64 * SinDeg(angle)), kDial - Px(64 * CosDeg(angle)));
  }

  // The aircraft symbol.
  c.SetBrush(kBlack, false);
  c.SetPen(kSymbolGrey, 1);
  c.Polygon(kLeftWing, static_cast<int>(std::size(kLeftWing)));
  c.Polygon(kRightWing, static_cast<int>(std::size(kRightWing)));
}

namespace {

// Speed gauge layout (px on ListBoxIndicator).
constexpr double kDegreesPerKmh = 1.3846153846153846;
constexpr double kScaleStart = -131.54;   // deg: 0 km/h
constexpr double kScaleEnd = 131.54;      // deg: 190 km/h
constexpr double kScaleTopKmh = 190;

// Dial angle of speed v (m/s): 0 km/h at -131.54°, 130 km/h straight down.
double DialAngle(double v) {
  return (units::kKmhPerMetrePerSecond * v - 30) * kDegreesPerKmh - 90;
}

double KmhAngle(double kmh) { return (kmh - 30) * kDegreesPerKmh - 90; }

TPixel Dial(double r, double a) { return {kDial + Px(r * SinDeg(a)), kDial - Px(r * CosDeg(a))}; }

void NeedleSegment(TCanvas& c, int32_t width, TPixel from, TPixel to) {
  c.SetPen(kNeedle, width);
  c.Line(from.X, from.Y, to.X, to.Y);
}

// Power panel layout: the gear indicator's frame (px on ListBoxPower).
constexpr TBox kGearBox{17, 68, 48, 78};

}  // namespace

bool DrawSpeedGauge(TCanvas& c, double limit, double v, uint8_t replayMode) {
  TPaintSession session(c);
  const double theta = DialAngle(Bounded(v));
  const TPixel back{kDial - Px(8 * SinDeg(theta)), kDial + Px(8 * CosDeg(theta))};

  // Wipe the last frame's needle, then the needle body.
  c.SetBrush(kBlack, true);
  const int32_t wipeWidth = (replayMode == 1 || replayMode == 5) ? 60 : 15;
  c.SetPen(kBlack, wipeWidth);
  const TPixel wipeEnd = Dial(64, theta);
  Stroke(c, wipeWidth, back.X, back.Y, wipeEnd.X, wipeEnd.Y);
  NeedleSegment(c, 3, back, Dial(46, theta));
  NeedleSegment(c, 2, Dial(46, theta), Dial(60, theta));

  // The band of the limit arcs.
  c.SetPen(kBlack, 4);
  c.Ellipse(2, 2, 143, 143);
  const double caution = pilot::CautionSpeed(limit);
  if (limit >= pilot::kLowestSpeedLimit) {
    const double ends[3] = {KmhAngle(std::min(kScaleTopKmh, 3.6 * std::max(0.0, limit))) + 0.8,
                            KmhAngle(std::min(kScaleTopKmh, 3.6 * caution)) + 0.8, kScaleEnd};
    const uint32_t colours[3] = {kGreen, kYellow, kRed};
    double from = kScaleStart;
    for (int k = 0; k < 3; ++k) {
      if (ends[k] >= from + 1) {
        // The canvas draws anticlockwise, so from the arc's end back to its start.
        const TPixel e = Dial(70, ends[k]), s = Dial(70, from);
        c.SetPen(colours[k], 3);
        c.Arc(2, 2, 143, 143, e.X, e.Y, s.X, s.Y);
      }
      from = ends[k];
    }
  }

  // The scale: a tick every 5 km/h, a label every 20.
  c.SetPen(kDialScale, 2);
  c.SetFont(kDialScale, kSmallFont);
  c.Ellipse(4, 4, 141, 141);
  for (int i = 0; i <= 38; ++i) {
    const double a = (i - 6) * 6.923076923076923 - 90;
    const int32_t inner = i % 2 != 0 ? 62 : 60;
    c.SetPen(kDialScale, 63 - inner);
    const TPixel from = Dial(inner, a), to = Dial(67, a);
    Stroke(c, 63 - inner, from.X, from.Y, to.X, to.Y);
    if (i % 4 == 0) {
      const detail::TText t = Format("%d", 5 * i);
      c.Text(73 + Px(50 * SinDeg(a)) - 3 * t.Length, 65 - Px(50 * CosDeg(a)), t.View());
    }
  }

  // The needle's tip over the scale.
  NeedleSegment(c, 2, Dial(46, theta), Dial(60, theta));
  const TPixel tipEnd = Dial(61, theta);
  c.SetPen(kNeedle, 1);
  const TPixel tipStart = Dial(60, theta);
  Stroke(c, 1, tipStart.X, tipStart.Y, tipEnd.X, tipEnd.Y);
  return v > caution;
}

void DrawPowerPanel(TCanvas& c, double gear, double flap, double flapSet, double ratio) {
  TPaintSession session(c);
  gear = Bounded(gear);
  flap = Bounded(flap, 1e4);
  flapSet = Bounded(flapSet, 1e4);
  ratio = Bounded(ratio, 1e4);
  const bool aircraft = flapSet >= 0;
  const int32_t g = aircraft ? 5 : 19, f = aircraft ? 16 : 30;  // bar's left and right

  // Scale: ticks every tenth, longer at 0, 50 and 100 %.
  c.SetPen(kWhite, 1);
  c.SetBrush(kWhite, false);
  for (int i = 0; i <= 10; ++i) {
    const int32_t y = 151 + Px(-141.0 * i / 10);
    const int32_t length = i % 5 == 0 ? 5 : 3;
    c.Rectangle(g - length, y, g, y + 1);
    c.Rectangle(f, y, f + length, y + 1);
  }

  // The bar, outlined by the white pen so that an empty one shows, and the brake lamp.
  const int32_t y1 = ratio < 0 ? 151 : 151 + Px(-141 * ratio);
  c.SetBrush(kBlack, false);
  c.Rectangle(g, 10, f, y1 + 1);
  c.SetBrush(kWhite, false);
  c.Rectangle(g, y1, f, 152);
  c.SetBrush(ratio < 0 ? kRed : kBlack, false);
  c.FillRect(g, 152, f, 158);
  if (!aircraft) return;

  // Flap gauge, 2 px per degree, outlined like the bar.
  const int32_t h = Px(flap / 30 * 60);
  c.SetBrush(kWhite, false);
  c.Rectangle(27, 95, 36, h + 96);
  c.SetBrush(kBlack, false);
  c.Rectangle(27, h + 95, 36, 156);
  c.FillRect(24, 91, 27, 160);
  c.FillRect(36, 91, 51, 160);

  // The setting mark, magenta while the flaps move.
  const int32_t l = Px(flapSet / 30 * 60);
  const uint32_t mark = flap != flapSet ? kMagenta : kGreen;
  c.SetPen(mark, 1);
  c.SetBrush(mark, false);
  c.Rectangle(24, l + 95, 39, l + 96);
  c.SetBrush(kBlack, true);
  const long long setting = std::llround(flapSet);
  if (setting == 0) {
    c.SetFont(mark, PointsToPixels(6));
    c.Text(39, l + 91, "UP");
  } else if (setting >= 10) {
    c.SetFont(mark, PointsToPixels(8));
    c.Text(39, l + 91, Format("%lld", (setting / 10) % 10).View());
    c.Text(43, l + 91, Format("%lld", setting % 10).View());
  } else {
    c.SetFont(mark, PointsToPixels(8));
    c.Text(41, l + 91, Format("%lld", setting).View());
  }

  // Gear: green DOWN, white U P, grey box while in transit. The box spans
  // the room between the bar's ticks and the panel's edge, so "DOWN" fits
  // inside its frame with a pixel to spare.
  c.SetFont(kGearCaption, PointsToPixels(7));
  c.Text(20, 78, "GEAR");
  if (gear <= 0 || gear >= 1) {
    const uint32_t colour = gear >= 1 ? kGreen : kWhite;
    c.SetPen(colour, 1);
    c.SetBrush(kBlack, false);
    c.Rectangle(kGearBox.Left, kGearBox.Top, kGearBox.Right, kGearBox.Bottom);
    c.SetBrush(kBlack, true);
    c.SetFont(colour, PointsToPixels(6));
    if (gear >= 1) {
      c.Text(21, 69, "DOWN");
    } else {
      c.Text(26, 69, "U P");
    }
  } else {
    c.SetPen(kWhite, 1);
    c.SetBrush(kGearTransit, false);
    c.Rectangle(kGearBox.Left, kGearBox.Top, kGearBox.Right, kGearBox.Bottom);
  }
}

}  // namespace velmora::cockpit
