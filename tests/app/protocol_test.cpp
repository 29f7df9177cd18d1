#include "app/protocol.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "app/replay.h"
#include "app/replay_file.h"
#include "app/run_figures.h"
#include "net/text_encoding.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_vehicles.h"

namespace velmora::app {
namespace {

using net::Cp932ToUtf8;
using net::Utf8ToCp932;
using vehicle::TVehicleState;

constexpr int32_t kOwnUser = 7;

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::FillTestForms(s); }

  // Feeds UTF-8 text as the server would send it (CP932).
  void Receive(const std::string& utf8, uint32_t now = 1000) {
    ClientSocketRead(s, Utf8ToCp932(utf8).Text, now);
  }

  // The bytes sent since the last call, as UTF-8.
  std::string Sent() {
    std::string text = Cp932ToUtf8(s.Requests.Send).Text;
    s.Requests.Send.clear();
    return text;
  }

  // A code-40 vehicle record: user, group, kind, type at (x, y) metres, heading 90.
  static std::string Record(int32_t user, int32_t kind, int32_t type, double x = 0, double y = 0,
                            int32_t age = 0) {
    return std::to_string(user) + ";0;" + std::to_string(kind) + ";" + std::to_string(type) + ";" +
           std::to_string(static_cast<long long>(x * 100)) + ";" +
           std::to_string(static_cast<long long>(y * 100)) + ";-60;9000;0;0;0;1500;0;0;" +
           std::to_string(age) + ";";
  }

  static std::string Positions(const std::string& records, int32_t serverTime = 5000) {
    return "52566771;40;100;" + std::to_string(serverTime) + ";0;0;" + records + "0;\n";
  }

  void LogIn() {
    Receive("52566771;30;" + std::to_string(kOwnUser) + ";3;\n");
    Sent();
  }

  state::TMainState s;
};

TEST_F(ProtocolTest, OutgoingMessagesByteForByte) {
  LoginAnswered(s, std::string("ハンドル\tname"));
  EXPECT_TRUE(s.Requests.Send.empty()) << "the login waits for its connection";
  ClientSocketConnect(s, 123456);
  EXPECT_EQ(s.Requests.Send,
            "52566771;20;1;30;guest\ttovel\t123456;" + Utf8ToCp932("ハンドル name").Text);
  EXPECT_EQ(s.Own.Time, 123456);
  EXPECT_EQ(s.LastSendTime, 123456u);
  s.Requests.Send.clear();

  SendOwnState(s);  // not placed yet
  EXPECT_EQ(Sent(), "52566771;20;1;40;0;");

  s.MessagePrefix = "7;20;1;";
  s.Own.UserNo = 12;
  s.RoomNo = 3;
  s.Own.Time = 4000;
  s.Own.Kind = 1;
  s.Own.FormNo = 11;
  s.Own.X = 12.345;
  s.Own.Y = -0.004;
  s.OriginX = 100000;
  s.Own.Z = -5.5;
  s.Own.Heading = 359.99f;
  s.Own.Pitch = -1.25f;
  s.Own.Bank = 0.5f;
  s.Own.Flap = 10;
  s.Own.VX = 0.125;
  s.Own.VY = 70.5;
  s.Own.VZ = -2.006;
  SendOwnState(s);
  EXPECT_EQ(Sent(), "7;20;1;40;12;3;4000;1;11;10001234;-0;-550;35999;-125;50;1000;12;7050;-201;");

  SendMission(s, 2);
  EXPECT_EQ(Sent(), "7;20;1;50;12;3;2;");
  SendShot(s, 44);
  EXPECT_EQ(Sent(), "7;20;1;60;12;3;44;");
  SendChat(s, "こんにちは\tworld");
  EXPECT_EQ(Sent(), "7;20;1;20;12;3;こんにちは world\t");
  SendChat(s, "");  // an empty chat line is sent too
  EXPECT_EQ(Sent(), "7;20;1;20;12;3;\t");
  SendChat(s, "rocket \xF0\x9F\x9A\x80!");  // no such character in CP932
  EXPECT_EQ(Sent(), "7;20;1;20;12;3;rocket ?!\t");
}

