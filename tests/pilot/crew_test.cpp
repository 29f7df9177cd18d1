#include "pilot/crew.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "pilot/approach.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::pilot {
namespace {

using namespace vehicle;  // records, kinds and geometry helpers
using Lines = std::vector<std::string>;

constexpr double kDt = 0.01;                         // s: one sub-step
constexpr double kKnots = units::kKnotsPerMetrePerSecond;
constexpr double kRestZ = -5;                        // m: the test airliner's rest height
constexpr double kPositionTol = 1e-6;                // m: closed-form positions in double
constexpr double kAngleTol = 1e-5;                   // deg: attitude angles stored as float
constexpr double kSpeedTol = 1e-9;                   // m/s
constexpr double kKnotsPerMs = 1850.0 / 3600.0;      // m/s per kt

class CrewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FillTestForms(s);
    testing::PlaceOwn(s, kKindAircraft, testing::kAirlinerGearDown);
    s.Start = s.Own;  // a server mission unless a test says otherwise
    s.ThrottleMax = 3.9;
    s.Gear = s.GearSet = s.GearCommand = 1;
  }

  // The airliner heading north at `knots` of airspeed, `feet` above its rest height.
  void Fly(double knots, double feet) {
    s.Own.VY = knots / kKnots;
    s.Own.Z = kRestZ - feet * 0.3;
  }

  // One callout step that began at knotsBefore and feetBefore.
  Lines Callouts(double knotsBefore, double feetBefore) {
    s.LastAirspeed = knotsBefore / kKnots;
    s.MessageLog.clear();
    CrewCallouts(s, kRestZ - feetBefore * 0.3, 0);
    return s.MessageLog;
  }

  // A runway from (x1, y1) along `runwayHeading` for 3000 m, approach offset
  // f and course h, as the world's only destination.
  world::TRunwayInfo& AddRunway(double x1, double y1, double runwayHeading, double f, double h) {
    runway = std::make_unique<world::TRunwayInfo>(
        static_cast<float>(x1), static_cast<float>(y1),
        static_cast<float>(x1 + 3000 * SinDeg(runwayHeading)),
        static_cast<float>(y1 + 3000 * CosDeg(runwayHeading)), 0.0f, 45.0f,
        static_cast<float>(f), static_cast<float>(h), 0, "R", 0u);
    world.Destinations[0] = runway.get();
    world.DestinationCount = 1;
    s.World = &world;
    s.SelectedDestination = 0;
    return *runway;
  }

  state::TMainState s;
  world::TWorld world;
  std::unique_ptr<world::TRunwayInfo> runway;
};

TEST_F(CrewTest, CommandsAreAcknowledgedOnlyAfterOneAndAHalfSeconds) {
  struct Case {
    int32_t elapsed;  // ms since the command
    bool acknowledged;
  };
  const Case cases[] = {{1400, false}, {1500, false}, {1501, true}, {1600, true}};
  for (const Case& c : cases) {
    s.CommandTime = 100000;
    s.ClockNow = 100000 + static_cast<uint32_t>(c.elapsed);
    s.GearSet = 1;
    s.GearCommand = 0;
    s.FlapSet = 5;
    s.FlapCommand = 10;
    Fly(150, 1000);
    const Lines lines = Callouts(150, 1000);
    SCOPED_TRACE(c.elapsed);
    EXPECT_EQ(s.GearSet, c.acknowledged ? 0 : 1);
    EXPECT_EQ(s.FlapSet, c.acknowledged ? 10 : 5);
    EXPECT_EQ(lines, (c.acknowledged ? Lines{"機長> Gear up.", "機長> Flaps 10."} : Lines{}));
    EXPECT_EQ(s.CommandTime, 100000u) << "the acknowledgement leaves the command time";
  }
  // Across the wrap of the 32-bit clock.
  s.CommandTime = 0xFFFFFF00u;
  s.ClockNow = 0xFFFFFF00u + 1600;
  s.GearCommand = 1;
  s.GearSet = 0;
  EXPECT_EQ(Callouts(150, 1000), Lines{"機長> Gear down."});
}

TEST_F(CrewTest, TheInstructorGivesTheFlapScheduleOnlyWhileExtendingInPractice) {
  struct Case {
    double from, to;
    bool practice;
    Lines lines;
  };
  const Case cases[] = {
      {1, 5, true, {"機長> Flaps 5.", "教官> 速度が 180ノットを切ったら Flaps 10。"}},
      {5, 10, true,
       {"機長> Flaps 10.", "教官> 速度が 160ノットを切ったら、まず",
        "教官> Gear down 操作をし、続けて Flaps 20。"}},
      {10, 20, true, {"機長> Flaps 20.", "教官> 速度が 150ノットを切ったら Flaps 25。"}},
      {20, 25, true, {"機長> Flaps 25.", "教官> Flaps 30 は使わない。"}},
      {25, 30, true, {"機長> Flaps 30."}},
      {0, 1, true, {"機長> Flaps 1."}},
      {10, 5, true, {"機長> Flaps 5."}},  // retracting: no advice
      {1, 0, true, {"機長> Flaps up."}},
      {1, 5, false, {"機長> Flaps 5."}},  // a server mission has no instructor
  };
  for (const Case& c : cases) {
    s.Start.Kind = c.practice ? 0 : kKindAircraft;
    s.FlapSet = c.from;
    s.FlapCommand = c.to;
    s.CommandTime = 0;
    s.ClockNow = 2000;
    Fly(150, 1000);
    SCOPED_TRACE(c.to);
    EXPECT_EQ(Callouts(150, 1000), c.lines);
    EXPECT_EQ(s.FlapSet, c.to);
  }
}

