#include "logbook/logbook.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "app/whole_file.h"
#include "logbook/columns.h"
#include "logbook/personal_bests.h"

namespace velmora::logbook {

namespace {

namespace fs = std::filesystem;

constexpr int kJournalRetryMs = 10;  // ms between tries of switching to WAL
constexpr int64_t kStatisticsFrom = 1000;  // runs: fewer are read fast in any order

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
  void Blob(int i, const std::string& v) {
    sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  std::string ColumnBlob(int i) const {
    const void* b = sqlite3_column_blob(stmt_, i);
    return b != nullptr ? std::string(static_cast<const char*>(b),
                                      static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i)))
                        : "";
  }
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

using columns::TColumn;

// The columns a listing can be ordered by, in the order of TRunColumn.
constexpr columns::TField<TRunRow> kOrders[] = {&TRunRow::Started,  &TRunRow::Mission,
                                                &TRunRow::Vehicle,  &TRunRow::Ending,
                                                &TRunRow::Duration, &TRunRow::Distance};

const TColumn<TRunRow>& Of(TRunColumn column) {
  const auto i = static_cast<std::size_t>(column);
  const columns::TField<TRunRow>& field = kOrders[i < std::size(kOrders) ? i : 0];
  for (const TColumn<TRunRow>& c : columns::kRun) {
    if (c.Field == field) return c;
  }
  return columns::kRun[0];
}

// The index that orders the runs by a column, and filters them by it, for
// the window; added to a file without it when it is opened for writing (the
// schema stays the same).
std::string IndexName(const TColumn<TRunRow>& c) {
  return std::string("runs_") + c.Name;
}

// A table as version 1 made it: "CREATE TABLE runs ( id INTEGER PRIMARY KEY, …);".
template <class Row>
std::string CreateTable(const char* table, std::span<const TColumn<Row>> columns) {
  std::string sql = std::string("CREATE TABLE ") + table + " (";
  for (const TColumn<Row>& c : columns) {
    if (c.Name != nullptr && c.Since == 1) {
      sql += (sql.back() == '(' ? " " : ", ") + std::string(c.Name) + " " + c.Declared;
    }
  }
  return sql + ");";
}

// The columns later versions added to a table of version `from`.
template <class Row>
std::string AddColumns(const char* table, std::span<const TColumn<Row>> columns, int from) {
  std::string sql;
  for (const TColumn<Row>& c : columns) {
    if (c.Name != nullptr && c.Since > from) {
      sql += std::string("ALTER TABLE ") + table + " ADD COLUMN " + c.Name + " " + c.Declared + ";";
    }
  }
  return sql;
}

// The columns a row is read from, in the order of its members: "id, started, …".
template <class Row>
std::string Selected(std::span<const TColumn<Row>> columns) {
  std::string list;
  for (const TColumn<Row>& c : columns) {
    if (c.Name == nullptr || c.Field.index() == 0) continue;
    list += (list.empty() ? "" : ", ") + std::string(c.Name);
  }
  return list;
}

// Reads a row from a statement that selected its columns.
template <class Row>
void ReadRow(const TStatement& q, Row& row, std::span<const TColumn<Row>> columns, int first = 0) {
  int i = first;
  for (const TColumn<Row>& c : columns) {
    if (c.Name == nullptr || c.Field.index() == 0) continue;
    std::visit(columns::TOverloaded{[](std::monostate) {},
                                    [&](int64_t Row::*id) { row.*id = q.ColumnInt64(i); },
                                    [&](int32_t Row::*integer) { row.*integer = q.ColumnInt(i); },
                                    [&](double Row::*real) { row.*real = q.ColumnReal(i); },
                                    [&](std::string Row::*text) { row.*text = q.ColumnText(i); }},
               c.Field);
    ++i;
  }
}

// Reads every row a statement selects; false when the file fails.
template <class Row>
bool ReadRows(const TStatement& q, std::span<const TColumn<Row>> columns, std::vector<Row>& out) {
  int rc;
  while ((rc = sqlite3_step(*q)) == SQLITE_ROW) ReadRow(q, out.emplace_back(), columns);
  return rc == SQLITE_DONE;
}

// The statement that writes a row: every column but its id, which the file
// gives; the event's link to its run takes `runId`.
template <class Row>
std::string InsertSql(const char* table, std::span<const TColumn<Row>> columns) {
  std::string names, values;
  for (const TColumn<Row>& c : columns) {
    if (c.Name == nullptr || std::holds_alternative<int64_t Row::*>(c.Field)) continue;
    names += (names.empty() ? "" : ", ") + std::string(c.Name);
    values += values.empty() ? "?" : ",?";
  }
  return std::string("INSERT INTO ") + table + " (" + names + ") VALUES (" + values + ");";
}

template <class Row>
void BindRow(TStatement& q, const Row& row, std::span<const TColumn<Row>> columns, int64_t runId) {
  int i = 1;
  for (const TColumn<Row>& c : columns) {
    if (c.Name == nullptr || std::holds_alternative<int64_t Row::*>(c.Field)) continue;
    std::visit(columns::TOverloaded{[&](std::monostate) { q.Int(i, runId); }, [](int64_t Row::*) {},
                                    [&](int32_t Row::*integer) { q.Int(i, row.*integer); },
                                    [&](double Row::*real) { q.Real(i, row.*real); },
                                    [&](std::string Row::*text) { q.Text(i, row.*text); }},
               c.Field);
    ++i;
  }
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

namespace {

// The column's SQL name, and how a run's value of it compares.
const char* ColumnName(TRunColumn column) {
  return Of(column).Name;
}

bool IsNumber(TRunColumn column) {
  return std::holds_alternative<double TRunRow::*>(Of(column).Field);
}

const std::string& TextOf(const TRunRow& r, TRunColumn column) {
  return r.*std::get<std::string TRunRow::*>(Of(column).Field);
}

double NumberOf(const TRunRow& r, TRunColumn column) {
  return r.*std::get<double TRunRow::*>(Of(column).Field);
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

std::optional<std::string> TLogbookStore::OpenFile(const char* name, int flags) {
  if (sqlite3_open_v2(name, &db_, flags, nullptr) != SQLITE_OK) {
    auto failure = Fail("開けません");
    Close();
    return failure;
  }
  sqlite3_busy_timeout(db_, busyTimeoutMs_);
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::OpenForWriting() {
  std::error_code error;
  const fs::path file(path_);
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), error);
  if (error) return "記録簿 " + path_ + ": フォルダーを作れません（" + error.message() + "）";
  if (auto failure = OpenFile(path_.c_str(),
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX)) {
    return failure;
  }

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
  for (std::size_t i = 0; i < std::size(kOrders); ++i) {
    const TColumn<TRunRow>& c = Of(static_cast<TRunColumn>(i));
    TStatement q(db_, "SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?1;");
    q.Text(1, IndexName(c));
    if (!q.Ok() || sqlite3_step(*q) != SQLITE_ROW) {
      missing += "CREATE INDEX IF NOT EXISTS " + IndexName(c) + " ON runs(" + c.Name + ", id);";
    }
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
    if (version == 0) {
      script = CreateTable<TRunRow>("runs", columns::kRun) +
               CreateTable<TEventRow>("events", columns::kEvent) +
               "CREATE INDEX events_run ON events(run_id, seq);";
    }
    script += AddColumns<TRunRow>("runs", columns::kRun, std::max(version, 1)) +
              AddColumns<TEventRow>("events", columns::kEvent, std::max(version, 1)) + missing;
    // Version 3: each run's trace, in a table of its own so that listing
    // the runs never reads it; and each mission's bests, kept up to date as
    // runs are written, so that reading them costs no pass over the events.
    if (version < 3) {
      script +=
          "CREATE TABLE traces (run_id INTEGER PRIMARY KEY REFERENCES runs(id) ON DELETE CASCADE,"
          " data BLOB NOT NULL);"
          "CREATE TABLE bests (mission TEXT NOT NULL, kind INTEGER NOT NULL, run_id INTEGER NOT"
          " NULL REFERENCES runs(id) ON DELETE CASCADE, seq INTEGER NOT NULL,"
          " PRIMARY KEY (mission, kind));";
    }
    script += "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    if (sqlite3_exec(db_, script.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        (version > 0 && version < 3 && FillBests()) || Exec("COMMIT;")) {
      sqlite3_exec(db_, "ROLLBACK;", nullptr, nullptr, nullptr);
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
    if (auto failure = OpenFile(immutable ? uri.c_str() : path_.c_str(), flags)) return failure;
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
  static const std::string runSql = InsertSql<TRunRow>("runs", columns::kRun);
  static const std::string eventSql = InsertSql<TEventRow>("events", columns::kEvent);
  {
    TStatement q(db_, runSql.c_str());
    if (!q.Ok()) return Fail("書き込めません");
    BindRow<TRunRow>(q, r, columns::kRun, 0);
    if (sqlite3_step(*q) != SQLITE_DONE) return Fail("書き込めません");
  }
  const int64_t runId = sqlite3_last_insert_rowid(db_);
  for (TEventRow& e : r.Events) {
    TStatement q(db_, eventSql.c_str());
    if (!q.Ok()) return Fail("書き込めません");
    BindRow<TEventRow>(q, e, columns::kEvent, runId);
    if (sqlite3_step(*q) != SQLITE_DONE) return Fail("書き込めません");
    e.Id = sqlite3_last_insert_rowid(db_);
  }
  r.Id = runId;
  // The run's results that beat its mission's bests take their place.
  for (TBest& best : FindBests({r})) {
    TStatement q(db_, "SELECT seq, run_id FROM bests WHERE mission = ?1 AND kind = ?2;");
    if (!q.Ok()) return Fail("読めません");
    q.Text(1, best.Mission);
    q.Int(2, static_cast<int64_t>(best.Kind));
    const int rc = sqlite3_step(*q);
    bool better = rc == SQLITE_DONE;
    if (rc == SQLITE_ROW) {
      const std::string sql = "SELECT " + Selected<TEventRow>(columns::kEvent) +
                              " FROM events WHERE run_id = ?1 AND seq = ?2;";
      TStatement e(db_, sql.c_str());
      if (!e.Ok()) return Fail("読めません");
      e.Int(1, q.ColumnInt64(1));
      e.Int(2, q.ColumnInt(0));
      TEventRow old;
      const bool found = sqlite3_step(*e) == SQLITE_ROW;
      if (found) ReadRow<TEventRow>(e, old, columns::kEvent);
      better = !found || Beats(best.Event, old, best.Kind);
    } else if (rc != SQLITE_DONE) {
      return Fail("読めません");
    }
    if (better) {
      if (auto failure = KeepBest(best)) return failure;
    }
  }
  if (!r.Trace.empty()) {
    TStatement q(db_, "INSERT INTO traces (run_id, data) VALUES (?1, ?2);");
    if (!q.Ok()) return Fail("書き込めません");
    q.Int(1, runId);
    q.Blob(2, r.Trace);
    if (sqlite3_step(*q) != SQLITE_DONE) return Fail("書き込めません");
  }
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
  const std::string sql = "SELECT " + Selected<TRunRow>(columns::kRun) + " FROM runs WHERE " +
                          Where(filter) + " ORDER BY started DESC, id DESC;";
  TStatement q(db_, sql.c_str());
  if (!q.Ok()) return Fail("読めません");
  q.Text(1, filter.Mission);
  q.Text(2, filter.Vehicle);
  if (!ReadRows<TRunRow>(q, columns::kRun, out)) return Fail("読めません");
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Find(int64_t id, TRunRow& out, bool& found) {
  found = false;
  if (auto failure = Open()) return failure;
  if (noTables_) return std::nullopt;
  {
    const std::string sql =
        "SELECT " + Selected<TRunRow>(columns::kRun) + " FROM runs WHERE id = ?1;";
    TStatement q(db_, sql.c_str());
    if (!q.Ok()) return Fail("読めません");
    q.Int(1, id);
    const int rc = sqlite3_step(*q);
    if (rc == SQLITE_DONE) return std::nullopt;
    if (rc != SQLITE_ROW) return Fail("読めません");
    ReadRow<TRunRow>(q, out, columns::kRun);
  }
  const std::string sql = "SELECT " + Selected<TEventRow>(columns::kEvent) +
                          " FROM events WHERE run_id = ?1 ORDER BY seq;";
  TStatement q(db_, sql.c_str());
  if (!q.Ok()) return Fail("読めません");
  q.Int(1, id);
  out.Events.clear();
  if (!ReadRows<TEventRow>(q, columns::kEvent, out.Events)) return Fail("読めません");
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
  std::string sql =
      "SELECT " + Selected<TRunRow>(columns::kRun) + " FROM runs WHERE " + Where(filter);
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
  if (!ReadRows<TRunRow>(q, columns::kRun, out)) return Fail("読めません");

  const std::string last = "SELECT " + Selected<TEventRow>(columns::kEvent) +
                           " FROM events WHERE run_id = ?1 ORDER BY seq DESC LIMIT 1;";
  TStatement e(db_, last.c_str());
  if (!e.Ok()) return Fail("読めません");
  for (TRunRow& r : out) {
    sqlite3_reset(*e);
    e.Int(1, r.Id);
    if (!ReadRows<TEventRow>(e, columns::kEvent, r.Events)) return Fail("読めません");
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

std::optional<std::string> TLogbookStore::FindTrace(int64_t id, std::string& bytes) {
  bytes.clear();
  if (auto failure = Open()) return failure;
  if (noTables_) return std::nullopt;
  TStatement q(db_, "SELECT data FROM traces WHERE run_id = ?1;");
  if (!q.Ok()) return Fail("読めません");
  q.Int(1, id);
  const int rc = sqlite3_step(*q);
  if (rc == SQLITE_ROW) bytes = q.ColumnBlob(0);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail("読めません");
  return std::nullopt;
}

// The bests of the runs already written, worked out from their events once,
// when a file without the table of bests gains it.
std::optional<std::string> TLogbookStore::FillBests() {
  constexpr const char* kCandidates = "kind IN ('touchdown', 'stop', 'race')";
  std::vector<TRunRow> runs;
  {
    const std::string sql = std::string("SELECT id, mission FROM runs WHERE id IN"
                                        " (SELECT run_id FROM events WHERE ") +
                            kCandidates + ") ORDER BY id;";
    TStatement q(db_, sql.c_str());
    if (!q.Ok()) return Fail("読めません");
    int rc;
    while ((rc = sqlite3_step(*q)) == SQLITE_ROW) {
      TRunRow& r = runs.emplace_back();
      r.Id = q.ColumnInt64(0);
      r.Mission = q.ColumnText(1);
    }
    if (rc != SQLITE_DONE) return Fail("読めません");
  }
  const std::string sql = "SELECT run_id, " + Selected<TEventRow>(columns::kEvent) +
                          " FROM events WHERE " + kCandidates + " ORDER BY run_id, seq;";
  TStatement q(db_, sql.c_str());
  if (!q.Ok()) return Fail("読めません");
  std::size_t run = 0;
  int rc;
  while ((rc = sqlite3_step(*q)) == SQLITE_ROW) {
    const int64_t owner = q.ColumnInt64(0);
    while (run < runs.size() && runs[run].Id < owner) ++run;
    if (run < runs.size() && runs[run].Id == owner) {
      ReadRow<TEventRow>(q, runs[run].Events.emplace_back(), columns::kEvent, 1);
    }
  }
  if (rc != SQLITE_DONE) return Fail("読めません");
  for (const TBest& b : FindBests(runs)) {
    if (auto failure = KeepBest(b)) return failure;
  }
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::KeepBest(const TBest& best) {
  TStatement q(db_, "INSERT OR REPLACE INTO bests (mission, kind, run_id, seq) VALUES (?1, ?2, ?3, ?4);");
  if (!q.Ok()) return Fail("書き込めません");
  q.Text(1, best.Mission);
  q.Int(2, static_cast<int64_t>(best.Kind));
  q.Int(3, best.RunId);
  q.Int(4, best.Event.Seq);
  if (sqlite3_step(*q) != SQLITE_DONE) return Fail("書き込めません");
  return std::nullopt;
}

std::optional<std::string> TLogbookStore::Bests(std::vector<TBest>& out) {
  out.clear();
  if (auto failure = Open()) return failure;
  if (noTables_) return std::nullopt;
  {
    TStatement q(db_,
                 "SELECT b.mission, b.kind, b.run_id, b.seq, r.started, r.vehicle FROM bests b"
                 " JOIN runs r ON r.id = b.run_id ORDER BY b.mission, b.kind;");
    if (!q.Ok()) return Fail("読めません");
    int rc;
    while ((rc = sqlite3_step(*q)) == SQLITE_ROW) {
      TBest& b = out.emplace_back();
      b.Mission = q.ColumnText(0);
      b.Kind = static_cast<TBestKind>(q.ColumnInt(1));
      b.RunId = q.ColumnInt64(2);
      b.Event.Seq = q.ColumnInt(3);
      b.Started = q.ColumnText(4);
      b.Vehicle = q.ColumnText(5);
    }
    if (rc != SQLITE_DONE) return Fail("読めません");
  }
  const std::string sql = "SELECT " + Selected<TEventRow>(columns::kEvent) +
                          " FROM events WHERE run_id = ?1 AND seq = ?2;";
  TStatement q(db_, sql.c_str());
  if (!q.Ok()) return Fail("読めません");
  for (TBest& b : out) {
    sqlite3_reset(*q);
    q.Int(1, b.RunId);
    q.Int(2, b.Event.Seq);
    if (sqlite3_step(*q) != SQLITE_ROW) return Fail("読めません");
    ReadRow<TEventRow>(q, b.Event, columns::kEvent);
  }
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

std::vector<std::string> TLogbookWriter::TakeBests() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> taken;
  taken.swap(bests_);
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
    std::vector<std::string> bests;
    std::size_t i = 0;
    if (!failure || badFile) {
      // The bests before these runs, to say which of them each beats.
      std::vector<TBest> known;
      const bool bestsKnown = !batch.empty() && !store.Bests(known);
      for (; i < batch.size(); ++i) {
        std::optional<std::string> fault = store.Insert(batch[i]);
        if (fault) {
          failure = std::move(fault);
          badFile = false;
          break;
        }
        if (bestsKnown) {
          for (std::string& line : MergeBests(known, batch[i])) bests.push_back(std::move(line));
        }
        done.push_back(batch[i]);
      }
    }
    lock.lock();
    for (TRunRow& r : imported.Runs) written_.push_back(std::move(r));
    for (TRunRow& r : done) written_.push_back(std::move(r));
    for (std::string& line : bests) bests_.push_back(std::move(line));
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
