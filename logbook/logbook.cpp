#include "logbook/logbook.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "app/whole_file.h"
#include "vehicle/units.h"

namespace velmora::logbook {

namespace {

namespace fs = std::filesystem;

constexpr int kJournalRetryMs = 10;  // ms between tries of switching to WAL
constexpr int64_t kStatisticsFrom = 1000;  // runs: fewer are read fast in any order

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

// Indexes for ordering and filtering the runs in the window; added to a file
// without them when it is opened for writing (the schema stays the same).
constexpr const char* kRunIndexes[][2] = {
    {"runs_started", "CREATE INDEX runs_started ON runs(started, id);"},
    {"runs_mission", "CREATE INDEX runs_mission ON runs(mission, id);"},
    {"runs_vehicle", "CREATE INDEX runs_vehicle ON runs(vehicle, id);"},
    {"runs_ending", "CREATE INDEX runs_ending ON runs(ending, id);"},
    {"runs_duration", "CREATE INDEX runs_duration ON runs(duration, id);"},
    {"runs_distance", "CREATE INDEX runs_distance ON runs(distance, id);"},
};

constexpr const char* kRunColumns =
    "id, started, ended, duration, mission, vehicle_kind, vehicle_type, vehicle, handle, server,"
    " world, distance, top_speed, top_height, ending, crash_message, replay";
constexpr const char* kEventColumns =
    "id, seq, kind, at, runway, sink_rate, vertical_load, airspeed, ground_speed, pitch, bank,"
    " past_threshold, from_aim_point, centre_line, bounces, grade, stop_error, over_limit,"
    " protection_brakes, since_departure, race_time";

// The CSV's columns: a run's, then an event's.
constexpr const char* kCsvHeader =
    "run,started,ended,duration_s,mission,vehicle_kind,vehicle_type,vehicle,handle,server,"
    "world,distance_m,top_speed_ms,top_height_m,ending,crash_message,replay,"
    "event,kind,at_s,runway,sink_rate_ms,sink_rate_fpm,vertical_load_g,airspeed_kt,"
    "ground_speed_kt,pitch_deg,bank_deg,past_threshold_m,from_aim_point_m,centre_line_m,"
    "bounces,grade,stop_error_m,over_limit_kmh,protection_brakes,since_departure_s,"
    "race_time_s";
constexpr std::size_t kCsvRunColumns = 17;
constexpr std::size_t kCsvColumns = 38;

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
    return t != nullptr ? std::string(reinterpret_cast<const char*>(t),
                                      static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i)))
                        : "";
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

void ReadEvent(const TStatement& q, TEventRow& e) {
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
}

// A text a spreadsheet would take for a formula: one beginning with = + - @,
// a tab or a carriage return, behind any number of ' (so that a text that
// began with ' and such a character reads back as it was).
bool LooksLikeFormula(const std::string& v) {
  const std::size_t first = v.find_first_not_of('\'');
  return first != std::string::npos && std::string_view("=+-@\t\r").find(v[first]) !=
                                           std::string_view::npos;
}

std::string CsvText(const std::string& text) {
  const std::string v = LooksLikeFormula(text) ? "'" + text : text;
  if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
  std::string quoted = "\"";
  for (char c : v) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Number(double v, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

// Splits CSV text into records of fields; false at a quote left open.
bool SplitCsv(const std::string& text, std::vector<std::vector<std::string>>& records,
              std::vector<int>& lines) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, any = false;
  int line = 1, recordLine = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        if (c == '\n') ++line;
        field += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
      any = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (any || !field.empty()) {
        fields.push_back(std::move(field));
        records.push_back(std::move(fields));
        lines.push_back(recordLine);
      }
      fields.clear();
      field.clear();
      any = false;
      recordLine = ++line;
    } else {
      field += c;
      any = true;
    }
  }
  if (quoted) return false;
  if (any || !field.empty()) {
    fields.push_back(std::move(field));
    records.push_back(std::move(fields));
    lines.push_back(recordLine);
  }
  return true;
}

// A text cell as it was before CsvText led it with '.
std::string PlainText(const std::string& cell) {
  return cell.size() > 1 && cell[0] == '\'' && LooksLikeFormula(cell.substr(1)) ? cell.substr(1)
                                                                                   : cell;
}

