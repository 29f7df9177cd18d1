// The instruments' laws without pixels: the train protection's caution speed
// and what the instruments show of it, which kinds get which instruments, and
// the reach of each map.
#include "cockpit/instruments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "cockpit/frame.h"
#include "pilot/train_protection.h"
#include "tests/support/recording_canvas.h"
#include "tests/support/test_vehicles.h"
#include "world/shapes.h"

namespace velmora::cockpit {
namespace {

using testing::RecordingCanvas;

constexpr double kSpeedStep = 1e-9;  // m/s: one step either side of a bound
constexpr uint32_t kRed = 0x0000FF;

// √(2.5 · (L·|L| + 9) / 1.94): the speed the protection allows at limit L.
double Caution(double limit) { return std::sqrt(2.5 * (limit * std::fabs(limit) + 9) / 1.94); }

TEST(Overspeed, CautionSpeedAtItsBounds) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double Limit, Speed;
    bool Over;
  } cases[] = {
      {0, Caution(0) - kSpeedStep, false},  // blocked track: about 3.41 m/s
      {0, Caution(0), false},
      {0, Caution(0) + kSpeedStep, true},
      {10, Caution(10) - kSpeedStep, false},
      {10, Caution(10) + kSpeedStep, true},
      {-3, Caution(-3) + kSpeedStep, true},      // L·|L| = -9: caution 0
      {-3, 0, false},
      {-8, kSpeedStep, true},                    // the lowest limit still counts
      {-8.01, 1e6, false},                       // below it: no limit at all
      {kNoSpeedLimit, 1e6, false},
      {1e38, 1e6, false},                        // no limit known yet
      {nan, 1e6, false},
      {0, nan, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(pilot::Overspeed(c.Limit, c.Speed), c.Over) << c.Limit << " m/s limit at " << c.Speed;
  }
  EXPECT_NEAR(Caution(0), 3.4056, 1e-4);
}

class InstrumentFrameTest : public ::testing::Test {
 protected:
  InstrumentFrameTest() : s(std::make_unique<state::TMainState>()) {
    testing::FillTestForms(*s);
    pfd.W = kPfdWidth, pfd.H = kPfdHeight;
    indicator.W = indicator.H = kIndicatorSize;
    navi.W = navi.H = kNaviSize;
    power.W = kPowerWidth, power.H = kPowerHeight;
    context.PFD = &pfd;
    context.Indicator = &indicator;
    context.Navi = &navi;
    context.Power = &power;
  }

  void Clear() {
    for (RecordingCanvas* c : {&pfd, &indicator, &navi, &power}) c->Calls.clear();
  }

  // The brush of the power panel's lamp in the last frame.
  uint32_t Lamp() const {
    uint32_t colour = 0xFFFFFFFF;
    for (const auto& call : power.Calls) {
      if (call.Kind == "FillRect" && call.Values[1] == 152 && call.Values[3] == 158) colour = call.BrushColour;
    }
    return colour;
  }

