// The sound scene: which voices each vehicle makes, how they follow the
// throttle and the speed, the engine's spool lag, Doppler, the cap on remote
// vehicles, and the crew's calls heard once each.
#include "cockpit/sound_scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "state/calls.h"
#include "tests/support/test_vehicles.h"

namespace velmora::cockpit::sound {
namespace {

using testing::kAirlinerGearUp;
using testing::kCar;
using testing::kFighterGearUp;
using testing::kLightAircraft;
using testing::kTrain;

constexpr uint32_t kTick = 10;  // ms between updates, as the shell's timer

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FillTestForms(s);
    s.ThrottleMax = 10;
  }

  // The own vehicle of a type, on its wheels (or height m above them), moving
  // north at speed (m/s) with the throttle at a fraction of its range.
  void Place(int formNo, double speed, double throttle, double height = 0) {
    testing::Vehicle(formNo).User(1).OnWheels(s, height).Velocity(0, speed).AsOwn(s);
    s.Throttle = throttle * s.ThrottleMax;
  }

  // Updates the scene for ms of time, one tick at a time; the voices of the last tick.
  std::vector<TVoice> Run(uint32_t ms) {
    for (uint32_t t = 0; t < ms || t == 0; t += kTick) {
      now += kTick;
      UpdateScene(s, now, scene);
    }
    return {scene.Voices.begin(), scene.Voices.begin() + scene.Count};
  }

  const TVoice* Find(const std::vector<TVoice>& voices, TSound sound) {
    auto it = std::find_if(voices.begin(), voices.end(),
                           [&](const TVoice& v) { return v.Sound == sound; });
    return it == voices.end() ? nullptr : &*it;
  }

  std::unique_ptr<state::TMainState> owner = std::make_unique<state::TMainState>();
  state::TMainState& s = *owner;
  TSoundScene scene;
  uint32_t now = 1000;
};

TEST_F(SceneTest, EachKindMakesItsOwnVoices) {
  using enum TSound;
  struct Case {
    int formNo;
    double height, speed;  // m above the wheels' rest, m/s
    std::set<TSound> loops;
    bool stalling = false;  // the stall warning is on
  };
  const Case cases[] = {
      {kAirlinerGearUp, 0, 0, {TurbineWhine, JetRoar}},
      {kAirlinerGearUp, 0, 60, {TurbineWhine, JetRoar, Wind, Rumble}},
      {kAirlinerGearUp, 300, 120, {TurbineWhine, JetRoar, Wind}},
      {kFighterGearUp, 300, 200, {TurbineWhine, JetRoar, Wind}},
      {kFighterGearUp, 300, 10, {TurbineWhine, JetRoar, Wind, StallShaker}, true},
      {kLightAircraft, 0, 20, {Propeller, Wind, Rumble}},
      {kCar, 0, 0, {CarEngine}},
      {kCar, 0, 30, {CarEngine, Wind, Rumble}},
      {kTrain, 0, 0, {}},
      {kTrain, 0, 30, {TractionMotor, Wind}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.formNo << " at " << c.speed << " m/s");
    scene = TSoundScene{};
    Place(c.formNo, c.speed, 0, c.height);
    s.StallWarning = c.stalling;
    std::set<TSound> loops;
    for (const TVoice& v : Run(kTick)) {
      if (v.Loop) loops.insert(v.Sound);
    }
    EXPECT_EQ(loops, c.loops);
  }
}

TEST_F(SceneTest, EngineGainAndPitchRiseWithThrottleAndSpeed) {
  struct Case {
    int formNo;
    TSound engine;
    double lowThrottle, highThrottle, lowSpeed, highSpeed;
  };
  const Case cases[] = {
      // throttle alone
      {kAirlinerGearUp, TSound::JetRoar, 0, 1, 0, 0},
      {kFighterGearUp, TSound::TurbineWhine, 0.2, 0.3, 0, 0},
      {kLightAircraft, TSound::Propeller, 0, 1, 30, 30},
      {kCar, TSound::CarEngine, 0.5, 0.6, 10, 10},
      // speed alone
      {kCar, TSound::CarEngine, 0.5, 0.5, 0, 20},
      {kTrain, TSound::TractionMotor, 0.5, 0.5, 5, 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.formNo);
    Place(c.formNo, c.lowSpeed, c.lowThrottle);
    scene = TSoundScene{};
    const TVoice low = *Find(Run(kTick), c.engine);
    Place(c.formNo, c.highSpeed, c.highThrottle);
    scene = TSoundScene{};
    const TVoice high = *Find(Run(kTick), c.engine);
    EXPECT_GT(high.Gain, low.Gain);
    EXPECT_GT(high.Pitch, low.Pitch);
  }
  // The wind rush grows with the airspeed.
  Place(kAirlinerGearUp, 40, 0.5, 300);
  const float slow = Find(Run(kTick), TSound::Wind)->Gain;
  Place(kAirlinerGearUp, 80, 0.5, 300);
  EXPECT_GT(Find(Run(kTick), TSound::Wind)->Gain, slow);
}

