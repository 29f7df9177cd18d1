// Golden scenarios: the core runs many ticks from a fixed start and its time
// history is compared with a stored one, and a hash of the final state with a
// stored hash. Any change of arithmetic or its order changes the hash.
// Set VELMORA_UPDATE_GOLDEN=1 to write the files anew after an intended change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/controls.h"
#include "app/key_bindings.h"
#include "app/panels.h"
#include "app/reset.h"
#include "app/tick.h"
#include "physics/railway.h"
#include "pilot/crew.h"
#include "tests/data/installation.h"
#include "tests/data/start_points.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/sample_world.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"
#include "vehicle/units.h"

namespace velmora::app {
namespace {

using vehicle::TVehicleState;

using testing::SteppingClock;

// FNV-1a over the bytes of each value (never over struct padding).
class StateHash {
 public:
  template <typename T>
  void Add(const T& value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    for (unsigned char b : bytes) hash_ = (hash_ ^ b) * 1099511628211ull;
  }
  uint64_t Value() const { return hash_; }

 private:
  uint64_t hash_ = 14695981039346656037ull;
};

uint64_t HashOf(const state::TMainState& s) {
  StateHash h;
  const TVehicleState& v = s.Own;
  h.Add(v.Kind);
  h.Add(v.FormNo);
  h.Add(v.X);
  h.Add(v.Y);
  h.Add(v.Z);
  h.Add(v.Heading);
  h.Add(v.Pitch);
  h.Add(v.Bank);
  h.Add(v.Flap);
  h.Add(v.VX);
  h.Add(v.VY);
  h.Add(v.VZ);
  h.Add(v.Time);
  h.Add(s.Throttle);
  h.Add(s.PitchRate);
  h.Add(s.RollRate);
  h.Add(s.Steer);
  h.Add(s.WindX);
  h.Add(s.WindY);
  h.Add(s.OriginX);
  h.Add(s.OriginY);
  return h.Value();
}

std::string Sample(double t, const TVehicleState& v) {
  char line[512];
  std::snprintf(line, sizeof line, "%.2f,%.17g,%.17g,%.17g,%.9g,%.9g,%.9g,%.17g,%.17g,%.17g", t,
                v.X, v.Y, v.Z, v.Heading, v.Pitch, v.Bank, v.VX, v.VY, v.VZ);
  return line;
}

std::vector<double> Numbers(const std::string& line) {
  std::vector<double> values;
  std::stringstream stream(line);
  std::string cell;
  while (std::getline(stream, cell, ',')) values.push_back(std::strtod(cell.c_str(), nullptr));
  return values;
}

// Runs `ticks` ticks of 10 ms, calling `pilot` before each, and checks the
// history (one sample per second) and the final hash against golden/<name>.csv.
// `sampled` picks the vehicle whose history is kept (the own vehicle when empty).
void RunGolden(const std::string& name, state::TMainState& s, int ticks,
               const std::function<void(state::TMainState&, int)>& pilot,
               const std::function<const TVehicleState&(const state::TMainState&)>& sampled = {}) {
  SteppingClock clock;
  clock.Now = static_cast<uint32_t>(s.Own.Time);
  TTickHooks hooks;
  TJoystickReading noJoystick;
  std::vector<std::string> history;
  for (int tick = 0; tick <= ticks; ++tick) {
    if (tick % 100 == 0) history.push_back(Sample(tick / 100.0, sampled ? sampled(s) : s.Own));
    pilot(s, tick);
    clock.Now += 10;
    Tick(s, clock, noJoystick, hooks);
  }
  char hashLine[64];
  std::snprintf(hashLine, sizeof hashLine, "hash,%016" PRIx64, HashOf(s));

  const std::string path = std::string(VELMORA_GOLDEN_DIR) + "/" + name + ".csv";
  if (std::getenv("VELMORA_UPDATE_GOLDEN")) {
    std::ofstream out(path);
    out << "t,x,y,z,heading,pitch,bank,vx,vy,vz\n";
    for (const std::string& line : history) out << line << "\n";
    out << hashLine << "\n";
    GTEST_SKIP() << "wrote " << path;
  }

  std::ifstream in(path);
  ASSERT_TRUE(in) << "missing golden file " << path << " (run with VELMORA_UPDATE_GOLDEN=1)";
  std::string line;
  std::getline(in, line);  // header
  constexpr double kHistoryTol = 1e-6;  // m, m/s, deg: only rounding may differ
  for (std::size_t i = 0; i < history.size(); ++i) {
    ASSERT_TRUE(std::getline(in, line)) << "golden history ends early";
    const std::vector<double> expected = Numbers(line);
    const std::vector<double> actual = Numbers(history[i]);
    ASSERT_EQ(expected.size(), actual.size());
    for (std::size_t k = 0; k < actual.size(); ++k) {
      ASSERT_NEAR(actual[k], expected[k], kHistoryTol * std::max(1.0, std::fabs(expected[k])))
          << name << " at t = " << actual[0] << " s, column " << k;
    }
  }
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(hashLine, line) << name << ": the final state differs in its last bits";
}

class GoldenTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::FillTestForms(s); }
  state::TMainState s;
};