// Reads a whole file; 0, or the errno value of the fault (ENOENT: no file).
int ReadWholeFile(const std::string& path, std::string& text) {
  text.clear();
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return errno != 0 ? errno : EIO;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  const int error = std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(file);
  return error;
}

// Why SQLite failed, in Japanese, from its result code and the system's error.
std::string Reason(sqlite3* db, int code) {
  const int error = db != nullptr ? sqlite3_system_errno(db) : 0;
  if (code == SQLITE_FULL || error == ENOSPC || error == EDQUOT) return "ディスクがいっぱいです";
  switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "ほかのプログラムが使用中です";
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return "ファイルが壊れています";
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return error == EROFS ? "読み取り専用のファイルシステムです" : "書き込めません";
    default:
      break;
  }
  switch (error) {
    case EROFS:
      return "読み取り専用のファイルシステムです";
    case EACCES:
    case EPERM:
      return "アクセスが許可されていません";
    case ENOENT:
      return "ファイルかフォルダがありません";
    default:
      break;
  }
  if (code == SQLITE_CANTOPEN) return "開けません";
  if (code == SQLITE_IOERR) return "読み書きできません（入出力エラー " + std::to_string(error) + "）";
  return "SQLite のエラー " + std::to_string(code);
}

}  // namespace

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

void WriteCsv(std::ostream& out, const std::vector<TRunRow>& runs, TCsvNumbers numbers,
              bool header) {
  const bool exact = numbers == TCsvNumbers::Exact;
  // A number as people read it, or exactly.
  const auto num = [exact](double v, const char* format) {
    return Number(v, exact ? "%.17g" : format);
  };
  if (header) out << kCsvHeader << "\r\n";
  for (const TRunRow& r : runs) {
    std::string run = std::to_string(r.Id) + "," + CsvText(r.Started) + "," + CsvText(r.Ended) +
                      "," + num(r.Duration, "%.3f") + "," + CsvText(r.Mission) + "," +
                      std::to_string(r.VehicleKind) + "," + std::to_string(r.VehicleType) + "," +
                      CsvText(r.Vehicle) + "," + CsvText(r.Handle) + "," + CsvText(r.Server) +
                      "," + std::to_string(r.WorldNo) + "," + num(r.Distance, "%.3f") + "," +
                      num(r.TopSpeed, "%.3f") + "," + num(r.TopHeight, "%.3f") + "," +
                      CsvText(r.Ending) + "," + CsvText(r.CrashMessage) + "," + CsvText(r.Replay);
    if (r.Events.empty()) {
      out << run << std::string(kCsvColumns - kCsvRunColumns, ',') << "\r\n";
      continue;
    }
    for (const TEventRow& e : r.Events) {
      const bool touchdown = e.Kind == "touchdown";
      const bool missed = e.Kind == "missed_stop";
      const bool stop = e.Kind == "stop" || missed;
      const auto opt = [](bool present, const std::string& v) { return present ? v : ""; };
      out << run << "," << e.Seq << "," << CsvText(e.Kind) << "," << num(e.At, "%.3f") << ","
          << CsvText(e.Runway) << "," << opt(touchdown, num(e.SinkRate, "%.3f")) << ","
          << opt(touchdown, Number(e.SinkRate * units::kFeetPerMinutePerMetrePerSecond, "%.0f"))
          << "," << opt(touchdown, num(e.VerticalLoad, "%.3f")) << ","
          << opt(touchdown, num(e.Airspeed * units::kKnotsPerMetrePerSecond, "%.1f")) << ","
          << opt(touchdown || missed,
                 num(e.GroundSpeed * units::kKnotsPerMetrePerSecond, "%.1f"))
          << "," << opt(touchdown, num(e.Pitch, "%.2f")) << ","
          << opt(touchdown, num(e.Bank, "%.2f")) << ","
          << opt(touchdown, num(e.PastThreshold, "%.1f")) << ","
          << opt(touchdown, num(e.FromAimPoint, "%.1f")) << ","
          << opt(touchdown, num(e.CentreLine, "%.2f")) << ","
          << opt(touchdown, std::to_string(e.Bounces)) << "," << CsvText(e.Grade) << ","
          << opt(stop, num(e.StopError, "%.3f")) << ","
          << opt(stop, num(e.OverLimit * units::kKmhPerMetrePerSecond, "%.1f")) << ","
          << opt(stop, std::to_string(e.ProtectionBrakes)) << ","
          << opt(stop, num(e.SinceDeparture, "%.1f")) << ","
          << opt(e.Kind == "race", num(e.RaceTime, "%.3f")) << "\r\n";
    }
  }
}

