// A 2D canvas that records what is drawn on it, for tests of overlays and
// instruments that need no pixels.
#pragma once

#include <string>
#include <vector>

#include "cockpit/canvas.h"

namespace velmora::testing {

class RecordingCanvas final : public cockpit::TCanvas {
 public:
  struct Call {
    std::string Kind;               // "Line", "Polyline", "Rectangle", ...
    std::vector<int32_t> Values;    // the coordinates in argument order
    uint32_t PenColour = 0;         // pen at the time of the call
    int32_t PenWidth = 0;
    bool ClearBrush = false;
    std::string Text;
    uint32_t BrushColour = 0;       // brush at the time of the call
    uint32_t FontColour = 0;        // font at the time of the call
    int32_t FontHeight = 0;
  };

  int32_t W = 1017;
  int32_t H = 577;
  std::vector<Call> Calls;

  int Count(const std::string& kind) const {
    int n = 0;
    for (const Call& c : Calls) n += c.Kind == kind ? 1 : 0;
    return n;
  }

  int32_t Width() const override { return W; }
  int32_t Height() const override { return H; }
  void SetPen(uint32_t colour, int32_t width) override {
    pen_ = colour;
    penWidth_ = width;
  }
  void SetBrush(uint32_t colour, bool clear) override {
    brush_ = colour;
    clear_ = clear;
  }
  void SetFont(uint32_t colour, int32_t height) override {
    font_ = colour;
    fontHeight_ = height;
  }
  void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    Add("FillRect", {x1, y1, x2, y2});
  }
  void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    Add("Rectangle", {x1, y1, x2, y2});
  }
  void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override {
    Add("Ellipse", {x1, y1, x2, y2});
  }
  void Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
           int32_t y4) override {
    Add("Arc", {x1, y1, x2, y2, x3, y3, x4, y4});
  }
  void Polygon(const cockpit::TPixel* points, int count) override { AddPoints("Polygon", points, count); }
  void Polyline(const cockpit::TPixel* points, int count) override { AddPoints("Polyline", points, count); }
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override { Add("Line", {x1, y1, x2, y2}); }
  void Text(int32_t x, int32_t y, std::string_view text) override {
    Add("Text", {x, y});
    Calls.back().Text = std::string(text);
  }
  void ClippedText(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x, int32_t y,
                   std::string_view text) override {
    Add("ClippedText", {x1, y1, x2, y2, x, y});
    Calls.back().Text = std::string(text);
  }

 private:
  void Add(const char* kind, std::vector<int32_t> values) {
    Calls.push_back({kind, std::move(values), pen_, penWidth_, clear_, {}, brush_, font_, fontHeight_});
  }
  void AddPoints(const char* kind, const cockpit::TPixel* points, int count) {
    std::vector<int32_t> values;
    for (int i = 0; i < count; ++i) {
      values.push_back(points[i].X);
      values.push_back(points[i].Y);
    }
    Add(kind, std::move(values));
  }

  uint32_t pen_ = 0;
  int32_t penWidth_ = 1;
  bool clear_ = false;
  uint32_t brush_ = 0;
  uint32_t font_ = 0;
  int32_t fontHeight_ = 0;
};

}  // namespace velmora::testing
