#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "net/text_encoding.h"
#include "server/room.h"
#include "server/server_lines.h"
#include "tests/server/room_fixture.h"

namespace velmora::server {
namespace {

TEST_F(RoomTest, LoginRepliesWithUserRoomWindAndMissions) {
  ASSERT_TRUE(room.Connect(1, now));
  room.Receive(1, kPrefix + "30;guest\ttovel\t12345;" + Cp932("たろう"), now);
  EXPECT_TRUE(out.Take(1).empty()) << "the handle may still be arriving";
  room.GraceExpired(1, now);
  EXPECT_EQ(out.Take(1), (std::vector<std::string>{
                             "52566771;30;1;1;\n",
                             "52566771;80;150;-200;\n",
                             Cp932("52566771;0;1;ミッション\t戦闘機\t練習\tレース\t車\t\n"),
                         }));
  EXPECT_EQ(room.UserCount(), 1);
  EXPECT_EQ(out.log.back(), "login: user 1 'たろう' on connection 1");
  // The next login gets the next user number.
  EXPECT_EQ(Login(2, "はなこ"), 2);
}

TEST_F(RoomTest, LoginHandleMayArriveInPieces) {
  ASSERT_TRUE(room.Connect(1, now));
  room.Receive(1, kPrefix + "30;guest\ttovel\t1;ab", now);
  room.Receive(1, "cd", now);
  room.GraceExpired(1, now);
  ASSERT_FALSE(out.sent[1].empty());
  room.Receive(1, kPrefix + "20;1;1;x\t", now);
  EXPECT_EQ(out.Take(1).back(), "52566771;20;abcd\tx\t\n");
}

TEST_F(RoomTest, RefusalsSayWhyAndAllowAnotherTry) {
  Login(9, "taken");
  struct Case {
    std::string login;  // after the prefix
    std::string text;   // UTF-8
  };
  const std::vector<Case> cases = {
      {"30;guest\twrong\t1;name", "ユーザー名かパスワードが違います。"},
      {"30;admin\ttovel\t1;name", "ユーザー名かパスワードが違います。"},
      {"30;guest\ttovel\t1;", "ハンドル名が空です。"},
      {"30;guest\ttovel\t1; \t ", "ハンドル名が空です。"},
      {"30;guest\ttovel\t1;taken", "そのハンドル名は使用中です。別の名前を入れてください。"},
      {"30;guest\ttovel\t1;" + std::string(33, 'x'), "ハンドル名が長すぎます（全角16文字まで）。"},
      {"30;guest\ttovel\t1;\x81", "ハンドル名に使えない文字が含まれています。"},
  };
  ConnectionId id = 100;
  for (const Case& c : cases) {
    ASSERT_TRUE(room.Connect(id, now));
    room.Receive(id, kPrefix + c.login, now);
    room.GraceExpired(id, now);
    EXPECT_EQ(out.Take(id), std::vector<std::string>{"52566771;10;" + Cp932(c.text) + "\t\n"})
        << c.login;
    // The connection stays and may log in properly.
    room.Receive(id, kPrefix + "30;guest\ttovel\t1;user" + std::to_string(id), now);
    room.GraceExpired(id, now);
    const auto lines = out.Take(id);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rfind("52566771;30;", 0), 0u);
    ++id;
  }
  EXPECT_TRUE(out.closed.empty());
}

class FullRoomTest : public RoomTest {
 protected:
  FullRoomTest() : RoomTest(1) {}
};

TEST_F(FullRoomTest, AFullWorldRefusesTheNextLogin) {
  Login(1, "first");
  ASSERT_TRUE(room.Connect(2, now));
  room.Receive(2, kPrefix + "30;guest\ttovel\t1;second", now);
  room.GraceExpired(2, now);
  EXPECT_EQ(out.Take(2),
            std::vector<std::string>{"52566771;10;" +
                                     Cp932("満員のため入れません。しばらくしてからもう一度お試しください。") +
                                     "\t\n"});
  // Room is made when the first one leaves.
  room.Disconnect(1);
  room.Receive(2, kPrefix + "30;guest\ttovel\t1;second", now);
  room.GraceExpired(2, now);
  EXPECT_EQ(out.Take(2).front(), "52566771;30;2;1;\n");
}

TEST_F(RoomTest, MissionChoicePlacesTheVehicleWithTheOwnRecordOnce) {
  const int32_t user = Login(1, "a");
  Round(1);
  Choose(1, user, 1);
  EXPECT_EQ(out.log.back(), "mission: user 1 'a' chose mission 1 '戦闘機', start point 1");
  Advance(100);
  const Positions placed = Round(1);
  EXPECT_EQ(placed.Head, (std::vector<long long>{100, 1100, 150, -200}));
  ASSERT_EQ(placed.Records.size(), 1u);
  // user, group, kind, type, x, y, z (cm), heading, pitch, bank, flap (0.01°), v (cm/s), age
  EXPECT_EQ(placed.Records[0], (Record{1, 1, 1, 12, 0, -150000, -300000, 0, 0, 0, 0, 0, 20000, 0, 0}));
  // Later rounds leave the own vehicle out: the program would reset it again.
  Advance(100);
  EXPECT_TRUE(Round(1).Records.empty());
}

TEST_F(RoomTest, UsersOfAMissionShareItsStartPoints) {
  const int32_t a = Login(1, "a");
  const int32_t b = Login(2, "b");
  const int32_t c = Login(3, "c");
  Choose(1, a, 1);
  Choose(2, b, 1);
  Choose(3, c, 1);
  room.Broadcast(now);
  EXPECT_EQ(room.VehicleOf(a)->Y, -150000);
  EXPECT_EQ(room.VehicleOf(b)->Y, 150000);
  EXPECT_EQ(room.VehicleOf(b)->Heading, 18000);
  EXPECT_EQ(room.VehicleOf(c)->Y, -150000);
}

TEST_F(RoomTest, PracticeIsPlacedWithKindZeroAndFliesAlone) {
  const int32_t a = Login(1, "a");
  Login(2, "b");
  Choose(1, a, 4);
  Round(2);
  Choose(1, a, 2);
  const Positions own = Round(1);
  const Positions other = out.sent[2].empty() ? Positions{} : ReadPositions(out.Take(2).back());
  ASSERT_EQ(own.Records.size(), 1u);
  EXPECT_EQ(own.Records[0][2], 0);   // kind 0: practice mode
  EXPECT_EQ(own.Records[0][3], 10);  // the airliner, gear up
  // The other user sees the earlier car leave, and then nothing.
  ASSERT_EQ(other.Records.size(), 1u);
  EXPECT_EQ(other.Records[0][0], a);
  EXPECT_EQ(other.Records[0][2], 0);
  EXPECT_TRUE(Round(2).Records.empty());
  EXPECT_EQ(room.VehicleOf(a), nullptr);
}

TEST_F(RoomTest, TwoClientsSeeEachOthersStates) {
  const auto [a, b] = PlaceTwo(3, 4);
  room.Receive(1, State(a, 1, 2, 20, 80000, -99000, -60, 0, 0, 1500), now);
  room.Receive(2, State(b, 1, 2, 20, 10, 20, -60, 9000, 300, 0), now);
  Advance(40);
  const Positions atA = Round(1);
  const Positions atB = ReadPositions(out.Take(2).back());
  ASSERT_EQ(atA.Records.size(), 1u);
  ASSERT_EQ(atB.Records.size(), 1u);
  EXPECT_EQ(atB.Records[0], (Record{a, 0, 2, 20, 80000, -99000, -60, 0, 0, 0, 0, 0, 1500, 0, 40}));
  EXPECT_EQ(atA.Records[0], (Record{b, 0, 2, 20, 10, 20, -60, 9000, 0, 0, 0, 300, 0, 0, 40}));
}

TEST_F(RoomTest, AHundredClientsSeeEachOther) {
  constexpr int kUsers = 100;
  for (int i = 1; i <= kUsers; ++i) {
    const int32_t user = Login(static_cast<ConnectionId>(i), "u" + std::to_string(i));
    Choose(static_cast<ConnectionId>(i), user, 4);
  }
  room.Broadcast(now);
  for (int i = 1; i <= kUsers; ++i) {
    room.Receive(static_cast<ConnectionId>(i), State(i, 1, 2, 20, i * 50.0, 0, -60), now);
  }
  room.Broadcast(now);
  for (int i = 1; i <= kUsers; ++i) {
    const Positions p = ReadPositions(out.Take(static_cast<ConnectionId>(i)).back());
    ASSERT_EQ(p.Records.size(), static_cast<std::size_t>(kUsers - 1)) << "user " << i;
    EXPECT_EQ(RecordOf(p, i), nullptr);
    for (int j = 1; j <= kUsers; ++j) {
      if (j == i) continue;
      const Record* r = RecordOf(p, j);
      ASSERT_NE(r, nullptr);
      EXPECT_EQ((*r)[4], j * 50);
    }
  }
}

class CrowdedRoomTest : public RoomTest {
 protected:
  static constexpr int kUsers = 200;
  CrowdedRoomTest() : RoomTest(kUsers) {}
};

TEST_F(CrowdedRoomTest, NumbersPastAReplayEntrysAndLinesOfTheRecordsThatFit) {
  for (int i = 1; i <= kUsers; ++i) {
    // Past 127 the numbers go on only while every lower one is held.
    ASSERT_EQ(Login(static_cast<ConnectionId>(i), "u" + std::to_string(i)), i);
    Choose(static_cast<ConnectionId>(i), i, 4);
  }
  room.Broadcast(now);
  Advance(2000);  // states far from the start point count from now
  // Far from the start: records of 60 to 70 bytes, too many for one line.
  for (int i = 1; i <= kUsers; ++i) {
    room.Receive(static_cast<ConnectionId>(i),
                 State(i, 1, 2, 20, -123456789, 98765432, -60, 27000, -3000, 4000), now);
  }
  Choose(1, 1, 4);
  Choose(kUsers, kUsers, 4);
  room.Broadcast(now);
  for (const int i : {1, kUsers}) {
    const std::string line = out.Take(static_cast<ConnectionId>(i)).back();
    EXPECT_LE(line.size(), kMaxLineBytes + 1) << "user " << i;
    EXPECT_GT(line.size(), kMaxLineBytes + 1 - 70) << "one more record would have fit";
    const Positions p = ReadPositions(line);
    // Whole records of the others in the room's order, more than the 100 a
    // program holds, then the own record that places the vehicle.
    ASSERT_GT(p.Records.size(), 101u);
    ASSERT_LT(p.Records.size(), static_cast<std::size_t>(kUsers));
    EXPECT_EQ(p.Records.back()[0], i);
    for (std::size_t k = 0; k + 1 < p.Records.size(); ++k) {
      EXPECT_EQ(p.Records[k][0], static_cast<long long>(k) + (static_cast<int>(k) + 1 < i ? 1 : 2));
    }
  }
}

TEST_F(RoomTest, AClientClaimingAnotherUserChangesNothing) {
  const auto [a, b] = PlaceTwo(4, 4);
  const WireVehicle before = *room.VehicleOf(b);
  // State, mission choice, chat and shot in b's name or in another room.
  room.Receive(1, State(b, 1, 2, 20, 5000, 5000, -60), now);
  room.Receive(1, State(a, 2, 2, 20, 5000, 5000, -60), now);
  room.Receive(1, kPrefix + "50;" + std::to_string(b) + ";1;1;", now);
  room.Receive(1, kPrefix + "20;" + std::to_string(b) + ";1;I am b\t", now);
  room.Receive(1, kPrefix + "60;" + std::to_string(b) + ";1;" + std::to_string(a) + ";", now);
  EXPECT_EQ(room.VehicleOf(b)->X, before.X);
  EXPECT_EQ(room.VehicleOf(b)->FormNo, 20);
  EXPECT_EQ(room.VehicleOf(a)->X, 0);
  EXPECT_TRUE(out.Take(1).empty());
  EXPECT_TRUE(out.Take(2).empty());
  EXPECT_TRUE(out.closed.empty());
  EXPECT_EQ(out.log.back(), "user 1: state claiming user 2 in room 1 ignored");
}

TEST_F(RoomTest, ChatCannotInjectALine) {
  Login(1, "a\tb");
  Login(2, "c");
  const std::string injected = "hi\n52566771;30;99;1;\r\n52566771;20;evil";
  room.Receive(1, kPrefix + "20;1;1;" + injected + "\t", now);
  const std::string expected = "52566771;20;a b\thi 52566771;30;99;1;  52566771;20;evil\t\n";
  for (ConnectionId id : {1, 2}) {
    const std::vector<std::string> lines = out.Take(id);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], expected);
  }
}

