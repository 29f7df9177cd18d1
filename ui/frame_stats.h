// --frame-stats: how long the program's ticks and frames take, and where the
// time of a frame goes, gathered while it runs and printed when it closes.
// The figures come from the running program, so a user without a GPU sees
// which part makes it stutter.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "cockpit/render_scale.h"
#include "vehicle/renderer_api.h"

namespace velmora::ui {

// The parts of a tick and its frame.
enum class TFramePart {
  Simulation,    // the tick without its frame: control step, crew, protocol
  WorldRefresh,  // the frame without the 3D draw: world refresh, camera, guidance
  Draw3D,        // the renderer's draw and the read-back of its pixels
  Instruments,   // drawing the instruments and painting their canvases onto the window
  CopyToScreen,  // handing the 3D frame to the window and painting it there
};
inline constexpr std::size_t kFramePartCount = 5;

// Median, 95th percentile and maximum of a series, ms.
struct TSeriesSummary {
  std::size_t Count = 0;
  double Median = 0;
  double Percentile95 = 0;
  double Max = 0;
};

// Nearest-rank statistics of the samples (ms); all 0 for none.
TSeriesSummary Summarise(std::vector<double> samples);

// Samples kept per series: about 11 minutes of ticks, 512 KiB.
inline constexpr std::size_t kSamplesKept = std::size_t{1} << 16;

// One series in bounded memory. The count and the maximum are exact; the
// median and the 95th percentile come from every sample while they fit, then
// from a uniform random sample of them all (reservoir sampling), so a long
// flight's memory stays flat and its percentiles stay true to a fraction of
// a percent of rank.
class TSampleSeries {
 public:
  explicit TSampleSeries(std::size_t capacity = kSamplesKept) : capacity_(capacity) {}

  void Add(double ms);
  TSeriesSummary Summary() const;
  std::size_t Kept() const { return kept_.size(); }

 private:
  std::size_t capacity_;
  std::size_t count_ = 0;
  double max_ = 0;
  std::vector<double> kept_;
  std::mt19937_64 random_{0x5eed};
};

// The process's CPU time per second of wall time, as a share of one core
// (%): one sample for each whole second of wall time, and the share over
// the whole run. Both clocks count seconds from any fixed start.
class TCpuShare {
 public:
  explicit TCpuShare(std::size_t samplesKept = kSamplesKept) : perSecond_(samplesKept) {}

  // The process's CPU seconds (user and system) at `wallSeconds`; the first
  // reading starts the count.
  void Read(double cpuSeconds, double wallSeconds);

  TSeriesSummary PerSecond() const { return perSecond_.Summary(); }
  double CpuSeconds() const { return lastCpu_ - startCpu_; }
  double WallSeconds() const { return lastWall_ - startWall_; }
  // % of one core over the whole run so far; 0 before a second has passed.
  double Overall() const;
  std::size_t SamplesHeld() const { return perSecond_.Kept(); }

 private:
  TSampleSeries perSecond_;
  bool started_ = false;
  double startCpu_ = 0, startWall_ = 0;  // s, the first reading
  double markCpu_ = 0, markWall_ = 0;    // s, where the running second began
  double lastCpu_ = 0, lastWall_ = 0;    // s, the last reading
};

// The process's CPU time so far, every thread, user and system, s.
double ProcessCpuSeconds();

class TFrameStats {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TFrameStats(std::size_t samplesKept = kSamplesKept);

  void AddTick(double ms) { ticks_.Add(ms); }
  // The 3D render scale a frame was drawn at, % of each side; automatic:
  // chosen by the program rather than fixed by the user.
  void AddRenderScale(int32_t percent, bool automatic) {
    scales_.Add(percent);
    automaticScale_ = automatic;
  }
  void AddFrame(double ms) { frames_.Add(ms); }
  void AddPart(TFramePart part, double ms) { parts_[static_cast<std::size_t>(part)].Add(ms); }
  // The process's CPU seconds at a wall-clock time, s.
  void ReadCpu(double cpuSeconds, double wallSeconds) { cpu_.Read(cpuSeconds, wallSeconds); }
  const TCpuShare& Cpu() const { return cpu_; }

  TSeriesSummary Ticks() const { return ticks_.Summary(); }
  TSeriesSummary Frames() const { return frames_.Summary(); }
  TSeriesSummary Part(TFramePart part) const {
    return parts_[static_cast<std::size_t>(part)].Summary();
  }
  // Samples held over all series.
  std::size_t SamplesHeld() const;

