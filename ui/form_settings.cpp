#include "ui/form_settings.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cmath>

#include "cockpit/render_scale.h"
#include "ui/joystick.h"
#include "ui/key_codes.h"
#include "ui/settings_store.h"

namespace velmora::ui {
namespace {

constexpr int kBarMilliseconds = 50;  // how often the live bars follow the stick
constexpr int kBarScale = 1000;       // steps of a mapped bar from −1 to 1
constexpr int kShownButtons = 16;     // buttons listed on the joystick page

const char* const kStickAxisLabels[app::kStickAxisCount] = {"ピッチ", "ロール・ハンドル",
                                                            "スロットル", "ブレーキ"};
const char* const kSoundLabels[5] = {"全体", "エンジン・車両の音", "乗務員の声", "警報",
                                     "他の乗物"};

QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

int32_t& SoundLevel(app::TSoundLevels& sound, int i) {
  int32_t* const levels[5] = {&sound.Master, &sound.Engines, &sound.Voices, &sound.Warnings,
                              &sound.Traffic};
  return *levels[i];
}

QString ServerText(const net::THostPort& server) {
  return QString::fromStdString(net::JoinHostPort(server.Host, server.Port));
}

}  // namespace

TFormSettings::TFormSettings(app::TUserSettings& settings, TSettingsStore& store,
                             TJoystick* joystick, std::function<void(TSettingsPage)> changed,
                             QWidget* parent)
    : QWidget(parent, Qt::Window),
      settings_(settings),
      store_(store),
      joystick_(joystick),
      changed_(std::move(changed)) {
  setObjectName("FormSettings");
  setWindowTitle("設定");
  Pages = new QTabWidget(this);
  Pages->addTab(BuildKeysPage(), "操作");
  Pages->addTab(BuildJoystickPage(), "ジョイスティック");
  Pages->addTab(BuildSoundPage(), "音");
  Pages->addTab(BuildViewPage(), "表示");
  Pages->addTab(BuildConnectionPage(), "接続");
  SaveProblem = new QLabel(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Pages);
  layout->addWidget(SaveProblem);
  barTimer_ = new QTimer(this);
  barTimer_->setInterval(kBarMilliseconds);
  connect(barTimer_, &QTimer::timeout, this, [this] { RefreshBars(); });
  ConflictQuestion = [this](const QString& text) {
    QMessageBox box(QMessageBox::Question, "設定", text, QMessageBox::NoButton, this);
    QPushButton* swap = box.addButton("入れ替える", QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton("やめる", QMessageBox::RejectRole));
    box.exec();
    return box.clickedButton() == swap;
  };
  resize(560, 480);
}

void TFormSettings::Save(const app::TSettingsEntries& entries, TSettingsPage page) {
  std::string error;
  SaveProblem->setText(store_.Save(entries, error) ? QString() : QString::fromStdString(error));
  if (changed_) changed_(page);
}

// Keys.

QWidget* TFormSettings::BuildKeysPage() {
  auto* page = new QWidget;
  KeyTableChoice = new QComboBox;
  for (int k = 0; k < app::kKeyTableCount; ++k) {
    KeyTableChoice->addItem(Text(app::KeyTableLabel(static_cast<app::TKeyTableKind>(k))));
  }
  KeyGrid = new QTableWidget(0, 2);
  KeyGrid->setHorizontalHeaderLabels({"操作", "キー"});
  KeyGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  KeyGrid->verticalHeader()->hide();
  KeyGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  KeyGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  KeyGrid->setSelectionMode(QAbstractItemView::SingleSelection);
  ButtonBindKey = new QPushButton("キーを割り当てる");
  ButtonKeysDefault = new QPushButton("既定に戻す");
  KeyPrompt = new QLabel("操作を選び「キーを割り当てる」を押してから、使うキーを押してください。");
  KeyPrompt->setWordWrap(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonBindKey);
  buttons->addWidget(ButtonKeysDefault);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(KeyTableChoice);
  layout->addWidget(KeyGrid);
  layout->addLayout(buttons);
  layout->addWidget(KeyPrompt);
  connect(KeyTableChoice, &QComboBox::currentIndexChanged, this, [this] { ShowKeys(); });
  connect(ButtonBindKey, &QPushButton::clicked, this, [this] { StartBinding(); });
  connect(KeyGrid, &QTableWidget::cellDoubleClicked, this, [this] { StartBinding(); });
  connect(ButtonKeysDefault, &QPushButton::clicked, this, [this] { ResetKeys(); });
  ShowKeys();
  return page;
}

app::TKeyTableKind TFormSettings::Kind() const {
  return static_cast<app::TKeyTableKind>(std::max(0, KeyTableChoice->currentIndex()));
}

void TFormSettings::ShowKeys() {
  const app::TKeyTableKind kind = Kind();
  const int selected = KeyGrid->currentRow();
  KeyGrid->setRowCount(0);
  for (int a = 0; a < app::kActionCount; ++a) {
    const auto action = static_cast<app::TAction>(a);
    if (!app::HasAction(kind, action)) continue;
    const int row = KeyGrid->rowCount();
    KeyGrid->insertRow(row);
    auto* label = new QTableWidgetItem(Text(app::ActionLabel(action)));
    label->setData(Qt::UserRole, a);
    KeyGrid->setItem(row, 0, label);
    KeyGrid->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(
                                  app::KeyName(settings_.Keys[kind].KeyOf(action)))));
  }
  KeyGrid->setCurrentCell(std::clamp(selected, 0, KeyGrid->rowCount() - 1), 0);
}

