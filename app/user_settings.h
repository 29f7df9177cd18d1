// The user's settings as plain values, and how each is read from and written
// to the settings file's text: keys, joystick mappings, sound levels, the
// frame-rate cap, window mode and render scale, and the connection. The file itself is the shell's; here a
// stored value is only a string under a key ("sound/voices" → "50"). A value
// that cannot be read falls back to its default alone, with one line saying so.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/joystick_mapping.h"
#include "app/key_bindings.h"
#include "net/host_port.h"

namespace velmora::app {

// Levels in percent, 0..100; each group's level multiplies the master level.
struct TSoundLevels {
  int32_t Master = 100;
  int32_t Engines = 100;   // engines and the vehicle's own sounds
  int32_t Voices = 100;    // the crew's calls
  int32_t Warnings = 100;  // bell, stall shaker, lock-on tone
  int32_t Traffic = 100;   // other vehicles
};

inline constexpr int kRecentServers = 5;

struct TUserSettings {
  TKeyBindings Keys = DefaultKeyBindings();
  TSoundLevels Sound;
  int32_t Fps = 0;                          // 3D frames a second, 1..100; 0 = the screen's rate
  bool FullScreen = false;                  // the window starts full screen; F11 keeps it
  int32_t RenderScale = 0;                  // 3D render scale, % of each side, 50..100; 0 = auto
  std::optional<net::THostPort> Server;     // the last server; none before the first login
  std::string Handle;                       // the last handle; empty before the first login
  std::vector<net::THostPort> Recent;       // newest first, at most kRecentServers
  std::string JoystickDevice;               // GUID of the chosen device; empty: the first found
};

// A stored value by its key, or nothing when the file lacks it.
using TSettingsReader = std::function<std::optional<std::string>(const std::string& key)>;
// Key and value pairs to store.
using TSettingsEntries = std::vector<std::pair<std::string, std::string>>;

// Reads every setting; a value that is missing takes its default, a value
// that cannot be read takes its default and adds one line to problems.
TUserSettings ReadUserSettings(const TSettingsReader& read, std::vector<std::string>& problems);
// A device's saved mapping, read over the given defaults (those of the
// device's kind); the same fallback as above.
TJoystickMapping ReadJoystickMapping(const TSettingsReader& read, const std::string& guid,
                                     const TJoystickMapping& defaults,
                                     std::vector<std::string>& problems);

// The entries of each page, as the window saves them when they change.
TSettingsEntries KeyTableEntries(const TKeyBindings& keys, TKeyTableKind kind);
TSettingsEntries SoundEntries(const TSoundLevels& sound);
TSettingsEntries ViewEntries(const TUserSettings& settings);
TSettingsEntries ConnectionEntries(const TUserSettings& settings);
TSettingsEntries JoystickEntries(const std::string& guid, const TJoystickMapping& mapping);
TSettingsEntries AllEntries(const TUserSettings& settings);

// After a login to server as handle: both become the last ones, and the
// server goes to the front of the recent list.
void RememberLogin(TUserSettings& settings, const net::THostPort& server,
                   const std::string& handle);

// The group of a device's mapping in the file ("joystick.0300…").
std::string JoystickGroup(const std::string& guid);

}  // namespace velmora::app
