// The logbook: every run with its touchdowns, stops and race times, kept in
// an SQLite file (one row per run, one per event), written off the tick's
// thread by TLogbookWriter, read by the logbook window and velmora-logbook.
// Shell-side code: the core hands over plain records (state/run_figures.h).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/run_trace.h"
#include "state/main_state.h"

struct sqlite3;

namespace velmora::logbook {

// The schema this program writes. Version 2 kept no trace of a run, and
// version 1 lacked the server, the world number and the replay link too;
// both are migrated on opening.
inline constexpr int kSchemaVersion = 3;

struct TEventRow {
  int64_t Id = 0;
  int32_t Seq = 0;           // order within the run, from 0
  std::string Kind;          // "touchdown", "stop", "missed_stop", "race"
  double At = 0;             // s after the run's start
  std::string Runway;        // touchdown: the runway's name, empty off every runway
  double SinkRate = 0;       // m/s
  double VerticalLoad = 0;   // g
  double Airspeed = 0;       // m/s
  double GroundSpeed = 0;    // m/s; a missed stop: the speed at the mark
  double Pitch = 0;          // deg
  double Bank = 0;           // deg
  double PastThreshold = 0;  // m
  double FromAimPoint = 0;   // m
  double CentreLine = 0;     // m, right positive
  int32_t Bounces = 0;
  std::string Grade;     // "smooth", "firm", "hard", "crash"
  double StopError = 0;  // m, past the mark positive
  double OverLimit = 0;  // m/s
  int32_t ProtectionBrakes = 0;
  double SinceDeparture = 0;  // s
  double RaceTime = 0;        // s
};

struct TRunRow {
  int64_t Id = 0;
  std::string Started;  // local time, "YYYY-MM-DD HH:MM:SS"
  std::string Ended;
  double Duration = 0;  // s
  std::string Mission;  // UTF-8
  int32_t VehicleKind = 0;
  int32_t VehicleType = 0;
  std::string Vehicle;  // the type's name
  std::string Handle;
  std::string Server;  // host:port
  int32_t WorldNo = 0;
  double Distance = 0;   // m
  double TopSpeed = 0;   // m/s
  double TopHeight = 0;  // m
  std::string Ending;    // "landed", "stopped", "goal", "crash", "left"
  std::string CrashMessage;
  std::string Replay;  // path of the saved replay, empty when none
  std::vector<TEventRow> Events;
  // The run's trace (app::EncodeTrace), empty when none; written with the
  // run, read back only by TLogbookStore::FindTrace.
  std::string Trace;
};

struct TBest;

// $XDG_DATA_HOME/velmora/logbook.sqlite, ~/.local/share/velmora/logbook.sqlite
// when unset; empty when neither is known.
std::string DefaultPath(const char* xdgDataHome, const char* home);

// How WriteCsv writes numbers: rounded for people (speeds in kt and km/h
// with one decimal, and so on), or exact, for reading back.
enum class TCsvNumbers { Rounded, Exact };

// Runs as CSV (RFC 4180, UTF-8): one line per event with its run's columns,
// one line for a run without events; the header line first unless left out.
// A text cell a spreadsheet would take for a formula (beginning with = + - @,
// a tab or a carriage return, or such a text already led by ') gets a
// leading '; numbers are never changed.
void WriteCsv(std::ostream& out, const std::vector<TRunRow>& runs,
              TCsvNumbers numbers = TCsvNumbers::Rounded, bool header = true);
// Reads runs back from what WriteCsv wrote, without their ids. A fault is
// returned as a Japanese message naming `name` and the line.
std::optional<std::string> ReadCsv(const std::string& text, const std::string& name,
                                   std::vector<TRunRow>& runs);
// A run's trace as CSV: a header line, then one line per sample and one per
// event (its key in the `event` column), in order of time.
void WriteTraceCsv(std::ostream& out, const app::TRunTrace& trace);

struct TFilter {
  std::string Mission;  // part of the mission's text; empty: every mission
  std::string Vehicle;  // part of the vehicle's name; empty: every vehicle
  bool Whole = false;   // the texts must match whole, not in part
};

// The columns a listing of runs can be ordered by.
enum class TRunColumn { Started, Mission, Vehicle, Ending, Duration, Distance };
struct TOrder {
  TRunColumn Column = TRunColumn::Started;
  bool Descending = true;  // runs of equal value by id, in the same direction
};
// Whether run a comes before run b in this order, as the logbook sorts them.
bool Before(const TRunRow& a, const TRunRow& b, const TOrder& order);
bool Matches(const TRunRow& run, const TFilter& filter);

// Writing opens (and creates, and migrates) the file in WAL mode; reading
// opens it read-only and never changes it.
enum class TAccess { Write, Read };

// One connection to a logbook file. Every failure is returned as a Japanese
// message naming the file.
class TLogbookStore {
 public:
  explicit TLogbookStore(std::string path, TAccess access = TAccess::Write,
                         int busyTimeoutMs = 2000);
  ~TLogbookStore();
  TLogbookStore(const TLogbookStore&) = delete;
  TLogbookStore& operator=(const TLogbookStore&) = delete;

  // Opens the file. Writing: creates it and its folder when missing, in WAL
  // mode, and migrates an older schema. Reading: a file of an older schema is
  // left for the program to migrate. Both refuse and leave unchanged a file
  // of a newer schema, and an SQLite file of another program (version 0 with
  // tables); a file without tables is a new logbook.
  std::optional<std::string> Open();
  bool IsOpen() const { return db_ != nullptr; }
  // Writes a run and its events in one transaction; sets their ids.
  std::optional<std::string> Insert(TRunRow& run);

