#include "app/replay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/replay_entry.h"
#include "app/replay_file.h"
#include "app/reset.h"
#include "app/tick.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_vehicles.h"

namespace velmora::app {
namespace {

using state::TReplayEntry;
using testing::kAirlinerGearUp;
using testing::kCar;
using testing::kFighterGearUp;
using testing::kFreeBody;
using testing::kTrain;
using testing::Vehicle;
using vehicle::TVehicleState;

constexpr double kAngleTol = 0.05 + 1e-4;  // deg: half the field's step of 0.1, float rounding
constexpr double kSpeedTol = 0.05 + 1e-9;  // m/s: half the field's step of 0.1
// m: a 32-bit float keeps positions below 8192 m to 1/2048 m.
constexpr double kPositionTol = 1.0 / 2048;
constexpr int32_t kOwnUser = 5;

class ReplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::FillTestForms(s);
    testing::PlaceOwn(s, vehicle::kKindRoad, kCar);
    s.Own.UserNo = kOwnUser;
    s.Start = s.Own;
    s.ReplayMode = kReplayRecording;
    s.NextFrameTime = 0;
  }

  // Records `frames` frames, one per 20 ms from the next frame time, with the
  // own vehicle at x = frame number (m) counted from `first`.
  void RecordFrames(int frames, int first = 0) {
    for (int i = 0; i < frames; ++i) {
      s.Own.X = first + i;
      RecordReplay(s, s.NextFrameTime);
    }
  }

  // Starts playback in `mode` with the play index on the head of frame `frame`
  // of an own-only recording.
  void PlayFrom(uint8_t mode, int frame) {
    s.ReplayMode = mode;
    s.PlayIndex = (s.ReplayStart + frame) % state::kReplayEntries;
    s.NextFrameTime = 1000000;
  }

  // One playback step at the next frame time; returns the shown own x.
  double ShowNext() {
    ReplayPlaybackStep(s, s.NextFrameTime);
    return s.Own.X;
  }

  // Frame number of the play index in an own-only recording.
  int PlayFrame() const {
    int d = s.PlayIndex - s.ReplayStart;
    return d < 0 ? d + state::kReplayEntries : d;
  }

  std::unique_ptr<state::TMainState> owner = std::make_unique<state::TMainState>();
  state::TMainState& s = *owner;
};

// ---------------------------------------------------------------- the entry

TEST(ReplayEntry, OwnAndCompanionBytesAreExact) {
  TVehicleState own;
  own.UserNo = 5;
  own.FormNo = 30;
  own.X = 100.5;  // + world offset 1000
  own.Y = -200.25;
  own.Z = -1.5;
  own.Heading = 270.5f;
  own.Pitch = -12.5f;
  own.Bank = 3;
  own.Flap = 20.4;
  own.VX = 12.34;
  own.VY = -7;
  own.VZ = 0.26;
  TReplayEntry e{};
  ASSERT_TRUE(StoreEntry(e, own, 1000, 0));
  StoreControls(e, {1.0, 25.0, 3.0, true});
  const TReplayEntry ownBytes = {0x05, 0x1E, 0x00, 0x90, 0x89, 0x44, 0x00, 0x40, 0x48, 0xC3,
                                 0x00, 0x00, 0xC0, 0xBF, 0x91, 0x0A, 0x83, 0xFF, 0x1E, 0x00,
                                 0x14, 0x64, 0x7B, 0x00, 0xBA, 0xFF, 0x03, 0x00, 0x84, 0xF6};
  EXPECT_EQ(e, ownBytes);
  EXPECT_EQ(e[29], 246);  // the brake

  // A companion leaves bytes 21, 28 and 29 as they were.
  TVehicleState other;
  other.UserNo = -7;
  other.FormNo = 12;
  other.X = -2048;
  other.Y = 0.125;
  other.Z = -300;
  other.Pitch = 90;
  other.Bank = -180;
  other.VX = -3276.8;  // the field's lowest value
  other.VY = 5000;     // beyond the field: clamped to 3276.7
  TReplayEntry c;
  c.fill(0xAA);
  ASSERT_TRUE(StoreEntry(c, other, 0, 0));
  const TReplayEntry companionBytes = {0xF9, 0x0C, 0x00, 0x00, 0x00, 0xC5, 0x00, 0x00, 0x00, 0x3E,
                                       0x00, 0x00, 0x96, 0xC3, 0x00, 0x00, 0x84, 0x03, 0xF8, 0xF8,
                                       0x00, 0xAA, 0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00, 0xAA, 0xAA};
  EXPECT_EQ(c, companionBytes);
}

TEST(ReplayEntry, RailSpeedLimitAndThrottleBytesAtTheirLimits) {
  struct Case {
    double limit;     // m/s
    double throttle;  // m/s²
    bool brake;
    double gear;
    uint8_t limitByte, throttleByte, gearByte;
  } cases[] = {
      {-8.25, 0, false, 0, 0, 0, 0},          // below the field: 0
      {-8, 0, false, 0, 0, 0, 0},             // the lowest limit the field holds
      {-7.75, 0.04, false, 0.004, 1, 0, 0},   // one step above; sub-step throttle and gear
      {55.5, 12.6, false, 0.5, 254, 126, 50},
      {55.75, 12.7, false, 1.0, 255, 127, 100},  // the highest of each field
      {56, 12.8, false, 1.27, 255, 127, 127},    // one step above: clamped
      {1e38, 1e10, false, 2.0, 255, 127, 127},   // no limit; a type without throttle maximum
      {10, -0.5, false, 0, 72, 0, 0},            // negative trim: no thrust, not the brake
      {10, 5, true, 1, 72, 246, 100},            // the brake wins over the throttle
  };
  for (const Case& c : cases) {
    TReplayEntry e{};
    StoreControls(e, {c.gear, c.limit, c.throttle, c.brake});
    EXPECT_EQ(e[28], c.limitByte) << c.limit;
    EXPECT_EQ(e[29], c.throttleByte) << c.throttle;
    EXPECT_EQ(e[21], c.gearByte) << c.gear;
    const TReplayControls back = RestoreControls(e);
    EXPECT_EQ(back.Brake, c.brake) << c.throttle;
    EXPECT_DOUBLE_EQ(back.RailSpeedLimit, c.limitByte / 4.0 - 8) << c.limit;
  }
}

