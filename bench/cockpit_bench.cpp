// The per-frame work of the cockpit core: projecting points, the view-cone
// test, choosing the vehicles of a full room, a whole frame without the
// renderer's own cost, and the fighter's lock-on.
#include <benchmark/benchmark.h>

#include <memory>

#include "app/controls.h"
#include "cockpit/frame.h"
#include "cockpit/view_projection.h"
#include "tests/support/null_renderer.h"
#include "tests/support/recording_canvas.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"

namespace {

using namespace velmora;

using testing::NullRenderer;

// A full room: the own fighter and 100 fighters around it within 3 km.
std::unique_ptr<state::TMainState> FullRoom() {
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  testing::PlaceOwn(*s, vehicle::kKindAircraft, testing::kFighterGearUp);
  s->Own.Z = -1000;
  s->ThrottleMax = 10;
  for (int i = 0; i < 100; ++i) {
    vehicle::TVehicleState& r = s->Remote[static_cast<std::size_t>(i)];
    r.UserNo = i + 2;
    r.Kind = vehicle::kKindAircraft;
    r.FormNo = testing::kFighterGearUp;
    r.X = vehicle::SinDeg(i * 37.0) * (100 + 29 * i);
    r.Y = vehicle::CosDeg(i * 37.0) * (100 + 29 * i);
    r.Z = -1000 - i;
  }
  s->Remote[100].UserNo = 0;
  return s;
}

void BM_ProjectToView(benchmark::State& state) {
  vehicle::TVehicleState camera;
  camera.Heading = 30;
  camera.Pitch = 5;
  camera.Bank = 10;
  double d = 0;
  for (auto _ : state) {
    d += 0.001;
    benchmark::DoNotOptimize(cockpit::ProjectToView(camera, 100 + d, 1000, -50, 1017, 577));
  }
}
BENCHMARK(BM_ProjectToView);

void BM_InsideViewCone(benchmark::State& state) {
  vehicle::TVehicleState camera;
  camera.Heading = 30;
  double d = 0;
  for (auto _ : state) {
    d += 0.001;
    benchmark::DoNotOptimize(cockpit::InsideViewCone(camera, 26, 100 + d, 1000, -50));
  }
}
BENCHMARK(BM_InsideViewCone);

void BM_CollectVehiclesFullRoom(benchmark::State& state) {
  auto s = FullRoom();
  cockpit::PlaceCamera(*s);
  cockpit::TFrameContext context;
  for (auto _ : state) benchmark::DoNotOptimize(cockpit::CollectVehicles(*s, context));
}
BENCHMARK(BM_CollectVehiclesFullRoom);

void BM_DrawFrameFullRoom(benchmark::State& state) {
  auto s = FullRoom();
  NullRenderer renderer;
  testing::RecordingCanvas canvas;
  cockpit::TFrameContext context;
  context.Renderer = &renderer;
  context.View = &canvas;
  uint32_t now = 0;
  for (auto _ : state) {
    cockpit::DrawFrame(*s, context, now += 10);
    canvas.Calls.clear();
  }
}
BENCHMARK(BM_DrawFrameFullRoom);

void BM_LockOnFullRoom(benchmark::State& state) {
  auto s = FullRoom();
  s->Own.GroupNo = 1;
  s->Remote[99].GroupNo = 1;  // the only candidate is the last in the list
  testing::RecordingCanvas canvas;
  for (auto _ : state) {
    app::LockOnStep(*s, &canvas, 1017, 577, 1000);
    canvas.Calls.clear();
  }
}
BENCHMARK(BM_LockOnFullRoom);

}  // namespace