TEST_F(CrewTest, TakeOffSpeedsAreCalledOneCrossingPerStep) {
  struct Case {
    double before, after;  // kt
    int32_t mode;
    Lines lines;
  };
  const Case cases[] = {
      {70, 90, 0, {"機長> 80."}},
      {70, 170, 0, {"機長> 80."}},  // only the first crossing of the step
      {79.9, 80, 0, {"機長> 80."}},  // reaching the speed counts
      {80, 81, 0, {}},               // already at it before
      {134, 135, 1, {"機長> V（ヴィーーーー）."}},
      {139, 141, 2, {"機長> 1（ワン）."}},
      {149, 151, 3, {"機長> VR（ヴィアール）."}},
      {159, 161, 3, {"機長> V2（ヴィツー）."}},
      {90, 70, 0, {}},               // slowing down
      {70, 90, 4, {}},               // a destination is chosen: take-off is over
      {70, 90, 8, {}},
  };
  for (const Case& c : cases) {
    s.GuidanceMode = c.mode;
    Fly(c.after, 0);
    SCOPED_TRACE(c.before);
    EXPECT_EQ(Callouts(c.before, 0), c.lines);
    EXPECT_DOUBLE_EQ(s.LastAirspeed, c.after / kKnots);
  }
}

TEST_F(CrewTest, AFlightPlacedInTheAirHearsNoTakeOffCall) {
  // The reset leaves no airspeed remembered; 150 kt in mid-air is no crossing.
  s.GuidanceMode = 0;
  Fly(150, 1000);
  s.Own.VZ = -5;
  EXPECT_EQ(Callouts(0, 1000), Lines{});
  EXPECT_DOUBLE_EQ(s.LastAirspeed, 150 / kKnots);
  // From then on crossings are called.
  Fly(161, 1000);
  s.MessageLog.clear();
  CrewCallouts(s, s.Own.Z, 0);
  EXPECT_EQ(s.MessageLog, (Lines{"機長> V2（ヴィツー）.", "機長> Positive climb."}));
}

TEST_F(CrewTest, PositiveClimbWhenBoth160KnotsAnd200FeetAreFirstReached) {
  struct Case {
    double kb, ka, hb, ha, vz;  // kt, kt, ft, ft, m/s down
    bool called;
  };
  const Case cases[] = {
      {161, 162, 195, 205, -3, true},    // 160 kt below 200 ft, then passing 200 ft
      {150, 161, 250, 260, -3, true},    // passing 160 kt above 200 ft
      {161, 162, 201, 205, -3, false},   // both reached before
      {161, 162, 195, 205, -2.9, false}, // not climbing fast enough
      {150, 159.9, 250, 260, -3, false}, // not yet 160 kt
      {161, 162, 190, 199.9, -3, false}, // not yet 200 ft
      {161, 162, 195, 200, -3, true},    // reaching 200 ft counts
  };
  s.GuidanceMode = 5;  // no take-off speeds in the way
  for (const Case& c : cases) {
    Fly(c.ka, c.ha);
    s.Own.VZ = c.vz;
    SCOPED_TRACE(c.ha);
    const Lines lines = Callouts(c.kb, c.hb);
    EXPECT_EQ(lines, c.called ? Lines{"機長> Positive climb."} : Lines{});
  }
}

TEST_F(CrewTest, HeightCallsNearTheGround) {
  struct Case {
    double hb, ha;  // ft
    int32_t mode;
    Lines lines;
  };
  const Case cases[] = {
      {55, 45, 0, {"GPWS> 50"}},
      {51, 50, 0, {"GPWS> 50"}},
      {50, 49, 0, {}},  // the same 10-ft band
      {45, 35, 0, {"GPWS> 40"}},
      {11, 9, 0, {"GPWS> 10"}},
      {5, 0, 0, {}},   // on the ground
      {60, 55, 0, {}}, // above 50 ft
      {205, 195, 0, {"GPWS> Minimums."}},
      {200, 195, 0, {}},
      {105, 95, 0, {"GPWS> 100"}},
      {100, 95, 0, {}},
      {305, 295, 8, {"機長> Approching minimums."}},
      {300, 295, 8, {}},
      {225, 215, 8, {"機長> Minimums."}},
      {220, 215, 8, {}},
      {305, 295, 7, {}},  // the captain calls only after the hand-over
      {205, 195, 8, {"GPWS> Minimums."}},
      {305, 215, 8, {"機長> Approching minimums."}},  // one captain's call per step
  };
  for (const Case& c : cases) {
    s.GuidanceMode = c.mode;
    Fly(140, c.ha);
    SCOPED_TRACE(c.hb);
    EXPECT_EQ(Callouts(140, c.hb), c.lines);
  }
}