  // The runs kept back in the CSV file at csvPath (TLogbookWriter's) are
  // written and the file removed, all in one transaction, or nothing is.
  struct TImport {
    std::vector<TRunRow> Runs;  // written, with their ids
    bool BadFile = false;       // the file is no CSV of runs: left as it is
  };
  std::optional<std::string> ImportKept(const std::string& csvPath, TImport& result);

  // Runs newest first, without their events.
  std::optional<std::string> List(const TFilter& filter, std::vector<TRunRow>& out);
  // One run with its events; nullopt result and empty `out.Started` when absent.
  std::optional<std::string> Find(int64_t id, TRunRow& out, bool& found);
  // For a window that shows the runs as they are scrolled to: how many match,
  // and the next `limit` runs in `order` after `after` (from the first when
  // null), each with its last event only.
  std::optional<std::string> Count(const TFilter& filter, int64_t& count);
  std::optional<std::string> Page(const TFilter& filter, const TOrder& order,
                                  const TRunRow* after, int limit, std::vector<TRunRow>& out);
  // The different missions and vehicles of all runs, sorted.
  std::optional<std::string> Values(TRunColumn column, std::vector<std::string>& out);
  // A run's trace as stored; empty when the run has none.
  std::optional<std::string> FindTrace(int64_t id, std::string& bytes);
  // The personal bests of every mission (logbook/personal_bests.h).
  std::optional<std::string> Bests(std::vector<TBest>& out);
  // For tests: a page limit that makes the file "full".
  void SetMaxPageCount(int pages);
  const std::string& Path() const { return path_; }

 private:
  // Opens the file by name with SQLite's flags; a failure leaves it closed.
  std::optional<std::string> OpenFile(const char* name, int flags);
  std::optional<std::string> OpenForWriting();
  std::optional<std::string> OpenForReading();
  std::optional<std::string> Refuse(const std::string& why);
  std::optional<std::string> Fail(const std::string& what);
  std::optional<std::string> Exec(const char* sql);
  std::optional<std::string> InsertRows(TRunRow& run);
  std::optional<std::string> FillBests();
  std::optional<std::string> KeepBest(const TBest& best);
  void RefreshStatistics();
  void Close();

  std::string path_;
  TAccess access_;
  int busyTimeoutMs_;
  int maxPageCount_ = 0;
  sqlite3* db_ = nullptr;
  bool noTables_ = false;  // read: a new logbook without its tables yet
};

// Writes runs on a worker thread; the caller never waits on the file. A run
// that cannot be written is kept back: added to a plain CSV file beside the
// logbook (path + ".unsaved.csv", written whole or not at all), or kept in
// memory where that cannot be written either. The runs kept back are written
// at the next chance: the next run, a retry every retryMs, or the next
// session that can write the logbook, which takes those of the file first
// and then removes the file. One message says why and where the runs are,
// another when the runs kept back have been written.
class TLogbookWriter {
 public:
  explicit TLogbookWriter(std::string path, int busyTimeoutMs = 2000, int retryMs = 30000);
  ~TLogbookWriter();  // writes what it can, then stops

  void Submit(TRunRow run);
  // Waits until every submitted run, and the file of runs kept back found at
  // the start, has been tried once (at most timeoutMs).
  bool Flush(int timeoutMs);
  // Messages for the log since the last call (UTF-8).
  std::vector<std::string> TakeMessages();
  // The personal bests the runs written since the last call beat, one line
  // each: "自己ベスト 着陸 …".
  std::vector<std::string> TakeBests();
  // Runs of this session kept back after a failure.
  std::size_t Unsaved() const;
  // Rows written, with their ids, those kept back by earlier sessions
  // included: the newest last.
  std::vector<TRunRow> TakeWritten();
  std::string UnsavedPath() const { return path_ + ".unsaved.csv"; }
  // For tests: the file's page limit, applied when the writer opens it.
  void SetMaxPageCount(int pages);

 private:
  void Loop();
  void KeepBack(const std::string& reason);

  std::string path_;
  int busyTimeoutMs_;
  int retryMs_;
  int maxPageCount_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<TRunRow> queue_;
  std::vector<TRunRow> unsaved_;  // kept back in memory only
  std::size_t inFile_ = 0;        // runs of this session kept back in the file
  bool fileKept_ = false;         // the file of runs kept back is there to be written
  std::vector<std::string> messages_;
  std::vector<std::string> bests_;
  std::vector<TRunRow> written_;
  bool stop_ = false;
  bool busy_ = true;  // until the file kept back by an earlier session has been tried
  bool failing_ = false;
  std::thread thread_;
};

// What the logbook does at the end of every run: the finished run's row,
// with its replay saved beside the others when asked, goes to a writer, and
// the writer's messages go to the message log. A shell calls it after every
// tick and shows the runs written.
class TRunKeeper {
 public:
  // server: "host:port" of the session; replayFolder: where replays are saved.
  TRunKeeper(state::TMainState& state, std::string path, std::string server,
             std::string replayFolder);

  // A run finished since the last call is written, its replay saved first
  // when autoSaveReplay; it ended at `now`, in local time. Returns the runs
  // written since the last call, the newest last.
  std::vector<TRunRow> AfterTick(
      bool autoSaveReplay,
      std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
  TLogbookWriter& Writer() { return writer_; }

 private:
  state::TMainState& state_;
  app::TTraceRecorder recorder_;
  std::string server_;
  std::string replayFolder_;
  TLogbookWriter writer_;
  uint32_t finishedSeen_;
};

}  // namespace velmora::logbook
