// The settings window: keys, joystick, sound, view and connection, one page
// each. Every change takes effect at once and is written to the settings file.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "app/user_settings.h"
#include "ui/settings_store.h"

namespace velmora::ui {

class TJoystick;

class TFormSettings final : public QWidget {
 public:
  // settings are the saved values, edited in place; changed is called after each change.
  TFormSettings(app::TUserSettings& settings, TSettingsStore& store, TJoystick* joystick,
                std::function<void(TSettingsPage)> changed, QWidget* parent = nullptr);

  // The question asked when a key is taken: true swaps the two bindings.
  // Tests answer it in place of the user.
  std::function<bool(const QString& text)> ConflictQuestion;

  QTabWidget* Pages = nullptr;

  // Keys.
  QComboBox* KeyTableChoice = nullptr;
  QTableWidget* KeyGrid = nullptr;  // one row an action: label, key
  QPushButton* ButtonBindKey = nullptr;
  QPushButton* ButtonKeysDefault = nullptr;
  QLabel* KeyPrompt = nullptr;

  // Joystick.
  QComboBox* DeviceChoice = nullptr;
  struct TAxisRow {
    QComboBox* Axis = nullptr;
    QCheckBox* Invert = nullptr;
    QDoubleSpinBox* DeadZone = nullptr;
    QDoubleSpinBox* Curve = nullptr;
    QProgressBar* Mapped = nullptr;
  };
  std::array<TAxisRow, app::kStickAxisCount> AxisRows{};
  std::array<QProgressBar*, app::kMaxJoystickAxes> RawBars{};
  QTableWidget* ButtonGrid = nullptr;  // one row a button: its action

  // Sound: master, engines, voices, warnings, traffic.
  std::array<QSlider*, 5> SoundSliders{};

  // View.
  QSpinBox* FpsBox = nullptr;
  QComboBox* WindowModeChoice = nullptr;   // 0: a window, 1: full screen
  QComboBox* RenderScaleChoice = nullptr;  // data: % of each side; 0 = auto

  // Connection.
  QComboBox* ServerChoice = nullptr;  // editable; the recent servers to choose from
  QLineEdit* HandleEdit = nullptr;
  QLabel* SaveProblem = nullptr;

  // Starts waiting for the key of the selected action.
  void StartBinding();
  // The key pressed while waiting (a virtual-key code).
  void BindKey(int32_t key);
  void ResetKeys();
  // Shows the joystick page's values for the device now open.
  void ShowJoystick();
  // Shows the window mode again after F11 changed it.
  void ShowWindowMode();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QWidget* BuildKeysPage();
  QWidget* BuildJoystickPage();
  QWidget* BuildSoundPage();
  QWidget* BuildViewPage();
  QWidget* BuildConnectionPage();
  app::TKeyTableKind Kind() const;
  void ShowKeys();
  void SaveKeys();
  void JoystickEdited();
  void RefreshBars();
  void Save(const app::TSettingsEntries& entries, TSettingsPage page);

  app::TUserSettings& settings_;
  TSettingsStore& store_;
  TJoystick* joystick_;
  std::function<void(TSettingsPage)> changed_;
  QTimer* barTimer_ = nullptr;
  bool waiting_ = false;  // the next key binds the selected action
  bool showing_ = false;  // the page's widgets are being filled, not edited
  std::string shownGuid_;  // the device whose mapping the joystick page shows
};

}  // namespace velmora::ui
