#include "server/message_splitter.h"

#include <cstdint>
#include <optional>

#include "net/field_reader.h"

namespace velmora::server {
namespace {

constexpr std::size_t kIncomplete = 0;
constexpr std::size_t kNotAMessage = std::string_view::npos;

// Message codes a client sends.
constexpr int32_t kCodeChat = 20;
constexpr int32_t kCodeLogin = 30;
constexpr int32_t kCodeState = 40;
constexpr int32_t kCodeMission = 50;
constexpr int32_t kCodeShot = 60;

// Number fields that follow the code in a full state message and in the
// mission and shot messages.
constexpr int kStateFields = 15;
constexpr int kMissionFields = 3;
constexpr int kShotFields = 3;

// Position just past the n-th ";" at or after `from`, or npos.
std::size_t PastSemicolons(std::string_view text, std::size_t from, int count) {
  std::size_t at = from;
  for (int i = 0; i < count; ++i) {
    const std::size_t semicolon = text.find(';', at);
    if (semicolon == std::string_view::npos) return std::string_view::npos;
    at = semicolon + 1;
  }
  return at;
}

}  // namespace

std::optional<int32_t> MessageSplitter::ForeignWorld() const {
  static constexpr std::string_view kAfterWorld = ";20;1;";
  const std::string_view text = std::string_view(buffer_).substr(start_);
  const std::string_view prefix(prefix_);
  const std::size_t end = text.find(';');
  if (end == std::string_view::npos || text.substr(end, kAfterWorld.size()) != kAfterWorld) {
    return std::nullopt;
  }
  const std::optional<int32_t> world = net::ParseIntegerField(text.substr(0, end));
  const std::optional<int32_t> own = net::ParseIntegerField(prefix.substr(0, prefix.find(';')));
  if (!world || !own || *world == *own) return std::nullopt;
  return world;
}

std::size_t MessageSplitter::MessageLength(bool flushing) const {
  const std::string_view text = std::string_view(buffer_).substr(start_);
  const std::string_view prefix(prefix_);

  // The stream must open with the prefix; a shorter start must be the
  // beginning of it.
  if (text.size() < prefix.size()) {
    return prefix.substr(0, text.size()) == text ? kIncomplete : kNotAMessage;
  }
  if (text.substr(0, prefix.size()) != prefix) return kNotAMessage;

  const std::size_t codeStart = prefix.size();
  const std::size_t codeEnd = text.find(';', codeStart);
  if (codeEnd == std::string_view::npos) return kIncomplete;
  const std::optional<int32_t> code =
      net::ParseIntegerField(text.substr(codeStart, codeEnd - codeStart));
  if (!code) return kNotAMessage;
  const std::size_t fieldsStart = codeEnd + 1;

  switch (*code) {
    case kCodeState: {
      // "40;0;" is the empty state; any other user number brings 15 fields.
      const std::size_t userEnd = text.find(';', fieldsStart);
      if (userEnd == std::string_view::npos) return kIncomplete;
      const std::optional<int32_t> user =
          net::ParseIntegerField(text.substr(fieldsStart, userEnd - fieldsStart));
      if (!user) return kNotAMessage;
      if (*user == 0) return userEnd + 1;
      const std::size_t end = PastSemicolons(text, fieldsStart, kStateFields);
      return end == std::string_view::npos ? kIncomplete : end;
    }
    case kCodeMission:
    case kCodeShot: {
      const int fields = *code == kCodeMission ? kMissionFields : kShotFields;
      const std::size_t end = PastSemicolons(text, fieldsStart, fields);
      return end == std::string_view::npos ? kIncomplete : end;
    }
    case kCodeChat: {
      // User and room numbers, then the text up to its closing TAB.
      const std::size_t textStart = PastSemicolons(text, fieldsStart, 2);
      if (textStart == std::string_view::npos) return kIncomplete;
      const std::size_t tab = text.find('\t', textStart);
      return tab == std::string_view::npos ? kIncomplete : tab + 1;
    }
    case kCodeLogin:
    default: {
      // The login (and any code this server does not know) runs up to the
      // next prefix, or to the end of the stream after the grace period.
      const std::size_t next = text.find(prefix, fieldsStart);
      if (next != std::string_view::npos) return next;
      return flushing ? text.size() : kIncomplete;
    }
  }
}

SplitResult MessageSplitter::Take(std::size_t length) {
  SplitResult result;
  if (length == kNotAMessage || broken_) {
    broken_ = true;
    result.Status = SplitStatus::Malformed;
    return result;
  }
  if (length == kIncomplete) {
    result.Status = buffer_.size() - start_ > kMaxMessageLength ? SplitStatus::Malformed
                                                                : SplitStatus::NeedMore;
    if (result.Status == SplitStatus::Malformed) broken_ = true;
    return result;
  }
  if (length > kMaxMessageLength) {
    broken_ = true;
    result.Status = SplitStatus::Malformed;
    return result;
  }
  result.Status = SplitStatus::Message;
  result.Body = buffer_.substr(start_ + prefix_.size(), length - prefix_.size());
  start_ += length;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  return result;
}

void MessageSplitter::Append(std::string_view bytes) {
  // Taken messages are only skipped; their bytes go when new ones arrive.
  buffer_.erase(0, start_);
  start_ = 0;
  buffer_.append(bytes);
}

SplitResult MessageSplitter::Next() { return Take(MessageLength(false)); }

SplitResult MessageSplitter::Flush() {
  if (!HasPending() && !broken_) return SplitResult{};
  return Take(MessageLength(true));
}

}  // namespace velmora::server
