// The logbook window on a logbook of 100,000 runs, on the program's thread:
// opening it (to its first painted page; also with 1,000 runs), a run just
// written, a page more as the list is scrolled, ordering by a column,
// choosing a vehicle, painting, showing a run's charts. Each is what one
// tick may wait for while the window is open. And the bytes an hour's trace
// adds to the logbook.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QApplication>
#include <QHeaderView>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <string>

#include "app/run_trace.h"
#include "logbook/logbook.h"
#include "ui/logbook_window.h"

namespace {

using namespace velmora;
namespace logbook = velmora::logbook;

constexpr int kRuns = 100000;

// The offscreen platform needs no display.
void EnsureApplication() {
  static int argc = 1;
  static char name[] = "logbook_bench";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
  }
}

// An hour of a train's trace at 4 Hz, with a stop every ten minutes.
app::TRunTrace HourOfTrain() {
  app::TRunTrace t;
  t.Kind = 3;
  for (std::size_t i = 0; i < app::kTraceSamples; ++i) {
    app::TTraceSample x;
    x.Time = static_cast<uint32_t>(i) * app::kTraceInterval;
    x.Y = static_cast<double>(i) * 3.3;
    x.GroundSpeed = 13.2;
    x.SpeedLimit = 16.5;
    x.StopDistance = 600;
    t.Samples.push_back(x);
    if (i % 2400 == 2399) t.Events.push_back({app::TTraceEventKind::Stop, x.Time, 0, x.Y, 0});
  }
  return t;
}

// A logbook of `runs` runs, one a minute, of ten missions and three vehicles,
// each with a stop; made once, then opened as the program does.
const std::string& Logbook(int runs = kRuns) {
  static QTemporaryDir dir;
  static std::map<int, std::string> paths;
  if (paths.count(runs) != 0) return paths[runs];
  const std::string& path = paths[runs] = [runs] {
    const std::string p = dir.filePath(QString("logbook-%1.sqlite").arg(runs)).toStdString();
    logbook::TLogbookStore(p).Open();
    sqlite3* db = nullptr;
    sqlite3_open(p.c_str(), &db);
    const std::string sql =
        "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(runs) +
        ") INSERT INTO runs (id, started, ended, duration, mission, vehicle_kind, vehicle_type,"
        " vehicle, handle, distance, top_speed, top_height, ending, crash_message, replay)"
        " SELECT i, datetime('2020-01-01', '+' || i || ' minutes'), '', i % 977,"
        " '通勤電車：' || (i % 10) || '号線', 3, 30,"
        " CASE i % 3 WHEN 0 THEN '乗用車' WHEN 1 THEN '旅客機' ELSE '通勤電車' END, '試験',"
        " (i * 7919) % 20000, 30, 0, 'stopped', '', '' FROM n;"
        " INSERT INTO events (run_id, seq, kind, at, runway, stop_error)"
        " SELECT id, 0, 'stop', 60, '', 0.5 FROM runs; COMMIT;";
    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    logbook::TLogbookStore store(p);  // as the program's writer does at its start
    // The newest run with an hour's trace, for its charts.
    logbook::TRunRow traced;
    traced.Started = "2099-01-01 00:00:00";
    traced.Mission = "通勤電車：0号線";
    traced.VehicleKind = 3;
    traced.Vehicle = "通勤電車";
    traced.Ending = "stopped";
    traced.Trace = app::EncodeTrace(HourOfTrain());
    store.Insert(traced);
    return p;
  }();
  return path;
}

void BM_LogbookWindowOpens(benchmark::State& state) {
  EnsureApplication();
  const std::string& path = Logbook(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto window = std::make_unique<ui::TLogbookWindow>(path, ui::TLauncher{});
    window->show();
    QApplication::processEvents();
    benchmark::DoNotOptimize(window->grab());
  }
}
BENCHMARK(BM_LogbookWindowOpens)->Arg(1000)->Arg(kRuns)->Unit(benchmark::kMillisecond);

// Selecting the run with an hour's trace: its events and its charts, painted.
void BM_LogbookWindowShowsCharts(benchmark::State& state) {
  EnsureApplication();
  ui::TLogbookWindow window(Logbook(1000), {});
  window.show();
  QApplication::processEvents();
  int row = 0;
  for (auto _ : state) {
    window.Runs->selectRow(row = 1 - row);  // the traced run is the newest, row 0
    QApplication::processEvents();
    benchmark::DoNotOptimize(window.grab());
  }
}
BENCHMARK(BM_LogbookWindowShowsCharts)->Unit(benchmark::kMillisecond);

// The bytes an hour's trace adds to a run's row, and the time to pack it.
void BM_TraceOfAnHour(benchmark::State& state) {
  const app::TRunTrace trace = HourOfTrain();
  std::size_t bytes = 0;
  for (auto _ : state) bytes = app::EncodeTrace(trace).size();
  state.counters["bytes_per_hour"] = static_cast<double>(bytes);
}
BENCHMARK(BM_TraceOfAnHour)->Unit(benchmark::kMillisecond);

void BM_LogbookWindowNewRun(benchmark::State& state) {
  EnsureApplication();
  ui::TLogbookWindow window(Logbook(), {});
  window.show();
  logbook::TRunRow run;
  run.Started = "2030-01-01 00:00:00";
  run.Mission = "着陸訓練";
  run.Vehicle = "旅客機";
  run.Ending = "landed";
  int64_t id = kRuns;
  for (auto _ : state) {
    run.Id = ++id;
    window.AddRun(run);
    QApplication::processEvents();
  }
}
BENCHMARK(BM_LogbookWindowNewRun)->Unit(benchmark::kMicrosecond);

void BM_LogbookWindowScrollsAPage(benchmark::State& state) {
  EnsureApplication();
  ui::TLogbookWindow window(Logbook(), {});
  for (auto _ : state) {
    if (!window.Model->canFetchMore({})) window.Refresh();
    window.Model->fetchMore({});
  }
}
BENCHMARK(BM_LogbookWindowScrollsAPage)->Unit(benchmark::kMicrosecond);

void BM_LogbookWindowSorts(benchmark::State& state) {
  EnsureApplication();
  ui::TLogbookWindow window(Logbook(), {});
  const int column = static_cast<int>(state.range(0));
  bool ascending = false;
  for (auto _ : state) {
    ascending = !ascending;
    window.Runs->horizontalHeader()->setSortIndicator(
        column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
  }
}
BENCHMARK(BM_LogbookWindowSorts)
    ->DenseRange(ui::TRunsModel::Started, ui::TRunsModel::Distance)
    ->Unit(benchmark::kMillisecond);

void BM_LogbookWindowChoosesAVehicle(benchmark::State& state) {
  EnsureApplication();
  ui::TLogbookWindow window(Logbook(), {});
  int choice = 0;
  for (auto _ : state) window.VehicleFilter->setCurrentIndex(choice = (choice + 1) % 4);
}
BENCHMARK(BM_LogbookWindowChoosesAVehicle)->Unit(benchmark::kMillisecond);

void BM_LogbookWindowPaints(benchmark::State& state) {
  EnsureApplication();
  ui::TLogbookWindow window(Logbook(), {});
  window.show();
  QApplication::processEvents();
  for (auto _ : state) benchmark::DoNotOptimize(window.grab());
}
BENCHMARK(BM_LogbookWindowPaints)->Unit(benchmark::kMillisecond);

}  // namespace