  std::unique_ptr<state::TMainState> s;
  RecordingCanvas pfd, indicator, navi, power;
  TFrameContext context;
};

TEST_F(InstrumentFrameTest, TrainProtection) {
  const struct {
    const char* Case;
    double VX, VY, Limit;
    int32_t UserNo;
    double Throttle;
    uint8_t BrakeBefore, EmergencyBefore, Brake, Emergency;
  } cases[] = {
      {"overspeed on a blocked track", 0, 5, 0, 7, 1, 0, 0, 0, 1},
      {"just at the caution speed", 0, Caution(0), 0, 7, 1, 0, 0, 0, 0},
      {"just above it", 0, Caution(0) + kSpeedStep, 0, 7, 1, 0, 0, 0, 1},
      {"the brake stays until the train stands", 0, 1, 0, 7, 1, 0, 1, 0, 1},
      {"not logged in: no protection", 0, 5, 0, 0, 1, 0, 0, 0, 0},
      {"no limit known", 0, 50, 1e38, 7, 1, 0, 0, 0, 0},
      {"standing releases it, idle holds the brake", 0.001, 0.001, 0, 7, 0, 0, 1, 1, 0},
      {"standing with power keeps the brake as it is", 0, 0, 0, 7, 1, 0, 1, 0, 0},
      {"moving just above 1 mm/s does not release", 0.0011, 0, 0, 7, 0, 0, 1, 0, 1},
      {"rolling backwards is braked", 0, -1, 20, 7, 1, 0, 0, 1, 0},
  };
  for (const auto& c : cases) {
    testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
    s->Own.VX = c.VX;
    s->Own.VY = c.VY;
    s->Own.UserNo = c.UserNo;
    s->RailSpeedLimit = c.Limit;
    s->Throttle = c.Throttle;
    s->ThrottleMax = 2;
    s->Brake = c.BrakeBefore;
    s->EmergencyBrake = c.EmergencyBefore;
    Clear();
    pilot::TrainProtection(*s);  // the tick's step; the instruments show its outcome
    DrawInstruments(*s, context);
    EXPECT_EQ(s->Brake, c.Brake) << c.Case;
    EXPECT_EQ(s->EmergencyBrake, c.Emergency) << c.Case;
    // "ATS" on red while the protection holds, else its place wiped black.
    const auto& last = indicator.Calls.back();
    if (c.Emergency != 0) {
      EXPECT_EQ(last.Kind, "Text") << c.Case;
      EXPECT_EQ(last.Text, "ATS");
      EXPECT_EQ(last.BrushColour, kRed);
      EXPECT_EQ((std::vector<int32_t>{61, 104}), last.Values);
    } else {
      EXPECT_EQ(last.Kind, "FillRect") << c.Case;
      EXPECT_EQ((std::vector<int32_t>{61, 104, 85, 117}), last.Values);
    }
    EXPECT_EQ(Lamp(), (c.Brake != 0 || c.Emergency != 0) ? kRed : 0u) << c.Case;
  }
}

// The protection needs no canvas: it is the tick's, and the instruments,
// with canvases or without, leave its brakes alone.
TEST_F(InstrumentFrameTest, ProtectionWorksWithoutCanvases) {
  testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
  s->Own.VY = 5;
  s->Own.UserNo = 7;
  s->RailSpeedLimit = 0;
  TFrameContext bare;
  DrawInstruments(*s, bare);
  EXPECT_EQ(s->EmergencyBrake, 0);
  pilot::TrainProtection(*s);
  EXPECT_EQ(s->EmergencyBrake, 1);
}

TEST_F(InstrumentFrameTest, InstrumentsByKind) {
  const struct {
    int32_t Kind, FormNo;
    bool Pfd, Indicator, Navi, Power;
  } cases[] = {
      {vehicle::kKindNone, 0, false, false, false, false},
      {vehicle::kKindAircraft, testing::kAirlinerGearUp, true, true, true, true},
      {vehicle::kKindRoad, testing::kCar, false, true, true, true},
      {vehicle::kKindTrain, testing::kTrain, false, true, true, true},
      {vehicle::kKindNoGravity, testing::kFreeBody, false, false, true, true},
  };
  for (const auto& c : cases) {
    if (c.Kind == vehicle::kKindNone) {
      s->Own = vehicle::TVehicleState{};
    } else {
      testing::PlaceOwn(*s, c.Kind, c.FormNo);
    }
    DrawInstruments(*s, context);  // the canvases cleared from the last kind's pictures
    Clear();
    DrawInstruments(*s, context);
    EXPECT_EQ(!pfd.Calls.empty(), c.Pfd) << c.Kind;
    EXPECT_EQ(!indicator.Calls.empty(), c.Indicator) << c.Kind;
    EXPECT_EQ(!navi.Calls.empty(), c.Navi) << c.Kind;
    EXPECT_EQ(!power.Calls.empty(), c.Power) << c.Kind;
  }
}

TEST_F(InstrumentFrameTest, ACanvasIsClearedWhenItsInstrumentChangesOrStops) {
  // One frame per row, in order; which canvases begin it with a black fill
  // of the whole canvas. The map fills itself so every frame it is drawn.
  struct Case {
    const char* name;
    int32_t kind, formNo;
    bool pfd, indicator, navi, power;
  };
  const Case cases[] = {
      {"a fighter, the first picture", vehicle::kKindAircraft, testing::kFighterGearUp,
       true, true, true, true},
      {"its gear down: the same instruments", vehicle::kKindAircraft, testing::kFighterGearDown,
       false, false, true, false},
      {"a car after it", vehicle::kKindRoad, testing::kCar, true, true, true, true},
      {"the car again", vehicle::kKindRoad, testing::kCar, false, false, true, false},
      {"a train after the car", vehicle::kKindTrain, testing::kTrain, false, true, true, true},
      {"an airliner after the train", vehicle::kKindAircraft, testing::kAirlinerGearDown,
       true, true, true, true},
      {"no vehicle: a practice crash", vehicle::kKindNone, 0, true, true, true, true},
      {"still none", vehicle::kKindNone, 0, false, false, false, false},
      {"a car after none", vehicle::kKindRoad, testing::kCar, false, true, true, true},
  };
  const auto cleared = [](const RecordingCanvas& c) {
    if (c.Calls.empty()) return false;
    const RecordingCanvas::Call& first = c.Calls.front();
    return first.Kind == "FillRect" && first.Values == std::vector<int32_t>{0, 0, c.W, c.H} &&
           first.BrushColour == 0 && !first.ClearBrush;
  };
  for (const Case& c : cases) {
    if (c.kind == vehicle::kKindNone) {
      s->Own = vehicle::TVehicleState{};
    } else {
      testing::PlaceOwn(*s, c.kind, c.formNo);
    }
    Clear();
    DrawFrame(*s, context, 1000);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(cleared(pfd), c.pfd);
    EXPECT_EQ(cleared(indicator), c.indicator);
    EXPECT_EQ(cleared(navi), c.navi);
    EXPECT_EQ(cleared(power), c.power);
  }
}

TEST_F(InstrumentFrameTest, NoVehicleFramePaintsNothing) {
  s->Own = vehicle::TVehicleState{};
  s->Caption = "Velmora";
  DrawFrame(*s, context, 1000);
  EXPECT_TRUE(s->Caption.empty());
  EXPECT_TRUE(pfd.Calls.empty() && indicator.Calls.empty() && navi.Calls.empty() && power.Calls.empty());
}

TEST_F(InstrumentFrameTest, PowerRatio) {
  const struct {
    double Throttle, ThrottleMax;
    uint8_t Brake;
    int32_t BarTop;  // first white row of the bar
  } cases[] = {{0, 4, 0, 151}, {2, 4, 0, 80}, {4, 4, 0, 10}, {4, 4, 1, 151}, {3, 0, 0, 151}};
  for (const auto& c : cases) {
    testing::PlaceOwn(*s, vehicle::kKindRoad, testing::kCar);
    s->Throttle = c.Throttle;
    s->ThrottleMax = c.ThrottleMax;
    s->Brake = c.Brake;
    Clear();
    DrawInstruments(*s, context);
    int32_t top = -1;
    for (const auto& call : power.Calls) {
      if (call.Kind == "Rectangle" && call.BrushColour == 0xFFFFFF && call.Values[3] == 152) top = call.Values[1];
    }
    EXPECT_EQ(top, c.BarTop) << c.Throttle << "/" << c.ThrottleMax << " brake " << int{c.Brake};
  }
}

class MapReachTest : public InstrumentFrameTest {
 protected:
  MapReachTest() : world(std::make_unique<world::TWorld>()) { s->World = world.get(); }