TEST_F(RoomTest, ChatCarriesJapaneseTextAndAnEmptyText) {
  Login(1, "たろう");
  room.Receive(1, kPrefix + "20;1;1;" + Cp932("こんにちは、世界") + "\t", now);
  room.Receive(1, kPrefix + "20;1;1;\t", now);
  EXPECT_EQ(out.Take(1),
            (std::vector<std::string>{Cp932("52566771;20;たろう\tこんにちは、世界\t\n"),
                                      Cp932("52566771;20;たろう\t\t\n")}));
  // A text cut inside a double-byte character loses only that byte.
  room.Receive(1, kPrefix + "20;1;1;ab\x82\t", now);
  EXPECT_EQ(out.Take(1).back(), Cp932("52566771;20;たろう\tab\t\n"));
}

TEST_F(RoomTest, GarbageClosesOnlyThatConnection) {
  const int32_t a = Login(1, "a");
  const int32_t b = Login(2, "b");
  Choose(1, a, 4);
  Choose(2, b, 4);
  room.Broadcast(now);
  ASSERT_TRUE(room.Connect(3, now));
  const std::vector<std::string> garbage = {
      "GET / HTTP/1.1\r\n\r\n",
      kPrefix + "40;" + std::to_string(a) + ";1;1;2;20;x;0;0;0;0;0;0;0;0;0;",
      kPrefix + "20;1;1;" + std::string(kMaxMessageLength, 'z'),
  };
  room.Receive(3, garbage[0], now);
  room.Receive(1, garbage[1], now);
  EXPECT_EQ(out.closed, (std::set<ConnectionId>{1, 3}));
  EXPECT_EQ(room.ConnectionCount(), 1u);
  room.Receive(2, garbage[2], now);
  EXPECT_EQ(out.closed, (std::set<ConnectionId>{1, 2, 3}));

  // A fresh pair: one talks garbage, the other keeps its rounds.
  RecordingOutput out2;
  Room room2(RoomConfig{kWorld, 1, 100, 100}, TestMissions(), out2);
  room2.Connect(1, now);
  room2.Connect(2, now);
  room2.Receive(1, kPrefix + "30;guest\ttovel\t1;a" + kPrefix + "40;0;", now);
  room2.Receive(2, kPrefix + "30;guest\ttovel\t1;b" + kPrefix + "40;0;", now);
  room2.Receive(2, "\x01\x02\x03", now);
  out2.sent.clear();
  room2.Broadcast(now);
  EXPECT_EQ(out2.closed, std::set<ConnectionId>{2});
  EXPECT_EQ(out2.sent[1].size(), 1u);
  EXPECT_EQ(out2.sent.count(2), 0u);
}

