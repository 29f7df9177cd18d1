#include "vehicle/geometry.h"

#include <cmath>
#include <algorithm>
#include <cstdint>

#include "vehicle/range_fault.h"
#include "vehicle/units.h"

namespace velmora::vehicle {
namespace {

// Beyond this the processor's sine gives up and reports its argument as out
// of range; callers then see 0.
constexpr double kTrigArgumentLimit = 9223372036854775808.0;  // 2^63, radians

bool TrigArgumentUsable(double radians) {
  return std::isfinite(radians) && std::fabs(radians) < kTrigArgumentLimit;
}

// Sines and cosines of a vehicle's three attitude angles.
struct Attitude {
  double sPsi, cPsi, sTheta, cTheta, sPhi, cPhi;
  explicit Attitude(const TVehicleState& v)
      : sPsi(SinDeg(v.Heading)),
        cPsi(CosDeg(v.Heading)),
        sTheta(SinDeg(v.Pitch)),
        cTheta(CosDeg(v.Pitch)),
        sPhi(SinDeg(v.Bank)),
        cPhi(CosDeg(v.Bank)) {}
};

// Converts to a 64-bit integer truncating towards zero, or raises RangeFault
// where the value has no such integer.
int64_t TruncateToInt64(double value) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(value > -kLimit && value < kLimit)) {
    throw RangeFault("position step outside the fixed grid");
  }
  return static_cast<int64_t>(value);
}

}  // namespace

double SinDeg(double degrees) {
  const double radians = degrees * units::kRadiansPerDegree;
  return TrigArgumentUsable(radians) ? std::sin(radians) : 0.0;
}

double CosDeg(double degrees) {
  const double radians = degrees * units::kRadiansPerDegree;
  return TrigArgumentUsable(radians) ? std::cos(radians) : 0.0;
}

double Atan2Deg(double p, double q) {
  double degrees = std::atan2(p, q) * units::kDegreesPerRadian;
  // atan2 gives -π for (-0, negative q); the heading of due south is +180.
  if (degrees <= -180.0) degrees = 180.0;
  return degrees;
}

double Normalise360(double a) {
  if (a < 0) return a + 360.0;
  if (a >= 360.0) return a - 360.0;
  return a;
}

double Normalise180(double a) {
  if (a < -180.0) return a + 360.0;
  if (a >= 180.0) return a - 360.0;
  return a;
}

double Clamp(double x, double lo, double hi) {
  if (x < lo) return lo;
  if (x > hi) return hi;
  return x;
}

double Sign(double v) {
  if (v > 0) return 1.0;
  if (v < 0) return -1.0;
  return 0.0;
}

TBodyVector WorldToBody(const TVehicleState& v, double x, double y, double z) {
  const Attitude a(v);
  // Horizontal forward and right along the heading.
  const double m = y * a.cPsi + x * a.sPsi;
  const double r = x * a.cPsi - y * a.sPsi;
  // Pitch the forward/down pair.
  const double forward = m * a.cTheta - z * a.sTheta;
  const double upBeforeBank = -z * a.cTheta - m * a.sTheta;
  // Roll the up/right pair.
  return TBodyVector{r * a.cPhi - upBeforeBank * a.sPhi, upBeforeBank * a.cPhi + r * a.sPhi,
                     forward};
}

TWorldVector BodyToWorld(const TVehicleState& v, double right, double up, double forward) {
  const Attitude a(v);
  // Undo the bank.
  const double m = up * a.cPhi - right * a.sPhi;
  const double h = up * a.sPhi + right * a.cPhi;
  // Undo the pitch.
  const double g = forward * a.cTheta - m * a.sTheta;
  const double z = -forward * a.sTheta - m * a.cTheta;
  // Undo the heading.
  return TWorldVector{g * a.sPsi + h * a.cPsi, g * a.cPsi - h * a.sPsi, z};
}

TBodyVector AirData(const TVehicleState& v, double windEast, double windNorth) {
  return WorldToBody(v, v.VX - windEast, v.VY - windNorth, v.VZ);
}

double GroundSpeed(const TVehicleState& v) {
  return v.VX * SinDeg(v.Heading) + v.VY * CosDeg(v.Heading);
}

double DensityRatio(double h) {
  // Temperature ratio of the standard atmosphere: 6.5 K per km from 297 K at sea level.
  const double t = 1.0 - 0.0065 * (h + units::kGroundAboveSeaLevel) / 297.0;
  return t > 0 ? std::pow(t, 4.257) : 0.0;
}

double FlapFactor(double f) {
  // A negative flap angle (a bad remote state) counts as retracted flaps
  // rather than turning every force into NaN.
  return 1.0 + 0.367 * std::sqrt(std::max(f, 0.0));
}

double FixedGridAdd(double a, double b) {
  if (!std::isfinite(a) || !std::isfinite(b)) {
    throw RangeFault("position is not a finite number");
  }
  int exponent = 0;
  std::frexp(a, &exponent);  // a = m·2^e, 0.5 ≤ |m| < 1; e = 0 for a = 0
  const int k = std::min(30 - exponent, 15);
  int64_t sum = 0;
  if (__builtin_add_overflow(TruncateToInt64(std::ldexp(a, k)), TruncateToInt64(std::ldexp(b, k)),
                             &sum) ||
      sum < INT32_MIN || sum > INT32_MAX) {
    throw RangeFault("position step outside the fixed grid");
  }
  return std::ldexp(static_cast<double>(sum), -k);
}

bool ClipAngleWindow(double& start, double& end, double s, double e) {
  // Unfold whichever interval passes north so both run upwards.
  if (s > e) {
    if (e <= start) {
      e += 360.0;
    } else {
      s -= 360.0;
    }
  }
  if (start > end) {
    if (end <= s) {
      end += 360.0;
    } else {
      start -= 360.0;
    }
  }
  // The second interval covers the window once round the circle: keep it.
  if (s > start && start < e - 360.0) return true;
  if (e < end && end > s + 360.0) return true;
  if (s > start) start = s;
  if (e < end) end = e;
  if (end < start) return false;
  start = Normalise360(start);
  end = Normalise360(end);
  return true;
}

}  // namespace velmora::vehicle
