// velmora-server as a process, with scripted clients over loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/text_encoding.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_file.h"

namespace velmora::testing {
namespace {

const std::string kPrefix = "52566771;20;1;";
constexpr milliseconds kWait(10000);  // bound of every wait for the server

const char* kMissions =
    "heading Choose\n"
    "mission Fighters\n"
    "group 1\n"
    "start 12 0 -1500 3000 0 0 200 0\n"
    "start 12 0 1500 3000 180 0 200 0\n"
    "mission Cars\n"
    "start 20 0 0 0 0 0 0 0\n";

std::string Cp932(const std::string& utf8) { return net::Utf8ToCp932(utf8).Text; }

std::string State(int user, double xCm, double yCm) {
  char text[256];
  std::snprintf(text, sizeof text, "40;%d;1;1000;2;20;%.0f;%.0f;-60;0;0;0;0;0;0;0;", user, xCm,
                yCm);
  return kPrefix + text;
}

// The records of a position line as user number → the record's fields.
std::map<long long, std::vector<long long>> Records(const std::string& line) {
  std::vector<long long> numbers;
  std::size_t at = 0;
  while (at < line.size() && line[at] != '\n') {
    const std::size_t end = line.find(';', at);
    if (end == std::string::npos) break;
    numbers.push_back(std::stoll(line.substr(at, end - at)));
    at = end + 1;
  }
  std::map<long long, std::vector<long long>> records;
  for (std::size_t i = 6; i + 15 <= numbers.size() && numbers[i] != 0; i += 15) {
    records[numbers[i]].assign(numbers.begin() + static_cast<long>(i),
                               numbers.begin() + static_cast<long>(i + 15));
  }
  return records;
}

bool IsPositions(const std::string& line) { return line.rfind("52566771;40;", 0) == 0; }

class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = TestFilePath("server.log").string();
    Restart({}, log_);
  }