// Each login attempt asks first and then connects anew, so the user's time
// to answer never counts against the server's patience with a silent
// connection. A refusal or a drop before the first positions asks again.
TEST_F(ProtocolTest, LoginQueryRefusalAndAcceptance) {
  StartLogin(s);
  EXPECT_TRUE(s.Requests.AskLogin);
  EXPECT_FALSE(s.Requests.OpenConnection) << "no connection waits on the user";
  s.Requests = {};
  LoginAnswered(s, std::nullopt);
  EXPECT_TRUE(s.Requests.Close);
  s.Requests = {};

  const auto attempt = [&](const char* handle) {
    LoginAnswered(s, std::string(handle));
    EXPECT_TRUE(s.Requests.OpenConnection);
    EXPECT_TRUE(s.Requests.Send.empty());
    s.Requests = {};
    ClientSocketConnect(s, 2000);
    EXPECT_EQ(Sent(), std::string("52566771;20;1;30;guest\ttovel\t2000;") + handle);
    s.Requests = {};
  };
  attempt("taken");
  Receive("52566771;10;そのハンドル名は使用中です。\t\n");
  EXPECT_EQ(s.Requests.ErrorBoxes, (std::vector<std::string>{"そのハンドル名は使用中です。"}));
  EXPECT_TRUE(s.Requests.AskLogin);  // not logged in: ask again
  EXPECT_TRUE(s.Requests.DropConnection);
  s.Requests = {};
  // The given-up connection closing or failing meanwhile says nothing.
  const std::size_t logged = s.MessageLog.size();
  ClientSocketDisconnect(s, 2000);
  ClientSocketError(s, ECONNRESET, "127.0.0.1", 64000, 2000);
  ClientSocketConnect(s, 2000);
  EXPECT_EQ(s.MessageLog.size(), logged);
  EXPECT_FALSE(s.Requests.AskLogin || s.Requests.Close || !s.Requests.Send.empty());

  // The server drops the next attempt before answering: the log says so and
  // the query comes again.
  attempt("slow");
  ClientSocketDisconnect(s, 2000);
  EXPECT_EQ(s.MessageLog.back(),
            "サーバーが接続を切りました（ワールド番号 " + std::to_string(s.WorldNo) + "）。");
  EXPECT_TRUE(s.Requests.AskLogin);
  EXPECT_FALSE(s.Requests.Close);
  s.Requests = {};

  attempt("pilot");

  Receive("52566771;30;7;3;\n");
  EXPECT_EQ(s.Own.UserNo, 7);
  EXPECT_EQ(s.RoomNo, 3);
  EXPECT_TRUE(s.Requests.ShowHelpBottomRight);
  EXPECT_TRUE(s.Requests.FocusChatInput);
  EXPECT_EQ(Sent(), "52566771;20;1;40;0;");
  s.Requests = {};

  Receive("52566771;10;満員です。\t\n");
  EXPECT_FALSE(s.Requests.AskLogin);  // logged in: only the box
  EXPECT_EQ(s.Requests.ErrorBoxes.size(), 1u);
}

TEST_F(ProtocolTest, LinesAreSplitAcrossReadsAndOtherWorldsAreSkipped) {
  const std::string text =
      "52566771;20;A\t一行目\t\n12345;40;100;5000;0;0;0;\n52566771;20;B\t二行目\t\n"
      "52566771;20;C\t待つ\t";
  const std::string wire = Utf8ToCp932(text).Text;
  ClientSocketRead(s, wire.substr(0, 10), 0);
  ClientSocketRead(s, wire.substr(10, 30), 0);
  ClientSocketRead(s, wire.substr(40), 0);
  EXPECT_EQ(s.MessageLog, (std::vector<std::string>{"A: 一行目", "B: 二行目"}));
  EXPECT_EQ(s.TimeSynchronised, 0) << "code 40 of another world is skipped";
  Receive("\n");
  EXPECT_EQ(s.MessageLog.back(), "C: 待つ");
}

