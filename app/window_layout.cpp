#include "app/window_layout.h"

#include <algorithm>
#include <cmath>

namespace velmora::app {
namespace {

constexpr int32_t kPanelRowHeight = 161;  // px at the smallest window
constexpr int32_t kViewGap = 3;           // px between the view and the panel row
constexpr int32_t kLogLeft = 736;         // px, where the message log begins
constexpr int32_t kButtonWidth = 40;      // px, the chat button
constexpr int32_t kButtonGap = 1;         // px between the chat line and its button

}  // namespace

int32_t ScalePanel(double panelScale, int32_t length) {
  return static_cast<int32_t>(std::lround(panelScale * length));
}

TWindowLayout LayoutWindow(int32_t width, int32_t height) {
  const int32_t w = std::max(width, kMinClientWidth);
  const int32_t h = std::max(height, kMinClientHeight);
  TWindowLayout l;
  // The row fits both the height and the width: the log keeps at least its
  // smallest width.
  l.PanelScale = std::min(double(h) / kMinClientHeight, double(w) / kMinClientWidth);
  const double k = l.PanelScale;
  const auto s = [k](int32_t length) { return ScalePanel(k, length); };
  const int32_t top = h - s(kPanelRowHeight);
  // A rectangle of the row: its edges scaled, so neighbours keep their gaps.
  const auto row = [&](int32_t x, int32_t y, int32_t rw, int32_t rh) {
    return TRect{s(x), top + s(y), s(x + rw) - s(x), s(y + rh) - s(y)};
  };
  // The view reaches one pixel past the client area's right edge, as it always has.
  l.View = {0, 0, w + 1, top - s(kViewGap)};
  l.Mission = row(0, 0, 233, kPanelRowHeight);
  l.PFD = row(240, 0, 265, kPanelRowHeight);
  l.Indicator = row(288, 8, 145, 145);
  l.Navi = row(512, 0, 161, kPanelRowHeight);
  l.Power = row(680, 0, 49, kPanelRowHeight);
  const int32_t logLeft = s(kLogLeft);
  const int32_t button = s(kButtonWidth);
  l.Memo = {logLeft, top, w - logLeft, s(137)};
  l.ChatInput = {logLeft, top + s(139), w - logLeft - button - s(kButtonGap), s(159) - s(139)};
  l.ChatButton = {w - button, top + s(138), button, h - (top + s(138))};
  return l;
}

}  // namespace velmora::app
