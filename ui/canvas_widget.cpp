#include "ui/canvas_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

namespace velmora::ui {

TCanvasWidget::TCanvasWidget(QWidget* parent, const QString& name, const QRect& geometry,
                             QImage::Format format)
    : QWidget(parent),
      image_(geometry.size(), format),
      canvas_(image_, parent != nullptr ? parent->font() : QFont()) {
  setObjectName(name);
  setGeometry(geometry);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  image_.fill(Qt::black);
}

void TCanvasWidget::TakeFrame(const uint8_t* rgba, int32_t width, int32_t height,
                              int32_t stride) {
  if (rgba == nullptr || width <= 0 || height <= 0) return;
  if (image_.format() != QImage::Format_RGBA8888) return;
  const int rows = std::min(height, image_.height());
  const auto bytes = static_cast<std::size_t>(std::min(width, image_.width())) * 4;
  for (int y = 0; y < rows; ++y) {
    std::memcpy(image_.scanLine(y), rgba + static_cast<std::ptrdiff_t>(y) * stride, bytes);
  }
  update();
}

void TCanvasWidget::UpdateIfChanged() {
  if (!shown_.isNull() && shown_ == image_) return;
  // A deep copy: a painter may write into the image without detaching it.
  shown_ = image_.copy();
  update();
}

void TCanvasWidget::paintEvent(QPaintEvent*) {
  if (OnPaint) OnPaint();
  QPainter painter(this);
  painter.drawImage(0, 0, image_);
}

void TCanvasWidget::mousePressEvent(QMouseEvent* event) {
  if (OnMouseDown) OnMouseDown(event->position().toPoint().x(), event->position().toPoint().y());
  QWidget::mousePressEvent(event);
}

void TCanvasWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (OnMouseUp) OnMouseUp(event->position().toPoint().x(), event->position().toPoint().y());
  QWidget::mouseReleaseEvent(event);
}

}  // namespace velmora::ui
