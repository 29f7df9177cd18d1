// The logbook window and the results panel, offscreen, on a scratch logbook.
#include <gtest/gtest.h>

#include <QAbstractSeries>
#include <QChartView>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <sqlite3.h>

#include <filesystem>
#include <tuple>
#include <fstream>

#include "app/run_figures.h"
#include "app/run_trace.h"
#include "logbook/logbook.h"
#include "tests/support/test_traces.h"
#include "tests/support/test_vehicles.h"
#include "tests/ui/ui_test_support.h"
#include "ui/logbook_window.h"

namespace velmora::ui {
namespace {

constexpr int kFlushWait = 20000;  // ms: liveness bound

logbook::TRunRow LoggedRun(const std::string& started, const std::string& mission,
                           const std::string& vehicle, double duration, const std::string& replay) {
  logbook::TRunRow r;
  r.Started = r.Ended = started;
  r.Mission = mission;
  r.Vehicle = vehicle;
  r.Duration = duration;
  r.Ending = "landed";
  r.Replay = replay;
  logbook::TEventRow e;
  e.Kind = "touchdown";
  e.Runway = "中央空港 RWY36";
  e.SinkRate = 1.5;
  e.Grade = "firm";
  r.Events.push_back(e);
  return r;
}

class LogbookWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::App();
    path = testing::TestFilePath("logbook.sqlite").string();
    replay = testing::WriteTestFile("run.vrp", "replay bytes").string();
  }
  // n runs, one a minute from 2026-01-01 00:00: durations 0 to 96 s, every
  // third by the car, each with a stop.
  void Generate(int n) const {
    ASSERT_EQ(logbook::TLogbookStore(path).Open(), std::nullopt);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string sql =
        "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(n) +
        ") INSERT INTO runs (id, started, ended, duration, mission, vehicle_kind, vehicle_type,"
        " vehicle, handle, distance, top_speed, top_height, ending, crash_message)"
        " SELECT i, datetime('2026-01-01', '+' || i || ' minutes'), '', i % 97, '通勤電車', 3,"
        " 30, CASE i % 3 WHEN 0 THEN '乗用車' ELSE '通勤電車' END, '', i, 0, 0, 'stopped', ''"
        " FROM n; INSERT INTO events (run_id, seq, kind, at, runway, stop_error)"
        " SELECT id, 0, 'stop', 1, '', 0.5 FROM runs; COMMIT;";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  static QString Cell(const TLogbookWindow& window, int row, int column) {
    return window.Model->index(row, column).data().toString();
  }
  std::string path, replay;
};

// The window reads a page of runs at a time as they are scrolled to, orders
// and filters them in the file, and a run just written adds one row.
TEST_F(LogbookWindowTest, ReadsRunsAPageAtATimeAndAddsANewRunAsOneRow) {
  constexpr int kRuns = 1000;
  Generate(kRuns);
  TLogbookWindow window(path, {});
  EXPECT_EQ(window.Model->rowCount(), TRunsModel::kPageRows);
  EXPECT_EQ(window.Status->text(), QString("%1 件").arg(kRuns));
  EXPECT_EQ(Cell(window, 0, TRunsModel::Started), "2026-01-01 16:40:00") << "the newest first";
  window.Model->fetchMore({});
  ASSERT_EQ(window.Model->rowCount(), 2 * TRunsModel::kPageRows);
  EXPECT_EQ(Cell(window, TRunsModel::kPageRows, TRunsModel::Started), "2026-01-01 15:00:00");

  window.Runs->horizontalHeader()->setSortIndicator(TRunsModel::Duration, Qt::AscendingOrder);
  ASSERT_EQ(window.Model->rowCount(), TRunsModel::kPageRows);
  EXPECT_EQ(Cell(window, 0, TRunsModel::Duration), "0");
  EXPECT_EQ(Cell(window, TRunsModel::kPageRows - 1, TRunsModel::Duration), "9")
      << "ten runs of each duration";
  window.Runs->horizontalHeader()->setSortIndicator(TRunsModel::Result, Qt::AscendingOrder);
  EXPECT_EQ(window.Runs->horizontalHeader()->sortIndicatorSection(), TRunsModel::Duration)
      << "the result is not an order of the file";
  window.Runs->horizontalHeader()->setSortIndicator(TRunsModel::Started, Qt::DescendingOrder);

  int inserted = 0, firstRow = -1;
  QObject::connect(window.Model, &QAbstractItemModel::rowsInserted,
                   [&](const QModelIndex&, int first, int last) {
                     inserted += last - first + 1;
                     firstRow = first;
                   });
  logbook::TRunRow newest = LoggedRun("2026-12-08 09:00:00", "着陸訓練", "旅客機", 60, "");
  newest.Id = kRuns + 1;
  window.AddRun(newest);
  EXPECT_EQ(inserted, 1);
  EXPECT_EQ(firstRow, 0);
  EXPECT_EQ(Cell(window, 0, TRunsModel::Vehicle), "旅客機");
  logbook::TRunRow oldest = newest;
  oldest.Id = kRuns + 2;
  oldest.Started = "2025-01-01 00:00:00";
  window.AddRun(oldest);
  EXPECT_EQ(inserted, 1) << "beyond the rows read: a later page brings it";
  EXPECT_EQ(window.Model->Total(), kRuns + 2);
  EXPECT_GE(window.VehicleFilter->findText("旅客機"), 1);

  window.VehicleFilter->setCurrentText("乗用車");
  EXPECT_EQ(window.Model->Total(), kRuns / 3);
  EXPECT_EQ(Cell(window, 0, TRunsModel::Vehicle), "乗用車");
}

TEST_F(LogbookWindowTest, ListsNewestFirstFiltersAndPlaysTheReplay) {
  {
    logbook::TLogbookStore store(path);
    for (logbook::TRunRow r :
         {LoggedRun("2026-12-08 09:00:00", "着陸訓練：長距離進入", "旅客機", 300, ""),
          LoggedRun("2026-12-08 11:00:00", "通勤電車：1号線", "通勤電車", 90, ""),
          LoggedRun("2026-12-08 10:00:00", "着陸訓練：最終進入", "旅客機", 120, replay)}) {
      ASSERT_EQ(store.Insert(r), std::nullopt);
    }
  }
  QStringList launched;
  TLogbookWindow window(path, [&](const QString&, const QStringList& args) {
    launched = args;
    return true;
  });
  ASSERT_EQ(window.Model->rowCount(), 3);
  EXPECT_EQ(Cell(window, 0, TRunsModel::Started), "2026-12-08 11:00:00");
  EXPECT_EQ(Cell(window, 2, TRunsModel::Started), "2026-12-08 09:00:00");
  EXPECT_EQ(Cell(window, 0, TRunsModel::Ending), "着陸");
  // The only landing of its mission is its best.
  EXPECT_EQ(Cell(window, 0, TRunsModel::Result), "★ 300 ft/min やや強め");

  // Sorted by duration, shortest first: by number, not by text.
  window.Runs->horizontalHeader()->setSortIndicator(TRunsModel::Duration, Qt::AscendingOrder);
  EXPECT_EQ(Cell(window, 0, TRunsModel::Duration), "90");
  EXPECT_EQ(Cell(window, 2, TRunsModel::Duration), "300");

  window.VehicleFilter->setCurrentText("旅客機");
  ASSERT_EQ(window.Model->rowCount(), 2);
  window.MissionFilter->setCurrentText("着陸訓練：最終進入");
  ASSERT_EQ(window.Model->rowCount(), 1);

  window.Runs->selectRow(0);
  EXPECT_TRUE(window.Events->toPlainText().contains("中央空港 RWY36"));
  EXPECT_TRUE(window.Events->toPlainText().contains("降下率 300 ft/min"));
  ASSERT_TRUE(window.PlayReplay->isEnabled());
  window.PlayReplay->click();
  EXPECT_EQ(launched, (QStringList{"--replay", QString::fromStdString(replay)}));

  window.MissionFilter->setCurrentIndex(0);
  window.VehicleFilter->setCurrentText("通勤電車");
  window.Runs->selectRow(0);
  EXPECT_FALSE(window.PlayReplay->isEnabled()) << "no replay saved with that run";
}

// A landing shows at once in the panel without taking the keyboard; the run's
// end reaches the logbook through the writer.
TEST_F(LogbookWindowTest, PanelShowsTheEventAndTheRunIsWritten) {
  state::TMainState s;
  velmora::testing::FillTestForms(s);
  s.Forms[11].Name = "旅客機";
  QWidget form;
  form.resize(1016, 741);
  auto* view = new QWidget(&form);
  view->setGeometry(0, 0, 1016, 577);
  auto* chat = new QLineEdit(&form);
  form.show();
  form.activateWindow();
  chat->setFocus();
  QApplication::processEvents();
  QWidget* const focused = QApplication::focusWidget();
  TLogbookShell shell(s, &form, view, path, "localhost:64000");

  s.Figures.LastEvent.Kind = state::TRunEventKind::Touchdown;
  s.Figures.LastEvent.Touchdown.SinkRate = 2.5;
  s.Figures.LastEvent.Touchdown.Grade = state::TLandingGrade::Firm;
  ++s.Figures.EventSerial;
  shell.AfterTick();
  ASSERT_TRUE(shell.Panel()->isVisible());
  EXPECT_TRUE(shell.Panel()->text().contains("評価: やや強め"));
  EXPECT_TRUE(shell.Panel()->text().contains("降下率 500 ft/min"));
  QApplication::processEvents();
  EXPECT_EQ(QApplication::focusWidget(), focused) << "the panel leaves the keyboard where it was";
  EXPECT_EQ(shell.Panel()->focusPolicy(), Qt::NoFocus);
  EXPECT_LE(shell.Panel()->geometry().right(), view->geometry().right());

  s.Figures.Finished = state::TRunRecord{};
  s.Figures.Finished.Kind = 1;
  s.Figures.Finished.FormNo = 11;
  s.Figures.Finished.Practice = true;
  s.Figures.Finished.EndClock = 95000;
  s.Figures.Finished.End = state::TRunEnd::Landed;
  s.Figures.Finished.EventCount = 1;
  s.Figures.Finished.Events[0] = s.Figures.LastEvent;
  ++s.Figures.FinishedSerial;
  shell.ShowWindow();
  shell.AfterTick();
  ASSERT_TRUE(shell.Writer().Flush(kFlushWait));
  shell.AfterTick();
  ASSERT_EQ(shell.Window()->Model->rowCount(), 1) << "the open window shows the new run";
  EXPECT_EQ(shell.Window()->Model->index(0, TRunsModel::Ending).data().toString(), "着陸");
  std::vector<logbook::TRunRow> runs;
  logbook::TLogbookStore store(path);
  ASSERT_EQ(store.List({}, runs), std::nullopt);
  EXPECT_EQ(runs.size(), 1u) << "in the file";
}

// The selected run's charts lie below its events, with the mission's best
// overlaid or a second run selected with it; the best is marked in the list.
TEST_F(LogbookWindowTest, ShowsTheRunsChartsAndMarksTheBest) {
  const app::TRunTrace trace = testing::ShortTrainTrace();
  {
    logbook::TLogbookStore store(path);
    for (const auto& [started, error, traced] :
         {std::tuple{"2026-12-08 09:00:00", 0.5, true}, {"2026-12-08 10:00:00", 0.1, true},
          {"2026-12-08 11:00:00", 0.3, false}}) {
      logbook::TRunRow r = LoggedRun(started, "通勤電車：1号線", "通勤電車", 90, "");
      r.VehicleKind = vehicle::kKindTrain;
      r.Events[0].Kind = "stop";
      r.Events[0].StopError = error;
      if (traced) r.Trace = app::EncodeTrace(trace);
      ASSERT_EQ(store.Insert(r), std::nullopt);
    }
  }
  TLogbookWindow window(path, {});
  ASSERT_EQ(window.Model->rowCount(), 3);
  EXPECT_EQ(Cell(window, 1, TRunsModel::Result), "★ +0.10 m");
  EXPECT_EQ(Cell(window, 2, TRunsModel::Result), "+0.50 m");
  // The line of each series: the limit, the caution speed, the run's speed, and the other's.
  const auto seriesNames = [&] {
    QStringList names;
    const QList<QChartView*> views = window.Charts->findChildren<QChartView*>();
    if (views.size() == 1) {
      for (const QAbstractSeries* series : views[0]->chart()->series()) names << series->name();
    }
    return names;
  };

  window.Runs->selectRow(2);
  EXPECT_EQ(window.Charts->ChartCount(), 1);
  EXPECT_EQ(seriesNames(), (QStringList{"制限速度", "注意速度", "速度", "自己ベスト（2026-12-08 10:00:00）"}));

  window.Runs->selectionModel()->select(window.Model->index(1, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(seriesNames().value(3), "記録 2（2026-12-08 10:00:00）");

  window.Runs->selectRow(0);
  EXPECT_EQ(window.Charts->ChartCount(), 0);
  const QList<QLabel*> labels = window.Charts->findChildren<QLabel*>();
  ASSERT_EQ(labels.size(), 1);
  EXPECT_TRUE(labels[0]->text().contains("軌跡がありません"));
}

}  // namespace
}  // namespace velmora::ui
