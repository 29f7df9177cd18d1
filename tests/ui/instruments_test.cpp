// The instruments drawn by the Qt canvas offscreen: pixels at the places the
// layout fixes, colours in their byte order, the bounds of each law, and one
// reference picture per instrument.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "cockpit/frame.h"
#include "cockpit/instruments.h"
#include "pilot/train_protection.h"
#include "tests/support/test_vehicles.h"
#include "tests/ui/ui_test_support.h"
#include "ui/qt_canvas.h"
#include "world/shapes.h"

namespace velmora::ui {
namespace {

using cockpit::TCanvas;

constexpr QRgb kBlackPixel = 0xFF000000;
const QColor kSky(0x00, 0x90, 0xDE);       // $DE9000
const QColor kGround(0x90, 0x50, 0x14);    // $145090
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

// A text pixel differs from the reference by at most this much per channel
// in more than this share of its box: glyph edges antialiased differently.
constexpr int kGlyphEdgeLevels = 96;
constexpr double kGlyphEdgeShare = 0.2;

QFont FormFont() {
  QFont font("Noto Sans CJK JP");
  font.setPixelSize(12);
  return font;
}

// One instrument canvas: a black image and the Qt canvas on it. It also
// notes the boxes its texts may cover, where glyph antialiasing may differ
// between machines.
class Panel final : public TCanvas {
 public:
  Panel(int w, int h) : image(w, h, QImage::Format_RGB32), canvas_(image, FormFont()) {
    image.fill(Qt::black);
  }

  QImage image;
  std::vector<QRect> textBoxes;

  QColor At(int x, int y) const { return image.pixelColor(x, y); }

  int32_t Width() const override { return image.width(); }
  int32_t Height() const override { return image.height(); }
  void BeginPaint() override { canvas_.BeginPaint(); }
  void EndPaint() override { canvas_.EndPaint(); }
  void SetPen(uint32_t c, int32_t w) override { canvas_.SetPen(c, w); }
  void SetBrush(uint32_t c, bool clear) override { canvas_.SetBrush(c, clear); }
  void SetFont(uint32_t c, int32_t h) override {
    fontHeight_ = h;
    canvas_.SetFont(c, h);
  }
  void FillRect(int32_t a, int32_t b, int32_t c, int32_t d) override { canvas_.FillRect(a, b, c, d); }
  void Rectangle(int32_t a, int32_t b, int32_t c, int32_t d) override { canvas_.Rectangle(a, b, c, d); }
  void Ellipse(int32_t a, int32_t b, int32_t c, int32_t d) override { canvas_.Ellipse(a, b, c, d); }
  void Arc(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f, int32_t g,
           int32_t h) override {
    canvas_.Arc(a, b, c, d, e, f, g, h);
  }
  void Polygon(const cockpit::TPixel* p, int n) override { canvas_.Polygon(p, n); }
  void Polyline(const cockpit::TPixel* p, int n) override { canvas_.Polyline(p, n); }
  void Line(int32_t a, int32_t b, int32_t c, int32_t d) override { canvas_.Line(a, b, c, d); }
  void Text(int32_t x, int32_t y, std::string_view text) override {
    Note(x, y, text, image.rect());
    canvas_.Text(x, y, text);
  }
  void ClippedText(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x, int32_t y,
                   std::string_view text) override {
    Note(x, y, text, QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)));
    canvas_.ClippedText(x1, y1, x2, y2, x, y, text);
  }

 private:
  // A glyph cell is at most the font height wide and 1.5 heights tall.
  void Note(int32_t x, int32_t y, std::string_view text, const QRect& clip) {
    const int chars = static_cast<int>(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).size());
    textBoxes.push_back(QRect(x - 1, y - 1, chars * fontHeight_ + 2, fontHeight_ * 3 / 2 + 2) & clip);
  }

  TQtCanvas canvas_;
  int32_t fontHeight_ = 12;
};

bool Same(const QColor& a, const QColor& b) { return a.rgb() == b.rgb(); }


// Whether any pixel of the box (right and bottom excluded) is not black.
bool Lit(const QImage& image, int x1, int y1, int x2, int y2) {
  for (int y = y1; y < y2; ++y) {
    for (int x = x1; x < x2; ++x) {
      if (image.pixel(x, y) != kBlackPixel) return true;
    }
  }
  return false;
}

// The sum of all colour channels over the box: how much of a text shows.
int64_t Ink(const QImage& image, const QRect& r) {
  int64_t sum = 0;
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      const QRgb p = image.pixel(x, y);
      sum += qRed(p) + qGreen(p) + qBlue(p);
    }
  }
  return sum;
}

bool SameRegion(const QImage& a, const QImage& b, const QRect& r) {
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      if (a.pixel(x, y) != b.pixel(x, y)) return false;
    }
  }
  return true;
}

// The text alone, drawn where and how the instrument should draw it.
QImage TextAlone(int w, int h, int32_t x, int32_t y, uint32_t colour, int32_t height,
                 const char* text) {
  Panel p(w, h);
  p.SetBrush(0, true);
  p.SetFont(colour, height);
  p.Text(x, y, text);
  return p.image;
}

