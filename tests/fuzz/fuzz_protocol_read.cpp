// Feeds arbitrary server text to the program's read processing in pieces the
// input chooses. Whatever arrives, the remote list keeps its shape, the
// remainder stays bounded and nothing crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/protocol.h"
#include "tests/support/test_vehicles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static velmora::state::TMainState* base = [] {
    auto* s = new velmora::state::TMainState;
    velmora::testing::FillTestForms(*s);
    s->Own.UserNo = 7;
    return s;
  }();
  velmora::state::TMainState s = *base;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  uint32_t now = 1000;
  while (!text.empty()) {
    const std::size_t piece = 1 + static_cast<unsigned char>(text.front()) % 64;
    const std::string_view chunk = text.substr(0, piece);
    text.remove_prefix(chunk.size());
    velmora::app::ClientSocketRead(s, chunk, now);
    now += 10;
    if (s.ReceiveRemainder.size() > velmora::app::kMaxLineLength) std::abort();
    if (velmora::vehicle::RemoteCount(s.Remote) > 100) std::abort();
    if (s.Remote[100].UserNo != 0) std::abort();
  }
  return 0;
}
