// The shell's share of a frame: taking the renderer's pixels into the 3D
// view's image, painting the overlay on it, and the four instruments of one
// frame drawn by the Qt canvas.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>
#include <vector>

#include "cockpit/frame.h"
#include "tests/support/test_vehicles.h"
#include "ui/canvas_widget.h"
#include "ui/qt_canvas.h"
#include "world/shapes.h"

namespace {

using namespace velmora;

void BM_TakeFrame(benchmark::State& state) {
  std::vector<uint8_t> frame(static_cast<std::size_t>(cockpit::kViewWidth) * cockpit::kViewHeight * 4, 0x80);
  QImage image(cockpit::kViewWidth, cockpit::kViewHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    for (int y = 0; y < cockpit::kViewHeight; ++y) {
      ui::CopyRgbaToRgb32(frame.data() + static_cast<std::size_t>(y) * cockpit::kViewWidth * 4,
                          reinterpret_cast<uint32_t*>(image.scanLine(y)), cockpit::kViewWidth);
    }
    benchmark::DoNotOptimize(image.constBits());
  }
}
BENCHMARK(BM_TakeFrame);

void EnsureApplication();

// The full-screen view at 1920 × 1080 (1921 × 841 pixels): a frame drawn at
// the render scale in % (the argument) taken into the view's image; 100 is
// the plain copy.
void BM_TakeScaledFrame(benchmark::State& state) {
  constexpr int kWidth = 1921, kHeight = 841;  // px, the view's image
  const auto percent = static_cast<int>(state.range(0));
  const int width = kWidth * percent / 100, height = kHeight * percent / 100;
  std::vector<uint8_t> frame(static_cast<std::size_t>(width) * height * 4);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7);
  EnsureApplication();
  ui::TCanvasWidget view(nullptr, "view", QRect(0, 0, kWidth, kHeight), true);
  for (auto _ : state) {
    view.TakeFrame(frame.data(), width, height, width * 4);
    benchmark::DoNotOptimize(view.Image().constBits());
  }
}
BENCHMARK(BM_TakeScaledFrame)->Arg(100)->Arg(70)->Arg(50)->Unit(benchmark::kMicrosecond);

void BM_GuidanceOverlayStrokes(benchmark::State& state) {
  QImage image(cockpit::kViewWidth, cockpit::kViewHeight, QImage::Format_RGB32);
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

// Fonts need the application object; the offscreen platform needs no display.
void EnsureApplication() {
  static int argc = 1;
  static char name[] = "ui_bench";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
  }
}

// The four instrument canvases of the form, in its font and image format.
struct TCockpit {
  QImage Pfd{cockpit::kPfdWidth, cockpit::kPfdHeight, QImage::Format_RGB32};
  QImage Indicator{cockpit::kIndicatorSize, cockpit::kIndicatorSize, QImage::Format_RGB32};
  QImage Navi{cockpit::kNaviSize, cockpit::kNaviSize, QImage::Format_RGB32};
  QImage Power{cockpit::kPowerWidth, cockpit::kPowerHeight, QImage::Format_RGB32};
  QFont Font{"Noto Sans CJK JP"};
  std::unique_ptr<ui::TQtCanvas> Canvases[4];
  cockpit::TFrameContext Context;

  TCockpit() {
    Font.setPixelSize(12);
    QImage* images[] = {&Pfd, &Indicator, &Navi, &Power};
    for (int i = 0; i < 4; ++i) {
      images[i]->fill(Qt::black);
      Canvases[i] = std::make_unique<ui::TQtCanvas>(*images[i], Font);
    }
    Context.PFD = Canvases[0].get();
    Context.Indicator = Canvases[1].get();
    Context.Navi = Canvases[2].get();
    Context.Power = Canvases[3].get();
  }
};