// A log line with the moment it appeared.
struct TLoggedLine {
  std::string Line;
  uint32_t Time;  // ms, synchronised clock of the tick that logged it
  double Height;  // m of the wheels above the ground after that tick
};

// Collects the lines the ticks add to the log (call once per tick, before it).
class LogWatch {
 public:
  void Collect(const state::TMainState& s) {
    for (; seen_ < s.MessageLog.size(); ++seen_) {
      Lines.push_back({s.MessageLog[seen_], static_cast<uint32_t>(s.Own.Time),
                       s.Forms[s.Own.FormNo].RestZ - s.Own.Z});
    }
  }
  void Skip(const state::TMainState& s) { seen_ = s.MessageLog.size(); }
  int Count(const std::string& line) const {
    int n = 0;
    for (const TLoggedLine& l : Lines) n += l.Line == line ? 1 : 0;
    return n;
  }
  const TLoggedLine* Find(const std::string& line) const {
    for (const TLoggedLine& l : Lines) {
      if (l.Line == line) return &l;
    }
    return nullptr;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const TLoggedLine& l : Lines) texts.push_back(l.Line);
    return texts;
  }

  std::vector<TLoggedLine> Lines;

 private:
  std::size_t seen_ = 0;
};

// The airliner on the runway for a take-off at full thrust into a head wind.
void PlaceAirlinerForTakeOff(state::TMainState& s) {
  testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
  s.Own.Flap = 10;
  s.Own.Time = 1000;
  s.Start = s.Own;  // a server mission
  s.BaseWindY = -5;
  s.WindY = -5;  // 5 m/s head wind
  s.Gear = s.GearSet = s.GearCommand = 1;
  s.FlapSet = s.FlapCommand = 10;
  s.ThrottleMax = 3.9;
  s.Throttle = 3.9;
}

TEST_F(GoldenTest, AirlinerTakeOffAndClimb) {
  PlaceAirlinerForTakeOff(s);
  LogWatch log;
  uint32_t gearKeyTime = 0;
  uint32_t gearMoves = 0;  // ms, first tick with the gear off its stops
  RunGolden("airliner_takeoff", s, 6000, [&](state::TMainState& state, int) {
    log.Collect(state);
    const uint32_t now = static_cast<uint32_t>(state.Own.Time);
    if (gearMoves == 0 && state.Gear < 1) gearMoves = now;
    // Full thrust; the Down key from 75 m/s until the nose is 8° up.
    const double speed = vehicle::GroundSpeed(state.Own);
    state.PitchInput = (speed > 75 && state.Own.Pitch < 8) ? 1 : 0;
    // The gear key once climbing through 100 m.
    if (state.Own.Z < -105 && gearKeyTime == 0) {
      int32_t key = kKeyF5;
      OnKeyDown(state, key, 0, now);
      gearKeyTime = now;
    }
  });
  log.Collect(s);
  EXPECT_LT(s.Own.Z, -300) << "the airliner climbs away";
  EXPECT_EQ(s.Own.FormNo, testing::kAirlinerGearUp);

  // The captain's calls come in order, each once.
  const std::vector<std::string> calls = {"機長> 80.", "機長> V（ヴィーーーー）.", "機長> 1（ワン）.",
                                          "機長> VR（ヴィアール）.", "機長> V2（ヴィツー）.",
                                          "機長> Positive climb."};
  uint32_t previous = 0;
  for (const std::string& call : calls) {
    SCOPED_TRACE(call);
    ASSERT_EQ(log.Count(call), 1);
    EXPECT_GT(log.Find(call)->Time, previous);
    previous = log.Find(call)->Time;
  }
  // The autopilot engages climbing through 300 m: the tick before was below.
  const TLoggedLine* engage = log.Find("機長> Command C push.");
  ASSERT_NE(engage, nullptr);
  constexpr double kClimbPerTick = 0.5;  // m: more than a tick's climb
  EXPECT_GE(engage->Height, 300);
  EXPECT_LT(engage->Height, 300 + kClimbPerTick);
  EXPECT_EQ(log.Count("機長> Command C push."), 1);
  // The gear: the user's line at once, the captain's and the movement 1.5 s later.
  ASSERT_NE(gearKeyTime, 0u);
  ASSERT_NE(log.Find("自分> Gear up."), nullptr);
  const TLoggedLine* gearUp = log.Find("機長> Gear up.");
  ASSERT_NE(gearUp, nullptr);
  constexpr uint32_t kTickMs = 10;
  EXPECT_GT(gearUp->Time - gearKeyTime, 1500u);
  EXPECT_LE(gearUp->Time - gearKeyTime, 1500u + kTickMs);
  EXPECT_EQ(gearMoves, gearUp->Time + kTickMs) << "the next control step moves the gear";
}