  int Polygons() {
    navi.Calls.clear();
    DrawNavigationDisplay(navi, *s, nullptr);
    int n = 0;
    for (const auto& call : navi.Calls) n += call.Kind == "Polygon" && call.PenColour != 0x00FFFF ? 1 : 0;
    return n;
  }

  std::unique_ptr<world::TWorld> world;
};

TEST_F(MapReachTest, RunwaysWithin15Kilometres) {
  auto runway = std::make_unique<world::TRunwayInfo>(0.0f, 0.0f, 0.0f, 3000.0f, 0.0f, 45.0f,
                                                     5000.0f, 0.0f, 0, "RWY", 0u);
  world->Destinations[0] = runway.get();
  world->DestinationCount = 1;
  world->Objects.Append(std::move(runway));
  testing::PlaceOwn(*s, vehicle::kKindAircraft, testing::kAirlinerGearUp);
  // The heading index is yellow too: count the yellow runway polygons apart.
  auto runways = [&] {
    navi.Calls.clear();
    DrawNavigationDisplay(navi, *s, nullptr);
    int n = 0;
    for (const auto& call : navi.Calls) n += call.Kind == "Polygon" && call.Values.size() == 8 ? 1 : 0;
    return n;
  };
  for (const auto& [east, drawn] : {std::pair{14999.0, 1}, {15000.0, 0}, {15001.0, 0}}) {
    s->Own.X = east;       // beside the runway: the foot of the perpendicular
    s->Own.Y = 1500;
    EXPECT_EQ(runways(), drawn) << east;
    s->Own.X = 0;          // beyond its end: the distance to the nearer end
    s->Own.Y = -east;
    EXPECT_EQ(runways(), drawn) << east;
  }
}

TEST_F(MapReachTest, TrafficFromA100MetreFloor) {
  testing::PlaceOwn(*s, vehicle::kKindAircraft, testing::kAirlinerGearUp);
  s->Own.Z = -500;
  vehicle::TVehicleState& r = s->Remote[0];
  r.Kind = vehicle::kKindAircraft;
  r.FormNo = testing::kAirlinerGearUp;
  r.UserNo = 9;
  r.Y = 1000;
  for (const auto& [z, boxes] : {std::pair{-99.999, 3}, {-100.0, 4}, {-100.001, 4}}) {
    r.Z = z;
    navi.Calls.clear();
    DrawNavigationDisplay(navi, *s, nullptr);
    // Two fills of the cross, three of the legend, one of the traffic.
    EXPECT_EQ(navi.Count("FillRect"), 3 + 3 + (boxes == 4 ? 1 : 0)) << z;
  }
}

TEST_F(MapReachTest, RoadsAndArcsWithin750Metres) {
  testing::PlaceOwn(*s, vehicle::kKindRoad, testing::kCar);
  world->Objects.Append(std::make_unique<world::TRoadInfo>(0.0f, 0.0f, 0.0f, 100.0f, 0.0f, 8.0f, 0));
  world->Objects.Append(std::make_unique<world::TRaceCrsInfo>(10.0f, 0.0f, 10.0f, 100.0f, 0.0f, 8.0f, -1.0, 0));
  // An arc round (0, 2000), radius 1000, its southern half (90° to 270°).
  world->Objects.Append(std::make_unique<world::TRaceCrsArcInfo>(0.0f, 2000.0f, 0.0f, 1000.0f, 8.0f, 90.0f, 270.0f, 0));
  for (const double west : {749.0, 750.0, 751.0}) {
    s->Own.X = -west;  // the race-course line lies 10 m further
    s->Own.Y = 50;
    navi.Calls.clear();
    DrawNavigationDisplay(navi, *s, nullptr);
    EXPECT_EQ(navi.Count("Polygon") - 1, west == 749.0 ? 1 : 0) << west;  // less the heading index
  }
  // The arc: inside its angular range within 750 m of the circle.
  const struct {
    double X, Y;
    int Arcs;
  } arcs[] = {{0, 2000 - 1000 + 749, 1}, {0, 2000 - 1000 - 749, 1}, {0, 2000 - 1000 - 751, 0},
              {0, 2000 + 1000, 0}};  // north of the centre: outside the southern half
  for (const auto& a : arcs) {
    s->Own.X = a.X;
    s->Own.Y = a.Y;
    navi.Calls.clear();
    DrawNavigationDisplay(navi, *s, nullptr);
    EXPECT_EQ(navi.Count("Arc") + navi.Count("Ellipse"), a.Arcs) << a.Y;
  }
}

TEST_F(MapReachTest, ThickLineAndArcCalls) {
  RecordingCanvas c;
  DrawThickLine(c, 0x123456, 3, 10, 10, 10, 20);  // half width 1 each side
  ASSERT_EQ(c.Count("Polygon"), 1);
  EXPECT_EQ((std::vector<int32_t>{9, 10, 9, 20, 11, 20, 11, 10}), c.Calls[0].Values);
  EXPECT_EQ(c.Calls[0].PenColour, 0x123456u);
  EXPECT_EQ(c.Calls[0].BrushColour, 0x123456u);
  c.Calls.clear();
  DrawArc(c, 0x888888, 90, 90, 3, 10, 50, 60);
  ASSERT_EQ(c.Count("Ellipse"), 1);
  EXPECT_EQ((std::vector<int32_t>{40, 50, 61, 71}), c.Calls[0].Values);
  c.Calls.clear();
  DrawArc(c, 0x888888, 90, 0, 3, 10, 50, 60);  // from east anticlockwise to north
  ASSERT_EQ(c.Count("Arc"), 1);
  EXPECT_EQ((std::vector<int32_t>{40, 50, 61, 71, 10050, 60, 50, -9940}), c.Calls[0].Values);
  EXPECT_TRUE(c.Calls[0].ClearBrush);
}

TEST_F(MapReachTest, StopDistanceNumber) {
  testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
  const struct {
    double Distance;
    const char* Word;
    const char* Number;
    uint32_t Colour;
  } cases[] = {{1234.567, "残", "1234.57", 0xFFFFFF}, {-0.3, "過", "0.30", 0x00FF00},
               {-0.6, "過", "0.60", 0x0000FF}, {0.5, "残", "0.50", 0x00FF00}};
  for (const auto& c : cases) {
    s->StopDistance = c.Distance;
    navi.Calls.clear();
    DrawNavigationDisplay(navi, *s, nullptr);
    ASSERT_EQ(navi.Count("Text"), 2);
    const auto& word = navi.Calls[navi.Calls.size() - 2];
    const auto& number = navi.Calls.back();
    EXPECT_EQ(word.Text, c.Word);
    EXPECT_EQ(number.Text, c.Number);
    EXPECT_EQ(word.FontColour, c.Colour);
    EXPECT_EQ(word.FontHeight, 32);
    // Right-aligned at 16 px per character.
    EXPECT_EQ(number.Values[0], 160 - 16 * static_cast<int32_t>(std::string(c.Number).size()));
  }
}

// The texts of a canvas with their places.
std::vector<const RecordingCanvas::Call*> Texts(const RecordingCanvas& c, const std::string& text) {
  std::vector<const RecordingCanvas::Call*> found;
  for (const auto& call : c.Calls) {
    if ((call.Kind == "Text" || call.Kind == "ClippedText") && call.Text == text) found.push_back(&call);
  }
  return found;
}

// x of a text: the last two values of a call are its place.
int32_t TextX(const RecordingCanvas::Call& c) { return c.Values[c.Values.size() - 2]; }
int32_t TextY(const RecordingCanvas::Call& c) { return c.Values.back(); }

TEST(FlightDisplayText, RightAlignedAtFivePixelsPerCharacter) {
  RecordingCanvas pfd, indicator;
  DrawPrimaryFlightDisplay(pfd, indicator, false, 0, 0, 140, 140, 1200, 1190, -1234.4);
  // Speed labels end at x 32: "140" on the centre line, "100" 72 px below.
  const auto speed = Texts(pfd, "140");
  ASSERT_FALSE(speed.empty());
  EXPECT_EQ(TextX(*speed[0]), 32 - 15);
  EXPECT_EQ(TextY(*speed[0]), 80 - 5);
  const auto lower = Texts(pfd, "100");
  ASSERT_FALSE(lower.empty());
  EXPECT_EQ(TextY(*lower[0]), 80 + 72 - 5);
  // Altitude labels end at x 232, three digits at least.
  const auto altitude = Texts(pfd, "1200");
  ASSERT_FALSE(altitude.empty());
  EXPECT_EQ(TextX(*altitude[0]), 232 - 20);
  EXPECT_EQ(TextY(*altitude[0]), 80 - 4);
  const auto hundreds = Texts(pfd, "1000");
  ASSERT_FALSE(hundreds.empty());
  EXPECT_EQ(TextY(*hundreds[0]), 80 + 52 - 4);  // 200 ft at 0.26 px/ft
  // The vertical speed number, unsigned and rounded, ends at x 259.
  const auto vs = Texts(pfd, "1234");
  ASSERT_EQ(vs.size(), 1u);
  EXPECT_EQ(TextX(*vs[0]), 259 - 20);
  EXPECT_EQ(TextY(*vs[0]), 150);
}

TEST(FlightDisplayText, LowAltitudeLabelsKeepThreeDigits) {
  RecordingCanvas pfd, indicator;
  DrawPrimaryFlightDisplay(pfd, indicator, false, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(Texts(pfd, "000").size(), 2u) << "upper/lower and beside the readout";
  EXPECT_EQ(Texts(pfd, "200").size(), 1u);
  EXPECT_EQ(Texts(pfd, "-200").size(), 1u);
  EXPECT_EQ(TextX(*Texts(pfd, "-200")[0]), 232 - 20);
}

TEST(AttitudeText, LadderLabelsByAircraft) {
  const struct {
    bool Fighter;
    const char* First;
    const char* Second;
    size_t FirstCount, SecondCount;
  } cases[] = {{false, "10", "20", 4, 2}, {true, "40", "80", 4, 0}};
  for (const auto& c : cases) {
    RecordingCanvas indicator;
    DrawAttitude(indicator, c.Fighter, 0, 0);
    EXPECT_EQ(Texts(indicator, c.First).size(), c.FirstCount) << c.Fighter;
    EXPECT_EQ(Texts(indicator, c.Second).size(), c.SecondCount) << c.Fighter;
    // Both sides of the ±10° (±40°) rungs: 28 px half length.
    const auto labels = Texts(indicator, c.First);
    EXPECT_EQ(TextX(*labels[0]), 72 - 28 - 12);
    EXPECT_EQ(TextX(*labels[1]), 75 + 28);
  }
}

TEST(SpeedGaugeStrokes, WipeWidthByReplayMode) {
  for (const auto& [mode, width] : {std::pair{0, 15}, {1, 60}, {2, 15}, {4, 15}, {5, 60}, {6, 15}}) {
    RecordingCanvas c;
    DrawSpeedGauge(c, kNoSpeedLimit, 10, static_cast<uint8_t>(mode));
    ASSERT_FALSE(c.Calls.empty());
    EXPECT_EQ(c.Calls[0].Kind, "Line");
    EXPECT_EQ(c.Calls[0].PenWidth, width) << "replay mode " << mode;
    EXPECT_EQ(c.Calls[0].PenColour, 0u);
  }
}

TEST(SpeedGaugeStrokes, ScaleLabelsEvery20Kmh) {
  RecordingCanvas c;
  DrawSpeedGauge(c, kNoSpeedLimit, 0, 0);
  for (int kmh = 0; kmh <= 180; kmh += 20) {
    EXPECT_EQ(Texts(c, std::to_string(kmh)).size(), 1u) << kmh;
  }
  // 30 km/h is straight left, 160 km/h straight right: their labels sit at
  // radius 50 less 3 px per character.
  EXPECT_EQ(Texts(c, "190").size(), 0u);
  const auto zero = Texts(c, "0");
  ASSERT_EQ(zero.size(), 1u);
  EXPECT_EQ(TextX(*zero[0]), 73 - 37 - 3);  // 50·sin(-131.54°) = -37.4
}

}  // namespace
}  // namespace velmora::cockpit