void TFormSettings::SaveKeys() {
  ShowKeys();
  Save(app::KeyTableEntries(settings_.Keys, Kind()), TSettingsPage::Keys);
}

void TFormSettings::StartBinding() {
  if (KeyGrid->currentRow() < 0) return;
  waiting_ = true;
  KeyPrompt->setText("「" + KeyGrid->item(KeyGrid->currentRow(), 0)->text() +
                     "」に使うキーを押してください（Esc で取り消し）。");
  if (isVisible()) grabKeyboard();
}

void TFormSettings::BindKey(int32_t key) {
  if (!waiting_) return;
  waiting_ = false;
  releaseKeyboard();
  const auto action =
      static_cast<app::TAction>(KeyGrid->item(KeyGrid->currentRow(), 0)->data(Qt::UserRole).toInt());
  app::TKeyTable& table = settings_.Keys[Kind()];
  const app::TBindOutcome outcome = app::Bind(table, action, key);
  switch (outcome.Result) {
    case app::TBindResult::Refused:
      KeyPrompt->setText("そのキーは割り当てられません。");
      return;
    case app::TBindResult::Conflict: {
      const QString name = QString::fromStdString(app::KeyName(key));
      const QString question = "「" + name + "」は「" + Text(app::ActionLabel(outcome.Holder)) +
                               "」に使われています。二つの操作のキーを入れ替えますか？";
      if (!ConflictQuestion(question)) {
        KeyPrompt->setText("「" + name + "」は「" + Text(app::ActionLabel(outcome.Holder)) +
                           "」に使われているため、変更しませんでした。");
        return;
      }
      app::Swap(table, action, outcome.Holder);
      break;
    }
    case app::TBindResult::Bound: break;
  }
  KeyPrompt->setText("「" + Text(app::ActionLabel(action)) + "」を「" +
                     QString::fromStdString(app::KeyName(key)) + "」にしました。");
  SaveKeys();
}

void TFormSettings::ResetKeys() {
  settings_.Keys[Kind()] = app::DefaultKeyTable(Kind());
  KeyPrompt->setText("「" + KeyTableChoice->currentText() + "」のキーを既定に戻しました。");
  SaveKeys();
}

void TFormSettings::keyPressEvent(QKeyEvent* event) {
  if (!waiting_) {
    QWidget::keyPressEvent(event);
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    waiting_ = false;
    releaseKeyboard();
    KeyPrompt->setText("取り消しました。");
    return;
  }
  BindKey(VirtualKey(event->key(), event->modifiers()));
}

// Joystick.

