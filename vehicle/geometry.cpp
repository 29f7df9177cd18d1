#include "vehicle/geometry.h"

#include <algorithm>
#include <bit>
#include <cmath>
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

// Converts to a 64-bit integer truncating towards zero, or raises RangeFault
// where the value has no such integer.
int64_t TruncateToInt64(double value) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(value > -kLimit && value < kLimit)) {
    throw RangeFault("position step outside the fixed grid");
  }
  return static_cast<int64_t>(value);
}

// 2^k for -1022 <= k <= 1023, exactly: a product with it is rounded once, as
// std::ldexp rounds, without the library call.
double PowerOfTwo(int k) {
  return std::bit_cast<double>(static_cast<uint64_t>(1023 + k) << 52);
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

void SinCosDeg(double degrees, double& sine, double& cosine) {
  const double radians = degrees * units::kRadiansPerDegree;
  if (!TrigArgumentUsable(radians)) {
    sine = cosine = 0.0;
    return;
  }
  // The C library works both out in one pass with the same arithmetic as its
  // sin and cos.
  ::sincos(radians, &sine, &cosine);
}

TAttitude::TAttitude(const TVehicleState& v) {
  SinCosDeg(v.Heading, SinHeading, CosHeading);
  SinCosDeg(v.Pitch, SinPitch, CosPitch);
  SinCosDeg(v.Bank, SinBank, CosBank);
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
  return WorldToBody(TAttitude(v), x, y, z);
}

TBodyVector WorldToBody(const TAttitude& a, double x, double y, double z) {
  // Horizontal forward and right along the heading.
  const double m = y * a.CosHeading + x * a.SinHeading;
  const double r = x * a.CosHeading - y * a.SinHeading;
  // Pitch the forward/down pair.
  const double forward = m * a.CosPitch - z * a.SinPitch;
  const double upBeforeBank = -z * a.CosPitch - m * a.SinPitch;
  // Roll the up/right pair.
  return TBodyVector{r * a.CosBank - upBeforeBank * a.SinBank,
                     upBeforeBank * a.CosBank + r * a.SinBank, forward};
}

TWorldVector BodyToWorld(const TVehicleState& v, double right, double up, double forward) {
  return BodyToWorld(TAttitude(v), right, up, forward);
}

TWorldVector BodyToWorld(const TAttitude& a, double right, double up, double forward) {
  // Undo the bank.
  const double m = up * a.CosBank - right * a.SinBank;
  const double h = up * a.SinBank + right * a.CosBank;
  // Undo the pitch.
  const double g = forward * a.CosPitch - m * a.SinPitch;
  const double z = -forward * a.SinPitch - m * a.CosPitch;
  // Undo the heading.
  return TWorldVector{g * a.SinHeading + h * a.CosHeading, g * a.CosHeading - h * a.SinHeading, z};
}

TBodyVector AirData(const TVehicleState& v, double windEast, double windNorth) {
  return AirData(v, TAttitude(v), windEast, windNorth);
}

TBodyVector AirData(const TVehicleState& v, const TAttitude& a, double windEast, double windNorth) {
  return WorldToBody(a, v.VX - windEast, v.VY - windNorth, v.VZ);
}

double GroundSpeed(const TVehicleState& v) {
  return GroundSpeed(v, TAttitude(v));
}

double GroundSpeed(const TVehicleState& v, const TAttitude& a) {
  return v.VX * a.SinHeading + v.VY * a.CosHeading;
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
  // e lies in -1073..1024 for a finite a, so k in -994..15.
  const int k = std::min(30 - exponent, 15);
  const double scale = PowerOfTwo(k);
  int64_t sum = 0;
  if (__builtin_add_overflow(TruncateToInt64(a * scale), TruncateToInt64(b * scale), &sum) ||
      sum < INT32_MIN || sum > INT32_MAX) {
    throw RangeFault("position step outside the fixed grid");
  }
  return static_cast<double>(sum) * PowerOfTwo(-k);
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