TEST_F(CrewTest, TheCaptainEngagesAfterClimbOutOrWhenADestinationIsChosen) {
  struct Case {
    int32_t mode;
    double height;     // m above rest
    bool destination;
    int32_t modeAfter;
  };
  const Case cases[] = {
      {0, 299.9, false, 0}, {0, 300, false, 5}, {3, 300.1, false, 5},
      {4, 0, true, 5},      {4, 1000, false, 4},  // a cancelled destination waits for the next
      {8, 1000, true, 8},
  };
  const Lines engage = {"機長> Command C push.", "機長> 自動操縦に切り替えたがフラップは手動だ。"};
  for (const Case& c : cases) {
    if (c.destination) AddRunway(0, 50000, 0, 1000, 0);
    else s.SelectedDestination = -1;
    s.Own.Z = kRestZ - c.height;
    s.Own.VY = 80;
    s.GuidanceMode = c.mode;
    s.MessageLog.clear();
    const double bank = s.Own.Bank, pitch = s.Own.Pitch;
    CrewGuidance(s, 0, kDt);
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(s.GuidanceMode, c.modeAfter);
    EXPECT_EQ(s.MessageLog, c.modeAfter == 5 && c.mode != 5 ? engage : Lines{});
    EXPECT_EQ(s.Own.Bank, bank) << "engaging moves nothing in the same step";
    EXPECT_EQ(s.Own.Pitch, pitch);
  }
}

TEST_F(CrewTest, ProfilesChangeAtTheirBoundaries) {
  struct Case {
    double L, u;
    double height, climb, limit, knots;
  };
  const double f = 1000, g = 80;
  const double curvedPath = 0.052408 * (f + 3000 + 300);
  const Case cases[] = {
      {28000.001, 0, 890, 0, 15, 250},
      {28000, 0, 890, 0, 15, 210},
      {23000.001, 0, 890, 0, 15, 210},
      {23000, 0, 590, 0, 9, 210},
      {14900.001, 0, 590, 0, 9, 210},
      {14900, 0, 590, 0, 9, 190},
      {14600, 0, 590, 0, 5, 190},            // the 3° path would be higher: held at 590
      {13300, 0, 590, 0, 5, 170},
      {11700, 0, 590, 0, 5, 155},
      {10000, 0, 0.052408 * 10300, -0.052408 * g, 5, 155},
      {7000.001, 0, 0.052408 * 7300.001, -0.052408 * g, 5, 155},
      {7000, 0, 0.052408 * 7300, -0.052408 * g, 5, 145},
      {14600, 3000, curvedPath, 0, 5, 190},
      {6000.001, 3000, curvedPath, 0, 5, 155},  // slows at f + u + 2000
      {6000, 3000, curvedPath, 0, 5, 145},
  };
  for (const Case& c : cases) {
    const TApproachProfile p = ApproachProfile(c.L, f, c.u, g);
    SCOPED_TRACE(c.L);
    EXPECT_NEAR(p.Height, c.height, kPositionTol);
    EXPECT_NEAR(p.ClimbRate, c.climb, kSpeedTol);
    EXPECT_EQ(p.ClimbLimit, c.limit);
    EXPECT_NEAR(p.Speed, c.knots * kKnotsPerMs, kSpeedTol);
  }
  // The 3° path reaches exactly 590 m at L = 590/0.052408 − 300.
  const double top = 590 / 0.052408 - 300;
  EXPECT_EQ(ApproachProfile(top + 0.01, f, 0, g).ClimbRate, 0);
  EXPECT_LT(ApproachProfile(top - 0.01, f, 0, g).ClimbRate, 0);
}

