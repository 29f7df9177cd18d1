// A room with four test missions, driven with scripted messages at a
// settable time, and what it asked of the network; shared by the room's
// tests and the web side's.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "net/text_encoding.h"
#include "server/room.h"

namespace velmora::server {

constexpr int32_t kWorld = 52566771;
const std::string kPrefix = "52566771;20;1;";

// Records what the room asks of the network.
class RecordingOutput : public RoomOutput {
 public:
  void Send(ConnectionId id, std::string_view bytes) override { sent[id].emplace_back(bytes); }
  void Close(ConnectionId id) override { closed.insert(id); }
  void Log(std::string_view line) override { log.emplace_back(line); }
  bool InputWaiting(ConnectionId id) override { return unread.count(id) != 0; }

  // Lines sent to a connection since the last call, then forgotten.
  std::vector<std::string> Take(ConnectionId id) {
    std::vector<std::string> lines = std::move(sent[id]);
    sent[id].clear();
    return lines;
  }

  std::map<ConnectionId, std::vector<std::string>> sent;
  std::set<ConnectionId> closed;
  std::vector<std::string> log;
  std::set<ConnectionId> unread;  // bytes have arrived that the room was not given yet
};

inline std::string Cp932(const std::string& utf8) {
  return net::Utf8ToCp932(utf8).Text;
}

// A state message as the program formats it.
inline std::string State(int32_t user, int32_t room, int32_t kind, int32_t type, double xCm,
                         double yCm, double zCm, int32_t heading = 0, int32_t vxCm = 0,
                         int32_t vyCm = 0) {
  char text[256];
  std::snprintf(text, sizeof text, "40;%d;%d;%d;%d;%d;%.0f;%.0f;%.0f;%d;%d;%d;%d;%d;%d;%d;", user,
                room, 1000, kind, type, xCm, yCm, zCm, heading, 0, 0, 0, vxCm, vyCm, 0);
  return kPrefix + text;
}

// One record of a position line, split into its 15 numbers.
using Record = std::vector<long long>;

struct Positions {
  std::vector<long long> Head;  // interval, server time, wind east, wind north
  std::vector<Record> Records;
};

// Reads a code-40 line; fails the test when it is not one.
inline Positions ReadPositions(const std::string& line) {
  Positions p;
  EXPECT_EQ(line.rfind("52566771;40;", 0), 0u) << line;
  EXPECT_EQ(line.back(), '\n');
  std::vector<long long> numbers;
  std::size_t at = 0;
  while (at < line.size() && line[at] != '\n') {
    const std::size_t end = line.find(';', at);
    numbers.push_back(std::stoll(line.substr(at, end - at)));
    at = end + 1;
  }
  EXPECT_GE(numbers.size(), 7u);
  p.Head.assign(numbers.begin() + 2, numbers.begin() + 6);
  std::size_t i = 6;
  while (i < numbers.size() && numbers[i] != 0) {
    p.Records.emplace_back(numbers.begin() + static_cast<long>(i),
                           numbers.begin() + static_cast<long>(i + 15));
    i += 15;
  }
  EXPECT_EQ(i, numbers.size() - 1) << "the records end with a single 0";
  return p;
}

inline const Record* RecordOf(const Positions& p, long long user) {
  for (const Record& r : p.Records) {
    if (r[0] == user) return &r;
  }
  return nullptr;
}

inline MissionsFile TestMissions() {
  MissionsFile f;
  f.Headings = {"ミッション"};
  f.WindEast = 1.5;
  f.WindNorth = -2;
  // 1: fighters, two start points facing each other 3000 m apart.
  f.Missions.push_back(Mission{
      "戦闘機",
      1,
      false,
      {StartPoint{12, 0, -1500, 3000, 0, 0, 200, 0}, StartPoint{12, 0, 1500, 3000, 180, 0, 200, 0}},
      std::nullopt});
  // 2: landing practice.
  f.Missions.push_back(
      Mission{"練習", 0, true, {StartPoint{10, 0, -12000, 600, 0, 0, 108, 0}}, std::nullopt});
  // 3: a race with a goal 2 km north of the start.
  f.Missions.push_back(Mission{"レース",
                               0,
                               false,
                               {StartPoint{20, 800, -1000, 0, 0, 0, 0, 0}},
                               MissionGoal{800, 1000, 0, 20, 1000}});
  // 4: a car in another group, fighters' targets never.
  f.Missions.push_back(
      Mission{"車", 0, false, {StartPoint{20, 0, 0, 0, 0, 0, 0, 0}}, std::nullopt});
  return f;
}

class RoomTest : public ::testing::Test {
 protected:
  RoomTest() : room(RoomConfig{kWorld, 1, 100, 100}, TestMissions(), out) {}
  explicit RoomTest(int maxUsers)
      : room(RoomConfig{kWorld, 1, 100, maxUsers}, TestMissions(), out) {}

  // Connects and logs in; returns the user number the room gave.
  int32_t Login(ConnectionId id, const std::string& handleUtf8) {
    EXPECT_TRUE(room.Connect(id, now));
    room.Receive(id, kPrefix + "30;guest\ttovel\t12345;" + Cp932(handleUtf8), now);
    room.GraceExpired(id, now);
    const std::vector<std::string> lines = out.Take(id);
    if (lines.empty() || lines[0].rfind("52566771;30;", 0) != 0) {
      ADD_FAILURE() << "login of " << handleUtf8 << " was not accepted";
      return 0;
    }
    return std::stoi(lines[0].substr(12));
  }

  void Choose(ConnectionId id, int32_t user, int mission) {
    room.Receive(id, kPrefix + "50;" + std::to_string(user) + ";1;" + std::to_string(mission) + ";",
                 now);
  }

  // Users "a" on connection 1 and "b" on connection 2, placed by missions
  // missionA and missionB and announced in a round that both have read.
  std::pair<int32_t, int32_t> PlaceTwo(int missionA, int missionB) {
    const int32_t a = Login(1, "a");
    const int32_t b = Login(2, "b");
    Choose(1, a, missionA);
    Choose(2, b, missionB);
    room.Broadcast(now);
    out.Take(1);
    out.Take(2);
    return {a, b};
  }

  // Runs a round and returns what one connection received in it.
  Positions Round(ConnectionId id) {
    room.Broadcast(now);
    const std::vector<std::string> lines = out.Take(id);
    EXPECT_FALSE(lines.empty());
    return ReadPositions(lines.empty() ? "" : lines.back());
  }

  void Advance(uint32_t ms) { now += ms; }

  RecordingOutput out;
  Room room;
  uint32_t now = 1000;
};

}  // namespace velmora::server
