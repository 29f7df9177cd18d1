// The deviation from the 3° path and from the runway's centre line during a
// practice approach, shown on the flight display in the free strips beside
// the attitude indicator: the path scale between the indicator and the
// altitude tape, the centre-line scale below the indicator. Nothing the
// display already draws is touched.
#pragma once

#include "cockpit/canvas.h"
#include "state/main_state.h"

namespace velmora::cockpit {

inline constexpr double kPathDot = 0.35;       // deg of path angle per dot
inline constexpr double kCentreLineDot = 1.0;  // deg, seen from the runway's far end, per dot

struct TApproachDeviation {
  bool Shown = false;     // a practice approach to a chosen runway, in the air, before its far end
  double Path = 0;        // dots above the 3° path (negative: below)
  double CentreLine = 0;  // dots right of the centre line (negative: left)
};

// The own aircraft against the chosen destination.
TApproachDeviation ApproachDeviation(const state::TMainState& state);

// Draws the two scales with their pointers; clears them when not shown but
// drawn before (wasShown), so a finished approach leaves nothing behind.
void DrawApproachDeviation(TCanvas& pfd, const TApproachDeviation& deviation, bool wasShown);

}  // namespace velmora::cockpit
