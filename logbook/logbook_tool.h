// velmora-logbook: the logbook on the command line.
//   velmora-logbook [--file PATH] list [--mission TEXT] [--vehicle TEXT]
//   velmora-logbook [--file PATH] show ID
//   velmora-logbook [--file PATH] export --csv FILE     (FILE "-" writes to the output)
// It only reads the logbook, and never changes it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace velmora::logbook {

// One event as the tool's `show` and the logbook window print it (UTF-8).
struct TEventRow;
std::string EventText(const TEventRow& event);
// The result of a run's last event in a few words: "300 ft/min やや強め" …
std::string EventSummary(const TEventRow& event);

// Runs the tool on its arguments (without the program name); `path` is the
// logbook used without --file. Returns the exit status: 0, 1 on a failure,
// 2 on a usage error or an output that is the logbook itself.
int RunTool(const std::vector<std::string>& args, const std::string& path, std::ostream& out,
            std::ostream& err);

}  // namespace velmora::logbook
