#include "app/user_settings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cockpit/render_scale.h"
#include "net/option_reader.h"

namespace velmora::app {
namespace {

constexpr int32_t kMaxFps = 100;
constexpr std::size_t kMaxHandleBytes = 64;

std::string KeyGroup(TKeyTableKind kind) { return "keys." + std::string(KeyTableName(kind)); }

// The parts of a stick axis' keys, in the order of TStickAxis.
constexpr const char* kStickAxisNames[kStickAxisCount] = {"pitch", "roll", "throttle", "brake"};

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::optional<int32_t> WholeNumber(const std::string& text, int32_t low, int32_t high) {
  const auto v = net::ReadWholeNumber(text, low, high);
  if (!v) return std::nullopt;
  return static_cast<int32_t>(*v);
}

// A server's address, or nothing where the text is not one.
std::optional<std::optional<net::THostPort>> ServerAddress(const std::string& text) {
  const auto server = net::ParseHostPort(text);
  if (!server) return std::nullopt;
  return std::optional<net::THostPort>(*server);
}

std::optional<double> Fraction(const std::string& text, double low, double high) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v) || v < low || v > high) return std::nullopt;
  return v;
}

std::optional<bool> Flag(const std::string& text) {
  if (text == "true") return true;
  if (text == "false") return false;
  return std::nullopt;
}