TEST_F(RoomTest, ADisconnectRemovesTheUserAndItsVehicle) {
  const int32_t a = Login(1, "a");
  Login(2, "b");
  Choose(1, a, 4);
  room.Broadcast(now);
  out.Take(2);
  room.Disconnect(1);
  EXPECT_EQ(out.log.back(), "disconnect: user 1 'a': disconnected");
  EXPECT_EQ(room.UserCount(), 1);
  // The others see the vehicle go at once (kind 0), then never again.
  const Positions gone = Round(2);
  ASSERT_EQ(gone.Records.size(), 1u);
  EXPECT_EQ(gone.Records[0][0], a);
  EXPECT_EQ(gone.Records[0][2], 0);
  EXPECT_TRUE(Round(2).Records.empty());
  // Its handle is free again.
  EXPECT_NE(Login(3, "a"), 0);
}

TEST_F(RoomTest, StatesOfThePreviousVehicleDoNotOverwriteANewPlacement) {
  const int32_t a = Login(1, "a");
  Choose(1, a, 4);
  room.Broadcast(now);
  room.Receive(1, State(a, 1, 2, 20, 100, 100, -60), now);
  // The user picks the race while its car is still out on the road: states in
  // flight describe the old car and are ignored until one starts at the race.
  Choose(1, a, 3);
  room.Receive(1, State(a, 1, 2, 20, 200, 200, -60), now);
  EXPECT_EQ(room.VehicleOf(a)->X, 80000);
  EXPECT_EQ(room.VehicleOf(a)->Y, -100000);
  room.Receive(1, State(a, 1, 2, 20, 80010, -99990, -60), now);
  EXPECT_EQ(room.VehicleOf(a)->X, 80010);
  // From then on every state counts.
  room.Receive(1, State(a, 1, 2, 20, 90000, -99000, -60), now);
  EXPECT_EQ(room.VehicleOf(a)->X, 90000);

  // A state far from the start point still counts once 2 s have passed.
  Choose(1, a, 4);
  Advance(1999);
  room.Receive(1, State(a, 1, 2, 20, 50000, 0, -60), now);
  EXPECT_EQ(room.VehicleOf(a)->X, 0);
  Advance(1);
  room.Receive(1, State(a, 1, 2, 20, 50000, 0, -60), now);
  EXPECT_EQ(room.VehicleOf(a)->X, 50000);
}

