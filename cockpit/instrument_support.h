// Small helpers shared by the instrument drawings: safe rounding to pixels,
// input bounds, text of a number, strokes that keep their last pixel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "cockpit/canvas.h"

namespace velmora::cockpit {

// The instruments' plain colours, as TColor values $00BBGGRR: red is the low byte.
inline constexpr uint32_t kBlack = 0x000000;
inline constexpr uint32_t kWhite = 0xFFFFFF;
inline constexpr uint32_t kRed = 0x0000FF;
inline constexpr uint32_t kGreen = 0x00FF00;
inline constexpr uint32_t kYellow = 0x00FFFF;
inline constexpr uint32_t kCyan = 0xFFFF00;
inline constexpr uint32_t kMagenta = 0xFF00FF;

}  // namespace velmora::cockpit

namespace velmora::cockpit::detail {

inline constexpr double kPixelBound = 1e6;   // px: coordinates are held within ±this
inline constexpr double kInputBound = 1e7;   // an instrument input is held within ±this

// A finite value held within ±bound; not-a-number becomes 0.
inline double Bounded(double v, double bound = kInputBound) {
  if (std::isnan(v)) return 0;
  return std::fmax(-bound, std::fmin(bound, v));
}

// Rounds half away from zero to a pixel, held within ±kPixelBound.
inline int32_t Px(double v) {
  return static_cast<int32_t>(std::lround(Bounded(v, kPixelBound)));
}

// Whether a mapped coordinate is a usable pixel position.
inline bool Drawable(double v) { return std::isfinite(v) && std::fabs(v) < kPixelBound; }

// printf into a fixed buffer: a frame allocates nothing.
struct TText {
  char Chars[64];
  int Length = 0;
  std::string_view View() const { return {Chars, static_cast<std::size_t>(Length)}; }
};

[[gnu::format(printf, 1, 2)]] inline TText Format(const char* format, ...) {
  TText t;
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(t.Chars, sizeof t.Chars, format, args);
  va_end(args);
  t.Length = n < 0 ? 0 : std::min(n, static_cast<int>(sizeof t.Chars) - 1);
  return t;
}

// A line that also covers its end pixel ("one pixel longer"). Lines wider
// than 1 px have round ends that cover it already.
inline void Stroke(TCanvas& c, int32_t penWidth, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  c.Line(x1, y1, x2, y2);
  if (penWidth <= 1) c.Line(x2, y2, x2 + 1, y2);
}

// Keeps an instrument's strokes in one drawing session of the canvas.
class TPaintSession {
 public:
  explicit TPaintSession(TCanvas& canvas) : canvas_(canvas) { canvas_.BeginPaint(); }
  ~TPaintSession() { canvas_.EndPaint(); }
  TPaintSession(const TPaintSession&) = delete;
  TPaintSession& operator=(const TPaintSession&) = delete;

 private:
  TCanvas& canvas_;
};

}  // namespace velmora::cockpit::detail
