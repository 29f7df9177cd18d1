#include "app/window_layout.h"

#include <gtest/gtest.h>

namespace velmora::app {
namespace {

// The layout rules as a table of client sizes: the smallest window is the
// original layout, a smaller one is laid out as the smallest; the row grows
// with the height (1.4575 at 1080 lines, 2.9150 at 2160) or, in a window
// too narrow for that, with the width (1100 × 1000: 1.0827).
TEST(WindowLayout, PanelRowScalesAndTheViewAndLogTakeTheRest) {
  struct Row {
    int32_t Width, Height;
    TRect View, Mission, PFD, Indicator, Navi, Power, Memo, ChatInput, ChatButton;
  };
  const Row rows[] = {
      {1016, 741, {0, 0, 1017, 577}, {0, 580, 233, 161}, {240, 580, 265, 161},
       {288, 588, 145, 145}, {512, 580, 161, 161}, {680, 580, 49, 161}, {736, 580, 280, 137},
       {736, 719, 239, 20}, {976, 718, 40, 23}},
      {900, 600, {0, 0, 1017, 577}, {0, 580, 233, 161}, {240, 580, 265, 161},
       {288, 588, 145, 145}, {512, 580, 161, 161}, {680, 580, 49, 161}, {736, 580, 280, 137},
       {736, 719, 239, 20}, {976, 718, 40, 23}},
      {1920, 1080, {0, 0, 1921, 841}, {0, 845, 340, 235}, {350, 845, 386, 235},
       {420, 857, 211, 211}, {746, 845, 235, 235}, {991, 845, 72, 235}, {1073, 845, 847, 200},
       {1073, 1048, 788, 29}, {1862, 1046, 58, 34}},
      {3840, 2160, {0, 0, 3841, 1682}, {0, 1691, 679, 469}, {700, 1691, 772, 469},
       {840, 1714, 422, 423}, {1492, 1691, 470, 469}, {1982, 1691, 143, 469},
       {2145, 1691, 1695, 399}, {2145, 2096, 1575, 58}, {3723, 2093, 117, 67}},
      {1100, 1000, {0, 0, 1101, 823}, {0, 826, 252, 174}, {260, 826, 287, 174},
       {312, 835, 157, 157}, {554, 826, 175, 174}, {736, 826, 53, 174}, {797, 826, 303, 148},
       {797, 976, 259, 22}, {1057, 975, 43, 25}},
  };
  for (const Row& row : rows) {
    const TWindowLayout l = LayoutWindow(row.Width, row.Height);
    SCOPED_TRACE(std::to_string(row.Width) + " x " + std::to_string(row.Height));
    EXPECT_EQ(l.View, row.View);
    EXPECT_EQ(l.Mission, row.Mission);
    EXPECT_EQ(l.PFD, row.PFD);
    EXPECT_EQ(l.Indicator, row.Indicator);
    EXPECT_EQ(l.Navi, row.Navi);
    EXPECT_EQ(l.Power, row.Power);
    EXPECT_EQ(l.Memo, row.Memo);
    EXPECT_EQ(l.ChatInput, row.ChatInput);
    EXPECT_EQ(l.ChatButton, row.ChatButton);
  }
}

}  // namespace
}  // namespace velmora::app