TEST_F(ProtocolTest, BadLinesAreDroppedAndTheNextOnesRead) {
  Receive("52566771;20;before\tx\t\n");
  Receive("52566771;40;abc;5000;0;0;0;\n52566771;20;after\tx\t\n");  // malformed field
  ClientSocketRead(s, "\xff\xfe garbage\n52566771;80;150;-250;\n", 1000);
  Receive("52566771;20;" + std::string(10000, 'x') + "\t\n52566771;20;short\tx\t\n");
  EXPECT_EQ(s.MessageLog, (std::vector<std::string>{"before: x", "after: x", "short: x"}));
  EXPECT_EQ(s.BaseWindX, 1.5);
  EXPECT_EQ(s.BaseWindY, -2.5);

  // An overlong line arriving in pieces is skipped up to its end.
  Receive("52566771;20;" + std::string(6000, 'y'));
  Receive(std::string(6000, 'y'));
  EXPECT_TRUE(s.ReceiveRemainder.empty());
  Receive(std::string(100, 'y') + "\t\n52566771;20;next\tx\t\n");
  EXPECT_EQ(s.MessageLog.back(), "next: x");
  EXPECT_EQ(s.MessageLog.size(), 4u);
}

TEST_F(ProtocolTest, MissionListAndMissionNumbers) {
  Receive("52566771;0;1;ミッションを選んでください\t着陸訓練\t出発\tレース\t\n");
  EXPECT_EQ(s.MissionRowCount, 5);
  EXPECT_EQ(s.MissionFixedRows, 1);
  EXPECT_EQ(s.MissionCells[0], " ミッションを選んでください");
  EXPECT_EQ(s.MissionCells[2], " 出発");
  EXPECT_EQ(s.MissionCells[4], "");
  EXPECT_EQ(s.MissionRow, 4);  // the empty last row
  EXPECT_TRUE(s.Requests.FocusChatInput);
  EXPECT_EQ(MissionForRow(s, 2), 2);  // the second mission
  EXPECT_EQ(MissionForRow(s, 1), 1);
  EXPECT_EQ(MissionForRow(s, 4), std::nullopt);  // empty last row
  EXPECT_EQ(MissionForRow(s, 0), std::nullopt);  // heading

  // More than 100 rows are cut at the grid's size.
  std::string many = "52566771;0;0;";
  for (int i = 0; i < 150; ++i) many += "m" + std::to_string(i) + "\t";
  Receive(many + "\n");
  EXPECT_EQ(s.MissionRowCount, state::kMissionRows);
}

TEST_F(ProtocolTest, OwnRecordPlacesTheVehicleAndStartsRecording) {
  LogIn();
  s.BaseWindX = 3;
  Receive(Positions(Record(kOwnUser, 2, testing::kCar, 250.5, -80)), 1000);
  EXPECT_TRUE(s.TimerEnabled);
  EXPECT_EQ(s.TimeSynchronised, 1);
  EXPECT_EQ(s.Own.Kind, 2);
  EXPECT_EQ(s.Own.FormNo, testing::kCar);
  EXPECT_EQ(s.Own.X, 250.5);
  EXPECT_EQ(s.Own.Z, -0.6);  // settled on its wheels by the reset routine
  EXPECT_EQ(s.Own.Heading, 90);
  EXPECT_EQ(s.Start.Kind, 2);
  EXPECT_TRUE(s.Panels.Navi);  // the car's panels
  EXPECT_EQ(s.ThrottleMax, 6);
  EXPECT_EQ(s.ReplayMode, 6);
  EXPECT_EQ(s.NextFrameTime, 1000u);
  EXPECT_EQ(s.WindX, 3);  // current wind := base wind
  EXPECT_EQ(s.Gust.Counter, 500);

  // The run ends with type 0: the replay panel returns to its stop row.
  s.VideoRow = 5;
  Receive(Positions(Record(kOwnUser, 0, 0)), 1100);
  EXPECT_EQ(s.Own.FormNo, 0);
  EXPECT_EQ(s.VideoRow, 2);
  EXPECT_EQ(s.ReplayMode, 0);

  // The own vehicle arriving during playback ends it, camera row and all.
  s.ReplayMode = 4;
  s.VideoRowCount = state::kVideoRowsPlayback;
  Receive(Positions(Record(kOwnUser, 2, testing::kCar, 10, 10)), 1200);
  EXPECT_EQ(s.ReplayMode, 6);
  EXPECT_EQ(s.VideoRowCount, state::kVideoRowsLive);
  EXPECT_EQ(vehicle::RemoteCount(s.Remote), 0);
}

