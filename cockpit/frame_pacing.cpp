#include "cockpit/frame_pacing.h"

#include <algorithm>
#include <cmath>

namespace velmora::cockpit {

int32_t FramesPerSecondFor(double refreshHz) {
  if (!(refreshHz >= 1)) return kDefaultFramesPerSecond;
  return static_cast<int32_t>(std::lround(std::min<double>(kMaxFramesPerSecond, refreshHz)));
}

void TFramePacer::SetRate(int32_t framesPerSecond) {
  fps_ = std::clamp(framesPerSecond, int32_t{1}, kMaxFramesPerSecond);
  started_ = false;
}

bool TFramePacer::Due(uint32_t now) {
  if (!started_) {
    started_ = true;
    next_ = now;
    remainder_ = 0;
  }
  if (static_cast<int32_t>(now - next_) < -kEarlyMs) return false;
  remainder_ += 1000 % fps_;
  next_ += static_cast<uint32_t>(1000 / fps_ + remainder_ / fps_);
  remainder_ %= fps_;
  if (static_cast<int32_t>(now - next_) >= 0) {
    // More than a frame behind: the next frame is one period from now.
    next_ = now + static_cast<uint32_t>(1000 / fps_);
    remainder_ = 0;
  }
  return true;
}

}  // namespace velmora::cockpit