// The same take-off flown through keys rebound away from the shipped ones:
// they drive the same handlers, so the history and the hash stay bit for bit.
TEST_F(GoldenTest, AirlinerTakeOffThroughReboundKeys) {
  PlaceAirlinerForTakeOff(s);
  TKeyTable keys = DefaultKeyTable(TKeyTableKind::Aircraft);
  ASSERT_EQ(Bind(keys, TAction::NoseUp, 'S').Result, TBindResult::Bound);
  ASSERT_EQ(Bind(keys, TAction::Gear, 'G').Result, TBindResult::Bound);
  bool noseUpHeld = false, gearPressed = false;
  RunGolden("airliner_takeoff", s, 6000, [&](state::TMainState& state, int) {
    const uint32_t now = static_cast<uint32_t>(state.Own.Time);
    const auto press = [&](int32_t pressed, bool down) {
      int32_t key = ShippedKey(keys, pressed);
      if (down) {
        OnKeyDown(state, key, 0, now);
      } else {
        OnKeyUp(state, key, 0);
      }
    };
    const bool noseUp = vehicle::GroundSpeed(state.Own) > 75 && state.Own.Pitch < 8;
    if (noseUp != noseUpHeld) {
      noseUpHeld = noseUp;
      press('S', noseUp);
    }
    if (state.Own.Z < -105 && !gearPressed) {
      press('G', true);
      press('G', false);
      gearPressed = true;
    }
  });
  EXPECT_TRUE(gearPressed);
}

TEST_F(GoldenTest, RoadVehicleAcceleratesTurnsAndBrakes) {
  testing::PlaceOwn(s, vehicle::kKindRoad, testing::kCar);
  s.Own.Time = 0;
  s.Start = TVehicleState{};  // practice mode: gusts on the base wind
  s.BaseWindX = 8;
  s.ThrottleMax = 6;
  s.Throttle = 0;
  s.ThrottleRate = 3;
  RunGolden("car_drive", s, 4000, [](state::TMainState& state, int tick) {
    state.RollInput = (tick >= 1500 && tick < 1700) ? 1 : 0;  // a right turn
    state.Brake = tick >= 3000 ? 1 : 0;
  });
  EXPECT_EQ(vehicle::GroundSpeed(s.Own), 0) << "braked to a stop";
  EXPECT_GT(vehicle::Normalise360(s.Own.Heading), 5);
}

TEST_F(GoldenTest, FighterSixtyDegreeTurn) {
  testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kFighterGearUp);
  s.Own.Z = -3000;
  s.Own.VY = 200;
  s.Own.Bank = 60;
  s.Own.Pitch = 2;
  s.Own.Time = 77;
  s.Start = s.Own;
  s.ThrottleMax = 10;
  s.Throttle = 6;
  RunGolden("fighter_turn", s, 3000, [](state::TMainState& state, int) {
    // Hold the nose up a little to keep the lift on.
    state.PitchInput = state.Own.Pitch < 2 ? 1 : 0;
  });
  EXPECT_GT(std::fabs(vehicle::Normalise180(s.Own.Heading)), 30) << "the fighter turns";
}

// Practice approaches in the sample installation: its vehicle types, its
// world and its runways, with the destination chosen on the panel.
class PracticeApproachTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FakeRenderer renderer;
    renderer.GiveTextureIds = true;
    renderer.GiveSurfaceIds = true;
    testing::LoadInstallation(renderer, installation);
    ASSERT_TRUE(installation.Ok());
    s.Forms = *installation.Forms;
    s.World = installation.World.get();
  }

  // The server's kind-0 record of the given type, then the destination row
  // clicked, as a user starts a practice approach.
  void StartPractice(int32_t type, double flap, double windEast, double windNorth, int32_t row) {
    s.Own = TVehicleState{};
    s.Own.FormNo = type;
    s.Own.Flap = flap;
    s.Own.UserNo = 1;
    s.Own.Time = 50000;
    s.Start = s.Own;
    s.BaseWindX = s.WindX = windEast;
    s.BaseWindY = s.WindY = windNorth;
    ResetRoutine(s, type, true, 50000);
    s.Gust = state::TGustState{1, 1, 0, 500};
    s.DestRow = row;
    StringGridDestClick(s, 50000, {});
    ASSERT_EQ(s.Own.Kind, vehicle::kKindAircraft) << "placed on the approach";
  }

  const world::TRunwayInfo& Runway(int32_t row) const {
    return *s.World->Destinations[static_cast<std::size_t>(row - 1)];
  }

  testing::TInstallation installation;
  state::TMainState s;
};

// Where the aircraft was when the autopilot handed over.
struct THandOver {
  bool Done = false;
  double Seconds = 0;   // s after placing
  TVehicleState Own;
  double Airspeed = 0;  // m/s, forward
};

// Watches the guidance mode; records the modes in order and the hand-over.
struct TModeWatch {
  std::vector<int32_t> Modes;
  THandOver HandOver;

  void Collect(const state::TMainState& s, int tick) {
    if (Modes.empty() || Modes.back() != s.GuidanceMode) Modes.push_back(s.GuidanceMode);
    if (!HandOver.Done && s.GuidanceMode == pilot::kModeManualLanding) {
      HandOver = {true, tick / 100.0, s.Own, vehicle::AirData(s.Own, s.WindX, s.WindY).Forward};
    }
  }
};

