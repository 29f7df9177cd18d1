#include "ui/canvas_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora::ui {

void CopyRgbaToRgb32(const uint8_t* rgba, uint32_t* out, int count) {
  // As a little-endian word a pixel reads 0xAABBGGRR: red and blue trade
  // places and the alpha becomes 0xFF.
  int x = 0;
#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  const __m128i redBlue = _mm_set1_epi32(0x00FF00FF);
  const __m128i green = _mm_set1_epi32(0x0000FF00);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  for (; x + 4 <= count; x += 4) {
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgba + 4 * x));
    const __m128i rb = _mm_and_si128(p, redBlue);
    const __m128i swapped = _mm_or_si128(_mm_slli_epi32(rb, 16), _mm_srli_epi32(rb, 16));
    const __m128i kept = _mm_or_si128(_mm_and_si128(p, green), opaque);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(swapped, kept));
  }
#endif
  for (; x < count; ++x) {
    const uint8_t* p = rgba + 4 * static_cast<std::ptrdiff_t>(x);
    out[x] = 0xFF000000u | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  }
}

TCanvasWidget::TCanvasWidget(QWidget* parent, const QString& name, const QRect& geometry,
                             bool takesFrames)
    : QWidget(parent),
      takesFrames_(takesFrames),
      image_(geometry.size(), QImage::Format_RGB32),
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
  if (!takesFrames_) return;
  const int rows = std::min(height, image_.height());
  const int columns = std::min(width, image_.width());
  for (int y = 0; y < rows; ++y) {
    CopyRgbaToRgb32(rgba + static_cast<std::ptrdiff_t>(y) * stride,
                    reinterpret_cast<uint32_t*>(image_.scanLine(y)), columns);
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

void TCanvasWidget::hideEvent(QHideEvent* event) {
  // Shown again, the widget paints the image as it is then, which may differ
  // from the copy: the next picture is painted whatever it is.
  shown_ = QImage();
  QWidget::hideEvent(event);
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