TEST(ReplayEntry, ValuesThatDoNotFitAreSkippedOrClamped) {
  const double maxCoordinate = kMaxReplayCoordinate;
  const double justBeyond = std::nextafter(maxCoordinate, 2 * maxCoordinate);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* what;
    int32_t user, type;
    double x, z, vx, flap;
    bool stored;
    int32_t vxField, flapField;  // stored values when stored
  } cases[] = {
      {"plain", 5, 20, 0, 0, 0, 0, true, 0, 0},
      {"user 127", 127, 20, 0, 0, 0, 0, true, 0, 0},
      {"user 128", 128, 20, 0, 0, 0, 0, false, 0, 0},
      {"user -128", -128, 20, 0, 0, 0, 0, true, 0, 0},
      {"user -129", -129, 20, 0, 0, 0, 0, false, 0, 0},
      {"type 0", 5, 0, 0, 0, 0, 0, false, 0, 0},
      {"type 1", 5, 1, 0, 0, 0, 0, true, 0, 0},
      {"type 100", 5, 100, 0, 0, 0, 0, true, 0, 0},
      {"type 101", 5, 101, 0, 0, 0, 0, false, 0, 0},
      {"x at the limit", 5, 20, maxCoordinate, 0, 0, 0, true, 0, 0},
      {"x beyond", 5, 20, justBeyond, 0, 0, 0, false, 0, 0},
      {"x below -limit", 5, 20, -justBeyond, 0, 0, 0, false, 0, 0},
      {"z beyond", 5, 20, 0, justBeyond, 0, 0, false, 0, 0},
      {"x NaN", 5, 20, nan, 0, 0, 0, false, 0, 0},
      {"z infinite", 5, 20, 0, -inf, 0, 0, false, 0, 0},
      {"vx 3276.6", 5, 20, 0, 0, 3276.6, 0, true, 32766, 0},
      {"vx 3276.7", 5, 20, 0, 0, 3276.7, 0, true, 32767, 0},
      {"vx 3276.8", 5, 20, 0, 0, 3276.8, 0, true, 32767, 0},
      {"vx -3276.8", 5, 20, 0, 0, -3276.8, 0, true, -32768, 0},
      {"vx -3276.9", 5, 20, 0, 0, -3276.9, 0, true, -32768, 0},
      {"vx NaN", 5, 20, 0, 0, nan, 0, true, 0, 0},
      {"flap 127", 5, 20, 0, 0, 0, 127, true, 0, 127},
      {"flap 128", 5, 20, 0, 0, 0, 128, true, 0, 127},
      {"flap -129", 5, 20, 0, 0, 0, -129, true, 0, -128},
  };
  for (const Case& c : cases) {
    TVehicleState v;
    v.UserNo = c.user;
    v.FormNo = c.type;
    v.X = c.x;
    v.Z = c.z;
    v.VX = c.vx;
    v.Flap = c.flap;
    TReplayEntry e;
    e.fill(0x55);
    const TReplayEntry before = e;
    EXPECT_EQ(StoreEntry(e, v, 0, 0), c.stored) << c.what;
    if (!c.stored) {
      EXPECT_EQ(e, before) << c.what << ": a skipped vehicle writes nothing";
      continue;
    }
    TVehicleState back;
    RestoreEntry(e, back, 0);
    EXPECT_EQ(back.UserNo, c.user) << c.what;
    EXPECT_EQ(back.FormNo, c.type) << c.what;
    EXPECT_DOUBLE_EQ(back.VX, c.vxField / 10.0) << c.what;
    EXPECT_DOUBLE_EQ(back.Flap, c.flapField) << c.what;
    EXPECT_DOUBLE_EQ(back.X, c.x) << c.what;  // these coordinates are exact floats
  }
}

TEST(ReplayEntry, RestoreGivesAFreshRecord) {
  TVehicleState v;
  v.UserNo = 9;
  v.FormNo = 40;
  v.X = 1234.567;
  v.Y = -89.01;
  v.Z = -55.5;
  v.Heading = 359.96f;  // rounds to 3600, the field's top of the circle
  v.Pitch = -179.94f;
  v.Bank = 45.04f;
  v.VX = -33.33;
  v.VY = 0.04;
  v.VZ = 1.05;
  v.GroupNo = 3;
  v.PartnerNo = 8;
  v.TrackSegments = 0x00020001;
  v.Missed = 4;
  v.Steps = 7;
  TReplayEntry e{};
  ASSERT_TRUE(StoreEntry(e, v, 0, 0));
  TVehicleState back;
  RestoreEntry(e, back, 777);
  EXPECT_EQ(back.Kind, 4);  // type div 10
  EXPECT_EQ(back.FormNo, 40);
  EXPECT_EQ(back.UserNo, 9);
  EXPECT_NEAR(back.X, v.X, kPositionTol);
  EXPECT_NEAR(back.Y, v.Y, kPositionTol);
  EXPECT_NEAR(back.Z, v.Z, kPositionTol);
  EXPECT_NEAR(back.Heading, 360.0, kAngleTol);
  EXPECT_NEAR(back.Pitch, v.Pitch, kAngleTol);
  EXPECT_NEAR(back.Bank, v.Bank, kAngleTol);
  EXPECT_NEAR(back.VX, v.VX, kSpeedTol);
  EXPECT_NEAR(back.VY, v.VY, kSpeedTol);
  EXPECT_NEAR(back.VZ, v.VZ, kSpeedTol);
  EXPECT_EQ(back.Time, 777);
  EXPECT_EQ(back.GroupNo, 0);
  EXPECT_EQ(back.PartnerNo, 0);
  EXPECT_EQ(back.TrackSegments, 0u);
  EXPECT_EQ(back.Missed, 0);
  EXPECT_EQ(back.Steps, 0);
}

// ------------------------------------------------------------ recording

