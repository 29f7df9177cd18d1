// The missions file: the rows of the mission panel, the start points where a
// chosen mission places a vehicle, optional goals, and the base wind. The
// format is described in server/README.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/data_file.h"
#include "server/client_message.h"

namespace velmora::server {

// Mission panel rows a client can hold, heading rows included.
inline constexpr std::size_t kMaxPanelRows = 100;

struct StartPoint {
  int32_t FormNo = 0;    // vehicle type number; the vehicle kind is FormNo div 10
  double X = 0;          // m, east, absolute
  double Y = 0;          // m, north, absolute
  double Height = 0;     // m, above the ground (up positive)
  double Heading = 0;    // deg, clockwise from north
  double Pitch = 0;      // deg, nose up
  double Speed = 0;      // m/s, horizontal, along the heading
  double Flap = 0;       // deg, flap angle
};

// A run ends as finished when the vehicle comes within Radius of the point
// no faster than MaxSpeed.
struct MissionGoal {
  double X = 0;         // m, east, absolute
  double Y = 0;         // m, north, absolute
  double Height = 0;    // m, above the ground
  double Radius = 0;    // m
  double MaxSpeed = 0;  // m/s
};

struct Mission {
  std::string Title;               // UTF-8, the panel row
  int32_t GroupNo = 0;             // group of every vehicle the mission places
  bool Practice = false;           // landing practice: placed with vehicle kind 0
  std::vector<StartPoint> Starts;  // at least one; users share them in turn
  std::optional<MissionGoal> Goal;
};

struct MissionsFile {
  std::vector<std::string> Headings;  // UTF-8, the panel's fixed rows
  std::vector<Mission> Missions;
  double WindEast = 0;   // m/s, base wind towards the east
  double WindNorth = 0;  // m/s, base wind towards the north
};

struct MissionsLoad {
  MissionsFile Missions;
  std::optional<net::DataFileError> Error;
};

// Reads a missions file (UTF-8 text).
MissionsLoad LoadMissions(const std::filesystem::path& path);
// The same for the file's bytes in memory; name goes into the error.
MissionsLoad ParseMissions(std::string_view bytes, const std::string& name);

// The record that places a vehicle of user `userNo` at a start point: kind
// FormNo div 10, or 0 for a practice mission.
WireVehicle StartRecord(const Mission& mission, const StartPoint& start, int32_t userNo);

}  // namespace velmora::server