std::optional<std::string> ReadCsv(const std::string& text, const std::string& name,
                                   std::vector<TRunRow>& runs) {
  runs.clear();
  std::vector<std::vector<std::string>> records;
  std::vector<int> lines;
  if (!SplitCsv(text, records, lines)) return name + ": 引用符が閉じていません";
  std::string header;
  if (!records.empty()) {
    for (std::size_t i = 0; i < records[0].size(); ++i) header += (i > 0 ? "," : "") + records[0][i];
  }
  if (header != kCsvHeader) return name + ": 1 行目: 記録簿の CSV の見出しではありません";

  for (std::size_t n = 1; n < records.size(); ++n) {
    const std::vector<std::string>& f = records[n];
    const std::string where = name + ": " + std::to_string(lines[n]) + " 行目: ";
    if (f.size() != kCsvColumns) {
      return where + "列が " + std::to_string(f.size()) + " あります（" +
             std::to_string(kCsvColumns) + " のはず）";
    }
    std::optional<std::string> fault;
    // A number cell; an empty one is 0.
    const auto number = [&](std::size_t column, double scale = 1) {
      const std::string& cell = f[column];
      if (cell.empty() || fault) return 0.0;
      char* end = nullptr;
      errno = 0;
      const double v = std::strtod(cell.c_str(), &end);
      if (end != cell.c_str() + cell.size() || errno == ERANGE) {
        fault = where + std::to_string(column + 1) + " 列目が数値ではありません: " + cell;
        return 0.0;
      }
      return v / scale;
    };
    const auto integer = [&](std::size_t column) {
      const double v = number(column);
      if (!fault && (v != static_cast<double>(static_cast<int32_t>(v)))) {
        fault = where + std::to_string(column + 1) + " 列目が整数ではありません: " + f[column];
      }
      return fault ? 0 : static_cast<int32_t>(v);
    };
    // A new run at its first event, at a run without events, or where the
    // run's number changes.
    const bool firstEvent = f[kCsvRunColumns].empty() || f[kCsvRunColumns] == "0";
    if (runs.empty() || firstEvent || f[0] != records[n - 1][0]) {
      TRunRow r;
      r.Started = PlainText(f[1]);
      r.Ended = PlainText(f[2]);
      r.Duration = number(3);
      r.Mission = PlainText(f[4]);
      r.VehicleKind = integer(5);
      r.VehicleType = integer(6);
      r.Vehicle = PlainText(f[7]);
      r.Handle = PlainText(f[8]);
      r.Server = PlainText(f[9]);
      r.WorldNo = integer(10);
      r.Distance = number(11);
      r.TopSpeed = number(12);
      r.TopHeight = number(13);
      r.Ending = PlainText(f[14]);
      r.CrashMessage = PlainText(f[15]);
      r.Replay = PlainText(f[16]);
      runs.push_back(std::move(r));
    }
    if (!f[kCsvRunColumns].empty()) {
      TEventRow e;
      e.Seq = integer(17);
      e.Kind = PlainText(f[18]);
      e.At = number(19);
      e.Runway = PlainText(f[20]);
      e.SinkRate = number(21);
      e.VerticalLoad = number(23);
      e.Airspeed = number(24, units::kKnotsPerMetrePerSecond);
      e.GroundSpeed = number(25, units::kKnotsPerMetrePerSecond);
      e.Pitch = number(26);
      e.Bank = number(27);
      e.PastThreshold = number(28);
      e.FromAimPoint = number(29);
      e.CentreLine = number(30);
      e.Bounces = integer(31);
      e.Grade = PlainText(f[32]);
      e.StopError = number(33);
      e.OverLimit = number(34, units::kKmhPerMetrePerSecond);
      e.ProtectionBrakes = integer(35);
      e.SinceDeparture = number(36);
      e.RaceTime = number(37);
      runs.back().Events.push_back(std::move(e));
    }
    if (fault) {
      runs.clear();
      return fault;
    }
  }
  return std::nullopt;
}