TEST_F(ReplayTest, TheOldestFrameGivesWayOnlyWhenTheRingIsFull) {
  struct Case {
    int frames;
    int32_t start, end;
    double oldestX;  // m: x of the frame at ring start
  } cases[] = {
      {5998, 0, 5998, 0},
      {5999, 0, 5999, 0},  // full: 5999 entries
      {6000, 1, 0, 1},     // frame 0 overwritten
      {6001, 2, 1, 2},
  };
  for (const Case& c : cases) {
    SetUp();
    s.ReplayStart = s.ReplayEnd = 0;
    RecordFrames(c.frames);
    EXPECT_EQ(s.ReplayStart, c.start) << c.frames;
    EXPECT_EQ(s.ReplayEnd, c.end) << c.frames;
    TVehicleState oldest;
    RestoreEntry(s.ReplayRing[static_cast<std::size_t>(s.ReplayStart)], oldest, 0);
    EXPECT_EQ(oldest.X, c.oldestX) << c.frames;
    EXPECT_EQ(ReplayEntryCount(s), std::min(c.frames, state::kReplayEntries - 1)) << c.frames;
  }
}

TEST_F(ReplayTest, RecordingRunsOneFramePer20MillisecondsUpToTheClock) {
  s.NextFrameTime = 1000;
  RecordReplay(s, 999);
  EXPECT_EQ(s.ReplayEnd, 0);  // not yet due
  RecordReplay(s, 1000);
  EXPECT_EQ(s.ReplayEnd, 1);
  EXPECT_EQ(s.NextFrameTime, 1020u);
  RecordReplay(s, 1079);  // frames at 1020, 1040 and 1060
  EXPECT_EQ(s.ReplayEnd, 4);
  EXPECT_EQ(s.NextFrameTime, 1080u);
}

TEST_F(ReplayTest, ALongStallRestartsRecordingAtTheClock) {
  struct Case {
    int32_t behind;  // ms the next frame time lies behind the clock
    int32_t frames;
  } cases[] = {
      {kReplayCatchUpLimit, kReplayCatchUpLimit / 20 + 1},  // caught up frame by frame
      {kReplayCatchUpLimit + 1, 1},                         // one frame at the clock
  };
  for (const Case& c : cases) {
    SetUp();
    s.ReplayStart = s.ReplayEnd = 0;
    const uint32_t now = 50000;
    s.NextFrameTime = now - static_cast<uint32_t>(c.behind);
    RecordReplay(s, now);
    EXPECT_EQ(s.ReplayEnd, c.frames) << c.behind;
    EXPECT_GT(state::ClockDiff(s.NextFrameTime, now), 0) << c.behind;
  }
}

TEST_F(ReplayTest, AFighterRecordsItsGroupAnAirlinerOnlyItsPartner) {
  struct Case {
    int32_t ownType;
    int32_t partner;
    std::vector<int32_t> recorded;  // user numbers after the head
  } cases[] = {
      {kFighterGearUp, 0, {11, 12}},      // aircraft and free body of group 2
      {kFighterGearUp + 1, 0, {11, 12}},  // the gear-down fighter too
      {kFighterGearUp, 14, {11, 12, 14}},  // and its partner
      {kAirlinerGearUp, 0, {}},             // normally none
      {kAirlinerGearUp, 14, {14}},
  };
  for (const Case& c : cases) {
    SetUp();
    s.ReplayStart = s.ReplayEnd = 0;
    s.Own.Kind = vehicle::kKindAircraft;
    s.Own.FormNo = c.ownType;
    s.Own.GroupNo = 2;
    s.Own.PartnerNo = c.partner;
    Vehicle(kFighterGearUp).User(11, 2).AsRemote(s, 0);
    Vehicle(kFreeBody).User(12, 2).AsRemote(s, 1);
    Vehicle(kFighterGearUp).User(13, 3).AsRemote(s, 2);  // another group
    Vehicle(kCar).User(14, 2).AsRemote(s, 3);            // not an aircraft
    RecordReplay(s, 0);
    std::vector<int32_t> recorded;
    for (int32_t i = 1; i < s.ReplayEnd; ++i) {
      recorded.push_back(EntryUserNo(s.ReplayRing[static_cast<std::size_t>(i)]));
    }
    EXPECT_EQ(EntryUserNo(s.ReplayRing[0]), kOwnUser) << c.ownType;
    EXPECT_EQ(recorded, c.recorded) << c.ownType << " partner " << c.partner;
  }
}

TEST_F(ReplayTest, RingStartStaysOnAHeadWhileFramesOfDifferentSizesWrap) {
  s.Own.Kind = vehicle::kKindAircraft;
  s.Own.FormNo = kFighterGearUp;
  s.Own.GroupNo = 1;
  for (int frame = 0; frame < 9000; ++frame) {
    // 0 to 3 companions, changing from frame to frame.
    const int companions = (frame * 7) % 4;
    s.Remote[0].UserNo = 0;
    for (int i = 0; i < companions; ++i) {
      Vehicle(kFighterGearUp).User(20 + i, 1).AsRemote(s, i);
    }
    RecordReplay(s, s.NextFrameTime);
    ASSERT_TRUE(IsHeadEntry(s, s.ReplayStart)) << frame;
    ASSERT_LE(ReplayEntryCount(s), state::kReplayEntries - 1) << frame;
  }
  // Nearly full: less than one frame's worth of entries is left unused.
  EXPECT_GE(ReplayEntryCount(s), state::kReplayEntries - 1 - 4);
}

TEST_F(ReplayTest, VehiclesThatCannotBeRecordedAreLeftOut) {
  // A companion with a user number beyond the field: the frame keeps its head.
  s.Own.Kind = vehicle::kKindAircraft;
  s.Own.FormNo = kFighterGearUp;
  Vehicle(kFighterGearUp).User(200).AsRemote(s, 0);
  Vehicle(kFighterGearUp).User(21).AsRemote(s, 1);
  RecordReplay(s, 0);
  ASSERT_EQ(s.ReplayEnd, 2);
  EXPECT_EQ(EntryUserNo(s.ReplayRing[1]), 21);

  // An own vehicle beyond the float's reach: no frame at all, and no
  // companion without its head; the clock of the next frame moves on.
  s.Own.X = 2 * kMaxReplayCoordinate;
  RecordReplay(s, 20);
  EXPECT_EQ(s.ReplayEnd, 2);
  EXPECT_EQ(s.NextFrameTime, 40u);
  // A world offset that brings it back in reach records again.
  s.OriginX = -kMaxReplayCoordinate;
  RecordReplay(s, 40);
  EXPECT_EQ(s.ReplayEnd, 4);
}