TEST_F(SceneTest, PlaybackSoundsFromThePlayedSpeed) {
  // A replay carries no throttle: the engine follows the played speed, and
  // the live controls (throttle, moving flaps) are not heard.
  s.ReplayMode = 2;
  s.FlapSet = 20;
  Place(kAirlinerGearUp, 20, 1, 300);
  const std::vector<TVoice> slow = Run(kTick);
  Place(kAirlinerGearUp, 120, 0, 300);
  scene = TSoundScene{};
  const std::vector<TVoice> fast = Run(kTick);
  EXPECT_GT(Find(fast, TSound::JetRoar)->Gain, Find(slow, TSound::JetRoar)->Gain);
  EXPECT_EQ(Find(fast, TSound::FlapMotor), nullptr);
}

TEST_F(SceneTest, CallsStandClearAboveTheEnginesAtFullThrust) {
  Place(kAirlinerGearUp, 80, 1);
  Run(kTick);
  s.Callout(state::TCall::Call80);
  float loudestLoop = 0, call = 0;
  for (const TVoice& v : Run(kTick)) {
    if (v.Loop) loudestLoop = std::max(loudestLoop, v.Gain);
    if (v.Sound == CallVoice(state::TCall::Call80)) call = v.Gain;
  }
  EXPECT_GE(call, 4 * loudestLoop);  // 12 dB
}

TEST_F(SceneTest, CrashShotAndHitAreHeardOnceEach) {
  Place(kFighterGearUp, 200, 1, 1000);
  s.Camera = s.Own;
  Run(kTick);
  s.Cues.Push(state::TCueKind::Shot);
  s.Cues.Push(state::TCueKind::Hit);
  s.Cues.Push(state::TCueKind::Crash);
  s.Own = s.Start;  // a crash puts the vehicle back at its start, far from the camera
  s.Own.Y = 20000;
  std::vector<TSound> once;
  for (int tick = 0; tick < 2; ++tick) {
    for (const TVoice& v : Run(kTick)) {
      if (!v.Loop) once.push_back(v.Sound);
      if (v.Sound == TSound::Crash) {
        EXPECT_EQ(v.Gain, 1);  // heard in full where the camera is
      }
    }
  }
  EXPECT_EQ(once, (std::vector<TSound>{TSound::Shot, TSound::Hit, TSound::Crash}));
}

TEST_F(SceneTest, TurbinesSpoolUpBehindTheThrottle) {
  constexpr double kTol = 0.02;  // of the pitch change: a 10 ms tick's share of the lag
  Place(kAirlinerGearUp, 0, 0);
  const double idle = Find(Run(kTick), TSound::TurbineWhine)->Pitch;
  Place(kAirlinerGearUp, 0, 1);
  const double tau = SpoolTime(s.Own);
  Run(1000);  // the step is answered after the first second...
  const double full = 0.55 + 0.75;
  struct Case {
    double seconds;  // since the throttle went to full
    double covered;  // share of the pitch change heard by then
  };
  const Case cases[] = {
      {tau, 1 - std::exp(-1.0)},
      {3 * tau, 1 - std::exp(-3.0)},
      {6 * tau, 1 - std::exp(-6.0)},
  };
  double elapsed = 1;
  EXPECT_LT(Find(Run(0), TSound::TurbineWhine)->Pitch, idle + 0.5 * (full - idle));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seconds);
    const auto ms = static_cast<uint32_t>(std::lround((c.seconds - elapsed) * 1000)) - kTick;
    const double pitch = Find(Run(ms), TSound::TurbineWhine)->Pitch;
    elapsed = c.seconds;
    EXPECT_NEAR((pitch - idle) / (full - idle), c.covered, kTol);
  }
}

