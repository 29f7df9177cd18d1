// Feeds arbitrary bytes to the replay file loader. A file it accepts is then
// played at every speed from both ends: the remote list keeps its shape, the
// play index stays inside the ring and nothing crashes or hangs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/replay.h"
#include "app/replay_file.h"
#include "tests/support/test_vehicles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const velmora::app::TReplayLoadResult result = velmora::app::ParseReplay(bytes, "fuzz");
  if (!result.Recording) {
    if (result.Error.rfind("fuzz: byte ", 0) != 0) std::abort();
    return 0;
  }
  static velmora::state::TMainState* s = [] {
    auto* state = new velmora::state::TMainState;
    velmora::testing::FillTestForms(*state);
    return state;
  }();
  velmora::app::OpenReplay(*s, *result.Recording, 0);
  uint32_t now = 0;
  for (int32_t row = 2 + velmora::app::kReplayFastReverse; row <= 2 + velmora::app::kReplayFastPlay;
       ++row) {
    velmora::app::StringGridVideoClick(*s, row, now);
    for (int frame = 0; frame < 40; ++frame) {
      velmora::app::ReplayPlaybackStep(*s, now);
      now += velmora::app::kReplayFrameInterval;
      if (velmora::vehicle::RemoteCount(s->Remote) > 100) std::abort();
      if (s->PlayIndex < 0 || s->PlayIndex >= velmora::app::ReplayEntryCount(*s)) std::abort();
    }
  }
  velmora::app::StringGridVideoClick(*s, 2, now);
  return 0;
}
