// Cost of the own vehicle's control step for the airliner: with the crew
// flying an approach on the autopilot, and the same aircraft without a crew.
#include <benchmark/benchmark.h>

#include <memory>

#include "pilot/control_step.h"
#include "pilot/crew.h"
#include "tests/support/test_vehicles.h"
#include "world/shapes.h"

namespace {

using namespace velmora;

constexpr double kDt = 0.01;          // s, one sub-step
constexpr int kStepsPerRun = 1000;    // 10 s of flight, then start over
constexpr int kUncrewedType = 15;     // a gear-down type with the airliner's values

// The gear-down airliner on a straight-in 20 km before a runway, 600 m up at
// 145 kt, in a server mission (no crash tests).
state::TMainState OnApproach(int32_t type) {
  state::TMainState s;
  testing::FillTestForms(s);
  s.Forms[kUncrewedType] = s.Forms[testing::kAirlinerGearDown];
  testing::PlaceOwn(s, vehicle::kKindAircraft, type);
  s.Own.Y = -20000;
  s.Own.Z = -605;
  s.Own.VY = 74.5;
  s.Own.Pitch = 3;
  s.Own.Flap = 25;
  s.FlapSet = s.FlapCommand = 25;
  s.Gear = s.GearSet = s.GearCommand = 1;
  s.BaseWindX = s.WindX = 3;
  s.BaseWindY = s.WindY = -5;
  s.ThrottleMax = 3.9;
  s.Throttle = 1.5;
  s.Start = s.Own;
  s.GuidanceMode = pilot::kModeFinal;
  return s;
}

void RunSteps(benchmark::State& bench, state::TMainState& s) {
  const state::TMainState start = s;
  int steps = 0;
  for (auto _ : bench) {
    pilot::ControlStep(s, 0, 0, kDt);
    benchmark::DoNotOptimize(s.Own);
    if (++steps == kStepsPerRun) {
      bench.PauseTiming();
      s.Own = start.Own;
      s.Throttle = start.Throttle;
      s.GuidanceMode = start.GuidanceMode;
      s.PitchRate = s.RollRate = 0;
      s.MessageLog.clear();
      steps = 0;
      bench.ResumeTiming();
    }
  }
}

void BM_ControlStepWithoutCrew(benchmark::State& bench) {
  auto s = std::make_unique<state::TMainState>(OnApproach(kUncrewedType));
  RunSteps(bench, *s);
}
BENCHMARK(BM_ControlStepWithoutCrew);

void BM_ControlStepWithCrewOnApproach(benchmark::State& bench) {
  auto s = std::make_unique<state::TMainState>(OnApproach(testing::kAirlinerGearDown));
  world::TWorld world;
  world::TRunwayInfo runway(0, 0, 0, 3000, 0, 45, 1000, 0, 0, "R", 0);
  world.Destinations[0] = &runway;
  world.DestinationCount = 1;
  s->World = &world;
  s->SelectedDestination = 0;
  RunSteps(bench, *s);
  s->World = nullptr;
}
BENCHMARK(BM_ControlStepWithCrewOnApproach);

}  // namespace
