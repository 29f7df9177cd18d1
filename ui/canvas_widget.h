// A list box used as a drawing canvas: it shows an image that the core draws
// on and reports mouse clicks in client pixels.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "ui/qt_canvas.h"

namespace velmora::ui {

// Copies `count` RGBA pixels (bytes R, G, B, A) into 0xFFRRGGBB words, the
// painter's native format; the alpha is taken as opaque.
void CopyRgbaToRgb32(const uint8_t* rgba, uint32_t* out, int count);

// The image is in the painter's native format, also on the canvas that takes
// the renderer's frames: their RGBA bytes are turned into it while they are
// copied, so that the overlay paints on the painter's fast path and the
// window shows the image with a plain copy instead of a conversion per frame.
class TCanvasWidget final : public QWidget {
 public:
  TCanvasWidget(QWidget* parent, const QString& name, const QRect& geometry,
                bool takesFrames = false);

  QImage& Image() { return image_; }
  TQtCanvas& Canvas() { return canvas_; }

  // Copies a frame of opaque RGBA rows (top row first) into the image, on a
  // canvas made to take frames only; another copies nothing.
  void TakeFrame(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride);

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
  QImage shown_;  // a copy of the image as last scheduled for painting; null while hidden
  TQtCanvas canvas_;
};

}  // namespace velmora::ui
