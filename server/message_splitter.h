// Cuts a client's byte stream into messages. Client messages carry no line
// end: each starts with the message prefix ("<world number>;20;1;"), and its
// end follows from the fields of its code. The login alone ends with a free
// text (the handle) and so runs up to the next prefix, or up to the end of
// what has arrived once the stream has been quiet for a grace period.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::server {

// The longest message a client may send, prefix included (bytes). A stream
// that holds more without completing a message is malformed.
inline constexpr std::size_t kMaxMessageLength = 9999;

enum class SplitStatus {
  Message,    // Body holds one complete message
  NeedMore,   // the buffered bytes do not complete a message yet
  Malformed,  // the stream cannot be a client's: close the connection
};

struct SplitResult {
  SplitStatus Status = SplitStatus::NeedMore;
  std::string Body;  // the message without its prefix, e.g. "40;0;"
};

class MessageSplitter {
 public:
  explicit MessageSplitter(std::string prefix) : prefix_(std::move(prefix)) {}

  void Append(std::string_view bytes);

  // Takes the next complete message from the front of the buffer.
  SplitResult Next();

  // After the grace period: a pending message whose end cannot be seen in its
  // fields (the login, an unknown code) is taken as complete as it stands.
  SplitResult Flush();

  // The world number a stream opens with when it is a client's message prefix
  // for another world ("<number>;20;1;"); nothing otherwise.
  std::optional<int32_t> ForeignWorld() const;

  // True while bytes of an incomplete message are buffered.
  bool HasPending() const { return buffer_.size() > start_; }

 private:
  // Length of the message at the front (prefix included), 0 when it is not
  // complete yet, npos when the bytes cannot be a message.
  std::size_t MessageLength(bool flushing) const;
  SplitResult Take(std::size_t length);

  std::string prefix_;
  std::string buffer_;
  std::size_t start_ = 0;  // bytes of buffer_ already taken
  bool broken_ = false;  // once malformed, always malformed
};

}  // namespace velmora::server
