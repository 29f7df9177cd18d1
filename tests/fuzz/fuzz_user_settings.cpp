// Feeds arbitrary "key=value" lines to the settings' reader, as a hand-edited
// or damaged settings file would give them. Whatever arrives, every value read
// is within its range, no table binds one key twice, and nothing crashes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "app/user_settings.h"

namespace {

constexpr const char* kGuid = "03000000de280000ff11000001000000";

bool InRange(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace velmora::app;
  std::map<std::string, std::string> file;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos) {
      file[std::string(line.substr(0, equals))] = std::string(line.substr(equals + 1));
    }
  }
  const TSettingsReader read = [&](const std::string& key) -> std::optional<std::string> {
    const auto found = file.find(key);
    if (found == file.end()) return std::nullopt;
    return found->second;
  };
  std::vector<std::string> problems;
  const TUserSettings settings = ReadUserSettings(read, problems);
  const TJoystickMapping mapping =
      ReadJoystickMapping(read, kGuid, DefaultJoystickMapping(), problems);
  for (const TKeyTable& table : settings.Keys.Tables) {
    for (std::size_t a = 0; a < table.Keys.size(); ++a) {
      for (std::size_t b = a + 1; b < table.Keys.size(); ++b) {
        if (table.Keys[a] != 0 && table.Keys[a] == table.Keys[b]) std::abort();
      }
    }
  }
  const TSoundLevels& sound = settings.Sound;
  for (const int32_t level : {sound.Master, sound.Engines, sound.Voices, sound.Warnings, sound.Traffic}) {
    if (!InRange(level, 0, 100)) std::abort();
  }
  if (!InRange(settings.Fps, 0, 100) || settings.Recent.size() > kRecentServers) std::abort();
  for (const TAxisMapping& axis : mapping.Axes) {
    if (!InRange(axis.Axis, -1, kMaxJoystickAxes - 1)) std::abort();
    if (!(axis.DeadZone >= 0 && axis.DeadZone <= kMaxDeadZone)) std::abort();
    if (!(axis.Curve >= 0 && axis.Curve <= 1)) std::abort();
  }
  return 0;
}