// A mission change sends the end of the run and the next placement together,
// before the tick in which the shell saves the finished run's frames: they
// are kept for it, and the new run starts on an empty ring.
TEST_F(ProtocolTest, AMissionChangeKeepsTheFinishedRunsFramesForItsSave) {
  LogIn();
  Receive(Positions(Record(kOwnUser, 2, testing::kCar, 100, 0)), 1000);
  UpdateRunFigures(s, nullptr, 0.01);
  constexpr int kFrames = 30;
  for (int i = 0; i < kFrames; ++i) {  // 2 m a frame: a run worth keeping
    s.Own.X += 2;
    UpdateRunFigures(s, nullptr, 0.02);
    RecordReplay(s, s.NextFrameTime);
  }
  ASSERT_TRUE(s.Figures.Active);

  Receive(Positions(Record(kOwnUser, 0, 0)) + Positions(Record(kOwnUser, 2, testing::kCar, 900, 0)),
          2000);
  EXPECT_EQ(s.Figures.FinishedSerial, 1u);
  EXPECT_EQ(s.ReplayEnd, s.ReplayStart);  // the new run's ring
  const std::string folder = testing::TestFilePath("x").parent_path().string() + "/mission_change";
  const std::string saved = SaveFinishedRunReplay(s, folder, "run.vmreplay");
  const TReplayLoadResult loaded = LoadReplayFile(saved);
  ASSERT_TRUE(loaded.Recording) << loaded.Error;
  EXPECT_EQ(loaded.Recording->Entries.size(), static_cast<std::size_t>(kFrames));

  // Once the new run has ended in the tick as usual, its own frames are saved.
  UpdateRunFigures(s, nullptr, 0.01);
  for (int i = 0; i < kFrames; ++i) {
    s.Own.X += 2;
    UpdateRunFigures(s, nullptr, 0.02);
    RecordReplay(s, s.NextFrameTime);
  }
  s.Own.FormNo = 0;
  UpdateRunFigures(s, nullptr, 0.01);
  ASSERT_EQ(s.Figures.FinishedSerial, 2u);
  const TReplayLoadResult next = LoadReplayFile(SaveFinishedRunReplay(s, folder, "run.vmreplay"));
  ASSERT_TRUE(next.Recording) << next.Error;
  EXPECT_EQ(next.Recording->Entries.size(), static_cast<std::size_t>(kFrames));
}

