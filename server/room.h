// The game server's one room: logins, missions, positions, chat and shots for
// every connection, without any networking of its own. The caller feeds it
// received bytes and the time, and carries out what it asks through
// RoomOutput: bytes to send, connections to close, log lines.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/client_message.h"
#include "server/message_splitter.h"
#include "server/missions.h"
#include "server/room_journal.h"

namespace velmora::server {

using ConnectionId = uint64_t;

// After this long without new bytes a pending login is taken as complete.
inline constexpr int kLoginGraceMs = 100;
// A connection that has not logged in after this long is closed. A client
// sends its login as soon as it has connected.
inline constexpr uint32_t kLoginTimeoutMs = 10000;
// A vehicle whose owner has sent nothing for this long is left out of the
// rounds: the clients would otherwise re-run its whole age on every message.
inline constexpr uint32_t kStaleVehicleMs = 5000;
// Connections that have not logged in yet have their own budget, apart from
// the users': at most this many at once, and this many from one address. A
// connection whose login message has begun to arrive is never closed to make
// room. A new connection past its address's budget closes that address's
// oldest connection that has sent nothing, or is refused when there is none.
// Past the whole budget it closes such a connection of the address holding
// the most, when that address holds more than the new one's, else one of its
// own address, else it is refused. So a stranger may push out only silent
// connections of an address that holds more than its own, and never a login
// that is on its way.
inline constexpr std::size_t kMaxPendingLogins = 256;
inline constexpr std::size_t kMaxPendingPerAddress = 8;
// Log lines about one user's connection (before login: about one address)
// within a second; the rest of that second is counted and reported in one
// line, so that no client can flood the log.
inline constexpr int kMaxLogLinesPerSecond = 10;
inline constexpr uint32_t kLogWindowMs = 1000;
// User numbers count up from 1 while they fit the replay entry's signed
// byte; after that a login gets the lowest number no user holds.
inline constexpr int32_t kMaxUserNo = 127;
// Chat one connection may send in a second; over either limit the connection
// is closed, so that one client cannot flood every other one.
inline constexpr int kMaxChatLinesPerSecond = 10;
inline constexpr std::size_t kMaxChatBytesPerSecond = 16 * 1024;
inline constexpr uint32_t kChatWindowMs = 1000;
// Longest handle accepted, bytes of CP932.
inline constexpr std::size_t kMaxHandleLength = 32;
// Shortest spacing of two shots by one fighter; the client keeps 10 s.
inline constexpr uint32_t kMinShotSpacingMs = 9000;

struct RoomConfig {
  int32_t WorldNo = 52566771;
  int32_t RoomNo = 1;
  int32_t IntervalMs = 100;  // ms between rounds of positions
  int MaxUsers = 100;        // logged-in users at once
  int MaxUsersPerAddress = 0;  // logged-in users from one address at once; 0: no limit
  uint32_t IdleLimitMs = 0;    // a user who neither sends nor reads this long is closed; 0: never
};

// A logged-in user as the web side shows it; the views are valid until the
// room changes.
struct UserView {
  int32_t UserNo = 0;
  std::string_view Handle;               // UTF-8
  uint32_t LoggedInAt = 0;               // ms, server time
  int MissionNo = 0;                     // the mission last chosen, 1-based; 0 before any
  const WireVehicle* Vehicle = nullptr;  // what the others see of its vehicle; nullptr for none
  uint32_t VehicleAgeMs = 0;             // since the owner's last state
};

class RoomOutput {
 public:
  virtual ~RoomOutput() = default;
  virtual void Send(ConnectionId id, std::string_view bytes) = 0;
  // The room has already forgotten the connection.
  virtual void Close(ConnectionId id) = 0;
  // One line of the server log, UTF-8.
  virtual void Log(std::string_view line) = 0;
  // True when bytes from the connection have arrived that the room has not
  // been given yet.
  virtual bool InputWaiting(ConnectionId) { return false; }
};

class Room {
 public:
  Room(RoomConfig config, MissionsFile missions, RoomOutput& output);

  // A new connection from `address` (any text naming the peer). It may close
  // a pending connection to make room; false when it is refused or the id is
  // already in use (the caller closes it).
  bool Connect(ConnectionId id, uint32_t nowMs, std::string_view address = {});
  void Receive(ConnectionId id, std::string_view bytes, uint32_t nowMs);
  // The client has taken lines sent to it since the last call: it counts as
  // active for the idle limit.
  void Reading(ConnectionId id, uint32_t nowMs);
  // The connection's grace period passed without new bytes.
  void GraceExpired(ConnectionId id, uint32_t nowMs);
  // True while the connection holds bytes of an incomplete message.
  bool HasPendingInput(ConnectionId id) const;
  void Disconnect(ConnectionId id);

  // One round: a position message to every logged-in client, of at most
  // kMaxLineBytes before its LF: the records past that are left out of it,
  // the own record never. It also closes
  // pending connections out of time and idle users, and reports suppressed
  // log lines.
  void Broadcast(uint32_t nowMs);

  // Sets the base wind (m/s); clients hear of a change at once.
  void SetBaseWind(double east, double north);

  const RoomConfig& Config() const { return config_; }
  std::size_t ConnectionCount() const { return connections_.size(); }
  int UserCount() const;
  // Connections that have not logged in yet.
  std::size_t PendingCount() const;
  // The user number of a connection; 0 before login or when there is none.
  int32_t UserOf(ConnectionId id) const;
  // The room's record of a user's vehicle; nullptr when it has none.
  const WireVehicle* VehicleOf(int32_t userNo) const;

