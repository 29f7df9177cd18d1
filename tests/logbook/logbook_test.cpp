// The logbook against real SQLite files in a scratch folder: a fresh file, a
// migration, the faults a user's disk can have, two programs at once, the
// command-line tool's output, and what is kept at the end of a run.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/replay.h"
#include "logbook/logbook.h"
#include "logbook/logbook_tool.h"
#include "logbook/personal_bests.h"
#include "tests/support/own_mounts.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_traces.h"
#include "tests/support/test_vehicles.h"
#include "version/version.h"

namespace velmora::logbook {
namespace {

namespace fs = std::filesystem;

constexpr int kFlushWait = 20000;  // ms: liveness bound, never reached when it works

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs SQL on the file with a connection of the test's own.
void RawSql(const fs::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
  sqlite3_free(error);
  sqlite3_close(db);
}

std::string RawValue(const fs::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* q = nullptr;
  std::string value;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK &&
      sqlite3_step(q) == SQLITE_ROW) {
    value = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
  }
  sqlite3_finalize(q);
  sqlite3_close(db);
  return value;
}

TRunRow Landing(const std::string& started, const std::string& mission = "着陸訓練：最終進入") {
  TRunRow r;
  r.Started = started;
  r.Ended = started;
  r.Duration = 95.5;
  r.Mission = mission;
  r.VehicleKind = 1;
  r.VehicleType = 11;
  r.Vehicle = "旅客機";
  r.Handle = "試験";
  r.Server = "127.0.0.1:7000";
  r.WorldNo = 52566771;
  r.Distance = 6400;
  r.TopSpeed = 76;
  r.TopHeight = 340;
  r.Ending = "landed";
  r.Replay = "/tmp/replay.vrp";
  TEventRow e;
  e.Kind = "touchdown";
  e.At = 80;
  e.Runway = "中央空港 RWY36";
  e.SinkRate = 1.25;
  e.VerticalLoad = 1.27;
  e.Airspeed = 70;
  e.GroundSpeed = 68;
  e.Pitch = 3.5;
  e.Bank = -0.5;
  e.PastThreshold = 420;
  e.FromAimPoint = 120;
  e.CentreLine = -2.5;
  e.Bounces = 1;
  e.Grade = "firm";
  r.Events.push_back(e);
  return r;
}

TRunRow TrainStop(const std::string& started) {
  TRunRow r;
  r.Started = started;
  r.Ended = started;
  r.Mission = "通勤電車：1号線 A駅から北へ、B駅に停車";
  r.VehicleKind = 3;
  r.VehicleType = 30;
  r.Vehicle = "通勤電車";
  r.Ending = "stopped";
  TEventRow e;
  e.Kind = "stop";
  e.At = 117;
  e.StopError = -0.42;
  e.OverLimit = 0.5;
  e.ProtectionBrakes = 1;
  e.SinceDeparture = 117;
  r.Events.push_back(e);
  return r;
}

class LogbookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = testing::TestFilePath("x").parent_path();
    path = dir / "velmora" / "logbook.sqlite";
  }
  fs::path dir, path;
};

TEST_F(LogbookTest, FreshFileInWalModeKeepsRunsAndEvents) {
  TLogbookStore store(path.string());
  ASSERT_EQ(store.Open(), std::nullopt);
  EXPECT_EQ(RawValue(path, "PRAGMA user_version;"), "3");
  EXPECT_EQ(RawValue(path, "PRAGMA journal_mode;"), "wal");
  TRunRow older = Landing("2026-12-08 10:00:00");
  TRunRow newer = TrainStop("2026-12-08 11:00:00");
  ASSERT_EQ(store.Insert(older), std::nullopt);
  ASSERT_EQ(store.Insert(newer), std::nullopt);

  std::vector<TRunRow> runs;
  ASSERT_EQ(store.List({}, runs), std::nullopt);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].Id, newer.Id) << "newest first";
  ASSERT_EQ(store.List({"着陸", ""}, runs), std::nullopt);
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(store.List({"", "電車"}, runs), std::nullopt);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Mission, newer.Mission);

  TRunRow back;
  bool found = false;
  ASSERT_EQ(store.Find(older.Id, back, found), std::nullopt);
  ASSERT_TRUE(found);
  EXPECT_EQ(back.Server, "127.0.0.1:7000");
  EXPECT_EQ(back.Replay, "/tmp/replay.vrp");
  ASSERT_EQ(back.Events.size(), 1u);
  EXPECT_EQ(back.Events[0].Runway, "中央空港 RWY36");
  EXPECT_EQ(back.Events[0].SinkRate, 1.25);
  EXPECT_EQ(back.Events[0].Bounces, 1);
  ASSERT_EQ(store.Find(9999, back, found), std::nullopt);
  EXPECT_FALSE(found);
}

