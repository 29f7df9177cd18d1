// Cost of railway following: one track point coupled on its known segment,
// the same point found by searching every segment, and a tick with 100
// remote trains on track.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/tick.h"
#include "physics/railway.h"
#include "tests/support/settable_clock.h"
#include "tests/support/test_vehicles.h"

namespace {

using namespace velmora;

constexpr int kLines = 20;            // parallel tracks, 100 m apart
constexpr int kSegmentsPerLine = 10;  // of 100 m each: 200 segments in all
constexpr int kTrainsPerLine = 5;

// 20 straight tracks running north, each its own track id, ten segments long.
std::unique_ptr<world::TWorld> Network() {
  auto w = std::make_unique<world::TWorld>();
  world::TTrackList& list = w->Track;
  for (int line = 0; line < kLines; ++line) {
    for (int k = 0; k < kSegmentsPerLine; ++k) {
      world::TTrackRecord& r = list.Slots[static_cast<std::size_t>(list.Count++)];
      r = world::TTrackRecord{};
      r.LineMask = -1;
      r.StartX = r.EndX = line * 100.0;
      r.StartY = k * 100.0;
      r.EndY = (k + 1) * 100.0;
      r.TrackId = line + 1;
      r.StopPosition = k == kSegmentsPerLine - 1 ? 50 : -1;
    }
  }
  list.Slots[static_cast<std::size_t>(list.Count)].CurveRadius = -1;
  world::BuildTrackConnections(list);
  return w;
}

vehicle::TVehicleState Train(int32_t userNo, double x, double y, double vy) {
  vehicle::TVehicleState v;
  v.Kind = vehicle::kKindTrain;
  v.FormNo = testing::kTrain;
  v.UserNo = userNo;
  v.GroupNo = 1;
  v.X = x;
  v.Y = y;
  v.VY = vy;
  return v;
}

// The common case: the point is still on the segment of its track word; the
// look-ahead runs along its track to the end (up to ten segments).
void BM_CoupleToTrackKnownSegment(benchmark::State& bench) {
  const auto w = Network();
  state::TMainState s;
  testing::FillTestForms(s);
  s.World = w.get();
  vehicle::TVehicleState& train = s.Remote[0];
  train = Train(5, 1000, 150, 20);
  train.TrackSegments = 0x00650065u;
  physics::TTrackCoupling result;
  for (auto _ : bench) {
    benchmark::DoNotOptimize(physics::CoupleToTrack(s, train, 1000, 150, 101, result));
  }
}
BENCHMARK(BM_CoupleToTrackKnownSegment);

// No track word: every one of the 200 segments is measured.
void BM_CoupleToTrackFullSearch(benchmark::State& bench) {
  const auto w = Network();
  state::TMainState s;
  testing::FillTestForms(s);
  s.World = w.get();
  vehicle::TVehicleState& train = s.Remote[0];
  train = Train(5, 1900, 150, 20);
  physics::TTrackCoupling result;
  for (auto _ : bench) {
    benchmark::DoNotOptimize(physics::CoupleToTrack(s, train, 1900, 150, 0, result));
  }
}
BENCHMARK(BM_CoupleToTrackFullSearch);

// One 10 ms tick: 100 remote trains at 20 m/s, five on each track, and the
// own train behind them, each coupled front and rear.
void BM_TickWithHundredRemoteTrains(benchmark::State& bench) {
  const auto w = Network();
  state::TMainState s;
  testing::FillTestForms(s);
  s.World = w.get();
  s.Own = Train(1, 0, 20, 10);
  s.Own.Z = s.Forms[testing::kTrain].RestZ;
  s.Start = s.Own;
  s.SendInterval = 1000000;
  s.ThrottleMax = 11.0 / 12.0;
  for (int i = 0; i < kLines * kTrainsPerLine; ++i) {
    vehicle::TVehicleState& r = s.Remote[static_cast<std::size_t>(i)];
    r = Train(10 + i, (i % kLines) * 100.0, 50 + (i / kLines) * 100.0 + (i % kLines == 0 ? 50 : 0),
              20);
    r.Z = s.Forms[testing::kTrain].RestZ;
  }
  testing::TSettableClock clock;
  app::TTickHooks hooks;
  app::TJoystickReading joystick;
  const state::TMainState start = s;
  const world::TTrackList startTrack = w->Track;
  int ticks = 0;
  for (auto _ : bench) {
    clock.Now += 10;
    app::Tick(s, clock, joystick, hooks);
    // Start over every 10 s so the trains stay on their tracks.
    if (++ticks == 1000) {
      bench.PauseTiming();
      s = start;
      w->Track = startTrack;
      clock.Now = 0;
      ticks = 0;
      bench.ResumeTiming();
    }
  }
}
BENCHMARK(BM_TickWithHundredRemoteTrains);

}  // namespace
