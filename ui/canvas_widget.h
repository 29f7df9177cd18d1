// A list box used as a drawing canvas: it shows an image that the core draws
// on and reports mouse clicks in client pixels.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "ui/qt_canvas.h"

namespace velmora::ui {

// Copies `count` RGBA pixels (bytes R, G, B, A) into 0xFFRRGGBB words, the
// painter's native format; the alpha is taken as opaque.
void CopyRgbaToRgb32(const uint8_t* rgba, uint32_t* out, int count);

// Scales frames of opaque RGBA rows to another size, bilinearly with pixel
// centres aligned, into rows of 0xFFRRGGBB words. Its tables and the scaled
// source rows are kept between frames, so a frame allocates nothing once
// the sizes stand.
class TFrameScaler {
 public:
  // Scales the frame to the size of `out`, an image of 32-bit words.
  void Scale(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride, QImage& out);
  // Whether the last frame scaled had the same pixels as the one before it.
  bool Repeated() const { return repeated_; }

 private:
  // Where each output column or row samples: the first source index and the
  // weight of the next one, 0..256.
  static void Sample(int32_t from, int32_t to, std::vector<int32_t>& index,
                     std::vector<int32_t>& weight);
  // One source row scaled to the output's width, as 0xFFRRGGBB words.
  void ScaleRow(const uint8_t* row, uint32_t* out) const;

  int32_t fromWidth_ = 0, fromHeight_ = 0, toWidth_ = 0, toHeight_ = 0;
  std::vector<int32_t> columns_, columnWeights_, rows_, rowWeights_;
  std::vector<int32_t> columnsNext_;
  std::vector<std::array<int16_t, 8>> pairWeights_;
  std::vector<uint32_t> upper_, lower_;  // two source rows scaled to the output's width
  std::vector<uint8_t> last_;            // the last frame's pixels, rows packed
  bool repeated_ = false;
};

// The image is in the painter's native format, also on the canvas that takes
// the renderer's frames: their RGBA bytes are turned into it while they are
// copied, so that the overlay paints on the painter's fast path and the
// window shows the image with a plain copy instead of a conversion per frame.
class TCanvasWidget final : public QWidget {
 public:
  TCanvasWidget(QWidget* parent, const QString& name, const QRect& geometry,
                bool takesFrames = false);

  // Places the canvas at `geometry` (logical pixels). Its drawing code works
  // in `drawing` logical pixels, stretched over the geometry; the image has
  // the device's pixels under it, at `devicePixelRatio`, so text and lines
  // are drawn at the screen's resolution. True when the image was made anew
  // (black): its old picture is gone.
  bool Place(const QRect& geometry, const QSize& drawing, double devicePixelRatio);

  QImage& Image() { return image_; }
  TQtCanvas& Canvas() { return canvas_; }

  // Copies a frame of opaque RGBA rows (top row first) into the image, on a
  // canvas made to take frames only; another copies nothing. A frame of
  // another size than the image is scaled to it smoothly.
  void TakeFrame(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride);

  // Whether the last frame taken was scaled and repeated the one before.
  bool FrameRepeated() const { return scaled_ && scaler_.Repeated(); }

  // Schedules a paint only when the image differs from the one last
  // scheduled: an instrument whose picture stands still costs no paint.
  void UpdateIfChanged();

  std::function<void(int x, int y)> OnMouseDown;
  std::function<void(int x, int y)> OnMouseUp;
  std::function<void()> OnPaint;  // runs before the image is shown

 protected:
  void paintEvent(QPaintEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool takesFrames_;
  QImage image_;
  TFrameScaler scaler_;
  bool scaled_ = false;  // the last frame taken was scaled
  QImage shown_;  // a copy of the image as last scheduled for painting; null while hidden
  TQtCanvas canvas_;
};

}  // namespace velmora::ui