TEST_F(SceneTest, RailJointsClickAtARateSetBySpeed) {
  struct Case {
    double speed;  // m/s
    int clicks;    // in 10 s: one per 25 m travelled
  };
  const Case cases[] = {{0, 0}, {2.4, 0}, {2.6, 1}, {10, 4}, {25, 10}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speed);
    scene = TSoundScene{};
    Place(kTrain, c.speed, 0.5);
    int clicks = 0;
    for (int i = 0; i <= 1000; ++i) {  // the first update only starts the clock
      now += kTick;
      UpdateScene(s, now, scene);
      for (int k = 0; k < scene.Count; ++k) clicks += scene.Voices[k].Sound == TSound::RailClick;
    }
    EXPECT_EQ(clicks, c.clicks);
  }
}

// A remote airliner at distance (m) north of the own vehicle, flying north at speed.
void PlaceRemote(state::TMainState& s, int slot, int32_t userNo, double north, double speed) {
  testing::Vehicle(kAirlinerGearUp)
      .User(userNo)
      .At(0, north, -500)
      .Velocity(0, speed)
      .AsRemote(s, slot);
}

TEST_F(SceneTest, DopplerRaisesApproachingAndLowersRecedingSources) {
  struct Case {
    double north, speed;  // m, m/s of the remote airliner
    int sign;             // of the frequency shift
  };
  const Case cases[] = {
      {1000, -100, +1}, {1000, 100, -1}, {-1000, 100, +1}, {-1000, -100, -1}, {1000, 0, 0}};
  Place(kCar, 0, 0);
  s.Own.Z = -500;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.north << " m at " << c.speed << " m/s");
    PlaceRemote(s, 0, 50, c.north, c.speed);
    const std::vector<TVoice> voices = Run(kTick);
    const TVoice* remote = Find(voices, TSound::JetRoar);
    ASSERT_NE(remote, nullptr);
    const double shift = DopplerRatio(*remote) - 1;
    EXPECT_EQ((shift > 1e-9) - (shift < -1e-9), c.sign);
  }
}

TEST_F(SceneTest, AtMostSixteenRemoteVehiclesAreHeardNearestFirst) {
  Place(kCar, 0, 0);
  s.Own.Z = -500;  // level with them
  // 20 vehicles from 3100 m inwards, 150 m apart, in no order of distance.
  std::vector<double> distances;
  for (int i = 0; i < 20; ++i) distances.push_back(3100 - 150 * ((i * 7) % 20));
  for (int i = 0; i < 20; ++i)
    PlaceRemote(s, i, 100 + i, distances[static_cast<std::size_t>(i)], 0);
  std::multiset<double> heard;
  for (const TVoice& v : Run(kTick)) {
    if (v.Source != kOwnSource) heard.insert(std::round(std::hypot(v.Forward, v.Up)));
  }
  std::sort(distances.begin(), distances.end());
  const std::multiset<double> nearest(distances.begin(), distances.begin() + kMaxRemoteVoices);
  EXPECT_EQ(heard.size(), kMaxRemoteVoices);
  EXPECT_EQ(heard, nearest);

  // Only the vehicles within range, when fewer than 16 are.
  for (int i = 0; i < 20; ++i) s.Remote[static_cast<std::size_t>(i)].Y = 2900 + 10 * i;
  int inRange = 0;
  for (const TVoice& v : Run(kTick)) inRange += v.Source != kOwnSource;
  EXPECT_EQ(inRange, 11);  // 2900..3000 m
}