TEST_F(CrewTest, VerticalLawDemandsAndLimits) {
  // Level flight north at 80 m/s, 500 m above rest; zero-lift angle −3°,
  // lift 450e-6. dt = 1 s leaves the pitch change unclamped.
  constexpr double kZeroLift = -3;
  constexpr double kLawDt = 1;
  struct Case {
    const char* name;
    double wantedHeight;  // m above rest
    double vz;            // m/s, down
    double accel;         // m/s², achieved upwards
    double dt;
    double demand;        // m/s², upward acceleration the law must ask for
    bool limited;         // the pitch change is at its limit of 3°/s
  };
  const double q1 = -1.0 + 5;    // sinking 1 m/s, capturing −5 m/s: |q| > 0.25
  const double q2 = -4.8 + 5;    // sinking 4.8 m/s: |q| ≤ 0.25
  const Case cases[] = {
      {"too high, level: proportional", 499.95, 0, 0, kLawDt, -0.2 * 0.05, false},
      {"too low, level", 500.05, 0, 0, kLawDt, 0.2 * 0.05, false},
      {"on height, climbing", 500, -0.001, 0, kLawDt, -10 * 0.001, false},
      {"achieved acceleration counts", 499.95, 0, 0.02, kLawDt, -0.2 * 0.05, false},
      {"proportional demand clamped", 0, 0, 0, kLawDt, -1.5, false},
      {"close: constant deceleration", 498, 1, 0, kLawDt, 2.0 * 1 * 1 / (3 * 2), false},
      {"far: capture of 5 m/s", 400, 1, 0, kLawDt, -(1.5 * q1 - 0.25) / q1, false},
      {"far: fine capture", 400, 4.8, 0, kLawDt, -8 * q2 * std::fabs(q2), false},
      {"far off at 10 ms", 0, 0, 0, kDt, -1.5, true},
  };
  for (const Case& c : cases) {
    s.Own.Z = kRestZ - 500;
    s.Own.VY = 80;
    s.Own.VZ = c.vz;
    s.Own.Pitch = 0;
    s.Own.Bank = 0;
    s.Own.Heading = 0;
    const double lift = DensityRatio(-s.Own.Z) * 450e-6 * 80 * 80;  // m/s² per degree
    VerticalLaw(s, c.accel, TApproachProfile{c.wantedHeight, 0, 5, 0}, c.dt);
    const double change = -(c.demand - c.accel) * kZeroLift / lift;
    SCOPED_TRACE(c.name);
    if (c.limited) {
      EXPECT_NEAR(s.Own.Pitch, Sign(change) * 3 * c.dt, kAngleTol);
    } else {
      ASSERT_LT(std::fabs(change), 3 * c.dt) << "the case must lie inside the limit";
      EXPECT_NEAR(s.Own.Pitch, change, kAngleTol);
    }
    EXPECT_EQ(s.Own.Heading, 0) << "wings level: no heading change";
  }
  // Banked, the pitch change turns the heading by Δθ·tan(bank).
  s.Own.Z = kRestZ - 500;
  s.Own.VZ = 0;
  s.Own.Pitch = 0;
  s.Own.Bank = 30;
  s.Own.Heading = 0;
  VerticalLaw(s, 0, TApproachProfile{400, 0, 5, 0}, kDt);  // 100 m too high: nose down
  EXPECT_NEAR(s.Own.Pitch, -3 * kDt, kAngleTol);
  constexpr double kHeadingTol = 1e-4;  // deg: float resolution near 360
  EXPECT_NEAR(s.Own.Heading, Normalise360(-3 * kDt * std::tan(30 / units::kDegreesPerRadian)),
              kHeadingTol);
}

TEST_F(CrewTest, VerticalLawKeepsThePitchBetweenMinus15AndPlus20Degrees) {
  // 500 m up at 80 m/s; 500 m too low or too high the law asks for its full rate.
  constexpr double kClimb = 1000, kDescend = 0;  // m, wanted height above rest
  struct Case {
    float pitch;
    double wantedHeight;
    double expected;  // deg after one step
  };
  const Case cases[] = {
      {10, kClimb, 10 + 3 * kDt},   // inside: the rate limit alone
      {19.99f, kClimb, 20},         // held at the top
      {20, kClimb, 20},
      {25, kClimb, 25 - 3 * kDt},   // above it: back at 3°/s, even wanting to climb
      {-14.99f, kDescend, -15},     // held at the bottom
      {-15, kDescend, -15},
      {-20, kDescend, -20 + 3 * kDt},
  };
  for (const Case& c : cases) {
    s.Own.Z = kRestZ - 500;
    s.Own.VY = 80;
    s.Own.VZ = 0;
    s.Own.Bank = 0;
    s.Own.Pitch = c.pitch;
    VerticalLaw(s, 0, TApproachProfile{c.wantedHeight, 0, 5, 0}, kDt);
    SCOPED_TRACE(c.pitch);
    EXPECT_NEAR(s.Own.Pitch, c.expected, kAngleTol);
  }
}

TEST_F(CrewTest, VerticalLawSkipsWhereItsDivisorVanishes) {
  struct Case {
    const char* name;
    float bank, pitch;
    double vy, z;
  };
  const Case cases[] = {
      {"bank 90", 90, 0, 80, -500},     {"bank -90", -90, 0, 80, -500},
      {"pitch 90", 0, 90, 80, -500},    {"pitch -90", 0, -90, 80, -500},
      {"no airspeed", 0, 0, 0, -500},   {"no air above 45.7 km", 0, 0, 80, -50000},
  };
  for (const Case& c : cases) {
    s.Own.Bank = c.bank;
    s.Own.Pitch = c.pitch;
    s.Own.Heading = 10;
    s.Own.VY = c.vy;
    s.Own.Z = c.z;
    VerticalLaw(s, 0, TApproachProfile{100, 0, 5, 0}, kDt);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s.Own.Pitch, c.pitch);
    EXPECT_EQ(s.Own.Heading, 10);
  }
}

