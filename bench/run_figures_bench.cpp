// Cost of the run's figures after one control step, for each vehicle kind in
// the state where the update does the most: an aircraft rolling out with its
// touchdown open, a train approaching a stop mark, a car near the start line.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/run_figures.h"
#include "tests/support/test_vehicles.h"

namespace {

using namespace velmora;

// A world with two runways and a race course, as the figures look them up.
struct TBenchWorld {
  TBenchWorld() {
    runway36 = std::make_unique<world::TRunwayInfo>(0.0f, -1500.0f, 0.0f, 1500.0f, 0.0f, 45.0f,
                                                    6000.0f, 0.0f, 0, "RWY36", 0u);
    runway03 = std::make_unique<world::TRunwayInfo>(800.0f, -1200.0f, 1800.0f, 532.1f, 0.0f, 30.0f,
                                                    4000.0f, 0.0f, 0, "RWY03", 0u);
    race = std::make_unique<world::TRaceCrsInfo>(6000.0f, -400.0f, 6000.0f, 400.0f, 0.0f, 20.0f,
                                                 100.0, 0);
    world.Destinations[0] = runway36.get();
    world.Destinations[1] = runway03.get();
    world.DestinationCount = 2;
    world.RaceStartLine = race.get();
  }
  std::unique_ptr<world::TRunwayInfo> runway36, runway03;
  std::unique_ptr<world::TRaceCrsInfo> race;
  world::TWorld world;
};

void Run(benchmark::State& bench, state::TMainState& s) {
  app::UpdateRunFigures(s, nullptr, 0);  // the run starts
  for (auto _ : bench) {
    s.Own.X += s.Own.VX * 0.01;
    s.Own.Y += s.Own.VY * 0.01;
    s.Own.Time += 10;
    app::UpdateRunFigures(s, nullptr, 0.01);
    benchmark::DoNotOptimize(s.Figures);
  }
}

void BM_RunFiguresAircraftRollOut(benchmark::State& bench) {
  TBenchWorld w;
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  s->World = &w.world;
  testing::PlaceOwn(*s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
  s->Own.Y = -1000;
  s->Own.Z = s->Forms[testing::kAirlinerGearDown].RestZ - 0.01;
  s->Own.VY = 70;
  s->Own.VZ = 1;
  app::UpdateRunFigures(*s, nullptr, 0);
  s->Own.Z = s->Forms[testing::kAirlinerGearDown].RestZ;  // the contact: the touchdown opens
  s->Own.VZ = 0;
  s->Own.VY = 20;  // above the roll-out's end: the touchdown stays open
  Run(bench, *s);
}
BENCHMARK(BM_RunFiguresAircraftRollOut);

void BM_RunFiguresTrainApproachingStop(benchmark::State& bench) {
  TBenchWorld w;
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  s->World = &w.world;
  testing::PlaceOwn(*s, vehicle::kKindTrain, testing::kTrain);
  s->Own.VY = 10;
  s->StopDistance = 300;
  s->RailSpeedLimit = 12;
  Run(bench, *s);
}
BENCHMARK(BM_RunFiguresTrainApproachingStop);

void BM_RunFiguresCarNearStartLine(benchmark::State& bench) {
  TBenchWorld w;
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  s->World = &w.world;
  testing::PlaceOwn(*s, vehicle::kKindRoad, testing::kCar);
  s->Own.X = 6000;
  s->Own.Y = -310;
  s->Own.VY = 1e-6;
  Run(bench, *s);
}
BENCHMARK(BM_RunFiguresCarNearStartLine);

}  // namespace
