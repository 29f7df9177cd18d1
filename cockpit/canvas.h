// The 2D canvas the core draws on: the 3D view's overlay and the instrument
// panels. Colours are 24-bit values with red in the low byte, green in the
// middle and blue in the high byte; coordinates are client pixels, x to the
// right and y down. The shell implements it with a painter on an image, tests
// with an image or a recorder.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmora::cockpit {

struct TPixel {
  int32_t X = 0;  // px, right
  int32_t Y = 0;  // px, down
};

class TCanvas {
 public:
  virtual ~TCanvas() = default;

  virtual int32_t Width() const = 0;   // px
  virtual int32_t Height() const = 0;  // px

  // An instrument's strokes come between BeginPaint and EndPaint, so a canvas
  // can keep one drawing session open for all of them. Calls outside such a
  // pair still draw.
  virtual void BeginPaint() {}
  virtual void EndPaint() {}

  // A solid pen of the colour, width px wide. Lines of width 1 leave out
  // their last pixel; wider lines have round ends.
  virtual void SetPen(uint32_t colour, int32_t width) = 0;
  // A solid brush of the colour, or no fill at all when clear is set.
  virtual void SetBrush(uint32_t colour, bool clear) = 0;
  // The text colour and the character height in px.
  virtual void SetFont(uint32_t colour, int32_t height) = 0;

  // Fills (x1, y1)..(x2, y2), right and bottom edges excluded, with the brush.
  virtual void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  // Outline with the pen and inside with the brush, right and bottom edges excluded.
  virtual void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  virtual void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  // The arc of the ellipse in the box, anticlockwise from the ray towards
  // (x3, y3) to the ray towards (x4, y4).
  virtual void Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                   int32_t x4, int32_t y4) = 0;
  virtual void Polygon(const TPixel* points, int count) = 0;
  virtual void Polyline(const TPixel* points, int count) = 0;
  // A line from (x1, y1) up to, not including, (x2, y2).
  virtual void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  // UTF-8 text with its top-left corner at (x, y), on the brush unless it is clear.
  virtual void Text(int32_t x, int32_t y, std::string_view text) = 0;
  // The same, cut off at the box (x1, y1)..(x2, y2); unless the brush is
  // clear the whole box is filled with it first.
  virtual void ClippedText(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x, int32_t y,
                           std::string_view text) = 0;
};

}  // namespace velmora::cockpit