TEST_F(RoomTest, ReachingTheGoalEndsTheRunWithATypeZeroRecord) {
  const int32_t a = Login(1, "a");
  Login(2, "b");
  Choose(1, a, 3);
  room.Broadcast(now);
  out.Take(1);
  out.Take(2);
  Advance(63200);
  room.Receive(1, State(a, 1, 2, 20, 80000, -100000, -60), now);  // at the start
  room.Receive(1, State(a, 1, 2, 20, 80500, 99000, -60, 0, 0, 2500), now);  // 11 m from the goal
  const std::string chat =
      Cp932("52566771;20;サーバー\taさんが「レース」を完了しました。タイム 63.2 秒\t\n");
  EXPECT_EQ(out.Take(1), std::vector<std::string>{chat});
  EXPECT_EQ(out.Take(2), std::vector<std::string>{chat});
  const Positions own = Round(1);
  ASSERT_EQ(own.Records.size(), 1u);
  EXPECT_EQ(own.Records[0][0], a);
  EXPECT_EQ(own.Records[0][2], 0);
  EXPECT_EQ(own.Records[0][3], 0);
  EXPECT_EQ(room.VehicleOf(a), nullptr);
  // States sent before the client heard of it change nothing.
  room.Receive(1, State(a, 1, 2, 20, 80500, 99000, -60), now);
  EXPECT_EQ(room.VehicleOf(a), nullptr);
}

TEST_F(RoomTest, AShotInRangeAndInFrontDestroysTheTarget) {
  const auto [a, b] = PlaceTwo(1, 1);
  // Head on, 3000 m apart: each is in front of the other.
  room.Receive(1, kPrefix + "60;1;1;2;", now);
  const std::string hit = Cp932("52566771;20;サーバー\taさんのミサイルがbさんに命中しました。\t\n");
  EXPECT_EQ(out.Take(1), std::vector<std::string>{hit});
  EXPECT_EQ(out.Take(2), std::vector<std::string>{hit});
  EXPECT_EQ(out.log.back(), "shot: user 1 'a' at user 2 'b': hit (3000 m)");
  const Positions atB = Round(2);
  ASSERT_EQ(atB.Records.size(), 2u);
  const Record* own = RecordOf(atB, b);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ((*own)[3], 0);  // the target's run ends
  const Positions atA = ReadPositions(out.Take(1).back());
  ASSERT_EQ(atA.Records.size(), 1u);
  EXPECT_EQ(atA.Records[0][2], 0);  // the shooter sees it go
  EXPECT_EQ(room.VehicleOf(b), nullptr);
}

TEST_F(RoomTest, ShotsThatCannotCountAreJudgedOrIgnored) {
  const int32_t a = Login(1, "a");
  const int32_t b = Login(2, "b");
  const int32_t c = Login(3, "c");
  Choose(1, a, 1);
  Choose(2, b, 1);
  Choose(3, c, 4);
  room.Broadcast(now);
  out.Take(1);
  // a turns away from b: it misses.
  room.Receive(1, State(a, 1, 1, 12, 0, -150000, -300000, 9000, 20000, 0), now);
  room.Receive(1, kPrefix + "60;1;1;2;", now);
  EXPECT_EQ(out.Take(1), std::vector<std::string>{Cp932(
                             "52566771;20;サーバー\taさんのミサイルはbさんに当たりませんでした。\t\n")});
  // A second shot within 9 s is ignored; after 10 s it counts again.
  Advance(5000);
  room.Receive(1, kPrefix + "60;1;1;2;", now);
  EXPECT_TRUE(out.Take(1).empty());
  // Shots at a car, at nobody, at oneself, and by a car are ignored.
  Advance(5000);
  room.Receive(1, kPrefix + "60;1;1;3;", now);
  room.Receive(1, kPrefix + "60;1;1;77;", now);
  room.Receive(1, kPrefix + "60;1;1;1;", now);
  room.Receive(3, kPrefix + "60;3;1;1;", now);
  EXPECT_TRUE(out.Take(1).empty());
  room.Receive(1, kPrefix + "60;1;1;2;", now);
  EXPECT_EQ(out.Take(1).size(), 1u);
}