QWidget* TFormSettings::BuildJoystickPage() {
  auto* page = new QWidget;
  DeviceChoice = new QComboBox;
  auto* axes = new QGridLayout;
  const char* const headers[] = {"", "軸", "反転", "不感帯", "カーブ", "出力"};
  for (int c = 0; c < 6; ++c) axes->addWidget(new QLabel(headers[c]), 0, c);
  for (int a = 0; a < app::kStickAxisCount; ++a) {
    TAxisRow& row = AxisRows[static_cast<std::size_t>(a)];
    row.Axis = new QComboBox;
    row.Axis->addItem("なし", -1);
    for (int n = 0; n < app::kMaxJoystickAxes; ++n) row.Axis->addItem(QString("軸 %1").arg(n), n);
    row.Invert = new QCheckBox;
    row.DeadZone = new QDoubleSpinBox;
    row.DeadZone->setRange(0, app::kMaxDeadZone);
    row.DeadZone->setSingleStep(0.01);
    row.Curve = new QDoubleSpinBox;
    row.Curve->setRange(0, 1);
    row.Curve->setSingleStep(0.1);
    row.Curve->setToolTip("0：比例　1：三乗（中央付近が穏やか）");
    row.Mapped = new QProgressBar;
    const bool lever = a >= static_cast<int>(app::TStickAxis::Throttle);
    row.Mapped->setRange(lever ? 0 : -kBarScale, kBarScale);
    row.Mapped->setTextVisible(false);
    axes->addWidget(new QLabel(kStickAxisLabels[a]), a + 1, 0);
    axes->addWidget(row.Axis, a + 1, 1);
    axes->addWidget(row.Invert, a + 1, 2);
    axes->addWidget(row.DeadZone, a + 1, 3);
    axes->addWidget(row.Curve, a + 1, 4);
    axes->addWidget(row.Mapped, a + 1, 5);
    connect(row.Axis, &QComboBox::currentIndexChanged, this, [this] { JoystickEdited(); });
    connect(row.Invert, &QCheckBox::toggled, this, [this] { JoystickEdited(); });
    connect(row.DeadZone, &QDoubleSpinBox::valueChanged, this, [this] { JoystickEdited(); });
    connect(row.Curve, &QDoubleSpinBox::valueChanged, this, [this] { JoystickEdited(); });
  }
  auto* raw = new QHBoxLayout;
  raw->addWidget(new QLabel("生の値"));
  for (int n = 0; n < app::kMaxJoystickAxes; ++n) {
    QProgressBar*& bar = RawBars[static_cast<std::size_t>(n)];
    bar = new QProgressBar;
    bar->setOrientation(Qt::Vertical);
    bar->setRange(-32768, 32767);
    bar->setTextVisible(false);
    bar->setToolTip(QString("軸 %1").arg(n));
    raw->addWidget(bar);
  }
  ButtonGrid = new QTableWidget(kShownButtons, 1);
  ButtonGrid->setHorizontalHeaderLabels({"ボタンの操作"});
  ButtonGrid->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  for (int b = 0; b < kShownButtons; ++b) {
    ButtonGrid->setVerticalHeaderItem(b, new QTableWidgetItem(QString("ボタン %1").arg(b)));
    auto* choice = new QComboBox;
    choice->addItem("ミサイル発射（既定）", app::kActionCount);
    for (int a = 0; a < app::kActionCount; ++a) {
      choice->addItem(Text(app::ActionLabel(static_cast<app::TAction>(a))), a);
    }
    ButtonGrid->setCellWidget(b, 0, choice);
    connect(choice, &QComboBox::currentIndexChanged, this, [this] { JoystickEdited(); });
  }
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(DeviceChoice);
  layout->addLayout(axes);
  layout->addLayout(raw);
  layout->addWidget(ButtonGrid);
  connect(DeviceChoice, &QComboBox::activated, this, [this](int index) {
    if (joystick_ == nullptr) return;
    settings_.JoystickDevice = DeviceChoice->itemData(index).toString().toStdString();
    joystick_->Choose(settings_.JoystickDevice);
    ShowJoystick();
    Save({{"joystick/device", settings_.JoystickDevice}}, TSettingsPage::Joystick);
  });
  return page;
}

void TFormSettings::ShowJoystick() {
  showing_ = true;
  shownGuid_ = joystick_ != nullptr ? joystick_->Open().Guid : std::string();
  DeviceChoice->clear();
  if (joystick_ != nullptr) {
    for (const TJoystickDevice& device : joystick_->Devices()) {
      DeviceChoice->addItem(QString::fromStdString(device.Name), QString::fromStdString(device.Guid));
    }
    DeviceChoice->setCurrentIndex(DeviceChoice->findData(QString::fromStdString(joystick_->Open().Guid)));
  }
  if (DeviceChoice->count() == 0) DeviceChoice->addItem("（ジョイスティックが見つかりません）", QString());
  const app::TJoystickMapping mapping =
      joystick_ != nullptr ? joystick_->Mapping() : app::TJoystickMapping{};
  for (int a = 0; a < app::kStickAxisCount; ++a) {
    const TAxisRow& row = AxisRows[static_cast<std::size_t>(a)];
    const app::TAxisMapping& axis = mapping.Axes[static_cast<std::size_t>(a)];
    row.Axis->setCurrentIndex(row.Axis->findData(axis.Axis));
    row.Invert->setChecked(axis.Invert);
    row.DeadZone->setValue(axis.DeadZone);
    row.Curve->setValue(axis.Curve);
  }
  for (int b = 0; b < kShownButtons; ++b) {
    auto* choice = static_cast<QComboBox*>(ButtonGrid->cellWidget(b, 0));
    choice->setCurrentIndex(
        choice->findData(static_cast<int>(mapping.Buttons[static_cast<std::size_t>(b)])));
  }
  showing_ = false;
}