TEST_F(LogbookTest, MigratesVersionOneAndKeepsItsRows) {
  fs::create_directories(path.parent_path());
  RawSql(path,
         "CREATE TABLE runs (id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT NOT NULL,"
         " duration REAL NOT NULL, mission TEXT NOT NULL, vehicle_kind INTEGER NOT NULL,"
         " vehicle_type INTEGER NOT NULL, vehicle TEXT NOT NULL, handle TEXT NOT NULL,"
         " distance REAL NOT NULL, top_speed REAL NOT NULL, top_height REAL NOT NULL,"
         " ending TEXT NOT NULL, crash_message TEXT NOT NULL);"
         "CREATE TABLE events (id INTEGER PRIMARY KEY, run_id INTEGER NOT NULL REFERENCES runs(id)"
         " ON DELETE CASCADE, seq INTEGER NOT NULL, kind TEXT NOT NULL, at REAL NOT NULL,"
         " runway TEXT NOT NULL, sink_rate REAL, vertical_load REAL, airspeed REAL,"
         " ground_speed REAL, pitch REAL, bank REAL, past_threshold REAL, from_aim_point REAL,"
         " centre_line REAL, bounces INTEGER, grade TEXT, stop_error REAL, over_limit REAL,"
         " protection_brakes INTEGER, since_departure REAL, race_time REAL);"
         "INSERT INTO runs VALUES (7, '2026-01-01 09:00:00', '2026-01-01 09:05:00', 300,"
         " '自動車レース', 2, 20, '乗用車', '古い', 1200, 40, 0, 'goal', '');"
         "INSERT INTO events (run_id, seq, kind, at, runway, race_time) VALUES (7, 0, 'race', 290, "
         "'', 83.5);"
         "PRAGMA user_version=1;");
  TLogbookStore store(path.string());
  ASSERT_EQ(store.Open(), std::nullopt);
  EXPECT_EQ(RawValue(path, "PRAGMA user_version;"), "3");
  TRunRow old;
  bool found = false;
  ASSERT_EQ(store.Find(7, old, found), std::nullopt);
  ASSERT_TRUE(found);
  EXPECT_EQ(old.Handle, "古い");
  EXPECT_EQ(old.Server, "");
  EXPECT_EQ(old.Replay, "");
  ASSERT_EQ(old.Events.size(), 1u);
  EXPECT_EQ(old.Events[0].RaceTime, 83.5);
  TRunRow row = Landing("2026-12-08 10:00:00");
  EXPECT_EQ(store.Insert(row), std::nullopt);
}

TEST_F(LogbookTest, NewerSchemaIsRefusedUnchanged) {
  fs::create_directories(path.parent_path());
  RawSql(path, "CREATE TABLE runs (id INTEGER PRIMARY KEY, future BLOB); PRAGMA user_version=4;");
  const std::string before = ReadAll(path);
  TLogbookStore store(path.string());
  const auto failure = store.Open();
  ASSERT_TRUE(failure.has_value());
  EXPECT_NE(failure->find("新しい版（スキーマ 4）"), std::string::npos) << *failure;
  TRunRow row = Landing("2026-12-08 10:00:00");
  EXPECT_TRUE(store.Insert(row).has_value());
  EXPECT_EQ(ReadAll(path), before);
  EXPECT_FALSE(fs::exists(path.string() + "-wal"));
}

// Each fault keeps the run: in the plain file beside the logbook where that
// can be written, in memory otherwise; one message says which. Where the
// fault goes away, the next run writes both.
TEST_F(LogbookTest, FaultsKeepTheRun) {
  struct Row {
    const char* Name;
    std::function<std::string(const fs::path& dir)> Prepare;  // returns the logbook's path
    const char* Reason;                                       // in the message
    bool PlainFile;                                           // the run lands in the plain file
    std::function<void()> Clear;                              // removes the fault, or null
  };
  sqlite3* holder = nullptr;
  const Row rows[] = {
      {"corrupt",
       [](const fs::path& d) {
         fs::create_directories(d);
         std::ofstream(d / "logbook.sqlite", std::ios::binary) << std::string(8192, 'x');
         return (d / "logbook.sqlite").string();
       },
       "壊れています", true, nullptr},
      {"folder cannot be made",
       [](const fs::path& d) {
         fs::create_directories(d);
         std::ofstream(d / "plain-file") << "a file, not a folder";
         return (d / "plain-file" / "velmora" / "logbook.sqlite").string();
       },
       "フォルダーを作れません", false, nullptr},
      {"locked by another program",
       [&holder](const fs::path& d) {
         const fs::path p = d / "logbook.sqlite";
         TLogbookStore(p.string()).Open();
         sqlite3_open(p.c_str(), &holder);
         sqlite3_exec(holder, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr);
         return p.string();
       },
       "使用中", true,
       [&holder] {
         sqlite3_exec(holder, "COMMIT;", nullptr, nullptr, nullptr);
         sqlite3_close(holder);
       }},
      {"disk full",
       [](const fs::path& d) {
         const fs::path p = d / "logbook.sqlite";
         TLogbookStore(p.string()).Open();
         return p.string();
       },
       "いっぱい", true, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    const fs::path d = dir / row.Name;
    const std::string p = row.Prepare(d);
    const std::string before = fs::exists(p) ? ReadAll(p) : "";
    TLogbookWriter writer(p, 50, 600000);
    TRunRow run = Landing("2026-12-08 10:00:00");
    if (std::string(row.Name) == "disk full") {
      writer.SetMaxPageCount(std::stoi(RawValue(p, "PRAGMA page_count;")));
      run.CrashMessage = std::string(200000, 'z');  // needs pages the file may not have
    }
    writer.Submit(run);
    ASSERT_TRUE(writer.Flush(kFlushWait));
    EXPECT_EQ(writer.Unsaved(), 1u);
    const std::vector<std::string> messages = writer.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(row.Reason), std::string::npos) << messages[0];
    EXPECT_EQ(fs::exists(writer.UnsavedPath()), row.PlainFile);
    if (row.PlainFile) {
      EXPECT_NE(messages[0].find(writer.UnsavedPath()), std::string::npos) << messages[0];
      EXPECT_NE(ReadAll(writer.UnsavedPath()).find("中央空港 RWY36"), std::string::npos);
    } else {
      EXPECT_NE(messages[0].find("メモリに保持"), std::string::npos) << messages[0];
    }
    if (std::string(row.Name) == "corrupt") {
      EXPECT_EQ(ReadAll(p), before) << "left as it was";
    }

    if (row.Clear) {
      row.Clear();
      writer.Submit(TrainStop("2026-12-08 11:00:00"));
      ASSERT_TRUE(writer.Flush(kFlushWait));
      EXPECT_EQ(writer.Unsaved(), 0u);
      EXPECT_EQ(writer.TakeWritten().size(), 2u);
      EXPECT_FALSE(fs::exists(writer.UnsavedPath()));
      const std::vector<std::string> after = writer.TakeMessages();
      ASSERT_EQ(after.size(), 1u);
      EXPECT_NE(after[0].find("書き込みました"), std::string::npos);
    }
  }
}

