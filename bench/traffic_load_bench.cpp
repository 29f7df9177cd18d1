// The game server process under N light protocol clients, as a crowd of
// traffic would load it: every client logs in, takes the race, sends its state
// every 50 ms and reads every round. The clients are scripted protocol
// clients, not full traffic clients: this machine cannot run hundreds of
// simulations at once, and the server sees the same messages either way.
//
// Reports per N: the server's CPU time per 50 ms round (from /proc), the delay
// from one client's state message to its record at another client (mean,
// p99; it includes the wait for the next round), the bytes of the position
// line each client gets per round, and the server's resident memory. The
// program named by VELMORA_SERVER_EXE in the environment stands in for the
// one built beside the benchmark, so that two builds can be compared.
#include <cstdlib>

#include "bench/crowd.h"

namespace {

void BM_ServerUnderTraffic(benchmark::State& state) {
  const int clients = static_cast<int>(state.range(0));
  // VELMORA_SERVER_EXE in the environment names another server program, so
  // that two builds can be measured in one run.
  const char* other = std::getenv("VELMORA_SERVER_EXE");
  velmora::bench::MeasureCrowd(
      state, {other != nullptr && *other != '\0' ? other : VELMORA_SERVER_EXE,
              clients,
              "AI-",
              velmora::testing::milliseconds(3000),
              {"--max-per-address", "0", "--max-users", std::to_string(clients)}});
}
BENCHMARK(BM_ServerUnderTraffic)
    ->Arg(25)
    ->Arg(50)
    ->Arg(100)
    ->Arg(200)
    ->Arg(400)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
