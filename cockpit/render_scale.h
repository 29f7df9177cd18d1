// The 3D view's render scale: the renderer draws a fraction of the view's
// pixels along each side, and the window scales the frame up smoothly. The
// user fixes it, or it is chosen once a second from what drawing cost.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace velmora::cockpit {

// The scales the automatic choice steps through, % of each side, largest first.
inline constexpr std::array<int32_t, 5> kRenderScaleSteps = {100, 85, 70, 60, 50};
inline constexpr int32_t kMinRenderScale = 50;   // %, the smallest a user may fix
inline constexpr int32_t kMaxRenderScale = 100;  // %
// A render scale as a user writes it: "auto" (0, chosen as drawing costs) or
// a whole percent from kMinRenderScale to kMaxRenderScale; nothing else.
std::optional<int32_t> ReadRenderScale(const std::string& text);
// Past the smallest scale the automatic choice takes one more step: the 3D
// view drawn at the smallest scale and this part of the frame rate, for the
// scenes whose smallest picture still costs more than the budget.
inline constexpr int32_t kSlowFrameDivisor = 2;

// What drawing and reading back the 3D frames may cost: % of one core,
// counted over every thread of the program while the renderer draws (a
// software renderer fills on every core, so its frame time alone hides it).
inline constexpr double kDrawBudget = 25;
// A step up is taken only when drawing at the larger scale is expected to
// cost at most this part of the budget (the cost grows with the pixels)...
inline constexpr double kRaiseHeadroom = 0.8;
// ...for this many seconds in a row, so that one quiet second does not start
// a swing between two steps.
inline constexpr int32_t kSecondsBeforeRaise = 3;

// One second of drawing, as the choice reads it.
struct TDrawSecond {
  double CpuShare = 0;     // % of one core that drawing and read-back took
  double FrameMs = 0;      // ms, the mean wall time of one frame's drawing
  double IntervalMs = 0;   // ms between frames at the frame rate; 0: no frame drawn
  bool Still = false;      // nine frames in ten or more repeated the picture before them
};

class TRenderScale {
 public:
  // fixedPercent: kMinRenderScale..kMaxRenderScale fixes the scale; 0 chooses it.
  explicit TRenderScale(int32_t fixedPercent = 0);

  bool Automatic() const { return automatic_; }
  int32_t Percent() const;
  // 1, or kSlowFrameDivisor at the automatic choice's last step.
  int32_t FrameDivisor() const;

  // Takes one second's figures; returns whether the scale or the frame
  // divisor changed. A second without frames (a hidden window) changes
  // nothing. A still picture steps up at once: what it costs is scaling it
  // up, which a larger step costs no more. Over the budget, or slower than
  // the frame rate, the scale steps down, and past the smallest scale the
  // frame rate halves; with room at the next larger step for
  // kSecondsBeforeRaise seconds, it steps up.
  bool Second(const TDrawSecond& second);

 private:
  bool automatic_;
  int32_t fixed_ = kMaxRenderScale;
  std::size_t step_ = 0;  // index into kRenderScaleSteps; one past it: the slow step
  int32_t roomySeconds_ = 0;
};

// A side of `logical` pixels at `devicePixelRatio` drawn at `percent`:
// whole device pixels, at least 1.
int32_t ScaledSide(int32_t logical, double devicePixelRatio, int32_t percent);

}  // namespace velmora::cockpit
