#include "cockpit/render_scale.h"

#include <algorithm>
#include <cmath>

namespace velmora::cockpit {

TRenderScale::TRenderScale(int32_t fixedPercent) : automatic_(fixedPercent == 0) {
  if (!automatic_) fixed_ = std::clamp(fixedPercent, kMinRenderScale, kMaxRenderScale);
}

int32_t TRenderScale::Percent() const {
  return automatic_ ? kRenderScaleSteps[step_] : fixed_;
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
    if (step_ + 1 >= kRenderScaleSteps.size()) return false;
    ++step_;
    return true;
  }
  if (step_ == 0) return false;
  // The cost follows the pixels: the square of the side's scale.
  const double grow = double(kRenderScaleSteps[step_ - 1]) / kRenderScaleSteps[step_];
  const double expected = second.CpuShare * grow * grow;
  const bool roomy = expected <= kDrawBudget * kRaiseHeadroom &&
                     second.FrameMs * grow * grow <= second.IntervalMs * kRaiseHeadroom;
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