TEST_F(RoomTest, StaleVehiclesAreLeftOutOfTheRounds) {
  const int32_t a = Login(1, "a");
  Login(2, "b");
  Choose(1, a, 4);
  room.Broadcast(now);
  Advance(kStaleVehicleMs);
  EXPECT_EQ(Round(2).Records.size(), 1u);
  Advance(1);
  EXPECT_TRUE(Round(2).Records.empty());
  room.Receive(1, State(a, 1, 2, 20, 0, 0, -60), now);
  EXPECT_EQ(Round(2).Records.size(), 1u);
}

TEST_F(RoomTest, WindChangesAreAnnouncedOnce) {
  Login(1, "a");
  room.SetBaseWind(1.5, -2);
  EXPECT_TRUE(out.Take(1).empty());
  room.SetBaseWind(-3, 4.25);
  EXPECT_EQ(out.Take(1), std::vector<std::string>{"52566771;80;-300;425;\n"});
  EXPECT_EQ(Round(1).Head, (std::vector<long long>{100, 1000, -300, 425}));
}

TEST_F(RoomTest, ConnectionsThatNeverLogInAreClosed) {
  ASSERT_TRUE(room.Connect(1, now));
  Advance(kLoginTimeoutMs - 1);
  room.Broadcast(now);
  EXPECT_TRUE(out.closed.empty());
  Advance(1);
  room.Broadcast(now);
  EXPECT_EQ(out.closed, std::set<ConnectionId>{1});
  EXPECT_EQ(room.ConnectionCount(), 0u);
}

TEST_F(RoomTest, MessagesBeforeLoginAndUnknownMissionsAreIgnored) {
  ASSERT_TRUE(room.Connect(1, now));
  room.Receive(1, kPrefix + "40;0;" + kPrefix + "50;1;1;1;" + kPrefix + "20;1;1;x\t", now);
  EXPECT_TRUE(out.Take(1).empty());
  const int32_t a = Login(2, "a");
  Choose(2, a, 0);
  Choose(2, a, 5);
  EXPECT_EQ(room.VehicleOf(a), nullptr);
  EXPECT_EQ(out.log.back(), "user 1: mission 5 does not exist");
  EXPECT_TRUE(out.closed.empty());
}

}  // namespace
}  // namespace velmora::server

namespace velmora::server {
namespace {

// A room for two users, where pending connections alone would once have
// filled the connection limit.
class PendingLoginTest : public RoomTest {
 protected:
  PendingLoginTest() : RoomTest(2) {}