// Compares a panel with its stored reference picture: every pixel outside
// the text boxes exactly, inside them up to glyph-edge differences. With
// VELMORA_WRITE_REFERENCES set, the picture is written instead.
void ExpectReference(const Panel& panel, const char* name) {
  const QString path = QString(VELMORA_INSTRUMENT_REFERENCES) + "/" + name + ".png";
  if (qEnvironmentVariableIsSet("VELMORA_WRITE_REFERENCES")) {
    QDir().mkpath(QFileInfo(path).path());
    ASSERT_TRUE(panel.image.save(path)) << path.toStdString();
    return;
  }
  QImage reference(path);
  ASSERT_FALSE(reference.isNull()) << "no reference picture " << path.toStdString();
  reference = reference.convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(reference.size(), panel.image.size());
  std::vector<uint8_t> inText(static_cast<std::size_t>(reference.width() * reference.height()), 0);
  for (const QRect& r : panel.textBoxes) {
    for (int y = std::max(0, r.top()); y <= std::min(reference.height() - 1, r.bottom()); ++y) {
      for (int x = std::max(0, r.left()); x <= std::min(reference.width() - 1, r.right()); ++x) {
        inText[static_cast<std::size_t>(y * reference.width() + x)] = 1;
      }
    }
  }
  int shapeFaults = 0, textPixels = 0, glyphFaults = 0;
  for (int y = 0; y < reference.height(); ++y) {
    for (int x = 0; x < reference.width(); ++x) {
      const QRgb a = panel.image.pixel(x, y), b = reference.pixel(x, y);
      if (inText[static_cast<std::size_t>(y * reference.width() + x)] == 0) {
        if (a != b) ++shapeFaults;
        continue;
      }
      ++textPixels;
      const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
      if (d > kGlyphEdgeLevels) ++glyphFaults;
    }
  }
  EXPECT_EQ(shapeFaults, 0) << name << ": pixels outside the texts differ";
  EXPECT_LE(glyphFaults, kGlyphEdgeShare * textPixels) << name << ": the texts differ";
}

class InstrumentsTest : public ::testing::Test {
 protected:
  InstrumentsTest() { testing::App(); }

  struct TPfd {
    double Pitch = 2.5, Bank = -12, Airspeed = 142.3, GroundSpeed = 140, Altitude = 1234.5,
           Height = 1200, VerticalSpeed = -700;
  };

  static std::unique_ptr<Panel> Pfd(const TPfd& in, Panel* indicator = nullptr) {
    auto pfd = std::make_unique<Panel>(cockpit::kPfdWidth, cockpit::kPfdHeight);
    Panel spare(cockpit::kIndicatorSize, cockpit::kIndicatorSize);
    cockpit::DrawPrimaryFlightDisplay(*pfd, indicator != nullptr ? *indicator : spare, false,
                                      in.Pitch, in.Bank, in.Airspeed, in.GroundSpeed, in.Altitude,
                                      in.Height, in.VerticalSpeed);
    return pfd;
  }

  static std::unique_ptr<Panel> Attitude(double pitch, double bank, bool fighter = false) {
    auto p = std::make_unique<Panel>(cockpit::kIndicatorSize, cockpit::kIndicatorSize);
    cockpit::DrawAttitude(*p, fighter, pitch, bank);
    return p;
  }

  static std::unique_ptr<Panel> Gauge(double limit, double v, bool* overspeed = nullptr) {
    auto p = std::make_unique<Panel>(cockpit::kIndicatorSize, cockpit::kIndicatorSize);
    const bool result = cockpit::DrawSpeedGauge(*p, limit, v, 0);
    if (overspeed != nullptr) *overspeed = result;
    return p;
  }

  static std::unique_ptr<Panel> Power(double gear, double flap, double flapSet, double ratio) {
    auto p = std::make_unique<Panel>(cockpit::kPowerWidth, cockpit::kPowerHeight);
    cockpit::DrawPowerPanel(*p, gear, flap, flapSet, ratio);
    return p;
  }
};

TEST_F(InstrumentsTest, NegativeAirspeedShowsZero) {
  TPfd a, b;
  a.Airspeed = -5;
  b.Airspeed = 0;
  EXPECT_EQ(Pfd(a)->image, Pfd(b)->image);
}

TEST_F(InstrumentsTest, GroundSpeedTextOnlyOnTheGroundUpTo45Knots) {
  const struct {
    double GroundSpeed, Height;
    bool Shown;
  } cases[] = {{30, 0, true}, {45, 0, true}, {46, 0, false}, {-30, 0, true},
               {-46, 0, false}, {30, 0.1, false}, {30, -3, true}};
  for (const auto& c : cases) {
    TPfd in;
    in.GroundSpeed = c.GroundSpeed;
    in.Height = c.Height;
    EXPECT_EQ(Lit(Pfd(in)->image, 10, 153, 40, 161), c.Shown)
        << c.GroundSpeed << " kt at " << c.Height << " ft";
  }
}

TEST_F(InstrumentsTest, RadioAltitudeUpTo2500Feet) {
  for (const auto& [height, shown] : {std::pair{2499.0, true}, {2500.0, true}, {2501.0, false}, {0.0, true}}) {
    TPfd in;
    in.Height = height;
    EXPECT_EQ(Lit(Pfd(in)->image, 160, 0, 193, 8), shown) << height << " ft";
  }
}

TEST_F(InstrumentsTest, RadioAltitudeShowsEveryDigit) {
  // Nothing else is drawn in the display's top rows, above the tapes and the
  // attitude indicator: all the ink there is the readout's, and it must be
  // as much as the number's drawn unclipped.
  const QRect topRows(0, 0, cockpit::kPfdWidth, 8);
  for (const double height : {0.0, 999.0, 1000.0, 1127.0, 2499.0}) {
    TPfd in;
    in.Height = height;
    const auto pfd = Pfd(in);
    const std::string digits = std::to_string(static_cast<int>(height));
    const QImage alone =
        TextAlone(cockpit::kPfdWidth, cockpit::kPfdHeight, 100, 50, 0xFFFFFF, 10, digits.c_str());
    EXPECT_EQ(Ink(pfd->image, topRows), Ink(alone, alone.rect())) << height << " ft";
  }
}

