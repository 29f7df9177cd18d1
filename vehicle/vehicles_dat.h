// vehicles.dat: one vehicle type per line, CP932 text, no header, no comments,
// no blank lines. A line is
//   type;restZ;wheelbase;eyeRight;eyeUp;eyeForward;scale;drag;lift;zeroLift;name<TAB>shape
// with restZ..scale and zeroLift in thousandths, drag and lift in millionths.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/data_file.h"
#include "vehicle/renderer_api.h"
#include "vehicle/vehicle_state.h"

namespace velmora::vehicle {

// One parsed line of vehicles.dat.
struct TVehicleLine {
  int FormNo = 0;         // 1..100
  TFormParam Param;       // the type record, scaled to SI units
  std::string ShapeStem;  // mesh file name without its ending; may be empty
};

// Parses one line (UTF-8, without its line end). On failure returns nothing
// and, when reason is given, says what was wrong.
std::optional<TVehicleLine> ParseVehicleLine(std::string_view line, std::string* reason = nullptr);

struct TVehicleLoadResult {
  int32_t RendererResult = 0;             // the first nonzero DXLoadVehicleForm result
  // What stopped the loading: the file could not be read, a line is malformed,
  // or the renderer refused a shape (then RendererResult is its result too).
  std::optional<net::DataFileError> Error;
  std::vector<std::string> Notices;  // for the message log; loading still succeeds

  bool Ok() const { return RendererResult == 0 && !Error; }
};

// Reads the file into the table line by line (a later line with the same type
// number overwrites the earlier entry) and asks the renderer to load each
// line's shape under its type number with the switch distance Scale × 10.
// Stops at the first malformed line or failing renderer call; the lines before
// it stay loaded.
TVehicleLoadResult LoadVehicleTypes(const std::filesystem::path& file, TFormTable& table,
                                    vehicle::RendererApi& renderer);

// The same for lines already read; fileName goes into the error.
TVehicleLoadResult LoadVehicleLines(const std::vector<std::string>& lines,
                                    const std::string& fileName, TFormTable& table,
                                    vehicle::RendererApi& renderer);

}  // namespace velmora::vehicle
