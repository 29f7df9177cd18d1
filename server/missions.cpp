#include "server/missions.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>

#include "net/text_encoding.h"
#include "vehicle/geometry.h"

namespace velmora::server {
namespace {

constexpr int kMaxFormNo = 100;
constexpr int kMaxKind = 4;
constexpr double kCentimetresPerMetre = 100.0;
constexpr double kHundredthsPerDegree = 100.0;

// Limits that keep every start value far inside the wire's number range.
constexpr double kMaxCoordinate = 1e7;  // m, 10000 km from the origin
constexpr double kMaxAngle = 1e6;       // deg
constexpr double kMaxSpeed = 1e4;       // m/s
constexpr double kMaxFlap = 90;         // deg

bool InWorld(double x, double y, double height, std::string& reason) {
  if (std::fabs(x) > kMaxCoordinate || std::fabs(y) > kMaxCoordinate ||
      std::fabs(height) > kMaxCoordinate) {
    reason = "the position lies more than 10000 km from the origin";
    return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Splits off the first blank-separated word.
std::string_view NextWord(std::string_view& text) {
  text = Trim(text);
  std::size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  const std::string_view word = text.substr(0, end);
  text.remove_prefix(end);
  return word;
}

class LineParser {
 public:
  LineParser(std::string_view rest, std::string_view keyword) : rest_(rest), keyword_(keyword) {}

  // Reads `count` numbers; false with a reason when there are fewer, more,
  // or one is not a finite decimal number.
  bool Numbers(std::size_t count, double* out, std::string& reason) {
    for (std::size_t i = 0; i < count; ++i) {
      const std::string_view word = NextWord(rest_);
      if (word.empty()) {
        reason = "'" + net::Excerpt(keyword_) + "' needs " + std::to_string(count) + " numbers";
        return false;
      }
      double value = 0;
      const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
      if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) {
        reason = "'" + net::Excerpt(word) + "' is not a number";
        return false;
      }
      out[i] = value;
    }
    if (!Trim(rest_).empty()) {
      reason = "'" + net::Excerpt(keyword_) + "' takes " + std::to_string(count) +
               " numbers, more follow: '" + net::Excerpt(Trim(rest_)) + "'";
      return false;
    }
    return true;
  }

 private:
  std::string_view rest_;
  std::string_view keyword_;
};

// A panel text must survive the trip to CP932 and may not hold a field end.
bool CheckPanelText(std::string_view text, std::string& reason) {
  if (text.empty()) {
    reason = "the text is empty";
    return false;
  }
  if (text.find('\t') != std::string_view::npos) {
    reason = "the text holds a TAB";
    return false;
  }
  if (!net::Utf8ToCp932(text).Ok) {
    reason = "the text holds a character that Shift-JIS cannot express (or is not UTF-8)";
    return false;
  }
  return true;
}

bool ParseLine(std::string_view line, MissionsFile& file, bool& windSeen, std::string& reason) {
  std::string_view rest = line;
  const std::string_view keyword = NextWord(rest);
  const std::string_view text = Trim(rest);
  Mission* mission = file.Missions.empty() ? nullptr : &file.Missions.back();
  const auto needMission = [&]() {
    if (mission == nullptr) reason = "'" + net::Excerpt(keyword) + "' comes before any 'mission'";
    return mission != nullptr;
  };
  LineParser numbers(rest, keyword);

  if (keyword == "heading") {
    if (!file.Missions.empty()) {
      reason = "heading rows must come before the first mission";
      return false;
    }
    if (!CheckPanelText(text, reason)) return false;
    file.Headings.emplace_back(text);
  } else if (keyword == "mission") {
    if (!CheckPanelText(text, reason)) return false;
    if (file.Headings.size() + file.Missions.size() >= kMaxPanelRows) {
      reason = "more than " + std::to_string(kMaxPanelRows) + " panel rows";
      return false;
    }
    file.Missions.push_back(Mission{std::string(text), 0, false, {}, std::nullopt});
  } else if (keyword == "wind") {
    if (windSeen) {
      reason = "a second 'wind' line";
      return false;
    }
    double wind[2];
    if (!numbers.Numbers(2, wind, reason)) return false;
    file.WindEast = wind[0];
    file.WindNorth = wind[1];
    windSeen = true;
  } else if (keyword == "group") {
    if (!needMission()) return false;
    double group = 0;
    if (!numbers.Numbers(1, &group, reason)) return false;
    if (group < 0 || group > 1e9 || group != std::floor(group)) {
      reason = "the group number must be a whole number from 0 to 1000000000";
      return false;
    }
    mission->GroupNo = static_cast<int32_t>(group);
  } else if (keyword == "practice") {
    if (!needMission()) return false;
    if (!text.empty()) {
      reason = "'practice' takes nothing after it";
      return false;
    }
    mission->Practice = true;
  } else if (keyword == "start") {
    if (!needMission()) return false;
    double v[8];
    if (!numbers.Numbers(8, v, reason)) return false;
    if (v[0] < 1 || v[0] > kMaxFormNo || v[0] != std::floor(v[0]) ||
        static_cast<int>(v[0]) / 10 < 1 || static_cast<int>(v[0]) / 10 > kMaxKind) {
      reason = "the vehicle type must be a whole number from 10 to 49 (its kind is type div 10)";
      return false;
    }
    if (v[5] < -90 || v[5] > 90) {
      reason = "the pitch must lie within -90..90 degrees";
      return false;
    }
    if (!InWorld(v[1], v[2], v[3], reason)) return false;
    if (std::fabs(v[4]) > kMaxAngle || std::fabs(v[6]) > kMaxSpeed) {
      reason = "the heading or the speed is out of range";
      return false;
    }
    if (v[7] < 0 || v[7] > kMaxFlap) {
      reason = "the flap angle must lie within 0..90 degrees";
      return false;
    }
    mission->Starts.push_back(
        StartPoint{static_cast<int32_t>(v[0]), v[1], v[2], v[3], v[4], v[5], v[6], v[7]});
  } else if (keyword == "goal") {
    if (!needMission()) return false;
    if (mission->Goal) {
      reason = "a second 'goal' in one mission";
      return false;
    }
    double v[5];
    if (!numbers.Numbers(5, v, reason)) return false;
    if (!InWorld(v[0], v[1], v[2], reason)) return false;
    if (v[3] <= 0 || v[3] > kMaxCoordinate) {
      reason = "the goal radius must be positive and within the world";
      return false;
    }
    mission->Goal = MissionGoal{v[0], v[1], v[2], v[3], v[4]};
  } else {
    reason = "unknown keyword '" + net::Excerpt(keyword) + "'";
    return false;
  }
  return true;
}

// What a finished mission block must hold.
bool CheckMission(const Mission& mission, std::string& reason) {
  if (mission.Starts.empty()) {
    reason = "mission '" + net::Excerpt(mission.Title) + "' has no 'start' line";
    return false;
  }
  if (mission.Practice) {
    for (const StartPoint& start : mission.Starts) {
      if (start.FormNo != 10 && start.FormNo != 11) {
        reason = "practice mission '" + net::Excerpt(mission.Title) + "' must start an airliner (type 10 or 11)";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

MissionsLoad ParseMissions(std::string_view bytes, const std::string& name) {
  MissionsLoad load;
  MissionsFile& file = load.Missions;
  bool windSeen = false;
  int lineNo = 0;
  int missionLine = 0;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = Trim(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    ++lineNo;
    if (line.empty() || line.front() == '#') continue;

    std::string reason;
    const std::size_t missionsBefore = file.Missions.size();
    std::string_view words = line;
    if (missionsBefore > 0 && NextWord(words) == "mission" &&
        !CheckMission(file.Missions.back(), reason)) {
      load.Error = net::DataFileError{name, missionLine, reason};
      return load;
    }
    if (!ParseLine(line, file, windSeen, reason)) {
      load.Error = net::DataFileError{name, lineNo, reason};
      return load;
    }
    if (file.Missions.size() != missionsBefore) missionLine = lineNo;
  }
  std::string reason;
  if (file.Missions.empty()) {
    load.Error = net::DataFileError{name, 0, "the file holds no mission"};
  } else if (!CheckMission(file.Missions.back(), reason)) {
    load.Error = net::DataFileError{name, missionLine, reason};
  }
  return load;
}

MissionsLoad LoadMissions(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::error_code status;
  if (std::filesystem::is_directory(path, status)) {
    MissionsLoad load;
    load.Error = net::DataFileError{name, 0, "is a directory, not a file"};
    return load;
  }
  std::ifstream stream(path, std::ios::binary);
  if (!stream) {
    MissionsLoad load;
    load.Error = net::DataFileError{name, 0, "cannot open the file"};
    return load;
  }
  const std::string bytes((std::istreambuf_iterator<char>(stream)),
                          std::istreambuf_iterator<char>());
  return ParseMissions(bytes, name);
}

WireVehicle StartRecord(const Mission& mission, const StartPoint& start, int32_t userNo) {
  WireVehicle v;
  v.UserNo = userNo;
  v.GroupNo = mission.GroupNo;
  v.Kind = mission.Practice ? 0 : start.FormNo / 10;
  v.FormNo = start.FormNo;
  v.X = std::round(start.X * kCentimetresPerMetre);
  v.Y = std::round(start.Y * kCentimetresPerMetre);
  v.Z = std::round(-start.Height * kCentimetresPerMetre);
  const double heading = vehicle::Normalise360(std::fmod(start.Heading, 360.0));
  v.Heading = static_cast<int32_t>(std::lround(heading * kHundredthsPerDegree));
  v.Pitch = static_cast<int32_t>(std::lround(start.Pitch * kHundredthsPerDegree));
  v.Bank = 0;
  v.Flap = static_cast<int32_t>(std::lround(start.Flap * kHundredthsPerDegree));
  v.VX = static_cast<int32_t>(
      std::lround(vehicle::SinDeg(heading) * start.Speed * kCentimetresPerMetre));
  v.VY = static_cast<int32_t>(
      std::lround(vehicle::CosDeg(heading) * start.Speed * kCentimetresPerMetre));
  v.VZ = 0;
  return v;
}

}  // namespace velmora::server