TEST_F(ReplayTest, TheHeadCarriesGearRailLimitAndThrottle) {
  s.Gear = 0.5;
  s.RailSpeedLimit = 20;
  s.Throttle = 4.5;
  s.Brake = 0;
  RecordReplay(s, 0);
  s.Brake = 1;
  RecordReplay(s, 20);
  EXPECT_EQ(s.ReplayRing[0][21], 50);
  EXPECT_EQ(s.ReplayRing[0][28], 112);  // (20 + 8) × 4
  EXPECT_EQ(s.ReplayRing[0][29], 45);
  EXPECT_EQ(s.ReplayRing[1][29], 246);
}

// ------------------------------------------------------------- playback

TEST_F(ReplayTest, PlaybackMovesByModeAndStopsAtTheRingsEnds) {
  struct Case {
    const char* what;
    uint8_t mode;
    int from;       // frame of the play index
    double shown;   // m: x of the frame shown by the first step
    int after;      // frame of the play index after it
  } cases[] = {
      {"play", kReplayPlay, 0, 0, 1},
      {"play holds the last frame", kReplayPlay, 99, 99, 99},
      {"pause", kReplayPause, 40, 40, 40},
      {"reverse", kReplayReverse, 40, 40, 39},
      {"reverse at ring start", kReplayReverse, 0, 0, 0},
      {"fast reverse", kReplayFastReverse, 40, 40, 8},
      {"fast reverse 32 frames from start", kReplayFastReverse, 32, 32, 0},
      {"fast reverse 10 frames from start", kReplayFastReverse, 10, 10, 0},
      {"fast play", kReplayFastPlay, 40, 40, 71},
      {"fast play 31 frames before the end", kReplayFastPlay, 68, 68, 99},
      {"fast play 10 frames before the end", kReplayFastPlay, 89, 89, 99},
      {"fast play at the last frame", kReplayFastPlay, 99, 99, 99},
  };
  for (const Case& c : cases) {
    SetUp();
    s.ReplayStart = s.ReplayEnd = 0;
    RecordFrames(100);
    PlayFrom(c.mode, c.from);
    EXPECT_EQ(ShowNext(), c.shown) << c.what;
    EXPECT_EQ(PlayFrame(), c.after) << c.what;
  }
}

TEST_F(ReplayTest, PlaybackAcrossTheRingsWrap) {
  RecordFrames(6100);  // ring start lies at index 101
  ASSERT_EQ(s.ReplayStart, 101);
  PlayFrom(kReplayFastReverse, 10);
  ShowNext();
  EXPECT_EQ(s.PlayIndex, s.ReplayStart);
  EXPECT_EQ(s.Own.X, 101 + 10);
  PlayFrom(kReplayPlay, 5998);  // the last frame, at index 99 before ring end
  EXPECT_EQ(ShowNext(), 6099);
  EXPECT_EQ(ShowNext(), 6099);
  EXPECT_EQ(s.PlayIndex, 99);
  PlayFrom(kReplayFastPlay, 5990);
  ShowNext();
  EXPECT_EQ(PlayFrame(), 5998);
}

TEST_F(ReplayTest, PlaybackRestoresTheHeadItsControlsAndTheCompanions) {
  s.Own.Kind = vehicle::kKindAircraft;
  s.Own.FormNo = kFighterGearUp;
  s.Own.GroupNo = 4;
  s.Gear = 1;
  s.RailSpeedLimit = 1e38;
  s.Throttle = 7.3;
  Vehicle(kFighterGearUp).User(31, 4).At(50, 0).AsRemote(s, 0);
  Vehicle(kFreeBody).User(32, 4).At(60, 0).AsRemote(s, 1);
  RecordReplay(s, 0);
  s.Remote[0].UserNo = 0;  // frame 2 without companions
  s.Brake = 1;
  RecordReplay(s, 20);

  Vehicle(kCar).User(90).AsRemote(s, 0);  // a live vehicle before playback
  Vehicle(kCar).User(91).AsRemote(s, 1);
  Vehicle(kCar).User(92).AsRemote(s, 2);
  s.Gear = s.Throttle = 0;
  PlayFrom(kReplayPlay, 0);
  ShowNext();
  EXPECT_EQ(s.Own.Kind, vehicle::kKindAircraft);
  EXPECT_EQ(s.Own.FormNo, kFighterGearUp);
  EXPECT_EQ(s.Gear, 1);
  EXPECT_EQ(s.RailSpeedLimit, 55.75);  // the field's top for "no limit"
  EXPECT_DOUBLE_EQ(s.Throttle, 7.3);
  EXPECT_EQ(s.Brake, 0);
  ASSERT_EQ(vehicle::RemoteCount(s.Remote), 2);
  EXPECT_EQ(s.Remote[0].UserNo, 31);
  EXPECT_EQ(s.Remote[0].X, 50);
  EXPECT_EQ(s.Remote[1].Kind, vehicle::kKindNoGravity);
  EXPECT_EQ(s.Remote[1].X, 60);
  EXPECT_EQ(s.PlayIndex, 3);

  ShowNext();  // the second frame: braking, no companions
  EXPECT_EQ(s.Brake, 1);
  EXPECT_EQ(s.Throttle, 0);
  EXPECT_EQ(vehicle::RemoteCount(s.Remote), 0);
}

TEST_F(ReplayTest, AnEmptyRingPlaysNothing) {
  s.Own.X = 123;
  PlayFrom(kReplayPlay, 0);
  ShowNext();
  EXPECT_EQ(s.Own.X, 123);
  EXPECT_EQ(s.PlayIndex, 0);
}

// ---------------------------------------------------------- the panel