// Two programs write at once, each its own runs: none is lost.
TEST_F(LogbookTest, TwoProgramsWritingAtOnce) {
  constexpr int kRuns = 40;
  const auto writeRuns = [&](const std::string& handle) {
    TLogbookWriter writer(path.string(), 5000, 600000);
    for (int i = 0; i < kRuns; ++i) {
      TRunRow r = Landing("2026-12-08 10:00:00");
      r.Handle = handle;
      r.Trace = "trace of " + handle;
      writer.Submit(r);
    }
    return writer.Flush(kFlushWait * 3) && writer.Unsaved() == 0;
  };
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(writeRuns("子") ? 0 : 1);
  EXPECT_TRUE(writeRuns("親"));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(RawValue(path, "SELECT count(*) FROM runs WHERE handle = '親';"),
            std::to_string(kRuns));
  EXPECT_EQ(RawValue(path, "SELECT count(*) FROM runs WHERE handle = '子';"),
            std::to_string(kRuns));
  EXPECT_EQ(RawValue(path, "SELECT count(*) FROM events;"), std::to_string(2 * kRuns));
  EXPECT_EQ(RawValue(path, "SELECT count(*) FROM traces;"), std::to_string(2 * kRuns));
}

TEST_F(LogbookTest, ToolListsShowsAndExports) {
  {
    TLogbookStore store(path.string());
    TRunRow landing = Landing("2026-12-08 10:00:00");
    TRunRow stop = TrainStop("2026-12-08 11:00:00");
    ASSERT_EQ(store.Insert(landing), std::nullopt);
    ASSERT_EQ(store.Insert(stop), std::nullopt);
  }
  const fs::path csv = dir / "out.csv";
  struct Row {
    std::vector<std::string> Args;
    int Status;
    std::vector<std::string> Out;  // in this order in the output
    std::string Err;
  };
  const Row rows[] = {
      {{"list"},
       0,
       {"ID\t開始", "2\t2026-12-08 11:00:00", "通勤電車", "\t停車\t", "1\t2026-12-08 10:00:00",
        "着陸訓練：最終進入", "\t着陸\t", "録画あり"},
       ""},
      {{"list", "--vehicle", "旅客機"}, 0, {"1\t2026-12-08 10:00:00"}, ""},
      {{"show", "1"},
       0,
       {"記録 1", "ミッション: 着陸訓練：最終進入", "終わり方: 着陸", "録画: /tmp/replay.vrp",
        "接地 80.0 s  中央空港 RWY36  やや強め  降下率 250 ft/min (1.25 m/s)  荷重 1.27 G",
        "進入端から 420 m  目標点から +120 m  中心線 -2.5 m  バウンド 1"},
       ""},
      {{"show", "2"}, 0, {"停車 117.0 s  誤差 -0.42 m  制限超過 1.8 km/h  ATS 1 回"}, ""},
      {{"export", "--csv", csv.string()}, 0, {"2 件の記録を"}, ""},
      {{"show", "9"}, 1, {}, "記録 9 はありません"},
      {{"show", "x"}, 2, {}, "usage: velmora-logbook"},
      {{}, 2, {}, "usage: velmora-logbook"},
      {{"--file", (dir / "none.sqlite").string(), "list"}, 1, {}, "記録簿がまだありません"},
      {{"--file", (dir / "none.sqlite").string(), "--help"}, 0, {"usage: velmora-logbook"}, ""},
      {{"-h"}, 0, {"usage: velmora-logbook", "export --csv FILE"}, ""},
      {{"--version"}, 0, {"velmora-logbook " + version::ProjectVersion()}, ""},
      {{"export", "--csv", "-"}, 0, {"run,started,ended", ",stop,"}, ""},
  };
  for (const Row& row : rows) {
    std::ostringstream out, err;
    const int status = RunTool(row.Args, path.string(), out, err);
    SCOPED_TRACE(out.str() + err.str());
    EXPECT_EQ(status, row.Status);
    std::size_t at = 0;
    for (const std::string& part : row.Out) {
      at = out.str().find(part, at);
      ASSERT_NE(at, std::string::npos) << part;
    }
    EXPECT_NE(err.str().find(row.Err), std::string::npos);
  }
  const std::string exported = ReadAll(csv);
  EXPECT_EQ(exported.rfind("run,started,ended", 0), 0u);
  std::istringstream lines(exported);
  std::string header, first, second, extra;
  std::getline(lines, header);
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_FALSE(std::getline(lines, extra));
  const auto columns = [](const std::string& line) {
    return std::count(line.begin(), line.end(), ',');
  };
  EXPECT_EQ(columns(first), columns(header));
  EXPECT_NE(first.find(",stop,"), std::string::npos);
  EXPECT_NE(second.find(",touchdown,80.000,"), std::string::npos) << second;
  EXPECT_NE(second.find("中央空港 RWY36,1.250,250,1.270"), std::string::npos) << second;
}

