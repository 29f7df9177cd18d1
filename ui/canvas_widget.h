// A list box used as a drawing canvas: it shows an image that the core draws
// on and reports mouse clicks in client pixels.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "ui/qt_canvas.h"

namespace velmora::ui {

// The image is in the painter's native format unless the canvas is to take
// the renderer's frames, which come as RGBA bytes: painting into RGBA8888
// takes the painter's slow path, about 25 times slower for large fills.
class TCanvasWidget final : public QWidget {
 public:
  TCanvasWidget(QWidget* parent, const QString& name, const QRect& geometry,
                QImage::Format format = QImage::Format_RGB32);

  QImage& Image() { return image_; }
  TQtCanvas& Canvas() { return canvas_; }

  // Copies a frame of RGBA rows (top row first) into the image, which must be
  // RGBA8888; otherwise nothing is copied.
  void TakeFrame(const uint8_t* rgba, int32_t width, int32_t height, int32_t stride);

  // Schedules a paint only when the image differs from the one last
  // scheduled: an instrument whose picture stands still costs no paint.
  void UpdateIfChanged();

  std::function<void(int x, int y)> OnMouseDown;
  std::function<void(int x, int y)> OnMouseUp;
  std::function<void()> OnPaint;  // runs before the image is shown

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QImage image_;
  QImage shown_;  // a copy of the image as last scheduled for painting
  TQtCanvas canvas_;
};

}  // namespace velmora::ui