TEST_F(InstrumentsTest, TenThousandsPlaceIsAGreenBarBelow10000Feet) {
  TPfd in;
  in.Altitude = 9990;
  // The bar of 9980 ft rolls 6.5 px below the centre line: rows 81..93,
  // the foot of the digit 1 of 10000 ft above it may touch the first rows.
  auto pfd = Pfd(in);
  for (int y = 84; y < 94; ++y) EXPECT_TRUE(Same(pfd->At(213, y), kGreen)) << "row " << y;
  EXPECT_FALSE(Same(pfd->At(213, 80), kGreen));
  in.Altitude = 10000;
  pfd = Pfd(in);
  // 10000 ft: the digit 1 sits on the centre line; the bar of 9980 ft has
  // rolled down to rows 87..93.
  EXPECT_FALSE(Same(pfd->At(213, 82), kGreen));
  EXPECT_TRUE(Same(pfd->At(213, 90), kGreen));
  bool digit = false;
  for (int y = 74; y < 87; ++y) {
    for (int x = 212; x < 219; ++x) digit = digit || (pfd->At(x, y).red() > 128 && pfd->At(x, y).blue() > 128);
  }
  EXPECT_TRUE(digit) << "no digit 1 in the ten-thousands place";
}

TEST_F(InstrumentsTest, VerticalSpeedPointerPinsAtTheScaleEnds) {
  const QRect scale(239, 0, 20, 150);
  TPfd in;
  in.VerticalSpeed = 9000;
  const QImage climb = Pfd(in)->image;
  in.VerticalSpeed = 1e9;
  const QImage steep = Pfd(in)->image;
  in.VerticalSpeed = 7000;
  const QImage below = Pfd(in)->image;
  EXPECT_TRUE(SameRegion(climb, steep, scale)) << "pinned pointers differ";
  EXPECT_FALSE(SameRegion(climb, below, scale)) << "7000 ft/min is pinned too";
  // From (247, 11) towards the pivot (258, 43): the pixel below its start.
  EXPECT_TRUE(Same(climb.pixelColor(247, 12), kWhite));
  EXPECT_FALSE(Same(climb.pixelColor(247, 10), kWhite));
  in.VerticalSpeed = -9000;
  const QImage dive = Pfd(in)->image;
  in.VerticalSpeed = -1e9;
  EXPECT_TRUE(SameRegion(dive, Pfd(in)->image, scale));
  EXPECT_TRUE(Same(dive.pixelColor(247, 148), kWhite));
}

TEST_F(InstrumentsTest, AttitudeSkyAndGround) {
  const struct {
    double Pitch, Bank;
    QPoint Sky, Ground;
  } cases[] = {
      {0, 0, {20, 40}, {20, 110}},       // level: sky above
      {10, 0, {20, 100}, {20, 108}},     // 10° nose up: horizon 32 px down, at y = 104
      {-10, 0, {20, 36}, {20, 44}},      // nose down: horizon at y = 40
      {0, 90, {30, 40}, {114, 40}},      // right wing down: vertical, sky on the left
      {0, -90, {114, 40}, {30, 40}},
      {0, 180, {20, 110}, {20, 40}},     // inverted: sky and ground swap
      {0, -180, {20, 110}, {20, 40}},
      {0, 89, {30, 100}, {114, 40}},     // the steep case near vertical
  };
  for (const auto& c : cases) {
    const auto p = Attitude(c.Pitch, c.Bank);
    EXPECT_TRUE(Same(p->At(c.Sky.x(), c.Sky.y()), kSky))
        << "pitch " << c.Pitch << " bank " << c.Bank << ": " << p->At(c.Sky.x(), c.Sky.y()).name().toStdString();
    EXPECT_TRUE(Same(p->At(c.Ground.x(), c.Ground.y()), kGround))
        << "pitch " << c.Pitch << " bank " << c.Bank;
  }
  // At bank 90 the horizon line is the column x = 72.
  const auto vertical = Attitude(0, 90);
  EXPECT_TRUE(Same(vertical->At(72, 30), QColor(0xCC, 0xCC, 0xCC)));
  EXPECT_TRUE(Same(vertical->At(71, 30), kSky));
  EXPECT_TRUE(Same(vertical->At(73, 30), kGround));
}

// The arc band every 2°: the colours met across it (radius 69 to 72).
std::vector<std::vector<QColor>> ArcBand(const Panel& p, double from, double to) {
  std::vector<std::vector<QColor>> band;
  for (double a = from; a <= to; a += 2) {
    band.emplace_back();
    for (double r = 69; r <= 72; r += 0.5) {
      const double rad = a * M_PI / 180;
      band.back().push_back(p.At(72 + static_cast<int>(std::lround(r * std::sin(rad))),
                                 72 - static_cast<int>(std::lround(r * std::cos(rad)))));
    }
  }
  return band;
}

// At how many angles of the band colour c is met.
int Count(const std::vector<std::vector<QColor>>& band, const QColor& c) {
  int n = 0;
  for (const auto& across : band) {
    n += std::any_of(across.begin(), across.end(), [&](const QColor& x) { return Same(x, c); }) ? 1 : 0;
  }
  return n;
}

bool Has(const std::vector<std::vector<QColor>>& band, const QColor& c) {
  return Count(band, c) == static_cast<int>(band.size());
}

