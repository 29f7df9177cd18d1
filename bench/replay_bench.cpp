// Figures for the replay: one recorded frame and one played frame, as the
// tick runs them, and saving or loading a full ring, as Ctrl+S and --replay do.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "app/replay.h"
#include "app/replay_file.h"
#include "tests/support/test_vehicles.h"

namespace {

using namespace velmora;

// A fighter with four wingmen of its group.
std::unique_ptr<state::TMainState> FighterGroup() {
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  testing::PlaceOwn(*s, vehicle::kKindAircraft, testing::kFighterGearUp);
  s->Own.GroupNo = 1;
  for (int i = 0; i < 4; ++i) {
    vehicle::TVehicleState& r = s->Remote[static_cast<std::size_t>(i)];
    r.Kind = vehicle::kKindAircraft;
    r.FormNo = testing::kFighterGearUp;
    r.UserNo = 10 + i;
    r.GroupNo = 1;
    r.X = 100.0 * i;
  }
  s->ReplayMode = app::kReplayRecording;
  return s;
}

// A full ring of frames of five entries.
std::unique_ptr<state::TMainState> FullRing() {
  auto s = FighterGroup();
  for (int i = 0; i < 1300; ++i) {
    s->Own.X = i;
    app::RecordReplay(*s, s->NextFrameTime);
  }
  return s;
}

void BM_RecordFrameWithFourCompanions(benchmark::State& state) {
  auto s = FighterGroup();
  for (auto _ : state) {
    app::RecordReplay(*s, s->NextFrameTime);
    benchmark::DoNotOptimize(s->ReplayEnd);
  }
}
BENCHMARK(BM_RecordFrameWithFourCompanions);

void BM_PlayFrameWithFourCompanions(benchmark::State& state) {
  auto s = FullRing();
  app::StringGridVideoClick(*s, 2 + app::kReplayStop, 0);
  s->Own.UserNo = 1;
  app::StringGridVideoClick(*s, 2 + app::kReplayFastPlay, 0);
  for (auto _ : state) {
    if (s->PlayIndex == app::PreviousRingIndex(s->ReplayEnd) - 4) s->PlayIndex = s->ReplayStart;
    app::ReplayPlaybackStep(*s, s->NextFrameTime);
    benchmark::DoNotOptimize(s->Own.X);
  }
}
BENCHMARK(BM_PlayFrameWithFourCompanions);

void BM_SaveFullRing(benchmark::State& state) {
  auto s = FullRing();
  const std::string path = "/tmp/velmora-bench-" + std::to_string(getpid()) + ".vmreplay";
  for (auto _ : state) {
    benchmark::DoNotOptimize(app::SaveReplayFile(path, app::RecordingOf(*s)));
  }
  std::remove(path.c_str());
}
BENCHMARK(BM_SaveFullRing)->Unit(benchmark::kMicrosecond);

void BM_ParseFullRing(benchmark::State& state) {
  auto s = FullRing();
  const std::string bytes = app::SerializeReplay(app::RecordingOf(*s));
  for (auto _ : state) benchmark::DoNotOptimize(app::ParseReplay(bytes, "bench"));
}
BENCHMARK(BM_ParseFullRing)->Unit(benchmark::kMicrosecond);

}  // namespace
