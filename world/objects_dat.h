// objects.dat: every fixed object of the world, one per line, CP932 text.
// A line is a keyword, a TAB and the keyword's fields: ";"-ended integers
// (decimal, or "$" hexadecimal), TAB-ended hexadecimal colours (blue, green,
// red), TAB-ended names and a trimmed rest of the line. Empty lines are
// skipped but counted. Runways also become destinations, Railway lines also
// become track records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "net/data_file.h"
#include "vehicle/renderer_api.h"
#include "world/world.h"

namespace velmora::world {

// What the loader needs from the rest of the program.
struct TObjectsLoadContext {
  uint32_t Clock = 0;      // ms, synchronised clock: start of the light periods
  double WindEast = 0;     // m/s, base wind blowing towards the east
  double WindNorth = 0;    // m/s, base wind blowing towards the north
};

struct TObjectsLoadResult {
  int32_t Code = 0;                         // 0, or kWorldLoadFailure when loading stopped
  std::optional<net::DataFileError> Error;  // what stopped it, with file and line
  // The error box text: "objects.datの形式が異常です: Line %d: %s" with an
  // excerpt of the line, then the reason on a line of its own.
  std::string Message;
  std::vector<std::string> TrackNotices;  // railway connection errors; loading still succeeds
  std::vector<std::string> Notices;       // other notes for the message log

  bool Ok() const { return Code == 0 && !Error; }
};

// Reads every object into the world (objects, destinations and their panel
// rows, track list, race start line), then builds the track connections.
// Stops at the first bad line; the objects before it stay.
TObjectsLoadResult LoadObjects(const std::filesystem::path& file, TWorld& world,
                               vehicle::RendererApi& renderer,
                               const TObjectsLoadContext& context);
TObjectsLoadResult LoadObjectsLines(const std::vector<std::string>& lines,
                                    const std::string& fileName, TWorld& world,
                                    vehicle::RendererApi& renderer,
                                    const TObjectsLoadContext& context);

// The panel text of a runway: "・" and its name, the turn from the approach
// course onto the runway, and "　横風" when the wind blows across it.
std::string DestinationRowText(const std::string& name, double x1, double y1, double x2,
                               double y2, double approachCourse, double windEast,
                               double windNorth);

}  // namespace velmora::world