// A handle as the login sends it: printable text of a sensible length.
bool FitsHandle(const std::string& text) {
  if (text.size() > kMaxHandleBytes) return false;
  return std::none_of(text.begin(), text.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// Reads values through the reader and names each one it cannot use.
class TValueReader {
 public:
  TValueReader(const TSettingsReader& read, std::vector<std::string>& problems)
      : read_(read), problems_(problems) {}

  // parse gives the value of the text, or nothing when it cannot be used.
  template <typename T, typename Parse>
  void Read(const std::string& key, T& value, const std::string& fallbackText, Parse parse) {
    const std::optional<std::string> text = read_(key);
    if (!text) return;
    if (auto parsed = parse(*text)) {
      value = *parsed;
      return;
    }
    problems_.push_back("設定 " + key + " の値「" + *text + "」は使えないため、既定の「" +
                        fallbackText + "」にします。");
  }
  void Note(const std::string& key, const std::string& text, const std::string& fallbackText) {
    problems_.push_back("設定 " + key + " の値「" + text + "」は他の操作と重なるため、既定の「" +
                        fallbackText + "」にします。");
  }
  std::optional<std::string> Text(const std::string& key) { return read_(key); }

 private:
  const TSettingsReader& read_;
  std::vector<std::string>& problems_;
};

// A table's stored keys. A key that two actions claim goes back to its
// default for the action whose key is not the default, until none is claimed twice.
void ReadKeyTable(TValueReader& reader, TKeyTableKind kind, TKeyTable& table) {
  const TKeyTable defaults = DefaultKeyTable(kind);
  const std::string group = KeyGroup(kind);
  for (int a = 0; a < kActionCount; ++a) {
    const auto action = static_cast<TAction>(a);
    if (!HasAction(kind, action)) continue;
    const auto i = static_cast<std::size_t>(a);
    reader.Read(group + "/" + std::string(ActionName(action)), table.Keys[i],
                KeyName(defaults.Keys[i]), [](const std::string& text) -> std::optional<int32_t> {
                  if (text.empty()) return 0;  // no key
                  const std::optional<int32_t> key = KeyFromName(text);
                  if (!key || !Bindable(*key)) return std::nullopt;
                  return key;
                });
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (std::size_t a = 0; a < table.Keys.size() && !changed; ++a) {
      for (std::size_t b = a + 1; b < table.Keys.size() && !changed; ++b) {
        if (table.Keys[a] == 0 || table.Keys[a] != table.Keys[b]) continue;
        const std::size_t back = table.Keys[b] != defaults.Keys[b] ? b : a;
        const auto action = static_cast<TAction>(back);
        reader.Note(group + "/" + std::string(ActionName(action)), KeyName(table.Keys[back]),
                    KeyName(defaults.Keys[back]));
        table.Keys[back] = defaults.Keys[back];
        changed = true;
      }
    }
  }
}

void ReadLevel(TValueReader& reader, const char* name, int32_t& level) {
  reader.Read(std::string("sound/") + name, level, "100",
              [](const std::string& t) { return WholeNumber(t, 0, 100); });
}

std::string ServerText(const std::optional<net::THostPort>& server) {
  return server ? net::JoinHostPort(server->Host, server->Port) : std::string();
}

}  // namespace

std::string JoystickGroup(const std::string& guid) { return "joystick." + guid; }

TUserSettings ReadUserSettings(const TSettingsReader& read, std::vector<std::string>& problems) {
  TUserSettings settings;
  TValueReader reader(read, problems);
  for (int k = 0; k < kKeyTableCount; ++k) {
    const auto kind = static_cast<TKeyTableKind>(k);
    ReadKeyTable(reader, kind, settings.Keys[kind]);
  }
  ReadLevel(reader, "master", settings.Sound.Master);
  ReadLevel(reader, "engines", settings.Sound.Engines);
  ReadLevel(reader, "voices", settings.Sound.Voices);
  ReadLevel(reader, "warnings", settings.Sound.Warnings);
  ReadLevel(reader, "traffic", settings.Sound.Traffic);
  reader.Read("view/fps", settings.Fps, "0",
              [](const std::string& t) { return WholeNumber(t, 0, kMaxFps); });
  reader.Read("view/full_screen", settings.FullScreen, "false", Flag);
  reader.Read("view/render_scale", settings.RenderScale, "auto", cockpit::ReadRenderScale);
  reader.Read("connection/server", settings.Server, "", ServerAddress);
  reader.Read("connection/handle", settings.Handle, "",
              [](const std::string& t) -> std::optional<std::string> {
                if (!FitsHandle(t)) return std::nullopt;
                return t;
              });
  for (int i = 1; i <= kRecentServers; ++i) {
    std::optional<net::THostPort> recent;
    reader.Read("connection/recent" + std::to_string(i), recent, "", ServerAddress);
    if (recent) settings.Recent.push_back(*recent);
  }
  reader.Read("joystick/device", settings.JoystickDevice, "",
              [](const std::string& t) -> std::optional<std::string> {
                const bool hex = std::all_of(t.begin(), t.end(), [](char c) {
                  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                });
                if (t.size() != 32 || !hex) return std::nullopt;
                return t;
              });
  return settings;
}

TJoystickMapping ReadJoystickMapping(const TSettingsReader& read, const std::string& guid,
                                     const TJoystickMapping& defaults,
                                     std::vector<std::string>& problems) {
  TJoystickMapping mapping = defaults;
  TValueReader reader(read, problems);
  const std::string group = JoystickGroup(guid) + "/";
  for (int a = 0; a < kStickAxisCount; ++a) {
    TAxisMapping& axis = mapping.Axes[static_cast<std::size_t>(a)];
    const TAxisMapping& fallback = defaults.Axes[static_cast<std::size_t>(a)];
    const std::string prefix = group + kStickAxisNames[a];
    reader.Read(prefix + "_axis", axis.Axis, std::to_string(fallback.Axis),
                [](const std::string& t) { return WholeNumber(t, -1, kMaxJoystickAxes - 1); });
    reader.Read(prefix + "_invert", axis.Invert, fallback.Invert ? "true" : "false", Flag);
    reader.Read(prefix + "_dead_zone", axis.DeadZone, Number(fallback.DeadZone),
                [](const std::string& t) { return Fraction(t, 0, kMaxDeadZone); });
    reader.Read(prefix + "_curve", axis.Curve, Number(fallback.Curve),
                [](const std::string& t) { return Fraction(t, 0, 1); });
  }
  for (int b = 0; b < kMaxJoystickButtons; ++b) {
    reader.Read(group + "button" + std::to_string(b), mapping.Buttons[static_cast<std::size_t>(b)],
                "fire", [](const std::string& t) { return ActionFromName(t); });
  }
  return mapping;
}

TSettingsEntries KeyTableEntries(const TKeyBindings& keys, TKeyTableKind kind) {
  TSettingsEntries entries;
  for (int a = 0; a < kActionCount; ++a) {
    const auto action = static_cast<TAction>(a);
    if (!HasAction(kind, action)) continue;
    entries.emplace_back(KeyGroup(kind) + "/" + std::string(ActionName(action)),
                         KeyName(keys[kind].KeyOf(action)));
  }
  return entries;
}

TSettingsEntries SoundEntries(const TSoundLevels& sound) {
  return {{"sound/master", std::to_string(sound.Master)},
          {"sound/engines", std::to_string(sound.Engines)},
          {"sound/voices", std::to_string(sound.Voices)},
          {"sound/warnings", std::to_string(sound.Warnings)},
          {"sound/traffic", std::to_string(sound.Traffic)}};
}

TSettingsEntries ViewEntries(const TUserSettings& settings) {
  return {{"view/fps", std::to_string(settings.Fps)},
          {"view/full_screen", settings.FullScreen ? "true" : "false"},
          {"view/render_scale",
           settings.RenderScale == 0 ? "auto" : std::to_string(settings.RenderScale)}};
}

TSettingsEntries ConnectionEntries(const TUserSettings& settings) {
  TSettingsEntries entries;
  if (settings.Server) entries.emplace_back("connection/server", ServerText(settings.Server));
  entries.emplace_back("connection/handle", settings.Handle);
  for (std::size_t i = 0; i < settings.Recent.size(); ++i) {
    entries.emplace_back("connection/recent" + std::to_string(i + 1), ServerText(settings.Recent[i]));
  }
  return entries;
}

TSettingsEntries JoystickEntries(const std::string& guid, const TJoystickMapping& mapping) {
  TSettingsEntries entries;
  const std::string group = JoystickGroup(guid) + "/";
  for (int a = 0; a < kStickAxisCount; ++a) {
    const TAxisMapping& axis = mapping.Axes[static_cast<std::size_t>(a)];
    const std::string prefix = group + kStickAxisNames[a];
    entries.emplace_back(prefix + "_axis", std::to_string(axis.Axis));
    entries.emplace_back(prefix + "_invert", axis.Invert ? "true" : "false");
    entries.emplace_back(prefix + "_dead_zone", Number(axis.DeadZone));
    entries.emplace_back(prefix + "_curve", Number(axis.Curve));
  }
  for (int b = 0; b < kMaxJoystickButtons; ++b) {
    const TAction action = mapping.Buttons[static_cast<std::size_t>(b)];
    if (action != TAction::Count) {
      entries.emplace_back(group + "button" + std::to_string(b), std::string(ActionName(action)));
    }
  }
  return entries;
}

TSettingsEntries AllEntries(const TUserSettings& settings) {
  TSettingsEntries all;
  const auto add = [&](const TSettingsEntries& entries) {
    all.insert(all.end(), entries.begin(), entries.end());
  };
  for (int k = 0; k < kKeyTableCount; ++k) {
    add(KeyTableEntries(settings.Keys, static_cast<TKeyTableKind>(k)));
  }
  add(SoundEntries(settings.Sound));
  add(ViewEntries(settings));
  add(ConnectionEntries(settings));
  if (!settings.JoystickDevice.empty()) all.emplace_back("joystick/device", settings.JoystickDevice);
  return all;
}

void RememberLogin(TUserSettings& settings, const net::THostPort& server,
                   const std::string& handle) {
  settings.Server = server;
  settings.Handle = handle;
  auto& recent = settings.Recent;
  recent.erase(std::remove_if(recent.begin(), recent.end(),
                              [&](const net::THostPort& r) {
                                return r.Host == server.Host && r.Port == server.Port;
                              }),
               recent.end());
  recent.insert(recent.begin(), server);
  if (recent.size() > static_cast<std::size_t>(kRecentServers)) recent.resize(kRecentServers);
}

}  // namespace velmora::app
