// When the 3D view's pixels are drawn: at most a given number of frames a
// second, while the simulation ticks every 10 ms. The frame's work on the
// state runs on every tick; only the pixels wait for their turn.
#pragma once

#include <cstdint>

namespace velmora::cockpit {

inline constexpr int32_t kMaxFramesPerSecond = 100;     // one frame per 10 ms tick
inline constexpr int32_t kDefaultFramesPerSecond = 60;  // when the screen's rate is unknown

// The frame rate for a screen refreshing at `refreshHz` (0 or no number:
// unknown), whole frames a second, 1..kMaxFramesPerSecond.
int32_t FramesPerSecondFor(double refreshHz);

// Frame k is due at start + k·1000/fps ms, counted in whole milliseconds
// with the remainder carried, so 60 frames a second draw on 6 of every 10
// ticks. A tick up to kEarlyMs before a frame's time draws it, so a timer
// that fires a little early does not drop a frame; a pace that falls more
// than a frame behind starts again from the present instead of drawing the
// missed frames in a burst. The clock is 32 bits and wraps.
class TFramePacer {
 public:
  static constexpr int32_t kEarlyMs = 5;  // ms, half a tick

  explicit TFramePacer(int32_t framesPerSecond = kDefaultFramesPerSecond) {
    SetRate(framesPerSecond);
  }

  // Frames a second, bounded to 1..kMaxFramesPerSecond; the next call draws.
  void SetRate(int32_t framesPerSecond);
  int32_t Rate() const { return fps_; }

  // Whether the tick at `now` (ms) draws a frame; counts it when it does.
  bool Due(uint32_t now);

 private:
  int32_t fps_ = kDefaultFramesPerSecond;
  bool started_ = false;
  uint32_t next_ = 0;      // ms, when the next frame is due
  int32_t remainder_ = 0;  // 1/fps ms carried beyond next_
};

}  // namespace velmora::cockpit