TEST_F(InstrumentsTest, SpeedGaugeArcs) {
  const QColor yellow(255, 255, 0);
  bool overspeed = true;
  // No limit: no coloured arc anywhere, never overspeed.
  auto p = Gauge(cockpit::kNoSpeedLimit, 60, &overspeed);
  auto band = ArcBand(*p, -130, 130);
  EXPECT_EQ(Count(band, kGreen) + Count(band, yellow) + Count(band, kRed), 0);
  EXPECT_FALSE(overspeed);
  // A limit above 190 km/h: green to the end of the scale, nothing else.
  p = Gauge(60, 10, &overspeed);
  band = ArcBand(*p, -128, 128);
  EXPECT_TRUE(Has(band, kGreen));
  EXPECT_EQ(Count(band, yellow) + Count(band, kRed), 0);
  EXPECT_FALSE(overspeed);
  // 100 km/h: green to 100 km/h (+6.9°), yellow to the caution speed, red beyond.
  p = Gauge(100 / 3.6, 10, &overspeed);
  EXPECT_TRUE(Has(ArcBand(*p, -128, 4), kGreen));
  EXPECT_EQ(Count(ArcBand(*p, 10, 128), kGreen), 0);
  EXPECT_TRUE(Has(ArcBand(*p, 12, 12), yellow));
  EXPECT_TRUE(Has(ArcBand(*p, 60, 60), kRed));
  // Limit 0: a blocked track shows a short yellow arc and red beyond.
  p = Gauge(0, 0, &overspeed);
  EXPECT_TRUE(Has(ArcBand(*p, -125, -125), yellow));
  EXPECT_TRUE(Has(ArcBand(*p, 0, 0), kRed));
  EXPECT_FALSE(Has(ArcBand(*p, -125, -125), kGreen));
  EXPECT_FALSE(overspeed);
}

TEST_F(InstrumentsTest, SpeedGaugeNeedle) {
  // 160 km/h points to the right, 30 km/h to the left; the needle is $7F84B1.
  const QColor needle(0xB1, 0x84, 0x7F);
  auto p = Gauge(cockpit::kNoSpeedLimit, 160 / 3.6);
  EXPECT_TRUE(Same(p->At(72 + 35, 72), needle));
  EXPECT_EQ(p->At(72 - 35, 72).rgb(), kBlackPixel);
  p = Gauge(cockpit::kNoSpeedLimit, 30 / 3.6);
  EXPECT_TRUE(Same(p->At(72 - 35, 72), needle));
  EXPECT_EQ(p->At(72 + 35, 72).rgb(), kBlackPixel);
}

TEST_F(InstrumentsTest, PowerBarAndLamp) {
  const struct {
    double Ratio;
    int FirstWhiteRow;  // of the bar, aircraft column x = 10
    QColor Lamp;
  } cases[] = {{-1, 151, kRed}, {0, 151, QColor(0, 0, 0)}, {0.5, 80, QColor(0, 0, 0)},
               {1, 10, QColor(0, 0, 0)}};
  for (const auto& c : cases) {
    const auto p = Power(0, 0, 0, c.Ratio);
    EXPECT_TRUE(Same(p->At(10, c.FirstWhiteRow), kWhite)) << c.Ratio;
    if (c.FirstWhiteRow > 10) {
      EXPECT_EQ(p->At(10, c.FirstWhiteRow - 1).rgb(), kBlackPixel) << c.Ratio;
    }
    EXPECT_TRUE(Same(p->At(10, 155), c.Lamp)) << c.Ratio;
  }
  // Without flaps the bar moves to x 19..30 and the flap gauge is absent.
  const auto road = Power(0, 0, -1, -1);
  EXPECT_TRUE(Same(road->At(24, 155), kRed));
  EXPECT_EQ(road->At(10, 155).rgb(), kBlackPixel);
  EXPECT_FALSE(Lit(road->image, 36, 60, 49, 161));
}

TEST_F(InstrumentsTest, EmptyBarAndFlapGaugeShowTheirFrames) {
  // At no power and with the flaps up the bar and the gauge are black
  // inside, outlined in white: the aircraft's bar at x 5..16, a ground
  // vehicle's at 19..30, the flap gauge at 27..36 from row 95.
  const struct {
    double FlapSet;
    int32_t Left, Right;
  } cases[] = {{0, 5, 16}, {-1, 19, 30}};
  for (const auto& c : cases) {
    const auto p = Power(0, 0, c.FlapSet, 0);
    SCOPED_TRACE(c.Left);
    EXPECT_TRUE(Same(p->At(c.Left, 50), kWhite));
    EXPECT_TRUE(Same(p->At(c.Right - 1, 50), kWhite));
    EXPECT_TRUE(Same(p->At((c.Left + c.Right) / 2, 10), kWhite)) << "top edge";
    EXPECT_EQ(p->At((c.Left + c.Right) / 2, 50).rgb(), kBlackPixel);
  }
  const auto p = Power(0, 0, 0, 0);
  EXPECT_TRUE(Same(p->At(27, 130), kWhite));
  EXPECT_TRUE(Same(p->At(35, 130), kWhite));
  EXPECT_TRUE(Same(p->At(31, 155), kWhite)) << "bottom edge";
  EXPECT_EQ(p->At(31, 130).rgb(), kBlackPixel);
}

