#include "ui/settings_store.h"

#include <QStandardPaths>
#include <QStringList>

namespace velmora::ui {

QString SettingsFilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/velmora/velmora.conf";
}

void FillFromSettings(TCommandLine& line, const app::TUserSettings& saved) {
  if (!line.ServerGiven && saved.Server) {
    line.Host = saved.Server->Host;
    line.Port = saved.Server->Port;
  }
  if (line.Fps == 0) line.Fps = saved.Fps;
  if (!line.FullScreen) line.FullScreen = saved.FullScreen;
  if (!line.RenderScaleGiven) line.RenderScale = saved.RenderScale;
  if (!line.VolumeGiven) line.Volume = saved.Sound.Master;
}

TSettingsStore::TSettingsStore(const QString& path) {
  if (!path.isEmpty()) settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

app::TSettingsReader TSettingsStore::Reader() {
  return [this](const std::string& key) -> std::optional<std::string> {
    if (!settings_) return std::nullopt;
    const QVariant value = settings_->value(QString::fromStdString(key));
    if (!value.isValid()) return std::nullopt;
    // An unquoted value with commas reads back as a list; its text is the whole value.
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(',').toStdString();
    return value.toString().toStdString();
  };
}

app::TUserSettings TSettingsStore::Load(std::vector<std::string>& problems) {
  if (settings_) settings_->sync();
  return app::ReadUserSettings(Reader(), problems);
}

app::TJoystickMapping TSettingsStore::LoadJoystick(const std::string& guid,
                                                   const app::TJoystickMapping& defaults,
                                                   std::vector<std::string>& problems) {
  return app::ReadJoystickMapping(Reader(), guid, defaults, problems);
}

bool TSettingsStore::Save(const app::TSettingsEntries& entries, std::string& error) {
  if (!settings_) return true;
  for (const auto& [key, value] : entries) {
    settings_->setValue(QString::fromStdString(key), QString::fromStdString(value));
  }
  settings_->sync();
  switch (settings_->status()) {
    case QSettings::NoError: return true;
    case QSettings::AccessError:
      error = settings_->fileName().toStdString() + " に書き込めません。";
      return false;
    case QSettings::FormatError:
      error = settings_->fileName().toStdString() + " の形式が読めません。";
      return false;
  }
  return false;
}

}  // namespace velmora::ui