// The user follows the instructor's flap schedule with the keys: flaps 5
// below 200 kt, 10 below 180, gear down and flaps 20 below 160, 25 below 150.
void FlapSchedule(state::TMainState& s) {
  if (s.Own.Kind != vehicle::kKindAircraft) return;
  const double knots = vehicle::AirData(s.Own, s.WindX, s.WindY).Forward *
                       units::kKnotsPerMetrePerSecond;
  double wanted = 0;
  if (knots < 150) {
    wanted = 25;
  } else if (knots < 160) {
    wanted = 20;
  } else if (knots < 180) {
    wanted = 10;
  } else if (knots < 200) {
    wanted = 5;
  }
  const uint32_t now = static_cast<uint32_t>(s.Own.Time);
  if (wanted >= 20 && s.GearCommand < 0.5) {
    int32_t key = kKeyF5;
    OnKeyDown(s, key, 0, now);
  }
  while (s.FlapCommand < wanted) {
    int32_t key = kKeyF7;
    OnKeyDown(s, key, 0, now);
  }
}

constexpr double kGlideSlope = 0.052408;               // tan 3°
constexpr double kApproachSpeed = 145 * 1850.0 / 3600;  // m/s

TEST_F(PracticeApproachTest, StraightInFlownByTheAutopilotToTheHandOver) {
  constexpr int32_t kRunway36 = 1;  // course equal to the runway heading
  StartPractice(testing::kAirlinerGearDown, 25, 4, -6, kRunway36);
  const world::TRunwayInfo& runway = Runway(kRunway36);
  ASSERT_EQ(runway.ApproachCourse, 0.0f);
  LogWatch log;
  log.Skip(s);
  TModeWatch modes;
  RunGolden("practice_straight_in", s, 1500, [&](state::TMainState& state, int tick) {
    log.Collect(state);
    modes.Collect(state, tick);
  });
  log.Collect(s);
  ASSERT_TRUE(modes.HandOver.Done);
  EXPECT_EQ(modes.Modes, (std::vector<int32_t>{pilot::kModeFinal, pilot::kModeManualLanding}));

  // At the hand-over, against the threshold and the runway's centre line.
  const TVehicleState& at = modes.HandOver.Own;
  const double d = vehicle::Normalise360(
      vehicle::Atan2Deg(runway.X2 - runway.X1, runway.Y2 - runway.Y1));
  const double east = at.X + s.OriginX - runway.X1, north = at.Y + s.OriginY - runway.Y1;
  const double toThreshold = -(east * vehicle::SinDeg(d) + north * vehicle::CosDeg(d));
  const double offset = east * vehicle::CosDeg(d) - north * vehicle::SinDeg(d);
  const double height = s.Forms[at.FormNo].RestZ - at.Z;
  const double pathHeight = kGlideSlope * (toThreshold + 300);
  const double closing = at.VX * vehicle::SinDeg(d) + at.VY * vehicle::CosDeg(d);
  std::printf("[ straight-in ] hand-over after %.2f s: %.1f m and %.1f s before the threshold, "
              "%.2f m %s of the centre line, %.2f m %s the 3° path, %.1f kt (145 kt wanted)\n",
              modes.HandOver.Seconds, toThreshold, toThreshold / closing, std::fabs(offset),
              offset >= 0 ? "right" : "left", std::fabs(height - pathHeight),
              height >= pathHeight ? "above" : "below",
              modes.HandOver.Airspeed * units::kKnotsPerMetrePerSecond);
  constexpr double kStepTravel = 1;     // m an aircraft covers in one 10 ms tick, and more
  constexpr double kCentreLineTol = 5;  // m: well inside half the runway's width
  constexpr double kPathTol = 5;        // m: a dot of the slope lights
  constexpr double kSpeedTol = 2.6;     // m/s, 5 kt
  EXPECT_LE(toThreshold, 6000) << "hands over 6000 m before the threshold";
  EXPECT_GT(toThreshold, 6000 - kStepTravel);
  EXPECT_NEAR(toThreshold / closing, 6000 / (kApproachSpeed - 6), 5)
      << "about 6000 m at 145 kt into a 6 m/s head wind";
  EXPECT_LT(std::fabs(offset), kCentreLineTol);
  EXPECT_NEAR(height, pathHeight, kPathTol);
  EXPECT_NEAR(modes.HandOver.Airspeed, kApproachSpeed, kSpeedTol);

  // Wind from 326° at 14 kt; no turn, so no descent advice; the instructor's lines.
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{
                             "機長> Auto pilot disengaged.",
                             "機長> 風は方位326から14ノット。",
                             "",
                             "教官> 黄色線は予想進路を地面に描いたものだ。",
                             "教官> 速度は 145ノットに維持。",
                             "教官> GPWSが20をコールしたら、10コールよりも前",
                             "教官> に機首を上げながら推力を絞る操作を開始。",
                         }));
}

