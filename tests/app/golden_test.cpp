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

#include "app/reset.h"
#include "app/tick.h"
#include "physics/railway.h"
#include "tests/data/installation.h"
#include "tests/data/start_points.h"
#include "tests/support/fake_renderer.h"
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

TEST_F(GoldenTest, AirlinerTakeOffAndClimb) {
  testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
  s.Own.Flap = 10;
  s.Own.Time = 1000;
  s.Start = s.Own;  // a server mission
  s.BaseWindY = -5;
  s.WindY = -5;  // 5 m/s head wind
  s.Gear = s.GearSet = 1;
  s.FlapSet = 10;
  s.ThrottleMax = 3.9;
  s.Throttle = 3.9;
  RunGolden("airliner_takeoff", s, 6000, [](state::TMainState& state, int) {
    // Full thrust; the Down key from 75 m/s until the nose is 8° up.
    const double speed = vehicle::GroundSpeed(state.Own);
    state.PitchInput = (speed > 75 && state.Own.Pitch < 8) ? 1 : 0;
    // Gear up once climbing through 100 m.
    if (state.Own.Z < -105) state.GearSet = 0;
  });
  EXPECT_LT(s.Own.Z, -300) << "the airliner climbs away";
  EXPECT_EQ(s.Own.FormNo, testing::kAirlinerGearUp);
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

constexpr double kServiceBrake = 35.0 / 36.0;  // m/s², the train's brake

// Trains in the sample world: its vehicle types and its railway.
class TrainGoldenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    renderer.GiveTextureIds = true;
    testing::LoadInstallation(renderer, installation);
    s.Forms = *installation.Forms;
    s.World = installation.World.get();
  }

  // A train of the sample world's types, standing, as the server places it.
  static TVehicleState Train(int32_t userNo, int32_t type, int32_t line, double x, double y,
                             double heading) {
    TVehicleState v;
    v.Kind = vehicle::kKindTrain;
    v.FormNo = type;
    v.UserNo = userNo;
    v.GroupNo = line;
    v.X = x;
    v.Y = y;
    v.Z = -1.8;
    v.Heading = static_cast<float>(heading);
    return v;
  }

  // The own train placed as a server mission at time `now`.
  void PlaceOwnTrain(double x, double y, double heading, uint32_t now) {
    s.Own = Train(1, kCommuter, 1, x, y, heading);
    s.Own.Time = static_cast<int32_t>(now);
    s.Start = s.Own;
    ResetRoutine(s, kCommuter, true, now);
  }

  void ClearTrackMarksOfWorld() { physics::ClearTrackMarks(s); }

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

  testing::FakeRenderer renderer;
  testing::TInstallation installation;
  state::TMainState s;
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

TEST_F(TrainGoldenTest, EveryTrainMissionRunsToTheNextStation) {
  // The server's train missions: from each start the driver leaves the
  // station it stands at and stops at the next one, on the rails throughout.
  int missions = 0;
  for (const testing::TStartPoint& start : testing::kStartPoints) {
    if (start.FormNo / 10 != vehicle::kKindTrain) continue;
    ++missions;
    ClearTrackMarksOfWorld();
    s.Own =
        Train(1, start.FormNo, start.FormNo == kCommuter ? 1 : 2, start.X, start.Y, start.Heading);
    s.Own.Time = 5000;
    s.Start = s.Own;
    ResetRoutine(s, start.FormNo, true, 5000);
    SteppingClock clock;
    clock.Now = 5000;
    TTickHooks hooks;
    TJoystickReading joystick;
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