namespace {

// The column's SQL name, and how a run's value of it compares.
const char* ColumnName(TRunColumn column) {
  switch (column) {
    case TRunColumn::Started:
      return "started";
    case TRunColumn::Mission:
      return "mission";
    case TRunColumn::Vehicle:
      return "vehicle";
    case TRunColumn::Ending:
      return "ending";
    case TRunColumn::Duration:
      return "duration";
    case TRunColumn::Distance:
      return "distance";
  }
  return "started";
}

bool IsNumber(TRunColumn column) {
  return column == TRunColumn::Duration || column == TRunColumn::Distance;
}

const std::string& TextOf(const TRunRow& r, TRunColumn column) {
  switch (column) {
    case TRunColumn::Mission:
      return r.Mission;
    case TRunColumn::Vehicle:
      return r.Vehicle;
    case TRunColumn::Ending:
      return r.Ending;
    default:
      return r.Started;
  }
}

double NumberOf(const TRunRow& r, TRunColumn column) {
  return column == TRunColumn::Duration ? r.Duration : r.Distance;
}

// The filter as SQL over ?1 (mission) and ?2 (vehicle).
std::string Where(const TFilter& filter) {
  if (filter.Whole) {
    return std::string(filter.Mission.empty() ? "?1 = ''" : "mission = ?1") + " AND " +
           (filter.Vehicle.empty() ? "?2 = ''" : "vehicle = ?2");
  }
  return "instr(mission, ?1) > 0 AND instr(vehicle, ?2) > 0";
}

}  // namespace

bool Before(const TRunRow& a, const TRunRow& b, const TOrder& order) {
  int c = 0;
  if (IsNumber(order.Column)) {
    const double x = NumberOf(a, order.Column), y = NumberOf(b, order.Column);
    c = x < y ? -1 : (x > y ? 1 : 0);
  } else {
    c = TextOf(a, order.Column).compare(TextOf(b, order.Column));
  }
  if (c == 0) c = a.Id < b.Id ? -1 : (a.Id > b.Id ? 1 : 0);
  return order.Descending ? c > 0 : c < 0;
}

bool Matches(const TRunRow& run, const TFilter& filter) {
  if (filter.Whole) {
    return (filter.Mission.empty() || run.Mission == filter.Mission) &&
           (filter.Vehicle.empty() || run.Vehicle == filter.Vehicle);
  }
  return run.Mission.find(filter.Mission) != std::string::npos &&
         run.Vehicle.find(filter.Vehicle) != std::string::npos;
}

TLogbookStore::TLogbookStore(std::string path, TAccess access, int busyTimeoutMs)
    : path_(std::move(path)), access_(access), busyTimeoutMs_(busyTimeoutMs) {}

TLogbookStore::~TLogbookStore() {
  Close();
}

void TLogbookStore::Close() {
  if (db_ != nullptr) sqlite3_close_v2(db_);
  db_ = nullptr;
  noTables_ = false;
}

void TLogbookStore::SetMaxPageCount(int pages) {
  maxPageCount_ = pages;
}

std::optional<std::string> TLogbookStore::Fail(const std::string& what) {
  const int code = db_ != nullptr ? sqlite3_errcode(db_) : SQLITE_CANTOPEN;
  const std::string reason = Reason(db_, code);
  if (db_ != nullptr && code != SQLITE_BUSY && code != SQLITE_LOCKED && code != SQLITE_FULL) {
    Close();  // opened anew at the next try
  } else if (db_ != nullptr) {
    sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
  }
  return "記録簿 " + path_ + ": " + what + "（" + reason + "）";
}

// A file this program does not use: closed, untouched.
std::optional<std::string> TLogbookStore::Refuse(const std::string& why) {
  Close();
  return "記録簿 " + path_ + " " + why + "ファイルは変更していません。";
}

