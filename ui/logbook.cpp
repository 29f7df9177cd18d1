#include "ui/logbook.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/run_figures.h"
#include "vehicle/units.h"

namespace velmora::ui::logbook {

namespace {

constexpr int kJournalRetryMs = 10;  // ms between tries of switching to WAL

// Version 1: runs without the server, the world number and the replay link.
constexpr const char* kRunsV1 =
    "CREATE TABLE runs ("
    " id INTEGER PRIMARY KEY,"
    " started TEXT NOT NULL, ended TEXT NOT NULL, duration REAL NOT NULL,"
    " mission TEXT NOT NULL, vehicle_kind INTEGER NOT NULL, vehicle_type INTEGER NOT NULL,"
    " vehicle TEXT NOT NULL, handle TEXT NOT NULL,"
    " distance REAL NOT NULL, top_speed REAL NOT NULL, top_height REAL NOT NULL,"
    " ending TEXT NOT NULL, crash_message TEXT NOT NULL);";
constexpr const char* kEventsV1 =
    "CREATE TABLE events ("
    " id INTEGER PRIMARY KEY,"
    " run_id INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE,"
    " seq INTEGER NOT NULL, kind TEXT NOT NULL, at REAL NOT NULL, runway TEXT NOT NULL,"
    " sink_rate REAL, vertical_load REAL, airspeed REAL, ground_speed REAL, pitch REAL,"
    " bank REAL, past_threshold REAL, from_aim_point REAL, centre_line REAL, bounces INTEGER,"
    " grade TEXT, stop_error REAL, over_limit REAL, protection_brakes INTEGER,"
    " since_departure REAL, race_time REAL);"
    "CREATE INDEX events_run ON events(run_id, seq);";
// Version 1 to 2.
constexpr const char* kMigrateToV2 =
    "ALTER TABLE runs ADD COLUMN server TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE runs ADD COLUMN world INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE runs ADD COLUMN replay TEXT NOT NULL DEFAULT '';";

constexpr const char* kRunColumns =
    "id, started, ended, duration, mission, vehicle_kind, vehicle_type, vehicle, handle, server,"
    " world, distance, top_speed, top_height, ending, crash_message, replay";

// A prepared statement that finalises itself.
class TStatement {
 public:
  TStatement(sqlite3* db, const char* sql) {
    rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~TStatement() { sqlite3_finalize(stmt_); }
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;
  bool Ok() const { return rc_ == SQLITE_OK; }
  sqlite3_stmt* operator*() const { return stmt_; }
  void Text(int i, const std::string& v) {
    sqlite3_bind_text(stmt_, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  void Real(int i, double v) { sqlite3_bind_double(stmt_, i, v); }
  void Int(int i, int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
  std::string ColumnText(int i) const {
    const unsigned char* t = sqlite3_column_text(stmt_, i);
    return t != nullptr ? reinterpret_cast<const char*>(t) : "";
  }
  double ColumnReal(int i) const { return sqlite3_column_double(stmt_, i); }
  int32_t ColumnInt(int i) const { return sqlite3_column_int(stmt_, i); }
  int64_t ColumnInt64(int i) const { return sqlite3_column_int64(stmt_, i); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_ERROR;
};

void ReadRun(const TStatement& q, TRunRow& r) {
  r.Id = q.ColumnInt64(0);
  r.Started = q.ColumnText(1);
  r.Ended = q.ColumnText(2);
  r.Duration = q.ColumnReal(3);
  r.Mission = q.ColumnText(4);
  r.VehicleKind = q.ColumnInt(5);
  r.VehicleType = q.ColumnInt(6);
  r.Vehicle = q.ColumnText(7);
  r.Handle = q.ColumnText(8);
  r.Server = q.ColumnText(9);
  r.WorldNo = q.ColumnInt(10);
  r.Distance = q.ColumnReal(11);
  r.TopSpeed = q.ColumnReal(12);
  r.TopHeight = q.ColumnReal(13);
  r.Ending = q.ColumnText(14);
  r.CrashMessage = q.ColumnText(15);
  r.Replay = q.ColumnText(16);
}

std::string CsvField(const std::string& v) {
  if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
  std::string quoted = "\"";
  for (char c : v) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Number(double v, const char* format = "%.3f") {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string GradeKey(state::TLandingGrade grade) {
  switch (grade) {
    case state::TLandingGrade::Smooth:
      return "smooth";
    case state::TLandingGrade::Firm:
      return "firm";
    case state::TLandingGrade::Hard:
      return "hard";
    case state::TLandingGrade::Crash:
      return "crash";
  }
  return "";
}

}  // namespace

TRunRow RowOf(const state::TMainState& s, const state::TRunRecord& run,
              const TRunContext& context) {
  TRunRow r;
  r.Started = context.Started;
  r.Ended = context.Ended;
  r.Duration = run.Duration();
  if (run.MissionRow >= 0 && run.MissionRow < s.MissionRowCount &&
      run.MissionRow < state::kMissionRows) {
    r.Mission = s.MissionCells[static_cast<std::size_t>(run.MissionRow)];
    r.Mission.erase(0, r.Mission.find_first_not_of(' '));
  }
  if (r.Mission.empty()) r.Mission = run.Practice ? "着陸訓練" : "（ミッションなし）";
  r.VehicleKind = run.Kind;
  r.VehicleType = run.FormNo;
  if (const vehicle::TFormParam* form = s.Forms.Find(run.FormNo)) r.Vehicle = form->Name;
  r.Handle = context.Handle;
  r.Server = context.Server;
  r.WorldNo = s.WorldNo;
  r.Distance = run.Distance;
  r.TopSpeed = run.TopSpeed;
  r.TopHeight = run.TopHeight;
  r.Ending = app::EndKey(run.End);
  r.CrashMessage = run.CrashMessage.data();
  r.Replay = context.Replay;
  for (int i = 0; i < run.EventCount && i < state::kMaxRunEvents; ++i) {
    const state::TRunEvent& e = run.Events[static_cast<std::size_t>(i)];
    TEventRow row;
    row.Seq = i;
    row.Kind = app::EventKindKey(e.Kind);
    row.At = e.At;
    if (e.Kind == state::TRunEventKind::Touchdown) {
      const state::TTouchdownFigures& t = e.Touchdown;
      if (s.World != nullptr && t.Runway >= 0 && t.Runway < world::kMaxDestinations &&
          s.World->Destinations[static_cast<std::size_t>(t.Runway)] != nullptr) {
        row.Runway = s.World->Destinations[static_cast<std::size_t>(t.Runway)]->Name;
      }
      row.SinkRate = t.SinkRate;
      row.VerticalLoad = t.VerticalLoad;
      row.Airspeed = t.Airspeed;
      row.GroundSpeed = t.GroundSpeed;
      row.Pitch = t.Pitch;
      row.Bank = t.Bank;
      row.PastThreshold = t.PastThreshold;
      row.FromAimPoint = t.FromAimPoint;
      row.CentreLine = t.CentreLine;
      row.Bounces = t.Bounces;
      row.Grade = GradeKey(t.Grade);
    } else if (e.Kind == state::TRunEventKind::TrainStop) {
      row.StopError = e.Stop.Error;
      row.OverLimit = e.Stop.OverLimit;
      row.ProtectionBrakes = e.Stop.ProtectionBrakes;
      row.SinceDeparture = e.Stop.SinceDeparture;
    } else {
      row.RaceTime = e.RaceTime;
    }
    r.Events.push_back(std::move(row));
  }
  return r;
}

std::string DefaultPath(const char* xdgDataHome, const char* home) {
  std::filesystem::path base;
  if (xdgDataHome != nullptr && xdgDataHome[0] == '/') {
    base = xdgDataHome;
  } else if (home != nullptr && home[0] != '\0') {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return {};
  }
  return (base / "velmora" / "logbook.sqlite").string();
}

void WriteCsv(std::ostream& out, const std::vector<TRunRow>& runs) {
  out << "run,started,ended,duration_s,mission,vehicle_kind,vehicle_type,vehicle,handle,server,"
         "world,distance_m,top_speed_ms,top_height_m,ending,crash_message,replay,"
         "event,kind,at_s,runway,sink_rate_ms,sink_rate_fpm,vertical_load_g,airspeed_kt,"
         "ground_speed_kt,pitch_deg,bank_deg,past_threshold_m,from_aim_point_m,centre_line_m,"
         "bounces,grade,stop_error_m,over_limit_kmh,protection_brakes,since_departure_s,"
         "race_time_s\r\n";
  for (const TRunRow& r : runs) {
    std::string run = std::to_string(r.Id) + "," + CsvField(r.Started) + "," + CsvField(r.Ended) +
                      "," + Number(r.Duration) + "," + CsvField(r.Mission) + "," +
                      std::to_string(r.VehicleKind) + "," + std::to_string(r.VehicleType) + "," +
                      CsvField(r.Vehicle) + "," + CsvField(r.Handle) + "," + CsvField(r.Server) +
                      "," + std::to_string(r.WorldNo) + "," + Number(r.Distance) + "," +
                      Number(r.TopSpeed) + "," + Number(r.TopHeight) + "," + CsvField(r.Ending) +
                      "," + CsvField(r.CrashMessage) + "," + CsvField(r.Replay);
    if (r.Events.empty()) {
      out << run << std::string(21, ',') << "\r\n";
      continue;
    }
    for (const TEventRow& e : r.Events) {
      const bool touchdown = e.Kind == "touchdown", stop = e.Kind == "stop";
      const auto opt = [](bool present, const std::string& v) { return present ? v : ""; };
      out << run << "," << e.Seq << "," << CsvField(e.Kind) << "," << Number(e.At) << ","
          << CsvField(e.Runway) << "," << opt(touchdown, Number(e.SinkRate)) << ","
          << opt(touchdown, Number(e.SinkRate * units::kFeetPerMinutePerMetrePerSecond, "%.0f"))
          << "," << opt(touchdown, Number(e.VerticalLoad)) << ","
          << opt(touchdown, Number(e.Airspeed * units::kKnotsPerMetrePerSecond, "%.1f")) << ","
          << opt(touchdown, Number(e.GroundSpeed * units::kKnotsPerMetrePerSecond, "%.1f")) << ","
          << opt(touchdown, Number(e.Pitch, "%.2f")) << ","
          << opt(touchdown, Number(e.Bank, "%.2f")) << ","
          << opt(touchdown, Number(e.PastThreshold, "%.1f")) << ","
          << opt(touchdown, Number(e.FromAimPoint, "%.1f")) << ","
          << opt(touchdown, Number(e.CentreLine, "%.2f")) << ","
          << opt(touchdown, std::to_string(e.Bounces)) << "," << CsvField(e.Grade) << ","
          << opt(stop, Number(e.StopError)) << ","
          << opt(stop, Number(e.OverLimit * units::kKmhPerMetrePerSecond, "%.1f")) << ","
          << opt(stop, std::to_string(e.ProtectionBrakes)) << ","
          << opt(stop, Number(e.SinceDeparture, "%.1f")) << ","
          << opt(e.Kind == "race", Number(e.RaceTime)) << "\r\n";
    }
  }
}

TLogbookStore::TLogbookStore(std::string path, int busyTimeoutMs)
    : path_(std::move(path)), busyTimeoutMs_(busyTimeoutMs) {}

TLogbookStore::~TLogbookStore() {
  Close();
}

void TLogbookStore::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
}

void TLogbookStore::SetMaxPageCount(int pages) {
  maxPageCount_ = pages;
}

std::optional<std::string> TLogbookStore::Fail(const std::string& what) {
  const int code = db_ != nullptr ? sqlite3_errcode(db_) : SQLITE_CANTOPEN;
  std::string reason;
  switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      reason = "ほかのプログラムが使用中です";
      break;
    case SQLITE_FULL:
      reason = "ディスクがいっぱいです";
      break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      reason = "ファイルが壊れています";
      break;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
      reason = "書き込めません";
      break;
    default:
      reason = db_ != nullptr ? sqlite3_errmsg(db_) : "開けません";
      break;
  }
  if (db_ != nullptr && code != SQLITE_BUSY && code != SQLITE_LOCKED && code != SQLITE_FULL) {
    Close();  // opened anew at the next try
  } else if (db_ != nullptr) {
    sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
  }
  return "記録簿 " + path_ + ": " + what + "（" + reason + "）";
}

std::optional<std::string> TLogbookStore::Exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return Fail("書き込めません");
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Open() {
  if (db_ != nullptr) return std::nullopt;
  if (path_.empty())
    return std::string("記録簿の場所がわかりません（XDG_DATA_HOME も HOME も設定されていません）");
  std::error_code error;
  const std::filesystem::path file(path_);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), error);
  if (error) return "記録簿 " + path_ + ": フォルダーを作れません（" + error.message() + "）";
  if (sqlite3_open_v2(path_.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    auto failure = Fail("開けません");
    Close();
    return failure;
  }
  sqlite3_busy_timeout(db_, busyTimeoutMs_);

  // The version first: a file of a newer program is left exactly as it is.
  int version = 0;
  {
    TStatement q(db_, "PRAGMA user_version;");
    if (!q.Ok() || sqlite3_step(*q) != SQLITE_ROW) return Fail("読めません");
    version = q.ColumnInt(0);
  }
  if (version > kSchemaVersion) {
    Close();
    return "記録簿 " + path_ + " は新しい版（スキーマ " + std::to_string(version) +
           "）のものなので使いません。ファイルは変更していません。";
  }
  // Switching a fresh file to WAL takes a lock that SQLite does not wait for
  // through the busy handler: another program opening the same file at the
  // same moment makes it report busy, so it is tried again for as long.
  for (int waited = 0;; waited += kJournalRetryMs) {
    TStatement q(db_, "PRAGMA journal_mode=WAL;");
    if (!q.Ok()) return Fail("開けません");
    const int rc = sqlite3_step(*q);
    if (rc == SQLITE_ROW) break;
    if (rc != SQLITE_BUSY || waited >= busyTimeoutMs_) return Fail("開けません");
    std::this_thread::sleep_for(std::chrono::milliseconds(kJournalRetryMs));
  }
  if (auto failure = Exec("PRAGMA foreign_keys=ON;")) return failure;
  if (maxPageCount_ > 0) {
    const std::string pragma = "PRAGMA max_page_count=" + std::to_string(maxPageCount_) + ";";
    if (auto failure = Exec(pragma.c_str())) return failure;
  }
  if (version < kSchemaVersion) {
    if (auto failure = Exec("BEGIN IMMEDIATE;")) return failure;
    // Read again inside the lock: another program may have migrated meanwhile.
    TStatement q(db_, "PRAGMA user_version;");
    version = (q.Ok() && sqlite3_step(*q) == SQLITE_ROW) ? q.ColumnInt(0) : 0;
    std::string script;
    if (version == 0) script = std::string(kRunsV1) + kEventsV1;
    if (version <= 1) script += kMigrateToV2;
    script += "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";COMMIT;";
    if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      return Fail("形式を更新できません");
    }
  }
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Insert(TRunRow& r) {
  if (auto failure = Open()) return failure;
  if (auto failure = Exec("BEGIN IMMEDIATE;")) return failure;
  {
    TStatement q(db_,
                 "INSERT INTO runs (started, ended, duration, mission, vehicle_kind, vehicle_type,"
                 " vehicle, handle, server, world, distance, top_speed, top_height, ending,"
                 " crash_message, replay) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?);");
    if (!q.Ok()) return Fail("書き込めません");
    q.Text(1, r.Started);
    q.Text(2, r.Ended);
    q.Real(3, r.Duration);
    q.Text(4, r.Mission);
    q.Int(5, r.VehicleKind);
    q.Int(6, r.VehicleType);
    q.Text(7, r.Vehicle);
    q.Text(8, r.Handle);
    q.Text(9, r.Server);
    q.Int(10, r.WorldNo);
    q.Real(11, r.Distance);
    q.Real(12, r.TopSpeed);
    q.Real(13, r.TopHeight);
    q.Text(14, r.Ending);
    q.Text(15, r.CrashMessage);
    q.Text(16, r.Replay);
    if (sqlite3_step(*q) != SQLITE_DONE) return Fail("書き込めません");
  }
  const int64_t runId = sqlite3_last_insert_rowid(db_);
  for (TEventRow& e : r.Events) {
    TStatement q(
        db_,
        "INSERT INTO events (run_id, seq, kind, at, runway, sink_rate, vertical_load,"
        " airspeed, ground_speed, pitch, bank, past_threshold, from_aim_point,"
        " centre_line, bounces, grade, stop_error, over_limit, protection_brakes,"
        " since_departure, race_time) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?);");
    if (!q.Ok()) return Fail("書き込めません");
    q.Int(1, runId);
    q.Int(2, e.Seq);
    q.Text(3, e.Kind);
    q.Real(4, e.At);
    q.Text(5, e.Runway);
    q.Real(6, e.SinkRate);
    q.Real(7, e.VerticalLoad);
    q.Real(8, e.Airspeed);
    q.Real(9, e.GroundSpeed);
    q.Real(10, e.Pitch);
    q.Real(11, e.Bank);
    q.Real(12, e.PastThreshold);
    q.Real(13, e.FromAimPoint);
    q.Real(14, e.CentreLine);
    q.Int(15, e.Bounces);
    q.Text(16, e.Grade);
    q.Real(17, e.StopError);
    q.Real(18, e.OverLimit);
    q.Int(19, e.ProtectionBrakes);
    q.Real(20, e.SinceDeparture);
    q.Real(21, e.RaceTime);
    if (sqlite3_step(*q) != SQLITE_DONE) return Fail("書き込めません");
    e.Id = sqlite3_last_insert_rowid(db_);
  }
  if (auto failure = Exec("COMMIT;")) return failure;
  r.Id = runId;
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::List(const TFilter& filter, std::vector<TRunRow>& out) {
  out.clear();
  if (auto failure = Open()) return failure;
  const std::string sql = std::string("SELECT ") + kRunColumns +
                          " FROM runs WHERE instr(mission, ?1) > 0 AND instr(vehicle, ?2) > 0"
                          " ORDER BY started DESC, id DESC;";
  TStatement q(db_, sql.c_str());
  if (!q.Ok()) return Fail("読めません");
  q.Text(1, filter.Mission);
  q.Text(2, filter.Vehicle);
  int rc;
  while ((rc = sqlite3_step(*q)) == SQLITE_ROW) {
    TRunRow r;
    ReadRun(q, r);
    out.push_back(std::move(r));
  }
  if (rc != SQLITE_DONE) return Fail("読めません");
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Find(int64_t id, TRunRow& out, bool& found) {
  found = false;
  if (auto failure = Open()) return failure;
  {
    const std::string sql = std::string("SELECT ") + kRunColumns + " FROM runs WHERE id = ?1;";
    TStatement q(db_, sql.c_str());
    if (!q.Ok()) return Fail("読めません");
    q.Int(1, id);
    const int rc = sqlite3_step(*q);
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) return Fail("読めません");
    ReadRun(q, out);
  }
  TStatement q(db_,
               "SELECT id, seq, kind, at, runway, sink_rate, vertical_load, airspeed, ground_speed,"
               " pitch, bank, past_threshold, from_aim_point, centre_line, bounces, grade,"
               " stop_error, over_limit, protection_brakes, since_departure, race_time"
               " FROM events WHERE run_id = ?1 ORDER BY seq;");
  if (!q.Ok()) return Fail("読めません");
  q.Int(1, id);
  out.Events.clear();
  int rc;
  while ((rc = sqlite3_step(*q)) == SQLITE_ROW) {
    TEventRow e;
    e.Id = q.ColumnInt64(0);
    e.Seq = q.ColumnInt(1);
    e.Kind = q.ColumnText(2);
    e.At = q.ColumnReal(3);
    e.Runway = q.ColumnText(4);
    e.SinkRate = q.ColumnReal(5);
    e.VerticalLoad = q.ColumnReal(6);
    e.Airspeed = q.ColumnReal(7);
    e.GroundSpeed = q.ColumnReal(8);
    e.Pitch = q.ColumnReal(9);
    e.Bank = q.ColumnReal(10);
    e.PastThreshold = q.ColumnReal(11);
    e.FromAimPoint = q.ColumnReal(12);
    e.CentreLine = q.ColumnReal(13);
    e.Bounces = q.ColumnInt(14);
    e.Grade = q.ColumnText(15);
    e.StopError = q.ColumnReal(16);
    e.OverLimit = q.ColumnReal(17);
    e.ProtectionBrakes = q.ColumnInt(18);
    e.SinceDeparture = q.ColumnReal(19);
    e.RaceTime = q.ColumnReal(20);
    out.Events.push_back(std::move(e));
  }
  if (rc != SQLITE_DONE) return Fail("読めません");
  found = true;
  return std::nullopt;
}

TLogbookWriter::TLogbookWriter(std::string path, int busyTimeoutMs, int retryMs)
    : path_(std::move(path)), busyTimeoutMs_(busyTimeoutMs), retryMs_(retryMs) {
  thread_ = std::thread([this] { Loop(); });
}

TLogbookWriter::~TLogbookWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void TLogbookWriter::SetMaxPageCount(int pages) {
  std::lock_guard<std::mutex> lock(mutex_);
  maxPageCount_ = pages;
}

void TLogbookWriter::Submit(TRunRow run) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(run));
  }
  wake_.notify_all();
}

bool TLogbookWriter::Flush(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [this] { return queue_.empty() && !busy_; });
}

std::vector<std::string> TLogbookWriter::TakeMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> taken;
  taken.swap(messages_);
  return taken;
}

std::size_t TLogbookWriter::Unsaved() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return unsaved_.size();
}