// An export never goes onto the logbook itself, by whatever name; one that
// fails leaves nothing behind, and one that works replaces the file whole.
TEST_F(LogbookTest, ExportNeverWritesOverTheLogbook) {
  {
    TLogbookStore store(path.string());
    TRunRow run = Landing("2026-12-08 10:00:00");
    ASSERT_EQ(store.Insert(run), std::nullopt);
  }
  fs::create_symlink(path, dir / "link.sqlite");
  std::ofstream(dir / "older.csv") << "older";
  const std::string before = ReadAll(path);
  struct Row {
    std::string Out;
    int Status;
    std::string Err;
  };
  const Row rows[] = {
      {path.string(), 2, "そのものです"},
      {(path.parent_path() / "." / "logbook.sqlite").string(), 2, "そのものです"},
      {(dir / "link.sqlite").string(), 2, "そのものです"},
      {(dir / "missing" / "out.csv").string(), 1, "フォルダがありません"},
      {(dir / "older.csv").string(), 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Out);
    std::ostringstream out, err;
    EXPECT_EQ(RunTool({"--file", path.string(), "export", "--csv", row.Out}, "", out, err),
              row.Status);
    EXPECT_NE(err.str().find(row.Err), std::string::npos) << err.str();
    EXPECT_EQ(ReadAll(path), before);
  }
  EXPECT_FALSE(fs::exists(dir / "missing"));
  EXPECT_EQ(ReadAll(dir / "older.csv").rfind("run,started", 0), 0u);
}

// Runs kept back while the logbook is held by another program: each session
// that cannot write adds its runs to the file beside it, and the next one
// that can writes them all, oldest first and exactly, and removes the file.
TEST_F(LogbookTest, RunsKeptBackReachTheLogbookInALaterSession) {
  for (const int failing : {1, 2}) {
    SCOPED_TRACE(::testing::Message() << failing << " sessions kept runs back");
    const fs::path p = dir / std::to_string(failing) / "logbook.sqlite";
    ASSERT_EQ(TLogbookStore(p.string()).Open(), std::nullopt);
    sqlite3* holder = nullptr;
    sqlite3_open(p.c_str(), &holder);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE;", nullptr, nullptr, nullptr), SQLITE_OK);
    std::vector<TRunRow> kept;
    for (int session = 0; session < failing; ++session) {
      TLogbookWriter writer(p.string(), 50, 600000);
      ASSERT_TRUE(writer.Flush(kFlushWait));  // the file of the sessions before, tried
      TRunRow run = Landing("2026-12-0" + std::to_string(session + 1) + " 10:00:00",
                            "=1+" + std::to_string(session));
      run.Events[0].SinkRate = 1.0 / 3 + session;
      writer.Submit(run);
      ASSERT_TRUE(writer.Flush(kFlushWait));
      EXPECT_EQ(writer.Unsaved(), 1u);
      const std::vector<std::string> messages = writer.TakeMessages();
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_NE(messages[0].find(session == 0 ? "この記録（1 件）" : "前に書けなかった記録は"),
                std::string::npos)
          << messages[0];
      kept.push_back(run);
    }
    EXPECT_TRUE(fs::exists(p.string() + ".unsaved.csv"));
    sqlite3_exec(holder, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(holder);

    TLogbookWriter writer(p.string(), 50, 600000);
    ASSERT_TRUE(writer.Flush(kFlushWait));
    const std::vector<std::string> messages = writer.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("（" + std::to_string(failing) + " 件）を書き込みました"),
              std::string::npos)
        << messages[0];
    EXPECT_EQ(writer.TakeWritten().size(), kept.size());
    EXPECT_FALSE(fs::exists(p.string() + ".unsaved.csv"));
    TLogbookStore store(p.string());
    std::vector<TRunRow> runs;
    ASSERT_EQ(store.List({}, runs), std::nullopt);
    ASSERT_EQ(runs.size(), kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i) {
      TRunRow back;
      bool found = false;
      ASSERT_EQ(store.Find(runs[kept.size() - 1 - i].Id, back, found), std::nullopt);
      EXPECT_EQ(back.Mission, kept[i].Mission) << "oldest first, text as it was";
      EXPECT_EQ(back.Replay, kept[i].Replay);
      ASSERT_EQ(back.Events.size(), 1u);
      EXPECT_EQ(back.Events[0].SinkRate, kept[i].Events[0].SinkRate) << "exactly";
      EXPECT_EQ(back.Events[0].Runway, kept[i].Events[0].Runway);
    }
  }
}

