// The bounds on what a web client may send, checked on the bytes as they
// arrive, before the HTTP library parses them: the library would buffer a
// request head of any length. The guard only counts: bytes in the current
// line and lines in the current head (a head ends with an empty line); it
// leaves everything else about the request to the library.
#pragma once

#include <cstddef>
#include <string_view>

namespace velmora::server {

// Longest request line ("GET /path HTTP/1.1"), bytes before its line end.
inline constexpr std::size_t kMaxRequestLine = 2048;
// Longest header line, most header lines in one request, and most bytes of
// them all together.
inline constexpr std::size_t kMaxHeaderLine = 4096;
inline constexpr int kMaxHeaderLines = 40;
inline constexpr std::size_t kMaxHeaderBytes = 16384;

enum class GuardVerdict {
  Fine,                // within bounds so far
  RequestLineTooLong,  // answered with 414
  HeadersTooLarge,     // a header line too long, too many or too much: answered with 431
};

class RequestGuard {
 public:
  // Takes the next bytes of the connection. Once a verdict is not Fine it
  // stays so.
  GuardVerdict Feed(std::string_view bytes);

 private:
  GuardVerdict verdict_ = GuardVerdict::Fine;
  std::size_t lineBytes_ = 0;    // of the current line, without CR and LF
  int lines_ = 0;                // whole lines of the current head, its request line included
  std::size_t headerBytes_ = 0;  // of the current head's header lines
};

}  // namespace velmora::server
