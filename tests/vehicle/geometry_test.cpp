#include "vehicle/geometry.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "vehicle/range_fault.h"
#include "vehicle/units.h"

namespace velmora::vehicle {
namespace {

constexpr double kAngleTol = 1e-12;   // degrees: only rounding of the trigonometry
constexpr double kVectorTol = 1e-12;  // metres (or m/s) on unit-sized vectors

TVehicleState Oriented(float heading, float pitch, float bank) {
  TVehicleState v;
  v.Heading = heading;
  v.Pitch = pitch;
  v.Bank = bank;
  return v;
}

TEST(Geometry, TrigonometryInDegrees) {
  EXPECT_NEAR(SinDeg(30), 0.5, kVectorTol);
  EXPECT_NEAR(CosDeg(60), 0.5, kVectorTol);
  EXPECT_NEAR(SinDeg(-90), -1.0, kVectorTol);
  // Out of the sine's range, or not a number: 0.
  EXPECT_EQ(SinDeg(1e300), 0.0);
  EXPECT_EQ(CosDeg(-1e300), 0.0);
  EXPECT_EQ(SinDeg(NAN), 0.0);
  EXPECT_EQ(CosDeg(INFINITY), 0.0);
}

TEST(Geometry, SinCosDegGivesTheBitsOfSinDegAndCosDeg) {
  // 2^63 radians in degrees: the sine's usable range ends there.
  const double limit = 9223372036854775808.0 * units::kDegreesPerRadian;
  const double cases[] = {-0.0, 30, -90, NAN, INFINITY, limit * 0.999, -limit * 1.001};
  for (const double degrees : cases) {
    double sine = 7, cosine = 7;
    SinCosDeg(degrees, sine, cosine);
    EXPECT_EQ(std::bit_cast<uint64_t>(sine), std::bit_cast<uint64_t>(SinDeg(degrees))) << degrees;
    EXPECT_EQ(std::bit_cast<uint64_t>(cosine), std::bit_cast<uint64_t>(CosDeg(degrees))) << degrees;
  }
}

TEST(Geometry, Atan2DegTakesTheEastComponentFirst) {
  struct Case {
    double p, q, expected;
  } cases[] = {
      {1, 0, 90},    // a vector pointing east has heading 90
      {0, -1, 180},  // south
      {-0.0, -1, 180},
      {0, 1, 0},
      {-1, 0, -90},
      {1, 1, 45},
      {-1, -1, -135},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(Atan2Deg(c.p, c.q), c.expected, kAngleTol) << c.p << ", " << c.q;
  }
}

TEST(Geometry, NormalisationWrapsOnce) {
  struct Case {
    double a, to360, to180;
  } cases[] = {
      {-370, -10, -10},  // one wrap only: callers stay within one turn
      {-10, 350, -10},
      {0, 0, 0},
      {180, 180, -180},
      {-180, 180, -180},
      {359.5, 359.5, -0.5},
      {360, 0, 0},
      {720, 360, 360},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Normalise360(c.a), c.to360) << c.a;
    EXPECT_EQ(Normalise180(c.a), c.to180) << c.a;
  }
}

TEST(Geometry, ClampAndSign) {
  EXPECT_EQ(Clamp(5, 0, 10), 5);
  EXPECT_EQ(Clamp(-1, 0, 10), 0);
  EXPECT_EQ(Clamp(11, 0, 10), 10);
  // With lo > hi: lo below lo, hi otherwise.
  EXPECT_EQ(Clamp(0, 5, 1), 5);
  EXPECT_EQ(Clamp(7, 5, 1), 1);
  EXPECT_EQ(Clamp(3, 5, 1), 5);
  EXPECT_EQ(Sign(-3.5), -1);
  EXPECT_EQ(Sign(0.0), 0);
  EXPECT_EQ(Sign(1e-300), 1);
}

TEST(Geometry, WorldToBodyOfKnownAttitudes) {
  struct Case {
    float heading, pitch, bank;
    TWorldVector world;
    TBodyVector body;
  } cases[] = {
      // Facing east, north lies to the left.
      {90, 0, 0, {0, 1, 0}, {-1, 0, 0}},
      {0, 0, 0, {0, 1, 0}, {0, 0, 1}},
      {0, 0, 0, {0, 0, -1}, {0, 1, 0}},   // up is -z
      {180, 0, 0, {1, 0, 0}, {-1, 0, 0}},
      // Nose 90 degrees up: straight up is forward, north is down the body.
      {0, 90, 0, {0, 0, -1}, {0, 0, 1}},
      {0, 90, 0, {0, 1, 0}, {0, -1, 0}},
      // Right wing 90 degrees down: the ground (+z) lies to the right.
      {0, 0, 90, {0, 0, 1}, {1, 0, 0}},
  };
  for (const Case& c : cases) {
    const TBodyVector b =
        WorldToBody(Oriented(c.heading, c.pitch, c.bank), c.world.X, c.world.Y, c.world.Z);
    EXPECT_NEAR(b.Right, c.body.Right, kVectorTol) << c.heading << "/" << c.pitch << "/" << c.bank;
    EXPECT_NEAR(b.Up, c.body.Up, kVectorTol);
    EXPECT_NEAR(b.Forward, c.body.Forward, kVectorTol);
  }
}

TEST(Geometry, BodyToWorldUndoesWorldToBodyOverAGridOfAttitudes) {
  constexpr double kRoundTripTol = 1e-9;  // metres on a vector of length ~40
  const TWorldVector vectors[] = {{3, -4, 12}, {-25, 7, -30}, {0.001, 0, 0}};
  for (int heading = 0; heading < 360; heading += 30) {
    for (int pitch = -180; pitch < 180; pitch += 45) {
      for (int bank = -180; bank < 180; bank += 45) {
        const TVehicleState v = Oriented(static_cast<float>(heading) + 0.25f,
                                         static_cast<float>(pitch), static_cast<float>(bank));
        for (const TWorldVector& w : vectors) {
          const TBodyVector b = WorldToBody(v, w.X, w.Y, w.Z);
          // A rotation keeps lengths.
          EXPECT_NEAR(std::hypot(b.Right, b.Up, b.Forward), std::hypot(w.X, w.Y, w.Z),
                      kRoundTripTol);
          const TWorldVector back = BodyToWorld(v, b.Right, b.Up, b.Forward);
          EXPECT_NEAR(back.X, w.X, kRoundTripTol) << heading << "/" << pitch << "/" << bank;
          EXPECT_NEAR(back.Y, w.Y, kRoundTripTol) << heading << "/" << pitch << "/" << bank;
          EXPECT_NEAR(back.Z, w.Z, kRoundTripTol) << heading << "/" << pitch << "/" << bank;
        }
      }
    }
  }
}

TEST(Geometry, AirDataAndGroundSpeed) {
  TVehicleState v = Oriented(90, 0, 0);
  v.VX = 60;  // flying east at 60 m/s
  v.VY = 0;
  v.VZ = 0;
  // A 10 m/s wind blowing towards the east is a tail wind.
  TBodyVector air = AirData(v, 10, 0);
  EXPECT_NEAR(air.Forward, 50, kVectorTol);
  EXPECT_NEAR(air.Right, 0, kVectorTol);
  // With a wind towards the north the vehicle slips south, to its right, through the air.
  air = AirData(v, 0, 5);
  EXPECT_NEAR(air.Right, 5, kVectorTol);
  EXPECT_NEAR(GroundSpeed(v), 60, kVectorTol);
  v.Heading = 270;  // sliding backwards
  EXPECT_NEAR(GroundSpeed(v), -60, kVectorTol);
}

TEST(Geometry, DensityRatioAndFlapFactor) {
  constexpr double kRatioTol = 1e-5;  // fifth decimal of a ratio
  EXPECT_NEAR(DensityRatio(0), 0.99907, kRatioTol);
  EXPECT_NEAR(DensityRatio(1000), std::pow(1 - 0.0065 * 1010 / 297, 4.257), 1e-15);
  EXPECT_LT(DensityRatio(10000), DensityRatio(1000));
  EXPECT_EQ(DensityRatio(45690), 0.0);  // past absolute zero
  EXPECT_EQ(DensityRatio(50000), 0.0);
  EXPECT_EQ(FlapFactor(0), 1.0);
  EXPECT_NEAR(FlapFactor(25), 1 + 0.367 * 5, 1e-15);
}

TEST(Geometry, FixedGridAdd) {
  struct Case {
    double a, b, expected;
  } cases[] = {
      {0, 0.1, 3276.0 / 32768.0},            // k = 15: 0.1 truncates to 3276/32768
      {1000, 0.001, 1000.0009765625},        // e = 10, k = 15: 0.001 -> 32/32768
      {0.1, 0, 3276.0 / 32768.0},            // a itself lands on the grid
      {-0.1, 0, -3276.0 / 32768.0},          // truncation is towards zero
      {1000, -0.001, 999.9990234375},
      {40000, 0.00001, 40000},               // e = 16, k = 14: a step below the grid is lost
      {100000, 0.5, 100000.5},               // e = 17, k = 13
      {1e9, 0.3, 1e9},                       // k = 0: whole metres
      {-49999.99, 100000, 50000.010009765625},  // the world-offset shift, k = 14
      {0x1p1000, 0x1p990, 0x1p1000 + 0x1p990},  // e = 1001, k = -971
      {0x1p-1070, 0x1p-14, 0x1p-14},            // a below the grid: e = -1069, k = 15
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FixedGridAdd(c.a, c.b), c.expected) << c.a << " + " << c.b;
  }
}

