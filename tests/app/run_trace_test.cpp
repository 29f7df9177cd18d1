// The run's trace: its 4 Hz sampling and thinning law, the events it notes
// from the run's figures, and its bytes in the logbook.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "app/run_trace.h"
#include "vehicle/vehicle_state.h"

namespace velmora::app {
namespace {

std::vector<uint32_t> TimesOf(const std::vector<TTraceSample>& samples) {
  std::vector<uint32_t> times;
  for (const TTraceSample& x : samples) times.push_back(x.Time);
  return times;
}

// Offers a sample at each time (ms) and returns the times kept.
std::vector<uint32_t> Sampled(const std::vector<uint32_t>& offered) {
  TTraceSampler sampler;
  sampler.Start(vehicle::kKindAircraft);
  for (uint32_t t : offered) {
    TTraceSample x;
    x.Time = t;
    sampler.Offer(x);
  }
  return TimesOf(sampler.Trace().Samples);
}

TEST(RunTraceTest, SamplesOnEveryQuarterSecondStepReached) {
  const struct {
    std::vector<uint32_t> Offered, Kept;
  } rows[] = {
      {{0, 10, 249, 250, 260}, {0, 250}},       // the step's bound on both sides
      {{0, 251, 499, 500}, {0, 251, 500}},      // a late sample keeps the grid
      {{40, 240, 260}, {40, 260}},              // a run whose first tick is late
      {{0, 1700, 1740, 1750}, {0, 1700, 1750}}, // after a gap, once, then the grid again
  };
  for (const auto& row : rows) EXPECT_EQ(Sampled(row.Offered), row.Kept);
}

TEST(RunTraceTest, BeyondAnHourTheOldestHalfIsThinned) {
  const std::size_t n = kTraceSamples;
  std::vector<uint32_t> hour;
  for (std::size_t i = 0; i <= 3 * n; ++i) hour.push_back(static_cast<uint32_t>(i * kTraceInterval));

  // An hour exactly: every sample.
  std::vector<uint32_t> full(hour.begin(), hour.begin() + static_cast<std::ptrdiff_t>(n));
  EXPECT_EQ(Sampled(full), full);

  // One more: every second of the oldest half, the newer half whole, then it.
  std::vector<uint32_t> more(hour.begin(), hour.begin() + static_cast<std::ptrdiff_t>(n + 1));
  const std::vector<uint32_t> kept = Sampled(more);
  ASSERT_EQ(kept.size(), n / 4 + n / 2 + 1);
  EXPECT_EQ(kept[0], 0u);
  EXPECT_EQ(kept[1], 2 * kTraceInterval);
  EXPECT_EQ(kept[n / 4 - 1], (n / 2 - 2) * kTraceInterval);
  EXPECT_EQ(kept[n / 4], n / 2 * kTraceInterval);
  EXPECT_EQ(kept.back(), n * kTraceInterval);

  // Three hours never hold more than an hour's samples, from the start to the end.
  const std::vector<uint32_t> long_ = Sampled(hour);
  EXPECT_LE(long_.size(), n);
  EXPECT_EQ(long_.front(), 0u);
  EXPECT_EQ(long_.back(), hour.back());
}

TEST(RunTraceTest, KeepsEventsUpToItsBound) {
  TTraceSampler sampler;
  sampler.Start(vehicle::kKindTrain);
  for (std::size_t i = 0; i <= kTraceEvents; ++i) {
    TTraceEvent e;
    e.Kind = TTraceEventKind::Protection;
    e.Time = static_cast<uint32_t>(i);
    sampler.AddEvent(e);
  }
  ASSERT_EQ(sampler.Trace().Events.size(), kTraceEvents);
  EXPECT_EQ(sampler.Trace().Events.back().Time, kTraceEvents - 1);
}

// A full hour of a train's samples, each value away from its step.
TRunTrace HourOfTrain() {
  TRunTrace t;
  t.Kind = vehicle::kKindTrain;
  t.Runway = {true, 1000.5, -2000.25, 175.5, 2500, 45};
  for (std::size_t i = 0; i < kTraceSamples; ++i) {
    TTraceSample x;
    x.Time = static_cast<uint32_t>(i * kTraceInterval);
    x.X = 52000.3 + static_cast<double>(i) * 3.7;
    x.Y = -1800.1 - static_cast<double>(i) * 1.3;
    x.Height = 120.25;
    x.Airspeed = 70.123;
    x.GroundSpeed = 69.987;
    x.SinkRate = -3.456;
    x.Pitch = 2.345;
    x.Bank = -17.891;
    x.Power = 0.456;
    x.Brake = static_cast<int32_t>(i % 3);
    x.Flaps = 22.4;
    x.Gear = 0.5;
    x.SpeedLimit = i % 2 == 0 ? 12.5 : kNoTraceValue;
    x.StopDistance = i % 2 == 0 ? 812.5 : kNoTraceValue;
    t.Samples.push_back(x);
  }
  t.Events.push_back({TTraceEventKind::Stop, 4000, 52100.5, -1830.25, 0.25});
  return t;
}

TEST(RunTraceTest, AnHourReadsBackWithinItsStepsInAtMostAMegabyte) {
  const TRunTrace t = HourOfTrain();
  const std::string bytes = EncodeTrace(t);
  EXPECT_LE(bytes.size(), 1000000u);

  TRunTrace back;
  ASSERT_EQ(DecodeTrace(bytes, back), std::nullopt);
  constexpr double kPositionTol = 0.01;  // m: a float offset from the first sample, 10 km out
  constexpr double kSpeedTol = 0.01;     // m/s: half the stored step of 0.02 m/s
  constexpr double kAngleTol = 0.005;    // deg: half the step of 0.01°
  EXPECT_EQ(back.Kind, t.Kind);
  EXPECT_TRUE(back.Runway.Known);
  EXPECT_DOUBLE_EQ(back.Runway.ThresholdX, t.Runway.ThresholdX);
  ASSERT_EQ(back.Samples.size(), t.Samples.size());
  for (std::size_t i : {std::size_t{0}, std::size_t{1}, kTraceSamples - 1}) {
    const TTraceSample &a = t.Samples[i], &b = back.Samples[i];
    EXPECT_EQ(b.Time, a.Time);
    EXPECT_NEAR(b.X, a.X, kPositionTol);
    EXPECT_NEAR(b.Y, a.Y, kPositionTol);
    EXPECT_NEAR(b.GroundSpeed, a.GroundSpeed, kSpeedTol);
    EXPECT_NEAR(b.SinkRate, a.SinkRate, kSpeedTol);
    EXPECT_NEAR(b.Bank, a.Bank, kAngleTol);
    EXPECT_EQ(b.Brake, a.Brake);
    EXPECT_EQ(std::isnan(b.SpeedLimit), std::isnan(a.SpeedLimit));
    EXPECT_EQ(std::isnan(b.StopDistance), std::isnan(a.StopDistance));
  }
  ASSERT_EQ(back.Events.size(), 1u);
  EXPECT_EQ(back.Events[0].Kind, TTraceEventKind::Stop);
  EXPECT_NEAR(back.Events[0].X, 52100.5, kPositionTol);
}

TEST(RunTraceTest, RefusesDamagedBytesNamingWhere) {
  TRunTrace t = HourOfTrain();
  t.Samples.resize(3);
  const std::string good = EncodeTrace(t);
  constexpr std::size_t kHeader = 65, kSample = 36;
  const auto with = [&](std::size_t at, char byte) {
    std::string bytes = good;
    bytes[at] = byte;
    return bytes;
  };
  const struct {
    std::string Bytes;
    const char* Offset;
  } rows[] = {
      {good.substr(0, kHeader - 1), "（64 バイト目"},                    // shorter than a header
      {with(0, 'X'), "（0 バイト目"},                                    // not a trace
      {good.substr(0, good.size() - 1), "（57 バイト目"},                // counts and length disagree
      {good + std::string(17, '\0'), "（57 バイト目"},                   // one event too many
      {with(kHeader + kSample + 3, '\x7f'), "（137 バイト目"},           // time runs back
      {with(kHeader + 3 * kSample, '\x09'), "（173 バイト目"},           // unknown event kind
  };
  for (const auto& row : rows) {
    TRunTrace back;
    const std::optional<std::string> fault = DecodeTrace(row.Bytes, back);
    ASSERT_TRUE(fault.has_value()) << row.Offset;
    EXPECT_NE(fault->find(row.Offset), std::string::npos) << *fault;
  }
}

// The recorder watches the run's figures as the tick leaves them: an event
// once when it appears, the protection once per application, and the trace
// handed over once, for the run that ended.
TEST(RunTraceTest, NotesTheRunsEventsAndHandsOverItsTraceWhenItEnds) {
  auto s = std::make_unique<state::TMainState>();
  s->Own.Kind = vehicle::kKindTrain;
  state::TRunFigures& f = s->Figures;
  f.Active = true;
  f.Run.Kind = vehicle::kKindTrain;
  f.Run.StartClock = 5000;
  TTraceRecorder recorder;
  const auto tick = [&](uint32_t clock) {
    s->Own.Time = static_cast<int32_t>(clock);
    recorder.AfterTick(*s);
  };
  s->RailSpeedLimit = 12.5;
  tick(5000);
  s->RailSpeedLimit = 1e38;  // no limit
  tick(5010);
  f.LastProtection = true;
  tick(6000);
  tick(6010);
  f.LastProtection = false;
  tick(6500);
  f.LastProtection = true;
  tick(6600);
  f.Run.Events[0].Kind = state::TRunEventKind::TrainStop;
  f.Run.Events[0].At = 2.0;
  f.Run.EventCount = 1;
  tick(7000);
  f.StartLineCrossings = 1;
  f.LastCrossingClock = 7100;
  tick(7200);
  f.Active = false;
  f.Finished = f.Run;
  tick(7300);

  EXPECT_FALSE(recorder.TakeFinished(4000).has_value()) << "another run's";
  const std::optional<TRunTrace> trace = recorder.TakeFinished(5000);
  ASSERT_TRUE(trace.has_value());
  EXPECT_FALSE(recorder.TakeFinished(5000).has_value()) << "handed over once";
  EXPECT_EQ(TimesOf(trace->Samples), (std::vector<uint32_t>{0, 1000, 1500, 2000}));
  EXPECT_EQ(trace->Samples[0].SpeedLimit, 12.5);
  EXPECT_TRUE(std::isnan(trace->Samples[1].SpeedLimit));
  const struct {
    TTraceEventKind Kind;
    uint32_t Time;
  } expected[] = {{TTraceEventKind::Protection, 1000},
                  {TTraceEventKind::Protection, 1600},
                  {TTraceEventKind::Stop, 2000},
                  {TTraceEventKind::StartLine, 2100}};
  ASSERT_EQ(trace->Events.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(trace->Events[i].Kind, expected[i].Kind) << i;
    EXPECT_EQ(trace->Events[i].Time, expected[i].Time) << i;
  }
}

}  // namespace
}  // namespace velmora::app
