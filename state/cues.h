// Cues: what just happened that a listener should hear, pushed by the code
// that makes it happen (a crew call where it is logged, a crash, a shot, a
// hit). A fixed ring: pushing never allocates, and a reader that keeps the
// count it has seen picks up each cue once, however often it looks.
#pragma once

#include <array>
#include <cstdint>

#include "state/calls.h"

namespace velmora::state {

enum class TCueKind : uint8_t {
  Callout,  // a crew, ground-proximity or stall call: Call says which
  Crash,    // the flight ended on the ground
  Shot,     // the own fighter fired
  Hit,      // the server reported a missile hit
};

inline constexpr int kCueCapacity = 16;  // cues kept; older ones are overwritten

struct TCue {
  TCueKind Kind = TCueKind::Callout;
  TCall Call = TCall::Count;  // the call of a Callout cue
};

struct TCueQueue {
  std::array<TCue, kCueCapacity> Ring{};
  uint32_t Pushed = 0;  // cues pushed since the start; wraps harmlessly

  void Push(TCueKind kind, TCall call = TCall::Count) {
    Ring[Pushed % kCueCapacity] = {kind, call};
    ++Pushed;
  }

  // The cue with sequence number n (0 = the first ever pushed); valid while
  // Pushed − n is 1..kCueCapacity.
  const TCue& At(uint32_t n) const { return Ring[n % kCueCapacity]; }
};

}  // namespace velmora::state
