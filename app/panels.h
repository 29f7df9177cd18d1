// The destination panel: choosing, keeping or cancelling the airliner's
// destination, and in practice mode placing the aircraft on its approach.
#pragma once

#include <cstdint>

#include "cockpit/canvas.h"
#include "state/main_state.h"

namespace velmora::app {

// The three cockpit canvases a cancelled practice approach blanks; any may
// be null.
struct TCockpitCanvases {
  cockpit::TCanvas* PFD = nullptr;
  cockpit::TCanvas* Indicator = nullptr;
  cockpit::TCanvas* Power = nullptr;
};

// A click on the destination grid's selected row (state.DestRow), made while
// the grid has the focus. now: synchronised clock (ms).
void StringGridDestClick(state::TMainState& state, uint32_t now, const TCockpitCanvases& canvases);

}  // namespace velmora::app
