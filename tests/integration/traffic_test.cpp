// Traffic clients against the real server, seen by the program; and against a
// server that refuses them, closes on them or lists nothing they can drive.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/data/installation.h"
#include "tests/integration/server_process.h"
#include "tests/support/fake_renderer.h"
#include "tests/ui/ui_test_support.h"
#include "traffic/traffic_client.h"
#include "ui/form_main.h"
#include "vehicle/geometry.h"

namespace velmora::traffic {
namespace {

constexpr int kPatience = 30000;  // ms a step may take on a loaded machine

class TrafficTest : public ::testing::Test {
 protected:
  TrafficTest() {
    renderer.GiveTextureIds = true;
    renderer.GiveSurfaceIds = true;
  }
  ~TrafficTest() override {
    clients.clear();
    if (server.state() != QProcess::NotRunning) {
      server.kill();
      server.waitForFinished(5000);
    }
  }

  uint16_t StartServer() {
    return testing::StartServerProcess(server, VELMORA_SERVER, VELMORA_MISSIONS, kPatience, {"--max-per-address", "0"});
  }


  // A traffic client of `kind` with its own world from the sample installation.
  TTrafficClient& AddClient(uint16_t port, const char* handle, TTrafficKind kind,
                            uint32_t missionListWaitMs = kMissionListWaitMs,
                            uint32_t longestRunMs = kLongestRunMs) {
    if (!forms) {
      forms = std::make_unique<vehicle::TFormTable>();
      const testing::TInDataFolder inData;
      EXPECT_TRUE(vehicle::LoadVehicleTypes("vehicles.dat", *forms, renderer).Ok());
    }
    auto world = std::make_unique<world::TWorld>();
    {
      const testing::TInDataFolder inData;
      EXPECT_TRUE(world::LoadGround("ground.dat", world->Ground, renderer).Ok());
      EXPECT_TRUE(world::LoadObjects("objects.dat", *world, renderer, {}).Ok());
    }
    TClientConfig config;
    config.Port = port;
    config.Handle = handle;
    config.Kind = kind;
    config.Seed = static_cast<uint32_t>(clients.size()) + 11;
    config.MissionListWaitMs = missionListWaitMs;
    config.LongestRunMs = longestRunMs;
    for (const auto& other : clients) config.Ordinal += other->Config().Kind == kind ? 1 : 0;
    clients.push_back(std::make_unique<TTrafficClient>(config, *forms, std::move(world)));
    TTrafficClient& client = *clients.back();
    client.Report = [this, handle](const std::string& line) { reports[handle].push_back(line); };
    return client;
  }

  bool Await(const std::function<bool()>& condition, int patience = kPatience) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < patience) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      if (server.state() == QProcess::Running) serverLog += server.readAllStandardError();
    }
    return condition();
  }

  struct TApplicationFirst {
    TApplicationFirst() { velmora::testing::App(); }
  } applicationFirst;
  velmora::testing::FakeRenderer renderer;
  std::unique_ptr<vehicle::TFormTable> forms;
  std::vector<std::unique_ptr<TTrafficClient>> clients;
  std::map<std::string, std::vector<std::string>> reports;
  QProcess server;
  QByteArray serverLog;
};

