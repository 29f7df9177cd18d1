// The shell's side of the logbook: the results panel that shows each landing,
// stop and race time as it happens, the logbook window (Ctrl+L) with its runs
// newest first, and the setting that saves each run's replay.
#pragma once

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "charts/run_charts_view.h"
#include "state/main_state.h"
#include "logbook/logbook.h"
#include "logbook/personal_bests.h"

namespace velmora::ui {

// Starts a program with arguments, detached; false when it could not start.
using TLauncher = std::function<bool(const QString& program, const QStringList& arguments)>;

// The runs of a logbook as a table: rows are read from the file a page at a
// time as the view scrolls to them, ordered and filtered by the database, so
// that the window opens and sorts in the same time with ten runs as with a
// hundred thousand. The file is only read.
class TRunsModel final : public QAbstractTableModel {
 public:
  enum TColumn { Started, Mission, Vehicle, Ending, Duration, Distance, Result, Replay, Columns };
  static constexpr int kPageRows = 100;  // runs read at a time

  explicit TRunsModel(std::string path, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;
  // Orders by a column from the first run on; the result and the replay
  // columns keep the order as it is.
  void sort(int column, Qt::SortOrder order) override;
  static bool Sortable(int column);

  // The runs matching the filter, read anew from the first one.
  void SetFilter(const logbook::TFilter& filter);
  // A run just written: one row where it belongs, when it matches the
  // filter and lies among the rows read so far (else a later page has it).
  void AddRun(const logbook::TRunRow& run);
  // The run of a row, with its last event only; null past the rows read.
  const logbook::TRunRow* Run(int row) const;
  int64_t Total() const { return total_; }  // runs matching the filter
  // Whether a run holds a personal best of its mission (marked ★ in the result).
  bool IsBest(int64_t id) const;
  // Why the file could not be read; empty when it could.
  const std::string& Failure() const { return failure_; }
  int SortColumn() const;
  Qt::SortOrder SortOrder() const;

 private:
  void Reload();

  logbook::TLogbookStore store_;
  std::vector<logbook::TBest> bests_;  // read once; a run written is folded in
  logbook::TFilter filter_;
  logbook::TOrder order_;
  std::vector<logbook::TRunRow> rows_;
  int64_t total_ = 0;
  bool atEnd_ = true;
  std::string failure_;
};

// The logbook window: a list of runs (sortable, filtered by mission and
// vehicle), the events and the charts of the selected run below it (a second
// run selected with it is overlaid; else the mission's best), and a button
// that plays the run's replay in a second program.
class TLogbookWindow final : public QWidget {
 public:
  TLogbookWindow(std::string path, TLauncher launcher, QWidget* parent = nullptr);

  // Reads the logbook anew, keeping the filters and the order.
  void Refresh();
  // A run the writer has just written.
  void AddRun(const logbook::TRunRow& run);

  QTableView* Runs = nullptr;
  TRunsModel* Model = nullptr;
  QComboBox* MissionFilter = nullptr;
  QComboBox* VehicleFilter = nullptr;
  QPlainTextEdit* Events = nullptr;
  charts::TRunChartsWidget* Charts = nullptr;
  QPushButton* PlayReplay = nullptr;
  QCheckBox* AutoSaveReplay = nullptr;
  QLabel* Status = nullptr;

 private:
  void ApplyFilter();
  void ShowSelected();
  void ShowCount();
  void Play();
  void FillFilter(QComboBox* box, const std::vector<std::string>& values);
  static void AddChoice(QComboBox* box, const std::string& value);

  std::string path_;
  TLauncher launcher_;
  logbook::TLogbookStore details_;  // the selected run's events
  logbook::TRunRow selected_;
};

// Ties the core's run figures to the panel and the window, and the
// logbook's keeper of finished runs to the settings.
class TLogbookShell {
 public:
  // parent: the main form; view: the widget the panel lies over.
  TLogbookShell(state::TMainState& state, QWidget* parent, QWidget* view, std::string path,
                std::string server, TLauncher launcher = {});
  ~TLogbookShell();

  // After every tick: a new event to the panel, a finished run to the
  // keeper, the runs it has written to the open window.
  void AfterTick();
  // The program closes: the run in progress ends as left and is written.
  void Close(uint32_t now);
  void ShowWindow();

  QLabel* Panel() const { return panel_; }
  TLogbookWindow* Window() const { return window_.get(); }
  logbook::TLogbookWriter& Writer() { return keeper_->Writer(); }

  // Whether each run's replay is saved next to the replays (kept in the settings).
  static bool AutoSaveReplay();
  static void SetAutoSaveReplay(bool on);

 private:
  void ShowPanel(const std::vector<std::string>& lines);

  state::TMainState& state_;
  QWidget* view_;
  std::string path_;
  TLauncher launcher_;
  std::unique_ptr<logbook::TRunKeeper> keeper_;  // null once closed
  QLabel* panel_ = nullptr;
  QTimer* panelTimer_ = nullptr;
  std::unique_ptr<TLogbookWindow> window_;
  uint32_t eventSeen_ = 0;
};

}  // namespace velmora::ui
