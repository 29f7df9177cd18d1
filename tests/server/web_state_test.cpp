// The web side's texts for a scripted room: /api/state's JSON, read back with
// a real JSON parser, and the metrics; and the health figures over time.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "server/room.h"
#include "server/server_stats.h"
#include "server/web_state.h"
#include "tests/server/room_fixture.h"

namespace velmora::server {
namespace {

const std::string kHostile = "<img src=x onerror=alert(1)>";
const std::string kHostileChat = "</script><b onclick=\"x\">&amp;\\";

// Five users: a car on the road, a fighter with a hostile handle just placed, a practice flight,
// one without a mission, and a racer who has finished; a chat line, a refused login, three rounds
// and some bytes.
class WebStateTest : public RoomTest {
 protected:
  WebStateTest() {
    const int32_t car = Login(1, "たろう");
    Choose(1, car, 4);
    const int32_t fighter = Login(2, kHostile);
    Choose(3, Login(3, "練習生"), 2);
    Login(4, "ゲスト");
    const int32_t racer = Login(5, "はやい");
    Choose(5, racer, 3);
    Advance(12300);
    Choose(2, fighter, 1);
    room.Receive(5, State(racer, 1, 2, 20, 80000, 100000, 0), now);  // at the goal
    room.Receive(1, State(car, 1, 2, 20, 10000, 20000, -60, 9000, 1500, 0), now);
    room.Receive(2, kPrefix + "20;" + std::to_string(fighter) + ";1;" + kHostileChat + "\t", now);
    EXPECT_TRUE(room.Connect(9, now));
    room.Receive(9, kPrefix + "30;guest\twrong\t1;x", now);
    room.GraceExpired(9, now);
    Advance(500);
    stats.RoundDone(13000, 0.0004);
    stats.RoundDone(13100, 0.001);
    stats.RoundDone(13200, 0.002);
    stats.Sent(Side::Game, 12500, 1000);
    stats.Received(Side::Web, 12600, 300);
    web.Responses[200] = 7;
    web.Viewers = 2;
    web.Connections = 3;
  }

  WebClock Clock() const { return {now, now}; }

  ServerStats stats;
  WebCounters web;
};

QJsonValue At(const QJsonDocument& document, const std::string& path) {
  QJsonValue value = document.object();
  for (const QString& step : QString::fromStdString(path).split('/')) {
    bool index = false;
    const int n = step.toInt(&index);
    value = index ? value.toArray().at(n) : value.toObject().value(step);
  }
  return value;
}

TEST_F(WebStateTest, StateJsonShowsTheRoom) {
  const std::string text = StateJson(room, stats, web, Clock());
  QJsonParseError error;
  const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << text;
  EXPECT_EQ(text.find('<'), std::string::npos) << "every < is escaped";

  const QJsonValue null;
  struct Row {
    std::string path;
    QJsonValue expected;
  };
  const std::vector<Row> rows = {
      {"time_ms", 13800},
      {"server/world", 52566771},
      {"server/interval_ms", 100},
      // The car as its state says; the fighter as placed; the others have none shown.
      {"vehicles/0/handle", "たろう"},
      {"vehicles/0/kind", "car"},
      {"vehicles/0/x", 100.0},
      {"vehicles/0/y", 200.0},
      {"vehicles/0/height", 0.6},
      {"vehicles/0/heading", 90.0},
      {"vehicles/0/speed", 15.0},
      {"missions/3/no", 4},
      {"missions/3/title", "車"},
      {"missions/4", QJsonValue(QJsonValue::Undefined)},
      {"vehicles/0/mission_no", 4},
      {"vehicles/0/age_ms", 500},
      {"vehicles/1/handle", QString::fromStdString(kHostile)},
      {"vehicles/1/kind", "fighter"},
      {"vehicles/1/type", 12},
      {"vehicles/1/group", 1},
      {"vehicles/1/y", -1500.0},
      {"vehicles/1/height", 3000.0},
      {"vehicles/1/speed", 200.0},
      {"vehicles/1/age_ms", 500},
      {"vehicles/2", QJsonValue(QJsonValue::Undefined)},
      {"users/0/online_s", 12},
      {"users/0/vehicle", "car"},
      {"users/2/handle", "練習生"},
      {"users/2/vehicle", null},
      {"users/2/mission_no", 2},
      {"users/3/mission_no", 0},
      {"users/4/handle", "はやい"},
      {"users/4/vehicle", null},
      {"users/5", QJsonValue(QJsonValue::Undefined)},
      // The finish is announced by the server before the hostile line is said.
      {"chat/0/handle", "サーバー"},
      {"chat/0/server", true},
      {"chat/0/time_ms", 13300},
      {"chat/1/seq", 2},
      {"chat/1/handle", QString::fromStdString(kHostile)},
      {"chat/1/text", QString::fromStdString(kHostileChat)},
      {"chat/1/server", false},
      {"results/0/handle", "はやい"},
      {"results/0/mission", "レース"},
      {"results/0/mission_no", 3},
      {"results/0/seconds", 12.3},
      {"health/users", 5},
      {"health/connections", 6},
      {"health/logins", 5},
      {"health/refusals/wrong_account", 1},
      {"health/refusals/room_full", 0},
      {"health/rounds_per_s", 0.3},
      {"health/round_ms_median", 1.0},
      {"health/round_ms_max", 2.0},
      {"health/bytes_sent_per_s", 100.0},
      {"health/bytes_received_per_s", 30.0},
      {"health/viewers", 2},
      {"health/uptime_s", 13},
  };
  constexpr double kPrinted = 0.01;  // the figures are written to 0.01 or finer
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    const QJsonValue value = At(json, row.path);
    if (row.expected.isDouble()) {
      EXPECT_NEAR(value.toDouble(-1e9), row.expected.toDouble(), kPrinted);
    } else {
      EXPECT_EQ(value, row.expected);
    }
  }
  EXPECT_NE(At(json, "chat/0/text").toString().indexOf("レース"), -1);
}

TEST_F(WebStateTest, UpdatesCarryOnlyNewChatAndResults) {
  std::string text;
  AppendStateJson(text, room, stats, web, Clock(), 1, 1);
  const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(text));
  EXPECT_EQ(At(json, "chat").toArray().size(), 1);
  EXPECT_EQ(At(json, "chat/0/seq").toInt(), 2);
  EXPECT_TRUE(At(json, "results").toArray().isEmpty());
  EXPECT_EQ(At(json, "vehicles").toArray().size(), 2) << "vehicles and users come whole";
}

