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
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "server/room.h"
#include "tests/server/loopback.h"

namespace {

using velmora::testing::Clock;
using velmora::testing::milliseconds;
using velmora::testing::ProcessCpuSeconds;

constexpr int32_t kIntervalMs = 50;
constexpr int kProbeBeatMs = 37;  // client 0's sending beat, out of step with the rounds
const std::string kPrefix = "52566771;20;1;";

std::string State(int user, double xCm, double yCm) {
  char text[256];
  std::snprintf(text, sizeof text, "40;%d;1;1000;2;20;%.0f;%.0f;-60;9000;0;0;0;1500;-20;0;", user,
                xCm, yCm);
  return kPrefix + text;
}

double ResidentMegabytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

// The x (cm) of `user`'s record in a position line, or -1.
long long RecordX(const std::string& line, int user) {
  const std::string key = ";" + std::to_string(user) + ";0;2;20;";
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return -1;
  const std::size_t x = at + key.size();
  return std::stoll(line.substr(x, line.find(';', x) - x));
}

void BM_ServerUnderTraffic(benchmark::State& state) {
  const int clientCount = static_cast<int>(state.range(0));
  // VELMORA_SERVER_EXE in the environment names another server program, so
  // that two builds can be measured in one run.
  const char* other = std::getenv("VELMORA_SERVER_EXE");
  velmora::testing::ServerProcess server(
      other != nullptr && *other != '\0' ? other : VELMORA_SERVER_EXE,
      {"--interval", std::to_string(kIntervalMs), "--missions", VELMORA_SAMPLE_MISSIONS,
       "--max-per-address", "0", "--max-users", std::to_string(clientCount)},
      "/dev/null");
  if (server.Port() == 0) {
    state.SkipWithError("the server did not start");
    return;
  }
  std::vector<std::unique_ptr<velmora::testing::TestClient>> clients;
  std::vector<int> users(static_cast<std::size_t>(clientCount), 0);
  const int atOnce = static_cast<int>(velmora::server::kMaxPendingPerAddress);
  for (int i = 0; i < clientCount; ++i) {
    if (i % atOnce == 0) {
      for (int j = i; j < std::min(clientCount, i + atOnce); ++j) {
        clients.push_back(std::make_unique<velmora::testing::TestClient>(server.Port()));
        clients.back()->Send(kPrefix + "30;guest\ttovel\t0;AI-" + std::to_string(j));
      }
    }
    const auto accepted = clients[static_cast<std::size_t>(i)]->ReadUntil(
        [](const std::string& l) { return l.rfind("52566771;30;", 0) == 0; }, milliseconds(10000));
    if (!accepted) {
      state.SkipWithError("a login was not answered");
      return;
    }
    users[static_cast<std::size_t>(i)] = std::stoi(accepted->substr(12));
    clients[static_cast<std::size_t>(i)]->Send(
        kPrefix + "50;" + std::to_string(users[static_cast<std::size_t>(i)]) + ";1;5;");
  }

  std::map<long long, Clock::time_point> sentAt;
  std::vector<double> delays;
  std::size_t bytesRead = 0;  // of position lines
  std::size_t linesRead = 0;
  long long step = 0;
  for (auto _ : state) {
    const auto settle = Clock::now() + milliseconds(300);
    while (Clock::now() < settle) {
      for (auto& c : clients) c->Drain(), c->Buffer().clear();
      usleep(5000);
    }
    const double cpuStart = ProcessCpuSeconds(server.Pid());
    const auto start = Clock::now();
    auto nextSend = start;
    auto nextProbe = start;
    while (Clock::now() - start < milliseconds(3000)) {
      if (Clock::now() >= nextSend) {
        for (int i = 1; i < clientCount; ++i) {
          clients[static_cast<std::size_t>(i)]->Send(
              State(users[static_cast<std::size_t>(i)], 79500 + i * 10, -100000));
        }
        nextSend += milliseconds(kIntervalMs);
      }
      if (Clock::now() >= nextProbe) {
        ++step;
        clients[0]->Send(State(users[0], static_cast<double>(79500 + step), -100000));
        sentAt[79500 + step] = Clock::now();
        nextProbe += milliseconds(kProbeBeatMs);
      }
      for (int i = 0; i < clientCount; ++i) {
        clients[static_cast<std::size_t>(i)]->Drain();
        std::string& buffer = clients[static_cast<std::size_t>(i)]->Buffer();
        if (i != 1) {
          buffer.clear();
          continue;
        }
        std::size_t end;
        while ((end = buffer.find('\n')) != std::string::npos) {
          const std::string line = buffer.substr(0, end + 1);
          buffer.erase(0, end + 1);
          if (line.rfind("52566771;40;", 0) == 0) bytesRead += line.size(), ++linesRead;
          const long long x = RecordX(line, users[0]);
          const auto it = sentAt.find(x);
          if (it != sentAt.end()) {
            delays.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - it->second).count());
            sentAt.erase(sentAt.begin(), std::next(it));
          }
        }
      }
      usleep(500);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rounds = seconds * 1000.0 / kIntervalMs;
    state.counters["server_cpu_ms_per_round"] =
        (ProcessCpuSeconds(server.Pid()) - cpuStart) * 1000.0 / rounds;
    // Per position line rather than per 50 ms: where the clients fall behind,
    // lines of earlier rounds still waiting would count as this one's.
    const double perLine =
        static_cast<double>(bytesRead) / static_cast<double>(std::max<std::size_t>(linesRead, 1));
    state.counters["bytes_per_round_per_client"] = perLine;
    state.counters["bytes_per_round_all"] = perLine * static_cast<double>(clientCount);
    state.counters["server_rss_MB"] = ResidentMegabytes(server.Pid());
  }
  if (!delays.empty()) {
    std::sort(delays.begin(), delays.end());
    state.counters["delay_mean_ms"] =
        std::accumulate(delays.begin(), delays.end(), 0.0) / static_cast<double>(delays.size());
    state.counters["delay_p99_ms"] = delays[delays.size() * 99 / 100];
  }
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
