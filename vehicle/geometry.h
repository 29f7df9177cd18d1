// Geometry helpers shared by the physics, the piloting, the crew, the displays
// and the surface building. Angles in degrees, lengths in metres, speeds in
// m/s. World axes x east, y north, z down; body axes right, up, forward.
#pragma once

#include "vehicle/vehicle_state.h"

namespace velmora::vehicle {

struct TBodyVector {
  double Right = 0;
  double Up = 0;
  double Forward = 0;
};

struct TWorldVector {
  double X = 0;  // east
  double Y = 0;  // north
  double Z = 0;  // down
};

// sin and cos of an angle in degrees; 0 where the argument is too large for
// the sine to mean anything (|radians| ≥ 2^63) or not a number.
double SinDeg(double degrees);
double CosDeg(double degrees);
// Both in one call, bit for bit the values SinDeg and CosDeg give.
void SinCosDeg(double degrees, double& sine, double& cosine);

// arctan2(p, q) in degrees, in (-180, 180]; p plays the part of the usual "y".
// The compass heading of a vector (east e, north n) is Atan2Deg(e, n).
double Atan2Deg(double p, double q);

// One wrap into [0, 360): a + 360 when a < 0, a - 360 when a ≥ 360.
double Normalise360(double a);
// One wrap into [-180, 180): a + 360 when a < -180, a - 360 when a ≥ 180.
double Normalise180(double a);

// lo when x < lo, else hi when x > hi, else x (also when lo > hi).
double Clamp(double x, double lo, double hi);

// -1, 0 or +1.
double Sign(double v);

// Sines and cosines of a vehicle's heading, pitch and bank, worked out once
// for every rotation while the attitude stays as it is.
struct TAttitude {
  double SinHeading, CosHeading;
  double SinPitch, CosPitch;
  double SinBank, CosBank;
  explicit TAttitude(const TVehicleState& v);
};

// World vector (x, y, z) in the body axes of the vehicle's attitude.
TBodyVector WorldToBody(const TVehicleState& v, double x, double y, double z);
TBodyVector WorldToBody(const TAttitude& a, double x, double y, double z);
// The inverse: body vector (right, up, forward) in world axes.
TWorldVector BodyToWorld(const TVehicleState& v, double right, double up, double forward);
TWorldVector BodyToWorld(const TAttitude& a, double right, double up, double forward);

// Velocity through the air in body axes, for a wind blowing towards
// (windEast, windNorth) in m/s; a is the attitude of v.
TBodyVector AirData(const TVehicleState& v, double windEast, double windNorth);
TBodyVector AirData(const TVehicleState& v, const TAttitude& a, double windEast, double windNorth);

// Speed along the heading, m/s; a is the attitude of v.
double GroundSpeed(const TVehicleState& v);
double GroundSpeed(const TVehicleState& v, const TAttitude& a);

// Standard-atmosphere density ratio at height h above the ground (m); 0 where
// the temperature law reaches absolute zero.
double DensityRatio(double h);

// Drag factor of the flaps at flap angle f (deg): 1 + 0.367·√f; 1 for f < 0.
double FlapFactor(double f);

// a + b on a fixed grid: a keeps at most 30 significant bits and never more
// than 15 fractional bits, so equal inputs give bit-equal positions on every
// machine. b is truncated towards zero onto the same grid. A sum too large for
// the grid, or a non-finite input, raises RangeFault.
double FixedGridAdd(double a, double b);

// Clips the compass window [start, end] to the interval [s, e] (either may
// pass north, start > end). Returns false when nothing is left. See the
// definition for the steps; start and end are updated in place.
bool ClipAngleWindow(double& start, double& end, double s, double e);

}  // namespace velmora::vehicle