TEST_F(ProtocolTest, AnOwnRecordOffThePositionGridIsRefusedAndTheGameGoesOn) {
  // Records of the own car: x in cm, vx in cm/s. A sub-step of 10 ms from x = 0
  // stays on the grid up to 65536 m; the grid reaches 2^23 m from the origin.
  const auto own = [](const std::string& x, const std::string& vx) {
    return std::to_string(kOwnUser) + ";0;2;20;" + x + ";0;-60;9000;0;0;0;" + vx + ";0;0;0;";
  };
  struct Case {
    const char* what;
    std::string record;
    bool placed;
  } cases[] = {
      {"65000 m per sub-step", own("0", "650000000"), true},
      {"66000 m per sub-step", own("0", "660000000"), false},
      {"within the grid's reach", own("838860700", "0"), true},
      {"at the grid's reach", own("838860800", "0"), false},
      {"three hundred digits east", own("1" + std::string(300, '0'), "0"), false},
  };
  LogIn();
  for (const Case& c : cases) {
    Receive(Positions(Record(kOwnUser, 2, testing::kCar, 250.5, -80)), 1000);
    s.MessageLog.clear();
    Receive(Positions(Record(40, 2, testing::kCar, 10, 10) + c.record), 1100);
    EXPECT_EQ(s.Own.X != 250.5, c.placed) << c.what;
    EXPECT_EQ(s.MessageLog.size(), c.placed ? 0u : 1u) << c.what;
    if (!c.placed) {
      EXPECT_EQ(s.MessageLog[0],
                "自分> サーバーから届いた自分の乗物の状態が範囲外のため、受け付けませんでした。");
      EXPECT_EQ(s.Start.X, 250.5) << c.what;
      EXPECT_EQ(s.ReplayMode, 6) << c.what << ": still recording the run";
    }
    EXPECT_EQ(vehicle::RemoteCount(s.Remote), 1) << c.what << ": the other records count";
    EXPECT_FALSE(s.Requests.Close);
  }
}

TEST_F(ProtocolTest, RemoteListUpkeep) {
  LogIn();
  Receive(Positions(Record(21, 2, testing::kCar) + Record(22, 2, testing::kCar) +
                    Record(23, 2, testing::kCar)));
  ASSERT_EQ(vehicle::RemoteCount(s.Remote), 3);
  EXPECT_EQ(s.Remote[1].UserNo, 22);

  // Vehicle 21 stops appearing: after ten messages without it, the last
  // vehicle of the list (23) takes its place.
  for (int i = 0; i < 9; ++i) Receive(Positions(Record(22, 2, 20) + Record(23, 2, 20)));
  EXPECT_EQ(vehicle::RemoteCount(s.Remote), 3);
  EXPECT_EQ(s.Remote[0].Missed, 9);
  Receive(Positions(Record(22, 2, 20) + Record(23, 2, 20)));
  ASSERT_EQ(vehicle::RemoteCount(s.Remote), 2);
  EXPECT_EQ(s.Remote[0].UserNo, 23);
  EXPECT_EQ(s.Remote[1].UserNo, 22);

  // Unknown or out-of-table types are dropped like the 101st vehicle.
  Receive(Positions(Record(30, 2, 0) + Record(31, 2, 101) + Record(32, 2, 55)));
  EXPECT_EQ(vehicle::RemoteCount(s.Remote), 2);
}

TEST_F(ProtocolTest, TheHundredAndFirstVehicleIsDropped) {
  LogIn();
  std::string records;
  for (int i = 0; i < 101; ++i) records += Record(100 + i, 2, testing::kCar, i * 10.0);
  Receive(Positions(records));
  EXPECT_EQ(vehicle::RemoteCount(s.Remote), 100);
  EXPECT_EQ(s.Remote[99].UserNo, 199);
  EXPECT_EQ(s.Remote[100].UserNo, 0);
}

TEST_F(ProtocolTest, TimesAndPositionsOfRemoteRecords) {
  LogIn();
  s.Own.Time = 900;
  s.OriginX = 100000;  // the own vehicle far east: remote x is relative to it
  Receive(Positions(Record(40, 2, testing::kCar, 100250, 10, 30), 5000), 1000);
  // First synchronisation: base time = own time; the age goes back from it.
  EXPECT_EQ(s.Remote[0].Time, 900 - 30);
  EXPECT_EQ(s.Remote[0].X, 250);
  EXPECT_EQ(s.Remote[0].Y, 10);
  EXPECT_EQ(s.Remote[0].VX, 15);
  // A round with the same server time again: stamped from that time as well,
  // and the clock stays where it was.
  Receive(Positions(Record(40, 2, testing::kCar, 100260, 10, 30), 5000), 1000);
  EXPECT_EQ(s.Remote[0].Time, 900 - 30);
  EXPECT_EQ(s.Remote[0].X, 260);
  EXPECT_EQ(s.ClockCorrection, 0u);
}

