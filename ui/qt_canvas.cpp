#include "ui/qt_canvas.h"

#include <QPolygon>
#include <QString>
#include <cmath>

namespace velmora::ui {
namespace {

constexpr int kMaxPoints = 4096;  // a longer polygon or polyline is cut here
// Text cells are one font height tall with the baseline this far down, so
// the form's font sits where the layout's cells expect it.
constexpr double kBaselineShare = 0.88;
constexpr std::size_t kMaxLayouts = 1024;  // kept text layouts; all dropped when full

QRect BoxOf(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1));
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QPolygon PolygonOf(const cockpit::TPixel* points, int count) {
  QPolygon polygon;
  const int n = std::min(count, kMaxPoints);
  polygon.reserve(n);
  for (int i = 0; i < n; ++i) polygon << QPoint(points[i].X, points[i].Y);
  return polygon;
}

}  // namespace

QColor ToQColor(uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

TQtCanvas::TPaint::TPaint(TQtCanvas& canvas) : painter_(canvas.session_.get()) {
  if (painter_ == nullptr) {
    own_ = std::make_unique<QPainter>(&canvas.image_);
    painter_ = own_.get();
    painter_->setFont(canvas.font_);
  } else if (canvas.sessionFontStale_) {
    // Choosing a font costs a lookup: the session's painter changes it only
    // when the canvas's font has changed.
    painter_->setFont(canvas.font_);
    canvas.sessionFontStale_ = false;
  }
}

TQtCanvas::TQtCanvas(QImage& image, const QFont& font) : image_(image), font_(font) {}

TQtCanvas::~TQtCanvas() = default;

void TQtCanvas::BeginPaint() {
  if (session_) return;
  if (sessionMs_ != nullptr) sessionStart_ = std::chrono::steady_clock::now();
  session_ = std::make_unique<QPainter>(&image_);
  session_->setFont(font_);
  sessionFontStale_ = false;
}

void TQtCanvas::EndPaint() {
  if (!session_) return;
  session_.reset();
  if (sessionMs_ != nullptr) {
    *sessionMs_ += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                             sessionStart_).count();
  }
}

// Hairlines leave out their last pixel, as the core expects; wider strokes
// get round ends and joins.
QPen TQtCanvas::Pen() const {
  if (penWidth_ <= 1) return QPen(pen_, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
  return QPen(pen_, penWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QBrush TQtCanvas::Brush() const {
  return clearBrush_ ? QBrush(Qt::NoBrush) : QBrush(brush_);
}

void TQtCanvas::SetPen(uint32_t colour, int32_t width) {
  pen_ = ToQColor(colour);
  penWidth_ = width;
}

void TQtCanvas::SetBrush(uint32_t colour, bool clear) {
  brush_ = ToQColor(colour);
  clearBrush_ = clear;
}

void TQtCanvas::SetFont(uint32_t colour, int32_t height) {
  fontColour_ = ToQColor(colour);
  if (height > 0 && height != font_.pixelSize()) {
    font_.setPixelSize(height);
    sessionFontStale_ = true;
  }
}

void TQtCanvas::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (x2 <= x1 || y2 <= y1) return;
  TPaint painter(*this);
  painter->fillRect(BoxOf(x1, y1, x2, y2), brush_);
}

void TQtCanvas::Rectangle(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (x2 <= x1 || y2 <= y1) return;
  TPaint painter(*this);
  if (!clearBrush_) painter->fillRect(BoxOf(x1, y1, x2, y2), brush_);
  painter->setPen(Pen());
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
}

void TQtCanvas::Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  TPaint painter(*this);
  painter->setPen(Pen());
  painter->setBrush(Brush());
  painter->drawEllipse(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
}

void TQtCanvas::Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                    int32_t x4, int32_t y4) {
  // Angles of the two rays from the box's centre, anticlockwise from 3 o'clock.
  const double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0;
  const double start = std::atan2(cy - y3, x3 - cx) * 180 / M_PI;
  double span = std::atan2(cy - y4, x4 - cx) * 180 / M_PI - start;
  if (span <= 0) span += 360;
  TPaint painter(*this);
  painter->setPen(Pen());
  painter->setBrush(Qt::NoBrush);
  painter->drawArc(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1),
                   static_cast<int>(std::lround(start * 16)),
                   static_cast<int>(std::lround(span * 16)));
}