void TFormSettings::JoystickEdited() {
  if (showing_ || joystick_ == nullptr || joystick_->Open().Guid.empty()) return;
  app::TJoystickMapping mapping = joystick_->Mapping();
  for (int a = 0; a < app::kStickAxisCount; ++a) {
    const TAxisRow& row = AxisRows[static_cast<std::size_t>(a)];
    app::TAxisMapping& axis = mapping.Axes[static_cast<std::size_t>(a)];
    axis.Axis = row.Axis->currentData().toInt();
    axis.Invert = row.Invert->isChecked();
    axis.DeadZone = row.DeadZone->value();
    axis.Curve = row.Curve->value();
  }
  for (int b = 0; b < kShownButtons; ++b) {
    const auto* choice = static_cast<QComboBox*>(ButtonGrid->cellWidget(b, 0));
    mapping.Buttons[static_cast<std::size_t>(b)] =
        static_cast<app::TAction>(choice->currentData().toInt());
  }
  joystick_->SetMapping(mapping);
  Save(app::JoystickEntries(joystick_->Open().Guid, mapping), TSettingsPage::Joystick);
}

void TFormSettings::RefreshBars() {
  if (joystick_ == nullptr) return;
  // A device plugged in or out while the window is open.
  if (joystick_->Open().Guid != shownGuid_) ShowJoystick();
  const app::TRawJoystick& raw = joystick_->Raw();
  for (int n = 0; n < app::kMaxJoystickAxes; ++n) {
    QProgressBar* bar = RawBars[static_cast<std::size_t>(n)];
    bar->setEnabled(n < raw.AxisCount);
    bar->setValue(n < raw.AxisCount ? raw.Axes[static_cast<std::size_t>(n)] : 0);
  }
  const app::TJoystickMapping& mapping = joystick_->Mapping();
  for (int a = 0; a < app::kStickAxisCount; ++a) {
    const app::TAxisMapping& axis = mapping.Axes[static_cast<std::size_t>(a)];
    const bool lever = a >= static_cast<int>(app::TStickAxis::Throttle);
    double value = 0;
    if (axis.Axis >= 0 && axis.Axis < raw.AxisCount) {
      const int32_t v = raw.Axes[static_cast<std::size_t>(axis.Axis)];
      value = lever ? app::MapLeverAxis(axis, v) : app::MapStickAxis(axis, v);
    }
    AxisRows[static_cast<std::size_t>(a)].Mapped->setValue(
        static_cast<int>(std::lround(value * kBarScale)));
  }
}

void TFormSettings::showEvent(QShowEvent* event) {
  ShowJoystick();
  barTimer_->start();
  QWidget::showEvent(event);
}

void TFormSettings::hideEvent(QHideEvent* event) {
  barTimer_->stop();
  if (waiting_) {
    waiting_ = false;
    releaseKeyboard();
  }
  QWidget::hideEvent(event);
}

// Sound.

QWidget* TFormSettings::BuildSoundPage() {
  auto* page = new QWidget;
  auto* layout = new QFormLayout(page);
  for (int i = 0; i < 5; ++i) {
    QSlider*& slider = SoundSliders[static_cast<std::size_t>(i)];
    slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, 100);
    slider->setValue(SoundLevel(settings_.Sound, i));
    auto* percent = new QLabel(QString("%1 %").arg(slider->value()));
    percent->setMinimumWidth(48);
    auto* row = new QHBoxLayout;
    row->addWidget(slider);
    row->addWidget(percent);
    layout->addRow(kSoundLabels[i], row);
    connect(slider, &QSlider::valueChanged, this, [this, i, percent](int value) {
      percent->setText(QString("%1 %").arg(value));
      SoundLevel(settings_.Sound, i) = value;
      Save(app::SoundEntries(settings_.Sound), TSettingsPage::Sound);
    });
  }
  layout->addRow(new QLabel("消音と音の再開は Ctrl＋M キーです。"));
  return page;
}

