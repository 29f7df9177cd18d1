#include "server/room_journal.h"

#include <utility>

namespace velmora::server {

std::string_view RefusalName(Refusal reason) {
  switch (reason) {
    case Refusal::WrongAccount:
      return "wrong_account";
    case Refusal::EmptyHandle:
      return "empty_handle";
    case Refusal::BadHandle:
      return "bad_handle";
    case Refusal::LongHandle:
      return "long_handle";
    case Refusal::HandleInUse:
      return "handle_in_use";
    case Refusal::AddressFull:
      return "address_full";
    case Refusal::RoomFull:
      return "room_full";
    case Refusal::OtherWorld:
      return "other_world";
    case Refusal::PendingFull:
      return "pending_full";
    case Refusal::Count:
      break;
  }
  return "unknown";
}

void RoomJournal::AddChat(uint32_t atMs, std::string speaker, std::string text, bool fromServer) {
  if (chat_.size() == kJournalChatLines) chat_.pop_front();
  chat_.push_back(ChatEntry{++chatCount_, atMs, std::move(speaker), std::move(text), fromServer});
}

void RoomJournal::AddResult(uint32_t atMs, std::string handle, int missionNo, std::string mission,
                            double seconds) {
  if (results_.size() == kJournalResults) results_.pop_front();
  results_.push_back(
      ResultEntry{++resultCount_, atMs, std::move(handle), missionNo, std::move(mission), seconds});
}

}  // namespace velmora::server
