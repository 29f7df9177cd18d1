// Traffic clients against the real server, seen by the program; and against a
// server that refuses them, closes on them or lists nothing they can drive.
// The real server has the sample missions and three train missions of these
// tests, which place trains where the railway's rules come into play.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/protocol.h"
#include "tests/data/installation.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/loopback_server.h"
#include "tests/support/settable_clock.h"
#include "tests/support/temp_file.h"
#include "tests/ui/ui_test_support.h"
#include "traffic/traffic_client.h"
#include "ui/form_main.h"
#include "vehicle/geometry.h"

namespace velmora::traffic {
namespace {

constexpr int kPatience = 30000;  // ms before a step that never comes is given up

// Southbound on line 1: a train standing at station B, whose run ends 170 m
// on, once it has left the station; another 380 m behind it, short of the
// north switch, which the first one's reservations hold. Then a train running
// towards the buffer stop beyond station C far above the 25 km/h there.
constexpr const char* kTestMissions = R"(
mission 通勤電車：B駅から発車まで（南行）
group 1
start 30    -3654.1  -527.8   1.8    180     0     0     0
goal  -3654.1  -700     0      30     1000

mission 通勤電車：B駅に続行（南行）
group 1
start 30    -3654.1  -150     1.8    180     0     0     0

mission 通勤電車：C駅の先へ速度超過
group 1
start 30    -4036.3  1100     1.8    0       0     25    0
)";

class TrafficTest : public ::testing::Test {
 protected:
  TrafficTest() {
    renderer.GiveTextureIds = true;
    renderer.GiveSurfaceIds = true;
  }
  ~TrafficTest() override { clients.clear(); }

  // The server with the sample missions and these tests' own, 50 ms rounds
  // and no limit of users per address; its port, 0 on failure.
  uint16_t StartServer() {
    std::ifstream sample(VELMORA_MISSIONS, std::ios::binary);
    const std::string missions(std::istreambuf_iterator<char>(sample), {});
    server = std::make_unique<velmora::testing::ServerProcess>(
        VELMORA_SERVER,
        std::vector<std::string>{
            "--missions",
            velmora::testing::WriteTestFile("missions.txt", missions + kTestMissions).string(),
            "--interval", "50", "--max-per-address", "0"},
        velmora::testing::TestFilePath("server.log").string(),
        std::chrono::milliseconds(kPatience));
    return static_cast<uint16_t>(server->Port());
  }
  std::string ServerLog() const { return server ? server->Log() : std::string(); }

  // The program, offscreen, logged in to the server on port.
  std::unique_ptr<ui::TFormMain> StartProgram(uint16_t port) {
    EXPECT_TRUE(QDir::setCurrent(VELMORA_DATA));
    ui::TStartOptions options;
    options.Headless = true;
    options.CommandLine.Host = "127.0.0.1";
    options.CommandLine.Port = port;
    options.CommandLine.Handle = "watcher";
    auto form = std::make_unique<ui::TFormMain>(renderer, help, options);
    form->show();
    EXPECT_TRUE(form->FormShow());
    return form;
  }

  // The traffic client's vehicle as the program sees it, if it does.
  static const vehicle::TVehicleState* Seen(const state::TMainState& s, const TTrafficClient& c) {
    for (int i = 0; i < vehicle::RemoteCount(s.Remote); ++i) {
      if (s.Remote[static_cast<std::size_t>(i)].UserNo == c.State().Own.UserNo) {
        return &s.Remote[static_cast<std::size_t>(i)];
      }
    }
    return nullptr;
  }

  // A traffic client of `kind` with its own world from the sample
  // installation; adjust changes its configuration.
  TTrafficClient& AddClient(uint16_t port, const char* handle, TTrafficKind kind,
                            const std::function<void(TClientConfig&)>& adjust = {}) {
    testing::TInstallation installation;
    testing::LoadInstallation(renderer, installation);
    if (!forms) forms = std::move(installation.Forms);
    TClientConfig config;
    config.Port = port;
    config.Handle = handle;
    config.Kind = kind;
    config.Seed = static_cast<uint32_t>(clients.size()) + 11;
    for (const auto& other : clients) config.Ordinal += other->Config().Kind == kind ? 1 : 0;
    if (adjust) adjust(config);
    clients.push_back(std::make_unique<TTrafficClient>(config, *forms,
                                                       std::move(installation.World), clientClock));
    TTrafficClient& client = *clients.back();
    client.Report = [this, handle](const std::string& line) { reports[handle].push_back(line); };
    return client;
  }