TEST_F(InstrumentsTest, FlapSettingDigits) {
  const struct {
    double Setting;
    int32_t X[2];
    const char* Text[2];
    int32_t Height;
  } cases[] = {{5, {41, 0}, {"5", nullptr}, 11},
               {25, {39, 43}, {"2", "5"}, 11},
               {10, {39, 43}, {"1", "0"}, 11},
               {9.4, {41, 0}, {"9", nullptr}, 11},
               {0, {39, 0}, {"UP", nullptr}, 8}};
  for (const auto& c : cases) {
    const auto p = Power(1, c.Setting, c.Setting, 0.5);
    const int32_t top = static_cast<int32_t>(std::lround(c.Setting * 2)) + 91;
    Panel expected(cockpit::kPowerWidth, cockpit::kPowerHeight);
    expected.SetBrush(0, true);
    expected.SetFont(0x00FF00, c.Height);
    for (int k = 0; k < 2 && c.Text[k] != nullptr; ++k) expected.Text(c.X[k], top, c.Text[k]);
    EXPECT_TRUE(SameRegion(p->image, expected.image, QRect(39, top, 10, 4)))
        << "setting " << c.Setting;
    // The mark row in green: the flaps stand at the setting.
    EXPECT_TRUE(Same(p->At(30, top + 4), kGreen)) << "setting " << c.Setting;
  }
  // Flaps on their way: the mark is magenta.
  EXPECT_TRUE(Same(Power(1, 3, 5, 0)->At(30, 105), QColor(255, 0, 255)));
}

TEST_F(InstrumentsTest, GearIndicator) {
  const QColor transit(0xAA, 0xAA, 0xAA);
  const struct {
    double Gear;
    QColor Frame, Inside;
  } cases[] = {{1, kGreen, QColor(0, 0, 0)}, {1.5, kGreen, QColor(0, 0, 0)},
               {0, kWhite, QColor(0, 0, 0)}, {-0.5, kWhite, QColor(0, 0, 0)},
               {0.5, kWhite, transit}, {0.01, kWhite, transit}, {0.99, kWhite, transit}};
  for (const auto& c : cases) {
    const auto p = Power(c.Gear, 0, 0, 0);
    EXPECT_TRUE(Same(p->At(17, 73), c.Frame)) << c.Gear;
    EXPECT_TRUE(Same(p->At(47, 73), c.Frame)) << c.Gear;
    if (c.Inside == transit) {
      EXPECT_TRUE(Same(p->At(30, 73), transit)) << c.Gear;
    }
  }
  // The whole word inside the frame, with a dark pixel between it and the frame.
  const QRect frame(17, 68, 31, 10), inside = frame.adjusted(1, 1, -1, -1);
  for (const auto& [gear, word, colour] :
       {std::tuple{1.0, "DOWN", 0x00FF00u}, {0.0, "U P", 0xFFFFFFu}}) {
    const auto p = Power(gear, 0, 0, 0);
    const QImage alone = TextAlone(cockpit::kPowerWidth, cockpit::kPowerHeight, 10, 20, colour, 8, word);
    EXPECT_EQ(Ink(p->image, inside.adjusted(1, 1, -1, -1)), Ink(alone, alone.rect())) << word;
    EXPECT_EQ(Ink(p->image, inside) - Ink(p->image, inside.adjusted(1, 1, -1, -1)), 0) << word;
  }
  // "GEAR" in $EFAD00: glyph pixels carry blue and green, never red.
  const auto p = Power(1, 0, 0, 0);
  int red = 0, blue = 0;
  for (int y = 78; y < 90; ++y) {
    for (int x = 22; x < 44; ++x) {
      red = std::max(red, p->At(x, y).red());
      blue = std::max(blue, p->At(x, y).blue());
    }
  }
  EXPECT_EQ(red, 0);
  EXPECT_GT(blue, 150);
}

class NavigationTest : public InstrumentsTest {
 protected:
  NavigationTest() : s(std::make_unique<state::TMainState>()), world(std::make_unique<world::TWorld>()) {
    testing::FillTestForms(*s);
  }

  std::unique_ptr<Panel> Draw(cockpit::TStopDistanceSource fallback = nullptr) {
    auto p = std::make_unique<Panel>(cockpit::kNaviSize, cockpit::kNaviSize);
    cockpit::DrawNavigationDisplay(*p, *s, fallback);
    return p;
  }

  void Aircraft(double z) {
    testing::PlaceOwn(*s, vehicle::kKindAircraft, testing::kAirlinerGearUp);
    s->Own.Z = z;
  }

  vehicle::TVehicleState& Traffic(int i, double x, double y, double z) {
    vehicle::TVehicleState& r = s->Remote[static_cast<std::size_t>(i)];
    r = vehicle::TVehicleState{};
    r.Kind = vehicle::kKindAircraft;
    r.FormNo = testing::kAirlinerGearUp;
    r.UserNo = 100 + i;
    r.X = x;
    r.Y = y;
    r.Z = z;
    return r;
  }

  // A runway 2 km east of the own position, 3 km long from south to north.
  void AddRunway() {
    auto runway = std::make_unique<world::TRunwayInfo>(2000.0f, -1500.0f, 2000.0f, 1500.0f, 0.0f,
                                                       45.0f, 5000.0f, 0.0f, 0, "RWY", 0u);
    world->Destinations[0] = runway.get();
    world->DestinationCount = 1;
    world->Objects.Append(std::move(runway));
    s->World = world.get();
  }

  std::unique_ptr<state::TMainState> s;
  std::unique_ptr<world::TWorld> world;
};