std::vector<TRunRow> TLogbookWriter::TakeWritten() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<TRunRow> taken;
  taken.swap(written_);
  return taken;
}

// The runs kept back, as CSV beside the logbook, and at the first failure one
// message: why, and where the runs are now. Called with the lock held.
void TLogbookWriter::WriteUnsaved(const std::string& reason) {
  std::ofstream out(UnsavedPath(), std::ios::binary | std::ios::trunc);
  if (out) WriteCsv(out, unsaved_);
  out.close();
  const bool saved = static_cast<bool>(out) && std::filesystem::exists(UnsavedPath());
  if (failing_) return;
  failing_ = true;
  const std::string count = std::to_string(unsaved_.size());
  messages_.push_back(reason + "。" +
                      (saved ? "この記録（" + count + " 件）は " + UnsavedPath() +
                                   " に保存し、次の機会に記録簿へ書き込みます。"
                             : "この記録（" + count +
                                   " 件）はメモリに保持し、次の機会に記録簿へ書き込みます（" +
                                   UnsavedPath() + " にも保存できません）。"));
}

void TLogbookWriter::Loop() {
  TLogbookStore store(path_, busyTimeoutMs_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const bool woken = wake_.wait_for(lock, std::chrono::milliseconds(retryMs_),
                                      [this] { return stop_ || !queue_.empty(); });
    if (!woken && unsaved_.empty()) continue;
    while (!queue_.empty()) {
      unsaved_.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
    if (unsaved_.empty()) {
      if (stop_) return;
      continue;
    }
    busy_ = true;
    std::vector<TRunRow> batch;
    batch.swap(unsaved_);
    const bool wasFailing = failing_;
    store.SetMaxPageCount(maxPageCount_);
    lock.unlock();
    // The file is touched without the lock: Submit never waits on it.
    std::optional<std::string> failure;
    std::vector<TRunRow> done;
    std::size_t i = 0;
    for (; i < batch.size(); ++i) {
      failure = store.Insert(batch[i]);
      if (failure) break;
      done.push_back(batch[i]);
    }
    lock.lock();
    for (TRunRow& r : done) written_.push_back(std::move(r));
    for (std::size_t k = batch.size(); k-- > i;) {
      unsaved_.insert(unsaved_.begin(), std::move(batch[k]));
    }
    if (failure) {
      WriteUnsaved(*failure);
    } else if (wasFailing) {
      failing_ = false;
      std::error_code error;
      std::filesystem::remove(UnsavedPath(), error);
      messages_.push_back("記録簿に書けなかった記録を書き込みました: " + path_);
    }
    busy_ = false;
    idle_.notify_all();
    if (stop_) return;
  }
}

}  // namespace velmora::ui::logbook