std::optional<std::string> TLogbookStore::Exec(const char* sql) {
  if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) return Fail("書き込めません");
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Open() {
  if (db_ != nullptr) return std::nullopt;
  if (path_.empty())
    return std::string("記録簿の場所がわかりません（XDG_DATA_HOME も HOME も設定されていません）");
  return access_ == TAccess::Read ? OpenForReading() : OpenForWriting();
}

namespace {

// The schema's version and whether the file has any table; false when the
// file cannot be read.
bool ReadKind(sqlite3* db, int& version, bool& tables) {
  TStatement v(db, "PRAGMA user_version;");
  if (!v.Ok() || sqlite3_step(*v) != SQLITE_ROW) return false;
  version = v.ColumnInt(0);
  TStatement t(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table';");
  if (!t.Ok() || sqlite3_step(*t) != SQLITE_ROW) return false;
  tables = t.ColumnInt(0) > 0;
  return true;
}

}  // namespace

std::optional<std::string> TLogbookStore::OpenForWriting() {
  std::error_code error;
  const fs::path file(path_);
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), error);
  if (error) return "記録簿 " + path_ + ": フォルダーを作れません（" + error.message() + "）";
  if (sqlite3_open_v2(path_.c_str(), &db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    auto failure = Fail("開けません");
    Close();
    return failure;
  }
  sqlite3_busy_timeout(db_, busyTimeoutMs_);

  // What the file is, first: a file of a newer program, or of another
  // program altogether, is left exactly as it is.
  int version = 0;
  bool tables = false;
  if (!ReadKind(db_, version, tables)) return Fail("読めません");
  if (version > kSchemaVersion) {
    return Refuse("は新しい版（スキーマ " + std::to_string(version) + "）のものなので使いません。");
  }
  if (version == 0 && tables) return Refuse("は Velmora の記録簿ではありません。");
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
  std::string missing;
  for (const auto& index : kRunIndexes) {
    TStatement q(db_, "SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?1;");
    q.Text(1, index[0]);
    if (!q.Ok() || sqlite3_step(*q) != SQLITE_ROW) missing += index[1];
  }
  if (version < kSchemaVersion || !missing.empty()) {
    if (auto failure = Exec("BEGIN IMMEDIATE;")) return failure;
    // Read again inside the lock: another program may have migrated meanwhile.
    if (!ReadKind(db_, version, tables)) return Fail("読めません");
    if (version == 0 && tables) {
      sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
      return Refuse("は Velmora の記録簿ではありません。");
    }
    std::string script;
    if (version == 0) script = std::string(kRunsV1) + kEventsV1;
    if (version <= 1) script += kMigrateToV2;
    for (const auto& index : kRunIndexes) {
      if (version == 0 || missing.find(index[1]) != std::string::npos) {
        script += std::string(index[1]).insert(13, "IF NOT EXISTS ");
      }
    }
    script += "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";COMMIT;";
    if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      return Fail("形式を更新できません");
    }
  }
  RefreshStatistics();
  return std::nullopt;
}

// The query planner's statistics of the runs, so that a listing filtered by
// a vehicle most runs have is read in the order's index rather than sorted
// whole, and one filtered by a rare vehicle the other way round. Refreshed
// when the runs have doubled since; a logbook held by another program goes
// without until the next time.
void TLogbookStore::RefreshStatistics() {
  int64_t runs = 0, known = 0;
  {
    TStatement q(db_, "SELECT count(*) FROM runs;");
    if (!q.Ok() || sqlite3_step(*q) != SQLITE_ROW) return;
    runs = q.ColumnInt64(0);
  }
  {
    TStatement q(db_, "SELECT stat FROM sqlite_stat1 WHERE idx = 'runs_started';");
    if (q.Ok() && sqlite3_step(*q) == SQLITE_ROW) known = std::atoll(q.ColumnText(0).c_str());
  }
  if (runs >= kStatisticsFrom && runs > 2 * known) {
    sqlite3_exec(db_, "ANALYZE runs;", nullptr, nullptr, nullptr);
  }
}