TEST_F(ReplayTest, PlayingFromStopSetsThePanelsOfTheRecordedType) {
  s.Own.Kind = vehicle::kKindAircraft;
  s.Own.FormNo = kFighterGearUp;
  RecordFrames(10);
  // The run ends: own record of type 0, the panel shows.
  s.Own = TVehicleState{};
  s.Own.UserNo = kOwnUser;
  s.Start = s.Own;
  s.ReplayMode = kReplayStop;
  ResetRoutine(s, 0, false, 0);
  ASSERT_TRUE(s.Panels.Video);
  s.OriginX = 500;

  StringGridVideoClick(s, 2 + kReplayPlay, 5000);
  EXPECT_EQ(s.ReplayMode, kReplayPlay);
  EXPECT_EQ(s.VideoRowCount, state::kVideoRowsPlayback);
  EXPECT_EQ(s.NextFrameTime, 5000u);
  EXPECT_TRUE(s.Panels.PFD);  // the fighter's panels, without the map
  EXPECT_TRUE(s.Panels.Power);
  EXPECT_FALSE(s.Panels.Navi);
  EXPECT_TRUE(s.Panels.Video);
  EXPECT_EQ(s.OriginX, 0);
  EXPECT_TRUE(s.Requests.FocusChatInput);

  // From one speed to another the panels stay as they are.
  s.Panels.PFD = false;
  StringGridVideoClick(s, 2 + kReplayFastPlay, 5100);
  EXPECT_EQ(s.ReplayMode, kReplayFastPlay);
  EXPECT_FALSE(s.Panels.PFD);
  EXPECT_EQ(s.VideoRow, 2 + kReplayFastPlay);
}

TEST_F(ReplayTest, FourCameraClicksReturnToTheSameCamera) {
  RecordFrames(3);
  s.ReplayMode = kReplayStop;
  StringGridVideoClick(s, 2 + kReplayReverse, 0);
  s.Requests = {};
  s.CameraNo = 3;
  const std::vector<int32_t> expected = {4, 1, 2, 3};
  for (int32_t camera : expected) {
    s.VideoRow = kVideoCameraRow;  // the user selected the camera row
    StringGridVideoClick(s, kVideoCameraRow, 0);
    EXPECT_EQ(s.CameraNo, camera);
    EXPECT_EQ(s.VideoRow, 2 + kReplayReverse);  // back on the mode's row
    EXPECT_EQ(s.ReplayMode, kReplayReverse);
  }
  EXPECT_FALSE(s.Requests.FocusChatInput);  // the focus stays on the panel
}

TEST_F(ReplayTest, TheCameraRowExistsOnlyInPlayback) {
  s.ReplayMode = kReplayStop;
  s.CameraNo = 2;
  StringGridVideoClick(s, kVideoCameraRow, 0);
  EXPECT_EQ(s.CameraNo, 2);
  StringGridVideoClick(s, 1, 0);  // a caption row
  EXPECT_EQ(s.ReplayMode, kReplayStop);
  EXPECT_FALSE(s.Requests.FocusChatInput);
}

TEST_F(ReplayTest, StopAfterPlaybackPlacesTheStartStateAndClearsTheSynchronisedFlag) {
  s.Start.X = 42;  // a server mission's start
  RecordFrames(20, 1000);
  s.ReplayMode = kReplayStop;
  StringGridVideoClick(s, 2 + kReplayPlay, 0);
  ShowNext();
  ShowNext();
  ASSERT_EQ(s.Own.X, 1001);
  ASSERT_GT(vehicle::RemoteCount(s.Remote), -1);
  Vehicle(kCar).User(70).AsRemote(s, 0);  // as a played companion would be
  s.TimeSynchronised = 1;

  StringGridVideoClick(s, 2 + kReplayStop, 9000);
  EXPECT_EQ(s.ReplayMode, kReplayStop);
  EXPECT_EQ(s.Own.X, 42);
  EXPECT_EQ(s.Own.Kind, vehicle::kKindRoad);
  EXPECT_EQ(s.Own.Time, 9000);
  EXPECT_EQ(s.TimeSynchronised, 0);
  EXPECT_EQ(s.VideoRowCount, state::kVideoRowsLive);
  EXPECT_EQ(vehicle::RemoteCount(s.Remote), 0);
  EXPECT_FALSE(s.Panels.Video);  // placed again: a car's panels
  EXPECT_TRUE(s.Panels.Indicator);
}

// ------------------------------------------------- round trips and files

