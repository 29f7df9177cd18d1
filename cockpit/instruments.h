// The 2D instruments below the 3D view: the primary flight display with its
// attitude indicator, the speed gauge, the power panel and the navigation
// display, each drawn on its own canvas every frame. Colours are 24-bit
// values with red in the low byte. Inputs that are not finite are drawn as 0,
// and very large ones are held at a bound, so an instrument always draws.
#pragma once

#include <cstdint>

#include "cockpit/canvas.h"
#include "state/main_state.h"

namespace velmora::cockpit {

inline constexpr int32_t kPfdWidth = 265;        // px, ListBoxPFD
inline constexpr int32_t kPfdHeight = 161;       // px
inline constexpr int32_t kIndicatorSize = 145;   // px, ListBoxIndicator (square)
inline constexpr int32_t kNaviSize = 161;        // px, ListBoxNavi (square)
inline constexpr int32_t kPowerWidth = 49;       // px, ListBoxPower
inline constexpr int32_t kPowerHeight = 161;     // px

inline constexpr double kNoSpeedLimit = -999;    // m/s: the speed gauge shows no limit
inline constexpr double kUnknownDistance = 1e38; // m: no stop known

// Draws the flight display on pfd, then the attitude indicator on indicator.
// pitch, bank: deg; airspeed, groundSpeed: kt; altitude, height: ft (height
// above the ground); verticalSpeed: ft/min, climbing positive.
void DrawPrimaryFlightDisplay(TCanvas& pfd, TCanvas& indicator, bool fighter, double pitch,
                              double bank, double airspeed, double groundSpeed, double altitude,
                              double height, double verticalSpeed);

// The attitude indicator: sky and ground, pitch ladder, bank scale. Fighters
// get a ladder of 40° steps instead of 10°.
void DrawAttitude(TCanvas& indicator, bool fighter, double pitch, double bank);

// The round speed dial in km/h with the limit's green, yellow and red arcs.
// replayMode 1 and 5 (fast replay) wipe a wider sector behind the needle.
// Returns pilot::Overspeed(limit, v).
bool DrawSpeedGauge(TCanvas& indicator, double limit, double v, uint8_t replayMode);

// The power lever as a bar with the brake lamp; for aircraft (flapSet >= 0)
// also the flap gauge and the gear indicator. gear: 0 up .. 1 down; flap,
// flapSet: deg (flapSet -1: no flaps); ratio: throttle / maximum, negative
// while a brake holds.
void DrawPowerPanel(TCanvas& power, double gear, double flap, double flapSet, double ratio);

// A line w px wide as a filled quadrilateral; nothing when the ends coincide
// or a coordinate is not a usable pixel position.
void DrawThickLine(TCanvas& canvas, uint32_t colour, int32_t width, double x1, double y1,
                   double x2, double y2);

// An arc of radius r (px) round (cx, cy), anticlockwise from compass angle
// from to compass angle to (deg, clockwise from up); the full circle when the
// two are equal.
void DrawArc(TCanvas& canvas, uint32_t colour, double from, double to, int32_t penWidth,
             double r, double cx, double cy);

// Where a train's stop distance comes from when the track following has none:
// the distance in m to the next stop ahead of the own train, or 1e38.
using TStopDistanceSource = double (*)(const state::TMainState& state);

// The heading-up map: runways and traffic for aircraft, roads and the race
// course for road vehicles, the distance to the next stop for trains. A train
// with no stop distance asks fallback (may be null) and keeps its answer.
void DrawNavigationDisplay(TCanvas& navi, state::TMainState& state,
                           TStopDistanceSource fallback);

}  // namespace velmora::cockpit
