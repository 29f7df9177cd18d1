// Golden scenarios: the core runs many ticks from a fixed start and its time
// history is compared with a stored one, and a hash of the final state with a
// stored hash. Any change of arithmetic or its order changes the hash.
// Set VELMORA_UPDATE_GOLDEN=1 to write the files anew after an intended change.
#include <gtest/gtest.h>

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
#include "app/tick.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"

namespace velmora::app {
namespace {

using vehicle::TVehicleState;

class SteppingClock : public TClock {
 public:
  uint32_t Now = 0;
  uint32_t SystemMilliseconds() const override { return Now; }
};

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
void RunGolden(const std::string& name, state::TMainState& s, int ticks,
               const std::function<void(state::TMainState&, int)>& pilot) {
  SteppingClock clock;
  clock.Now = static_cast<uint32_t>(s.Own.Time);
  TTickHooks hooks;
  TJoystickReading noJoystick;
  std::vector<std::string> history;
  for (int tick = 0; tick <= ticks; ++tick) {
    if (tick % 100 == 0) history.push_back(Sample(tick / 100.0, s.Own));
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

TEST_F(GoldenTest, AirlinerTakeOffAndClimb) {
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

}  // namespace
}  // namespace velmora::app
