#include "ui/logbook_window.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QProcess>
#include <QSettings>
#include <QVBoxLayout>
#include <QSignalBlocker>
#include <algorithm>
#include <cstdlib>

#include "app/replay_file.h"
#include "app/run_figures.h"
#include "logbook/logbook_tool.h"
#include "ui/settings_store.h"
#include "vehicle/units.h"

namespace velmora::ui {

namespace {

constexpr int kPanelShownMs = 20000;  // the results panel hides itself after this
constexpr const char* kAll = "（すべて）";
constexpr const char* kAutoSaveKey = "logbook/autoSaveReplay";

QString Text(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

constexpr const char* kHeadings[TRunsModel::Columns] = {
    "開始", "ミッション", "車両", "終わり方", "時間 (s)", "距離 (km)", "結果", "録画"};

}  // namespace

TRunsModel::TRunsModel(std::string path, QObject* parent)
    : QAbstractTableModel(parent), store_(std::move(path), logbook::TAccess::Read) {
  filter_.Whole = true;
  store_.Bests(bests_);
  Reload();
}

int TRunsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TRunsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Columns;
}

QVariant TRunsModel::data(const QModelIndex& index, int role) const {
  const logbook::TRunRow* r = Run(index.row());
  if (r == nullptr) return {};
  if (role == Qt::TextAlignmentRole) {
    const bool number = index.column() == Duration || index.column() == Distance;
    return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case Started:
      return Text(r->Started);
    case Mission:
      return Text(r->Mission);
    case Vehicle:
      return Text(r->Vehicle);
    case Ending:
      return Text(app::EndNameOfKey(r->Ending));
    case Duration:
      return QString::number(r->Duration, 'f', 0);
    case Distance:
      return QString::number(r->Distance / 1000, 'f', 1);
    case Result: {
      const QString result =
          r->Events.empty() ? QString() : Text(logbook::EventSummary(r->Events.back()));
      return IsBest(r->Id) ? "★ " + result : result;
    }
    case Replay:
      return r->Replay.empty() ? QString() : QString("あり");
    default:
      return {};
  }
}

QVariant TRunsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= Columns) {
    return {};
  }
  return QString(kHeadings[section]);
}

bool TRunsModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && !atEnd_;
}

void TRunsModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || atEnd_) return;
  std::vector<logbook::TRunRow> page;
  const logbook::TRunRow* after = rows_.empty() ? nullptr : &rows_.back();
  if (auto failure = store_.Page(filter_, order_, after, kPageRows, page)) {
    failure_ = *failure;
    atEnd_ = true;
    return;
  }
  atEnd_ = static_cast<int>(page.size()) < kPageRows;
  if (page.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
  for (logbook::TRunRow& r : page) rows_.push_back(std::move(r));
  endInsertRows();
}

bool TRunsModel::Sortable(int column) {
  return column >= Started && column <= Distance;
}

void TRunsModel::sort(int column, Qt::SortOrder order) {
  if (!Sortable(column)) return;
  order_.Column = static_cast<logbook::TRunColumn>(column);
  order_.Descending = order == Qt::DescendingOrder;
  Reload();
}

int TRunsModel::SortColumn() const {
  return static_cast<int>(order_.Column);
}

Qt::SortOrder TRunsModel::SortOrder() const {
  return order_.Descending ? Qt::DescendingOrder : Qt::AscendingOrder;
}

void TRunsModel::SetFilter(const logbook::TFilter& filter) {
  filter_ = filter;
  Reload();
}

bool TRunsModel::IsBest(int64_t id) const {
  return std::any_of(bests_.begin(), bests_.end(),
                     [id](const logbook::TBest& b) { return b.RunId == id; });
}

void TRunsModel::Reload() {
  beginResetModel();
  rows_.clear();
  failure_.clear();
  atEnd_ = false;
  if (auto failure = store_.Count(filter_, total_)) {
    failure_ = *failure;
    total_ = 0;
    atEnd_ = true;
  }
  endResetModel();
  fetchMore({});
}

void TRunsModel::AddRun(const logbook::TRunRow& run) {
  // A new best takes the mark from the run that held it.
  if (!logbook::MergeBests(bests_, run).empty() && !rows_.empty()) {
    emit dataChanged(index(0, Result), index(static_cast<int>(rows_.size()) - 1, Result));
  }
  if (!logbook::Matches(run, filter_)) return;
  const auto at = std::partition_point(rows_.begin(), rows_.end(), [&](const logbook::TRunRow& r) {
    return logbook::Before(r, run, order_);
  });
  if (at != rows_.end() && at->Id == run.Id) return;  // read already
  ++total_;
  if (at == rows_.end() && !atEnd_) return;  // a later page brings it
  const int row = static_cast<int>(at - rows_.begin());
  logbook::TRunRow shown = run;
  if (shown.Events.size() > 1) shown.Events.erase(shown.Events.begin(), shown.Events.end() - 1);
  shown.Trace.clear();
  beginInsertRows({}, row, row);
  rows_.insert(rows_.begin() + row, std::move(shown));
  endInsertRows();
}