  bool LogsIn(ConnectionId id, const std::string& address, const std::string& handle) {
    EXPECT_TRUE(room.Connect(id, now, address));
    room.Receive(id, kPrefix + "30;guest\ttovel\t1;" + handle, now);
    room.GraceExpired(id, now);
    const std::vector<std::string> lines = out.Take(id);
    return !lines.empty() && lines[0].rfind("52566771;30;", 0) == 0;
  }
};

TEST_F(PendingLoginTest, ARealLoginGetsThroughWhileAStrangerHoldsEverySlot) {
  // The stranger fills the whole pending budget with silent connections from
  // as many addresses as it needs.
  ConnectionId id = 1;
  for (std::size_t i = 0; i < kMaxPendingLogins; ++i, ++id) {
    ASSERT_TRUE(room.Connect(id, now, "10.0.0." + std::to_string(i / kMaxPendingPerAddress)));
    Advance(1);
  }
  EXPECT_EQ(room.PendingCount(), kMaxPendingLogins);
  EXPECT_TRUE(out.closed.empty());
  // A user arrives: the stranger's oldest connection makes room.
  ASSERT_TRUE(room.Connect(1000, now, "192.0.2.7"));
  EXPECT_EQ(out.closed, std::set<ConnectionId>{1});
  // The stranger re-opens its whole budget while the user's handle arrives:
  // its own connections make room, the user's stays.
  room.Receive(1000, kPrefix + "30;guest\ttovel\t1;user", now);
  for (std::size_t i = 0; i < kMaxPendingLogins; ++i, ++id) {
    Advance(1);
    ASSERT_TRUE(room.Connect(id, now, "10.0.0." + std::to_string(i / kMaxPendingPerAddress)));
  }
  EXPECT_EQ(out.closed.count(1000), 0u);
  room.GraceExpired(1000, now);
  const std::vector<std::string> lines = out.Take(1000);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind("52566771;30;", 0), 0u) << lines[0];
  // A second user, from an address the stranger uses too, also gets in.
  EXPECT_TRUE(LogsIn(2000, "10.0.0.0", "second"));
  EXPECT_EQ(room.UserCount(), 2);
}

TEST_F(PendingLoginTest, ANewConnectionPushesOutOnlySilentOnesOfAnAddressHoldingMore) {
  // What a pending connection has sent.
  enum class Sent { Nothing, Unread, LoginStart };  // Unread: arrived, not yet read
  constexpr Sent kNothing = Sent::Nothing;
  constexpr Sent kStarted = Sent::LoginStart;
  // Pending connections held before the new one, in order of age.
  struct Group {
    std::string address;
    std::size_t count;
    Sent sent;
  };
  // `count` groups of `each` from addresses prefix0, prefix1, ...
  const auto spread = [](const std::string& prefix, std::size_t count, std::size_t each,
                         Sent started) {
    std::vector<Group> groups;
    for (std::size_t i = 0; i < count; ++i)
      groups.push_back({prefix + std::to_string(i), each, started});
    return groups;
  };
  const auto join = [](std::vector<Group> a, const std::vector<Group>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  constexpr std::size_t kPer = kMaxPendingPerAddress;
  constexpr std::size_t kAll = kMaxPendingLogins;
  constexpr std::size_t kNone = ~std::size_t{0};
  struct Case {
    const char* what;
    std::vector<Group> held;
    std::string newcomer;
    bool admitted;
    std::size_t closesGroup;  // its oldest connection makes room; kNone: nothing closes
  };
  const std::vector<Case> cases = {
      {"address below its budget", {{"a", kPer - 1, kNothing}}, "a", true, kNone},
      {"address at its budget", {{"a", kPer, kNothing}}, "a", true, 0},
      {"address at its budget, every login on its way", {{"a", kPer, kStarted}}, "a", false, kNone},
      {"a silent one goes though logins on their way are older",
       {{"a", kPer - 1, kStarted}, {"a", 1, kNothing}},
       "a",
       true,
       1},
      {"one whose login has arrived unread stays",
       {{"a", 1, Sent::Unread}, {"a", kPer - 1, kNothing}},
       "a",
       true,
       1},
      {"another address at its budget", {{"a", kPer, kNothing}}, "b", true, kNone},
      {"all one short", join(spread("x", kAll / 4 - 1, 4, kNothing), {{"y", 3, kNothing}}), "new",
       true, kNone},
      {"all full: the address holding the most gives",
       join(spread("x", (kAll - kPer) / 4, 4, kNothing), {{"big", kPer, kNothing}}), "new", true,
       (kAll - kPer) / 4},
      {"all full: one holding no more than the newcomer's keeps its own",
       join(spread("x", kAll / 4 - 2, 4, kStarted), {{"lone", 4, kNothing}, {"new", 4, kStarted}}),
       "new", false, kNone},
      {"all full: then the newcomer's own silent one goes",
       join(spread("x", kAll / 4 - 2, 4, kStarted), {{"lone", 4, kNothing}, {"new", 4, kNothing}}),
       "new", true, kAll / 4 - 1},
      {"all full, every login on its way", spread("x", kAll / 4, 4, kStarted), "new", false, kNone},
  };
  for (const Case& c : cases) {
    RecordingOutput output;
    Room fresh(RoomConfig{kWorld, 1, 100, 2}, TestMissions(), output);
    uint32_t at = 5000;
    ConnectionId id = 1;
    std::vector<ConnectionId> firstOfGroup;
    for (const Group& g : c.held) {
      firstOfGroup.push_back(id);
      for (std::size_t i = 0; i < g.count; ++i, ++id) {
        ASSERT_TRUE(fresh.Connect(id, at++, g.address)) << c.what;
        if (g.sent == Sent::LoginStart) fresh.Receive(id, kPrefix + "30;gue", at);
        if (g.sent == Sent::Unread) output.unread.insert(id);
      }
    }
    const std::size_t held = id - 1;
    EXPECT_EQ(fresh.Connect(100000, at, c.newcomer), c.admitted) << c.what;
    const std::set<ConnectionId> expected =
        c.closesGroup == kNone ? std::set<ConnectionId>{}
                               : std::set<ConnectionId>{firstOfGroup[c.closesGroup]};
    EXPECT_EQ(output.closed, expected) << c.what;
    EXPECT_EQ(fresh.PendingCount(), held + (c.admitted ? 1 : 0) - expected.size()) << c.what;
  }
}

TEST_F(PendingLoginTest, LoggedInUsersDoNotUseThePendingBudget) {
  ASSERT_TRUE(LogsIn(1, "192.0.2.1", "a"));
  ASSERT_TRUE(LogsIn(2, "192.0.2.1", "b"));
  for (std::size_t i = 0; i < kMaxPendingPerAddress; ++i) {
    ASSERT_TRUE(room.Connect(10 + i, now, "192.0.2.1"));
  }
  EXPECT_TRUE(out.closed.empty());
  EXPECT_EQ(room.UserCount(), 2);
  EXPECT_EQ(room.PendingCount(), kMaxPendingPerAddress);
  // A pending connection from a full address closes one pending, never a user.
  ASSERT_TRUE(room.Connect(99, now, "192.0.2.1"));
  EXPECT_EQ(out.closed, std::set<ConnectionId>{10});
  EXPECT_EQ(room.UserCount(), 2);
}

TEST_F(RoomTest, ChatOverItsLimitClosesOnlyTheSender) {
  const std::size_t bytesPerLineAtLimit = kMaxChatBytesPerSecond / 2;
  struct BytesCase {
    std::size_t first, second;  // text bytes of two lines in one second
    bool closed;
  };
  const std::vector<BytesCase> byteCases = {
      {bytesPerLineAtLimit, bytesPerLineAtLimit - 1, false},
      {bytesPerLineAtLimit, bytesPerLineAtLimit, false},
      {bytesPerLineAtLimit, bytesPerLineAtLimit + 1, true},
  };
  ConnectionId next = 10;
  const int32_t listenerUser = Login(1, "listener");
  ASSERT_NE(listenerUser, 0);
  auto sendChat = [&](ConnectionId id, int32_t user, std::size_t bytes) {
    room.Receive(id, kPrefix + "20;" + std::to_string(user) + ";1;" + std::string(bytes, 'x') + "\t",
                 now);
  };
  for (int lines = kMaxChatLinesPerSecond - 1; lines <= kMaxChatLinesPerSecond + 1; ++lines) {
    const ConnectionId id = next++;
    const int32_t user = Login(id, "talker" + std::to_string(id));
    out.Take(1);
    // The window is one second long: lines spread over 999 ms share it.
    for (int i = 0; i < lines; ++i) {
      sendChat(id, user, 1);
      if (i + 1 < lines) Advance((kChatWindowMs - 1) / static_cast<uint32_t>(lines - 1));
    }
    const bool over = lines > kMaxChatLinesPerSecond;
    EXPECT_EQ(out.closed.count(id), over ? 1u : 0u) << lines << " lines";
    EXPECT_EQ(out.closed.count(1), 0u) << "the listener keeps its connection";
    EXPECT_EQ(out.Take(1).size(), static_cast<std::size_t>(std::min(lines, kMaxChatLinesPerSecond)));
    Advance(kChatWindowMs);
  }
  for (const BytesCase& c : byteCases) {
    const ConnectionId id = next++;
    const int32_t user = Login(id, "talker" + std::to_string(id));
    sendChat(id, user, c.first);
    sendChat(id, user, c.second);
    EXPECT_EQ(out.closed.count(id), c.closed ? 1u : 0u) << c.second << " bytes";
    EXPECT_EQ(out.closed.count(1), 0u);
    Advance(kChatWindowMs);
  }
  // A new second starts a new count: the limit is a rate, not a total.
  const ConnectionId id = next++;
  const int32_t user = Login(id, "steady");
  for (int second = 0; second < 3; ++second) {
    for (int i = 0; i < kMaxChatLinesPerSecond; ++i) sendChat(id, user, 1);
    Advance(kChatWindowMs);
  }
  EXPECT_EQ(out.closed.count(id), 0u);
}

}  // namespace
}  // namespace velmora::server

