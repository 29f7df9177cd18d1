// velmora-logbook: the logbook on the command line.
//   velmora-logbook [--file PATH] list [--mission TEXT] [--vehicle TEXT]
//   velmora-logbook [--file PATH] show ID
//   velmora-logbook [--file PATH] export --csv FILE     (FILE "-" writes to the output)
//   velmora-logbook [--file PATH] export --trace ID --csv FILE
//   velmora-logbook [--file PATH] plot ID --png FILE [--size WxH] [--compare ID]
//   velmora-logbook [--file PATH] best [--mission TEXT]
// It only reads the logbook, and never changes it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/run_charts.h"

namespace velmora::logbook {

class TLogbookStore;
struct TRunRow;

// Draws charts as a PNG picture of width × height pixels; empty when it cannot.
using TPlotter =
    std::function<std::string(const std::vector<app::TChart>& charts, int width, int height)>;

// The charts of a run (read with its events) from its trace: with the run
// `compare` overlaid (0: none; it must be of the same mission), or else, for
// a run that holds no best of its own, the mission's best run of its kind
// ("自己ベスト"). A failure is returned as a Japanese message.
std::optional<std::string> ChartsOfRun(TLogbookStore& store, const TRunRow& run, int64_t compare,
                                       std::vector<app::TChart>& out);

// One event as the tool's `show` and the logbook window print it (UTF-8).
struct TEventRow;
std::string EventText(const TEventRow& event);
// The result of a run's last event in a few words: "300 ft/min やや強め" …
std::string EventSummary(const TEventRow& event);

// Runs the tool on its arguments (without the program name); `path` is the
// logbook used without --file. Returns the exit status: 0, 1 on a failure,
// 2 on a usage error or an output that is the logbook itself.
// `plot` draws its charts with `plot`; without one it fails.
int RunTool(const std::vector<std::string>& args, const std::string& path, std::ostream& out,
            std::ostream& err, const TPlotter& plot = {});

}  // namespace velmora::logbook
