// Runway and approach geometry, one definition for every reader: the crew and
// the approach placing, the flight display's deviation scales, the run's
// figures and the traffic pilots. Runways lie in absolute coordinates (m east,
// m north); a runway's threshold for landing towards its second end is its
// first end (X1, Y1).
#pragma once

#include "world/shapes.h"

namespace velmora::world {

// The 3° approach path: its angle, and its slope as the crew, the approach
// placing and the traffic pilots fly it (tan 3° to five places).
inline constexpr double kGlidePathAngle = 3;     // deg
inline constexpr double kGlideSlope = 0.052408;  // m of height per m to go
// The aim point: the 3° path meets the runway this far past the threshold.
inline constexpr double kAimPointDistance = 300;  // m
// The turn from the approach course onto the runway, and the length of turn
// below which an approach counts as straight-in.
inline constexpr double kFinalTurnRadius = 2000;  // m
inline constexpr double kStraightInTurn = 10;     // m along the turn

// The runway's direction from its first end to its second, deg (−180, 180].
double RunwayCourse(const TRunwayInfo& runway);
// The distance between its ends, m.
double RunwayLength(const TRunwayInfo& runway);

// An absolute point (x east, y north, m) in axes along `course` (deg) from the
// runway's first end: metres along the course and right of it.
struct TRunwayAxes {
  double Along = 0;  // m
  double Right = 0;  // m
};
TRunwayAxes RunwayAxes(const TRunwayInfo& runway, double course, double x, double y);

// Where an absolute point lies against a runway, landing in the direction of
// `heading` (deg): the threshold is the runway's near end for that direction.
struct TRunwayPosition {
  double PastThreshold = 0;  // m along the runway
  double CentreLine = 0;     // m right of the centre line
  bool OnRunway = false;
};
TRunwayPosition RunwayPosition(const TRunwayInfo& runway, double x, double y, double heading);

}  // namespace velmora::world