TEST_F(NavigationTest, TrainStopDistanceColoursAndWords) {
  const struct {
    double Distance;
    const char* Word;
    uint32_t Colour;
  } cases[] = {{123.4, "残", 0xFFFFFF}, {0.51, "残", 0xFFFFFF}, {0.5, "残", 0x00FF00},
               {0, "残", 0x00FF00},      {-0.3, "過", 0x00FF00}, {-0.5, "過", 0x00FF00},
               {-0.51, "過", 0x0000FF},  {-0.6, "過", 0x0000FF}};
  for (const auto& c : cases) {
    testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
    s->StopDistance = c.Distance;
    const auto p = Draw();
    const QImage expected =
        TextAlone(cockpit::kNaviSize, cockpit::kNaviSize, 8, 63, c.Colour, 32, c.Word);
    EXPECT_TRUE(SameRegion(p->image, expected, QRect(8, 63, 34, 40))) << c.Distance;
  }
}

double FortyTwo(const state::TMainState&) { return 42; }

TEST_F(NavigationTest, TrainAsksTheFallbackOnlyWithoutADistance) {
  testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
  s->StopDistance = cockpit::kUnknownDistance;
  EXPECT_FALSE(Lit(Draw()->image, 0, 0, 161, 161)) << "no distance known: a black display";
  EXPECT_EQ(s->StopDistance, cockpit::kUnknownDistance);
  const auto p = Draw(&FortyTwo);
  EXPECT_EQ(s->StopDistance, 42);
  EXPECT_TRUE(Lit(p->image, 8, 63, 40, 100));
  s->StopDistance = 7;
  Draw(&FortyTwo);
  EXPECT_EQ(s->StopDistance, 7) << "a known distance is kept";
  s->StopDistance = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(Lit(Draw(&FortyTwo)->image, 0, 0, 161, 161));
}

TEST_F(NavigationTest, TrafficColourByHeight) {
  const struct {
    double Above;  // m
    QColor Colour;
  } cases[] = {{40, QColor(153, 255, 255)}, {100, QColor(0, 255, 255)}, {200, QColor(0, 255, 255)},
               {0, QColor(255, 255, 255)},  {-1 / 2.55, QColor(255, 254, 255)},
               {-40, QColor(255, 153, 255)}, {-100, QColor(255, 0, 255)}, {-300, QColor(255, 0, 255)}};
  for (const auto& c : cases) {
    Aircraft(-1000);
    Traffic(0, 0, 1000, -1000 - c.Above);  // 1 km ahead: 8 px above the centre
    const auto p = Draw();
    EXPECT_TRUE(Same(p->At(80, 72), c.Colour))
        << c.Above << " m: " << p->At(80, 72).name().toStdString();
    EXPECT_EQ(p->At(78, 72).rgb(), kBlackPixel) << "a box of 3 × 3 px";
  }
}

TEST_F(NavigationTest, WingmanIsACross) {
  Aircraft(-1000);
  s->Own.GroupNo = 4;
  vehicle::TVehicleState& wingman = Traffic(0, 0, 1000, -1000);
  wingman.FormNo = testing::kFighterGearUp;
  wingman.GroupNo = 4;
  auto p = Draw();
  EXPECT_TRUE(Same(p->At(78, 72), kWhite));
  EXPECT_EQ(p->At(78, 70).rgb(), kBlackPixel) << "the cross has no corners";
  wingman.GroupNo = 5;
  p = Draw();
  EXPECT_EQ(p->At(78, 72).rgb(), kBlackPixel);
}

TEST_F(NavigationTest, LowAircraftShowsRunwaysButNoTrafficOrLegend) {
  const QColor cyan(0, 255, 255), yellow(255, 255, 0);
  AddRunway();
  for (const auto& [z, high] : {std::pair{-99.0, false}, {-100.0, true}, {-101.0, true}}) {
    Aircraft(z);
    Traffic(0, 0, 1000, -1000);
    const auto p = Draw();
    // Runway 2 km east: 16 px right of the centre.
    EXPECT_TRUE(Same(p->At(96, 80), yellow)) << z;
    EXPECT_EQ(Same(p->At(130, 17), cyan), high) << z;
    EXPECT_EQ(p->At(80, 72).rgb() != kBlackPixel, high) << z;
  }
}

TEST_F(NavigationTest, NoRunwaysInAShiftedWorld) {
  const QColor yellow(255, 255, 0);
  AddRunway();
  Aircraft(-1000);
  EXPECT_TRUE(Same(Draw()->At(96, 80), yellow));
  s->OriginX = 1;
  EXPECT_EQ(Draw()->At(96, 80).rgb(), kBlackPixel);
  s->OriginX = 0;
  s->OriginY = -1;
  EXPECT_EQ(Draw()->At(96, 80).rgb(), kBlackPixel);
}

TEST_F(NavigationTest, FarOrBrokenTrafficIsSkipped) {
  Aircraft(-1000);
  const double huge = 1e300, nan = std::numeric_limits<double>::quiet_NaN();
  Traffic(0, huge, huge, -1000);
  Traffic(1, nan, 0, -1000);
  Traffic(2, 0, std::numeric_limits<double>::infinity(), -1000);
  Traffic(3, 0, 1000, -huge);
  Traffic(4, 0, 1000, -1000);
  const auto p = Draw();
  EXPECT_TRUE(Same(p->At(80, 72), kWhite)) << "the sound vehicle after the broken ones";
}

