// Railway track following. After every motion step each of a train's two
// track points is coupled to the track list: the point is moved onto the
// segment under it, the track ahead is searched for the next station stop,
// the speed it allows and other trains' marks, and the segments the train
// occupies or reserves are marked with its user number.
//
// Segment numbers are 1-based references into the world's track list; 0 is
// "none" or "unknown". Distances are metres, headings degrees, speeds m/s.
#pragma once

#include <cstdint>

#include "state/main_state.h"
#include "world/track.h"

namespace velmora::physics {

inline constexpr double kNoTrack = 1e38;       // distance: no segment, no stop ahead
inline constexpr double kOnTrackLimit = 0.5;   // m: a point nearer than this lies on a segment
inline constexpr double kNoSpeedLimit = 1e38;  // m/s: the track sets no limit

// Where a point meets a segment.
struct TTrackFoot {
  double X = 0;        // m, east: projection of the point onto the segment
  double Y = 0;        // m, north
  double Heading = 0;  // deg, track direction at the projection
};

// Result of coupling one track point.
struct TTrackCoupling {
  double X = 0;               // m, east: the point moved onto the track
  double Y = 0;               // m, north
  uint16_t Segment = 0;       // track segment number under the point, 0 = unknown
  double StopDistance = kNoTrack;  // m to the next station stop ahead
  double SpeedLimit = 0;      // m/s the track ahead allows
};

// Distance from (x, y) to segment (1-based); kNoTrack when the reference is
// empty or outside the list, when the point lies outside the segment's box
// widened by 0.5 m (a curved segment's box by half its other side more), or
// when it projects onto none of the segment's parts. `foot` is written
// whenever a part takes the point, even when the distance is 0.5 m or more.
double TrackDistance(const world::TTrackList& list, int segment, double x, double y,
                     TTrackFoot& foot);

// Along-track length of segment: mode −1 from its start to (x, y), 0 the
// whole segment, +1 from (x, y) to its end. (x, y) is a point on the track.
double TrackLength(const world::TTrackList& list, int segment, int mode, double x, double y);

// The neighbour across a joint: direction ≤ 0 takes start connection
// `index` (0 through route, 1 diverging), direction > 0 end connection
// `index`; only a neighbour whose heading at the joint equals this
// segment's. 0 when there is none.
int NextSegment(const world::TTrackList& list, int segment, int direction, int index);

// Speed (m/s) from which a train can still stop before a track end x metres
// ahead: 25 km/h creep held from 84.858 m to 34.858 m, at rest 10 m before.
double EndSpeed(double x);

// Couples point (x, y) of `train` to the track, starting from `segment`
// (0 = unknown; a number beyond the list counts as unknown). Returns false
// when no segment lies within 0.5 m of the point. On success `result` holds
// the point on the track, its segment (0 when a standing train cannot tell
// which of two segments it stands on), the stop distance and the speed
// limit; a speed limit of 0 means the way ahead is blocked. Marks the
// segments the train occupies and reserves in the state's track list.
bool CoupleToTrack(state::TMainState& state, const vehicle::TVehicleState& train, double x,
                   double y, uint16_t segment, TTrackCoupling& result);

// Sets the occupant of every segment held by userNo to newOccupant (0 frees them).
void ReleaseTrack(world::TTrackList& list, int32_t userNo, int32_t newOccupant = 0);
void ReleaseTrack(state::TMainState& state, int32_t userNo, int32_t newOccupant = 0);

// Frees every segment.
void ClearTrackMarks(world::TTrackList& list);
void ClearTrackMarks(state::TMainState& state);

// Distance (m) from the own train to the next station stop, found without the
// look-ahead: along the through routes from the segment under the train in
// the direction of its heading. kNoTrack when the train stands on no segment,
// the walk runs out of track, or it comes round to a segment already walked.
double StopDistanceFallback(const world::TTrackList& list, const vehicle::TVehicleState& train);
double StopDistanceFallback(const state::TMainState& state);

}  // namespace velmora::physics