  // (Re)starts the server with more arguments, its log going to logPath.
  void Restart(const std::vector<std::string>& arguments, const std::string& logPath) {
    server_.reset();
    std::vector<std::string> all{"--missions", WriteTestFile("missions.txt", kMissions).string()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    server_ = std::make_unique<ServerProcess>(VELMORA_SERVER_EXE, all, logPath);
    ASSERT_NE(server_->Port(), 0) << "the server did not start";
  }

  // A client that has sent its login under `handle`.
  std::unique_ptr<TestClient> StartLogin(const std::string& handle,
                                         const std::string& source = "127.0.0.1",
                                         int receiveBuffer = 0) {
    auto client = std::make_unique<TestClient>(server_->Port(), source, receiveBuffer);
    EXPECT_TRUE(client->Connected());
    client->Send(kPrefix + "30;guest\ttovel\t0;" + Cp932(handle));
    return client;
  }

  // Waits for the login reply; returns the user number (0 when none came).
  static int FinishLogin(TestClient& client) {
    const auto accepted = client.ReadUntil(
        [](const std::string& l) { return l.rfind("52566771;30;", 0) == 0; }, kWait);
    if (!accepted) return 0;
    client.Send(kPrefix + "40;0;");
    return std::stoi(accepted->substr(12));
  }

  std::unique_ptr<TestClient> Login(const std::string& handle, int& user,
                                    const std::string& source = "127.0.0.1",
                                    int receiveBuffer = 0) {
    auto client = StartLogin(handle, source, receiveBuffer);
    user = FinishLogin(*client);
    EXPECT_NE(user, 0) << "login of " << handle;
    return client;
  }

  // Reads position lines until one shows `user` with the given x (cm).
  static bool SeesAt(TestClient& client, int user, long long xCm) {
    return client
        .ReadUntil(
            [&](const std::string& l) {
              if (!IsPositions(l)) return false;
              const auto records = Records(l);
              const auto it = records.find(user);
              return it != records.end() && it->second[4] == xCm;
            },
            kWait)
        .has_value();
  }

  std::string log_;
  std::unique_ptr<ServerProcess> server_;
};

TEST_F(LoopbackTest, TwoClientsSeeEachOtherAndChatInJapanese) {
  int a = 0, b = 0;
  auto clientA = Login("あいこ", a);
  auto clientB = Login("ぼぶ", b);
  clientA->Send(kPrefix + "50;" + std::to_string(a) + ";1;2;");
  clientB->Send(kPrefix + "50;" + std::to_string(b) + ";1;2;");
  clientA->Send(State(a, 1234, 5678));
  clientB->Send(State(b, -4321, 10));
  EXPECT_TRUE(SeesAt(*clientB, a, 1234));
  EXPECT_TRUE(SeesAt(*clientA, b, -4321));

  clientA->Send(kPrefix + "20;" + std::to_string(a) + ";1;" + Cp932("こんにちは") + "\t");
  const std::string chat = Cp932("52566771;20;あいこ\tこんにちは\t\n");
  for (TestClient* c : {clientA.get(), clientB.get()}) {
    EXPECT_TRUE(c->ReadUntil([&](const std::string& l) { return l == chat; }, kWait));
  }

  // b leaves: a sees its vehicle go (kind 0) at once.
  clientB.reset();
  EXPECT_TRUE(clientA->ReadUntil(
      [&](const std::string& l) {
        const auto records = Records(l);
        const auto it = records.find(b);
        return IsPositions(l) && it != records.end() && it->second[2] == 0;
      },
      kWait));
}

TEST_F(LoopbackTest, AHundredClientsInOneRoomSeeEachOther) {
  constexpr int kClients = 100;
  std::vector<std::unique_ptr<TestClient>> clients;
  std::vector<int> users(kClients);
  // They log in a few at a time, each few from an address of its own: one
  // address may hold only a few pending logins and a few users.
  constexpr int kAtOnce = 8;
  for (int first = 0; first < kClients; first += kAtOnce) {
    const int end = std::min(first + kAtOnce, kClients);
    const std::string source = "127.0.3." + std::to_string(1 + first / kAtOnce);
    for (int i = first; i < end; ++i)
      clients.push_back(StartLogin("c" + std::to_string(i), source));
    for (int i = first; i < end; ++i) {
      users[i] = FinishLogin(*clients[i]);
      ASSERT_NE(users[i], 0) << "client " << i;
    }
  }
  for (int i = 0; i < kClients; ++i) {
    clients[i]->Send(kPrefix + "50;" + std::to_string(users[i]) + ";1;2;");
    clients[i]->Send(State(users[i], i * 10.0, 0));
  }
  for (int i = 0; i < kClients; ++i) {
    const auto line = clients[i]->ReadUntil(
        [&](const std::string& l) {
          if (!IsPositions(l)) return false;
          const auto records = Records(l);
          if (records.size() != kClients - 1 || records.count(users[i]) != 0) return false;
          for (int j = 0; j < kClients; ++j) {
            if (j == i) continue;
            const auto it = records.find(users[j]);
            if (it == records.end() || it->second[4] != j * 10) return false;
          }
          return true;
        },
        kWait);
    ASSERT_TRUE(line) << "client " << i << " never saw the 99 others where they are";
  }
}

TEST_F(LoopbackTest, AClientThatFallsBehindGetsEveryLineWholeAndInOrder) {
  Restart({"--interval", "10"}, log_);
  // A small receive window and small segments: once some 300 kB wait, the
  // system takes only part of a line.
  auto slowClient = std::make_unique<TestClient>(server_->Port(), "127.0.0.1", 4096, 536);
  slowClient->Send(kPrefix + "30;guest\ttovel\t0;slow");
  ASSERT_NE(FinishLogin(*slowClient), 0);
  constexpr int kCars = 40;
  std::vector<std::unique_ptr<TestClient>> cars;
  std::vector<int> users(kCars);
  for (int i = 0; i < kCars; ++i) {
    cars.push_back(
        Login("car" + std::to_string(i), users[i], "127.0.6." + std::to_string(1 + i / 8)));
    cars.back()->Send(kPrefix + "50;" + std::to_string(users[i]) + ";1;2;");
  }
  // Rounds pile up while the client reads nothing; fresh states keep every
  // car in them.
  for (int second = 0; second < 6; ++second) {
    for (int i = 0; i < kCars; ++i) cars[i]->Send(State(users[i], 9000 + i, -9000));
    usleep(second < 5 ? 1000000 : 0);
  }
  // Once all cars are in, every round shows all of them, rounds in order.
  int full = 0;
  long long lastTime = -1;
  while (full < 300) {
    const auto line = slowClient->ReadLine(kWait);
    ASSERT_TRUE(line) << "after " << full << " full rounds";
    if (!IsPositions(*line)) continue;
    ASSERT_EQ(line->substr(line->size() - 3), "0;\n") << *line;
    // A round the event loop starts late may be followed within the same
    // millisecond by one on time. Clients take each record's time from its
    // line and step from there, dividing by no difference between rounds, so
    // rounds only never go back.
    const long long time = std::stoll(line->substr(line->find(';', 12) + 1));
    EXPECT_GE(time, lastTime) << *line;
    lastTime = time;
    const std::size_t seen = Records(*line).size();
    if (full > 0) {
      EXPECT_EQ(seen, static_cast<std::size_t>(kCars)) << *line;
    }
    full += seen == kCars ? 1 : 0;
  }
}

TEST_F(LoopbackTest, SpoofingChatInjectionAndGarbageHarmNobodyElse) {
  int a = 0, b = 0, c = 0;
  auto clientA = Login("a", a);
  auto clientB = Login("b", b);
  auto clientC = Login("c", c);
  clientA->Send(kPrefix + "50;" + std::to_string(a) + ";1;2;");
  clientB->Send(kPrefix + "50;" + std::to_string(b) + ";1;2;");
  clientB->Send(State(b, 700, 0));
  ASSERT_TRUE(SeesAt(*clientC, b, 700));

  // a claims to be b, then chats with a line end and a forged login reply in
  // the text. Its messages are handled in order, so once the chat is back the
  // forged state has been dealt with.
  clientA->Send(State(b, 99900, 0));
  clientA->Send(kPrefix + "20;" + std::to_string(a) + ";1;x\n52566771;30;999;1;\t");
  const auto chat = clientC->ReadUntil(
      [](const std::string& l) { return l.rfind("52566771;20;", 0) == 0; }, kWait);
  ASSERT_TRUE(chat);
  EXPECT_EQ(*chat, "52566771;20;a\tx 52566771;30;999;1;\t\n");
  const auto after = clientC->ReadUntil(IsPositions, kWait);
  ASSERT_TRUE(after);
  EXPECT_EQ(Records(*after)[b][4], 700);

  // c sends garbage: only c's connection closes.
  clientC->Send("\x16\x03\x01 hello?");
  EXPECT_TRUE(clientC->ClosedWithin(kWait));
  EXPECT_TRUE(clientB->ReadUntil(IsPositions, kWait));
  clientB->Send(State(b, 800, 0));
  EXPECT_TRUE(SeesAt(*clientA, b, 800));

  // The log names each login, the mission choices and the disconnect.
  for (const std::string& line : {"login: user " + std::to_string(a) + " 'a'",
                                  "mission: user " + std::to_string(b) + " 'b' chose mission 2",
                                  "disconnect: user " + std::to_string(c) + " 'c': malformed"}) {
    EXPECT_TRUE(server_->AwaitLog(line, kWait)) << line << "\n" << server_->Log();
  }
}

TEST_F(LoopbackTest, AStrangerHoldingEveryPendingSlotLocksNobodyOut) {
  // Restart with two users: pending connections alone once filled every
  // connection the server would take (users + 16).
  Restart({"--max-users", "2"}, log_);
  constexpr int kStrangers = 40;  // more than any budget the server holds
  std::vector<std::unique_ptr<TestClient>> strangers;
  for (int i = 0; i < kStrangers; ++i) {
    strangers.push_back(std::make_unique<TestClient>(server_->Port()));
    ASSERT_TRUE(strangers.back()->Connected());
    strangers.back()->Send(kPrefix + "30;gue");
  }
  int user = 0;
  auto client = Login("real", user, "127.0.0.2");
  EXPECT_NE(user, 0) << "the real user was locked out";
}

TEST_F(LoopbackTest, FloodsOfEmptyConnectionsKeepNoLoginOut) {
  // Empty connections from the users' own address, from a few and from many
  // others, fill the budgets of pending logins many times over, and between
  // their bursts 20 users log in one after another. The server takes
  // connections in the order they came, so each login meets the budgets just
  // filled by the burst before it: the admission rule decides, not the speed
  // of the machine.
  constexpr int kLogins = 20;
  constexpr int kBurst = 30;        // empty connections before each login
  constexpr int kFirstBurst = 300;  // more than the whole budget of pending logins
  for (const int addresses : {1, 4, 60}) {
    std::deque<int> flood;  // the flood's open connections, oldest first
    int opened = 0;
    const auto burst = [&](int count) {
      for (int i = 0; i < count; ++i, ++opened) {
        const std::string source = "127.0.0." + std::to_string(2 + opened % addresses);
        flood.push_back(OpenFrom(source, server_->Port(), true));
        if (flood.size() > 500) {
          close(flood.front());
          flood.pop_front();
        }
      }
    };
    burst(kFirstBurst);
    int admitted = 0;
    for (int i = 0; i < kLogins; ++i) {
      burst(kBurst);
      const std::string source = addresses == 1 ? "127.0.0.2" : "127.0.1." + std::to_string(i + 1);
      const auto client =
          StartLogin("r" + std::to_string(addresses) + "_" + std::to_string(i), source);
      admitted += FinishLogin(*client) != 0 ? 1 : 0;
    }
    for (const int fd : flood) close(fd);
    EXPECT_EQ(admitted, kLogins) << "flood from " << addresses << " addresses";
  }
}

TEST_F(LoopbackTest, TwoHundredClientsComingBackAtOnceAllGetIn) {
  // As after a restart: they all connect at once, twenty from each of ten
  // addresses (an address may hold 8 pending logins and 8 users, the room
  // 100), and each one closed or refused tries again in the next round of
  // tries. An accepted client leaves at once. Every try is answered, one way
  // or the other, and the rounds let all of them in.
  constexpr int kClients = 200;
  constexpr int kMostRounds = 100;
  std::vector<bool> in(kClients, false);
  int left = kClients;
  for (int round = 0; round < kMostRounds && left > 0; ++round) {
    std::vector<std::pair<int, std::unique_ptr<TestClient>>> tries;
    for (int i = 0; i < kClients; ++i) {
      if (!in[i]) {
        tries.emplace_back(
            i, StartLogin("back" + std::to_string(i), "127.0.2." + std::to_string(1 + i / 20)));
      }
    }
    for (auto& [i, client] : tries) {
      const std::optional<std::string> answer = client->ReadLine(kWait);
      ASSERT_TRUE(answer || client->Closed()) << "client " << i << " got no answer";
      if (answer && answer->rfind("52566771;30;", 0) == 0) {
        in[i] = true;
        --left;
      }
      client.reset();
    }
  }
  for (int i = 0; i < kClients; ++i) EXPECT_TRUE(in[i]) << "client " << i;
}

TEST_F(LoopbackTest, AUserWhoNeitherSendsNorReadsIsClosedOneWhoReadsStays) {
  Restart({"--idle-limit", "1", "--interval", "10"}, log_);
  int reader = 0, sleeper = 0;
  auto readerClient = Login("reader", reader);
  // A small receive buffer, so that its window closes within a second.
  auto sleeperClient = Login("sleeper", sleeper, "127.0.0.1", 4096);
  ASSERT_NE(sleeper, 0);
  // The reader only reads; the sleeper does nothing at all until the server
  // says it closed it (reading would make it active).
  bool sleeperClosed = false;
  const auto deadline = Clock::now() + kWait;
  while (!sleeperClosed && Clock::now() < deadline) {
    readerClient->Drain();
    readerClient->Buffer().clear();
    usleep(10000);
    sleeperClosed = server_->LogHas("'sleeper': idle");
  }
  EXPECT_TRUE(sleeperClosed);
  EXPECT_TRUE(sleeperClient->ClosedWithin(kWait));
  // Twice the idle limit later, the reader still gets its rounds.
  const auto later = Clock::now() + milliseconds(2000);
  while (Clock::now() < later) {
    readerClient->Drain();
    readerClient->Buffer().clear();
    usleep(10000);
  }
  EXPECT_TRUE(readerClient->ReadUntil(IsPositions, kWait)) << "the reader was closed";
}

TEST_F(LoopbackTest, AClientFloodingTheLogNobodyReadsDelaysNoRound) {
  Restart({}, "");
  int flooder = 0, other = 0;
  auto flood = Login("flood", flooder);
  auto otherClient = Login("other", other);
  // Each missing mission is a log line: far more than the log pipe holds.
  const std::string bad = kPrefix + "50;" + std::to_string(flooder) + ";1;999;";
  std::string burst;
  for (int i = 0; i < 2000; ++i) burst += bad;
  for (int i = 0; i < 2; ++i) {
    flood->Send(burst);
    flood->Drain();
    flood->Buffer().clear();
  }
  // Rounds still come, and the flooder's own connection still works.
  usleep(200000);
  otherClient->Drain();
  otherClient->Buffer().clear();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(otherClient->ReadUntil(IsPositions, kWait)) << i;
  flood->Send(kPrefix + "20;" + std::to_string(flooder) + ";1;done\t");
  EXPECT_TRUE(otherClient->ReadUntil(
      [](const std::string& l) { return l == "52566771;20;flood\tdone\t\n"; }, kWait));
}

TEST_F(LoopbackTest, AChatBurstLargerThanTheOutputLimitClosesOnlyTheSender) {
  constexpr int kListeners = 10;
  std::vector<std::unique_ptr<TestClient>> listeners;
  std::vector<int> users(kListeners);
  // Each from an address of its own: one address may hold only a few users.
  for (int i = 0; i < kListeners; ++i) {
    listeners.push_back(
        Login("l" + std::to_string(i), users[i], "127.0.4." + std::to_string(i + 1)));
  }
  int flooder = 0;
  auto flood = Login("flood", flooder);
  // 4.5 MB of chat in one burst, more than a client's 4 MiB output limit.
  const std::string line =
      kPrefix + "20;" + std::to_string(flooder) + ";1;" + std::string(9000, 'x') + "\t";
  std::string burst;
  while (burst.size() < 4500000) burst += line;
  flood->Send(burst);  // fails part-way once the server has closed it
  EXPECT_TRUE(flood->ClosedWithin(kWait));
  // Every listener is still connected: a chat line of one reaches all.
  listeners[0]->Send(kPrefix + "20;" + std::to_string(users[0]) + ";1;still here\t");
  for (int i = 0; i < kListeners; ++i) {
    EXPECT_TRUE(listeners[i]->ReadUntil(
        [](const std::string& l) { return l == "52566771;20;l0\tstill here\t\n"; }, kWait))
        << "listener " << i;
  }
}

// Runs the server with arguments, returns its exit status and its output.
int RunServer(const std::string& arguments, std::string& output) {
  const std::string command = std::string(VELMORA_SERVER_EXE) + " " + arguments + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    output.append(buffer, n);
  }
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ServerProgram, HelpBadArgumentsAndBadMissionsFile) {
  std::string help;
  EXPECT_EQ(RunServer("--help", help), 0);
  EXPECT_NE(help.find("Usage: velmora-server"), std::string::npos);

  std::string bad;
  EXPECT_EQ(RunServer("--port nonsense", bad), 2);
  EXPECT_NE(bad.find("option --port takes a whole number"), std::string::npos) << bad;

  const auto missions = WriteTestFile("m.txt", "mission A\nstart 12 0 0 0 0 0 0 0\nfly away\n");
  std::string broken;
  EXPECT_EQ(RunServer("--port 0 --missions " + missions.string(), broken), 1);
  EXPECT_NE(broken.find(missions.string() + ": line 3: unknown keyword 'fly'"), std::string::npos)
      << broken;
}

}  // namespace
}  // namespace velmora::testing