// An SQLite file of another program is never taken for a logbook, by the
// program or by the tool, and stays as it was to the byte, journal mode
// and all; a file without tables is a new logbook.
TEST_F(LogbookTest, AnotherProgramsDatabaseIsLeftAsItWas) {
  fs::create_directories(dir);
  const fs::path foreign = dir / "notes.sqlite";
  RawSql(foreign, "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('mine');");
  const std::string before = ReadAll(foreign);
  {
    std::ostringstream out, err;
    EXPECT_EQ(RunTool({"--file", foreign.string(), "list"}, "", out, err), 1);
    EXPECT_NE(err.str().find("Velmora の記録簿ではありません"), std::string::npos) << err.str();
  }
  {
    TLogbookWriter writer(foreign.string(), 50, 600000);
    writer.Submit(Landing("2026-12-08 10:00:00"));
    ASSERT_TRUE(writer.Flush(kFlushWait));
    const std::vector<std::string> messages = writer.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Velmora の記録簿ではありません"), std::string::npos);
    EXPECT_TRUE(fs::exists(writer.UnsavedPath())) << "the run is kept beside it";
  }
  EXPECT_EQ(ReadAll(foreign), before);
  EXPECT_FALSE(fs::exists(foreign.string() + "-wal"));
  EXPECT_EQ(RawValue(foreign, "PRAGMA journal_mode;"), "delete");

  const fs::path empty = dir / "empty.sqlite";
  std::ofstream(empty).close();
  TRunRow run = Landing("2026-12-08 10:00:00");
  EXPECT_EQ(TLogbookStore(empty.string()).Insert(run), std::nullopt);
  EXPECT_EQ(RawValue(empty, "PRAGMA user_version;"), "3");
}

// Reading needs no write access: the tool reads a logbook in a read-only
// folder, and never migrates an older file.
TEST_F(LogbookTest, ToolReadsFromAReadOnlyFolderAndChangesNothing) {
  {
    TLogbookStore store(path.string());
    TRunRow run = Landing("2026-12-08 10:00:00");
    ASSERT_EQ(store.Insert(run), std::nullopt);
  }
  const fs::path old = dir / "old.sqlite";
  RawSql(old,
         "CREATE TABLE runs (id INTEGER PRIMARY KEY, started TEXT NOT NULL);"
         "PRAGMA user_version=1;");
  const std::string oldBefore = ReadAll(old);
  const auto tool = [](const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunTool(args, "", out, err);
    return std::to_string(status) + "\n" + out.str() + err.str() + "\f";
  };
  const std::optional<std::string> outcome = testing::WithOwnMounts(
      [&] { return testing::MountReadOnlyView(dir); },
      [&] {
        return tool({"--file", path.string(), "list"}) +
               tool({"--file", path.string(), "show", "1"}) +
               tool({"--file", path.string(), "export", "--csv", "-"}) +
               tool({"--file", old.string(), "list"});
      });
  if (!outcome) GTEST_SKIP() << "no user namespaces here to mount a read-only folder";
  std::vector<std::string> answers;
  std::istringstream parts(*outcome);
  for (std::string part; std::getline(parts, part, '\f');) answers.push_back(part);
  ASSERT_EQ(answers.size(), 4u) << *outcome;
  EXPECT_EQ(answers[0].rfind("0\n", 0), 0u) << answers[0];
  EXPECT_NE(answers[0].find("着陸訓練：最終進入"), std::string::npos) << answers[0];
  EXPECT_NE(answers[1].find("中央空港 RWY36"), std::string::npos) << answers[1];
  EXPECT_NE(answers[2].find(",touchdown,"), std::string::npos) << answers[2];
  EXPECT_EQ(answers[3].rfind("1\n", 0), 0u) << answers[3];
  EXPECT_NE(answers[3].find("古い版（スキーマ 1）です。velmora を一度起動すると"),
            std::string::npos)
      << answers[3];

  std::ostringstream out, err;
  EXPECT_EQ(RunTool({"--file", old.string(), "list"}, "", out, err), 1) << "writable, not migrated";
  EXPECT_EQ(ReadAll(old), oldBefore);
  EXPECT_FALSE(fs::exists(old.string() + "-wal"));
}

