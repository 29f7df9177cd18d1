// Figures for the helpers every tick and every received line go through.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "net/field_reader.h"
#include "net/text_encoding.h"
#include "vehicle/renderer_api.h"
#include "tests/support/null_renderer.h"
#include "vehicle/geometry.h"
#include "vehicle/vehicles_dat.h"

namespace {

using namespace velmora;

// A code-40 vehicle record as the server sends it.
const std::string kRecord =
    "1234;0;1;10;123456789;-98765432;-12000;9000;250;-1500;2500;6000;-3000;120;40;";

void BM_ReadPositionRecord(benchmark::State& state) {
  for (auto _ : state) {
    net::FieldReader reader(kRecord);
    int32_t sum = 0;
    for (int i = 0; i < 4; ++i) sum += reader.ReadInteger().value_or(0);
    double position = 0;
    for (int i = 0; i < 3; ++i) position += reader.ReadFloat().value_or(0);
    for (int i = 0; i < 8; ++i) sum += reader.ReadInteger().value_or(0);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(position);
  }
}
BENCHMARK(BM_ReadPositionRecord);

void BM_Cp932ToUtf8Line(benchmark::State& state) {
  const std::string line = net::Utf8ToCp932("52566771;20;教官> 滑走路34へ進入してください\t了解\t\n").Text;
  for (auto _ : state) benchmark::DoNotOptimize(net::Cp932ToUtf8(line));
}
BENCHMARK(BM_Cp932ToUtf8Line);

void BM_WorldToBodyAndBack(benchmark::State& state) {
  vehicle::TVehicleState v;
  v.Heading = 123.4f;
  v.Pitch = 5.6f;
  v.Bank = -7.8f;
  double x = 1;
  for (auto _ : state) {
    const vehicle::TBodyVector b = vehicle::WorldToBody(v, x, 2, 3);
    const vehicle::TWorldVector w = vehicle::BodyToWorld(v, b.Right, b.Up, b.Forward);
    x = w.X;
    benchmark::DoNotOptimize(x);
  }
}
BENCHMARK(BM_WorldToBodyAndBack);

void BM_FixedGridAdd(benchmark::State& state) {
  double position = 1234.5;
  for (auto _ : state) {
    position = vehicle::FixedGridAdd(position, 0.0123);
    if (position > 40000) position = -40000;
    benchmark::DoNotOptimize(position);
  }
}
BENCHMARK(BM_FixedGridAdd);

using testing::NullRenderer;

void BM_LoadHundredVehicleTypes(benchmark::State& state) {
  std::vector<std::string> lines;
  for (int n = 1; n <= 100; ++n) {
    lines.push_back(std::to_string(n) + ";-2500;20000;0;3000;25000;30000;25;5000;-3000;旅客機\tairliner");
  }
  NullRenderer renderer;
  for (auto _ : state) {
    vehicle::TFormTable table;
    benchmark::DoNotOptimize(vehicle::LoadVehicleLines(lines, "vehicles.dat", table, renderer));
  }
}
BENCHMARK(BM_LoadHundredVehicleTypes);

}  // namespace
