#include "server/request_guard.h"

namespace velmora::server {

GuardVerdict RequestGuard::Feed(std::string_view bytes) {
  for (const char byte : bytes) {
    if (verdict_ != GuardVerdict::Fine) break;
    if (byte == '\n') {
      // An empty line ends the head; one before any request line is skipped,
      // as HTTP allows.
      if (lineBytes_ == 0) {
        lines_ = 0;
        headerBytes_ = 0;
      } else {
        ++lines_;
      }
      lineBytes_ = 0;
      continue;
    }
    if (byte == '\r') continue;
    ++lineBytes_;
    if (lines_ == 0) {
      if (lineBytes_ > kMaxRequestLine) verdict_ = GuardVerdict::RequestLineTooLong;
      continue;
    }
    ++headerBytes_;
    if (lineBytes_ > kMaxHeaderLine || lines_ > kMaxHeaderLines || headerBytes_ > kMaxHeaderBytes) {
      verdict_ = GuardVerdict::HeadersTooLarge;
    }
  }
  return verdict_;
}

}  // namespace velmora::server