TEST_F(ProtocolTest, ClockCorrectionOnlyMovesForward) {
  LogIn();
  // The server's clock runs 40 ms behind the local one on every message: nothing changes.
  Receive(Positions("", 5000), 1000);
  for (int i = 1; i <= 20; ++i) Receive(Positions("", 5000 + i * 100 - 40), 1000 + i * 100);
  EXPECT_EQ(s.ClockCorrection, 0u);

  // The local clock lags by 160 ms from now on: the correction catches up by
  // the window average on each message (10 ms on the first).
  s.ClockCorrection = 0;
  s.TimeSynchronised = 0;
  Receive(Positions("", 5000), 1000);
  Receive(Positions("", 5260), 1100);
  EXPECT_EQ(s.ClockCorrection, 160u / 16);
  uint32_t previous = s.ClockCorrection;
  for (int i = 2; i <= 40; ++i) {
    Receive(Positions("", 5100 + i * 100 + 60), 1000 + i * 100 + s.ClockCorrection);
    EXPECT_GE(s.ClockCorrection, previous);
    previous = s.ClockCorrection;
  }
  EXPECT_NEAR(s.ClockCorrection, 160, 1);
}

TEST_F(ProtocolTest, CouplingTest) {
  struct Case {
    double x2, y2;
    float heading1, heading2;
    bool coupled;
  } cases[] = {
      {0, -21, 0, 180, true},     // rear to rear, 21 m apart
      {1.3, -21, 0, 180, false},  // 1.3 m off the centre line
      {0, -21, 0, 165, false},    // headings not within 170..190
      {0, -21, 0, 181, true},     // 181: the trains' centre lines 0.18 m apart
      {0, -60, 0, 180, false},    // too far
  };
  for (const Case& c : cases) {
    TVehicleState a, b;
    a.Heading = c.heading1;
    b.X = c.x2;
    b.Y = c.y2;
    b.Heading = c.heading2;
    EXPECT_EQ(CouplingTest(a, b), c.coupled) << c.x2 << "," << c.y2 << " " << c.heading2;
  }
}

TEST_F(ProtocolTest, TrainsCoupleInTheList) {
  LogIn();
  const std::string t1 = "51;0;3;30;0;0;-120;0;0;0;0;0;0;0;0;";
  const std::string t2 = "52;0;3;30;0;-2100;-120;18000;0;0;0;0;0;0;0;";
  Receive(Positions(t1 + t2));
  EXPECT_EQ(s.Remote[0].PartnerNo, 52);
  EXPECT_EQ(s.Remote[1].PartnerNo, 51);
  // No longer a train: the coupling ends on both sides.
  Receive(Positions("51;0;2;20;0;0;-60;0;0;0;0;0;0;0;0;" + t2));
  EXPECT_EQ(s.Remote[0].PartnerNo, 0);
  EXPECT_EQ(s.Remote[1].PartnerNo, 0);
}