// A full disk is named as one, in Japanese alone, and leaves no empty file
// of runs kept back.
TEST_F(LogbookTest, FullDiskIsNamedAndLeavesNoEmptyFile) {
  const fs::path small = dir / "small";
  const std::string file = (small / "logbook.sqlite").string();
  const std::optional<std::string> outcome = testing::WithOwnMounts(
      [&] {
        if (!testing::MountSmall(small, "64k")) return false;
        testing::Fill(small);
        return true;
      },
      [&] {
        std::string message;
        {
          TLogbookWriter writer(file, 50, 600000);
          writer.Submit(Landing("2026-12-08 10:00:00"));
          writer.Flush(kFlushWait);
          for (const std::string& m : writer.TakeMessages()) message += m;
        }
        return std::string(fs::exists(file + ".unsaved.csv") ? "kept" : "none") + "\n" + message;
      });
  if (!outcome) GTEST_SKIP() << "no user namespaces here to mount a small file system";
  EXPECT_EQ(outcome->rfind("none\n", 0), 0u) << *outcome;
  std::string words = outcome->substr(5);
  for (const std::string& name : {file + ".unsaved.csv", file}) {
    for (std::size_t at; (at = words.find(name)) != std::string::npos;) words.erase(at, name.size());
  }
  EXPECT_NE(words.find("ディスクがいっぱいです"), std::string::npos) << words;
  EXPECT_NE(words.find("メモリに保持"), std::string::npos) << words;
  EXPECT_EQ(words.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
            std::string::npos)
      << "no English inside: " << words;
}

// Texts a spreadsheet would run as formulas are written as texts; numbers
// are not touched; `list` keeps each run on one line.
TEST_F(LogbookTest, ExportsHoldNoFormulasAndListsOneLinePerRun) {
  TRunRow run = TrainStop("2026-12-08 11:00:00");
  run.Mission = "=HYPERLINK(\"http://x\")";
  run.Vehicle = "+通勤電車";
  run.Handle = "@試験";
  run.CrashMessage = "-1";
  run.Server = "\tx";
  run.Replay = "'=x";
  run.Ended = "線1\t線2\n線3";
  TRunRow plain = TrainStop("2026-12-08 12:00:00");
  plain.Mission = "行\t区切り\n改行\\";
  {
    TLogbookStore store(path.string());
    ASSERT_EQ(store.Insert(run), std::nullopt);
    ASSERT_EQ(store.Insert(plain), std::nullopt);
  }
  std::ostringstream out, err;
  ASSERT_EQ(RunTool({"export", "--csv", "-"}, path.string(), out, err), 0) << err.str();
  const std::string csv = out.str();
  for (const char* cell : {",\"'=HYPERLINK(\"\"http://x\"\")\",", ",'+通勤電車,", ",'@試験,",
                           ",'\tx,", ",'-1,", ",''=x,", ",-0.420,"}) {
    EXPECT_NE(csv.find(cell), std::string::npos) << cell << " in " << csv;
  }

  std::ostringstream listing;
  ASSERT_EQ(RunTool({"list"}, path.string(), listing, err), 0);
  const std::string listed = listing.str();
  EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 3) << "a heading and two runs";
  EXPECT_NE(listed.find("\t行\\t区切り\\n改行\\\\\t"), std::string::npos) << listed;
}

// The end of a run as a shell meets it after a tick: the row takes the
// session's server and handle and starts its duration before the end, and
// the run's replay is saved beside the others only when asked.
TEST_F(LogbookTest, KeeperWritesEachFinishedRunWithItsReplayWhenAsked) {
  state::TMainState s;
  testing::FillTestForms(s);
  s.Forms[testing::kCar].Name = "乗用車";
  testing::PlaceOwn(s, 2, testing::kCar);
  s.Figures.Handle = "試験";
  const fs::path replays = dir / "replays";
  TRunKeeper keeper(s, path.string(), "localhost:64000", replays.string());
  std::tm end{};
  end.tm_year = 2026 - 1900, end.tm_mon = 11, end.tm_mday = 8, end.tm_hour = 9, end.tm_isdst = -1;
  const auto ended = std::chrono::system_clock::from_time_t(std::mktime(&end));
  for (const bool autoSave : {true, false}) {
    SCOPED_TRACE(autoSave);
    app::RecordReplay(s, s.NextFrameTime);
    s.Figures.Finished = state::TRunRecord{};
    s.Figures.Finished.Kind = 2;
    s.Figures.Finished.FormNo = testing::kCar;
    s.Figures.Finished.EndClock = 95000;
    s.Figures.Finished.End = state::TRunEnd::Goal;
    ++s.Figures.FinishedSerial;
    EXPECT_TRUE(keeper.AfterTick(autoSave, ended).empty()) << "written off the tick's thread";
    ASSERT_TRUE(keeper.Writer().Flush(kFlushWait));
    const std::vector<TRunRow> runs = keeper.AfterTick(autoSave, ended);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Started, "2026-12-08 08:58:25");
    EXPECT_EQ(runs[0].Ended, "2026-12-08 09:00:00");
    EXPECT_EQ(runs[0].Duration, 95);
    EXPECT_EQ(runs[0].Vehicle, "乗用車");
    EXPECT_EQ(runs[0].Ending, "goal");
    EXPECT_EQ(runs[0].Handle, "試験");
    EXPECT_EQ(runs[0].Server, "localhost:64000");
    const fs::path replay = replays / "velmora-20261208-090000.vmreplay";
    EXPECT_EQ(runs[0].Replay, autoSave ? replay.string() : "");
    EXPECT_EQ(std::distance(fs::directory_iterator(replays), fs::directory_iterator()), 1);
  }
}