namespace velmora::server {
namespace {

TEST_F(RoomTest, AClientOfAnotherWorldIsToldInItsOwnWorldNumber) {
  struct Case {
    std::string bytes;
    std::optional<std::string> refusal;  // the line it is sent; nothing: closed unanswered
  } cases[] = {
      {"52566770;20;1;30;guest\ttovel\t1;a",
       "52566770;10;" +
           Cp932("このサーバーはワールド番号 52566771 のサーバーです。ワールド番号 52566770 "
                 "には入れません。") +
           "\t\n"},
      {"7;20;1;30;guest\ttovel\t1;a",
       "7;10;" +
           Cp932("このサーバーはワールド番号 52566771 のサーバーです。ワールド番号 7 には入れません。") +
           "\t\n"},
      {"52566770;21;1;30;guest", std::nullopt},  // not a client's prefix
      {"hello;20;1;30;guest", std::nullopt},
  };
  ConnectionId id = 1;
  for (const Case& c : cases) {
    ASSERT_TRUE(room.Connect(id, now));
    room.Receive(id, c.bytes, now);
    room.GraceExpired(id, now);
    if (c.refusal) {
      EXPECT_EQ(out.Take(id), std::vector<std::string>{*c.refusal});
      EXPECT_EQ(out.closed.count(id), 0u) << "kept open so that the refusal is read";
      // Its further bytes are ignored, and the login time still runs out.
      room.Receive(id, c.bytes, now);
      room.GraceExpired(id, now);
      EXPECT_TRUE(out.Take(id).empty());
      Advance(kLoginTimeoutMs);
      room.Broadcast(now);
      EXPECT_EQ(out.closed.count(id), 1u);
    } else {
      EXPECT_TRUE(out.Take(id).empty()) << c.bytes;
      EXPECT_EQ(out.closed.count(id), 1u) << c.bytes;
    }
    ++id;
  }
}

}  // namespace
}  // namespace velmora::server

namespace velmora::server {
namespace {

// A room whose users are limited per address and closed when idle.
class LimitedRoomTest : public RoomTest {
 protected:
  static constexpr int kPerAddress = 8;
  static constexpr uint32_t kIdleMs = 120000;

  LimitedRoomTest() { Reset(kPerAddress); }

  void Reset(int perAddress) {
    out = RecordingOutput{};
    limited.emplace(RoomConfig{kWorld, 1, 100, 100, perAddress, kIdleMs}, TestMissions(), out);
  }

  // The first line the room sends for a login from `address`.
  std::string LoginFrom(ConnectionId id, const std::string& address, const std::string& handle) {
    EXPECT_TRUE(limited->Connect(id, now, address));
    limited->Receive(id, kPrefix + "30;guest\ttovel\t1;" + handle, now);
    limited->GraceExpired(id, now);
    const std::vector<std::string> lines = out.Take(id);
    return lines.empty() ? "" : lines[0];
  }