// A car accelerates and turns for 3 s under the real tick; the frames played
// back match the states recorded within the fields' resolutions.
TEST_F(ReplayTest, APlayedRunMatchesTheRecordedRun) {
  class NoHooks : public TTickHooks {} hooks;
  class Clock : public TClock {
   public:
    uint32_t Now = 0;
    uint32_t SystemMilliseconds() const override { return Now; }
  } clock;
  ResetRoutine(s, kCar, true, 0);
  s.ReplayMode = kReplayRecording;
  s.Own.Time = 0;
  s.Throttle = s.ThrottleMax;
  s.Brake = 0;
  s.Steer = 5;
  std::vector<TVehicleState> recorded;
  for (clock.Now = 0; clock.Now <= 3000; clock.Now += 20) {
    Tick(s, clock, {}, hooks);
    recorded.push_back(s.Own);
  }
  ASSERT_EQ(ReplayEntryCount(s), static_cast<int32_t>(recorded.size()));
  ASSERT_GT(recorded.back().VY, 5);  // it did move

  const auto playAndCompare = [&](const char* what) {
    s.Own = TVehicleState{};
    s.Own.UserNo = kOwnUser;
    s.Start = s.Own;
    s.ReplayMode = kReplayStop;
    StringGridVideoClick(s, 2 + kReplayPlay, clock.Now);
    for (const TVehicleState& want : recorded) {
      Tick(s, clock, {}, hooks);
      clock.Now += 20;
      EXPECT_NEAR(s.Own.X, want.X, kPositionTol) << what;
      EXPECT_NEAR(s.Own.Y, want.Y, kPositionTol) << what;
      EXPECT_NEAR(s.Own.Z, want.Z, kPositionTol) << what;
      EXPECT_NEAR(s.Own.Heading, want.Heading, kAngleTol) << what;
      EXPECT_NEAR(s.Own.VX, want.VX, kSpeedTol) << what;
      EXPECT_NEAR(s.Own.VY, want.VY, kSpeedTol) << what;
      EXPECT_EQ(s.Own.FormNo, kCar) << what;
    }
  };
  playAndCompare("played");

  // Saved, opened again and exported: the same frames.
  s.WorldNo = 1234;  // not the default world: the file carries it
  const TReplayRecording saved = RecordingOf(s);
  const auto path = testing::TestFilePath("run.vmreplay");
  ASSERT_EQ(SaveReplayFile(path.string(), saved), "");
  const TReplayLoadResult loaded = LoadReplayFile(path.string());
  ASSERT_TRUE(loaded.Recording) << loaded.Error;
  EXPECT_EQ(loaded.Recording->Entries, saved.Entries);
  EXPECT_EQ(loaded.Recording->WorldNo, 1234);

  auto opened = std::make_unique<state::TMainState>();
  testing::FillTestForms(*opened);
  OpenReplay(*opened, *loaded.Recording, clock.Now);
  EXPECT_EQ(opened->ReplayMode, kReplayPlay);
  EXPECT_TRUE(opened->Panels.Video);
  EXPECT_EQ(opened->VideoRowCount, state::kVideoRowsPlayback);
  EXPECT_EQ(opened->Own.UserNo, kOwnUser);
  EXPECT_EQ(RecordingOf(*opened).Entries, saved.Entries);
  EXPECT_EQ(RecordingOf(*opened).WorldNo, 1234);
  for (const TVehicleState& want : recorded) {
    ReplayPlaybackStep(*opened, opened->NextFrameTime);
    EXPECT_NEAR(opened->Own.X, want.X, kPositionTol);
    EXPECT_NEAR(opened->Own.Y, want.Y, kPositionTol);
  }

  // The CSV's own rows carry the same positions, one per frame.
  const std::string csv = ReplayCsv(*loaded.Recording);
  std::size_t line = csv.find('\n') + 1;
  for (std::size_t frame = 0; frame < recorded.size(); ++frame) {
    const std::size_t end = csv.find('\n', line);
    ASSERT_NE(end, std::string::npos);
    int index = 0, user = 0, type = 0, kind = 0;
    double time = 0, x = 0, y = 0;
    char role[16] = {};
    ASSERT_EQ(std::sscanf(csv.c_str() + line, "%d,%lf,%15[a-z],%d,%d,%d,%lf,%lf", &index, &time,
                          role, &user, &type, &kind, &x, &y),
              8);
    EXPECT_EQ(index, static_cast<int>(frame));
    EXPECT_NEAR(time, 0.02 * static_cast<double>(frame), 1e-9);
    EXPECT_STREQ(role, "own");
    EXPECT_EQ(type, kCar);
    EXPECT_NEAR(x, recorded[frame].X, kPositionTol);
    EXPECT_NEAR(y, recorded[frame].Y, kPositionTol);
    line = end + 1;
  }
  EXPECT_EQ(line, csv.size());
}

TEST_F(ReplayTest, SavingLogsWhereTheRunWentAndNeverOverwrites) {
  const std::string folder = (testing::TestFilePath("x").parent_path() / "data/velmora/replays").string();
  EXPECT_EQ(SaveReplay(s, folder, "run.vmreplay"), "");
  EXPECT_EQ(s.MessageLog.back(), "自分> 保存する録画がありません: まだ1コマも録画していません。");

  RecordFrames(50);
  const std::string first = SaveReplay(s, folder, "run.vmreplay");
  EXPECT_EQ(first, folder + "/run.vmreplay");  // the folder was made
  EXPECT_EQ(s.MessageLog.back(), "自分> 録画を保存しました: " + first);
  const std::string second = SaveReplay(s, folder, "run.vmreplay");
  EXPECT_EQ(second, folder + "/run-2.vmreplay");
  const TReplayLoadResult loaded = LoadReplayFile(second);
  ASSERT_TRUE(loaded.Recording) << loaded.Error;
  EXPECT_EQ(loaded.Recording->Entries.size(), 50u);

  // A folder that cannot be made: the reason is logged, nothing is claimed.
  const std::string blocked = first + "/sub";  // below a file
  EXPECT_EQ(SaveReplay(s, blocked, "run.vmreplay"), "");
  EXPECT_EQ(s.MessageLog.back().rfind("自分> 録画を保存できません: " + blocked, 0), 0u)
      << s.MessageLog.back();
  EXPECT_EQ(SaveReplay(s, "", "run.vmreplay"), "");
  EXPECT_EQ(s.MessageLog.back().rfind("自分> 録画を保存できません", 0), 0u);
}

