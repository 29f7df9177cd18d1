#include "ui/canvas_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstring>

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

void TFrameScaler::ScaleRow(const uint8_t* row, uint32_t* out) const {
  const auto pixel = [row](int32_t i) {
    uint32_t p;
    std::memcpy(&p, row + 4 * static_cast<std::ptrdiff_t>(i), 4);
    return p;
  };
  int32_t x = 0;
#if defined(__SSE2__)
  // Two output pixels at a time, their channels in 16-bit lanes:
  // a·(256 − w) + b·w stays below 2^16.
  const __m128i zero = _mm_setzero_si128();
  const __m128i whole = _mm_set1_epi16(256);
  for (; x + 2 <= toWidth_; x += 2) {
    const auto i = static_cast<std::size_t>(x);
    const int32_t first0 = columns_[i], first1 = columns_[i + 1];
    const auto pair = [&](int32_t p0, int32_t p1) {
      return _mm_unpacklo_epi8(
          _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(pixel(p0))),
                             _mm_cvtsi32_si128(static_cast<int>(pixel(p1)))),
          zero);
    };
    const __m128i a = pair(first0, first1);
    const __m128i b = pair(columnsNext_[i], columnsNext_[i + 1]);
    const __m128i wb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&pairWeights_[i / 2]));
    const __m128i wa = _mm_sub_epi16(whole, wb);
    __m128i mixed =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, wa), _mm_mullo_epi16(b, wb)), 8);
    // R, G, B, A to the word 0xAARRGGBB: red and blue trade places.
    mixed = _mm_shufflehi_epi16(_mm_shufflelo_epi16(mixed, _MM_SHUFFLE(3, 0, 1, 2)),
                                _MM_SHUFFLE(3, 0, 1, 2));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(mixed, zero));
  }
#endif
  for (; x < toWidth_; ++x) {
    const auto i = static_cast<std::size_t>(x);
    const uint32_t w = static_cast<uint32_t>(columnWeights_[i]);
    const uint32_t a = pixel(columns_[i]), b = pixel(columnsNext_[i]);
    const auto channel = [&](int shift) {
      return (((a >> shift) & 0xFF) * (256 - w) + ((b >> shift) & 0xFF) * w) >> 8;
    };
    out[x] = 0xFF000000u | channel(0) << 16 | channel(8) << 8 | channel(16);
  }
}

namespace {

// Blends two rows of bytes: (a·(256 − w) + b·w) / 256, w in 0..256.
void BlendRows(const uint8_t* a, const uint8_t* b, uint8_t* out, std::size_t bytes, int32_t w) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i wa = _mm_set1_epi16(static_cast<int16_t>(256 - w));
  const __m128i wb = _mm_set1_epi16(static_cast<int16_t>(w));
  for (; i + 16 <= bytes; i += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    const auto half = [&](__m128i x, __m128i y) {
      return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(x, wa), _mm_mullo_epi16(y, wb)), 8);
    };
    const __m128i low = half(_mm_unpacklo_epi8(va, zero), _mm_unpacklo_epi8(vb, zero));
    const __m128i high = half(_mm_unpackhi_epi8(va, zero), _mm_unpackhi_epi8(vb, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(low, high));
  }
#endif
  for (; i < bytes; ++i) {
    out[i] = static_cast<uint8_t>((a[i] * (256 - w) + b[i] * w) >> 8);
  }
}

}  // namespace

void TFrameScaler::Scale(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride,
                         QImage& out) {
  if (width != fromWidth_ || out.width() != toWidth_) {
    fromWidth_ = width;
    toWidth_ = out.width();
    Sample(fromWidth_, toWidth_, columns_, columnWeights_);
    // The next column of each, and the weights of two neighbours in one
    // vector of 16-bit lanes, four channels each.
    columnsNext_.resize(columns_.size());
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      columnsNext_[i] = std::min(columns_[i] + 1, fromWidth_ - 1);
    }
    pairWeights_.assign(columns_.size() / 2, {});
    for (std::size_t i = 0; i < pairWeights_.size(); ++i) {
      for (std::size_t lane = 0; lane < 8; ++lane) {
        pairWeights_[i][lane] = static_cast<int16_t>(columnWeights_[2 * i + lane / 4]);
      }
    }
    upper_.resize(static_cast<std::size_t>(toWidth_));
    lower_.resize(static_cast<std::size_t>(toWidth_));
  }
  if (height != fromHeight_ || out.height() != toHeight_) {
    fromHeight_ = height;
    toHeight_ = out.height();
    Sample(fromHeight_, toHeight_, rows_, rowWeights_);
  }
  // A still picture is told apart from a moving one by its pixels.
  const auto rowBytes = static_cast<std::size_t>(width) * 4;
  last_.resize(rowBytes * static_cast<std::size_t>(height));
  repeated_ = true;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = rgba + static_cast<std::ptrdiff_t>(y) * stride;
    uint8_t* kept = last_.data() + rowBytes * static_cast<std::size_t>(y);
    if (repeated_ && std::memcmp(row, kept, rowBytes) == 0) continue;
    repeated_ = false;
    std::memcpy(kept, row, rowBytes);
  }
  const std::size_t bytes = upper_.size() * 4;
  int32_t upperRow = -1, lowerRow = -1;
  for (int32_t y = 0; y < toHeight_; ++y) {
    const int32_t first = rows_[static_cast<std::size_t>(y)];
    const int32_t next = rowWeights_[static_cast<std::size_t>(y)];
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
    uchar* line = out.scanLine(y);
    if (next == 0) {
      std::memcpy(line, upper_.data(), bytes);
      continue;
    }
    if (lowerRow != second) {
      ScaleRow(rgba + static_cast<std::ptrdiff_t>(second) * stride, lower_.data());
      lowerRow = second;
    }
    BlendRows(reinterpret_cast<const uint8_t*>(upper_.data()),
              reinterpret_cast<const uint8_t*>(lower_.data()), line, bytes, next);
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
  scaled_ = width != image_.width() || height != image_.height();
  if (scaled_) {
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