void TQtCanvas::Polygon(const cockpit::TPixel* points, int count) {
  if (count <= 0) return;
  const QPolygon polygon = PolygonOf(points, count);
  TPaint painter(*this);
  painter->setPen(Pen());
  painter->setBrush(Brush());
  painter->drawPolygon(polygon);
}

void TQtCanvas::Polyline(const cockpit::TPixel* points, int count) {
  if (count <= 0) return;
  const QPolygon polygon = PolygonOf(points, count);
  TPaint painter(*this);
  painter->setPen(Pen());
  painter->drawPolyline(polygon);
}

void TQtCanvas::Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  TPaint painter(*this);
  painter->setPen(Pen());
  painter->drawLine(x1, y1, x2, y2);
}

int TQtCanvas::CellHeight() const {
  return font_.pixelSize() > 0 ? font_.pixelSize() : QFontMetrics(font_).height();
}

int TQtCanvas::Baseline() const {
  return static_cast<int>(std::lround(kBaselineShare * CellHeight()));
}

// Instruments draw the same few short texts every frame: their layouts are
// kept, per font height, so a frame only paints glyphs.
const QStaticText& TQtCanvas::Layout(std::string_view text) {
  const int height = CellHeight();
  std::string& key = layoutKey_;
  key.assign(reinterpret_cast<const char*>(&height), sizeof height);
  key.append(text);
  auto found = layouts_.find(key);
  if (found == layouts_.end()) {
    if (layouts_.size() >= kMaxLayouts) layouts_.clear();
    QStaticText layout(FromUtf8(text));
    layout.setTextFormat(Qt::PlainText);
    layout.setPerformanceHint(QStaticText::AggressiveCaching);
    layout.prepare(QTransform(), font_);
    found = layouts_.emplace(key, std::move(layout)).first;
  }
  return found->second;
}

int TQtCanvas::Ascent() {
  if (ascentHeight_ != CellHeight()) {
    ascent_ = QFontMetrics(font_).ascent();
    ascentHeight_ = CellHeight();
  }
  return ascent_;
}

void TQtCanvas::Text(int32_t x, int32_t y, std::string_view text) {
  const QStaticText& layout = Layout(text);
  const int top = y + Baseline() - Ascent();
  TPaint painter(*this);
  if (!clearBrush_) {
    painter->fillRect(QRect(x, y, static_cast<int>(std::ceil(layout.size().width())), CellHeight()),
                      brush_);
  }
  painter->setPen(fontColour_);
  painter->drawStaticText(x, top, layout);
}

void TQtCanvas::ClippedText(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x, int32_t y,
                            std::string_view text) {
  if (x2 <= x1 || y2 <= y1) return;
  const QStaticText& layout = Layout(text);
  const int top = y + Baseline() - Ascent();
  TPaint painter(*this);
  if (!clearBrush_) painter->fillRect(BoxOf(x1, y1, x2, y2), brush_);
  // Rolling digits and tape labels often lie wholly outside their box.
  const QSizeF size = layout.size();
  const QRect extent(x - 1, top - 1, static_cast<int>(std::ceil(size.width())) + 2,
                     static_cast<int>(std::ceil(size.height())) + 2);
  if (!extent.intersects(BoxOf(x1, y1, x2, y2))) return;
  painter->setClipRect(BoxOf(x1, y1, x2, y2));
  painter->setPen(fontColour_);
  painter->drawStaticText(x, top, layout);
  painter->setClipping(false);
}

}  // namespace velmora::ui