TEST_F(CrewTest, AutothrottleIsRateAndRangeLimited) {
  s.Own.Z = kRestZ - 500;
  s.Own.VY = 80;
  constexpr double kLimit = 3.51;  // 0.9 × 3.9
  struct Case {
    double throttle, target;
    double expected;
  };
  const double k = DensityRatio(-s.Own.Z) * 15e-6 + 15e-6 * 0.381;  // flaps up, gear down
  const double hold = k * 80 * 80;  // thrust that holds 80 m/s level
  const Case cases[] = {
      {hold, 80, hold},                      // on speed: no change
      {hold, 200, hold + kLimit * kDt},      // far too slow: the rate limit
      {hold, 10, hold - kLimit * kDt},       // far too fast
      {kLimit, 200, kLimit},                 // never beyond the limit
      {0.001, 10, 0},                        // never below 0
      {hold, 80.01, hold + k * (80.01 * 80.01 - 6400) + 50 * kDt * 0.01},
  };
  for (const Case& c : cases) {
    s.Throttle = c.throttle;
    Autothrottle(s, 80, c.target, kLimit, kDt);
    SCOPED_TRACE(c.target);
    EXPECT_NEAR(s.Throttle, c.expected, 1e-12);
  }
  // Nose 3° up with flaps 25: the weight's share along the path and the flaps' drag.
  s.Own.Pitch = 3;
  s.Own.Flap = 25;
  const double uF = AirData(s.Own, 0, 0).Forward;
  const double flapped = (1 + 0.367 * 5) * DensityRatio(-s.Own.Z) * 15e-6 + 15e-6 * 0.381;
  const double holdClimb = units::kGravity * SinDeg(3) + flapped * uF * uF;
  s.Throttle = holdClimb - 0.01;  // within one step's limit of 0.0351
  Autothrottle(s, uF, uF, kLimit, kDt);
  EXPECT_NEAR(s.Throttle, holdClimb, 1e-12);
}

// The autopilot in mode 7 towards a runway far to the north-east.
class ApproachTest : public CrewTest {
 protected:
  void Approach() {
    AddRunway(20000, 60000, 0, 1000, 0);
    s.Own.Z = kRestZ - 800;  // 90 m below the 890 m the autopilot holds this far out
    s.Own.VY = 120;
    s.Own.Pitch = 2;
    s.GuidanceMode = kModeFinal;
    s.Throttle = 1;
  }
};

TEST_F(ApproachTest, TheAutothrottleUsesTheAirspeedTheStepBeganWith) {
  // 90 m below the wanted height the vertical law raises the nose by 3°/s,
  // which turns a little of the airspeed off the nose's axis within the step.
  Approach();
  const double target = 250 * kKnotsPerMs;  // more than 28 km out
  s.Own.VY = target / CosDeg(2) + 0.1;
  const double before = AirData(s.Own, 0, 0).Forward;
  const float pitchAfter = static_cast<float>(2 + 3 * kDt);
  const double k = DensityRatio(-s.Own.Z) * 15e-6 + 15e-6 * 0.381;  // flaps up, gear down
  const double wanted = units::kGravity * SinDeg(pitchAfter) + k * target * target +
                        50 * kDt * (target - before);
  s.Throttle = wanted - 0.01;  // within one step's limit of 0.0351
  CrewGuidance(s, 0, kDt);
  ASSERT_EQ(s.Own.Pitch, pitchAfter);
  EXPECT_NEAR(s.Throttle, wanted, 1e-12);
}

TEST_F(ApproachTest, BelowItsAirspeedFloorTheAutopilotLetsGoWithACaution) {
  // The floor is the airspeed of level flight at 12° angle of attack:
  // g = Φ·σ·Lift·(1 + 12/3)·u², for the test airliner's Lift and zero-lift angle.
  const auto floorAt = [&](double flap) {
    return std::sqrt(units::kGravity /
                     (FlapFactor(flap) * DensityRatio(-(kRestZ - 800)) * 450e-6 * 5));
  };
  constexpr double kShare = 1e-9;  // a relative step either side of the floor
  struct Case {
    double flap, airspeed;
    bool engaged;
  };
  const Case cases[] = {
      {0, floorAt(0) * (1 + kShare), true},    {0, floorAt(0) * (1 - kShare), false},
      {25, floorAt(25) * (1 + kShare), true},  {25, floorAt(25) * (1 - kShare), false},
  };
  for (const Case& c : cases) {
    Approach();
    s.Own.Flap = c.flap;
    s.Own.VY = c.airspeed / CosDeg(2);  // pitch 2°, level
    s.MessageLog.clear();
    const TVehicleState before = s.Own;
    CrewGuidance(s, 0, kDt);
    SCOPED_TRACE(c.airspeed);
    EXPECT_EQ(s.GuidanceMode, c.engaged ? kModeFinal : kModeManualLanding);
    if (c.engaged) continue;
    EXPECT_EQ(s.MessageLog, (Lines{"機長> Auto pilot disengaged.", "機長> 速度が足りない、失速するぞ。",
                                   "機長> 機首を下げて推力を上げてくれ。"}));
    EXPECT_EQ(s.Own.Pitch, before.Pitch) << "let go: the nose is the user's";
    EXPECT_EQ(s.Own.Bank, before.Bank);
    EXPECT_EQ(s.Throttle, 1);
  }
}