const logbook::TRunRow* TRunsModel::Run(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? &rows_[static_cast<std::size_t>(row)]
                                                           : nullptr;
}

TLogbookWindow::TLogbookWindow(std::string path, TLauncher launcher, QWidget* parent)
    : QWidget(parent, Qt::Window),
      path_(std::move(path)),
      launcher_(std::move(launcher)),
      details_(path_, logbook::TAccess::Read) {
  setWindowTitle("記録簿");
  resize(1100, 900);
  auto* layout = new QVBoxLayout(this);
  auto* filters = new QHBoxLayout;
  filters->addWidget(new QLabel("ミッション:"));
  MissionFilter = new QComboBox;
  filters->addWidget(MissionFilter, 2);
  filters->addWidget(new QLabel("車両:"));
  VehicleFilter = new QComboBox;
  filters->addWidget(VehicleFilter, 1);
  layout->addLayout(filters);

  Model = new TRunsModel(path_, this);
  Runs = new QTableView;
  Runs->setModel(Model);
  Runs->setSelectionBehavior(QAbstractItemView::SelectRows);
  // A second run selected with Ctrl is overlaid on the first one's charts.
  Runs->setSelectionMode(QAbstractItemView::ExtendedSelection);
  Runs->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Runs->verticalHeader()->setVisible(false);
  // Rows of one height, known without measuring every row's text.
  Runs->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  Runs->verticalHeader()->setDefaultSectionSize(Runs->fontMetrics().height() + 6);
  QHeaderView* header = Runs->horizontalHeader();
  header->setSectionResizeMode(TRunsModel::Mission, QHeaderView::Stretch);
  for (const auto& [column, width] : {std::pair{TRunsModel::Started, 140},
                                      {TRunsModel::Vehicle, 90},
                                      {TRunsModel::Ending, 60},
                                      {TRunsModel::Duration, 60},
                                      {TRunsModel::Distance, 70},
                                      {TRunsModel::Result, 150},
                                      {TRunsModel::Replay, 40}}) {
    header->resizeSection(column, width);
  }
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(Model->SortColumn(), Model->SortOrder());
  layout->addWidget(Runs, 2);

  Events = new QPlainTextEdit;
  Events->setReadOnly(true);
  layout->addWidget(Events, 1);
  Charts = new charts::TRunChartsWidget;
  layout->addWidget(Charts, 6);

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

  connect(MissionFilter, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
  connect(VehicleFilter, &QComboBox::currentIndexChanged, this, [this] { ApplyFilter(); });
  // The header's click sorts by the columns the database can order; any
  // other keeps the order and its mark as they were.
  connect(header, &QHeaderView::sortIndicatorChanged, this,
          [this, header](int column, Qt::SortOrder order) {
            if (!TRunsModel::Sortable(column)) {
              const QSignalBlocker block(header);
              header->setSortIndicator(Model->SortColumn(), Model->SortOrder());
              return;
            }
            Model->sort(column, order);
            Runs->scrollToTop();
            ShowSelected();
          });
  connect(Runs->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ShowSelected(); });
  connect(Model, &QAbstractItemModel::modelReset, this, [this] { ShowCount(); });
  connect(Model, &QAbstractItemModel::rowsInserted, this, [this] { ShowCount(); });
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

// A new mission or vehicle joins its list in its sorted place.
void TLogbookWindow::AddChoice(QComboBox* box, const std::string& value) {
  const QString text = Text(value);
  if (box->findText(text) >= 0) return;
  int at = 1;
  while (at < box->count() && box->itemText(at).toStdString() < value) ++at;
  const QSignalBlocker block(box);
  box->insertItem(at, text);
}

void TLogbookWindow::Refresh() {
  std::vector<std::string> missions, vehicles;
  logbook::TLogbookStore store(path_, logbook::TAccess::Read);
  if (QFileInfo::exists(Text(path_))) {
    store.Values(logbook::TRunColumn::Mission, missions);
    store.Values(logbook::TRunColumn::Vehicle, vehicles);
  }
  FillFilter(MissionFilter, missions);
  FillFilter(VehicleFilter, vehicles);
  ApplyFilter();
}

void TLogbookWindow::ApplyFilter() {
  logbook::TFilter filter;
  filter.Whole = true;
  if (MissionFilter->currentIndex() > 0) {
    filter.Mission = MissionFilter->currentText().toStdString();
  }
  if (VehicleFilter->currentIndex() > 0) {
    filter.Vehicle = VehicleFilter->currentText().toStdString();
  }
  Model->SetFilter(filter);
  Runs->scrollToTop();
  ShowSelected();
}

void TLogbookWindow::AddRun(const logbook::TRunRow& run) {
  AddChoice(MissionFilter, run.Mission);
  AddChoice(VehicleFilter, run.Vehicle);
  Model->AddRun(run);
}

void TLogbookWindow::ShowCount() {
  if (!QFileInfo::exists(Text(path_)) && Model->Total() == 0) {
    Status->setText("記録はまだありません");
  } else if (!Model->Failure().empty()) {
    Status->setText(Text(Model->Failure()));
  } else {
    Status->setText(QString("%1 件").arg(Model->Total()));
  }
}

void TLogbookWindow::ShowSelected() {
  const QModelIndexList rows = Runs->selectionModel()->selectedRows();
  // The run shown is the current one; another selected with it is compared.
  const int current = Runs->selectionModel()->currentIndex().row();
  const int shown = rows.isEmpty() ? -1
                    : Runs->selectionModel()->isRowSelected(current, {}) ? current
                                                                         : rows.front().row();
  const logbook::TRunRow* run = Model->Run(shown);
  bool found = false;
  if (run != nullptr) {
    selected_ = *run;
    if (auto failure = details_.Find(run->Id, selected_, found)) Status->setText(Text(*failure));
  }
  if (!found) {
    Events->clear();
    Charts->Show({});
    PlayReplay->setEnabled(false);
    return;
  }
  const logbook::TRunRow& r = selected_;
  std::string text = r.Mission + " / " + r.Vehicle + " / " + app::EndNameOfKey(r.Ending);
  if (!r.CrashMessage.empty()) text += " / " + r.CrashMessage;
  text += "\n";
  for (const logbook::TEventRow& e : r.Events) text += logbook::EventText(e) + "\n";
  Events->setPlainText(Text(text));
  PlayReplay->setEnabled(!r.Replay.empty());

  // The charts, with the other selected run of the same mission overlaid.
  int64_t compare = 0;
  for (const QModelIndex& index : rows) {
    const logbook::TRunRow* other = Model->Run(index.row());
    if (other != nullptr && other->Id != r.Id && other->Mission == r.Mission) compare = other->Id;
  }
  std::vector<app::TChart> charts;
  const std::optional<std::string> failure = logbook::ChartsOfRun(details_, r, compare, charts);
  Charts->Show(charts, failure ? Text(*failure) : QString("この走行には図がありません"));
}

void TLogbookWindow::Play() {
  if (!PlayReplay->isEnabled()) return;
  const logbook::TRunRow& r = selected_;
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
      launcher_(std::move(launcher)),
      keeper_(std::make_unique<logbook::TRunKeeper>(
          state, path_, std::move(server),
          app::ReplayFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")))) {
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
}

TLogbookShell::~TLogbookShell() = default;

bool TLogbookShell::AutoSaveReplay() {
  return QSettings(SettingsFilePath(), QSettings::IniFormat).value(kAutoSaveKey, true).toBool();
}

void TLogbookShell::SetAutoSaveReplay(bool on) {
  QSettings(SettingsFilePath(), QSettings::IniFormat).setValue(kAutoSaveKey, on);
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
  if (keeper_ == nullptr) return;
  const state::TRunFigures& f = state_.Figures;
  if (f.EventSerial != eventSeen_) {
    eventSeen_ = f.EventSerial;
    ShowPanel(app::EventReport(state_, f.LastEvent));
  }
  for (const logbook::TRunRow& run : keeper_->AfterTick(AutoSaveReplay())) {
    if (window_ != nullptr) window_->AddRun(run);
  }
}

void TLogbookShell::Close(uint32_t now) {
  app::EndRunAsLeft(state_, now);
  AfterTick();
  keeper_.reset();  // writes what it can before the program goes
}

void TLogbookShell::ShowWindow() {
  if (window_ == nullptr) {
    window_ = std::make_unique<TLogbookWindow>(path_, launcher_);
  } else if (!window_->isVisible()) {
    window_->Refresh();  // another program may have written meanwhile
  }
  window_->show();
  window_->raise();
}

}  // namespace velmora::ui