TEST(Geometry, FixedGridAddReportsARangeFault) {
  // A step of 2^(30 - k) m leaves the 32-bit grid.
  EXPECT_THROW(FixedGridAdd(0, 65536), RangeFault);
  EXPECT_THROW(FixedGridAdd(1000, 1e300), RangeFault);  // would overflow the 64-bit truncation
  EXPECT_THROW(FixedGridAdd(NAN, 1), RangeFault);
  EXPECT_THROW(FixedGridAdd(0, INFINITY), RangeFault);
  EXPECT_NO_THROW(FixedGridAdd(0, 65535));
}

TEST(Geometry, ClipAngleWindow) {
  struct Case {
    double start, end, s, e;
    bool result;
    double newStart, newEnd;
  } cases[] = {
      // The window passes north; the second interval lies inside it.
      {350, 10, 0, 20, true, 0, 10},
      {10, 50, 30, 90, true, 30, 50},
      {10, 50, 60, 90, false, 60, 50},     // disjoint: left as clipped
      {0, 360, 350, 20, true, 0, 360},     // passes north and covers the window: kept as is
      {10, 50, 0, 360, true, 10, 50},      // a full circle keeps the window
      {100, 200, 300, 250, true, 100, 200},  // second interval covers all but 250..300
      {300, 20, 10, 40, true, 10, 20},
  };
  for (const Case& c : cases) {
    double start = c.start, end = c.end;
    EXPECT_EQ(ClipAngleWindow(start, end, c.s, c.e), c.result)
        << c.start << ".." << c.end << " with " << c.s << ".." << c.e;
    EXPECT_EQ(start, c.newStart) << c.start << ".." << c.end << " with " << c.s << ".." << c.e;
    EXPECT_EQ(end, c.newEnd) << c.start << ".." << c.end << " with " << c.s << ".." << c.e;
  }
}

}  // namespace
}  // namespace velmora::vehicle