TEST_F(PracticeApproachTest, CurvedApproachToRunway03) {
  constexpr int32_t kRunway03 = 2;  // runway heading 030, approach course 000
  StartPractice(testing::kAirlinerGearUp, 0, 3, 5, kRunway03);
  const world::TRunwayInfo& runway = Runway(kRunway03);
  ASSERT_EQ(runway.ApproachCourse, 0.0f);
  LogWatch log;
  log.Skip(s);
  TModeWatch modes;
  RunGolden("practice_runway03", s, 11500, [&](state::TMainState& state, int tick) {
    log.Collect(state);
    modes.Collect(state, tick);
    FlapSchedule(state);
  });
  ASSERT_TRUE(modes.HandOver.Done);
  EXPECT_EQ(modes.Modes, (std::vector<int32_t>{pilot::kModeToFix, pilot::kModeFinal,
                                               pilot::kModeManualLanding}));

  // The final turn starts where a 2000 m turn from 000 ends on the centre line.
  const double d = vehicle::Normalise360(
      vehicle::Atan2Deg(runway.X2 - runway.X1, runway.Y2 - runway.Y1));
  const double f = runway.ApproachOffset;
  const double u = std::fabs(vehicle::Normalise180(0 - d)) * units::kRadiansPerDegree * 2000;
  const double turnX = runway.X1 - f * vehicle::SinDeg(d) + 2000 * (vehicle::CosDeg(d) - 1);
  const double turnY = runway.Y1 - f * vehicle::CosDeg(d) - 2000 * vehicle::SinDeg(d);
  const TVehicleState& at = modes.HandOver.Own;
  const double east = at.X + s.OriginX - turnX, north = at.Y + s.OriginY - turnY;
  const double height = s.Forms[at.FormNo].RestZ - at.Z;
  const double wanted = kGlideSlope * (f + u + 300);
  std::printf("[ runway 03 ] hand-over after %.2f s: %.1f m before the turn, %.2f m %s of the "
              "approach course, %.2f m %s the wanted %.1f m, %.1f kt (145 kt wanted)\n",
              modes.HandOver.Seconds, -north, std::fabs(east), east >= 0 ? "right" : "left",
              std::fabs(height - wanted), height >= wanted ? "above" : "below", wanted,
              modes.HandOver.Airspeed * units::kKnotsPerMetrePerSecond);
  constexpr double kStepTravel = 1.2;  // m in one tick at 210 kt
  EXPECT_LE(std::hypot(east, north), 1000);
  EXPECT_GT(std::hypot(east, north), 1000 - kStepTravel);
  EXPECT_LT(north, 0) << "before the turn, not past it";
  EXPECT_LT(std::fabs(east), 30) << "on the approach course";
  EXPECT_NEAR(height, wanted, 15);
  EXPECT_NEAR(modes.HandOver.Airspeed, kApproachSpeed, 2.6);

  // The hand-over with the turn's descent advice and the instructor's lines.
  const std::vector<std::string> texts = log.Texts();
  const auto handOver = std::find(texts.begin(), texts.end(), "機長> Auto pilot disengaged.");
  ASSERT_NE(handOver, texts.end());
  const std::vector<std::string> tail(handOver, texts.end());
  ASSERT_EQ(tail.size(), 12u);
  EXPECT_EQ(tail[1], "機長> マニュアルで旋回して着陸してくれ。");
  EXPECT_EQ(tail[2], "機長> 風は方位211から11ノット。");
  EXPECT_EQ(tail[3], "機長> 旋回開始と同時に降下を始め、降下率は開始");
  // Feet per minute on a 3° path at 145 kt plus the tail wind on the course and on the runway.
  const double windBearing = vehicle::Atan2Deg(3, 5), wind = std::hypot(3, 5);
  char rates[128];
  std::snprintf(rates, sizeof rates, "機長> 時に毎分%.0ffeet、終了時%.0ffeet位がいい。",
                10.4816 * (wind * vehicle::CosDeg(0 - windBearing) + 74.5),
                10.4816 * (wind * vehicle::CosDeg(d - windBearing) + 74.5));
  EXPECT_EQ(tail[4], rates);
  EXPECT_EQ(tail[5], "");
  EXPECT_EQ(tail[6], "教官> 黄色線は予想進路を地面に描いたものだ。");
  EXPECT_EQ(tail[7], "教官> 水色の垂直線を越えたら旋回と降下を開始し");
  EXPECT_EQ(tail[8], "教官> 黄色線がピンク線に接するように操縦。");
  EXPECT_EQ(tail[9], "教官> 速度は 145ノットに維持。");
  EXPECT_EQ(tail[11], "教官> に機首を上げながら推力を絞る操作を開始。");
  // Before it, the captain acknowledged each step of the schedule once (both
  // presses from 0 to 5 are one command to him).
  for (const char* line : {"機長> Flaps 5.", "機長> Flaps 10.", "機長> Gear down.",
                           "機長> Flaps 20.", "機長> Flaps 25."}) {
    EXPECT_EQ(log.Count(line), 1) << line;
  }
}

