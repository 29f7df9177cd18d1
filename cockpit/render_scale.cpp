#include "cockpit/render_scale.h"

#include <algorithm>
#include <cmath>

#include "net/option_reader.h"

namespace velmora::cockpit {

std::optional<int32_t> ReadRenderScale(const std::string& text) {
  if (text == "auto") return 0;
  const auto percent = net::ReadWholeNumber(text, kMinRenderScale, kMaxRenderScale);
  if (!percent) return std::nullopt;
  return static_cast<int32_t>(*percent);
}

TRenderScale::TRenderScale(int32_t fixedPercent) : automatic_(fixedPercent == 0) {
  if (!automatic_) fixed_ = std::clamp(fixedPercent, kMinRenderScale, kMaxRenderScale);
}

namespace {

constexpr std::size_t kSlowStep = kRenderScaleSteps.size();

// What one step up from `step` multiplies: the pixels of a frame (the square
// of the side's scale), and the frames a second (leaving the slow step).
struct TStepUp {
  double Pixels = 1;
  double Frames = 1;
};

TStepUp StepUpFrom(std::size_t step) {
  if (step == kSlowStep) return {1, double(kSlowFrameDivisor)};
  const double side = double(kRenderScaleSteps[step - 1]) / kRenderScaleSteps[step];
  return {side * side, 1};
}

}  // namespace

int32_t TRenderScale::Percent() const {
  return automatic_ ? kRenderScaleSteps[std::min(step_, kSlowStep - 1)] : fixed_;
}

int32_t TRenderScale::FrameDivisor() const {
  return automatic_ && step_ == kSlowStep ? kSlowFrameDivisor : 1;
}

bool TRenderScale::Second(const TDrawSecond& second) {
  if (!automatic_ || !(second.IntervalMs > 0)) return false;
  if (second.Still) {
    roomySeconds_ = 0;
    if (step_ == 0) return false;
    --step_;
    return true;
  }
  const bool over = second.CpuShare > kDrawBudget || second.FrameMs > second.IntervalMs;
  if (over) {
    roomySeconds_ = 0;
    if (step_ >= kSlowStep) return false;
    ++step_;
    return true;
  }
  if (step_ == 0) return false;
  // The cost follows the pixels and the frames; a frame's time follows its
  // pixels and must fit the interval of the faster frame rate.
  const TStepUp up = StepUpFrom(step_);
  const double expected = second.CpuShare * up.Pixels * up.Frames;
  const bool roomy = expected <= kDrawBudget * kRaiseHeadroom &&
                     second.FrameMs * up.Pixels <= second.IntervalMs / up.Frames * kRaiseHeadroom;
  roomySeconds_ = roomy ? roomySeconds_ + 1 : 0;
  if (roomySeconds_ < kSecondsBeforeRaise) return false;
  roomySeconds_ = 0;
  --step_;
  return true;
}

int32_t ScaledSide(int32_t logical, double devicePixelRatio, int32_t percent) {
  const double side = std::round(logical * devicePixelRatio * percent / 100.0);
  return std::max(1, static_cast<int32_t>(side));
}

}  // namespace velmora::cockpit
