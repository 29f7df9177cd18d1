#include "cockpit/frame_pacing.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "cockpit/frame.h"
#include "pilot/train_protection.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"

namespace velmora::cockpit {
namespace {

constexpr uint32_t kTick = 10;  // ms, the simulation's tick

// Which of `ticks` ticks 10 ms apart, from `start`, draw: '#' drawn, '.' not.
std::string Pattern(TFramePacer& pacer, uint32_t start, int ticks) {
  std::string drawn;
  for (int i = 0; i < ticks; ++i)
    drawn += pacer.Due(start + kTick * static_cast<uint32_t>(i)) ? '#' : '.';
  return drawn;
}

TEST(FramePacing, WhichTicksDraw) {
  constexpr uint32_t kWrap = 0xFFFFFFFF - 24;  // the clock wraps at the third tick
  const struct {
    int32_t Fps;
    uint32_t Start;
    const char* Drawn;  // twenty ticks
  } cases[] = {
      {100, 1000, "####################"},
      {100, kWrap, "####################"},
      {60, 1000, "#.##.#.##.#.##.#.##."},  // 12 in 200 ms: 60 a second
      {60, kWrap, "#.##.#.##.#.##.#.##."},
      {50, 1000, "#.#.#.#.#.#.#.#.#.#."},
      {25, 1000, "#...#...#...#...#..."},
      {25, kWrap, "#...#...#...#...#..."},
      {1, 1000, "#..................."},
      // Out of range: bounded to 1..100.
      {0, 1000, "#..................."},
      {1000, 1000, "####################"},
  };
  for (const auto& c : cases) {
    TFramePacer pacer(c.Fps);
    EXPECT_EQ(Pattern(pacer, c.Start, 20), c.Drawn) << c.Fps << " fps from " << c.Start;
  }
}

TEST(FramePacing, EarlyTicksLateTicksAndAStall) {
  const struct {
    const char* Case;
    int32_t Fps;
    uint32_t Ticks[6];  // ms
    const char* Drawn;
  } cases[] = {
      // A timer firing up to 5 ms early still draws; 6 ms early does not.
      {"5 ms early at 25 fps", 25, {0, 35, 80, 115, 160, 200}, "######"},
      {"6 ms early at 25 fps", 25, {0, 34, 40, 80, 114, 120}, "#.##.#"},
      {"every tick late at 100 fps", 100, {0, 12, 24, 36, 48, 60}, "######"},
      // After a stall the pace starts again from the present: no burst.
      {"a stall at 25 fps", 25, {0, 500, 510, 520, 530, 540}, "##...#"},
  };
  for (const auto& c : cases) {
    TFramePacer pacer(c.Fps);
    std::string drawn;
    for (const uint32_t t : c.Ticks) drawn += pacer.Due(t) ? '#' : '.';
    EXPECT_EQ(drawn, c.Drawn) << c.Case;
  }
}

TEST(FramePacing, TheScreensRate) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double RefreshHz;
    int32_t Fps;
  } cases[] = {{0, 60},     {-1, 60}, {nan, 60},  {0.5, 60}, {1, 1},
               {59.94, 60}, {75, 75}, {100, 100}, {144, 100}};
  for (const auto& c : cases) EXPECT_EQ(FramesPerSecondFor(c.RefreshHz), c.Fps) << c.RefreshHz;
}

// Counts the frames the renderer is asked for.
class CountingRenderer final : public testing::FakeRenderer {
 public:
  int Draws = 0;
  int32_t DXDraw(float, uint32_t, const vehicle::TVehicleState&,
                 const vehicle::TVehicleState* const*) override {
    ++Draws;
    return 0;
  }
};

// At 25 frames a second three ticks in four draw no pixels; the caption
// still follows the train on each of them. The train protection is the
// tick's: no frame, drawn or not, touches its brakes.
TEST(FramePacing, SkippedFramesStillActOnTheState) {
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
  s->Own.UserNo = 7;
  s->RailSpeedLimit = 0;  // a blocked track: caution speed about 3.4 m/s
  s->Throttle = 1;
  s->ThrottleMax = 2;
  CountingRenderer renderer;
  TFrameContext context;
  context.Renderer = &renderer;
  TFramePacer pacer(25);
  constexpr int kTicks = 100;
  for (int i = 0; i < kTicks; ++i) {
    const uint32_t now = 1000 + kTick * static_cast<uint32_t>(i);
    // A little faster each tick; past the caution speed from tick 50.
    s->Own.VY = 2.41 + 0.02 * i;
    s->EmergencyBrake = 0;
    DrawFrame(*s, context, now, pacer.Due(now));
    EXPECT_EQ(s->Caption, StatusLine(*s)) << "tick " << i;
    const bool over = pilot::Overspeed(0, vehicle::GroundSpeed(s->Own));
    EXPECT_EQ(over, i >= 50) << "tick " << i;
    EXPECT_EQ(s->EmergencyBrake, 0) << "tick " << i;
  }
  EXPECT_EQ(renderer.Draws, kTicks / 4);
}

}  // namespace
}  // namespace velmora::cockpit
