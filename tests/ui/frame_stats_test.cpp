#include "ui/frame_stats.h"

#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <vector>

#include "tests/support/fake_renderer.h"
#include "ui/qt_canvas.h"

namespace velmora::ui {
namespace {

constexpr double kSumTol = 1e-9;  // ms: parts computed from the same clock readings

TEST(FrameStats, NearestRankMedianPercentileAndMaximum) {
  struct Case {
    std::vector<double> samples;
    TSeriesSummary expected;
  };
  std::vector<double> hundred;
  for (int i = 100; i >= 1; --i) hundred.push_back(i);  // unsorted on purpose
  std::vector<double> twenty;
  for (int i = 1; i <= 20; ++i) twenty.push_back(i);
  std::vector<double> twentyOne = twenty;
  twentyOne.push_back(21);
  const Case cases[] = {
      {{}, {0, 0, 0, 0}},
      {{7}, {1, 7, 7, 7}},
      {{2, 1}, {2, 1, 2, 2}},
      {hundred, {100, 50, 95, 100}},
      {twenty, {20, 10, 19, 20}},      // 0.95 * 20 = 19: the 19th
      {twentyOne, {21, 11, 20, 21}},   // 0.95 * 21 = 19.95: the 20th
  };
  for (const Case& c : cases) {
    const TSeriesSummary s = Summarise(c.samples);
    EXPECT_EQ(s.Count, c.expected.Count);
    EXPECT_EQ(s.Median, c.expected.Median) << c.samples.size();
    EXPECT_EQ(s.Percentile95, c.expected.Percentile95) << c.samples.size();
    EXPECT_EQ(s.Max, c.expected.Max);
  }
}

TEST(FrameStats, TheMeterSplitsEachFrameIntoItsParts) {
  testing::FakeRenderer renderer;
  TFrameMeter meter(renderer);
  const vehicle::TVehicleState camera;
  const vehicle::TVehicleState* none[] = {nullptr};
  constexpr int kTicks = 3;
  for (int i = 0; i < kTicks; ++i) {
    meter.TickBegin();
    meter.AddPaint(TFramePart::Instruments, 2.0);
    meter.AddPaint(TFramePart::CopyToScreen, 1.0);
    meter.FrameBegin();
    meter.Renderer().DXDraw(30, 0, camera, none);
    meter.FrameEnd();
    meter.TickEnd();
  }
  // A frame drawn outside a tick (a paint of the form) counts as a frame only.
  meter.FrameBegin();
  meter.FrameEnd();
  const std::string report = meter.Stats().Report();
  EXPECT_EQ(report.rfind("velmora frame statistics: 3 ticks, 4 frames\n", 0), 0u) << report;
  for (const char* name : {"tick ", "frame ", "simulation", "world refresh", "3D draw + read-back",
                           "instruments", "copy to the screen"}) {
    EXPECT_NE(report.find(name), std::string::npos) << name;
  }
  // The paints waiting before a frame go to that frame, once.
  const TFrameStats& stats = meter.Stats();
  EXPECT_EQ(stats.Part(TFramePart::Instruments).Max, 2.0);
  EXPECT_EQ(stats.Part(TFramePart::Instruments).Median, 2.0);
  EXPECT_EQ(stats.Part(TFramePart::CopyToScreen).Max, 1.0);
  EXPECT_EQ(stats.Part(TFramePart::Instruments).Count, 4u);
  EXPECT_EQ(stats.Part(TFramePart::Simulation).Count, static_cast<std::size_t>(kTicks));
  // A tick holds its frame: the simulation is the rest of it.
  EXPECT_LE(stats.Part(TFramePart::Simulation).Max, stats.Ticks().Max);
}

TEST(FrameStats, FramePartsAddUpToTheFrame) {
  testing::FakeRenderer renderer;
  TFrameMeter meter(renderer);
  const vehicle::TVehicleState camera;
  const vehicle::TVehicleState* none[] = {nullptr};
  meter.FrameBegin();
  meter.Renderer().DXDraw(30, 0, camera, none);
  meter.AddPresent(0.0);
  meter.FrameEnd();
  // With no paints the refresh, the draw and the copy are the whole frame.
  const TFrameStats& stats = meter.Stats();
  EXPECT_NEAR(stats.Part(TFramePart::WorldRefresh).Max + stats.Part(TFramePart::Draw3D).Max +
                  stats.Part(TFramePart::CopyToScreen).Max,
              stats.Frames().Max, kSumTol);
  EXPECT_EQ(stats.Part(TFramePart::Instruments).Max, 0.0);
  EXPECT_EQ(stats.Ticks().Count, 0u);
}

// The instruments are drawn inside the frame: their canvases' painting
// sessions count as instruments, not as world refresh, and only in the frame
// that drew them.
TEST(FrameStats, InstrumentDrawingInTheFrameCountsAsInstruments) {
  testing::FakeRenderer renderer;
  TFrameMeter meter(renderer);
  QImage image(49, 161, QImage::Format_RGB32);
  TQtCanvas canvas(image);
  canvas.TimeSessions(meter.InstrumentDrawTime());
  meter.FrameBegin();
  canvas.BeginPaint();
  canvas.SetBrush(0x0000FF, false);
  canvas.FillRect(0, 0, 48, 160);
  canvas.EndPaint();
  canvas.EndPaint();  // a second end adds nothing
  meter.FrameEnd();
  const TFrameStats& stats = meter.Stats();
  EXPECT_GT(stats.Part(TFramePart::Instruments).Max, 0.0);
  EXPECT_NEAR(stats.Part(TFramePart::WorldRefresh).Max + stats.Part(TFramePart::Instruments).Max,
              stats.Frames().Max, kSumTol);

  meter.FrameBegin();
  meter.FrameEnd();
  EXPECT_EQ(stats.Part(TFramePart::Instruments).Count, 2u);
  EXPECT_EQ(stats.Part(TFramePart::Instruments).Median, 0.0) << "the second frame drew nothing";
}

// A long flight keeps a bounded sample: its count and maximum stay exact and
// its percentiles close to the true ones, within the sampling error of the
// kept samples.
TEST(FrameStats, ALongRunKeepsBoundedSamplesAndTrueFigures) {
  constexpr std::size_t kKept = 2000;
  constexpr std::size_t kSamples = 100 * kKept;
  constexpr double kRankTol = 0.03;  // of the count: a few standard errors of a 2000-sample rank
  TFrameStats stats(kKept);
  // 1, 2, … kSamples ms, in a scrambled order.
  for (std::size_t i = 0; i < kSamples; ++i) {
    stats.AddTick(static_cast<double>((i * 7919) % kSamples + 1));
  }
  EXPECT_LE(stats.SamplesHeld(), kKept);
  const TSeriesSummary ticks = stats.Ticks();
  EXPECT_EQ(ticks.Count, kSamples);
  EXPECT_EQ(ticks.Max, static_cast<double>(kSamples));
  EXPECT_NEAR(ticks.Median, 0.5 * kSamples, kRankTol * kSamples);
  EXPECT_NEAR(ticks.Percentile95, 0.95 * kSamples, kRankTol * kSamples);
  EXPECT_EQ(stats.Report().rfind("velmora frame statistics: 200000 ticks, 0 frames\n", 0), 0u);
}

TEST(FrameStats, CpuTimePerSecondOfWallTime) {
  constexpr double kShareTol = 1e-9;  // %: exact up to rounding of the seconds
  TCpuShare cpu;
  const struct {
    double Cpu, Wall;     // s, the readings
    std::size_t Samples;  // per-second samples after the reading
    double Overall;       // % of one core over the whole run
  } readings[] = {
      {50.0, 100.0, 0, 0},     // the start
      {50.3, 100.999, 0, 0},   // not yet a second
      {50.5, 101.0, 1, 50},    // half a core
      {52.5, 102.0, 2, 125},   // both cores for a second
      {52.5, 104.0, 3, 62.5},  // idle for two
  };
  for (const auto& r : readings) {
    cpu.Read(r.Cpu, r.Wall);
    EXPECT_EQ(cpu.PerSecond().Count, r.Samples) << r.Wall;
    EXPECT_NEAR(cpu.Overall(), r.Overall, kShareTol) << r.Wall;
  }
  const TSeriesSummary perSecond = cpu.PerSecond();
  EXPECT_NEAR(perSecond.Max, 200, kShareTol);
  EXPECT_NEAR(perSecond.Median, 50, kShareTol);
}

TEST(FrameStats, TheReportEndsWithTheCpuShare) {
  TFrameStats stats;
  stats.ReadCpu(10, 0);
  stats.ReadCpu(10.25, 1);
  const std::string report = stats.Report();
  EXPECT_NE(report.find("CPU: 0.2 s in 1.0 s of wall time, 25.0 % of one core\n"),
            std::string::npos)
      << report;
}

}  // namespace
}  // namespace velmora::ui