TEST(SampleLightAircraft, TakesOffAtFullThrottleAndFliesOnWithItsInstruments) {
  // Placed as the server's mission places it, then full throttle and nothing
  // else for a minute.
  testing::FakeRenderer renderer;
  renderer.GiveTextureIds = true;
  testing::TInstallation installation;
  testing::LoadInstallation(renderer, installation);
  state::TMainState s;
  s.Forms = *installation.Forms;
  s.World = installation.World.get();
  const auto start = std::find_if(testing::kStartPoints.begin(), testing::kStartPoints.end(),
                                  [](const testing::TStartPoint& p) { return p.FormNo == 15; });
  ASSERT_NE(start, testing::kStartPoints.end());
  testing::Vehicle(start->FormNo)
      .User(1)
      .At(start->X, start->Y, start->Z)
      .Heading(start->Heading)
      .Time(5000)
      .AsOwn(s);
  s.Start = s.Own;
  ResetRoutine(s, s.Own.FormNo, true, 5000);
  EXPECT_TRUE(s.Panels.PFD && s.Panels.Indicator && s.Panels.Navi && s.Panels.Power);

  constexpr double kRunwayEndX = 1800, kRunwayEndY = 532.1;  // m, runway 03's far end
  constexpr double kNeverExceed = 160;                       // kt, a light aircraft's limit
  const double runwayLeft = std::hypot(kRunwayEndX - start->X, kRunwayEndY - start->Y);
  const double restZ = s.Forms[start->FormNo].RestZ;
  SteppingClock clock;
  clock.Now = 5000;
  TTickHooks hooks;
  TJoystickReading joystick;
  s.Brake = 0;
  s.Throttle = s.ThrottleMax;
  double liftOff = -1;  // m rolled
  for (int tick = 0; tick < 6000; ++tick) {
    clock.Now += 10;
    Tick(s, clock, joystick, hooks);
    if (liftOff < 0 && s.Own.Z < restZ) {
      liftOff = std::hypot(s.Own.X - start->X, s.Own.Y - start->Y);
    }
  }
  EXPECT_EQ(s.Restarted, 0) << (s.MessageLog.empty() ? "" : s.MessageLog.back());
  EXPECT_GT(liftOff, 0);
  EXPECT_LT(liftOff, runwayLeft);
  EXPECT_LT(s.Own.VZ, 0) << "climbing";
  EXPECT_LT(vehicle::AirData(s.Own, s.WindX, s.WindY).Forward * units::kKnotsPerMetrePerSecond,
            kNeverExceed);
}

TEST_F(PracticeApproachTest, WithoutFlapsTheAutopilotLetsGoBeforeTheStall) {
  // The long approach to runway 36 with the flaps left up, the instructor's
  // advice ignored: the speed schedule slows the aircraft below what it can
  // fly clean.
  constexpr int32_t kRunway36 = 1;
  StartPractice(testing::kAirlinerGearUp, 0, 1, -3, kRunway36);
  LogWatch log;
  log.Skip(s);
  SteppingClock clock;
  clock.Now = static_cast<uint32_t>(s.Own.Time);
  TTickHooks hooks;
  TJoystickReading noJoystick;
  double highestEngaged = -90, lowestEngaged = 90, alphaAtRelease = 0;
  for (int tick = 0; tick < 30000 && s.GuidanceMode != pilot::kModeManualLanding; ++tick) {
    clock.Now += 10;
    Tick(s, clock, noJoystick, hooks);
    const vehicle::TBodyVector air = vehicle::AirData(s.Own, s.WindX, s.WindY);
    alphaAtRelease = -vehicle::Atan2Deg(air.Up, air.Forward);
    if (s.GuidanceMode >= pilot::kModePositioning && s.GuidanceMode <= pilot::kModeFinal) {
      highestEngaged = std::max(highestEngaged, static_cast<double>(s.Own.Pitch));
      lowestEngaged = std::min(lowestEngaged, static_cast<double>(s.Own.Pitch));
    }
  }
  log.Collect(s);
  ASSERT_EQ(s.GuidanceMode, pilot::kModeManualLanding) << "the autopilot let go";
  EXPECT_LE(highestEngaged, 20);
  EXPECT_GE(lowestEngaged, -15);
  EXPECT_LT(alphaAtRelease, 15) << "released before the wing stalls";
  // The stall warning starts at the same speed.
  EXPECT_EQ(log.Texts(), (std::vector<std::string>{
                             "機長> Auto pilot disengaged.", "機長> 速度が足りない、失速するぞ。",
                             "機長> 機首を下げて推力を上げてくれ。", "失速警報> Stall."}));
}

constexpr double kServiceBrake = 35.0 / 36.0;  // m/s², the train's brake

// Trains in the sample world: its vehicle types and its railway.
class TrainGoldenTest : public testing::SampleWorldTest {
 protected:

  // A train of the sample world's types, standing, as the server places it.
  static TVehicleState Train(int32_t userNo, int32_t type, int32_t line, double x, double y,
                             double heading) {
    return testing::Vehicle(type).User(userNo, line).At(x, y, -1.8).Heading(heading).Record();
  }

  // The own train placed as a server mission at time `now`.
  void PlaceOwnTrain(double x, double y, double heading, uint32_t now) {
    s.Own = Train(1, kCommuter, 1, x, y, heading);
    s.Own.Time = static_cast<int32_t>(now);
    s.Start = s.Own;
    ResetRoutine(s, kCommuter, true, now);
  }

  void ClearTrackMarksOfWorld() { physics::ClearTrackMarks(s); }

  // The own train of a server mission's start point, placed at time 5000 ms
  // on a track free of marks.
  void PlaceMissionTrain(const testing::TStartPoint& start) {
    ClearTrackMarksOfWorld();
    s.Own =
        Train(1, start.FormNo, start.FormNo == kCommuter ? 1 : 2, start.X, start.Y, start.Heading);
    s.Own.Time = 5000;
    s.Start = s.Own;
    ResetRoutine(s, start.FormNo, true, 5000);
  }