TEST_F(ApproachTest, TheUsersHandsKeepTheAutopilotOffTheirChannel) {
  struct Case {
    double roll, pitch, throttleRate;
    bool attitude, throttle;  // the autopilot moves them
  };
  const Case cases[] = {
      {0, 0, 0, true, true},   {1, 0, 0, false, true},  {0, -1, 0, false, true},
      {0, 0, 0.78, true, false}, {-1, 1, -0.78, false, false},
  };
  for (const Case& c : cases) {
    Approach();
    s.RollInput = c.roll;
    s.PitchInput = c.pitch;
    s.ThrottleRate = c.throttleRate;
    const TVehicleState before = s.Own;
    CrewGuidance(s, 0, kDt);
    SCOPED_TRACE(c.roll + 2 * c.pitch + c.throttleRate);
    EXPECT_EQ(s.Own.Bank != before.Bank, c.attitude);
    EXPECT_EQ(s.Own.Pitch != before.Pitch, c.attitude);
    EXPECT_EQ(s.Throttle != 1, c.throttle);
  }
}

TEST_F(ApproachTest, BankFollowsTheCourseWithinThirtyDegreesAndFifteenPerSecond) {
  Approach();  // the aim lies 18° right of the track
  for (int i = 0; i < 300; ++i) {
    const float before = s.Own.Bank;
    CrewGuidance(s, 0, kDt);
    ASSERT_LE(std::fabs(s.Own.Bank - before), 15 * kDt + kAngleTol);
    ASSERT_LE(s.Own.Bank, 30 + kAngleTol);
  }
  EXPECT_NEAR(s.Own.Bank, 30, kAngleTol) << "held at the 30° limit after 2 s";
  // A bank beyond the limit is taken back at 15°/s.
  s.Own.Bank = 35;
  CrewGuidance(s, 0, kDt);
  EXPECT_NEAR(s.Own.Bank, 35 - 15 * kDt, kAngleTol);
}

TEST_F(ApproachTest, NoTurnsBelow300MetresBeforeTheFinalMode) {
  Approach();
  s.GuidanceMode = kModeToFix;
  s.Own.Z = kRestZ - 299;
  CrewGuidance(s, 0, kDt);
  EXPECT_EQ(s.Own.Bank, 0);
  s.Own.Z = kRestZ - 300;
  CrewGuidance(s, 0, kDt);
  EXPECT_GT(s.Own.Bank, 0);
}

TEST_F(ApproachTest, AFixLeftBehindOnTheApproachCourseCountsAsPassed) {
  struct Case {
    const char* name;
    double windEast;      // m/s
    double fixBehind;     // m, along the approach course
    double fixAside;      // m, across it
    int32_t modeAfter;
  };
  const Case cases[] = {
      {"calm, placed 1000 m past the fix", 0, 1000, 0, kModeFinal},
      {"crosswind, placed 1000 m past the fix", 8, 1000, 0, kModeFinal},
      {"fix abeam, 6000 m to the side", 0, 10, 6000, kModeToFix},
      {"fix ahead", 0, -5000, 0, kModeToFix},
  };
  for (const Case& c : cases) {
    // Runway north from (0, 0), f = 1000, straight-in: the fix lies 16000 m
    // before the aim point, at (0, −17000).
    AddRunway(0, 0, 0, 1000, 0);
    s.BaseWindX = s.WindX = c.windEast;
    s.Own.X = c.fixAside;
    s.Own.Y = -17000 + c.fixBehind;
    s.Own.Z = kRestZ - 590;
    s.Own.VX = 0;
    s.Own.VY = 107.9;
    s.Own.Heading = 0;
    s.GuidanceMode = kModeToFix;
    s.Own.Bank = 0;
    CrewGuidance(s, 0, kDt);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s.GuidanceMode, c.modeAfter);
    if (c.modeAfter == kModeFinal) {
      EXPECT_EQ(s.Own.Bank, 0) << "no turn back towards the fix behind";
    }
  }
}