TEST_F(ProtocolTest, ConnectionLossAndErrors) {
  // Before synchronisation the program stays open, and the log says why
  // nothing arrives.
  const std::size_t logged = s.MessageLog.size();
  LoginAnswered(s, std::string("pilot"));
  ClientSocketConnect(s, 0);
  s.Requests = {};
  ClientSocketDisconnect(s, 0);
  EXPECT_TRUE(s.Requests.ErrorBoxes.empty());
  EXPECT_FALSE(s.Requests.Close);
  ASSERT_EQ(s.MessageLog.size(), logged + 1);
  EXPECT_EQ(s.MessageLog.back(),
            "サーバーが接続を切りました（ワールド番号 " + std::to_string(s.WorldNo) + "）。");
  s.Requests = {};
  // Before any login reached play, a socket error closes the program.
  LoginAnswered(s, std::string("pilot"));
  s.Own.UserNo = 9;
  s.TimerEnabled = true;
  ClientSocketError(s, ECONNREFUSED, "example.org", 64000, 0);
  EXPECT_EQ(s.Requests.ErrorBoxes,
            (std::vector<std::string>{"サーバー example.org:64000 との通信エラー（" +
                                      std::to_string(ECONNREFUSED) +
                                      "）：接続が拒否されました。サーバーが動いていないか、"
                                      "ポート番号が違います。"}));
  EXPECT_EQ(s.Own.UserNo, 0);
  EXPECT_FALSE(s.TimerEnabled);
  EXPECT_TRUE(s.Requests.Close);
}

// A connection lost in play ends the run as left and the session with it, and
// offers to log in again; the answer logs in anew with the same handle. An
// attempt that fails to connect offers the same again instead of closing.
TEST_F(ProtocolTest, AConnectionLostInPlayOffersToLogInAgain) {
  LoginAnswered(s, std::string("pilot"));
  ClientSocketConnect(s, 0);
  LogIn();
  Receive("52566771;0;1;heading\tmission one\t\n");
  Receive(Positions(Record(kOwnUser, 2, testing::kCar) + Record(9, 2, testing::kCar, 40)));
  s.Figures.Active = true;
  s.Figures.Run.Distance = 500;  // m: a run worth keeping
  s.Requests = {};

  ClientSocketDisconnect(s, 9000);
  EXPECT_EQ(s.Requests.ReloginBox, "通信が切断されました。");
  EXPECT_FALSE(s.Requests.Close || s.TimerEnabled);
  EXPECT_EQ(s.Figures.Finished.End, state::TRunEnd::Left);
  EXPECT_EQ(s.Own.UserNo + s.Own.FormNo + vehicle::RemoteCount(s.Remote), 0);
  EXPECT_EQ(s.MissionRowCount, 3) << "the logbook's row names its mission from the grid";
  s.Requests = {};
  ClientSocketError(s, ECONNRESET, "127.0.0.1", 64000, 9000);  // the old connection: no news
  EXPECT_TRUE(s.Requests.ReloginBox.empty() && s.Requests.ErrorBoxes.empty());

  ReloginAnswered(s, true);
  EXPECT_TRUE(s.Requests.OpenConnection && !s.Requests.AskLogin) << "the same handle";
  EXPECT_EQ(s.MissionRowCount, 1) << "the new login brings its own missions";
  s.Requests = {};
  ClientSocketError(s, ECONNREFUSED, "::1", 64000, 9500);  // the server is not back yet
  EXPECT_EQ(s.Requests.ReloginBox.rfind("サーバー [::1]:64000 との通信エラー", 0), 0u);
  EXPECT_FALSE(s.Requests.Close);
  ReloginAnswered(s, true);
  s.Requests = {};
  ClientSocketConnect(s, 10000);
  EXPECT_EQ(Sent(), "52566771;20;1;30;guest\ttovel\t10000;pilot");
  ReloginAnswered(s, false);
  EXPECT_TRUE(s.Requests.Close);
}

// The server falls silent while the program waits for it: one line after
// kServerSilenceMs, and another only after a message has come in between.
// Before the login goes out nothing is awaited.
TEST_F(ProtocolTest, ASilentServerIsNamedOnceUntilItSpeaksAgain) {
  const std::string kSilent = "サーバーからの応答がありません。";
  struct Step {
    state::TLoginStage stage;
    uint32_t silentMs;
    bool speaks;  // a message arrives before the look
    int lines;    // silence lines logged so far
  };
  const Step steps[] = {
      {state::TLoginStage::Asking, 60000, false, 0},
      {state::TLoginStage::Connecting, 60000, false, 0},
      {state::TLoginStage::Sent, kServerSilenceMs - 1, false, 0},
      {state::TLoginStage::Sent, kServerSilenceMs, false, 1},
      {state::TLoginStage::LoggedIn, 60000, false, 1},
      {state::TLoginStage::LoggedIn, kServerSilenceMs - 1, true, 1},
      {state::TLoginStage::LoggedIn, kServerSilenceMs, false, 2},
  };
  for (const Step& step : steps) {
    s.LoginStage = step.stage;
    if (step.speaks) Receive("52566771;20;A\tまだいます\t\n");
    ServerSilence(s, step.silentMs);
    EXPECT_EQ(std::count(s.MessageLog.begin(), s.MessageLog.end(), kSilent), step.lines)
        << static_cast<int>(step.stage) << " " << step.silentMs;
  }
}