// View: one row a setting, so that each new one is one more row.

void TFormSettings::ShowWindowMode() {
  const QSignalBlocker quiet(WindowModeChoice);
  WindowModeChoice->setCurrentIndex(settings_.FullScreen ? 1 : 0);
}

QWidget* TFormSettings::BuildViewPage() {
  auto* page = new QWidget;
  auto* layout = new QFormLayout(page);
  FpsBox = new QSpinBox;
  FpsBox->setRange(0, 100);
  FpsBox->setSpecialValueText("画面に合わせる");
  FpsBox->setSuffix(" フレーム/秒");
  FpsBox->setValue(settings_.Fps);
  layout->addRow("3D 表示の上限", FpsBox);
  connect(FpsBox, &QSpinBox::valueChanged, this, [this](int value) {
    settings_.Fps = value;
    Save(app::ViewEntries(settings_), TSettingsPage::View);
  });

  WindowModeChoice = new QComboBox;
  WindowModeChoice->addItems({"ウインドウ", "全画面（F11）"});
  WindowModeChoice->setCurrentIndex(settings_.FullScreen ? 1 : 0);
  layout->addRow("表示の形", WindowModeChoice);
  connect(WindowModeChoice, &QComboBox::currentIndexChanged, this, [this](int index) {
    settings_.FullScreen = index == 1;
    Save(app::ViewEntries(settings_), TSettingsPage::View);
  });

  // Automatic, the steps the automatic scale takes, and a value of the file's
  // that is none of them.
  RenderScaleChoice = new QComboBox;
  RenderScaleChoice->addItem("自動", 0);
  for (const int32_t percent : cockpit::kRenderScaleSteps) {
    RenderScaleChoice->addItem(QString::number(percent) + " %", percent);
  }
  if (RenderScaleChoice->findData(settings_.RenderScale) < 0) {
    RenderScaleChoice->addItem(QString::number(settings_.RenderScale) + " %", settings_.RenderScale);
  }
  RenderScaleChoice->setCurrentIndex(RenderScaleChoice->findData(settings_.RenderScale));
  layout->addRow("3D の描画倍率", RenderScaleChoice);
  connect(RenderScaleChoice, &QComboBox::currentIndexChanged, this, [this](int index) {
    settings_.RenderScale = RenderScaleChoice->itemData(index).toInt();
    Save(app::ViewEntries(settings_), TSettingsPage::View);
  });
  return page;
}

// Connection.

QWidget* TFormSettings::BuildConnectionPage() {
  auto* page = new QWidget;
  auto* layout = new QFormLayout(page);
  ServerChoice = new QComboBox;
  ServerChoice->setEditable(true);
  for (const net::THostPort& recent : settings_.Recent) ServerChoice->addItem(ServerText(recent));
  ServerChoice->setCurrentText(settings_.Server ? ServerText(*settings_.Server) : QString());
  HandleEdit = new QLineEdit(QString::fromStdString(settings_.Handle));
  layout->addRow("サーバー（ホスト:ポート）", ServerChoice);
  layout->addRow("ハンドル名", HandleEdit);
  layout->addRow(new QLabel("次の起動から、このサーバーにつなぎ、ログインの欄にこのハンドル名を"
                            "入れておきます。"));
  const auto saveServer = [this] {
    const auto server = net::ParseHostPort(ServerChoice->currentText().trimmed().toStdString());
    if (!server) {
      SaveProblem->setText("サーバーは「ホスト:ポート」の形で入れてください。");
      return;
    }
    settings_.Server = *server;
    Save(app::ConnectionEntries(settings_), TSettingsPage::Connection);
  };
  connect(ServerChoice, &QComboBox::activated, this, saveServer);
  connect(ServerChoice->lineEdit(), &QLineEdit::editingFinished, this, saveServer);
  connect(HandleEdit, &QLineEdit::editingFinished, this, [this] {
    settings_.Handle = HandleEdit->text().toStdString();
    Save(app::ConnectionEntries(settings_), TSettingsPage::Connection);
  });
  return page;
}

}  // namespace velmora::ui
