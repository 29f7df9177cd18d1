#include "ui/frame_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <time.h>

namespace velmora::ui {
namespace {

constexpr double kPercentile = 0.95;
constexpr const char* kPartNames[kFramePartCount] = {
    "  simulation", "  world refresh", "  3D draw + read-back", "  instruments",
    "  copy to the screen"};

// The sample of nearest rank p (0 < p <= 1) in sorted samples.
double NearestRank(const std::vector<double>& sorted, double p) {
  const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
  return sorted[std::max<std::size_t>(rank, 1) - 1];
}

std::string Line(const char* name, const TSampleSeries& series) {
  const TSeriesSummary s = series.Summary();
  char text[160];
  std::snprintf(text, sizeof text, "%-24s %8zu %10.3f %10.3f %10.3f\n", name, s.Count, s.Median,
                s.Percentile95, s.Max);
  return text;
}

}  // namespace

TSeriesSummary Summarise(std::vector<double> samples) {
  TSeriesSummary s;
  s.Count = samples.size();
  if (samples.empty()) return s;
  std::sort(samples.begin(), samples.end());
  s.Median = NearestRank(samples, 0.5);
  s.Percentile95 = NearestRank(samples, kPercentile);
  s.Max = samples.back();
  return s;
}

void TSampleSeries::Add(double ms) {
  ++count_;
  max_ = count_ == 1 ? ms : std::max(max_, ms);
  if (kept_.size() < capacity_) {
    kept_.push_back(ms);
    return;
  }
  // Each of the count_ samples so far stays kept with the same chance.
  const std::uint64_t slot = std::uniform_int_distribution<std::uint64_t>(0, count_ - 1)(random_);
  if (slot < capacity_) kept_[static_cast<std::size_t>(slot)] = ms;
}

TSeriesSummary TSampleSeries::Summary() const {
  TSeriesSummary s = Summarise(kept_);
  s.Count = count_;
  s.Max = max_;
  return s;
}

void TCpuShare::Read(double cpuSeconds, double wallSeconds) {
  if (!started_) {
    started_ = true;
    startCpu_ = markCpu_ = cpuSeconds;
    startWall_ = markWall_ = wallSeconds;
  }
  lastCpu_ = cpuSeconds;
  lastWall_ = wallSeconds;
  const double wall = wallSeconds - markWall_;
  if (!(wall >= 1)) return;
  perSecond_.Add(100 * (cpuSeconds - markCpu_) / wall);
  markCpu_ = cpuSeconds;
  markWall_ = wallSeconds;
}

double TCpuShare::Overall() const {
  const double wall = WallSeconds();
  return wall >= 1 ? 100 * CpuSeconds() / wall : 0;
}

double ProcessCpuSeconds() {
  timespec t{};
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) != 0) return 0;
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

TFrameStats::TFrameStats(std::size_t samplesKept)
    : ticks_(samplesKept),
      frames_(samplesKept),
      parts_{TSampleSeries(samplesKept), TSampleSeries(samplesKept), TSampleSeries(samplesKept),
             TSampleSeries(samplesKept), TSampleSeries(samplesKept)},
      cpu_(samplesKept) {}

std::size_t TFrameStats::SamplesHeld() const {
  std::size_t held = ticks_.Kept() + frames_.Kept();
  for (const TSampleSeries& part : parts_) held += part.Kept();
  return held + cpu_.SamplesHeld();
}