TEST_F(ApproachTest, TheTurnTowardsTheFixLeadsByTheTurnRadiusAndTheDrift) {
  // Runway north from (0, 0), f = 1000, straight-in: the fix is at (0, −17000).
  // The aircraft flies east at 100 m/s over the ground towards the approach
  // course, the fix due east of it at distance D: a 90° left turn.
  constexpr double kGround = 100;        // m/s
  constexpr double kBankG = 5.6618693775;  // m/s², g·tan 30°
  const auto leadFor = [&](double windEast) {
    const double air = kGround - windEast;
    const double radius = air * air / kBankG;
    const double turn = -3.14159265358979323846 / 2;
    const double drift = (radius * turn / air) * windEast * -1;  // sin(0 − 90°) = −1
    return drift + 1.1 * air + radius * std::tan(std::fabs(turn) / 2);
  };
  struct Case {
    const char* name;
    double windEast, distance;
    int32_t modeAfter;
  };
  const double calm = leadFor(0), windy = leadFor(10);
  const Case cases[] = {
      {"calm, at the lead", 0, calm - 0.01, kModeFinal},
      {"calm, before the lead", 0, calm + 0.01, kModeToFix},
      {"tail wind across, at the lead", 10, windy - 0.01, kModeFinal},
      {"tail wind across, before the lead", 10, windy + 0.01, kModeToFix},
  };
  const double windyRadius = 90.0 * 90.0 / kBankG;
  ASSERT_GT(std::fabs(windy - (1.1 * 90 + windyRadius)), 100) << "the drift term must count";
  for (const Case& c : cases) {
    AddRunway(0, 0, 0, 1000, 0);
    s.BaseWindX = s.WindX = c.windEast;
    s.Own.X = -c.distance;
    s.Own.Y = -17000;
    s.Own.Z = kRestZ - 590;
    s.Own.VX = kGround;
    s.Own.VY = 0;
    s.Own.Heading = 90;
    s.GuidanceMode = kModeToFix;
    CrewGuidance(s, 0, kDt);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s.GuidanceMode, c.modeAfter);
  }
  // Straight at the fix along the course: only the 300 m ring, or 1.1 s of flight.
  for (const double distance : {299.99, 300.01}) {
    AddRunway(0, 0, 0, 1000, 0);
    s.BaseWindX = s.WindX = 0;
    s.Own.X = 0;
    s.Own.Y = -17000 - distance;
    s.Own.VX = 0;
    s.Own.VY = kGround;
    s.Own.Heading = 0;
    s.GuidanceMode = kModeToFix;
    CrewGuidance(s, 0, kDt);
    EXPECT_EQ(s.GuidanceMode, distance <= 300 ? kModeFinal : kModeToFix) << distance;
  }
  // Positioning: a fix ahead along the course ends it at once; one behind
  // sends the aircraft to the point 6000 m abeam it, on its own side.
  struct Side {
    double x, y;
    int32_t modeAfter;
    double bankSign;  // the turn towards the abeam point, flying north
  };
  const Side sides[] = {{0, -20000, kModeToFix, 0}, {3000, -10000, kModePositioning, 1},
                        {-3000, -10000, kModePositioning, -1}};
  for (const Side& c : sides) {
    AddRunway(0, 0, 0, 1000, 0);
    s.Own.X = c.x;
    s.Own.Y = c.y;
    s.Own.VX = 0;
    s.Own.VY = kGround;
    s.Own.Heading = 0;
    s.Own.Bank = 0;
    s.GuidanceMode = kModePositioning;
    CrewGuidance(s, 0, kDt);
    SCOPED_TRACE(c.x);
    EXPECT_EQ(s.GuidanceMode, c.modeAfter);
    if (c.bankSign != 0) {
      EXPECT_EQ(Sign(s.Own.Bank), c.bankSign);
    }
  }
}

TEST_F(ApproachTest, TheAutopilotHandsOverBeforeTheFinalTurnOr6000MetresOut) {
  struct Case {
    const char* name;
    double runwayHeading, f;
    double y;  // m, the aircraft on the approach course (north) below the runway at (0, 0)
    bool handedOver;
  };
  // Curved cases: runway east, course north; the turn starts at (−f − 2000, −2000).
  const Case cases[] = {
      {"straight-in, 6000 m out", 0, 1000, -6000, true},
      {"straight-in, 6001 m out", 0, 1000, -6001, false},
      {"straight-in, aim point 6000 m out, just passed", 0, 6000, -5999.9, true},
      {"straight-in, aim point 6000 m out, just before", 0, 6000, -6000.1, false},
      {"curved, 1000 m before the turn", 90, 1000, -3000, true},
      {"curved, 1001 m before the turn", 90, 1000, -3001, false},
  };
  for (const Case& c : cases) {
    AddRunway(0, 0, c.runwayHeading, c.f, 0);
    s.Own.X = c.runwayHeading == 0 ? 0 : -c.f - 2000;
    s.Own.Y = c.y;
    s.Own.Z = kRestZ - 300;
    s.Own.VY = 75;
    s.GuidanceMode = kModeFinal;
    s.Own.Bank = 0;
    CrewGuidance(s, 0, kDt);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s.GuidanceMode, c.handedOver ? kModeManualLanding : kModeFinal);
    constexpr double kLevelTol = 1e-9;  // deg: the runway's float ends put the course off by 1e-14°
    EXPECT_NEAR(s.Own.Bank, 0, kLevelTol) << "on the course: wings level, also at the hand-over";
  }
}

TEST_F(ApproachTest, NoNumberBecomesNaNWithoutAirspeed) {
  // Flying with the wind at its speed: no air velocity at all.
  for (int32_t mode : {kModePositioning, kModeToFix, kModeFinal}) {
    Approach();
    s.BaseWindX = s.WindX = 0;
    s.BaseWindY = s.WindY = 120;
    s.GuidanceMode = mode;
    for (int i = 0; i < 10; ++i) CrewGuidance(s, 0, kDt);
    SCOPED_TRACE(mode);
    EXPECT_TRUE(std::isfinite(s.Own.Bank));
    EXPECT_TRUE(std::isfinite(s.Own.Pitch));
    EXPECT_TRUE(std::isfinite(s.Own.Heading));
    EXPECT_TRUE(std::isfinite(s.Throttle));
  }
}