  static bool Await(const std::function<bool()>& condition, int patience = kPatience) {
    return velmora::testing::Await(condition, patience);
  }

  struct TApplicationFirst {
    TApplicationFirst() { velmora::testing::App(); }
  } applicationFirst;
  velmora::testing::FakeRenderer renderer;
  ui::TFormHelp help;
  std::unique_ptr<vehicle::TFormTable> forms;
  const app::TClock* clientClock = nullptr;  // the clients' clock; null: the steady clock
  std::vector<std::unique_ptr<TTrafficClient>> clients;
  std::map<std::string, std::vector<std::string>> reports;
  std::unique_ptr<velmora::testing::ServerProcess> server;
};

TEST_F(TrafficTest, TheProgramSeesTrafficMoveAndATrainHeldBehindAnotherAtAStation) {
  const uint16_t port = StartServer();
  ASSERT_NE(port, 0);
  // The first train stands at station B and dwells about 39 s; the other,
  // after about 20 s, is held short of the station until the first has gone.
  // The seeds give those dwells.
  const auto train = [](const char* word, uint32_t seed) {
    return [=](TClientConfig& c) {
      c.MissionWord = word;
      c.Seed = seed;
      c.RunPauseMs = 10 * kPatience;  // the first does not come back within the test
    };
  };
  TTrafficClient& first = AddClient(port, "AI-01", TTrafficKind::Train, train("発車まで", 4));
  TTrafficClient& held = AddClient(port, "AI-02", TTrafficKind::Train, train("続行", 9));
  AddClient(port, "AI-03", TTrafficKind::Car);
  AddClient(port, "AI-04", TTrafficKind::Car);
  for (auto& c : clients) c->Start();

  const std::unique_ptr<ui::TFormMain> form = StartProgram(port);
  state::TMainState& s = form->State();
  ASSERT_TRUE(Await([&] {
    for (auto& c : clients) {
      if (c->Counts().Placements == 0) return false;
    }
    return s.Own.UserNo != 0;
  })) << ServerLog();

  // The program sees the four traffic vehicles as remote vehicles: kinds and
  // start positions as the server placed them.
  const auto seen = [&](const TTrafficClient& c) { return Seen(s, c); };
  ASSERT_TRUE(Await([&] {
    for (auto& c : clients) {
      if (!seen(*c)) return false;
    }
    return true;
  })) << "the program does not see every traffic vehicle";
  std::vector<std::pair<double, double>> starts;
  for (auto& c : clients) starts.emplace_back(seen(*c)->X, seen(*c)->Y);
  const auto moved = [&](std::size_t i) {
    const vehicle::TVehicleState* v = seen(*clients[i]);
    return v ? std::hypot(v->X - starts[i].first, v->Y - starts[i].second) : 0.0;
  };
  EXPECT_EQ(seen(first)->Kind, vehicle::kKindTrain);
  EXPECT_EQ(seen(*clients[2])->Kind, vehicle::kKindRoad);
  ASSERT_GT(starts[1].second - starts[0].second, 300) << "m: the first train at the stop";

  // The cars set off after their pause; the trains wait at their stations.
  constexpr double kMoved = 50;  // m
  ASSERT_TRUE(Await([&] { return moved(2) >= kMoved && moved(3) >= kMoved; }))
      << "the cars did not move for the program";
  for (std::size_t i = 0; i < 2; ++i) {
    const vehicle::TVehicleState* v = seen(*clients[i]);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(vehicle::GroundSpeed(*v), 0) << clients[i]->Config().Handle << " dwells first";
  }

  // The held train stands at its start, its way blocked, until the first
  // train has left the station and gone; then it runs on to the station.
  constexpr double kAway = 20;  // m
  ASSERT_TRUE(Await([&] { return moved(0) >= kAway; }, 2 * kPatience))
      << "the first train never left station B";
  EXPECT_LT(moved(1), 1) << "m: the held train moved while the first stood at the station";
  EXPECT_EQ(held.State().RailSpeedLimit, 0.0) << "the held train's way is not blocked";
  ASSERT_TRUE(Await([&] { return moved(1) >= kAway; }, kPatience)) << "the held train never ran on";
  EXPECT_EQ(seen(first), nullptr) << "the held train ran on with the first still ahead";
  EXPECT_LT(seen(held)->Y, starts[1].second) << "the held train runs on southwards, to station B";
  for (auto& c : clients) EXPECT_EQ(c->Counts().Reports, 0) << c->Config().Handle;
  form->close();
}

TEST_F(TrafficTest, ARunThatLastsTooLongTakesItsMissionAgain) {
  // An airliner that never reaches its goal in time is placed at its start again.
  const uint16_t port = StartServer();
  ASSERT_NE(port, 0);
  TTrafficClient& client = AddClient(port, "AI-01", TTrafficKind::Airliner,
                                     [](TClientConfig& c) { c.LongestRunMs = 4000; });
  client.Start();
  ASSERT_TRUE(Await([&] { return client.Counts().Placements >= 1; })) << ServerLog();
  const double startY = client.State().Start.Y;
  ASSERT_TRUE(Await([&] { return client.Counts().Placements >= 2; })) << ServerLog();
  EXPECT_EQ(client.State().Start.Y, startY) << "the same start point";
  EXPECT_LT(std::fabs(client.State().Own.Y - startY), 1) << "m: back at the start";
  EXPECT_EQ(client.Counts().Logins, 1) << "in the same login";
}

TEST_F(TrafficTest, ATrafficTrainAboveItsCautionSpeedGetsTheEmergencyBrake) {
  // Placed at 25 m/s towards the 25 km/h section before the buffer stop: the
  // train protection applies the emergency brake, as for the user's own train.
  const uint16_t port = StartServer();
  ASSERT_NE(port, 0);
  TTrafficClient& client = AddClient(port, "AI-01", TTrafficKind::Train,
                                     [](TClientConfig& c) { c.MissionWord = "速度超過"; });
  client.Start();
  ASSERT_TRUE(Await([&] { return client.Counts().Placements >= 1; })) << ServerLog();
  EXPECT_TRUE(Await([&] { return client.State().EmergencyBrake != 0; }))
      << client.State().RailSpeedLimit << " m/s limit, " << vehicle::GroundSpeed(client.State().Own)
      << " m/s";
}

TEST_F(TrafficTest, AShotTrafficFighterLeavesAndJoinsAgainAfterThePause) {
  // The program takes the fighter mission beside a traffic fighter, flies
  // 300 m behind it on its track and fires.
  constexpr uint32_t kPause = 3000;  // ms
  const uint16_t port = StartServer();
  ASSERT_NE(port, 0);
  TTrafficClient& fighter = AddClient(port, "AI-01", TTrafficKind::Fighter,
                                      [](TClientConfig& c) { c.ShotPauseMs = kPause; });
  fighter.Start();
  const std::unique_ptr<ui::TFormMain> form = StartProgram(port);
  state::TMainState& s = form->State();
  ASSERT_TRUE(Await([&] { return fighter.Counts().Placements >= 1 && s.Own.UserNo != 0; }))
      << ServerLog();
  const std::vector<int32_t> missions = MissionsForKind(s, TTrafficKind::Fighter);
  ASSERT_FALSE(missions.empty());
  app::SendMission(s, missions.front());
  ASSERT_TRUE(Await([&] { return s.Own.FormNo != 0 && Seen(s, fighter); }));
  const int32_t targetNo = fighter.State().Own.UserNo;

  const auto seenAs = [&](int32_t userNo) {
    for (int i = 0; i < vehicle::RemoteCount(s.Remote); ++i) {
      if (s.Remote[static_cast<std::size_t>(i)].UserNo == userNo) return true;
    }
    return false;
  };
  QElapsedTimer behind, lastShot;
  behind.start();
  ASSERT_TRUE(Await(
      [&] {
        if (!seenAs(targetNo)) return true;
        const vehicle::TVehicleState* target = Seen(s, fighter);
        const double speed = target ? std::hypot(target->VX, target->VY) : 0;
        if (speed < 1) return false;
        s.Own.X = target->X - 300 * target->VX / speed;
        s.Own.Y = target->Y - 300 * target->VY / speed;
        s.Own.Z = target->Z;
        s.Own.VX = target->VX;
        s.Own.VY = target->VY;
        s.Own.VZ = target->VZ;
        s.Own.Heading = target->Heading;
        s.Own.Pitch = target->Pitch;
        s.Own.Bank = target->Bank;
        // Once the server has had the position behind, a shot each time one may go.
        if (behind.elapsed() > 500 && (!lastShot.isValid() || lastShot.elapsed() > 10000)) {
          app::SendShot(s, targetNo);
          lastShot.start();
        }
        return false;
      },
      2 * kPatience))
      << "the fighter was never hit\n"
      << ServerLog();
  // It leaves the server, logs in again after the pause, with a new user
  // number, and takes its mission again.
  ASSERT_TRUE(Await([&] { return fighter.State().Own.UserNo == 0; }))
      << "the shot fighter did not leave";
  QElapsedTimer away;
  away.start();
  ASSERT_TRUE(Await([&] { return fighter.Counts().Placements >= 2 && Seen(s, fighter); }))
      << "the fighter did not join again";
  // Seen from here the pause may look shorter by the time the event loop
  // took to notice the leave, but never by half.
  EXPECT_GT(away.elapsed(), kPause / 2) << "ms: back long before the pause";
  EXPECT_EQ(fighter.Counts().Logins, 2);
  EXPECT_NE(fighter.State().Own.UserNo, targetNo);
  EXPECT_EQ(fighter.Counts().ShotDown, 1);
  EXPECT_EQ(fighter.Counts().Reports, 0) << "being shot is no problem to report";
  form->close();
}

TEST_F(TrafficTest, RefusalsClosesAndEmptyListsAreReportedOnceAndRetriedWithAGrowingPause) {
  using Peer = velmora::testing::ScriptedServer::Peer;
  const struct {
    const char* Name;
    velmora::testing::ScriptedServer::Answer Answer;
  } cases[] = {
      {"refused handle", [](Peer& p, std::string_view) { p.Say("52566771;10;handle in use\t\n"); }},
      {"closed", [](Peer& p, std::string_view) { p.Close(); }},
      {"no mission",
       [](Peer& p, std::string_view) {
         p.Say("52566771;30;1;1;\n52566771;0;1;heading\tpractice only\t\n");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    velmora::testing::ScriptedServer fake(c.Answer);
    ASSERT_NE(fake.Port(), 0);
    const std::string handle = std::string("AI-") + c.Name;
    TTrafficClient& client =
        AddClient(fake.Port(), handle.c_str(), TTrafficKind::Train,
                  [](TClientConfig& config) { config.MissionListWaitMs = 200; });
    client.Start();
    // Three failed logins: 1 s, then 2 s before the next.
    ASSERT_TRUE(Await([&] { return client.Counts().Retries >= 3; }))
        << client.Counts().Logins << " logins, " << client.Counts().Retries << " retries, "
        << client.State().MissionRowCount << " mission rows, login stage "
        << static_cast<int>(client.State().LoginStage);
    EXPECT_EQ(reports[handle].size(), 1u) << "reported once";
    EXPECT_EQ(client.RetryPauseMs(), 8 * kFirstRetryMs) << "the pause doubles";
    EXPECT_GE(fake.Connections(), 3);
    EXPECT_LE(fake.Connections(), 4) << "no tight loop of logins";
    clients.clear();
  }
}

// A server that takes the connection and never answers: the silence is
// reported once after app::kServerSilenceMs, and after kSilenceGiveUpMs the
// client gives the connection up and logs in anew after the usual pause.
TEST_F(TrafficTest, ASilentServerIsReportedAndLeftForANewLogin) {
  const velmora::testing::ScriptedServer silent;
  testing::TSettableClock settable;
  clientClock = &settable;
  TTrafficClient& client = AddClient(silent.Port(), "AI-silent", TTrafficKind::Train);
  client.Start();
  ASSERT_TRUE(Await([&] { return client.State().LoginStage == state::TLoginStage::Sent; }));
  const std::vector<std::string>& said = reports["AI-silent"];
  const struct {
    uint32_t SilentMs;
    std::size_t Reports;
    int Retries;
  } steps[] = {{app::kServerSilenceMs - 1, 0, 0},
               {app::kServerSilenceMs, 1, 0},
               {kSilenceGiveUpMs - 1, 1, 0},
               {kSilenceGiveUpMs, 1, 1}};  // the same problem: no second line
  for (const auto& step : steps) {
    settable.Now = step.SilentMs;
    client.WatchSilence();
    EXPECT_EQ(said.size(), step.Reports) << step.SilentMs << " ms";
    EXPECT_EQ(client.Counts().Retries, step.Retries) << step.SilentMs << " ms";
  }
  EXPECT_EQ(said.at(0).rfind("サーバーからの応答がありません。", 0), 0u) << said[0];
  EXPECT_EQ(client.RetryPauseMs(), 2 * kFirstRetryMs) << "the pause grows as after a failed login";
  ASSERT_TRUE(Await([&] { return silent.Connections() == 2; })) << "no new login";
}

}  // namespace
}  // namespace velmora::traffic
