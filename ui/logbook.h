// The logbook: every run with its touchdowns, stops and race times, kept in
// an SQLite file (one row per run, one per event), written off the tick's
// thread by TLogbookWriter, read by the logbook window and velmora-logbook.
// Shell-side code: the core hands over plain records (state/run_figures.h).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "state/main_state.h"

struct sqlite3;

namespace velmora::ui::logbook {

// The schema this program writes. Version 1 lacked the server, the world
// number and the replay link of a run; it is migrated on opening.
inline constexpr int kSchemaVersion = 2;

struct TEventRow {
  int64_t Id = 0;
  int32_t Seq = 0;           // order within the run, from 0
  std::string Kind;          // "touchdown", "stop", "race"
  double At = 0;             // s after the run's start
  std::string Runway;        // touchdown: the runway's name, empty off every runway
  double SinkRate = 0;       // m/s
  double VerticalLoad = 0;   // g
  double Airspeed = 0;       // m/s
  double GroundSpeed = 0;    // m/s
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
};

// What only the shell knows about a run.
struct TRunContext {
  std::string Started, Ended;  // local time
  std::string Handle, Server;
  std::string Replay;
};

// A run's row from the core's record.
TRunRow RowOf(const state::TMainState& state, const state::TRunRecord& run,
              const TRunContext& context);

// $XDG_DATA_HOME/velmora/logbook.sqlite, ~/.local/share/velmora/logbook.sqlite
// when unset; empty when neither is known.
std::string DefaultPath(const char* xdgDataHome, const char* home);

// Runs as CSV (RFC 4180, UTF-8): one line per event with its run's columns,
// one line for a run without events. Header line first.
void WriteCsv(std::ostream& out, const std::vector<TRunRow>& runs);

struct TFilter {
  std::string Mission;  // part of the mission's text; empty: every mission
  std::string Vehicle;  // part of the vehicle's name; empty: every vehicle
};

// One connection to a logbook file. Every failure is returned as a Japanese
// message naming the file.
class TLogbookStore {
 public:
  explicit TLogbookStore(std::string path, int busyTimeoutMs = 2000);
  ~TLogbookStore();
  TLogbookStore(const TLogbookStore&) = delete;
  TLogbookStore& operator=(const TLogbookStore&) = delete;

  // Opens the file, creating it and its folder when missing, in WAL mode, and
  // migrates an older schema. A newer schema is refused and left unchanged.
  std::optional<std::string> Open();
  bool IsOpen() const { return db_ != nullptr; }
  // Writes a run and its events in one transaction; sets their ids.
  std::optional<std::string> Insert(TRunRow& run);
  // Runs newest first, without their events.
  std::optional<std::string> List(const TFilter& filter, std::vector<TRunRow>& out);
  // One run with its events; nullopt result and empty `out.Started` when absent.
  std::optional<std::string> Find(int64_t id, TRunRow& out, bool& found);
  // For tests: a page limit that makes the file "full".
  void SetMaxPageCount(int pages);
  const std::string& Path() const { return path_; }

 private:
  std::optional<std::string> Fail(const std::string& what);
  std::optional<std::string> Exec(const char* sql);
  void Close();

  std::string path_;
  int busyTimeoutMs_;
  int maxPageCount_ = 0;
  sqlite3* db_ = nullptr;
};

// Writes runs on a worker thread; the caller never waits on the file. A run
// that cannot be written stays in memory, is copied as CSV into a plain file
// beside the logbook (path + ".unsaved.csv") and is written at the next
// chance: the next run, or a retry every retryMs. One message says why and
// where they are, another when the runs kept back have been written.
class TLogbookWriter {
 public:
  explicit TLogbookWriter(std::string path, int busyTimeoutMs = 2000, int retryMs = 30000);
  ~TLogbookWriter();  // writes what it can, then stops

  void Submit(TRunRow run);
  // Waits until every submitted run has been tried once (at most timeoutMs).
  bool Flush(int timeoutMs);
  // Messages for the log since the last call (UTF-8).
  std::vector<std::string> TakeMessages();
  // Runs kept back after a failure.
  std::size_t Unsaved() const;
  // Rows written, with their ids: the newest last.
  std::vector<TRunRow> TakeWritten();
  std::string UnsavedPath() const { return path_ + ".unsaved.csv"; }
  // For tests: the file's page limit, applied when the writer opens it.
  void SetMaxPageCount(int pages);

 private:
  void Loop();
  void WriteUnsaved(const std::string& reason);

  std::string path_;
  int busyTimeoutMs_;
  int retryMs_;
  int maxPageCount_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<TRunRow> queue_;
  std::vector<TRunRow> unsaved_;
  std::vector<std::string> messages_;
  std::vector<TRunRow> written_;
  bool stop_ = false;
  bool busy_ = false;
  bool failing_ = false;
  std::thread thread_;
};

}  // namespace velmora::ui::logbook