// An airliner on approach at 600 m among 100 aircraft, with 20 runways in reach.
void BM_InstrumentsAircraft(benchmark::State& state) {
  EnsureApplication();
  auto s = std::make_unique<state::TMainState>();
  auto world = std::make_unique<world::TWorld>();
  testing::FillTestForms(*s);
  testing::PlaceOwn(*s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
  s->Own.Z = -600;
  s->Own.VY = 75;
  s->Own.VZ = 3.5;
  s->Own.Pitch = 2;
  s->Own.Bank = -8;
  s->Own.Heading = 20;
  s->Own.Flap = 25;
  s->FlapSet = 30;
  s->Gear = 1;
  s->Throttle = 2;
  s->ThrottleMax = 5;
  for (int i = 0; i < world::kMaxDestinations; ++i) {
    auto runway = std::make_unique<world::TRunwayInfo>(
        static_cast<float>(i * 500), 3000.0f, static_cast<float>(i * 500 + 300), 6000.0f, 0.0f,
        45.0f, 5000.0f, 10.0f, 0, "RWY", 0u);
    world->Destinations[static_cast<std::size_t>(i)] = runway.get();
    world->Objects.Append(std::move(runway));
  }
  world->DestinationCount = world::kMaxDestinations;
  s->World = world.get();
  for (int i = 0; i < 100; ++i) {
    vehicle::TVehicleState& r = s->Remote[static_cast<std::size_t>(i)];
    r.UserNo = i + 2;
    r.Kind = vehicle::kKindAircraft;
    r.FormNo = testing::kAirlinerGearUp;
    r.X = (i % 10) * 900 - 4500.0;
    r.Y = (i / 10) * 900 - 4500.0;
    r.Z = -400 - 5.0 * i;
  }
  TCockpit cockpit;
  for (auto _ : state) {
    cockpit::DrawInstruments(*s, cockpit.Context);
    benchmark::DoNotOptimize(cockpit.Pfd.constBits());
  }
}
BENCHMARK(BM_InstrumentsAircraft)->Unit(benchmark::kMicrosecond);

// A train at 60 km/h under a 70 km/h limit, 350 m before its stop.
void BM_InstrumentsTrain(benchmark::State& state) {
  EnsureApplication();
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
  s->Own.VY = 60 / 3.6;
  s->RailSpeedLimit = 70 / 3.6;
  s->StopDistance = 350;
  s->Throttle = 1;
  s->ThrottleMax = 2;
  TCockpit cockpit;
  for (auto _ : state) {
    cockpit::DrawInstruments(*s, cockpit.Context);
    benchmark::DoNotOptimize(cockpit.Indicator.constBits());
  }
}
BENCHMARK(BM_InstrumentsTrain)->Unit(benchmark::kMicrosecond);

}  // namespace

namespace {

// Each instrument alone on its Qt canvas, to see where a frame's time goes.
void BM_Instrument(benchmark::State& state) {
  EnsureApplication();
  TCockpit cockpit;
  auto s = std::make_unique<state::TMainState>();
  velmora::testing::FillTestForms(*s);
  velmora::testing::PlaceOwn(*s, vehicle::kKindAircraft, velmora::testing::kAirlinerGearDown);
  s->Own.Z = -600;
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0: cockpit::DrawAttitude(*cockpit.Canvases[1], false, 2, -8); break;
      case 1:
        cockpit::DrawPrimaryFlightDisplay(*cockpit.Canvases[0], *cockpit.Canvases[1], false, 2, -8,
                                          140, 138, 1990, 1960, -700);
        break;
      case 2: cockpit::DrawSpeedGauge(*cockpit.Canvases[1], 70 / 3.6, 60 / 3.6, 0); break;
      case 3: cockpit::DrawPowerPanel(*cockpit.Canvases[3], 1, 25, 30, 0.4); break;
      default: cockpit::DrawNavigationDisplay(*cockpit.Canvases[2], *s, nullptr); break;
    }
    benchmark::DoNotOptimize(cockpit.Pfd.constBits());
  }
}
// 0 attitude, 1 flight display with attitude, 2 speed gauge, 3 power panel,
// 4 navigation display (aircraft, no traffic).
BENCHMARK(BM_Instrument)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);

}  // namespace