TEST_F(TrafficTest, TheProgramSeesTrafficMove) {
  const uint16_t port = StartServer();
  ASSERT_NE(port, 0);
  const TTrafficKind kinds[] = {TTrafficKind::Train, TTrafficKind::Train, TTrafficKind::Car,
                                TTrafficKind::Car};
  const char* handles[] = {"AI-01", "AI-02", "AI-03", "AI-04"};
  for (int i = 0; i < 4; ++i) AddClient(port, handles[i], kinds[i]).Start();

  ASSERT_TRUE(QDir::setCurrent(VELMORA_DATA));
  ui::TFormHelp help;
  ui::TStartOptions options;
  options.Headless = true;
  options.CommandLine.Host = "127.0.0.1";
  options.CommandLine.Port = port;
  options.CommandLine.Handle = "watcher";
  ui::TFormMain form(renderer, help, options);
  form.show();
  ASSERT_TRUE(form.FormShow());
  state::TMainState& s = form.State();
  ASSERT_TRUE(Await([&] {
    for (auto& c : clients) {
      if (c->Counts().Placements == 0) return false;
    }
    return s.Own.UserNo != 0;
  })) << serverLog.toStdString();

  // The program sees the four traffic vehicles as remote vehicles: kinds and
  // start positions as the server placed them.
  const auto seen = [&](const TTrafficClient& c) -> const vehicle::TVehicleState* {
    for (int i = 0; i < vehicle::RemoteCount(s.Remote); ++i) {
      if (s.Remote[static_cast<std::size_t>(i)].UserNo == c.State().Own.UserNo) {
        return &s.Remote[static_cast<std::size_t>(i)];
      }
    }
    return nullptr;
  };
  ASSERT_TRUE(Await([&] {
    for (auto& c : clients) {
      if (!seen(*c)) return false;
    }
    return true;
  })) << "the program does not see every traffic vehicle";
  std::vector<std::pair<double, double>> starts;
  for (auto& c : clients) starts.emplace_back(seen(*c)->X, seen(*c)->Y);
  EXPECT_EQ(seen(*clients[0])->Kind, vehicle::kKindTrain);
  EXPECT_EQ(seen(*clients[2])->Kind, vehicle::kKindRoad);

  // The cars set off after their pause; the trains wait at their stations.
  constexpr double kMoved = 50;  // m
  ASSERT_TRUE(Await([&] {
    for (int i = 2; i < 4; ++i) {
      const vehicle::TVehicleState* v = seen(*clients[static_cast<std::size_t>(i)]);
      if (!v || std::hypot(v->X - starts[static_cast<std::size_t>(i)].first,
                           v->Y - starts[static_cast<std::size_t>(i)].second) < kMoved) {
        return false;
      }
    }
    return true;
  })) << "the cars did not move for the program";
  for (int i = 0; i < 2; ++i) {
    const vehicle::TVehicleState* v = seen(*clients[static_cast<std::size_t>(i)]);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(vehicle::GroundSpeed(*v), 0) << handles[i] << " dwells at its station first";
  }
  for (auto& c : clients) EXPECT_EQ(c->Counts().Reports, 0) << c->Config().Handle;
  form.close();
}

TEST_F(TrafficTest, ARunThatLastsTooLongTakesItsMissionAgain) {
  // An airliner that never reaches its goal in time is placed at its start again.
  const uint16_t port = StartServer();
  ASSERT_NE(port, 0);
  TTrafficClient& client =
      AddClient(port, "AI-01", TTrafficKind::Airliner, kMissionListWaitMs, 4000);
  client.Start();
  ASSERT_TRUE(Await([&] { return client.Counts().Placements >= 1; })) << serverLog.toStdString();
  const double startY = client.State().Start.Y;
  ASSERT_TRUE(Await([&] { return client.Counts().Placements >= 2; })) << serverLog.toStdString();
  EXPECT_EQ(client.State().Start.Y, startY) << "the same start point";
  EXPECT_LT(std::fabs(client.State().Own.Y - startY), 1) << "m: back at the start";
  EXPECT_EQ(client.Counts().Logins, 1) << "in the same login";
}

// A server of one behaviour: each connection's login is answered by `answer`.
class TFakeServer {
 public:
  explicit TFakeServer(std::function<void(QTcpSocket&)> answer) : answer_(std::move(answer)) {
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        ++connections;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          if (socket->readAll().isEmpty()) return;
          answer_(*socket);
        });
      }
    });
    server_.listen(QHostAddress::LocalHost, 0);
  }
  uint16_t Port() const { return server_.serverPort(); }
  int connections = 0;

 private:
  QTcpServer server_;
  std::function<void(QTcpSocket&)> answer_;
};

TEST_F(TrafficTest, RefusalsClosesAndEmptyListsAreReportedOnceAndRetriedWithAGrowingPause) {
  const struct {
    const char* Name;
    std::function<void(QTcpSocket&)> Answer;
  } cases[] = {
      {"refused handle", [](QTcpSocket& s) { s.write("52566771;10;handle in use\t\n"); }},
      {"closed", [](QTcpSocket& s) { s.disconnectFromHost(); }},
      {"no mission",
       [](QTcpSocket& s) { s.write("52566771;30;1;1;\n52566771;0;1;heading\tpractice only\t\n"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TFakeServer fake(c.Answer);
    ASSERT_NE(fake.Port(), 0);
    const std::string handle = std::string("AI-") + c.Name;
    TTrafficClient& client = AddClient(fake.Port(), handle.c_str(), TTrafficKind::Train, 200);
    client.Start();
    // Three failed logins: 1 s, then 2 s before the next.
    ASSERT_TRUE(Await([&] { return client.Counts().Retries >= 3; }, 20000))
        << client.Counts().Logins << " logins, " << client.Counts().Retries << " retries, "
        << client.State().MissionRowCount << " mission rows, login stage "
        << static_cast<int>(client.State().LoginStage);
    EXPECT_EQ(reports[handle].size(), 1u) << "reported once";
    EXPECT_EQ(client.RetryPauseMs(), 8 * kFirstRetryMs) << "the pause doubles";
    EXPECT_GE(fake.connections, 3);
    EXPECT_LE(fake.connections, 4) << "no tight loop of logins";
    clients.clear();
  }
}

}  // namespace
}  // namespace velmora::traffic