std::optional<std::string> TLogbookStore::OpenForReading() {
  // Read-only: no file, folder, journal or schema is made or changed. In a
  // read-only folder without the WAL's files, SQLite cannot make the shared
  // memory file it wants; nothing can write the file there either, so it is
  // then read as immutable.
  for (const bool immutable : {false, true}) {
    const std::string uri = "file:" + path_ + "?immutable=1";
    const int flags =
        SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX | (immutable ? SQLITE_OPEN_URI : 0);
    if (sqlite3_open_v2(immutable ? uri.c_str() : path_.c_str(), &db_, flags, nullptr) !=
        SQLITE_OK) {
      auto failure = Fail("開けません");
      Close();
      return failure;
    }
    sqlite3_busy_timeout(db_, busyTimeoutMs_);
    int version = 0;
    bool tables = false;
    if (ReadKind(db_, version, tables)) {
      if (version > kSchemaVersion) {
        return Refuse("は新しい版（スキーマ " + std::to_string(version) +
                      "）のものなので使いません。");
      }
      if (version == 0 && tables) return Refuse("は Velmora の記録簿ではありません。");
      if (version < kSchemaVersion && version > 0) {
        return Refuse("は古い版（スキーマ " + std::to_string(version) +
                      "）です。velmora を一度起動すると新しい版に更新されます。");
      }
      noTables_ = version == 0;
      return std::nullopt;
    }
    const int code = sqlite3_errcode(db_);
    if (immutable || (code != SQLITE_CANTOPEN && code != SQLITE_READONLY)) break;
    Close();
  }
  return Fail("読めません");
}

