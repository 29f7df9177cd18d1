#include "cockpit/render_scale.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velmora::cockpit {
namespace {

constexpr double kFrame60 = 1000.0 / 60;  // ms between frames at 60 a second

// One second at 60 frames a second whose drawing took `share` % of a core and
// `frameMs` a frame.
TDrawSecond At60(double share, double frameMs = 5) { return {share, frameMs, kFrame60}; }
// The same at 30 frames a second, the slow step's rate.
TDrawSecond At30(double share, double frameMs = 5) { return {share, frameMs, 2 * kFrame60}; }

// The automatic choice as a table of seconds: each row starts at 100 %, or
// from the scale the leading seconds reach, and ends where the law says.
TEST(RenderScale, StepsDownOverTheBudgetAndUpWithRoom) {
  // At 85 % a step up costs (100/85)² = 1.384 times as much: it has room
  // while the share is at most 20 / 1.384 = 14.45 % of a core.
  const TDrawSecond over = At60(kDrawBudget + 0.1);
  struct Row {
    const char* What;
    std::vector<TDrawSecond> Seconds;
    int32_t Percent;
    int32_t Divisor = 1;
  };
  const std::vector<TDrawSecond> toSlow(5, over);  // down to the floor, then the slow step
  const Row rows[] = {
      {"at the budget", {At60(kDrawBudget)}, 100},
      {"just over it", {over}, 85},
      {"every second over, down to the floor", {over, over, over, over}, 50},
      {"still over at the floor: half the frame rate", toSlow, 50, 2},
      {"and no further", {over, over, over, over, over, over}, 50, 2},
      {"frames slower than the frame rate", {At60(1, kFrame60 + 0.1)}, 85},
      {"frames just within the frame rate", {At60(1, kFrame60)}, 100},
      {"no frame drawn: a hidden window", {{90, 40, 0}}, 100},
      {"a still picture over the budget", {over, over, {90, 1, kFrame60, true}}, 85},
      {"room for three seconds", {over, At60(14.4), At60(14.4), At60(14.4)}, 100},
      {"room for two seconds", {over, At60(14.4), At60(14.4)}, 85},
      {"just too little room", {over, At60(14.5), At60(14.5), At60(14.5)}, 85},
      {"a second without room starts the count again",
       {over, At60(14.4), At60(14.4), At60(20), At60(14.4), At60(14.4)}, 85},
      {"the frame time at the larger scale would not fit",
       {over, At60(1, 9.7), At60(1, 9.7), At60(1, 9.7)}, 85},
      {"the frame time at the larger scale fits",
       {over, At60(1, 9.6), At60(1, 9.6), At60(1, 9.6)}, 100},
  };
  // Leaving the slow step doubles the frames: room while the share is at
  // most 20 / 2 = 10 % and a frame fits 0.8 of the faster interval.
  const auto fromSlow = [&](const TDrawSecond& second) {
    std::vector<TDrawSecond> seconds = toSlow;
    seconds.insert(seconds.end(), 3, second);
    return seconds;
  };
  const Row slowRows[] = {
      {"the slow step with room for three seconds", fromSlow(At30(10)), 50, 1},
      {"the slow step with just too little room", fromSlow(At30(10.1)), 50, 2},
      {"a frame too slow for the faster rate", fromSlow(At30(1, 13.4)), 50, 2},
      {"the slow step and a still picture",
       {over, over, over, over, over, {1, 1, 2 * kFrame60, true}}, 50, 1},
  };
  const auto check = [](const Row& row) {
    TRenderScale scale;
    EXPECT_TRUE(scale.Automatic());
    auto last = std::make_pair(scale.Percent(), scale.FrameDivisor());
    for (const TDrawSecond& second : row.Seconds) {
      const bool changed = scale.Second(second);
      const auto now = std::make_pair(scale.Percent(), scale.FrameDivisor());
      EXPECT_EQ(changed, now != last) << row.What;
      last = now;
    }
    EXPECT_EQ(scale.Percent(), row.Percent) << row.What;
    EXPECT_EQ(scale.FrameDivisor(), row.Divisor) << row.What;
  };
  for (const Row& row : rows) check(row);
  for (const Row& row : slowRows) check(row);
}

// A scale the user fixes holds whatever drawing costs, within 50..100 %.
TEST(RenderScale, AFixedScaleHolds) {
  const std::pair<int32_t, int32_t> rows[] = {{70, 70}, {49, 50}, {101, 100}};
  for (const auto& [asked, percent] : rows) {
    TRenderScale scale(asked);
    EXPECT_FALSE(scale.Second(At60(99, 40)));
    EXPECT_EQ(scale.Percent(), percent) << asked;
    EXPECT_EQ(scale.FrameDivisor(), 1) << asked;
  }
}

}  // namespace
}  // namespace velmora::cockpit
