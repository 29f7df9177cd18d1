// The game server's web side.
//
// BM_WebStateJson: one live update's JSON (the same text as /api/state) for a
// room of 100 users, with 100 chat lines and 20 results kept: the work of an
// update before it is sent.
// BM_WebMetrics: the metrics text for that room.
// BM_WebViewers/N: the server process with 100 scripted clients (a state
// every 50 ms, every round read) and N pages following the live updates over
// WebSockets, drained by the benchmark. Reports the server's CPU per round
// (from /proc), and the time the web side took on the game's thread per round
// (from /metrics, velmora_web_busy_seconds_total).
// BM_WebFlood/R: the same 100 clients while R requests a second, each on a
// connection of its own, ask for /api/state. Reports the rounds client 1
// received a second, the server's own round time during the run (mean, and
// the histogram bound that holds every round, from /metrics), its CPU per
// round, and the delay from a client's state to its record at another.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/crowd.h"
#include "server/room.h"
#include "server/server_stats.h"
#include "server/web_state.h"
#include "tests/support/loopback_server.h"

namespace {

using namespace velmora::server;
using velmora::bench::kPrefix;
using velmora::bench::State;
using velmora::testing::Clock;
using velmora::testing::HttpResponse;
using velmora::testing::milliseconds;
using velmora::testing::ReadHttpResponse;
using velmora::testing::ServerProcess;
using velmora::testing::TestClient;

constexpr int kUsers = 100;

class NoOutput : public RoomOutput {
 public:
  void Send(ConnectionId, std::string_view) override {}
  void Close(ConnectionId) override {}
  void Log(std::string_view) override {}
};

MissionsFile Missions() {
  MissionsFile f;
  f.Missions.push_back(Mission{"自動車：ターミナルから自由走行", 0, false,
                               {StartPoint{20, 0, 0, 0, 0, 0, 0, 0}},
                               MissionGoal{5000, 5000, 0, 1, 1}});
  return f;
}

// 100 users with cars that have reported, 100 chat lines, a minute of rounds.
struct BusyRoom {
  BusyRoom() : room(RoomConfig{52566771, 1, 100, kUsers}, Missions(), output) {
    for (int i = 1; i <= kUsers; ++i) {
      const auto id = static_cast<ConnectionId>(i);
      room.Connect(id, 0);
      room.Receive(id, kPrefix + "30;guest\ttovel\t0;AI-" + std::to_string(i), 0);
      room.GraceExpired(id, 0);
      room.Receive(id, kPrefix + "50;" + std::to_string(i) + ";1;1;", 0);
      room.Receive(id, State(i, i * 1000.0, -i * 500.0), 100);
      room.Receive(id, kPrefix + "20;" + std::to_string(i) + ";1;こんにちは、レースに行きます\t", 100);
    }
    for (int r = 0; r < 600; ++r) stats.RoundDone(static_cast<uint64_t>(r) * 100, 0.0005);
  }
  NoOutput output;
  Room room;
  ServerStats stats;
  WebCounters web;
};

void BM_WebStateJson(benchmark::State& state) {
  BusyRoom busy;
  std::string text;
  for (auto _ : state) {
    text.clear();
    AppendStateJson(text, busy.room, busy.stats, busy.web, WebClock{200, 60000}, 100, 0);
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_WebStateJson)->Unit(benchmark::kMicrosecond);

void BM_WebMetrics(benchmark::State& state) {
  BusyRoom busy;
  for (auto _ : state) {
    benchmark::DoNotOptimize(MetricsText(busy.room, busy.stats, busy.web, WebClock{200, 60000}));
  }
}
BENCHMARK(BM_WebMetrics)->Unit(benchmark::kMicrosecond);

// A metric's value in a metrics text; 0 when it is missing.
double Metric(const std::string& text, const std::string& sample) {
  const std::size_t at = text.find("\n" + sample + " ");
  return at == std::string::npos ? 0 : std::stod(text.substr(at + sample.size() + 2));
}

std::string Metrics(int webPort) {
  TestClient client(webPort);
  client.Send("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
  const std::optional<HttpResponse> r = ReadHttpResponse(client, milliseconds(10000));
  return r ? r->Body : std::string();
}

// A page following the live updates: the handshake, then whatever comes is read.
class Viewer {
 public:
  explicit Viewer(int webPort) : client_(webPort) {
    client_.Send(
        "GET /api/events HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
  }
  void Read() {
    client_.Drain();
    received_ += client_.Buffer().size();
    client_.Buffer().clear();
  }
  std::size_t Received() const { return received_; }

 private:
  TestClient client_;
  std::size_t received_ = 0;
};

// What the server's own metrics say about the measured run.
struct MetricsSpan {
  std::string Before;
  void Report(benchmark::State& state, const std::string& after) const {
    const auto delta = [&](const std::string& sample) {
      return Metric(after, sample) - Metric(Before, sample);
    };
    const double rounds = delta("velmora_rounds_total");
    if (rounds <= 0) return;
    state.counters["round_ms_mean"] = delta("velmora_round_seconds_sum") * 1000.0 / rounds;
    // The smallest bucket bound that holds every round of the run.
    for (const char* bound : {"0.0001", "0.0002", "0.0005", "0.001", "0.002", "0.005", "0.01",
                              "0.02", "0.05", "0.1"}) {
      const std::string bucket = std::string("velmora_round_seconds_bucket{le=\"") + bound + "\"}";
      if (delta(bucket) >= rounds) {
        state.counters["round_ms_all_below"] = std::stod(bound) * 1000.0;
        break;
      }
    }
    state.counters["web_busy_ms_per_round"] = delta("velmora_web_busy_seconds_total") * 1000.0 / rounds;
  }
};

void BM_WebViewers(benchmark::State& state) {
  const int viewers = static_cast<int>(state.range(0));
  std::vector<std::unique_ptr<Viewer>> pages;
  MetricsSpan span;
  int webPort = 0;
  velmora::bench::TCrowdRun run{VELMORA_SERVER_EXE, kUsers, "AI-", milliseconds(5000),
                                {"--max-per-address", "0", "--http", "0"}};
  run.Started = [&](const ServerProcess& server) {
    webPort = server.WebPort();
    for (int i = 0; i < viewers; ++i) pages.push_back(std::make_unique<Viewer>(webPort));
    span.Before = Metrics(webPort);
  };
  run.EachTurn = [&] {
    for (auto& page : pages) page->Read();
  };
  run.Finished = [&](benchmark::State& s, const ServerProcess&) {
    span.Report(s, Metrics(webPort));
    std::size_t received = 0;
    for (auto& page : pages) received += page->Received();
    s.counters["viewer_kB_per_s"] =
        viewers > 0 ? static_cast<double>(received) / 1000.0 / viewers / 5.0 : 0.0;
  };
  velmora::bench::MeasureCrowd(state, run);
}
BENCHMARK(BM_WebViewers)
    ->Arg(0)
    ->Arg(10)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_WebFlood(benchmark::State& state) {
  const int perSecond = static_cast<int>(state.range(0));
  std::atomic<bool> stop{false};
  std::atomic<int> answered{0};
  std::thread flood;
  MetricsSpan span;
  int webPort = 0;
  velmora::bench::TCrowdRun run{VELMORA_SERVER_EXE, kUsers, "AI-", milliseconds(5000),
                                {"--max-per-address", "0", "--http", "0"}};
  run.Started = [&](const ServerProcess& server) {
    webPort = server.WebPort();
    span.Before = Metrics(webPort);
    if (perSecond == 0) return;
    flood = std::thread([&, port = webPort] {
      const auto spacing = std::chrono::microseconds(1000000 / perSecond);
      const auto begin = Clock::now();
      for (long i = 0; !stop; ++i) {
        std::this_thread::sleep_until(begin + i * spacing);
        TestClient client(port);
        client.Send("GET /api/state HTTP/1.1\r\nHost: x\r\n\r\n");
        if (ReadHttpResponse(client, milliseconds(5000))) ++answered;
      }
    });
  };
  run.Finished = [&](benchmark::State& s, const ServerProcess&) {
    stop = true;
    if (flood.joinable()) flood.join();
    span.Report(s, Metrics(webPort));
    s.counters["requests_answered_per_s"] = answered / 5.0;
  };
  velmora::bench::MeasureCrowd(state, run);
  stop = true;
  if (flood.joinable()) flood.join();
}
BENCHMARK(BM_WebFlood)
    ->Arg(0)
    ->Arg(100)
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
