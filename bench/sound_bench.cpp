// The sound scene's update per tick: the own airliner with all its voices,
// and remote vehicles around it, of which the 16 nearest are heard.
#include <benchmark/benchmark.h>

#include <memory>

#include "cockpit/sound_scene.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"

namespace {

using namespace velmora;

// The own airliner rolling on the runway, flaps moving, with `remotes`
// vehicles of every kind around it within 3 km.
std::unique_ptr<state::TMainState> Scene(int remotes) {
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  s->Own.Kind = vehicle::kKindAircraft;
  s->Own.FormNo = testing::kAirlinerGearDown;
  s->Own.UserNo = 1;
  s->Own.Z = s->Forms[testing::kAirlinerGearDown].RestZ;
  s->Own.VY = 60;
  s->ThrottleMax = 10;
  s->Throttle = 8;
  s->FlapSet = 10;
  constexpr int kForms[] = {testing::kAirlinerGearUp, testing::kFighterGearUp,
                            testing::kLightAircraft, testing::kCar, testing::kTrain};
  constexpr int kKinds[] = {vehicle::kKindAircraft, vehicle::kKindAircraft, vehicle::kKindAircraft,
                            vehicle::kKindRoad, vehicle::kKindTrain};
  for (int i = 0; i < remotes; ++i) {
    vehicle::TVehicleState& r = s->Remote[static_cast<std::size_t>(i)];
    r.UserNo = i + 2;
    r.Kind = kKinds[i % 5];
    r.FormNo = kForms[i % 5];
    r.X = vehicle::SinDeg(i * 37.0) * (100 + 25 * i);
    r.Y = vehicle::CosDeg(i * 37.0) * (100 + 25 * i);
    r.Z = -100.0 * (i % 3);
    r.VX = 50;
  }
  s->Remote[static_cast<std::size_t>(remotes)].UserNo = 0;
  return s;
}

void UpdateScene(benchmark::State& bench) {
  const auto s = Scene(static_cast<int>(bench.range(0)));
  cockpit::sound::TSoundScene scene;
  uint32_t now = 0;
  for (auto _ : bench) {
    now += 10;
    // A call every tick: the cue path too.
    s->Cues.Push(state::TCueKind::Callout, state::TCall::Gpws100);
    cockpit::sound::UpdateScene(*s, now, scene);
    benchmark::DoNotOptimize(scene.Count);
  }
}
BENCHMARK(UpdateScene)->Arg(16)->Arg(100);

}  // namespace