// Every call has its own voice, chosen by the call's identity: the file each
// call speaks is named here without its text, so correcting a text (the
// captain's "Approching") cannot mute or swap a voice.
TEST_F(SceneTest, EachCallIsSpokenOnceByItsIdentity) {
  using state::TCall;
  const struct {
    TCall Call;
    const char* File;
  } calls[] = {
      {TCall::Call80, "sounds/call_80.wav"},
      {TCall::CallV, "sounds/call_v.wav"},
      {TCall::CallOne, "sounds/call_one.wav"},
      {TCall::CallVR, "sounds/call_vr.wav"},
      {TCall::CallV2, "sounds/call_v2.wav"},
      {TCall::PositiveClimb, "sounds/call_positive_climb.wav"},
      {TCall::GearUp, "sounds/call_gear_up.wav"},
      {TCall::GearDown, "sounds/call_gear_down.wav"},
      {TCall::FlapsUp, "sounds/call_flaps_up.wav"},
      {TCall::Flaps1, "sounds/call_flaps_1.wav"},
      {TCall::Flaps5, "sounds/call_flaps_5.wav"},
      {TCall::Flaps10, "sounds/call_flaps_10.wav"},
      {TCall::Flaps20, "sounds/call_flaps_20.wav"},
      {TCall::Flaps25, "sounds/call_flaps_25.wav"},
      {TCall::Flaps30, "sounds/call_flaps_30.wav"},
      {TCall::ApproachingMinimums, "sounds/call_approaching_minimums.wav"},
      {TCall::Minimums, "sounds/call_minimums.wav"},
      {TCall::AutopilotDisengaged, "sounds/call_autopilot_disengaged.wav"},
      {TCall::CommandC, "sounds/call_command_c.wav"},
      {TCall::GpwsMinimums, "sounds/gpws_minimums.wav"},
      {TCall::Gpws100, "sounds/gpws_100.wav"},
      {TCall::Gpws50, "sounds/gpws_50.wav"},
      {TCall::Gpws40, "sounds/gpws_40.wav"},
      {TCall::Gpws30, "sounds/gpws_30.wav"},
      {TCall::Gpws20, "sounds/gpws_20.wav"},
      {TCall::Gpws10, "sounds/gpws_10.wav"},
      {TCall::Stall, "sounds/call_stall.wav"},
  };
  static_assert(std::size(calls) == state::kCallCount, "every call");
  Place(kAirlinerGearUp, 0, 0);
  Run(kTick);
  for (const auto& c : calls) {
    SCOPED_TRACE(c.File);
    EXPECT_EQ(SoundFile(CallVoice(c.Call)), c.File);
    s.Callout(c.Call);
    EXPECT_EQ(s.MessageLog.back(), state::CallText(c.Call));
    std::vector<std::string_view> spoken;
    for (int tick = 0; tick < 2; ++tick) {
      for (const TVoice& v : Run(kTick)) {
        if (IsSpoken(v.Sound)) spoken.push_back(SoundFile(v.Sound));
      }
    }
    EXPECT_EQ(spoken, std::vector<std::string_view>{c.File});
  }

  // A burst beyond the queue's capacity between two ticks: the latest calls,
  // each once.
  for (int i = 0; i < state::kCueCapacity + 3; ++i) s.Callout(TCall::Gpws20);
  int spoken = 0;
  for (int tick = 0; tick < 2; ++tick) {
    for (const TVoice& v : Run(kTick)) spoken += v.Sound == CallVoice(TCall::Gpws20);
  }
  EXPECT_EQ(spoken, state::kCueCapacity);
}

TEST(SoundGroupTest, EachVoiceIsHeardInItsGroup) {
  struct Case {
    TSound Sound;
    uint32_t Source;
    TSoundGroup Group;
  };
  const Case cases[] = {
      {TSound::JetRoar, kOwnSource, TSoundGroup::Engines},
      {TSound::Thump, kOwnSource, TSoundGroup::Engines},
      {CallVoice(state::TCall::CallV2), kOwnSource, TSoundGroup::Voices},
      {CallVoice(state::TCall::Gpws50), kOwnSource, TSoundGroup::Voices},
      {TSound::Bell, kOwnSource, TSoundGroup::Warnings},
      {TSound::StallShaker, kOwnSource, TSoundGroup::Warnings},
      {TSound::LockTone, kOwnSource, TSoundGroup::Warnings},
      {TSound::JetRoar, 7, TSoundGroup::Traffic},
      {TSound::Bell, 7, TSoundGroup::Traffic},
  };
  for (const Case& c : cases) {
    TVoice voice;
    voice.Sound = c.Sound;
    voice.Source = c.Source;
    EXPECT_EQ(GroupOf(voice), c.Group) << SoundFile(c.Sound) << " from " << c.Source;
  }
}

}  // namespace
}  // namespace velmora::cockpit::sound