// A logbook the schema-2 program wrote: the tool leaves it for the program,
// which migrates it keeping every run, and then keeps traces beside them.
TEST_F(LogbookTest, MigratesARealVersionTwoFile) {
  fs::create_directories(path.parent_path());
  fs::copy_file(VELMORA_LOGBOOK_V2, path);
  std::ostringstream out, err;
  EXPECT_EQ(RunTool({"--file", path.string(), "list"}, "", out, err), 1);
  EXPECT_NE(err.str().find("古い版（スキーマ 2）"), std::string::npos) << err.str();

  TLogbookStore store(path.string());
  ASSERT_EQ(store.Open(), std::nullopt);
  EXPECT_EQ(RawValue(path, "PRAGMA user_version;"), "3");
  std::vector<TRunRow> runs;
  ASSERT_EQ(store.List({}, runs), std::nullopt);
  ASSERT_EQ(runs.size(), 3u);
  TRunRow landing;
  bool found = false;
  ASSERT_EQ(store.Find(1, landing, found), std::nullopt);
  ASSERT_TRUE(found);
  EXPECT_EQ(landing.Handle, "版2");
  ASSERT_EQ(landing.Events.size(), 1u);
  EXPECT_EQ(landing.Events[0].SinkRate, 0.9);
  std::vector<TBest> bests;
  ASSERT_EQ(store.Bests(bests), std::nullopt);
  ASSERT_EQ(bests.size(), 3u) << "the landing, the stop and the race of the older runs";
  EXPECT_EQ(BestText(bests[0]), "着陸 180 ft/min（目標点 +80 m、中心線 右 1.5 m）");
  EXPECT_EQ(BestText(bests[1]), "レース 1:41.2");
  EXPECT_EQ(BestText(bests[2]), "停止 停止位置から -0.80 m");
  std::string trace = "x";
  ASSERT_EQ(store.FindTrace(1, trace), std::nullopt);
  EXPECT_EQ(trace, "") << "a run from before traces has none";

  TRunRow fresh = Landing("2026-12-08 10:00:00");
  fresh.Trace = std::string("\0binary\xff", 8);
  ASSERT_EQ(store.Insert(fresh), std::nullopt);
  ASSERT_EQ(store.FindTrace(fresh.Id, trace), std::nullopt);
  EXPECT_EQ(trace, fresh.Trace);
}

// The best of each kind, at each bound of its rule on both sides.
TEST(PersonalBestsTest, WhichEventsMayBeABest) {
  const auto touchdown = [](double aim, double centre, int bounces, const char* grade,
                            const char* runway) {
    TEventRow e;
    e.Kind = "touchdown";
    e.FromAimPoint = aim;
    e.CentreLine = centre;
    e.Bounces = bounces;
    e.Grade = grade;
    e.Runway = runway;
    return e;
  };
  TEventRow stop, braked, race, noTime, missed;
  stop.Kind = braked.Kind = "stop";
  braked.ProtectionBrakes = 1;
  race.Kind = noTime.Kind = "race";
  race.RaceTime = 0.01;
  missed.Kind = "missed_stop";
  const std::optional<TBestKind> landing = TBestKind::Landing, none;
  const struct {
    TEventRow Event;
    std::optional<TBestKind> Kind;
  } rows[] = {
      {touchdown(150, 0, 0, "smooth", "RWY36"), landing},
      {touchdown(150.01, 0, 0, "smooth", "RWY36"), none},
      {touchdown(-150, 0, 0, "hard", "RWY36"), landing},
      {touchdown(-150.01, 0, 0, "smooth", "RWY36"), none},
      {touchdown(0, 5, 0, "firm", "RWY36"), landing},
      {touchdown(0, 5.01, 0, "smooth", "RWY36"), none},
      {touchdown(0, -5, 0, "smooth", "RWY36"), landing},
      {touchdown(0, -5.01, 0, "smooth", "RWY36"), none},
      {touchdown(0, 0, 1, "smooth", "RWY36"), none},  // a bounce
      {touchdown(0, 0, 0, "crash", "RWY36"), none},
      {touchdown(0, 0, 0, "smooth", ""), none},  // off every runway
      {stop, TBestKind::Stop},
      {braked, none},
      {missed, none},
      {race, TBestKind::Race},
      {noTime, none},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Event.Kind + " " + std::to_string(row.Event.FromAimPoint) + " " +
                 std::to_string(row.Event.CentreLine));
    EXPECT_EQ(BestKindOf(row.Event), row.Kind);
  }
  // The lower sink rate, the smaller error either side of the mark, the
  // shorter time; an equal result keeps the earlier best.
  TEventRow a, b;
  a.SinkRate = 0.5, b.SinkRate = 0.6;
  a.StopError = -0.2, b.StopError = 0.3;
  a.RaceTime = 80, b.RaceTime = 81;
  for (const TBestKind kind : {TBestKind::Landing, TBestKind::Stop, TBestKind::Race}) {
    EXPECT_TRUE(Beats(a, b, kind));
    EXPECT_FALSE(Beats(b, a, kind));
    EXPECT_FALSE(Beats(a, a, kind));
  }
}