TEST_F(NavigationTest, RoadMapAndCompass) {
  testing::PlaceOwn(*s, vehicle::kKindRoad, testing::kCar);
  s->World = world.get();
  // A road 100 m east from south to north: 16 px right of the centre.
  world->Objects.Append(std::make_unique<world::TRoadInfo>(100.0f, -300.0f, 100.0f, 300.0f, 0.0f, 8.0f, 0));
  // A race-course arc round (-100, 0), radius 50 m, its eastern quarter.
  world->Objects.Append(std::make_unique<world::TRaceCrsArcInfo>(-100.0f, 0.0f, 0.0f, 50.0f, 8.0f, 45.0f, 135.0f, 0));
  auto p = Draw();
  const QColor grey(0x88, 0x88, 0x88);
  EXPECT_TRUE(Same(p->At(96, 60), grey));
  // The arc's centre maps to (64, 80), its radius to 8 px.
  EXPECT_TRUE(Same(p->At(72, 80), grey)) << "the arc's eastern point";
  EXPECT_EQ(p->At(56, 80).rgb(), kBlackPixel) << "the western side of the circle is not drawn";
  // Compass: the north tick at the top in green, the heading index in yellow.
  EXPECT_TRUE(Same(p->At(80, 0), QColor(255, 255, 0)));
  EXPECT_TRUE(Same(p->At(80, 80), kGreen));
}

TEST_F(InstrumentsTest, NonFiniteInputsDrawWithoutFault) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const double bad : {nan, inf, -inf, 1e300, -1e300}) {
    TPfd in{bad, bad, bad, bad, bad, bad, bad};
    Panel indicator(cockpit::kIndicatorSize, cockpit::kIndicatorSize);
    EXPECT_TRUE(Lit(Pfd(in, &indicator)->image, 0, 0, 265, 161));
    EXPECT_TRUE(Lit(indicator.image, 0, 0, 145, 145));
    bool overspeed = true;
    Gauge(bad, bad, &overspeed);
    EXPECT_EQ(overspeed, bad == inf && false);
    EXPECT_TRUE(Lit(Power(bad, bad, bad, bad)->image, 0, 0, 49, 161));
    Panel navi(cockpit::kNaviSize, cockpit::kNaviSize);
    cockpit::DrawThickLine(navi, 0xFFFFFF, 3, bad, 0, 10, 10);
    cockpit::DrawArc(navi, 0xFFFFFF, bad, 10, 1, bad, 80, 80);
    EXPECT_FALSE(Lit(navi.image, 0, 0, 161, 161));
  }
}

TEST_F(InstrumentsTest, ThickLineAndArc) {
  Panel p(cockpit::kNaviSize, cockpit::kNaviSize);
  cockpit::DrawThickLine(p, 0x0000FF, 5, 20, 50, 140, 50);  // half width 2
  EXPECT_TRUE(Same(p.At(80, 48), kRed));
  EXPECT_TRUE(Same(p.At(80, 52), kRed));
  EXPECT_EQ(p.At(80, 54).rgb(), kBlackPixel);
  Panel q(cockpit::kNaviSize, cockpit::kNaviSize);
  cockpit::DrawThickLine(q, 0x0000FF, 5, 30, 30, 30, 30);
  EXPECT_FALSE(Lit(q.image, 0, 0, 161, 161)) << "a line of no length";
  // Equal angles: the whole circle; else anticlockwise from the first angle.
  Panel full(cockpit::kNaviSize, cockpit::kNaviSize);
  cockpit::DrawArc(full, 0x00FF00, 30, 30, 1, 40, 80, 80);
  EXPECT_TRUE(Same(full.At(80, 40), kGreen));
  EXPECT_TRUE(Same(full.At(80, 120), kGreen));
  Panel half(cockpit::kNaviSize, cockpit::kNaviSize);
  cockpit::DrawArc(half, 0x00FF00, 0, 180, 1, 40, 80, 80);  // from north through west
  EXPECT_TRUE(Same(half.At(40, 80), kGreen));
  EXPECT_EQ(half.At(120, 80).rgb(), kBlackPixel);
}

// The frame's instruments through the main state.
class CockpitTest : public InstrumentsTest {
 protected:
  CockpitTest()
      : s(std::make_unique<state::TMainState>()),
        pfd(cockpit::kPfdWidth, cockpit::kPfdHeight),
        indicator(cockpit::kIndicatorSize, cockpit::kIndicatorSize),
        navi(cockpit::kNaviSize, cockpit::kNaviSize),
        power(cockpit::kPowerWidth, cockpit::kPowerHeight) {
    testing::FillTestForms(*s);
    context.PFD = &pfd;
    context.Indicator = &indicator;
    context.Navi = &navi;
    context.Power = &power;
  }

  std::unique_ptr<state::TMainState> s;
  Panel pfd, indicator, navi, power;
  cockpit::TFrameContext context;
};

TEST_F(CockpitTest, TrainProtectionShowsAts) {
  testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
  s->RailSpeedLimit = 0;  // blocked track: caution at 3.41 m/s
  s->Own.VY = 5;
  s->Throttle = 1;
  s->ThrottleMax = 2;
  pilot::TrainProtection(*s);
  cockpit::DrawInstruments(*s, context);
  EXPECT_EQ(s->EmergencyBrake, 1);
  EXPECT_TRUE(Same(indicator.At(62, 106), kRed)) << "ATS on red";
  EXPECT_TRUE(Same(power.At(24, 155), kRed)) << "the brake lamp";
  // Standing: the protection releases, the brake holds while the throttle is idle.
  s->Own.VY = 0;
  s->Throttle = 0;
  pilot::TrainProtection(*s);
  cockpit::DrawInstruments(*s, context);
  EXPECT_EQ(s->EmergencyBrake, 0);
  EXPECT_EQ(s->Brake, 1);
  EXPECT_EQ(indicator.At(62, 106).rgb(), kBlackPixel);
}

