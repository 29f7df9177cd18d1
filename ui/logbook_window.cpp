#include "ui/logbook_window.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QProcess>
#include <QSettings>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <set>

#include "app/replay.h"
#include "app/replay_file.h"
#include "app/run_figures.h"
#include "ui/logbook_tool.h"
#include "vehicle/units.h"

namespace velmora::ui {

namespace {

constexpr int kPanelShownMs = 20000;  // the results panel hides itself after this
constexpr const char* kAll = "（すべて）";
constexpr const char* kAutoSaveKey = "logbook/autoSaveReplay";

QString Text(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// A table cell that sorts by a number rather than by its text.
class TNumberItem final : public QTableWidgetItem {
 public:
  TNumberItem(const QString& text, double value) : QTableWidgetItem(text) {
    setData(Qt::UserRole + 1, value);
  }
  bool operator<(const QTableWidgetItem& other) const override {
    return data(Qt::UserRole + 1).toDouble() < other.data(Qt::UserRole + 1).toDouble();
  }
};

std::string Summary(const logbook::TRunRow& r) {
  if (r.Events.empty()) return {};
  const logbook::TEventRow& e = r.Events.back();
  char text[128];
  if (e.Kind == "touchdown") {
    std::snprintf(text, sizeof text, "%.0f ft/min %s",
                  e.SinkRate * units::kFeetPerMinutePerMetrePerSecond, e.Grade.c_str());
  } else if (e.Kind == "stop") {
    std::snprintf(text, sizeof text, "%+.2f m", e.StopError);
  } else {
    std::snprintf(text, sizeof text, "%.2f s", e.RaceTime);
  }
  return text;
}

std::string LocalTime(const QDateTime& t) {
  return t.toString("yyyy-MM-dd HH:mm:ss").toStdString();
}

}  // namespace

TLogbookWindow::TLogbookWindow(std::string path, TLauncher launcher, QWidget* parent)
    : QWidget(parent, Qt::Window), path_(std::move(path)), launcher_(std::move(launcher)) {
  setWindowTitle("記録簿");
  resize(900, 560);
  auto* layout = new QVBoxLayout(this);
  auto* filters = new QHBoxLayout;
  filters->addWidget(new QLabel("ミッション:"));
  MissionFilter = new QComboBox;
  filters->addWidget(MissionFilter, 2);
  filters->addWidget(new QLabel("車両:"));
  VehicleFilter = new QComboBox;
  filters->addWidget(VehicleFilter, 1);
  layout->addLayout(filters);

  Runs = new QTableWidget(0, 8);
  Runs->setHorizontalHeaderLabels(
      {"開始", "ミッション", "車両", "終わり方", "時間 (s)", "距離 (km)", "結果", "録画"});
  Runs->setSelectionBehavior(QAbstractItemView::SelectRows);
  Runs->setSelectionMode(QAbstractItemView::SingleSelection);
  Runs->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Runs->verticalHeader()->setVisible(false);
  Runs->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  Runs->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  Runs->setSortingEnabled(true);
  layout->addWidget(Runs, 3);

  Events = new QPlainTextEdit;
  Events->setReadOnly(true);
  layout->addWidget(Events, 2);

  auto* buttons = new QHBoxLayout;
  PlayReplay = new QPushButton("録画を再生");
  PlayReplay->setEnabled(false);
  buttons->addWidget(PlayReplay);
  AutoSaveReplay = new QCheckBox("走行ごとに録画を自動保存する");
  AutoSaveReplay->setChecked(TLogbookShell::AutoSaveReplay());
  buttons->addWidget(AutoSaveReplay);
  buttons->addStretch(1);
  Status = new QLabel;
  buttons->addWidget(Status);
  layout->addLayout(buttons);

  connect(MissionFilter, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(VehicleFilter, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(Runs, &QTableWidget::itemSelectionChanged, this, [this] { ShowSelected(); });
  connect(PlayReplay, &QPushButton::clicked, this, [this] { Play(); });
  connect(AutoSaveReplay, &QCheckBox::toggled, this,
          [](bool on) { TLogbookShell::SetAutoSaveReplay(on); });
  Refresh();
}

void TLogbookWindow::FillFilter(QComboBox* box, const std::vector<std::string>& values) {
  const QString chosen = box->currentText();
  const QSignalBlocker block(box);
  box->clear();
  box->addItem(kAll);
  for (const std::string& v : values) box->addItem(Text(v));
  const int index = box->findText(chosen);
  box->setCurrentIndex(index >= 0 ? index : 0);
}

void TLogbookWindow::Refresh() {
  logbook::TLogbookStore store(path_);
  std::vector<logbook::TRunRow> all;
  if (auto failure = store.List({}, all)) {
    Status->setText(Text(*failure));
    runs_.clear();
    Runs->setRowCount(0);
    return;
  }
  std::set<std::string> missions, vehicles;
  for (const logbook::TRunRow& r : all) {
    missions.insert(r.Mission);
    vehicles.insert(r.Vehicle);
  }
  FillFilter(MissionFilter, {missions.begin(), missions.end()});
  FillFilter(VehicleFilter, {vehicles.begin(), vehicles.end()});

  logbook::TFilter filter;
  if (MissionFilter->currentIndex() > 0)
    filter.Mission = MissionFilter->currentText().toStdString();
  if (VehicleFilter->currentIndex() > 0)
    filter.Vehicle = VehicleFilter->currentText().toStdString();
  runs_.clear();
  store.List(filter, runs_);
  for (logbook::TRunRow& r : runs_) {
    bool found = false;
    store.Find(r.Id, r, found);
  }
  Runs->setSortingEnabled(false);
  Runs->clearContents();
  Runs->setRowCount(static_cast<int>(runs_.size()));
  for (int i = 0; i < static_cast<int>(runs_.size()); ++i) {
    const logbook::TRunRow& r = runs_[static_cast<std::size_t>(i)];
    auto* started = new QTableWidgetItem(Text(r.Started));
    started->setData(Qt::UserRole, i);
    Runs->setItem(i, 0, started);
    Runs->setItem(i, 1, new QTableWidgetItem(Text(r.Mission)));
    Runs->setItem(i, 2, new QTableWidgetItem(Text(r.Vehicle)));
    Runs->setItem(i, 3, new QTableWidgetItem(Text(r.Ending)));
    Runs->setItem(i, 4, new TNumberItem(QString::number(r.Duration, 'f', 0), r.Duration));
    Runs->setItem(i, 5, new TNumberItem(QString::number(r.Distance / 1000, 'f', 1), r.Distance));
    Runs->setItem(i, 6, new QTableWidgetItem(Text(Summary(r))));
    Runs->setItem(i, 7, new QTableWidgetItem(r.Replay.empty() ? "" : "あり"));
  }
  Runs->setSortingEnabled(true);
  Runs->sortItems(0, Qt::DescendingOrder);
  Status->setText(QString("%1 件").arg(runs_.size()));
  ShowSelected();
}

void TLogbookWindow::ShowSelected() {
  const QList<QTableWidgetItem*> selected = Runs->selectedItems();
  const QTableWidgetItem* first =
      selected.isEmpty() ? nullptr : Runs->item(selected.front()->row(), 0);
  if (first == nullptr) {
    Events->clear();
    PlayReplay->setEnabled(false);
    return;
  }
  const logbook::TRunRow& r = runs_[static_cast<std::size_t>(first->data(Qt::UserRole).toInt())];
  std::string text = r.Mission + " / " + r.Vehicle + " / " + r.Ending;
  if (!r.CrashMessage.empty()) text += " / " + r.CrashMessage;
  text += "\n";
  for (const logbook::TEventRow& e : r.Events) text += logbook::EventText(e) + "\n";
  Events->setPlainText(Text(text));
  PlayReplay->setEnabled(!r.Replay.empty());
}

void TLogbookWindow::Play() {
  const QList<QTableWidgetItem*> selected = Runs->selectedItems();
  if (selected.isEmpty()) return;
  const QTableWidgetItem* first = Runs->item(selected.front()->row(), 0);
  const logbook::TRunRow& r = runs_[static_cast<std::size_t>(first->data(Qt::UserRole).toInt())];
  if (!QFileInfo::exists(Text(r.Replay))) {
    Status->setText("録画ファイルがありません: " + Text(r.Replay));
    return;
  }
  const TLauncher launch =
      launcher_ ? launcher_ : [](const QString& program, const QStringList& args) {
        return QProcess::startDetached(program, args);
      };
  const bool started =
      launch(QCoreApplication::applicationFilePath(), {"--replay", Text(r.Replay)});
  Status->setText(started ? "録画を再生します: " + Text(r.Replay) : "再生を始められません");
}

TLogbookShell::TLogbookShell(state::TMainState& state, QWidget* parent, QWidget* view,
                             std::string path, std::string server, TLauncher launcher)
    : state_(state),
      view_(view),
      path_(std::move(path)),
      server_(std::move(server)),
      launcher_(std::move(launcher)),
      writer_(std::make_unique<logbook::TLogbookWriter>(path_)) {
  // A child of the form over the 3D view that never takes the focus or a click.
  panel_ = new QLabel(parent);
  panel_->setFocusPolicy(Qt::NoFocus);
  panel_->setAttribute(Qt::WA_TransparentForMouseEvents);
  panel_->setStyleSheet(
      "QLabel { background: rgba(0, 0, 0, 170); color: white; padding: 6px; font-size: 12px; }");
  panel_->hide();
  panelTimer_ = new QTimer(panel_);
  panelTimer_->setSingleShot(true);
  QObject::connect(panelTimer_, &QTimer::timeout, panel_, &QWidget::hide);
  eventSeen_ = state_.Figures.EventSerial;
  finishedSeen_ = state_.Figures.FinishedSerial;
}

TLogbookShell::~TLogbookShell() = default;

bool TLogbookShell::AutoSaveReplay() {
  return QSettings("velmora", "velmora").value(kAutoSaveKey, true).toBool();
}

void TLogbookShell::SetAutoSaveReplay(bool on) {
  QSettings("velmora", "velmora").setValue(kAutoSaveKey, on);
}

void TLogbookShell::ShowPanel(const std::vector<std::string>& lines) {
  QString text;
  for (const std::string& line : lines) {
    if (!text.isEmpty()) text += "\n";
    text += Text(line.rfind("記録> ", 0) == 0 ? line.substr(std::string("記録> ").size()) : line);
  }
  panel_->setText(text);
  panel_->adjustSize();
  const QRect area = view_ != nullptr ? view_->geometry() : panel_->parentWidget()->rect();
  panel_->move(area.right() - panel_->width() - 8, area.top() + 8);
  panel_->show();
  panel_->raise();
  panelTimer_->start(kPanelShownMs);
}

void TLogbookShell::AfterTick() {
  if (writer_ == nullptr) return;
  state::TRunFigures& f = state_.Figures;
  if (f.EventSerial != eventSeen_) {
    eventSeen_ = f.EventSerial;
    ShowPanel(app::EventReport(state_, f.LastEvent));
  }
  if (f.FinishedSerial != finishedSeen_) {
    finishedSeen_ = f.FinishedSerial;
    const QDateTime ended = QDateTime::currentDateTime();
    logbook::TRunContext context;
    context.Ended = LocalTime(ended);
    context.Started = LocalTime(ended.addMSecs(-static_cast<qint64>(f.Finished.Duration() * 1000)));
    context.Handle = f.Handle;
    context.Server = server_;
    if (AutoSaveReplay()) {
      const QDate d = ended.date();
      const QTime t = ended.time();
      context.Replay = app::SaveFinishedRunReplay(
          state_, app::ReplayFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
          app::ReplayFileName(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()));
    }
    writer_->Submit(logbook::RowOf(state_, f.Finished, context));
  }
  for (const std::string& message : writer_->TakeMessages()) state_.Log("記録簿> " + message);
  if (!writer_->TakeWritten().empty() && window_ != nullptr && window_->isVisible()) {
    window_->Refresh();
  }
}

void TLogbookShell::Close(uint32_t now) {
  app::EndRunAsLeft(state_, now);
  AfterTick();
  writer_.reset();  // writes what it can before the program goes
}

void TLogbookShell::ShowWindow() {
  if (window_ == nullptr) window_ = std::make_unique<TLogbookWindow>(path_, launcher_);
  window_->Refresh();
  window_->show();
  window_->raise();
}

}  // namespace velmora::ui
