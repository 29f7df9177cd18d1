// Where the main window's components lie for a client size, in logical
// pixels. The smallest window is the original 1016 × 741 layout. A larger one
// gives the 3D view the extra room; the panel row below it keeps its
// arrangement and grows with the window's height (or its width, where that is
// the narrower fit), and the message log and the chat line take the width
// that is left.
#pragma once

#include <cstdint>

namespace velmora::app {

inline constexpr int32_t kMinClientWidth = 1016;  // px, logical
inline constexpr int32_t kMinClientHeight = 741;  // px, logical

struct TRect {
  int32_t X = 0;       // px, logical, from the client area's left
  int32_t Y = 0;       // px, logical, from its top
  int32_t Width = 0;   // px
  int32_t Height = 0;  // px
  bool operator==(const TRect&) const = default;
};

struct TWindowLayout {
  double PanelScale = 1;  // the panel row's size against the smallest window
  TRect View;             // the 3D view
  TRect Mission;          // mission grid
  TRect PFD;              // flight display
  TRect Indicator;        // attitude indicator or speed gauge
  TRect Navi;             // navigation display, destination and replay panels
  TRect Power;            // power panel
  TRect Memo;             // message log
  TRect ChatInput;        // chat line
  TRect ChatButton;       // its button
};

// The layout of a client area of width × height logical pixels; a size
// below the smallest is laid out as the smallest.
TWindowLayout LayoutWindow(int32_t width, int32_t height);

// A logical length at the panel row's scale, rounded to whole pixels.
int32_t ScalePanel(double panelScale, int32_t length);

}  // namespace velmora::app