TEST_F(CockpitTest, AircraftInstruments) {
  testing::PlaceOwn(*s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
  s->Own.Z = -1000;
  s->Own.VY = 70;
  s->ThrottleMax = 4;
  s->Throttle = 2;
  s->Gear = 1;
  cockpit::DrawInstruments(*s, context);
  EXPECT_TRUE(Same(indicator.At(20, 20), kSky));
  EXPECT_TRUE(Lit(pfd.image, 0, 0, 265, 161));
  EXPECT_TRUE(Same(power.At(10, 80), kWhite)) << "half power";
  EXPECT_TRUE(Same(power.At(17, 73), kGreen)) << "gear down";
  EXPECT_TRUE(Same(navi.At(80, 80), kGreen));
  s->Brake = 1;
  cockpit::DrawInstruments(*s, context);
  EXPECT_TRUE(Same(power.At(10, 155), kRed)) << "the brake shows as ratio -1";
}

TEST_F(CockpitTest, NothingForNoVehicle) {
  s->Own = vehicle::TVehicleState{};
  cockpit::DrawInstruments(*s, context);
  for (const Panel* p : {&pfd, &indicator, &navi, &power}) {
    EXPECT_FALSE(Lit(p->image, 0, 0, p->image.width(), p->image.height()));
  }
}

TEST_F(CockpitTest, ASecondVehicleDrawsAsOnCanvasesThatShowedNothing) {
  // A fighter banked, gear and flaps down, at part power; then another
  // vehicle. What the second one draws must not keep anything of the first.
  struct TCockpit {
    Panel pfd{cockpit::kPfdWidth, cockpit::kPfdHeight};
    Panel indicator{cockpit::kIndicatorSize, cockpit::kIndicatorSize};
    Panel navi{cockpit::kNaviSize, cockpit::kNaviSize};
    Panel power{cockpit::kPowerWidth, cockpit::kPowerHeight};
    cockpit::TFrameContext context;
    TCockpit() {
      context.PFD = &pfd;
      context.Indicator = &indicator;
      context.Navi = &navi;
      context.Power = &power;
    }
  };
  const auto place = [&](int32_t kind, int32_t formNo) {
    testing::PlaceOwn(*s, kind, formNo);
    s->Own.Z = kind == vehicle::kKindAircraft ? -800 : s->Own.Z;
    s->Own.VY = 20;
    s->Own.Bank = kind == vehicle::kKindAircraft ? 30.0f : 0.0f;
    s->Own.Flap = kind == vehicle::kKindAircraft ? 20 : 0;
    s->FlapSet = s->Own.Flap;
    s->Gear = 1;
    s->RailSpeedLimit = 25;
    s->Throttle = 1;
    s->ThrottleMax = 4;
    s->Brake = s->EmergencyBrake = 0;
  };
  struct Case {
    int32_t firstKind, firstType, kind, type;
  };
  const Case cases[] = {
      {vehicle::kKindAircraft, testing::kFighterGearDown, vehicle::kKindRoad, testing::kCar},
      {vehicle::kKindAircraft, testing::kFighterGearDown, vehicle::kKindTrain, testing::kTrain},
      {vehicle::kKindTrain, testing::kTrain, vehicle::kKindRoad, testing::kCar},
      {vehicle::kKindRoad, testing::kCar, vehicle::kKindAircraft, testing::kAirlinerGearUp},
  };
  for (const Case& c : cases) {
    TCockpit used, fresh;
    place(c.firstKind, c.firstType);
    cockpit::DrawInstruments(*s, used.context);
    place(c.kind, c.type);
    cockpit::DrawInstruments(*s, used.context);
    place(c.kind, c.type);
    cockpit::DrawInstruments(*s, fresh.context);
    SCOPED_TRACE(c.type);
    EXPECT_TRUE(used.indicator.image == fresh.indicator.image) << "attitude or speed dial";
    EXPECT_TRUE(used.power.image == fresh.power.image) << "power panel";
    EXPECT_TRUE(used.navi.image == fresh.navi.image) << "map";
    EXPECT_TRUE(used.pfd.image == fresh.pfd.image) << "flight display";
  }
  // A crash in practice mode, or a practice flight before its destination:
  // no vehicle, and every canvas goes black.
  TCockpit used;
  place(vehicle::kKindAircraft, testing::kFighterGearDown);
  cockpit::DrawInstruments(*s, used.context);
  s->Own = vehicle::TVehicleState{};
  cockpit::DrawFrame(*s, used.context, 1000);
  for (const Panel* p : {&used.pfd, &used.indicator, &used.navi, &used.power}) {
    EXPECT_FALSE(Lit(p->image, 0, 0, p->image.width(), p->image.height()));
  }
}

// One fixed state per instrument against its reference picture.
TEST_F(InstrumentsTest, ReferencePictures) {
  Panel indicator(cockpit::kIndicatorSize, cockpit::kIndicatorSize);
  const auto pfd = Pfd(TPfd{}, &indicator);
  ExpectReference(*pfd, "primary_flight_display");
  ExpectReference(indicator, "attitude");
  ExpectReference(*Gauge(25, 20), "speed_gauge");
  ExpectReference(*Power(0.5, 12, 15, 0.6), "power_panel");
}

TEST_F(NavigationTest, ReferencePictures) {
  AddRunway();
  Aircraft(-600);
  s->Own.Heading = 30;
  Traffic(0, 500, 3000, -640);
  Traffic(1, -2000, 1000, -560).FormNo = testing::kFighterGearUp;
  ExpectReference(*Draw(), "navigation_display");
  testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
  s->StopDistance = 123.45;
  ExpectReference(*Draw(), "navigation_display_train");
}

}  // namespace
}  // namespace velmora::ui
