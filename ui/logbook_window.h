// The shell's side of the logbook: the results panel that shows each landing,
// stop and race time as it happens, the logbook window (Ctrl+L) with its runs
// newest first, and the hand-over of every finished run to the writer.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/logbook.h"
#include "state/main_state.h"

namespace velmora::ui {

// Starts a program with arguments, detached; false when it could not start.
using TLauncher = std::function<bool(const QString& program, const QStringList& arguments)>;

// The logbook window: a list of runs (sortable, filtered by mission and
// vehicle), the events of the selected run below it, and a button that plays
// the run's replay in a second program.
class TLogbookWindow final : public QWidget {
 public:
  TLogbookWindow(std::string path, TLauncher launcher, QWidget* parent = nullptr);

  // Reads the logbook anew, keeping the filters.
  void Refresh();

  QTableWidget* Runs = nullptr;
  QComboBox* MissionFilter = nullptr;
  QComboBox* VehicleFilter = nullptr;
  QPlainTextEdit* Events = nullptr;
  QPushButton* PlayReplay = nullptr;
  QCheckBox* AutoSaveReplay = nullptr;
  QLabel* Status = nullptr;

 private:
  void ShowSelected();
  void Play();
  void FillFilter(QComboBox* box, const std::vector<std::string>& values);

  std::string path_;
  TLauncher launcher_;
  std::vector<logbook::TRunRow> runs_;
};

// Ties the core's run figures to the panel, the writer and the window.
class TLogbookShell {
 public:
  // parent: the main form; view: the widget the panel lies over.
  TLogbookShell(state::TMainState& state, QWidget* parent, QWidget* view, std::string path,
                std::string server, TLauncher launcher = {});
  ~TLogbookShell();

  // After every tick: a new event to the panel, a finished run (with its
  // replay saved) to the writer, the writer's messages to the log.
  void AfterTick();
  // The program closes: the run in progress ends as left and is written.
  void Close(uint32_t now);
  void ShowWindow();

  QLabel* Panel() const { return panel_; }
  TLogbookWindow* Window() const { return window_.get(); }
  logbook::TLogbookWriter& Writer() { return *writer_; }

  // Whether each run's replay is saved next to the replays (kept in the settings).
  static bool AutoSaveReplay();
  static void SetAutoSaveReplay(bool on);

 private:
  void ShowPanel(const std::vector<std::string>& lines);

  state::TMainState& state_;
  QWidget* view_;
  std::string path_;
  std::string server_;
  TLauncher launcher_;
  std::unique_ptr<logbook::TLogbookWriter> writer_;
  QLabel* panel_ = nullptr;
  QTimer* panelTimer_ = nullptr;
  std::unique_ptr<TLogbookWindow> window_;
  uint32_t eventSeen_ = 0;
  uint32_t finishedSeen_ = 0;
};

}  // namespace velmora::ui
