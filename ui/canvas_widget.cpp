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

void TFrameScaler::Sample(int32_t from, int32_t to, std::vector<int32_t>& index,
                          std::vector<int32_t>& weight) {
  index.resize(static_cast<std::size_t>(to));
  weight.resize(static_cast<std::size_t>(to));
  for (int32_t i = 0; i < to; ++i) {
    const double at = std::clamp((i + 0.5) * from / to - 0.5, 0.0, double(from - 1));
    const auto first = static_cast<int32_t>(at);
    index[static_cast<std::size_t>(i)] = first;
    weight[static_cast<std::size_t>(i)] =
        first + 1 < from ? static_cast<int32_t>(std::lround((at - first) * 256)) : 0;
  }
}

void TFrameScaler::ScaleRow(const uint8_t* row, uint8_t* out) const {
  const int32_t last = fromWidth_ - 1;
  for (int32_t x = 0; x < toWidth_; ++x) {
    const int32_t first = columns_[static_cast<std::size_t>(x)];
    const uint32_t next = static_cast<uint32_t>(columnWeights_[static_cast<std::size_t>(x)]);
    const uint8_t* a = row + 4 * first;
    const uint8_t* b = row + 4 * std::min(first + 1, last);
    for (int c = 0; c < 4; ++c) {
      out[4 * x + c] = static_cast<uint8_t>((a[c] * (256 - next) + b[c] * next) >> 8);
    }
  }
}

void TFrameScaler::Scale(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride,
                         QImage& out) {
  if (width != fromWidth_ || out.width() != toWidth_) {
    fromWidth_ = width;
    toWidth_ = out.width();
    Sample(fromWidth_, toWidth_, columns_, columnWeights_);
    const auto bytes = static_cast<std::size_t>(toWidth_) * 4;
    upper_.resize(bytes);
    lower_.resize(bytes);
    blended_.resize(bytes);
  }
  if (height != fromHeight_ || out.height() != toHeight_) {
    fromHeight_ = height;
    toHeight_ = out.height();
    Sample(fromHeight_, toHeight_, rows_, rowWeights_);
  }
  const std::size_t bytes = upper_.size();
  int32_t upperRow = -1, lowerRow = -1;
  for (int32_t y = 0; y < toHeight_; ++y) {
    const int32_t first = rows_[static_cast<std::size_t>(y)];
    const uint32_t next = static_cast<uint32_t>(rowWeights_[static_cast<std::size_t>(y)]);
    const int32_t second = std::min(first + 1, fromHeight_ - 1);
    // Consecutive output rows share their source rows: each is scaled once.
    if (upperRow != first) {
      if (lowerRow == first) {
        upper_.swap(lower_);
        lowerRow = -1;
      } else {
        ScaleRow(rgba + static_cast<std::ptrdiff_t>(first) * stride, upper_.data());
      }
      upperRow = first;
    }
    const uint8_t* row = upper_.data();
    if (next != 0) {
      if (lowerRow != second) {
        ScaleRow(rgba + static_cast<std::ptrdiff_t>(second) * stride, lower_.data());
        lowerRow = second;
      }
      const uint8_t* a = upper_.data();
      const uint8_t* b = lower_.data();
      uint8_t* mixed = blended_.data();
      for (std::size_t i = 0; i < bytes; ++i) {
        mixed[i] = static_cast<uint8_t>((a[i] * (256 - next) + b[i] * next) >> 8);
      }
      row = mixed;
    }
    CopyRgbaToRgb32(row, reinterpret_cast<uint32_t*>(out.scanLine(y)), toWidth_);
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

bool TCanvasWidget::Place(const QRect& geometry, const QSize& drawing, double devicePixelRatio) {
  setGeometry(geometry);
  const QSize pixels(std::max(1, qRound(geometry.width() * devicePixelRatio)),
                     std::max(1, qRound(geometry.height() * devicePixelRatio)));
  // One ratio for both sides: the drawing keeps its proportions.
  const double ratio = double(pixels.width()) / std::max(1, drawing.width());
  if (pixels == image_.size() && ratio == image_.devicePixelRatio()) return false;
  // The canvas draws on this same image object, which is replaced in place.
  image_ = QImage(pixels, QImage::Format_RGB32);
  image_.setDevicePixelRatio(ratio);
  image_.fill(Qt::black);
  shown_ = QImage();
  update();
  return true;
}

void TCanvasWidget::TakeFrame(const uint8_t* rgba, int32_t width, int32_t height,
                              int32_t stride) {
  if (rgba == nullptr || width <= 0 || height <= 0) return;
  if (!takesFrames_) return;
  if (width != image_.width() || height != image_.height()) {
    scaler_.Scale(rgba, width, height, stride, image_);
    update();
    return;
  }
  for (int y = 0; y < height; ++y) {
    CopyRgbaToRgb32(rgba + static_cast<std::ptrdiff_t>(y) * stride,
                    reinterpret_cast<uint32_t*>(image_.scanLine(y)), width);
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
  if (image_.deviceIndependentSize() == QSizeF(size())) {
    painter.drawImage(0, 0, image_);
  } else {
    painter.drawImage(rect(), image_);
  }
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