TEST_F(ApproachTest, TheHandOverReportsTheWindAndNeverSaysMinusZero) {
  // Curved approach: runway east, course north; disengages 1000 m before the turn.
  AddRunway(0, 0, 90, 1000, 0);
  s.Start.Kind = kKindAircraft;
  // A 74.52 m/s head wind on the approach course: −0.2 ft/min would read "-0".
  s.BaseWindY = -74.52;
  s.Own.X = -3000;
  s.Own.Y = -2500;
  s.Own.Z = kRestZ - 300;
  s.Own.VY = 80;
  s.GuidanceMode = kModeFinal;
  CrewGuidance(s, 0, kDt);
  ASSERT_EQ(s.GuidanceMode, kModeManualLanding);
  const double endRate = 0.052408 * 200 * 74.5;  // no wind along the runway
  char last[128];
  std::snprintf(last, sizeof last, "機長> 時に毎分0feet、終了時%.0ffeet位がいい。", endRate);
  EXPECT_EQ(s.MessageLog, (Lines{"機長> Auto pilot disengaged.", "機長> マニュアルで旋回して着陸してくれ。",
                                 "機長> 風は方位0から145ノット。",
                                 "機長> 旋回開始と同時に降下を始め、降下率は開始", last}));
}

TEST_F(CrewTest, PlacingOnAnApproach) {
  struct Case {
    const char* name;
    int32_t type;
    double runwayHeading, course;
    double x, y, height, pitch, speed, vz;  // expected; height above rest
  };
  constexpr double f = 1000;
  constexpr double kGlide = 0.052408;
  const double u = 3.14159265358979323846 / 2 * 2000;  // a 90° final turn
  const double slow = 74.51388888888889, fast = 107.91666666666667;
  const Case cases[] = {
      {"type 11 straight-in", 11, 0, 0, 0, -6500, 6800 * kGlide, 0, slow, slow * kGlide},
      {"type 10 straight-in", 10, 0, 0, 0, -16000, 590, 3, fast, 0},
      // Runway east, course north: the turn starts 2000 m left of and below the aim point.
      {"type 11 curved", 11, 90, 0, -f - 2000, -2000 - 1500, (f + 300 + u) * kGlide, 3, slow, 0},
      {"type 10 curved", 10, 90, 0, -f - 2000, -2000 - (16000 - f - u), 590, 3, fast, 0},
  };
  for (const Case& c : cases) {
    const world::TRunwayInfo& dest = AddRunway(0, 0, c.runwayHeading, f, c.course);
    s.Start = TVehicleState{};
    s.Start.FormNo = c.type;
    s.Start.Flap = 20;
    s.Gear = 0.3;  // retracting when the destination is chosen
    s.GearSet = 0;
    s.Brake = 1;
    s.MessageLog.clear();
    PlaceOnApproach(s, dest, 4242);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(s.Own.Kind, kKindAircraft);
    EXPECT_EQ(s.Own.Time, 4242);
    EXPECT_NEAR(s.Own.X, c.x, 1e-3);
    EXPECT_NEAR(s.Own.Y, c.y, 1e-3);
    EXPECT_NEAR(kRestZ - s.Own.Z, c.height, kPositionTol);
    EXPECT_NEAR(s.Own.Pitch, c.pitch, kAngleTol);
    EXPECT_EQ(s.Own.Heading, static_cast<float>(c.course));
    EXPECT_EQ(s.Own.Bank, 0);
    EXPECT_NEAR(std::hypot(s.Own.VX, s.Own.VY), c.speed, kSpeedTol);
    EXPECT_NEAR(s.Own.VZ, c.vz, kSpeedTol);
    EXPECT_EQ(s.FlapSet, 20);
    EXPECT_EQ(s.FlapCommand, 20);
    EXPECT_EQ(s.Brake, 0);
    EXPECT_EQ(s.GuidanceMode, c.type == 11 ? kModeFinal : kModeToFix);
    // The gear of the type, not the one left from before.
    EXPECT_EQ(s.Gear, c.type & 1);
    EXPECT_EQ(s.GearSet, c.type & 1);
    EXPECT_EQ(s.GearCommand, c.type & 1);
    EXPECT_EQ(s.MessageLog, (c.type == 10 ? Lines{"", "教官> 速度が 200ノットを切ったら Flaps 5。"}
                                           : Lines{}));
  }
}

TEST_F(CrewTest, PlacingAddsTheWindAlongTheCourseAndKeepsTheWorldOffset) {
  const world::TRunwayInfo& dest = AddRunway(150000, 0, 0, 1000, 0);
  s.Start = TVehicleState{};
  s.Start.FormNo = 11;
  s.BaseWindX = 3;
  s.BaseWindY = -6;  // 6 m/s head wind on a northerly course
  s.OriginX = 100000;
  PlaceOnApproach(s, dest, 0);
  EXPECT_NEAR(s.Own.X + s.OriginX, 150000, kPositionTol) << "absolute position on the centre line";
  EXPECT_NEAR(s.Own.X, 50000, kPositionTol);
  EXPECT_NEAR(s.Own.VY, 74.51388888888889 - 6, kSpeedTol);
  EXPECT_NEAR(s.Own.VX, 0, kSpeedTol);
}

}  // namespace
}  // namespace velmora::pilot
