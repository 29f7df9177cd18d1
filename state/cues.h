// Cues: what just happened that a listener should hear, pushed by the code
// that makes it happen (a crew call where it is logged, a crash, a shot, a
// hit). A fixed ring: pushing never allocates, and a reader that keeps the
// count it has seen picks up each cue once, however often it looks.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

namespace velmora::state {

enum class TCueKind : uint8_t {
  Callout,  // a crew or ground-proximity call; Text is the logged line
  Crash,    // the flight ended on the ground
  Shot,     // the own fighter fired
  Hit,      // the server reported a missile hit
};

inline constexpr int kCueCapacity = 16;  // cues kept; older ones are overwritten
inline constexpr int kCueTextSize = 48;  // bytes of a callout line kept, with the NUL

struct TCue {
  TCueKind Kind = TCueKind::Callout;
  std::array<char, kCueTextSize> Text{};  // UTF-8, NUL-terminated, cut at a byte limit

  std::string_view Line() const { return std::string_view(Text.data()); }
};

struct TCueQueue {
  std::array<TCue, kCueCapacity> Ring{};
  uint32_t Pushed = 0;  // cues pushed since the start; wraps harmlessly

  void Push(TCueKind kind, std::string_view text = {}) {
    TCue& cue = Ring[Pushed % kCueCapacity];
    cue.Kind = kind;
    const std::size_t n = std::min(text.size(), cue.Text.size() - 1);
    std::copy_n(text.data(), n, cue.Text.data());
    cue.Text[n] = '\0';
    ++Pushed;
  }

  // The cue with sequence number n (0 = the first ever pushed); valid while
  // Pushed − n is 1..kCueCapacity.
  const TCue& At(uint32_t n) const { return Ring[n % kCueCapacity]; }
};

}  // namespace velmora::state
