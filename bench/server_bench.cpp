// The game server with 100 clients in one room at a 50 ms interval.
//
// BM_BroadcastRound: one round of the room library (formatting every record
// once and assembling the 100 lines), with the sockets left out.
// BM_StateMessage: one received state message, split, parsed and stored.
// BM_ServerLoopback: the server process with 100 scripted clients that send
// their state every 50 ms; reports the server's CPU time per round (from
// /proc) and the delay from one client's state message to its appearance in a
// position line at another client.
// BM_AdmissionFlood: the server process while empty connections arrive at
// 1000 a second from 1, 4 or 60 addresses and 20 real logins come in one
// after another, from addresses of their own (with 1: from the flood's);
// reports the logins the server accepted within 2 s, their time to log in,
// and the server's CPU share.
// BM_Reconnect: 200 clients, 20 from each of 10 addresses, log in at once
// (and leave again), reconnecting whenever they are closed, as after a server
// restart; reports how many got in within 30 s and when the last one did.
// BM_LoginRate: 100 clients, ten from each of ten addresses, log in one after
// another, each leaving once accepted; reports logins a second.
// BM_LogFlood: one user sends missions that do not exist and shots without a
// fighter as fast as it can for 2 s while another user reads its rounds;
// reports the log's growth and the rounds the other user got a second, with
// the log in a file (arg 0) and in a pipe that nobody reads (arg 1).
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "bench/crowd.h"
#include "bench/logins.h"
#include "server/room.h"

