// The settings file: QSettings in INI form at $XDG_CONFIG_HOME/velmora/velmora.conf
// (~/.config/velmora/velmora.conf without it). Every change is written at
// once, key by key: QSettings locks the file and merges what it writes into
// what is there, so two programs running at once keep each other's changes.
#pragma once

#include <QSettings>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "app/user_settings.h"
#include "ui/command_line.h"

namespace velmora::ui {

// The settings window's pages, to say which one changed.
enum class TSettingsPage { Keys, Joystick, Sound, View, Connection };

// Where the settings file lives.
QString SettingsFilePath();

// The saved server, frame-rate cap and master volume stand in for the flags
// the command line does not give; a flag given wins for this run and is
// never written.
void FillFromSettings(TCommandLine& line, const app::TUserSettings& saved);

class TSettingsStore {
 public:
  // An empty path keeps nothing: the defaults are read and nothing is written.
  explicit TSettingsStore(const QString& path = SettingsFilePath());

  // Every setting; problems gets one line for each value that fell back to its default.
  app::TUserSettings Load(std::vector<std::string>& problems);
  // A device's saved mapping over the defaults of its kind.
  app::TJoystickMapping LoadJoystick(const std::string& guid, const app::TJoystickMapping& defaults,
                                     std::vector<std::string>& problems);
  // Writes the entries to the file at once. False, with the reason, when the
  // file cannot be written (the values still hold for this run).
  bool Save(const app::TSettingsEntries& entries, std::string& error);


 private:
  app::TSettingsReader Reader();
  std::unique_ptr<QSettings> settings_;
};

}  // namespace velmora::ui