std::string TFrameStats::Report() const {
  std::string text = "velmora frame statistics: " + std::to_string(ticks_.Summary().Count) +
                     " ticks, " + std::to_string(frames_.Summary().Count) + " frames\n";
  char head[160];
  std::snprintf(head, sizeof head, "%-24s %8s %10s %10s %10s\n", "ms", "samples", "median",
                "95th", "max");
  text += head;
  text += Line("tick", ticks_);
  text += Line("frame", frames_);
  for (std::size_t i = 0; i < kFramePartCount; ++i) text += Line(kPartNames[i], parts_[i]);
  text += Line(automaticScale_ ? "3D render scale %, auto" : "3D render scale %, fixed", scales_);
  const TSeriesSummary perSecond = cpu_.PerSecond();
  char cpu[240];
  std::snprintf(cpu, sizeof cpu,
                "%-24s %8zu %10.1f %10.1f %10.1f\n"
                "CPU: %.1f s in %.1f s of wall time, %.1f %% of one core\n",
                "CPU % of one core, per s", perSecond.Count, perSecond.Median,
                perSecond.Percentile95, perSecond.Max, cpu_.CpuSeconds(), cpu_.WallSeconds(),
                cpu_.Overall());
  return text + cpu;
}

int32_t TDrawCost::TTimedRenderer::DXDraw(float fieldOfView, uint32_t clearColour,
                                          const vehicle::TVehicleState& camera,
                                          const vehicle::TVehicleState* const* vehicles) {
  const double cpu = ProcessCpuSeconds();
  const auto start = TFrameStats::Clock::now();
  const int32_t result = inner_.DXDraw(fieldOfView, clearColour, camera, vehicles);
  cost_.wallMs_ += TFrameStats::Since(start);
  cost_.cpuMs_ += (ProcessCpuSeconds() - cpu) * 1e3;
  ++cost_.frames_;
  return result;
}

std::optional<cockpit::TDrawSecond> TDrawCost::Second(double intervalMs) {
  const auto now = TFrameStats::Clock::now();
  if (!started_) {
    started_ = true;
    secondStart_ = now;
    return std::nullopt;
  }
  const double elapsed = std::chrono::duration<double, std::milli>(now - secondStart_).count();
  if (elapsed < 1000) return std::nullopt;
  cockpit::TDrawSecond second;
  second.CpuShare = cpuMs_ / elapsed * 100;
  if (frames_ > 0) {
    second.FrameMs = wallMs_ / frames_;
    second.IntervalMs = intervalMs;
    // Blinking lights change a picture that otherwise stands still.
    second.Still = noted_ > 0 && repeated_ * 10 >= noted_ * 9;
  }
  cpuMs_ = wallMs_ = 0;
  frames_ = 0;
  noted_ = repeated_ = 0;
  secondStart_ = now;
  return second;
}

void TFrameMeter::TickBegin() {
  tickStart_ = TFrameStats::Clock::now();
  frameMsInTick_ = 0;
  inTick_ = true;
}

void TFrameMeter::TickEnd() {
  const double tick = TFrameStats::Since(tickStart_);
  stats_.ReadCpu(
      ProcessCpuSeconds(),
      std::chrono::duration<double>(TFrameStats::Clock::now().time_since_epoch()).count());
  stats_.AddTick(tick);
  stats_.AddPart(TFramePart::Simulation, std::max(0.0, tick - frameMsInTick_));
  inTick_ = false;
}

void TFrameMeter::FrameBegin() {
  frameStart_ = TFrameStats::Clock::now();
  drawMs_ = 0;
  presentMs_ = 0;
  instrumentDrawMs_ = 0;
}

void TFrameMeter::FrameEnd() {
  const double frame = TFrameStats::Since(frameStart_);
  stats_.AddFrame(frame);
  stats_.AddPart(TFramePart::WorldRefresh, std::max(0.0, frame - drawMs_ - instrumentDrawMs_));
  stats_.AddPart(TFramePart::Draw3D, std::max(0.0, drawMs_ - presentMs_));
  stats_.AddPart(TFramePart::Instruments, instrumentDrawMs_ + instrumentPaintMs_);
  stats_.AddPart(TFramePart::CopyToScreen, presentMs_ + viewPaintMs_);
  instrumentPaintMs_ = 0;
  viewPaintMs_ = 0;
  if (inTick_) frameMsInTick_ += frame;
}

void TFrameMeter::AddPaint(TFramePart part, double ms) {
  if (part == TFramePart::Instruments) {
    instrumentPaintMs_ += ms;
  } else {
    viewPaintMs_ += ms;
  }
}

}  // namespace velmora::ui