  // Nearest distance of (x, y) from any segment.
  double OffTrack(double x, double y) const {
    double nearest = physics::kNoTrack;
    for (int n = 1; n <= s.World->Track.Count; ++n) {
      physics::TTrackFoot foot;
      nearest = std::min(nearest, physics::TrackDistance(s.World->Track, n, x, y, foot));
    }
    return nearest;
  }

  static constexpr int32_t kCommuter = 30;
  // m: the reference point between the two snapped bogies lies inside a curve
  // by Wheelbase²/(8·radius): 0.06 m on the 400 m curve, 0.15 m on the 160 m
  // curves of the passing loop.
  static constexpr double kOnRails = 0.2;
  static constexpr double kLimitOvershoot = 0.02;  // m/s: one 10 ms step of full thrust
  static constexpr double kReaction = 0.02;        // s: the driver brakes on the next tick
  // m/s: braking stops a train exactly, but on a curve turning the velocity
  // onto the new heading leaves rounding behind.
  static constexpr double kAtRest = 1e-6;
};

// Scripted driver: full thrust, coasting within 1 m/s of the limit, the brake
// above it. Once the braking distance at the service brake reaches the stop
// distance it only brakes or coasts: the brake while the braking distance is
// at least the distance left, so drag does not leave it short.
struct TScriptedDriver {
  bool ObeyStops = true;
  bool Stopping = false;

  void operator()(state::TMainState& s) {
    const double v = vehicle::GroundSpeed(s.Own);
    const double braking = v * v / (2 * kServiceBrake);
    if (ObeyStops && braking >= s.StopDistance && v > 0) Stopping = true;
    if (v > s.RailSpeedLimit || (Stopping && braking >= s.StopDistance)) {
      s.Brake = 1;
    } else if (Stopping || v > s.RailSpeedLimit - 1) {
      s.Brake = 0;
      s.Throttle = 0;
    } else {
      s.Brake = 0;
      s.Throttle = s.ThrottleMax;
    }
  }
};

TEST_F(TrainGoldenTest, CommuterRunsFromStationAToStationB) {
  PlaceOwnTrain(-4000, -2800, 0, 5000);
  ASSERT_EQ(s.Own.TrackSegments >> 16, 1u) << "placed on the track";
  TScriptedDriver driver;
  double worstOffTrack = 0, worstOverLimit = -1e9, lowestLimit = 1e9;
  bool departed = false;
  RunGolden("train_commuter_a_to_b", s, 13000, [&](state::TMainState& state, int) {
    // Leave station A: its stop lies behind once the train has moved off.
    if (!departed && state.StopDistance > 1e3 && state.StopDistance < 1e37) departed = true;
    if (!departed) {
      state.Brake = 0;
      state.Throttle = state.ThrottleMax;
    } else {
      driver(state);
    }
    const double v = vehicle::GroundSpeed(state.Own);
    worstOverLimit = std::max(worstOverLimit, v - state.RailSpeedLimit);
    lowestLimit = std::min(lowestLimit, state.RailSpeedLimit);
    worstOffTrack = std::max(worstOffTrack, OffTrack(state.Own.X, state.Own.Y));
  });
  EXPECT_NEAR(vehicle::GroundSpeed(s.Own), 0, kAtRest);
  EXPECT_EQ(s.Own.TrackSegments >> 16, 6u) << "through the south switch onto the main track";
  EXPECT_LE(worstOffTrack, kOnRails);
  EXPECT_LE(worstOverLimit, kLimitOvershoot);
  EXPECT_LT(lowestLimit, 23) << "the 400 m curve's limit was met";
  // Station B's stop mark at (−3654.1, −537.8); stop distance 0 puts the
  // reference point Wheelbase/2 + 3 m short of it.
  const double error = s.StopDistance;
  std::printf("commuter stopping error at station B: %.3f m (stop distance left)\n", error);
  EXPECT_LT(std::fabs(error), 2.0);
  EXPECT_NEAR(s.Own.Y, -537.8 - 10 + error, 0.1);
}

