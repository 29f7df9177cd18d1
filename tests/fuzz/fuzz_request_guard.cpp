// Feeds arbitrary bytes to the web side's request guard whole and in pieces
// whose sizes the input chooses: the verdict must not depend on how the bytes
// arrived.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "server/request_guard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using velmora::server::RequestGuard;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  RequestGuard whole;
  const auto verdict = whole.Feed(bytes);
  RequestGuard pieces;
  auto last = pieces.Feed({});
  const std::size_t step = size > 0 ? 1 + data[0] % 31 : 1;
  for (std::size_t at = 0; at < size; at += step) last = pieces.Feed(bytes.substr(at, step));
  if (last != verdict) std::abort();
  return 0;
}