TEST_F(ReplayTest, SavingNothingSaysWhyNothingWasRecorded) {
  const std::string folder = testing::TestFilePath("replays").string();
  struct Case {
    uint8_t Mode;
    int32_t Kind, User;
    double X;            // m
    const char* Logged;  // after "自分> "
  };
  const Case cases[] = {
      {kReplayStop, vehicle::kKindRoad, kOwnUser, 0,
       "保存する録画がありません: 録画は車両が配置されてから始まります。"},
      {kReplayStop, vehicle::kKindRoad, 128, 0,
       "保存する録画がありません: 利用者番号 128 は録画できる範囲 (-128..127) の外です。"},
      {kReplayRecording, vehicle::kKindNone, kOwnUser, 0,
       "保存する録画がありません: 車両に乗っていません。"},
      {kReplayRecording, vehicle::kKindRoad, 128, 0,
       "保存する録画がありません: 利用者番号 128 は録画できる範囲 (-128..127) の外です。"},
      {kReplayRecording, vehicle::kKindRoad, -129, 0,
       "保存する録画がありません: 利用者番号 -129 は録画できる範囲 (-128..127) の外です。"},
      {kReplayRecording, vehicle::kKindRoad, 127, 0, "録画を保存しました: "},
      {kReplayRecording, vehicle::kKindRoad, -128, 0, "録画を保存しました: "},
      {kReplayRecording, vehicle::kKindRoad, kOwnUser, 1048576.5,
       "保存する録画がありません: 車両の位置が録画できる範囲 (±1048576 m) の外です。"},
      {kReplayRecording, vehicle::kKindRoad, kOwnUser, 1048576, "録画を保存しました: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Logged);
    s.ReplayStart = s.ReplayEnd = 0;
    s.ReplayMode = c.Mode;
    s.Own.Kind = c.Kind;
    s.Own.UserNo = c.User;
    s.Own.X = c.X;
    // The tick records while the mode is recording and a vehicle is placed.
    const bool placed = c.Kind != vehicle::kKindNone;
    if (c.Mode == kReplayRecording && placed) RecordReplay(s, s.NextFrameTime);
    SaveReplay(s, folder, "run.vmreplay");
    EXPECT_EQ(s.MessageLog.back().rfind(std::string("自分> ") + c.Logged, 0), 0u)
        << s.MessageLog.back();
  }
}

TEST(ReplayFile, HeaderBytesAndSummary) {
  TReplayRecording r;
  r.WorldNo = -2;
  TReplayEntry head{};
  head[0] = 5;
  head[1] = 12;
  TReplayEntry companion{};
  companion[0] = 9;
  companion[1] = 40;
  r.Entries = {head, companion, head, head};
  const std::string bytes = SerializeReplay(r);
  ASSERT_EQ(bytes.size(), kReplayHeaderSize + 4 * 30);
  const std::string header("VMREPLAY\x01\0\0\0\xFE\xFF\xFF\xFF\x14\0\0\0\x04\0\0\0", 24);
  EXPECT_EQ(bytes.substr(0, 24), header);
  EXPECT_EQ(bytes.substr(24 + 30, 30), std::string(reinterpret_cast<const char*>(companion.data()), 30));

  const std::string summary = ReplaySummary(r);
  EXPECT_NE(summary.find("frames: 3\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("duration: 0.06 s"), std::string::npos) << summary;
  EXPECT_NE(summary.find("world: -2\n"), std::string::npos) << summary;
  EXPECT_NE(summary.find("own vehicle types: 12 (3 frames)"), std::string::npos) << summary;
  EXPECT_NE(summary.find("companions: 1\n  user 9: types 40 (1 frames)"), std::string::npos)
      << summary;

  const std::string csv = ReplayCsv(r);
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "frame,time_s,role,user,type,kind,x_m,y_m,z_m,alt_m,heading_deg,pitch_deg,bank_deg,"
            "flap_deg,vx_m_s,vy_m_s,vz_m_s,gear,rail_speed_limit_m_s,throttle_m_s2,brake");
  EXPECT_NE(csv.find("\n0,0.000,companion,9,40,4,0,0,0,0,0.0,0.0,0.0,0,0.0,0.0,0.0,,,,\n"),
            std::string::npos)
      << csv;
  EXPECT_NE(csv.find("\n2,0.040,own,5,12,1,0,0,0,0,0.0,0.0,0.0,0,0.0,0.0,0.0,0.00,,0.0,0\n"),
            std::string::npos)
      << csv;
}

TEST(ReplayFile, CsvGivesEachValueAtTheStepItsFieldStores) {
  // One own frame each: coordinates as the shortest decimal of their float,
  // the height up beside the stored z (down), angles and speeds in tenths,
  // and a rail speed limit for trains only.
  struct Case {
    int32_t Type;
    double X, Z;       // m
    float Heading;     // deg
    double VX;         // m/s
    double RailLimit;  // m/s
    const char* Row;
  };
  const Case cases[] = {
      {20, 0.1, -0.6, -0.6f, -0.6, 12.25,
       "0,0.000,own,5,20,2,0.1,0,-0.6,0.6,-0.6,0.0,0.0,0,-0.6,0.0,0.0,0.00,,0.0,0"},
      {30, 1048576, 2.5, 359.9f, 0, 12.25,
       "0,0.000,own,5,30,3,1048576,0,2.5,-2.5,359.9,0.0,0.0,0,0.0,0.0,0.0,0.00,12.25,0.0,0"},
      {39, -1048576, 0, 0, 0, 0,
       "0,0.000,own,5,39,3,-1048576,0,0,0,0.0,0.0,0.0,0,0.0,0.0,0.0,0.00,0.00,0.0,0"},
      {19, 1.0 / 3, -1000.125, 0, 0, 12.25,
       "0,0.000,own,5,19,1,0.33333334,0,-1000.125,1000.125,0.0,0.0,0.0,0,0.0,0.0,0.0,0.00,,0.0,0"},
  };
  for (const Case& c : cases) {
    TVehicleState v;
    v.UserNo = 5;
    v.FormNo = c.Type;
    v.Kind = c.Type / 10;
    v.X = c.X;
    v.Z = c.Z;
    v.Heading = c.Heading;
    v.VX = c.VX;
    TReplayRecording r;
    r.Entries.resize(1);
    ASSERT_TRUE(StoreEntry(r.Entries[0], v, 0, 0));
    StoreControls(r.Entries[0], {0, c.RailLimit, 0, false});
    const std::string csv = ReplayCsv(r);
    EXPECT_EQ(csv.substr(csv.find('\n') + 1), std::string(c.Row) + "\n");
  }
}

TEST(ReplayFile, BadFilesNameTheFileAndTheByte) {
  TReplayRecording r;
  TReplayEntry head{};
  head[0] = 5;
  head[1] = 20;
  r.Entries = {head, head};
  const std::string good = SerializeReplay(r);
  const auto patched = [&](std::size_t at, std::string bytes) {
    std::string b = good;
    b.replace(at, bytes.size(), bytes);
    return b;
  };
  const auto u32 = [](uint32_t v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
  };
  std::string companions = good.substr(0, 20) + u32(102) + good.substr(24, 30);
  TReplayEntry other = head;
  other[0] = 6;
  for (int i = 0; i < 101; ++i) companions.append(reinterpret_cast<const char*>(other.data()), 30);
  std::string hundred = good.substr(0, 20) + u32(101) + good.substr(24, 30);
  for (int i = 0; i < 100; ++i) hundred.append(reinterpret_cast<const char*>(other.data()), 30);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::string nanBytes(4, '\0');
  std::memcpy(nanBytes.data(), &nan, 4);

  struct Case {
    const char* what;
    std::string bytes;
    const char* error;  // empty: loads
  } cases[] = {
      {"good", good, ""},
      {"100 companions", hundred, ""},
      {"empty", "", "f.vmreplay: byte 0: the file ends inside the header"},
      {"magic cut", "VMREP", "f.vmreplay: byte 5: the file ends inside the header"},
      {"foreign", "PK\x03\x04 and so on, a zip file", "f.vmreplay: byte 0: not a Velmora replay"},
      {"header cut", good.substr(0, 23), "f.vmreplay: byte 23: the file ends inside the header"},
      {"version 2", patched(8, u32(2)), "f.vmreplay: byte 8: format version 2"},
      {"interval 10", patched(16, u32(10)), "f.vmreplay: byte 16: frame interval 10 ms"},
      {"no entries", patched(20, u32(0)).substr(0, 24), "f.vmreplay: byte 20: entry count 0"},
      {"count 6000", patched(20, u32(6000)), "f.vmreplay: byte 20: entry count 6000 is not 1..5999"},
      {"count huge", patched(20, u32(0xFFFFFFFF)), "f.vmreplay: byte 20: entry count 4294967295"},
      {"entry cut", good.substr(0, good.size() - 1),
       "f.vmreplay: byte 83: the file ends inside entry 1 of 2"},
      {"one entry short", good.substr(0, good.size() - 30),
       "f.vmreplay: byte 54: the file ends inside entry 1 of 2"},
      {"trailing byte", good + "x", "f.vmreplay: byte 84: 1 bytes follow the last entry"},
      {"user 0", patched(54, std::string(1, '\0')), "f.vmreplay: byte 54: entry 1: user number 0"},
      {"type 0", patched(25, std::string(1, '\0')), "f.vmreplay: byte 25: entry 0: vehicle type 0"},
      {"type 101", patched(55, "e"), "f.vmreplay: byte 55: entry 1: vehicle type 101"},
      {"type -1", patched(55, "\xFF"), "f.vmreplay: byte 55: entry 1: vehicle type -1"},
      {"NaN y", patched(24 + 6, nanBytes), "f.vmreplay: byte 30: entry 0: coordinate y"},
      {"z 2e6", patched(54 + 10, std::string("\x00\x24\xF4\x49", 4)),
       "f.vmreplay: byte 64: entry 1: coordinate z"},
      {"101 companions", companions, "f.vmreplay: byte 3054: entry 101: more than 100 companions"},
  };
  for (const Case& c : cases) {
    const TReplayLoadResult result = ParseReplay(c.bytes, "f.vmreplay");
    if (*c.error == '\0') {
      EXPECT_TRUE(result.Recording) << c.what << ": " << result.Error;
      continue;
    }
    EXPECT_FALSE(result.Recording) << c.what;
    EXPECT_EQ(result.Error.rfind(c.error, 0), 0u) << c.what << ": " << result.Error;
  }
}

TEST(ReplayFile, EveryTypeMustBeInTheInstallation) {
  state::TMainState s;
  testing::FillTestForms(s);
  TReplayRecording r;
  r.Entries.resize(3);
  for (auto& e : r.Entries) {
    e[0] = 5;
    e[1] = kCar;
  }
  EXPECT_EQ(CheckReplayForms(r, s.Forms, "f"), "");
  r.Entries[2][0] = 6;
  r.Entries[2][1] = 99;  // a companion of a type this installation lacks
  EXPECT_EQ(CheckReplayForms(r, s.Forms, "f"),
            "f: byte 85: entry 2: vehicle type 99 is not in vehicles.dat");
}

TEST(ReplayFile, DiskErrorsAndPlaces) {
  const TReplayLoadResult missing = LoadReplayFile("/nonexistent/velmora/run.vmreplay");
  EXPECT_FALSE(missing.Recording);
  EXPECT_EQ(missing.Error.rfind("/nonexistent/velmora/run.vmreplay: byte 0: cannot open", 0), 0u)
      << missing.Error;
  TReplayRecording r;
  r.Entries.resize(1);
  r.Entries[0][0] = 1;
  r.Entries[0][1] = 20;
  EXPECT_EQ(SaveReplayFile("/nonexistent/velmora/run.vmreplay", r),
            "/nonexistent/velmora/run.vmreplay: cannot write: the folder does not exist");
  // A folder given as the replay is named as one.
  const std::string folder = testing::TestFilePath("replays").string();
  std::filesystem::create_directories(folder);
  EXPECT_EQ(LoadReplayFile(folder).Error, folder + ": byte 0: is a directory, not a replay file");

  // A file far larger than any replay is read only up to one byte past the largest.
  const auto big = testing::WriteTestFile("big.vmreplay",
                                          SerializeReplay(r) + std::string(1 << 20, 'x'));
  const TReplayLoadResult tooBig = LoadReplayFile(big.string());
  EXPECT_NE(tooBig.Error.find(": byte 54: " + std::to_string(kMaxReplayFileSize + 1 - 54) +
                              " bytes follow"),
            std::string::npos)
      << tooBig.Error;

  struct Place {
    const char* xdg;
    const char* home;
    std::string folder;
  } places[] = {
      {"/data", "/home/u", "/data/velmora/replays"},
      {"", "/home/u", "/home/u/.local/share/velmora/replays"},
      {nullptr, "/home/u", "/home/u/.local/share/velmora/replays"},
      {"relative/dir", "/home/u", "/home/u/.local/share/velmora/replays"},
      {nullptr, nullptr, ""},
  };
  for (const Place& p : places) EXPECT_EQ(ReplayFolder(p.xdg, p.home), p.folder);
  EXPECT_EQ(ReplayFileName(2026, 12, 8, 9, 5, 7), "velmora-20261208-090507.vmreplay");
}

}  // namespace
}  // namespace velmora::app
