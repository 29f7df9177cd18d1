// The core's 2D canvas drawn with a painter on an image.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QStaticText>
#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>

#include "cockpit/canvas.h"

namespace velmora::ui {

// A colour of the core (red in the low byte) as the toolkit's colour.
QColor ToQColor(uint32_t colour);

// Draws on the image it is given; the image must outlive the canvas. Between
// BeginPaint and EndPaint one painter stays open on the image.
class TQtCanvas final : public cockpit::TCanvas {
 public:
  explicit TQtCanvas(QImage& image, const QFont& font = QFont());
  ~TQtCanvas() override;

  // In the drawing's logical pixels: the image may have more.
  int32_t Width() const override { return qRound(image_.width() / image_.devicePixelRatio()); }
  int32_t Height() const override { return qRound(image_.height() / image_.devicePixelRatio()); }
  void BeginPaint() override;
  void EndPaint() override;
  // Adds the time of every painting session to *ms (null: not timed).
  void TimeSessions(double* ms) { sessionMs_ = ms; }
  void SetPen(uint32_t colour, int32_t width) override;
  void SetBrush(uint32_t colour, bool clear) override;
  void SetFont(uint32_t colour, int32_t height) override;
  void FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
           int32_t y4) override;
  void Polygon(const cockpit::TPixel* points, int count) override;
  void Polyline(const cockpit::TPixel* points, int count) override;
  void Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void Text(int32_t x, int32_t y, std::string_view text) override;
  void ClippedText(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x, int32_t y,
                   std::string_view text) override;

 private:
  // The open session's painter, or one for this call alone.
  class TPaint {
   public:
    explicit TPaint(TQtCanvas& canvas);
    QPainter& operator*() { return *painter_; }
    QPainter* operator->() { return painter_; }

   private:
    std::unique_ptr<QPainter> own_;
    QPainter* painter_;
  };

  double* sessionMs_ = nullptr;
  std::chrono::steady_clock::time_point sessionStart_;
  const QStaticText& Layout(std::string_view text);
  int Ascent();            // px of the font above its baseline
  int CellHeight() const;  // px
  int Baseline() const;    // px below the cell's top
  QPen Pen() const;
  QBrush Brush() const;

  QImage& image_;
  std::unique_ptr<QPainter> session_;
  QColor pen_ = Qt::black;
  int32_t penWidth_ = 1;
  QColor brush_ = Qt::white;
  bool clearBrush_ = false;
  QColor fontColour_ = Qt::black;
  QFont font_;
  bool sessionFontStale_ = false;  // the session's painter has an older font
  std::unordered_map<std::string, QStaticText> layouts_;  // by font height and text
  std::string layoutKey_;
  int ascent_ = 0;
  int ascentHeight_ = -1;  // the cell height ascent_ belongs to
};

}  // namespace velmora::ui
