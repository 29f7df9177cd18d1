// What the room has seen, kept for the server's web side: the last lines of
// chat, the latest finished runs, and the logins admitted and refused by
// reason. Texts are UTF-8, as written by strangers: whoever shows them
// escapes them.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace velmora::server {

// Why a connection or a login was turned away.
enum class Refusal {
  WrongAccount,  // account or pass word
  EmptyHandle,
  BadHandle,  // not valid Shift-JIS
  LongHandle,
  HandleInUse,
  AddressFull,  // --max-per-address users from that address
  RoomFull,     // --max-users
  OtherWorld,   // the client asked for another world number
  PendingFull,  // no room for another connection that has not logged in
  Count
};

// The reason's name in the web side's JSON and metrics ("wrong_account", …).
std::string_view RefusalName(Refusal reason);

inline constexpr std::size_t kJournalChatLines = 100;
inline constexpr std::size_t kJournalResults = 20;

struct ChatEntry {
  uint64_t Seq = 0;     // 1, 2, … over the server's life
  uint32_t AtMs = 0;    // server time
  std::string Speaker;  // the sender's handle, or the server's name
  std::string Text;
  bool FromServer = false;
};

struct ResultEntry {
  uint64_t Seq = 0;   // 1, 2, … over the server's life
  uint32_t AtMs = 0;  // server time of the finish
  std::string Handle;
  int MissionNo = 0;    // 1-based, in file order
  std::string Mission;  // its title
  double Seconds = 0;   // from the placement to the goal
};

class RoomJournal {
 public:
  void AddChat(uint32_t atMs, std::string speaker, std::string text, bool fromServer);
  void AddResult(uint32_t atMs, std::string handle, int missionNo, std::string mission,
                 double seconds);
  void CountLogin() { ++logins_; }
  void CountRefusal(Refusal reason) { ++refusals_[static_cast<std::size_t>(reason)]; }

  // The last kJournalChatLines lines and kJournalResults results, oldest first.
  const std::deque<ChatEntry>& Chat() const { return chat_; }
  const std::deque<ResultEntry>& Results() const { return results_; }
  uint64_t ChatCount() const { return chatCount_; }  // lines ever said
  uint64_t ResultCount() const { return resultCount_; }
  uint64_t Logins() const { return logins_; }
  uint64_t Refusals(Refusal reason) const { return refusals_[static_cast<std::size_t>(reason)]; }

 private:
  std::deque<ChatEntry> chat_;
  std::deque<ResultEntry> results_;
  uint64_t chatCount_ = 0;
  uint64_t resultCount_ = 0;
  uint64_t logins_ = 0;
  std::array<uint64_t, static_cast<std::size_t>(Refusal::Count)> refusals_{};
};

}  // namespace velmora::server
