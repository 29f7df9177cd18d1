// One displayed frame: the camera placed at the pilot's eye or at a replay
// camera, the vehicles worth drawing, the world's surfaces brought in line,
// the 3D view drawn by the renderer, the approach-guidance overlay painted
// over it and the status line in the window caption.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "cockpit/canvas.h"
#include "cockpit/instruments.h"
#include "physics/railway.h"
#include "state/main_state.h"
#include "vehicle/renderer_api.h"
#include "world/world.h"

namespace velmora::cockpit {

inline constexpr uint32_t kSkyColour = 0x80C0FF;  // clear colour of the 3D view, 0xRRGGBB
inline constexpr int32_t kViewWidth = 1017;      // px, client size of ListBoxView
inline constexpr int32_t kViewHeight = 577;      // px
inline constexpr int kMapViewVehicles = 8;       // fighters shown by the map camera

// What a frame draws with, owned by the shell or a test.
struct TFrameContext {
  vehicle::RendererApi* Renderer = nullptr;  // the 3D view's renderer
  world::TWorldDriver* WorldDriver = nullptr; // null: no world objects to refresh
  TCanvas* View = nullptr;                    // the 3D view's canvas after DXDraw; may be null
  int32_t ViewWidth = kViewWidth;             // px
  int32_t ViewHeight = kViewHeight;           // px

  // The instrument canvases; a null one is not drawn.
  TCanvas* PFD = nullptr;        // flight display, 265 × 161
  TCanvas* Indicator = nullptr;  // attitude indicator or speed gauge, 145 × 145
  TCanvas* Navi = nullptr;       // navigation display, 161 × 161
  TCanvas* Power = nullptr;      // power panel, 49 × 161
  // Where a train's stop distance comes from when the look-ahead found none:
  // the walk along the track ahead. Null: no fallback, the display stays blank.
  TStopDistanceSource StopDistanceFallback = &physics::StopDistanceFallback;

  // The vehicle kind whose instrument each canvas shows (0: none, the canvas
  // is black). A canvas is cleared before another kind's instrument is drawn
  // on it, and when its instrument stops being drawn, so no picture of the
  // last vehicle stays behind.
  int32_t PFDShows = 0;
  int32_t IndicatorShows = 0;
  int32_t NaviShows = 0;
  int32_t PowerShows = 0;

  // Filled by every frame; kept here so a frame allocates nothing.
  std::array<const vehicle::TVehicleState*, vehicle::kRemoteSlots + 1> Vehicles{};
  std::array<vehicle::TVehicleState, kMapViewVehicles> MapCopies{};
  int32_t LastDrawResult = 0;  // the renderer's answer to the last DXDraw
  bool ApproachDeviationShown = false;  // the flight display shows the approach's deviation
};

// Places the camera record (and the field of view) for this frame; false when
// a replay camera has no vehicle to look at and the frame is not drawn.
bool PlaceCamera(state::TMainState& state);

// Fills context.Vehicles with the vehicles to draw, ended by a null pointer;
// returns how many.
int CollectVehicles(const state::TMainState& state, TFrameContext& context);

// The status line: throttle, speed, attitude, altitude, flaps and gear.
std::string StatusLine(const state::TMainState& state);

// The approach-guidance overlay on the 3D view's canvas: centre line, turn
// gate and predicted path.
void DrawGuidance(const state::TMainState& state, TCanvas& view, int32_t width, int32_t height);

// The instruments that suit the own vehicle's kind; a train's shows the
// train protection's state ("ATS" while it brakes). Without a vehicle it
// only blanks the canvases the last one drew on.
void DrawInstruments(state::TMainState& state, TFrameContext& context);

// The whole frame. now: synchronised clock (ms). Without pixels only the
// frame's work on the state is done: the camera and the caption; the 3D view
// and the canvases keep their last picture.
void DrawFrame(state::TMainState& state, TFrameContext& context, uint32_t now, bool pixels = true);

}  // namespace velmora::cockpit
