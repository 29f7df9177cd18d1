// The shell's share of a frame: taking the renderer's pixels into the 3D
// view's image and painting the overlay on it.
#include <benchmark/benchmark.h>

#include <vector>

#include "cockpit/frame.h"
#include "ui/qt_canvas.h"

namespace {

using namespace velmora;

void BM_TakeFrame(benchmark::State& state) {
  std::vector<uint8_t> frame(static_cast<std::size_t>(cockpit::kViewWidth) * cockpit::kViewHeight * 4, 0x80);
  QImage image(cockpit::kViewWidth, cockpit::kViewHeight, QImage::Format_RGBA8888);
  for (auto _ : state) {
    for (int y = 0; y < cockpit::kViewHeight; ++y) {
      std::memcpy(image.scanLine(y), frame.data() + static_cast<std::size_t>(y) * cockpit::kViewWidth * 4,
                  static_cast<std::size_t>(cockpit::kViewWidth) * 4);
    }
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_TakeFrame);

void BM_GuidanceOverlayStrokes(benchmark::State& state) {
  QImage image(cockpit::kViewWidth, cockpit::kViewHeight, QImage::Format_RGBA8888);
  image.fill(Qt::black);
  ui::TQtCanvas canvas(image);
  cockpit::TPixel path[40];
  for (int i = 0; i < 40; ++i) path[i] = {508 + i * 10, 400 - i * 3};
  for (auto _ : state) {
    canvas.SetPen(0xFF00FF, 1);
    canvas.Line(508, 577, 508, 300);
    canvas.SetPen(0xFFFF00, 1);
    canvas.Line(300, 350, 300, 200);
    canvas.Line(320, 350, 320, 200);
    canvas.SetPen(0x00FFFF, 1);
    canvas.Polyline(path, 40);
    canvas.SetBrush(0, true);
    canvas.SetPen(0x00FFFF, 2);
    canvas.Rectangle(498, 278, 519, 299);
  }
}
BENCHMARK(BM_GuidanceOverlayStrokes);

}  // namespace
