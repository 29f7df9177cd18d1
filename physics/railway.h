// The train's link to the railway track list. The track list itself and the
// search along it come with the railway following; until a track list is
// loaded no point lies on a track, so trains move as the motion step leaves
// them and hold no segments.
#pragma once

#include <cstdint>

#include "state/main_state.h"

namespace velmora::physics {

// Result of coupling one track point.
struct TTrackCoupling {
  double X = 0;               // m, east: the point moved onto the track
  double Y = 0;               // m, north
  uint16_t Segment = 0;       // track segment number under the point
  double StopDistance = 1e38; // m to the next station stop ahead
  double SpeedLimit = 0;      // m/s the track ahead allows
};

// Finds the track under point (x, y) of train, starting from segment (0 =
// unknown). Returns false when the point lies on no track.
bool CoupleToTrack(state::TMainState& state, const vehicle::TVehicleState& train, double x, double y,
                   uint16_t segment, TTrackCoupling& result);

// Frees every track segment occupied or reserved by userNo.
void ReleaseTrackSegments(state::TMainState& state, int32_t userNo);

// Frees every track segment.
void ClearTrackOccupants(state::TMainState& state);

}  // namespace velmora::physics