  // The printed report: counts, one line per series, then the CPU share.
  std::string Report() const;

  // Milliseconds since `start`.
  static double Since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }

 private:
  TSampleSeries ticks_;
  TSampleSeries frames_;
  std::array<TSampleSeries, kFramePartCount> parts_;
  TSampleSeries scales_;
  bool automaticScale_ = true;
  TCpuShare cpu_;
};

// What drawing the 3D view costs, second by second, for the choice of its
// render scale: the process's CPU time (every thread: a software renderer
// fills on all cores) and the wall time inside the renderer's draw, which
// includes the read-back and the hand-over of the frame to the window.
class TDrawCost {
 public:
  explicit TDrawCost(vehicle::RendererApi& renderer) : timed_(renderer, *this) {}

  vehicle::RendererApi& Renderer() { return timed_; }

  // Once a second has passed since the last figures: those of that second.
  // intervalMs: ms between frames at the frame rate.
  std::optional<cockpit::TDrawSecond> Second(double intervalMs);
  // Notes whether the frame just drawn repeated the picture before it.
  void NoteFrame(bool repeated) {
    ++noted_;
    repeated_ += repeated ? 1 : 0;
  }

 private:
  class TTimedRenderer final : public vehicle::ForwardingRenderer {
   public:
    TTimedRenderer(vehicle::RendererApi& inner, TDrawCost& cost)
        : ForwardingRenderer(inner), cost_(cost) {}
    int32_t DXDraw(float fieldOfView, uint32_t clearColour, const vehicle::TVehicleState& camera,
                   const vehicle::TVehicleState* const* vehicles) override;

   private:
    TDrawCost& cost_;
  };

  double cpuMs_ = 0;   // in the running second
  double wallMs_ = 0;
  int32_t frames_ = 0;
  int32_t noted_ = 0;     // frames of the running second noted
  int32_t repeated_ = 0;  // of them, those that repeated the picture before
  bool started_ = false;
  std::chrono::steady_clock::time_point secondStart_;
  TTimedRenderer timed_;
};

// Measures the running program: the form calls it around each tick and
// frame, and draws through Renderer(), which times the renderer's draw.
class TFrameMeter {
 public:
  explicit TFrameMeter(vehicle::RendererApi& renderer) : timed_(renderer, drawMs_) {}

  vehicle::RendererApi& Renderer() { return timed_; }

  // The render scale of the frame under way (see TFrameStats::AddRenderScale).
  void AddRenderScale(int32_t percent, bool automatic) { stats_.AddRenderScale(percent, automatic); }
  void TickBegin();
  void TickEnd();
  void FrameBegin();
  void FrameEnd();
  // The 3D frame handed to the window inside the renderer's draw, ms.
  void AddPresent(double ms) { presentMs_ += ms; }
  // A window paint of the 3D view (CopyToScreen) or of an instrument
  // canvas (Instruments), ms; it counts towards the next frame.
  void AddPaint(TFramePart part, double ms);

  // Where the instrument canvases add the time they spend drawing, ms; it
  // counts towards the frame under way.
  double* InstrumentDrawTime() { return &instrumentDrawMs_; }

  const TFrameStats& Stats() const { return stats_; }

 private:
  // Forwards every call, timing DXDraw into `drawMs`.
  class TTimedRenderer final : public vehicle::ForwardingRenderer {
   public:
    TTimedRenderer(vehicle::RendererApi& inner, double& drawMs)
        : ForwardingRenderer(inner), drawMs_(drawMs) {}
    int32_t DXDraw(float fieldOfView, uint32_t clearColour, const vehicle::TVehicleState& camera,
                   const vehicle::TVehicleState* const* vehicles) override {
      const auto start = TFrameStats::Clock::now();
      const int32_t result = inner_.DXDraw(fieldOfView, clearColour, camera, vehicles);
      drawMs_ += TFrameStats::Since(start);
      return result;
    }

   private:
    double& drawMs_;
  };

  TFrameStats stats_;
  double drawMs_ = 0;
  double presentMs_ = 0;
  double viewPaintMs_ = 0;
  double instrumentPaintMs_ = 0;
  double instrumentDrawMs_ = 0;
  double frameMsInTick_ = 0;
  bool inTick_ = false;
  TFrameStats::Clock::time_point tickStart_;
  TFrameStats::Clock::time_point frameStart_;
  TTimedRenderer timed_;
};

}  // namespace velmora::ui