std::optional<std::string> TLogbookStore::InsertRows(TRunRow& r) {
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
  r.Id = runId;
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Insert(TRunRow& r) {
  if (access_ == TAccess::Read) return "記録簿 " + path_ + ": 読むためだけに開いています";
  if (auto failure = Open()) return failure;
  if (auto failure = Exec("BEGIN IMMEDIATE;")) return failure;
  if (auto failure = InsertRows(r)) return failure;
  if (auto failure = Exec("COMMIT;")) return failure;
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::ImportKept(const std::string& csvPath, TImport& result) {
  result = TImport{};
  if (auto failure = Open()) return failure;
  if (auto failure = Exec("BEGIN IMMEDIATE;")) return failure;
  const auto rollback = [this] { sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr); };
  // Read inside the lock: another program taking the same file at the same
  // moment finds it gone.
  std::string text;
  if (const int error = ReadWholeFile(csvPath, text)) {
    rollback();
    if (error == ENOENT) return std::nullopt;
    result.BadFile = true;
    return csvPath + ": 読めません（" + app::FileFaultJapanese(error) + "）";
  }
  std::vector<TRunRow> runs;
  if (auto fault = ReadCsv(text, csvPath, runs)) {
    rollback();
    result.BadFile = true;
    return *fault + "。このファイルは読み込まずに残しています。";
  }
  for (TRunRow& r : runs) {
    if (auto failure = InsertRows(r)) return failure;
  }
  std::error_code error;
  if (!fs::remove(csvPath, error) || error) {
    rollback();
    return csvPath + ": 記録簿に書き込んだあとで消せません（" +
           app::FileFaultJapanese(error.value()) + "）";
  }
  if (sqlite3_exec(db_, "COMMIT;", nullptr, nullptr, nullptr) != SQLITE_OK) {
    // The runs are not in the logbook: the file goes back where it was.
    app::WriteWholeFile(csvPath, text);
    return Fail("書き込めません");
  }
  result.Runs = std::move(runs);
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::List(const TFilter& filter, std::vector<TRunRow>& out) {
  out.clear();
  if (auto failure = Open()) return failure;
  if (noTables_) return std::nullopt;
  const std::string sql = std::string("SELECT ") + kRunColumns + " FROM runs WHERE " +
                          Where(filter) + " ORDER BY started DESC, id DESC;";
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
  if (noTables_) return std::nullopt;
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
  const std::string sql =
      std::string("SELECT ") + kEventColumns + " FROM events WHERE run_id = ?1 ORDER BY seq;";
  TStatement q(db_, sql.c_str());
  if (!q.Ok()) return Fail("読めません");
  q.Int(1, id);
  out.Events.clear();
  int rc;
  while ((rc = sqlite3_step(*q)) == SQLITE_ROW) {
    TEventRow e;
    ReadEvent(q, e);
    out.Events.push_back(std::move(e));
  }
  if (rc != SQLITE_DONE) return Fail("読めません");
  found = true;
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Count(const TFilter& filter, int64_t& count) {
  count = 0;
  if (auto failure = Open()) return failure;
  if (noTables_) return std::nullopt;
  const std::string sql = "SELECT count(*) FROM runs WHERE " + Where(filter) + ";";
  TStatement q(db_, sql.c_str());
  if (!q.Ok()) return Fail("読めません");
  q.Text(1, filter.Mission);
  q.Text(2, filter.Vehicle);
  if (sqlite3_step(*q) != SQLITE_ROW) return Fail("読めません");
  count = q.ColumnInt64(0);
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Page(const TFilter& filter, const TOrder& order,
                                               const TRunRow* after, int limit,
                                               std::vector<TRunRow>& out) {
  out.clear();
  if (auto failure = Open()) return failure;
  if (noTables_) return std::nullopt;
  // Keyset paging: the runs after the last one shown, through the column's
  // index, so that a page deep down costs what the first one does.
  const std::string column = ColumnName(order.Column);
  const char* direction = order.Descending ? " DESC" : " ASC";
  std::string sql = std::string("SELECT ") + kRunColumns + " FROM runs WHERE " + Where(filter);
  if (after != nullptr) {
    sql += " AND (" + column + ", id) " + (order.Descending ? "<" : ">") + " (?3, ?4)";
  }
  sql += " ORDER BY " + column + direction + ", id" + direction + " LIMIT ?5;";
  TStatement q(db_, sql.c_str());
  if (!q.Ok()) return Fail("読めません");
  q.Text(1, filter.Mission);
  q.Text(2, filter.Vehicle);
  if (after != nullptr) {
    if (IsNumber(order.Column)) {
      q.Real(3, NumberOf(*after, order.Column));
    } else {
      q.Text(3, TextOf(*after, order.Column));
    }
    q.Int(4, after->Id);
  }
  q.Int(5, limit);
  int rc;
  while ((rc = sqlite3_step(*q)) == SQLITE_ROW) {
    TRunRow r;
    ReadRun(q, r);
    out.push_back(std::move(r));
  }
  if (rc != SQLITE_DONE) return Fail("読めません");

  const std::string last = std::string("SELECT ") + kEventColumns +
                           " FROM events WHERE run_id = ?1 ORDER BY seq DESC LIMIT 1;";
  TStatement e(db_, last.c_str());
  if (!e.Ok()) return Fail("読めません");
  for (TRunRow& r : out) {
    sqlite3_reset(*e);
    e.Int(1, r.Id);
    rc = sqlite3_step(*e);
    if (rc == SQLITE_ROW) {
      r.Events.emplace_back();
      ReadEvent(e, r.Events.back());
    } else if (rc != SQLITE_DONE) {
      return Fail("読めません");
    }
  }
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Values(TRunColumn column, std::vector<std::string>& out) {
  out.clear();
  if (auto failure = Open()) return failure;
  if (noTables_) return std::nullopt;
  const std::string name = ColumnName(column);
  const std::string sql = "SELECT DISTINCT " + name + " FROM runs ORDER BY " + name + ";";
  TStatement q(db_, sql.c_str());
  if (!q.Ok()) return Fail("読めません");
  int rc;
  while ((rc = sqlite3_step(*q)) == SQLITE_ROW) out.push_back(q.ColumnText(0));
  if (rc != SQLITE_DONE) return Fail("読めません");
  return std::nullopt;
}

TLogbookWriter::TLogbookWriter(std::string path, int busyTimeoutMs, int retryMs)
    : path_(std::move(path)), busyTimeoutMs_(busyTimeoutMs), retryMs_(retryMs) {
  std::error_code error;
  fileKept_ = !path_.empty() && fs::exists(UnsavedPath(), error);
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
  return unsaved_.size() + inFile_;
}

std::vector<TRunRow> TLogbookWriter::TakeWritten() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<TRunRow> taken;
  taken.swap(written_);
  return taken;
}

// The runs kept back in memory are added to the file beside the logbook,
// which is written whole or not at all, so that no failure leaves a partial
// or an empty file; at the first failure one message says why, and where the
// runs are now. Called with the lock held.
void TLogbookWriter::KeepBack(const std::string& reason) {
  int error = path_.empty() ? ENOENT : 0;
  if (!unsaved_.empty() && error == 0) {
    // What is there already: never written over when it cannot be read whole.
    std::string before;
    error = ReadWholeFile(UnsavedPath(), before);
    if (error == ENOENT) error = 0;
    std::ostringstream rows;
    WriteCsv(rows, unsaved_, TCsvNumbers::Exact, before.empty());
    if (error == 0) error = app::WriteWholeFile(UnsavedPath(), before + rows.str());
    if (error == 0) {
      inFile_ += unsaved_.size();
      unsaved_.clear();
      fileKept_ = true;
    }
  }
  if (failing_) return;
  failing_ = true;
  const std::string count = std::to_string(unsaved_.size() + inFile_);
  if (count == "0") {  // only runs of earlier sessions, still in the file
    messages_.push_back(reason + "。前に書けなかった記録は " + UnsavedPath() +
                        " に残し、次の機会に記録簿へ書き込みます。");
    return;
  }
  messages_.push_back(reason + "。" +
                      (error == 0 ? "この記録（" + count + " 件）は " + UnsavedPath() +
                                        " に保存し、次の機会に記録簿へ書き込みます。"
                                  : "この記録（" + count +
                                        " 件）はメモリに保持し、次の機会に記録簿へ書き込みます（" +
                                        UnsavedPath() + " にも保存できません: " +
                                        app::FileFaultJapanese(error) + "）"));
}

void TLogbookWriter::Loop() {
  TLogbookStore store(path_, TAccess::Write, busyTimeoutMs_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (bool first = true;; first = false) {
    // At the start, the runs an earlier session kept back in the file.
    const bool woken = first || wake_.wait_for(lock, std::chrono::milliseconds(retryMs_),
                                               [this] { return stop_ || !queue_.empty(); });
    if (!woken && unsaved_.empty() && !fileKept_) continue;
    while (!queue_.empty()) {
      unsaved_.push_back(std::move(queue_.front()));
      queue_.pop_front();
    }
    if (unsaved_.empty() && !fileKept_) {
      busy_ = false;
      idle_.notify_all();
      if (stop_) return;
      continue;
    }
    busy_ = true;
    std::vector<TRunRow> batch;
    batch.swap(unsaved_);
    const bool wasFailing = failing_;
    const bool importFile = fileKept_;
    store.SetMaxPageCount(maxPageCount_);
    lock.unlock();
    // The file is touched without the lock: Submit never waits on it. The
    // runs kept back in the file go first: they are the older ones.
    std::optional<std::string> failure;
    TLogbookStore::TImport imported;
    bool badFile = false;
    if (importFile) {
      failure = store.ImportKept(UnsavedPath(), imported);
      badFile = imported.BadFile;
    }
    std::vector<TRunRow> done;
    std::size_t i = 0;
    if (!failure || badFile) {
      for (; i < batch.size(); ++i) {
        std::optional<std::string> fault = store.Insert(batch[i]);
        if (fault) {
          failure = std::move(fault);
          badFile = false;
          break;
        }
        done.push_back(batch[i]);
      }
    }
    lock.lock();
    for (TRunRow& r : imported.Runs) written_.push_back(std::move(r));
    for (TRunRow& r : done) written_.push_back(std::move(r));
    for (std::size_t k = batch.size(); k-- > i;) {
      unsaved_.insert(unsaved_.begin(), std::move(batch[k]));
    }
    if (importFile && !failure) {
      inFile_ = 0;
      fileKept_ = false;
    }
    if (badFile) {
      // Left for the user to look at; the runs in it are not tried again.
      fileKept_ = false;
      messages_.push_back(*failure);
    } else if (failure) {
      KeepBack(*failure);
    } else if (wasFailing || !imported.Runs.empty()) {
      failing_ = false;
      messages_.push_back("記録簿に書けなかった記録（" +
                          std::to_string(imported.Runs.size() + done.size()) +
                          " 件）を書き込みました: " + path_);
    }
    busy_ = false;
    idle_.notify_all();
    if (stop_) return;
  }
}

}  // namespace velmora::logbook
