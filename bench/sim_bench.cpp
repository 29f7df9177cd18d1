// Cost of the physics step and of one simulation tick with a full remote list.
#include <benchmark/benchmark.h>

#include "app/tick.h"
#include "physics/step_vehicle.h"
#include "tests/support/settable_clock.h"
#include "tests/support/test_vehicles.h"

namespace {

using namespace velmora;

void BM_StepVehicleAircraftInFlight(benchmark::State& bench) {
  state::TMainState s;
  testing::FillTestForms(s);
  vehicle::TVehicleState& v = s.Remote[0];
  v.Kind = vehicle::kKindAircraft;
  v.FormNo = testing::kFighterGearUp;
  v.Z = -3000;
  v.VY = 200;
  v.Bank = 30;
  v.UserNo = 2;
  const vehicle::TVehicleState start = v;
  for (auto _ : bench) {
    v = start;  // every call steps the same state: 104 bytes copied
    physics::StepVehicle(s, v, 0.01, 0, 5);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_StepVehicleAircraftInFlight);

void BM_StepVehicleRoadVehicle(benchmark::State& bench) {
  state::TMainState s;
  testing::FillTestForms(s);
  vehicle::TVehicleState& v = s.Remote[0];
  v.Kind = vehicle::kKindRoad;
  v.FormNo = testing::kCar;
  v.Z = s.Forms[testing::kCar].RestZ;
  v.VY = 20;
  v.UserNo = 2;
  const vehicle::TVehicleState start = v;
  for (auto _ : bench) {
    v = start;
    physics::StepVehicle(s, v, 0.01, 0, 3);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_StepVehicleRoadVehicle);

// One 10 ms tick: 100 remote aircraft and the own airliner each advance 10 ms.
void BM_TickWithHundredRemoteAircraft(benchmark::State& bench) {
  state::TMainState s;
  testing::FillTestForms(s);
  testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kAirlinerGearUp);
  s.Own.Z = -1000;
  s.Own.VY = 120;
  s.Start = s.Own;
  s.SendInterval = 1000000;
  for (int i = 0; i < 100; ++i) {
    vehicle::TVehicleState& r = s.Remote[static_cast<std::size_t>(i)];
    r.Kind = vehicle::kKindAircraft;
    r.FormNo = i % 2 ? testing::kFighterGearUp : testing::kAirlinerGearUp;
    r.UserNo = 10 + i;
    r.X = i * 100.0;
    r.Z = -2000;
    r.VY = 150;
    r.Bank = static_cast<float>(i % 40 - 20);
  }
  testing::TSettableClock clock;
  app::TTickHooks hooks;
  app::TJoystickReading joystick;
  const state::TMainState start = s;
  int ticks = 0;
  for (auto _ : bench) {
    clock.Now += 10;
    app::Tick(s, clock, joystick, hooks);
    // Start over every 10 s of flight so the scene stays the same.
    if (++ticks == 1000) {
      bench.PauseTiming();
      s = start;
      clock.Now = 0;
      ticks = 0;
      bench.ResumeTiming();
    }
  }
}
BENCHMARK(BM_TickWithHundredRemoteAircraft);

}  // namespace