TEST_F(WebStateTest, MetricsInThePrometheusTextFormat) {
  const std::string text = MetricsText(room, stats, web, Clock());
  const std::vector<std::string> samples = {
      "velmora_users 5",
      "velmora_pending_connections 1",
      "velmora_vehicles 2",
      "velmora_uptime_seconds 13.800",
      "velmora_rounds_total 3",
      "velmora_round_seconds_bucket{le=\"0.0002\"} 0",
      "velmora_round_seconds_bucket{le=\"0.0005\"} 1",
      "velmora_round_seconds_bucket{le=\"0.001\"} 2",
      "velmora_round_seconds_bucket{le=\"0.002\"} 3",
      "velmora_round_seconds_bucket{le=\"+Inf\"} 3",
      "velmora_round_seconds_sum 0.003400",
      "velmora_round_seconds_count 3",
      "velmora_bytes_sent_total{side=\"game\"} 1000",
      "velmora_bytes_received_total{side=\"web\"} 300",
      "velmora_logins_total 5",
      "velmora_refusals_total{reason=\"wrong_account\"} 1",
      "velmora_refusals_total{reason=\"pending_full\"} 0",
      "velmora_chat_lines_total 2",
      "velmora_finishes_total 1",
      "velmora_web_connections 3",
      "velmora_web_viewers 2",
      "velmora_web_responses_total{code=\"200\"} 7",
  };
  std::set<std::string> lines;
  std::set<std::string> typed;
  std::istringstream in(text);
  const std::regex sample(R"(^(velmora_[a-z_]+)(\{[a-z]+="[^"]*"\})? -?[0-9.]+$)");
  for (std::string line; std::getline(in, line);) {
    lines.insert(line);
    std::smatch m;
    if (line.rfind("# TYPE ", 0) == 0) {
      typed.insert(line.substr(7, line.find(' ', 7) - 7));
    } else if (line.rfind("# HELP ", 0) != 0) {
      ASSERT_TRUE(std::regex_match(line, m, sample)) << line;
      // A histogram's samples belong to its family.
      const std::string family =
          std::regex_replace(m[1].str(), std::regex("_(bucket|sum|count)$"), "");
      EXPECT_TRUE(typed.count(m[1].str()) != 0 || typed.count(family) != 0) << line;
    }
  }
  for (const std::string& s : samples) EXPECT_TRUE(lines.count(s) != 0) << s;
}

TEST(ServerStats, WindowsAndBuckets) {
  ServerStats stats;
  // Round times: one that has left the minute, then 1, 2 and 5 ms; one round
  // left the rate window (10 s) but not the minute.
  stats.RoundDone(0, 0.009);
  stats.RoundDone(50000, 0.001);
  stats.RoundDone(60500, 0.002);
  stats.RoundDone(61000, 0.005);
  stats.Sent(Side::Game, 59999, 9000);     // second 59: before the window
  stats.Sent(Side::Web, 60000, 1000);      // second 60: the first in it
  stats.Received(Side::Game, 69999, 500);  // second 69: the last whole one
  stats.Received(Side::Game, 70000, 700);  // second 70: still going
  const RecentFigures f = stats.Recent(70000);
  EXPECT_DOUBLE_EQ(f.RoundsPerSecond, 0.2);
  EXPECT_NEAR(f.RoundMedianMs, 2.0, 1e-6);
  EXPECT_NEAR(f.RoundMaxMs, 5.0, 1e-6);
  EXPECT_DOUBLE_EQ(f.SentPerSecond, 100.0);
  EXPECT_DOUBLE_EQ(f.ReceivedPerSecond, 50.0);
  EXPECT_EQ(stats.Rounds(), 4u);
  EXPECT_EQ(stats.BytesSent(Side::Game), 9000u);
  EXPECT_EQ(stats.BytesReceived(Side::Game), 1200u);

  // A round of exactly a bucket's bound falls into that bucket.
  ServerStats bounds;
  bounds.RoundDone(0, kRoundBuckets[0]);
  bounds.RoundDone(0, kRoundBuckets[0] * 1.001);
  bounds.RoundDone(0, kRoundBuckets.back() * 1.001);
  EXPECT_EQ(bounds.RoundBucketCounts()[0], 1u);
  EXPECT_EQ(bounds.RoundBucketCounts()[1], 1u);
  EXPECT_EQ(bounds.RoundBucketCounts().back(), 1u);
  EXPECT_EQ(ServerStats().Recent(0).RoundsPerSecond, 0.0) << "no time, no rate";
}

}  // namespace
}  // namespace velmora::server