TEST_F(TrainGoldenTest, EveryTrainMissionStartsAtItsStopAndRunsToTheNextStation) {
  // The server's train missions. The first tick couples the standing train
  // to the track: the stop of its own station lies where the train stops, not
  // behind it as an overrun. Then the driver leaves that station and stops at
  // the next one, on the rails throughout.
  constexpr double kAtTheStop = 0.5;  // m: the navigation display's green band
  int missions = 0;
  for (const testing::TStartPoint& start : testing::kStartPoints) {
    if (start.FormNo / 10 != vehicle::kKindTrain) continue;
    ++missions;
    PlaceMissionTrain(start);
    SteppingClock clock(5010);
    TTickHooks hooks;
    TJoystickReading joystick;
    Tick(s, clock, joystick, hooks);
    EXPECT_EQ(vehicle::GroundSpeed(s.Own), 0) << start.Name;
    EXPECT_GE(s.StopDistance, 0) << start.Name << ": shown as passed";
    EXPECT_LE(s.StopDistance, kAtTheStop) << start.Name;

    TScriptedDriver driver;
    double travelled = 0, worstOffTrack = 0;
    bool departed = false;
    for (int tick = 0; tick < 40000; ++tick) {
      // Away from the start station first: its stop lies behind once overshot.
      if (!departed && s.StopDistance > 0 && s.StopDistance < 1e37 && travelled > 20) {
        departed = true;
      }
      if (departed) {
        driver(s);
      } else {
        s.Brake = 0;
        s.Throttle = s.ThrottleMax;
      }
      const double x = s.Own.X, y = s.Own.Y;
      clock.Now += 10;
      Tick(s, clock, joystick, hooks);
      travelled += std::hypot(s.Own.X - x, s.Own.Y - y);
      worstOffTrack = std::max(worstOffTrack, OffTrack(s.Own.X, s.Own.Y));
      if (departed && vehicle::GroundSpeed(s.Own) == 0) break;
    }
    EXPECT_TRUE(departed) << start.Name;
    EXPECT_GT(travelled, 500) << start.Name;
    EXPECT_NEAR(vehicle::GroundSpeed(s.Own), 0, kAtRest) << start.Name;
    EXPECT_LT(std::fabs(s.StopDistance), 0.5) << start.Name << ": at the next stop";
    EXPECT_LE(worstOffTrack, kOnRails) << start.Name;
    std::printf("%s: %.0f m to the next station, stopping error %.3f m\n", start.Name, travelled,
                s.StopDistance);
  }
  EXPECT_EQ(missions, 3);
}

TEST_F(TrainGoldenTest, FollowerStopsShortOfALeaderThatAppearsAhead) {
  // The own train runs north from station A on the speed limits alone; at
  // 60 s a standing line-1 train appears 560 m ahead of it.
  PlaceOwnTrain(-4000, -2800, 0, 5000);
  TScriptedDriver driver;
  driver.ObeyStops = false;
  const double leaderY = -1000;  // on the straight before the south switch
  double closest = 1e9, speedWhenBlocked = 0, yWhenBlocked = 0;
  RunGolden("train_two_on_one_line", s, 9000, [&](state::TMainState& state, int tick) {
    if (tick == 6000) {
      // The leader's state arrives from the server.
      state.Remote[0] = Train(2, kCommuter, 1, -3654.1, leaderY, 0);
      state.Remote[0].Time = state.Own.Time;
      state.Remote[1].UserNo = 0;
    }
    if (tick == 6001) {
      speedWhenBlocked = vehicle::GroundSpeed(state.Own);
      yWhenBlocked = state.Own.Y;
    }
    // The run recorded here stops on the service brake alone: the train
    // protection, which the tick applies to a train over its caution speed
    // once the way is blocked, is released before each tick.
    state.EmergencyBrake = 0;
    driver(state);
    if (tick > 6000) {
      EXPECT_EQ(state.RailSpeedLimit, 0) << "blocked from the moment the leader is there";
      closest = std::min(closest, leaderY - state.Own.Y);
    }
  });
  EXPECT_NEAR(vehicle::GroundSpeed(s.Own), 0, kAtRest);
  EXPECT_EQ(s.World->Track.Record(5).Occupant, 2) << "the leader holds its segment";
  EXPECT_GT(speedWhenBlocked, 15) << "running at speed when the way was blocked";
  EXPECT_LT(leaderY - yWhenBlocked, 600);
  // Both trains are 14 m between bogies: the fronts never meet; and the
  // follower stopped within its service-brake distance (drag only helps).
  EXPECT_GT(closest, 14 + 10);
  EXPECT_LE(s.Own.Y - yWhenBlocked,
            speedWhenBlocked * speedWhenBlocked / (2 * kServiceBrake) + speedWhenBlocked * kReaction);
}

TEST_F(TrainGoldenTest, RemoteTrainsStayOnTheRailsThroughTheCurves) {
  // The own train waits at station C; two remote line-1 trains run north
  // through the 800 m and 400 m curves, starting at 30 m/s and slowed by drag alone.
  PlaceOwnTrain(-4036.3, 1063.5, 180, 5000);
  s.Remote[0] = Train(2, kCommuter, 1, -4000, -2600, 0);
  s.Remote[0].VY = 30;
  s.Remote[1] = Train(3, kCommuter, 1, -4000, -2750, 0);
  s.Remote[1].VY = 30;
  for (int i = 0; i < 2; ++i) s.Remote[static_cast<std::size_t>(i)].Time = s.Own.Time;
  double worstOffTrack = 0;
  RunGolden(
      "train_remote_curves", s, 12000,
      [&](state::TMainState& state, int) {
        for (int i = 0; i < 2; ++i) {
          const TVehicleState& v = state.Remote[static_cast<std::size_t>(i)];
          worstOffTrack = std::max(worstOffTrack, OffTrack(v.X, v.Y));
        }
      },
      [](const state::TMainState& state) -> const TVehicleState& { return state.Remote[0]; });
  for (int i = 0; i < 2; ++i) {
    const TVehicleState& v = s.Remote[static_cast<std::size_t>(i)];
    EXPECT_NE(v.TrackSegments, 0u) << i;
    EXPECT_GT(v.Y, -1137.8) << i << ": past both curves";
  }
  EXPECT_LE(worstOffTrack, kOnRails);
}

}  // namespace
}  // namespace velmora::app

