// The logbook window and the results panel, offscreen, on a scratch logbook.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <filesystem>
#include <fstream>

#include "app/run_figures.h"
#include "ui/logbook.h"
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
  std::string path, replay;
};

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
  ASSERT_EQ(window.Runs->rowCount(), 3);
  EXPECT_EQ(window.Runs->item(0, 0)->text(), "2026-12-08 11:00:00");
  EXPECT_EQ(window.Runs->item(2, 0)->text(), "2026-12-08 09:00:00");

  // Sorted by duration, shortest first: by number, not by text.
  window.Runs->sortItems(4, Qt::AscendingOrder);
  EXPECT_EQ(window.Runs->item(0, 4)->text(), "90");
  EXPECT_EQ(window.Runs->item(2, 4)->text(), "300");

  window.VehicleFilter->setCurrentText("旅客機");
  ASSERT_EQ(window.Runs->rowCount(), 2);
  window.MissionFilter->setCurrentText("着陸訓練：最終進入");
  ASSERT_EQ(window.Runs->rowCount(), 1);

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
  shell.AfterTick();
  ASSERT_TRUE(shell.Writer().Flush(kFlushWait));
  std::vector<logbook::TRunRow> runs;
  logbook::TLogbookStore store(path);
  ASSERT_EQ(store.List({}, runs), std::nullopt);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Vehicle, "旅客機");
  EXPECT_EQ(runs[0].Ending, "landed");
  EXPECT_EQ(runs[0].Server, "localhost:64000");
  EXPECT_NEAR(runs[0].Duration, 95, 1e-9);
}

}  // namespace
}  // namespace velmora::ui