// A missile hit is read once, where the server's chat line arrives: the
// hit's cue for the sound on every hit, and the hits on the own vehicle
// counted for the shells. A miss, or words that only look like a hit, are none.
TEST_F(ProtocolTest, TheServersHitLineIsReadOnceWhereItArrives) {
  s.LoginHandle = "AI-01";
  const struct {
    const char* Text;
    bool Hit;
    uint32_t OnOwn;
  } lines[] = {
      {"AI-02さんのミサイルがAI-01さんに命中しました。", true, 1},
      {"AI-01さんのミサイルがAI-02さんに命中しました。", true, 0},
      {"AI-02さんのミサイルがAI-011さんに命中しました。", true, 0},
      {"AI-02さんのミサイルはAI-01さんに当たりませんでした。", false, 0},
      {"AI-01さんに命中しました", false, 0},
  };
  for (const auto& line : lines) {
    SCOPED_TRACE(line.Text);
    const uint32_t cues = s.Cues.Pushed, hits = s.HitsOnOwn;
    Receive(std::string("52566771;20;サーバー\t") + line.Text + "\t\n");
    EXPECT_EQ(s.MessageLog.back(), std::string("サーバー: ") + line.Text);
    EXPECT_EQ(s.Cues.Pushed - cues, line.Hit ? 1u : 0u);
    if (line.Hit) {
      EXPECT_EQ(s.Cues.At(cues).Kind, state::TCueKind::Hit);
    }
    EXPECT_EQ(s.HitsOnOwn - hits, line.OnOwn);
  }
  const std::optional<THitReport> hit = ParseHitReport("aさんのミサイルがbさんに命中しました。");
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->Shooter, "a");
  EXPECT_EQ(hit->Target, "b");
}

// The log keeps its last kMaxLogLines lines; the count goes on.
TEST_F(ProtocolTest, TheLogKeepsItsLastLines) {
  for (std::size_t i = 1; i <= state::kMaxLogLines + 1; ++i) {
    Receive("52566771;20;A\t" + std::to_string(i) + "\t\n");
  }
  ASSERT_EQ(s.MessageLog.size(), state::kMaxLogLines);
  EXPECT_EQ(s.MessageLog.front(), "A: 2");
  EXPECT_EQ(s.MessageLog.back(), "A: " + std::to_string(state::kMaxLogLines + 1));
  EXPECT_EQ(s.MessageLogCount, state::kMaxLogLines + 1);
}

// The grid cuts long mission texts: the chosen one goes to the log whole.
TEST_F(ProtocolTest, TheChosenMissionIsLoggedWhole) {
  Receive("52566771;0;1;選択してください\t着陸訓練：最終進入 6.5km（行先を選ぶと進入開始）\t\n");
  SendMission(s, 1);
  ASSERT_FALSE(s.MessageLog.empty());
  EXPECT_EQ(s.MessageLog.back(), "ミッション：着陸訓練：最終進入 6.5km（行先を選ぶと進入開始）");
  const std::size_t logged = s.MessageLog.size();
  SendMission(s, 2);  // beyond the list: nothing to show
  EXPECT_EQ(s.MessageLog.size(), logged);
}

}  // namespace
}  // namespace velmora::app