// Each run written that beats its mission's best says so once; the logbook
// lists the bests, and the tool writes a run's trace and draws its charts.
TEST_F(LogbookTest, BestsAreAnnouncedListedAndChartsDrawnFromTheTrace) {
  const app::TRunTrace trace = testing::ShortTrainTrace();
  const struct {
    double StopError;
    bool Beats;
  } stops[] = {{-0.42, false}, {0.9, false}, {0.1, true}, {-0.1, false}};
  {
    TLogbookWriter writer(path.string());
    for (const auto& stop : stops) {
      TRunRow r = TrainStop("2026-12-08 11:00:00");
      r.Events[0].ProtectionBrakes = 0;
      r.Events[0].StopError = stop.StopError;
      r.Trace = app::EncodeTrace(trace);
      writer.Submit(r);
      ASSERT_TRUE(writer.Flush(kFlushWait));
      const std::vector<std::string> lines = writer.TakeBests();
      ASSERT_EQ(lines.size(), stop.Beats ? 1u : 0u) << stop.StopError;
      if (stop.Beats) {
        EXPECT_EQ(lines[0].rfind("自己ベスト 停止 停止位置から +0.10 m  これまで 停止位置から -0.42 m", 0),
                  0u)
            << lines[0];
      }
    }
    TRunRow old = TrainStop("2026-12-08 12:00:00");  // no trace
    writer.Submit(old);
    ASSERT_TRUE(writer.Flush(kFlushWait));
  }
  const fs::path csv = dir / "trace.csv", png = dir / "run.png";
  const TPlotter plotter = [](const std::vector<app::TChart>& charts, int width, int height) {
    return charts.size() == 1 ? "PNG " + std::to_string(width) + "x" + std::to_string(height) +
                                    " " + std::to_string(charts[0].Series.size())
                              : std::string();
  };
  struct Row {
    std::vector<std::string> Args;
    int Status;
    std::string Out, Err;
  };
  const Row rows[] = {
      {{"best"}, 0, "通勤電車：1号線 A駅から北へ、B駅に停車\t停止 停止位置から +0.10 m\t3\t", ""},
      {{"best", "--mission", "着陸"}, 0, "ミッション\t自己ベスト\tID\t開始\t車両\n", ""},
      {{"export", "--trace", "1", "--csv", csv.string()}, 0, "軌跡（40 点、出来事 0 件）", ""},
      {{"export", "--trace", "5", "--csv", csv.string()}, 1, "", "記録 5 には軌跡がありません"},
      {{"export", "--trace", "9", "--csv", csv.string()}, 1, "", "記録 9 はありません"},
      {{"export", "--trace", "1", "--csv", path.string()}, 2, "", "そのものです"},
      // The best run itself: its speed, the limit and the caution speed; any
      // other with the best's speed overlaid, or the run compared.
      {{"plot", "1", "--png", png.string()}, 0, "記録 1 の図（1 枚）", ""},
      {{"plot", "3", "--png", "-", "--size", "640x480"}, 0, "PNG 640x480 3", ""},
      {{"plot", "3", "--png", "-", "--compare", "2"}, 0, "PNG 1200x900 4", ""},
      {{"plot", "3", "--png", "-", "--size", "199x480"}, 2, "", "usage"},
      {{"plot", "1", "--png", path.string()}, 2, "", "そのものです"},
      {{"plot", "5", "--png", png.string()}, 1, "", "軌跡がありません"},
      {{"plot", "1"}, 2, "", "usage"},
  };
  for (const Row& row : rows) {
    std::ostringstream out, err;
    const int status = RunTool(row.Args, path.string(), out, err, plotter);
    SCOPED_TRACE(row.Args[0] + " " + (row.Args.size() > 1 ? row.Args[1] : "") + ": " + out.str() +
                 err.str());
    EXPECT_EQ(status, row.Status);
    EXPECT_NE(out.str().find(row.Out), std::string::npos);
    EXPECT_NE(err.str().find(row.Err), std::string::npos);
  }
  const std::string samples = ReadAll(csv);
  EXPECT_EQ(samples.rfind("time_s,event,x_m,y_m,height_m,", 0), 0u);
  EXPECT_NE(samples.find("\r\n9.750,,0.00,78.00,0.00,0.00,8.00,"), std::string::npos);
  EXPECT_EQ(ReadAll(png), "PNG 1200x900 4") << "run 1 with the best run's speed overlaid";
}

}  // namespace
}  // namespace velmora::logbook
