#include "server/room.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <type_traits>
#include <utility>

#include "net/text_encoding.h"
#include "server/server_lines.h"
#include "server/shot_judge.h"
#include "vehicle/vehicle_state.h"

namespace velmora::server {
namespace {

constexpr std::string_view kGuestAccount = "guest";
constexpr std::string_view kGuestPassword = "tovel";
constexpr std::string_view kServerSpeaker = "サーバー";

// A placed vehicle counts as confirmed by the client's first state within
// this distance of its start point, plus twice its start speed's travel; or
// by any state once so much time has passed that no state of an earlier
// vehicle can still be on its way (the program may move a vehicle onto the
// nearest track when it places it).
constexpr double kPlacementMatchCm = 10000.0;  // cm (100 m)
constexpr uint32_t kPlacementSettleMs = 2000;
constexpr double kCentimetresPerMetre = 100.0;
constexpr double kSecondsPerMillisecond = 0.001;

constexpr int32_t kMaxKind = 4;
constexpr int32_t kMaxFormNo = 100;

std::string ToWire(std::string_view utf8) { return net::Utf8ToCp932(utf8).Text; }

// Wrap-safe age of a time stamp, ms.
uint32_t Since(uint32_t nowMs, uint32_t thenMs) { return nowMs - thenMs; }

int32_t AgeField(uint32_t ageMs) {
  return static_cast<int32_t>(ageMs > 0x7FFFFFFFu ? 0x7FFFFFFFu : ageMs);
}

int32_t ToCentimetres(double metresPerSecond) {
  return static_cast<int32_t>(std::lround(metresPerSecond * kCentimetresPerMetre));
}

bool IsFighter(const WireVehicle& v) {
  return v.Kind == vehicle::kKindAircraft && vehicle::IsFighter(v.FormNo);
}

// What a client of another world is told, UTF-8.
std::string ForeignWorldText(int32_t ownWorld, int32_t askedWorld) {
  return "このサーバーはワールド番号 " + std::to_string(ownWorld) + " のサーバーです。ワールド番号 " +
         std::to_string(askedWorld) + " には入れません。";
}

std::string Quoted(std::string_view handleUtf8) { return "'" + std::string(handleUtf8) + "'"; }

}  // namespace

Room::Room(RoomConfig config, MissionsFile missions, RoomOutput& output)
    : config_(config),
      missions_(std::move(missions)),
      output_(output),
      prefix_(std::to_string(config.WorldNo) + ";20;1;"),
      windEastCm_(ToCentimetres(missions_.WindEast)),
      windNorthCm_(ToCentimetres(missions_.WindNorth)) {}

int Room::UserCount() const {
  int count = 0;
  for (const auto& [id, c] : connections_) count += c.UserNo != 0 ? 1 : 0;
  return count;
}

const WireVehicle* Room::VehicleOf(int32_t userNo) const {
  for (const auto& [id, c] : connections_) {
    if (c.UserNo == userNo && c.Vehicle) return &*c.Vehicle;
  }
  return nullptr;
}

Room::Connection* Room::Find(ConnectionId id) {
  const auto it = connections_.find(id);
  return it == connections_.end() ? nullptr : &it->second;
}

std::size_t Room::PendingCount() const {
  std::size_t count = 0;
  for (const auto& [id, c] : connections_) count += c.UserNo == 0 ? 1 : 0;
  return count;
}

int32_t Room::UserOf(ConnectionId id) const {
  const auto it = connections_.find(id);
  return it == connections_.end() ? 0 : it->second.UserNo;
}

bool Room::Connect(ConnectionId id, uint32_t nowMs, std::string_view address) {
  now_ = nowMs;
  if (connections_.count(id) != 0) {
    output_.Log("connection " + std::to_string(id) + " refused: its number is in use");
    return false;
  }
  if (!Admit(id, address, nowMs)) return false;
  Connection& c = connections_.emplace(id, Connection(prefix_)).first->second;
  c.ConnectedAt = nowMs;
  c.ActiveAt = nowMs;
  c.Address = std::string(address);
  Note(c, "connection " + std::to_string(id) + " from " + c.Address);
  return true;
}

bool Room::Admit(ConnectionId id, std::string_view address, uint32_t nowMs) {
  // Pending connections by address, with those the room has no bytes of.
  struct Holding {
    std::size_t Count = 0;
    std::vector<std::pair<uint32_t, ConnectionId>> Silent;  // age (ms), id
  };
  std::map<std::string_view, Holding> holdings;
  std::size_t total = 0;
  for (const auto& [otherId, c] : connections_) {
    if (c.UserNo != 0) continue;
    Holding& h = holdings[c.Address];
    ++h.Count;
    ++total;
    if (Evictable(c)) h.Silent.emplace_back(Since(nowMs, c.ConnectedAt), otherId);
  }
  // The oldest silent connection of a holding whose bytes are not waiting
  // unread either (they may have arrived while the server was busy).
  const auto oldestSilent = [this](Holding* h) -> std::optional<ConnectionId> {
    if (h == nullptr) return std::nullopt;
    // Oldest first; of equal age, the one that came first.
    std::sort(h->Silent.begin(), h->Silent.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (const auto& [age, silentId] : h->Silent) {
      if (!output_.InputWaiting(silentId)) return silentId;
    }
    return std::nullopt;
  };
  const auto ownIt = holdings.find(address);
  Holding* own = ownIt != holdings.end() ? &ownIt->second : nullptr;
  const std::size_t ownCount = own != nullptr ? own->Count : 0;
  std::optional<ConnectionId> victim;
  if (ownCount >= kMaxPendingPerAddress) {
    victim = oldestSilent(own);
  } else if (total >= kMaxPendingLogins) {
    Holding* most = nullptr;
    uint32_t mostAge = 0;  // ms, of its oldest silent connection
    for (auto& [otherAddress, h] : holdings) {
      if (h.Silent.empty() || h.Count <= ownCount) continue;
      const uint32_t age = std::max_element(h.Silent.begin(), h.Silent.end())->first;
      if (most == nullptr || h.Count > most->Count || (h.Count == most->Count && age > mostAge)) {
        most = &h;
        mostAge = age;
      }
    }
    victim = oldestSilent(most);
    if (!victim) victim = oldestSilent(own);
  } else {
    return true;
  }
  if (!victim) {
    journal_.CountRefusal(Refusal::PendingFull);
    Note("address " + std::string(address), "connection " + std::to_string(id) + " from " +
                                                std::string(address) +
                                                " refused: pending logins full");
    return false;
  }
  Drop(*victim, "pending logins full; a connection that sent nothing makes room");
  output_.Close(*victim);
  return true;
}

void Room::Receive(ConnectionId id, std::string_view bytes, uint32_t nowMs) {
  now_ = nowMs;
  Connection* c = Find(id);
  if (c == nullptr || c->Foreign) return;
  c->ActiveAt = nowMs;
  c->Splitter.Append(bytes);
  Consume(id, false, nowMs);
}

void Room::Reading(ConnectionId id, uint32_t nowMs) {
  now_ = nowMs;
  if (Connection* c = Find(id)) c->ActiveAt = nowMs;
}

void Room::GraceExpired(ConnectionId id, uint32_t nowMs) {
  now_ = nowMs;
  Consume(id, true, nowMs);
}

bool Room::HasPendingInput(ConnectionId id) const {
  const auto it = connections_.find(id);
  return it != connections_.end() && it->second.Splitter.HasPending();
}

void Room::Consume(ConnectionId id, bool flushing, uint32_t nowMs) {
  for (;;) {
    Connection* c = Find(id);
    if (c == nullptr || c->Foreign) return;
    SplitResult next = flushing ? c->Splitter.Flush() : c->Splitter.Next();
    flushing = false;
    if (next.Status == SplitStatus::NeedMore) return;
    if (next.Status == SplitStatus::Malformed) {
      const std::optional<int32_t> foreign = c->Splitter.ForeignWorld();
      if (c->UserNo == 0 && foreign) {
        // A client of another world reads only lines of its own world: the
        // refusal goes out in that number, and the connection stays until
        // the client gives up or the login time runs out, so that it is read.
        Note(*c, "connection " + std::to_string(id) + " asks for world " +
                     std::to_string(*foreign) + "; refused");
        output_.Send(id, RefusalLine(*foreign, ToWire(ForeignWorldText(config_.WorldNo, *foreign))));
        journal_.CountRefusal(Refusal::OtherWorld);
        c->Foreign = true;
        return;
      }
      Drop(id, "malformed or oversized input");
      output_.Close(id);
      return;
    }
    const std::optional<ClientMessage> message = ParseClientMessage(next.Body);
    if (!message) {
      Drop(id, "malformed message");
      output_.Close(id);
      return;
    }
    HandleMessage(id, *c, *message, nowMs);
  }
}

void Room::Disconnect(ConnectionId id) { Drop(id, "disconnected"); }

void Room::Drop(ConnectionId id, std::string_view why) {
  Connection* c = Find(id);
  if (c == nullptr) return;
  if (c->UserNo != 0) {
    Note(*c, "disconnect: user " + std::to_string(c->UserNo) + " " + Quoted(c->HandleUtf8) + ": " +
                 std::string(why));
    if (c->Vehicle) {
      WireVehicle gone = *c->Vehicle;
      gone.Kind = 0;
      gone.FormNo = 0;
      departing_.push_back(gone);
    }
  } else {
    Note(*c, "disconnect: connection " + std::to_string(id) + " before login: " + std::string(why));
  }
  connections_.erase(id);
}

void Room::HandleMessage(ConnectionId id, Connection& c, const ClientMessage& message,
                         uint32_t nowMs) {
  std::visit(
      [&](const auto& m) {
        using T = std::decay_t<decltype(m)>;
        if constexpr (std::is_same_v<T, LoginMessage>) {
          HandleLogin(id, c, m);
        } else if constexpr (std::is_same_v<T, StateMessage>) {
          HandleState(c, m, nowMs);
        } else if constexpr (std::is_same_v<T, MissionMessage>) {
          HandleMission(c, m, nowMs);
        } else if constexpr (std::is_same_v<T, ShotMessage>) {
          HandleShot(c, m, nowMs);
        } else if constexpr (std::is_same_v<T, ChatMessage>) {
          HandleChat(id, c, m, nowMs);
        }
      },
      message);
}

void Room::Note(const Connection& c, std::string line) {
  Note(c.UserNo != 0 ? "user " + std::to_string(c.UserNo) : "address " + c.Address,
       std::move(line));
}

void Room::Note(const std::string& subject, std::string line) {
  auto [it, fresh] = logWindows_.try_emplace(subject);
  LogWindow& w = it->second;
  if (!fresh && Since(now_, w.StartAt) >= kLogWindowMs) {
    if (w.Suppressed > 0) {
      output_.Log(subject + ": " + std::to_string(w.Suppressed) + " log lines suppressed");
    }
    w = LogWindow{};
    fresh = true;
  }
  if (fresh) w.StartAt = now_;
  if (w.Lines < kMaxLogLinesPerSecond) {
    ++w.Lines;
    output_.Log(line);
  } else {
    ++w.Suppressed;
  }
}

void Room::ReportSuppressed(uint32_t nowMs) {
  for (auto it = logWindows_.begin(); it != logWindows_.end();) {
    if (Since(nowMs, it->second.StartAt) < kLogWindowMs) {
      ++it;
      continue;
    }
    if (it->second.Suppressed > 0) {
      output_.Log(it->first + ": " + std::to_string(it->second.Suppressed) +
                  " log lines suppressed");
    }
    it = logWindows_.erase(it);
  }
}

void Room::Refuse(ConnectionId id, const Connection& c, Refusal reason,
                  std::string_view reasonUtf8) {
  journal_.CountRefusal(reason);
  Note(c, "login refused on connection " + std::to_string(id) + ": " + std::string(reasonUtf8));
  output_.Send(id, RefusalLine(config_.WorldNo, ToWire(reasonUtf8)));
}

void Room::HandleLogin(ConnectionId id, Connection& c, const LoginMessage& login) {
  if (c.UserNo != 0) {
    Note(c, "user " + std::to_string(c.UserNo) + ": second login ignored");
    return;
  }
  if (login.Account != kGuestAccount || login.Password != kGuestPassword) {
    Refuse(id, c, Refusal::WrongAccount, "ユーザー名かパスワードが違います。");
    return;
  }
  // The handle goes into every chat line: no field or line ends, no blanks
  // around it, valid Shift-JIS.
  std::string handle = CleanText(login.Handle);
  while (!handle.empty() && handle.back() == ' ') handle.pop_back();
  while (!handle.empty() && handle.front() == ' ') handle.erase(0, 1);
  const net::TextConversion handleUtf8 = net::Cp932ToUtf8(handle);
  if (handle.empty()) {
    Refuse(id, c, Refusal::EmptyHandle, "ハンドル名が空です。");
    return;
  }
  if (!handleUtf8.Ok) {
    Refuse(id, c, Refusal::BadHandle, "ハンドル名に使えない文字が含まれています。");
    return;
  }
  if (handle.size() > kMaxHandleLength) {
    Refuse(id, c, Refusal::LongHandle, "ハンドル名が長すぎます（全角16文字まで）。");
    return;
  }
  for (const auto& [otherId, other] : connections_) {
    if (other.UserNo != 0 && other.Handle == handle) {
      Refuse(id, c, Refusal::HandleInUse, "そのハンドル名は使用中です。別の名前を入れてください。");
      return;
    }
  }
  int fromAddress = 0;
  for (const auto& [otherId, other] : connections_) {
    fromAddress += other.UserNo != 0 && other.Address == c.Address ? 1 : 0;
  }
  if (config_.MaxUsersPerAddress > 0 && fromAddress >= config_.MaxUsersPerAddress) {
    Refuse(id, c, Refusal::AddressFull,
           "同じアドレスからは " + std::to_string(config_.MaxUsersPerAddress) +
               " 人までしかログインできません。");
    return;
  }
  const int32_t userNo = UserCount() < config_.MaxUsers ? FreeUserNo() : 0;
  if (userNo == 0) {
    Refuse(id, c, Refusal::RoomFull,
           "満員のため入れません。しばらくしてからもう一度お試しください。");
    return;
  }

  c.UserNo = userNo;
  c.Handle = std::move(handle);
  c.HandleUtf8 = handleUtf8.Text;
  c.LoggedInAt = now_;
  journal_.CountLogin();
  Note(c, "login: user " + std::to_string(c.UserNo) + " " + Quoted(c.HandleUtf8) +
              " on connection " + std::to_string(id));

  std::vector<std::string> headings;
  for (const std::string& text : missions_.Headings) headings.push_back(ToWire(text));
  std::vector<std::string> titles;
  for (const Mission& mission : missions_.Missions) titles.push_back(ToWire(mission.Title));
  output_.Send(id, LoginAcceptedLine(config_.WorldNo, c.UserNo, config_.RoomNo));
  output_.Send(id, BaseWindLine(config_.WorldNo, windEastCm_, windNorthCm_));
  output_.Send(id, MissionListLine(config_.WorldNo, headings, titles));
}

int32_t Room::FreeUserNo() {
  if (nextUserNo_ <= kMaxUserNo) return nextUserNo_++;
  // A room for more users than replay entries can number hands out the
  // numbers above only while every lower one is held.
  const int32_t highest = std::max(kMaxUserNo, static_cast<int32_t>(config_.MaxUsers));
  // The number of a vehicle that has left waits for the round that tells the
  // others so, unless every free number is such a one.
  for (const bool skipDeparting : {true, false}) {
    std::vector<bool> taken(static_cast<std::size_t>(highest) + 1, false);
    const auto take = [&](int32_t userNo) {
      if (userNo > 0 && userNo <= highest) taken[static_cast<std::size_t>(userNo)] = true;
    };
    for (const auto& [id, c] : connections_) take(c.UserNo);
    if (skipDeparting) {
      for (const WireVehicle& gone : departing_) take(gone.UserNo);
    }
    for (int32_t userNo = 1; userNo <= highest; ++userNo) {
      if (!taken[static_cast<std::size_t>(userNo)]) return userNo;
    }
  }
  return 0;
}

bool Room::Claims(Connection& c, int32_t userNo, int32_t roomNo, std::string_view what) {
  if (c.UserNo == 0) return false;
  if (userNo == c.UserNo && roomNo == config_.RoomNo) return true;
  if (!c.SpoofLogged) {
    Note(c, "user " + std::to_string(c.UserNo) + ": " + std::string(what) + " claiming user " +
                std::to_string(userNo) + " in room " + std::to_string(roomNo) + " ignored");
    c.SpoofLogged = true;
  }
  return false;
}

void Room::HandleState(Connection& c, const StateMessage& state, uint32_t nowMs) {
  const WireVehicle& v = state.Vehicle;
  if (v.UserNo == 0) return;  // the empty state: nothing to update
  if (!Claims(c, v.UserNo, state.RoomNo, "state")) return;
  if (!Live(c)) return;  // no vehicle, or its run has just ended
  if (v.Kind < 1 || v.Kind > kMaxKind || v.FormNo < 1 || v.FormNo > kMaxFormNo) return;

  if (c.AwaitingFirstState) {
    // States the client sent before it took up the new start point describe
    // its previous vehicle: ignore them until one starts where it was placed.
    const double dx = v.X - c.Placed.X;
    const double dy = v.Y - c.Placed.Y;
    const double startSpeed = std::hypot(static_cast<double>(c.Placed.VX), c.Placed.VY);
    const double reach =
        kPlacementMatchCm + 2.0 * startSpeed * Since(nowMs, c.PlacedAt) * kSecondsPerMillisecond;
    if (std::hypot(dx, dy) > reach && Since(nowMs, c.PlacedAt) < kPlacementSettleMs) return;
    c.AwaitingFirstState = false;
  }

  WireVehicle& mine = *c.Vehicle;
  const int32_t groupNo = mine.GroupNo;
  mine = v;
  mine.UserNo = c.UserNo;
  mine.GroupNo = groupNo;
  c.UpdatedAt = nowMs;
  CheckGoal(c, nowMs);
}

void Room::CheckGoal(Connection& c, uint32_t nowMs) {
  if (c.MissionIndex < 0) return;
  const Mission& mission = missions_.Missions[static_cast<std::size_t>(c.MissionIndex)];
  if (!mission.Goal) return;
  const MissionGoal& goal = *mission.Goal;
  const WireVehicle& v = *c.Vehicle;
  const double dx = v.X / kCentimetresPerMetre - goal.X;
  const double dy = v.Y / kCentimetresPerMetre - goal.Y;
  const double dz = -v.Z / kCentimetresPerMetre - goal.Height;
  const double speed =
      std::sqrt(static_cast<double>(v.VX) * v.VX + static_cast<double>(v.VY) * v.VY +
                static_cast<double>(v.VZ) * v.VZ) /
      kCentimetresPerMetre;
  if (std::sqrt(dx * dx + dy * dy + dz * dz) > goal.Radius || speed > goal.MaxSpeed) return;

  const double seconds = Since(nowMs, c.PlacedAt) * kSecondsPerMillisecond;
  char time[32];
  std::snprintf(time, sizeof time, "%.1f", seconds);
  Note(c, "finish: user " + std::to_string(c.UserNo) + " " + Quoted(c.HandleUtf8) +
              " completed mission " + std::to_string(c.MissionIndex + 1) + " in " + time + " s");
  ServerChat(c.HandleUtf8 + "さんが「" + mission.Title + "」を完了しました。タイム " + time +
             " 秒");
  journal_.AddResult(nowMs, c.HandleUtf8, c.MissionIndex + 1, mission.Title, seconds);
  EndRun(c);
}

void Room::HandleMission(Connection& c, const MissionMessage& choice, uint32_t nowMs) {
  if (!Claims(c, choice.UserNo, choice.RoomNo, "mission choice")) return;
  if (choice.MissionNo < 1 || static_cast<std::size_t>(choice.MissionNo) > missions_.Missions.size()) {
    Note(c, "user " + std::to_string(c.UserNo) + ": mission " + std::to_string(choice.MissionNo) +
                " does not exist");
    return;
  }
  Place(c, choice.MissionNo - 1, nowMs);
}

void Room::Place(Connection& c, int missionIndex, uint32_t nowMs) {
  const Mission& mission = missions_.Missions[static_cast<std::size_t>(missionIndex)];

  // Users of one mission share its start points: take the least used one.
  std::vector<int> used(mission.Starts.size(), 0);
  for (const auto& [id, other] : connections_) {
    if (&other != &c && Live(other) && other.MissionIndex == missionIndex &&
        other.StartIndex >= 0 && static_cast<std::size_t>(other.StartIndex) < used.size()) {
      ++used[static_cast<std::size_t>(other.StartIndex)];
    }
  }
  std::size_t start = 0;
  for (std::size_t i = 1; i < used.size(); ++i) {
    if (used[i] < used[start]) start = i;
  }

  const WireVehicle record = StartRecord(mission, mission.Starts[start], c.UserNo);
  Note(c, "mission: user " + std::to_string(c.UserNo) + " " + Quoted(c.HandleUtf8) +
              " chose mission " + std::to_string(missionIndex + 1) + " '" + mission.Title +
              "', start point " + std::to_string(start + 1));
  c.OwnNotice = record;
  c.MissionIndex = missionIndex;
  c.StartIndex = static_cast<int>(start);
  c.PlacedAt = nowMs;
  if (mission.Practice) {
    // Practice flies alone: the others stop seeing any earlier vehicle.
    if (Live(c)) {
      c.Vehicle->Kind = 0;
      c.Vehicle->FormNo = 0;
      c.Ending = true;
    }
    c.AwaitingFirstState = false;
    return;
  }
  c.Vehicle = record;
  c.Ending = false;
  c.UpdatedAt = nowMs;
  c.Placed = record;
  c.AwaitingFirstState = true;
}

void Room::EndRun(Connection& c) {
  if (!c.Vehicle) return;
  c.Vehicle->Kind = 0;
  c.Vehicle->FormNo = 0;
  c.Ending = true;
  c.OwnNotice = *c.Vehicle;
  c.AwaitingFirstState = false;
}

void Room::HandleShot(Connection& c, const ShotMessage& shot, uint32_t nowMs) {
  if (!Claims(c, shot.UserNo, shot.RoomNo, "shot")) return;
  const std::string shooterName = "user " + std::to_string(c.UserNo) + " " + Quoted(c.HandleUtf8);
  if (!Live(c) || !IsFighter(*c.Vehicle)) {
    Note(c, "shot: " + shooterName + " has no fighter; ignored");
    return;
  }
  if (c.LastShotAt && Since(nowMs, *c.LastShotAt) < kMinShotSpacingMs) {
    Note(c, "shot: " + shooterName + " fired again too soon; ignored");
    return;
  }
  Connection* target = nullptr;
  for (auto& [id, other] : connections_) {
    if (&other != &c && other.UserNo == shot.TargetNo && Live(other)) target = &other;
  }
  if (target == nullptr || !IsFighter(*target->Vehicle) ||
      target->Vehicle->GroupNo != c.Vehicle->GroupNo) {
    Note(c, "shot: " + shooterName + " at user " + std::to_string(shot.TargetNo) +
                ": no such fighter in the shooter's group; ignored");
    return;
  }
  c.LastShotAt = nowMs;

  const ShotJudgement judgement =
      JudgeShot(*c.Vehicle, AgeField(Since(nowMs, c.UpdatedAt)), *target->Vehicle,
                AgeField(Since(nowMs, target->UpdatedAt)));
  const bool hit = judgement.Verdict == ShotVerdict::Hit;
  const char* verdict = hit ? "hit"
                        : judgement.Verdict == ShotVerdict::OutOfRange ? "miss, out of range"
                                                                        : "miss, not in front";
  Note(c, "shot: " + shooterName + " at user " + std::to_string(target->UserNo) + " " +
              Quoted(target->HandleUtf8) + ": " + verdict + " (" +
              std::to_string(std::lround(judgement.Distance)) + " m)");
  if (hit) {
    ServerChat(c.HandleUtf8 + "さんのミサイルが" + target->HandleUtf8 + "さんに命中しました。");
    EndRun(*target);
  } else {
    ServerChat(c.HandleUtf8 + "さんのミサイルは" + target->HandleUtf8 +
               "さんに当たりませんでした。");
  }
}

void Room::HandleChat(ConnectionId id, Connection& c, const ChatMessage& chat, uint32_t nowMs) {
  if (!Claims(c, chat.UserNo, chat.RoomNo, "chat")) return;
  if (c.ChatLines == 0 || Since(nowMs, c.ChatWindowAt) >= kChatWindowMs) {
    c.ChatWindowAt = nowMs;
    c.ChatLines = 0;
    c.ChatBytes = 0;
  }
  ++c.ChatLines;
  c.ChatBytes += chat.Text.size();
  if (c.ChatLines > kMaxChatLinesPerSecond || c.ChatBytes > kMaxChatBytesPerSecond) {
    Drop(id, "too much chat");
    output_.Close(id);
    return;
  }
  // Keep the text up to its first byte that is not Shift-JIS, so that no
  // client receives a broken character.
  const net::TextConversion check = net::Cp932ToUtf8(chat.Text);
  const std::string_view text =
      check.Ok ? std::string_view(chat.Text) : std::string_view(chat.Text).substr(0, check.ErrorOffset);
  SendToRoom(ChatLine(config_.WorldNo, c.Handle, text));
  journal_.AddChat(nowMs, c.HandleUtf8, net::Cp932ToUtf8(CleanText(text)).Text, false);
}

void Room::ServerChat(std::string_view textUtf8) {
  SendToRoom(ChatLine(config_.WorldNo, ToWire(kServerSpeaker), ToWire(textUtf8)));
  journal_.AddChat(now_, std::string(kServerSpeaker), std::string(textUtf8), true);
}

void Room::SendToRoom(std::string_view bytes) {
  for (const auto& [id, c] : connections_) {
    if (c.UserNo != 0) output_.Send(id, bytes);
  }
}

void Room::SetBaseWind(double east, double north) {
  const int32_t eastCm = ToCentimetres(east);
  const int32_t northCm = ToCentimetres(north);
  if (eastCm == windEastCm_ && northCm == windNorthCm_) return;
  windEastCm_ = eastCm;
  windNorthCm_ = northCm;
  SendToRoom(BaseWindLine(config_.WorldNo, windEastCm_, windNorthCm_));
}

void Room::AppendOthers(std::string& line, const Connection& c, std::size_t budget) const {
  const std::size_t ownLength = c.RecordEnd - c.RecordBegin;
  std::size_t cut = shared_.size();
  if (shared_.size() - ownLength > budget) {
    // The last record end whose text, less the own record, fits the budget.
    const std::size_t reach = budget >= c.RecordBegin ? budget + ownLength : budget;
    cut = *std::prev(std::upper_bound(recordEnds_.begin(), recordEnds_.end(), reach));
  }
  if (cut <= c.RecordBegin) {
    line.append(shared_, 0, cut);
    return;
  }
  line.append(shared_, 0, c.RecordBegin);
  line.append(shared_, c.RecordEnd, cut - c.RecordEnd);
}

void Room::Broadcast(uint32_t nowMs) {
  now_ = nowMs;
  // Connections that never logged in are not kept for ever, nor users who
  // neither send nor read.
  std::vector<ConnectionId> expired;
  std::vector<ConnectionId> idle;
  for (const auto& [id, c] : connections_) {
    if (c.UserNo == 0 && Since(nowMs, c.ConnectedAt) >= kLoginTimeoutMs) expired.push_back(id);
    if (c.UserNo != 0 && config_.IdleLimitMs > 0 &&
        Since(nowMs, c.ActiveAt) >= config_.IdleLimitMs) {
      idle.push_back(id);
    }
  }
  for (const ConnectionId id : expired) {
    Drop(id, "no login in time");
    output_.Close(id);
  }
  for (const ConnectionId id : idle) {
    Drop(id, "idle: sent nothing and read nothing for " +
                 std::to_string(config_.IdleLimitMs / 1000) + " s");
    output_.Close(id);
  }
  ReportSuppressed(nowMs);

  // Every vehicle's record is formatted once and shared by all clients.
  shared_.clear();
  recordEnds_.assign(1, 0);
  for (auto& [id, c] : connections_) {
    c.RecordBegin = c.RecordEnd = shared_.size();
    if (!c.Vehicle) continue;
    const uint32_t age = Since(nowMs, c.UpdatedAt);
    if (!c.Ending && age > kStaleVehicleMs) continue;
    AppendVehicleRecord(shared_, *c.Vehicle, AgeField(age));
    c.RecordEnd = shared_.size();
    recordEnds_.push_back(c.RecordEnd);
  }
  for (const WireVehicle& gone : departing_) {
    AppendVehicleRecord(shared_, gone, 0);
    recordEnds_.push_back(shared_.size());
  }

  const std::string head = PositionsHead(config_.WorldNo, config_.IntervalMs,
                                         static_cast<int32_t>(nowMs), windEastCm_, windNorthCm_);
  for (auto& [id, c] : connections_) {
    if (c.UserNo == 0) continue;
    // The others' records, then the own record only when it places the
    // vehicle or ends its run: the client resets its vehicle on each one.
    own_.clear();
    if (c.OwnNotice) AppendVehicleRecord(own_, *c.OwnNotice, 0);
    line_.assign(head);
    AppendOthers(line_, c, kMaxLineBytes + 1 - head.size() - own_.size() - kPositionsEnd.size());
    line_.append(own_);
    line_.append(kPositionsEnd);
    output_.Send(id, line_);
  }

  for (auto& [id, c] : connections_) {
    c.OwnNotice.reset();
    if (c.Ending) {
      c.Vehicle.reset();
      c.Ending = false;
    }
  }
  departing_.clear();
}

}  // namespace velmora::server