  std::optional<Room> limited;
};

TEST_F(LimitedRoomTest, OneAddressHoldsAtMostItsShareOfTheUsers) {
  const std::string refusal =
      "52566771;10;" + Cp932("同じアドレスからは 8 人までしかログインできません。") + "\t\n";
  ConnectionId id = 1;
  for (int i = 0; i < kPerAddress; ++i, ++id) {
    EXPECT_EQ(LoginFrom(id, "a", "a" + std::to_string(i)).rfind("52566771;30;", 0), 0u) << i;
  }
  EXPECT_EQ(LoginFrom(id++, "a", "one more"), refusal);
  EXPECT_EQ(LoginFrom(id++, "b", "b").rfind("52566771;30;", 0), 0u);
  // One of a's users leaves: the next from a gets in.
  limited->Disconnect(1);
  EXPECT_EQ(LoginFrom(id++, "a", "again").rfind("52566771;30;", 0), 0u);
  // 0: no limit, for a LAN party behind one address.
  Reset(0);
  for (int i = 0; i < 3 * kPerAddress; ++i, ++id) {
    EXPECT_EQ(LoginFrom(id, "lan", "p" + std::to_string(i)).rfind("52566771;30;", 0), 0u) << i;
  }
}

TEST_F(LimitedRoomTest, AUserIsClosedAfterTheIdleLimitWithoutSendingOrReading) {
  struct Case {
    const char* activity;  // what the user does halfway, if anything
    uint32_t afterMs;      // since login, when a round runs
    bool closed;
  };
  const std::vector<Case> cases = {
      {"nothing", kIdleMs - 1, false},
      {"nothing", kIdleMs, true},
      {"sends", kIdleMs, false},
      {"reads", kIdleMs, false},
      {"sends", kIdleMs / 2 + kIdleMs, true},
  };
  ConnectionId id = 1;
  for (const Case& c : cases) {
    const std::string reply = LoginFrom(id, "a", "u" + std::to_string(id));
    ASSERT_EQ(reply.rfind("52566771;30;", 0), 0u) << reply;
    const uint32_t loginAt = now;
    now = loginAt + kIdleMs / 2;
    if (std::string(c.activity) == "sends") limited->Receive(id, kPrefix + "40;0;", now);
    if (std::string(c.activity) == "reads") limited->Reading(id, now);
    now = loginAt + c.afterMs;
    limited->Broadcast(now);
    EXPECT_EQ(out.closed.count(id), c.closed ? 1u : 0u) << c.activity << " " << c.afterMs;
    limited->Disconnect(id++);
  }
}

TEST_F(RoomTest, LogLinesAboutOneConnectionAreLimitedPerSecond) {
  const int32_t user = Login(1, "noisy");
  ASSERT_NE(user, 0);
  const std::string badMission = kPrefix + "50;" + std::to_string(user) + ";1;99;";
  const std::string line = "user " + std::to_string(user) + ": mission 99 does not exist";
  const std::string summary = "user " + std::to_string(user) + ": 1 log lines suppressed";
  // Lines sent within each of several seconds, at the limit and one past it.
  for (const int lines : {kMaxLogLinesPerSecond, kMaxLogLinesPerSecond + 1, kMaxLogLinesPerSecond,
                          kMaxLogLinesPerSecond + 1}) {
    Advance(kLogWindowMs);
    room.Broadcast(now);  // ends the previous window
    out.log.clear();
    for (int i = 0; i < lines; ++i) {
      room.Receive(1, badMission, now);
      Advance((kLogWindowMs - 1) / static_cast<uint32_t>(lines));
    }
    EXPECT_EQ(std::count(out.log.begin(), out.log.end(), line), kMaxLogLinesPerSecond) << lines;
    EXPECT_EQ(std::count(out.log.begin(), out.log.end(), summary), 0)
        << "not before the second ends";
    Advance(kLogWindowMs);
    room.Broadcast(now);
    EXPECT_EQ(std::count(out.log.begin(), out.log.end(), summary),
              lines > kMaxLogLinesPerSecond ? 1 : 0)
        << lines;
  }
  // Another connection's lines have a limit of their own.
  const int32_t quiet = Login(2, "quiet");
  out.log.clear();
  room.Receive(2, kPrefix + "50;" + std::to_string(quiet) + ";1;99;", now);
  EXPECT_EQ(out.log.size(), 1u);
}

TEST_F(RoomTest, UserNumbersCountUpThenTheLowestFreeOneIsUsedAgain) {
  // 300 logins in sequence; the last five stay connected at any time.
  constexpr ConnectionId kLogins = 300;
  constexpr std::size_t kStaying = 5;
  std::deque<std::pair<ConnectionId, int32_t>> connected;
  for (ConnectionId id = 1; id <= kLogins; ++id) {
    const int32_t user = Login(id, "u" + std::to_string(id));
    Choose(id, user, 4);  // a car the others see, and see leave
    // Up to the replay entry's limit the numbers are those clients always saw.
    if (id <= static_cast<ConnectionId>(kMaxUserNo)) {
      EXPECT_EQ(user, static_cast<int32_t>(id));
    }
    EXPECT_GE(user, 1);
    EXPECT_LE(user, kMaxUserNo) << "login " << id;
    for (const auto& [otherId, other] : connected) EXPECT_NE(user, other) << "login " << id;
    connected.emplace_back(id, user);
    if (connected.size() > kStaying) {
      room.Disconnect(connected.front().first);
      connected.pop_front();
      room.Broadcast(now);
    }
    out.sent.clear();
  }
  // The oldest of the last five holds the lowest number. Freed in this
  // round, it waits for the round that tells the others the user left.
  const auto [leavingId, leavingUser] = connected.front();
  room.Disconnect(leavingId);
  EXPECT_NE(Login(kLogins + 1, "same round"), leavingUser);
  room.Broadcast(now);
  EXPECT_EQ(Login(kLogins + 2, "next round"), leavingUser);
}

}  // namespace
}  // namespace velmora::server