namespace {

using namespace velmora::server;
using velmora::bench::kPrefix;
using velmora::bench::ProcessCpuSeconds;
using velmora::bench::State;
using velmora::testing::Clock;
using velmora::testing::milliseconds;

constexpr int kClients = 100;
constexpr int32_t kIntervalMs = 50;

class CountingOutput : public RoomOutput {
 public:
  void Send(ConnectionId, std::string_view bytes) override { bytesSent += bytes.size(); }
  void Close(ConnectionId) override {}
  void Log(std::string_view) override {}
  std::size_t bytesSent = 0;
};

MissionsFile CarMission() {
  MissionsFile f;
  f.Missions.push_back(
      Mission{"Cars", 0, false, {StartPoint{20, 0, 0, 0, 0, 0, 0, 0}}, std::nullopt});
  return f;
}

// A room with 100 users, each with a car that has reported its state.
void FillRoom(Room& room) {
  for (int i = 1; i <= kClients; ++i) {
    const auto id = static_cast<ConnectionId>(i);
    room.Connect(id, 0);
    room.Receive(id, kPrefix + "30;guest\ttovel\t0;user" + std::to_string(i) + kPrefix + "40;0;",
                 0);
    room.Receive(id, kPrefix + "50;" + std::to_string(i) + ";1;1;", 0);
    room.Receive(id, State(i, i * 10.0 + 0.4, -i * 10.0), 0);
  }
}

void BM_BroadcastRound(benchmark::State& state) {
  CountingOutput output;
  Room room(RoomConfig{52566771, 1, kIntervalMs, kClients}, CarMission(), output);
  FillRoom(room);
  // The time stays one interval after the states, so no vehicle turns stale.
  for (auto _ : state) room.Broadcast(static_cast<uint32_t>(kIntervalMs));
  state.counters["bytes_per_round"] =
      static_cast<double>(output.bytesSent) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BroadcastRound)->Unit(benchmark::kMicrosecond);

void BM_StateMessage(benchmark::State& state) {
  CountingOutput output;
  Room room(RoomConfig{52566771, 1, kIntervalMs, kClients}, CarMission(), output);
  FillRoom(room);
  const std::string message = State(1, 12345, -678);
  for (auto _ : state) room.Receive(1, message, 0);
}
BENCHMARK(BM_StateMessage);

void BM_ServerLoopback(benchmark::State& state) {
  velmora::bench::MeasureCrowd(state, {VELMORA_SERVER_EXE,
                                       kClients,
                                       "bench",
                                       milliseconds(state.range(0)),
                                       {"--max-per-address", "0"}});
}
BENCHMARK(BM_ServerLoopback)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

namespace {

void ReportLogins(benchmark::State& state, const std::vector<velmora::bench::LoginRun>& runs) {
  std::vector<double> took;
  for (const auto& r : runs) {
    if (r.TookMs) took.push_back(*r.TookMs);
    if (r.Fd >= 0) close(r.Fd);
  }
  std::sort(took.begin(), took.end());
  state.counters["admitted"] = static_cast<double>(took.size());
  state.counters["of"] = static_cast<double>(runs.size());
  if (!took.empty()) {
    state.counters["login_ms_p50"] = took[took.size() / 2];
    state.counters["login_ms_max"] = took.back();
  }
}

// The server with the sample missions, its log in logPath; nullptr, with the
// benchmark skipped, when it does not start.
std::unique_ptr<velmora::testing::ServerProcess> SampleServer(
    benchmark::State& state, const std::string& logPath = "/dev/null") {
  auto server = std::make_unique<velmora::testing::ServerProcess>(
      VELMORA_SERVER_EXE, std::vector<std::string>{"--missions", VELMORA_SAMPLE_MISSIONS}, logPath);
  if (server->Port() != 0) return server;
  state.SkipWithError("the server did not start");
  return nullptr;
}

void BM_AdmissionFlood(benchmark::State& state) {
  const auto server = SampleServer(state);
  if (!server) return;
  constexpr int kLogins = 20;
  for (auto _ : state) {
    std::vector<velmora::bench::LoginRun> runs(kLogins);
    for (int i = 0; i < kLogins; ++i) {
      // With one address the flood comes from the users' own.
      runs[i].Source = state.range(0) == 1 ? "127.0.0.2" : "127.0.1." + std::to_string(i + 1);
      runs[i].Handle = "real" + std::to_string(i);
      runs[i].StartAfter = milliseconds(300 + 150 * i);
    }
    const double cpuStart = ProcessCpuSeconds(server->Pid());
    const auto start = Clock::now();
    {
      velmora::bench::ConnectionFlood flood(server->Port(), static_cast<int>(state.range(0)), 1000,
                                            milliseconds(300 + 150 * kLogins + 2000));
      velmora::bench::RunLogins(server->Port(), runs, milliseconds(2000), false, false);
      state.counters["flood_connections"] = flood.Opened();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["server_cpu_percent"] =
        (ProcessCpuSeconds(server->Pid()) - cpuStart) * 100.0 / seconds;
    ReportLogins(state, runs);
  }
}
BENCHMARK(BM_AdmissionFlood)
    ->Arg(1)
    ->Arg(4)
    ->Arg(60)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Reconnect(benchmark::State& state) {
  const auto server = SampleServer(state);
  if (!server) return;
  constexpr int kReconnecting = 200;
  for (auto _ : state) {
    std::vector<velmora::bench::LoginRun> runs(kReconnecting);
    for (int i = 0; i < kReconnecting; ++i) {
      runs[i].Source = "127.0.2." + std::to_string(1 + i / 20);
      runs[i].Handle = "back" + std::to_string(i);
    }
    const double cpuStart = ProcessCpuSeconds(server->Pid());
    const auto start = Clock::now();
    velmora::bench::RunLogins(server->Port(), runs, milliseconds(30000), true, false);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["server_cpu_percent"] =
        (ProcessCpuSeconds(server->Pid()) - cpuStart) * 100.0 / seconds;
    int tries = 0;
    for (const auto& r : runs) tries += r.Tries;
    state.counters["tries"] = tries;
    ReportLogins(state, runs);
  }
}
BENCHMARK(BM_Reconnect)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoginRate(benchmark::State& state) {
  const auto server = SampleServer(state);
  if (!server) return;
  constexpr int kLogins = 100;
  for (auto _ : state) {
    std::vector<velmora::bench::LoginRun> runs(kLogins);
    for (int i = 0; i < kLogins; ++i) {
      runs[i].Source = "127.0.7." + std::to_string(1 + i % 10);
      runs[i].Handle = "rate" + std::to_string(i);
    }
    const auto start = Clock::now();
    for (auto& run : runs) {
      std::vector<velmora::bench::LoginRun> one{run};
      velmora::bench::RunLogins(server->Port(), one, milliseconds(10000), false, false);
      run = one.front();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ReportLogins(state, runs);
    state.counters["logins_per_s"] = state.counters["admitted"] / seconds;
  }
}
BENCHMARK(BM_LoginRate)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

namespace {

void BM_LogFlood(benchmark::State& state) {
  const bool unread = state.range(0) == 1;
  const std::string logPath = "/tmp/velmora-log-flood-" + std::to_string(getpid()) + ".log";
  const auto server = SampleServer(state, unread ? "" : logPath);
  if (!server) return;
  std::vector<velmora::bench::LoginRun> runs(2);
  runs[0].Source = "127.0.5.1";
  runs[0].Handle = "flood";
  runs[1].Source = "127.0.5.2";
  runs[1].Handle = "reader";
  velmora::bench::RunLogins(server->Port(), runs, milliseconds(5000), false, true);
  if (!runs[0].TookMs || !runs[1].TookMs) {
    state.SkipWithError("a login was not answered");
    return;
  }
  const std::string user = "1";
  std::string burst;
  for (int i = 0; i < 200; ++i) {
    burst += kPrefix + "50;" + user + ";1;999;" + kPrefix + "60;" + user + ";1;2;";
  }
  for (auto _ : state) {
    const auto start = Clock::now();
    int rounds = 0;
    std::string reader;
    while (Clock::now() - start < milliseconds(2000)) {
      send(runs[0].Fd, burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      char chunk[65536];
      while (recv(runs[0].Fd, chunk, sizeof chunk, MSG_DONTWAIT) > 0) {
      }
      for (ssize_t n; (n = recv(runs[1].Fd, chunk, sizeof chunk, MSG_DONTWAIT)) > 0;) {
        reader.append(chunk, static_cast<std::size_t>(n));
      }
      for (std::size_t end; (end = reader.find('\n')) != std::string::npos;) {
        rounds += reader.rfind("52566771;40;", 0) == 0 ? 1 : 0;
        reader.erase(0, end + 1);
      }
      usleep(1000);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.counters["rounds_per_s"] = rounds / seconds;
    struct stat info {};
    if (!unread && stat(logPath.c_str(), &info) == 0) {
      state.counters["log_MB_per_s"] = static_cast<double>(info.st_size) / 1e6 / seconds;
    }
  }
  for (auto& r : runs) close(r.Fd);
  unlink(logPath.c_str());
}
BENCHMARK(BM_LogFlood)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