  // Every logged-in user, in the order they connected. A vehicle is shown as
  // the rounds show it: not while its run is ending, nor after kStaleVehicleMs
  // without a state from its owner.
  template <typename Visit>
  void ForEachUser(uint32_t nowMs, Visit&& visit) const;
  const MissionsFile& Missions() const { return missions_; }
  const RoomJournal& Journal() const { return journal_; }

 private:
  struct Connection {
    explicit Connection(std::string prefix) : Splitter(std::move(prefix)) {}
    MessageSplitter Splitter;
    uint32_t ConnectedAt = 0;        // ms
    uint32_t ActiveAt = 0;           // ms, when the client last sent or read
    uint32_t LoggedInAt = 0;         // ms
    std::string Address;             // the peer, for the pending and user budgets
    int32_t UserNo = 0;              // 0 until the login is accepted
    std::string Handle;              // CP932
    std::string HandleUtf8;          // for the log
    std::optional<WireVehicle> Vehicle;  // the vehicle the others see
    bool Ending = false;             // sent once more with kind 0, then removed
    uint32_t UpdatedAt = 0;          // ms, when Vehicle last changed
    std::optional<WireVehicle> OwnNotice;  // goes to the owner in the next round
    bool AwaitingFirstState = false; // placed; the client's first state not yet seen
    WireVehicle Placed;              // the start record while awaiting that state
    uint32_t PlacedAt = 0;           // ms
    int MissionIndex = -1;           // into the missions file
    int StartIndex = -1;
    std::optional<uint32_t> LastShotAt;  // ms
    bool SpoofLogged = false;        // one log line per connection is enough
    bool Foreign = false;            // a client of another world, told so; its input is ignored
    std::size_t RecordBegin = 0;     // this round's record in the shared text
    std::size_t RecordEnd = 0;
    uint32_t ChatWindowAt = 0;       // ms, start of the current chat second
    int ChatLines = 0;               // chat lines in that second
    std::size_t ChatBytes = 0;       // and their text bytes
  };

  Connection* Find(ConnectionId id);
  void Drop(ConnectionId id, std::string_view why);
  void HandleMessage(ConnectionId id, Connection& c, const ClientMessage& message, uint32_t nowMs);
  void HandleLogin(ConnectionId id, Connection& c, const LoginMessage& login);
  void HandleState(Connection& c, const StateMessage& state, uint32_t nowMs);
  void HandleMission(Connection& c, const MissionMessage& mission, uint32_t nowMs);
  void HandleShot(Connection& c, const ShotMessage& shot, uint32_t nowMs);
  void HandleChat(ConnectionId id, Connection& c, const ChatMessage& chat, uint32_t nowMs);
  // Whether a pending connection may be closed to make room for another.
  static bool Evictable(const Connection& c) { return c.UserNo == 0 && !c.Splitter.HasPending(); }
  // Makes room for a new connection from `address`; false when it is refused.
  bool Admit(ConnectionId id, std::string_view address, uint32_t nowMs);
  int32_t FreeUserNo();
  // A log line about a user (before login: about its address), within the
  // log line limit.
  void Note(const Connection& c, std::string line);
  void Note(const std::string& subject, std::string line);
  // Reports the lines suppressed in windows that have ended, and forgets those windows.
  void ReportSuppressed(uint32_t nowMs);
  bool Claims(Connection& c, int32_t userNo, int32_t roomNo, std::string_view what);
  void Refuse(ConnectionId id, const Connection& c, Refusal reason, std::string_view reasonUtf8);
  void Place(Connection& c, int missionIndex, uint32_t nowMs);
  void EndRun(Connection& c);
  void CheckGoal(Connection& c, uint32_t nowMs);
  void SendToRoom(std::string_view bytes);
  void ServerChat(std::string_view textUtf8);
  bool Live(const Connection& c) const { return c.Vehicle && !c.Ending; }
  void Consume(ConnectionId id, bool flushing, uint32_t nowMs);
  // Appends this round's records but c's own, as many whole ones, in order,
  // as fit `budget` bytes.
  void AppendOthers(std::string& line, const Connection& c, std::size_t budget) const;

  RoomConfig config_;
  MissionsFile missions_;
  RoomOutput& output_;
  std::string prefix_;
  std::map<ConnectionId, Connection> connections_;
  std::vector<WireVehicle> departing_;  // vehicles of users who left, sent once with kind 0
  int32_t nextUserNo_ = 1;
  uint32_t now_ = 0;  // ms, the latest time the room was given
  struct LogWindow {
    uint32_t StartAt = 0;  // ms
    int Lines = 0;
    int Suppressed = 0;
  };
  std::map<std::string, LogWindow> logWindows_;  // by the subject the lines are about
  int32_t windEastCm_ = 0;   // cm/s
  int32_t windNorthCm_ = 0;  // cm/s
  std::string shared_;       // this round's records, reused between rounds
  std::vector<std::size_t> recordEnds_;  // where each record of shared_ ends, after a 0
  std::string own_;                      // a client's own record in this round
  std::string line_;
  RoomJournal journal_;
};

template <typename Visit>
void Room::ForEachUser(uint32_t nowMs, Visit&& visit) const {
  for (const auto& [id, c] : connections_) {
    if (c.UserNo == 0) continue;
    UserView user;
    user.UserNo = c.UserNo;
    user.Handle = c.HandleUtf8;
    user.LoggedInAt = c.LoggedInAt;
    user.MissionNo = c.MissionIndex + 1;
    const uint32_t age = nowMs - c.UpdatedAt;
    if (c.Vehicle && !c.Ending && age <= kStaleVehicleMs) {
      user.Vehicle = &*c.Vehicle;
      user.VehicleAgeMs = age;
    }
    visit(static_cast<const UserView&>(user));
  }
}

}  // namespace velmora::server
