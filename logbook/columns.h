// The logbook's columns: every field of a run and of an event once, with its
// name and declaration in the file, the schema version that added it, and
// its heading, unit and rounding in the CSV. The file's tables, the SQL that
// writes and reads the rows, and the CSV are all made from these two tables.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "logbook/logbook.h"
#include "vehicle/units.h"

namespace velmora::logbook::columns {

// Visits a column's member with the lambda for its kind.
template <class... F>
struct TOverloaded : F... {
  using F::operator()...;
};
template <class... F>
TOverloaded(F...) -> TOverloaded<F...>;

// The events whose CSV cell holds a column's value; other events leave it empty.
enum TEventKinds : unsigned {
  kAnyEvent = 1,
  kTouchdown = 2,
  kStop = 4,
  kMissedStop = 8,
  kRace = 16,
};

// The row's member a column holds: the id (int64_t, the file's own, never
// read back from a CSV), a number or a text; none for the event's link to
// its run, which the row does not hold.
template <class Row>
using TField =
    std::variant<std::monostate, int64_t Row::*, int32_t Row::*, double Row::*, std::string Row::*>;

template <class Row>
struct TColumn {
  TField<Row> Field;
  const char* Name;              // in the file; null: a CSV column for people, never read back
  const char* Declared;          // type and constraints, as the table was made with them
  int Since;                     // the schema version that added it
  const char* Heading;           // in the CSV; null: not in the CSV
  const char* Rounded = "%.3f";  // a number as the CSV gives it to people
  double Scale = 1;              // CSV unit per stored unit
  unsigned Kinds = kAnyEvent;    // the events whose cell holds the value
};

constexpr double kKt = units::kKnotsPerMetrePerSecond;
constexpr double kKmh = units::kKmhPerMetrePerSecond;
constexpr double kFpm = units::kFeetPerMinutePerMetrePerSecond;
constexpr unsigned kStops = kStop | kMissedStop;

// In the order of the CSV and of the rows' members; a table keeps the order
// in which its columns were made (version 1, then those added since).
inline constexpr TColumn<TRunRow> kRun[] = {
    {&TRunRow::Id, "id", "INTEGER PRIMARY KEY", 1, "run"},
    {&TRunRow::Started, "started", "TEXT NOT NULL", 1, "started"},
    {&TRunRow::Ended, "ended", "TEXT NOT NULL", 1, "ended"},
    {&TRunRow::Duration, "duration", "REAL NOT NULL", 1, "duration_s"},
    {&TRunRow::Mission, "mission", "TEXT NOT NULL", 1, "mission"},
    {&TRunRow::VehicleKind, "vehicle_kind", "INTEGER NOT NULL", 1, "vehicle_kind"},
    {&TRunRow::VehicleType, "vehicle_type", "INTEGER NOT NULL", 1, "vehicle_type"},
    {&TRunRow::Vehicle, "vehicle", "TEXT NOT NULL", 1, "vehicle"},
    {&TRunRow::Handle, "handle", "TEXT NOT NULL", 1, "handle"},
    {&TRunRow::Server, "server", "TEXT NOT NULL DEFAULT ''", 2, "server"},
    {&TRunRow::WorldNo, "world", "INTEGER NOT NULL DEFAULT 0", 2, "world"},
    {&TRunRow::Distance, "distance", "REAL NOT NULL", 1, "distance_m"},
    {&TRunRow::TopSpeed, "top_speed", "REAL NOT NULL", 1, "top_speed_ms"},
    {&TRunRow::TopHeight, "top_height", "REAL NOT NULL", 1, "top_height_m"},
    {&TRunRow::Ending, "ending", "TEXT NOT NULL", 1, "ending"},
    {&TRunRow::CrashMessage, "crash_message", "TEXT NOT NULL", 1, "crash_message"},
    {&TRunRow::Replay, "replay", "TEXT NOT NULL DEFAULT ''", 2, "replay"},
};

inline constexpr TColumn<TEventRow> kEvent[] = {
    {&TEventRow::Id, "id", "INTEGER PRIMARY KEY", 1, nullptr},
    {{}, "run_id", "INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE", 1, nullptr},
    {&TEventRow::Seq, "seq", "INTEGER NOT NULL", 1, "event"},
    {&TEventRow::Kind, "kind", "TEXT NOT NULL", 1, "kind"},
    {&TEventRow::At, "at", "REAL NOT NULL", 1, "at_s"},
    {&TEventRow::Runway, "runway", "TEXT NOT NULL", 1, "runway"},
    {&TEventRow::SinkRate, "sink_rate", "REAL", 1, "sink_rate_ms", "%.3f", 1, kTouchdown},
    {&TEventRow::SinkRate, nullptr, nullptr, 1, "sink_rate_fpm", "%.0f", kFpm, kTouchdown},
    {&TEventRow::VerticalLoad, "vertical_load", "REAL", 1, "vertical_load_g", "%.3f", 1,
     kTouchdown},
    {&TEventRow::Airspeed, "airspeed", "REAL", 1, "airspeed_kt", "%.1f", kKt, kTouchdown},
    {&TEventRow::GroundSpeed, "ground_speed", "REAL", 1, "ground_speed_kt", "%.1f", kKt,
     kTouchdown | kMissedStop},
    {&TEventRow::Pitch, "pitch", "REAL", 1, "pitch_deg", "%.2f", 1, kTouchdown},
    {&TEventRow::Bank, "bank", "REAL", 1, "bank_deg", "%.2f", 1, kTouchdown},
    {&TEventRow::PastThreshold, "past_threshold", "REAL", 1, "past_threshold_m", "%.1f", 1,
     kTouchdown},
    {&TEventRow::FromAimPoint, "from_aim_point", "REAL", 1, "from_aim_point_m", "%.1f", 1,
     kTouchdown},
    {&TEventRow::CentreLine, "centre_line", "REAL", 1, "centre_line_m", "%.2f", 1, kTouchdown},
    {&TEventRow::Bounces, "bounces", "INTEGER", 1, "bounces", nullptr, 1, kTouchdown},
    {&TEventRow::Grade, "grade", "TEXT", 1, "grade"},
    {&TEventRow::StopError, "stop_error", "REAL", 1, "stop_error_m", "%.3f", 1, kStops},
    {&TEventRow::OverLimit, "over_limit", "REAL", 1, "over_limit_kmh", "%.1f", kKmh, kStops},
    {&TEventRow::ProtectionBrakes, "protection_brakes", "INTEGER", 1, "protection_brakes", nullptr,
     1, kStops},
    {&TEventRow::SinceDeparture, "since_departure", "REAL", 1, "since_departure_s", "%.1f", 1,
     kStops},
    {&TEventRow::RaceTime, "race_time", "REAL", 1, "race_time_s", "%.3f", 1, kRace},
};

}  // namespace velmora::logbook::columns
