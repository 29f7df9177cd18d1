// A crowd of light protocol clients on the game server process over
// loopback, as the server and traffic benchmarks measure it: every client
// logs in, takes the race, sends its state every round and reads every line.
// Client 0 moves 1 cm per message on a 37 ms beat of its own, so that client 1
// can tell when each one arrives: its messages fall at every phase of the
// server's rounds, and the delay includes the wait for the next round.
//
// Reports the server's CPU time per round (from /proc), the rounds (and those
// client 1 received a second), the bytes of one position line and of all
// clients' lines per round, the server's resident memory, and the delay from
// client 0's state to its record at client 1 (mean, p50, p99, maximum,
// samples).
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "bench/logins.h"
#include "server/room.h"

namespace velmora::bench {

using testing::Clock;
using testing::milliseconds;

inline const std::string kPrefix = "52566771;20;1;";
inline constexpr int32_t kCrowdIntervalMs = 50;
inline constexpr int kProbeBeatMs = 37;  // client 0's sending beat, out of step with the rounds

// A car's state message of `user` at (xCm, yCm).
inline std::string State(int user, double xCm, double yCm) {
  char text[256];
  std::snprintf(text, sizeof text, "40;%d;1;1000;2;20;%.0f;%.0f;-60;9000;0;0;0;1500;-20;0;", user,
                xCm, yCm);
  return kPrefix + text;
}

inline double ResidentMegabytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

// The x (cm) of `user`'s record in a position line, or -1. A record's first
// field is its user number, followed by group 0, kind 2, type 20.
inline long long RecordX(const std::string& line, int user) {
  const std::string key = ";" + std::to_string(user) + ";0;2;20;";
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return -1;
  const std::size_t x = at + key.size();
  return std::stoll(line.substr(x, line.find(';', x) - x));
}

struct TCrowdRun {
  std::string ServerExe;
  int Clients = 100;
  std::string HandlePrefix;  // handles are this and the client's number
  milliseconds RunFor{3000};
  std::vector<std::string> ServerArguments;  // besides the interval and the missions
  // Called once the clients have taken their places, on every turn of the
  // measured loop, and once it has ended, for whatever runs beside the crowd.
  std::function<void(const testing::ServerProcess&)> Started = nullptr;
  std::function<void()> EachTurn = nullptr;
  std::function<void(benchmark::State&, const testing::ServerProcess&)> Finished = nullptr;
};

inline void MeasureCrowd(benchmark::State& state, const TCrowdRun& run) {
  std::vector<std::string> arguments = {"--interval", std::to_string(kCrowdIntervalMs),
                                        "--missions", VELMORA_SAMPLE_MISSIONS};
  arguments.insert(arguments.end(), run.ServerArguments.begin(), run.ServerArguments.end());
  testing::ServerProcess server(run.ServerExe, arguments, "/dev/null");
  if (server.Port() == 0) {
    state.SkipWithError("the server did not start");
    return;
  }
  const auto count = static_cast<std::size_t>(run.Clients);
  std::vector<std::unique_ptr<testing::TestClient>> clients;
  std::vector<int> users(count, 0);
  // A few logins at a time: one address may hold only a few pending logins.
  const std::size_t atOnce = server::kMaxPendingPerAddress;
  for (std::size_t i = 0; i < count; ++i) {
    if (i % atOnce == 0) {
      for (std::size_t j = i; j < std::min(count, i + atOnce); ++j) {
        clients.push_back(std::make_unique<testing::TestClient>(server.Port()));
        clients.back()->Send(kPrefix + "30;guest\ttovel\t0;" + run.HandlePrefix +
                             std::to_string(j));
      }
    }
    const auto accepted = clients[i]->ReadUntil(
        [](const std::string& l) { return l.rfind("52566771;30;", 0) == 0; }, milliseconds(10000));
    if (!accepted) {
      state.SkipWithError("a login was not answered");
      return;
    }
    users[i] = std::stoi(accepted->substr(12));
    // The sample's race (mission 5) places cars; all near one start point.
    clients[i]->Send(kPrefix + "50;" + std::to_string(users[i]) + ";1;5;");
  }

  std::map<long long, Clock::time_point> sentAt;
  std::vector<double> delays;
  std::size_t bytesRead = 0;  // of position lines, at client 1
  std::size_t linesRead = 0;
  long long step = 0;
  for (auto _ : state) {
    // Let the placements settle before measuring.
    const auto settle = Clock::now() + milliseconds(300);
    while (Clock::now() < settle) {
      for (auto& c : clients) c->Drain(), c->Buffer().clear();
      usleep(5000);
    }
    if (run.Started) run.Started(server);
    const double cpuStart = ProcessCpuSeconds(server.Pid());
    const auto start = Clock::now();
    auto nextSend = start;
    auto nextProbe = start;
    while (Clock::now() - start < run.RunFor) {
      if (Clock::now() >= nextSend) {
        for (std::size_t i = 1; i < count; ++i) {
          clients[i]->Send(State(users[i], 79500 + static_cast<double>(i) * 10, -100000));
        }
        nextSend += milliseconds(kCrowdIntervalMs);
      }
      if (Clock::now() >= nextProbe) {
        ++step;
        clients[0]->Send(State(users[0], static_cast<double>(79500 + step), -100000));
        sentAt[79500 + step] = Clock::now();
        nextProbe += milliseconds(kProbeBeatMs);
      }
      for (std::size_t i = 0; i < count; ++i) {
        clients[i]->Drain();
        std::string& buffer = clients[i]->Buffer();
        if (i != 1) {
          buffer.clear();
          continue;
        }
        std::size_t end;
        while ((end = buffer.find('\n')) != std::string::npos) {
          const std::string line = buffer.substr(0, end + 1);
          buffer.erase(0, end + 1);
          if (line.rfind("52566771;40;", 0) == 0) bytesRead += line.size(), ++linesRead;
          const auto it = sentAt.find(RecordX(line, users[0]));
          if (it != sentAt.end()) {
            delays.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - it->second).count());
            sentAt.erase(sentAt.begin(), std::next(it));
          }
        }
      }
      if (run.EachTurn) run.EachTurn();
      usleep(500);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rounds = seconds * 1000.0 / kCrowdIntervalMs;
    state.counters["rounds"] = rounds;
    state.counters["server_cpu_ms_per_round"] =
        (ProcessCpuSeconds(server.Pid()) - cpuStart) * 1000.0 / rounds;
    // Per position line rather than per round: where the clients fall behind,
    // lines of earlier rounds still waiting would count as this one's.
    const double perLine =
        static_cast<double>(bytesRead) / static_cast<double>(std::max<std::size_t>(linesRead, 1));
    state.counters["bytes_per_round_per_client"] = perLine;
    state.counters["bytes_per_round_all"] = perLine * static_cast<double>(count);
    state.counters["server_rss_MB"] = ResidentMegabytes(server.Pid());
    // The rounds client 1 actually received.
    state.counters["rounds_seen_per_s"] = static_cast<double>(linesRead) / seconds;
    if (run.Finished) run.Finished(state, server);
  }
  if (!delays.empty()) {
    std::sort(delays.begin(), delays.end());
    state.counters["delay_mean_ms"] =
        std::accumulate(delays.begin(), delays.end(), 0.0) / static_cast<double>(delays.size());
    state.counters["delay_p50_ms"] = delays[delays.size() / 2];
    state.counters["delay_p99_ms"] = delays[delays.size() * 99 / 100];
    state.counters["delay_max_ms"] = delays.back();
    state.counters["delay_samples"] = static_cast<double>(delays.size());
  }
}

}  // namespace velmora::bench
