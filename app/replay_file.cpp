#include "app/replay_file.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "app/replay_entry.h"
#include "app/whole_file.h"
#include "vehicle/vehicle_state.h"

namespace velmora::app {
namespace {

constexpr std::size_t kMagicSize = 8;
constexpr std::size_t kVersionAt = 8;
constexpr std::size_t kWorldAt = 12;
constexpr std::size_t kIntervalAt = 16;
constexpr std::size_t kCountAt = 20;
constexpr std::size_t kEntrySize = state::kReplayEntrySize;
constexpr int32_t kMaxCompanions = vehicle::kRemoteSlots - 1;

void PutUint32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t GetUint32(std::string_view bytes, std::size_t at) {
  uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    v |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return v;
}

// A stored coordinate as the shortest decimal that reads back as the same
// float: a z stored from -0.6 reads -0.6, not its float's -0.600000024. Fixed
// notation, and -0 reads 0.
std::string CoordinateText(float value) {
  char text[64];
  const auto written =
      std::to_chars(text, text + sizeof text, value + 0.0f, std::chars_format::fixed);
  return std::string(text, written.ptr);
}

TReplayLoadResult Fail(const std::string& fileName, std::size_t offset, const std::string& what) {
  TReplayLoadResult result;
  result.Error = fileName + ": byte " + std::to_string(offset) + ": " + what;
  return result;
}

}  // namespace

TReplayRecording RecordingOf(const state::TMainState& s) {
  TReplayRecording recording;
  recording.WorldNo = s.WorldNo;
  recording.Entries.reserve(static_cast<std::size_t>(
      s.ReplayEnd >= s.ReplayStart ? s.ReplayEnd - s.ReplayStart
                                   : s.ReplayEnd - s.ReplayStart + state::kReplayEntries));
  for (int32_t i = s.ReplayStart; i != s.ReplayEnd; i = i + 1 >= state::kReplayEntries ? 0 : i + 1) {
    recording.Entries.push_back(s.ReplayRing[static_cast<std::size_t>(i)]);
  }
  return recording;
}

std::string SerializeReplay(const TReplayRecording& r) {
  std::string out;
  out.reserve(kReplayHeaderSize + r.Entries.size() * kEntrySize);
  out.append(kReplayMagic, kMagicSize);
  PutUint32(out, kReplayFormatVersion);
  PutUint32(out, static_cast<uint32_t>(r.WorldNo));
  PutUint32(out, r.FrameInterval);
  PutUint32(out, static_cast<uint32_t>(r.Entries.size()));
  for (const state::TReplayEntry& e : r.Entries) out.append(reinterpret_cast<const char*>(e.data()), e.size());
  return out;
}

TReplayLoadResult ParseReplay(std::string_view bytes, const std::string& fileName) {
  // The header.
  if (bytes.size() < kMagicSize ||
      std::memcmp(bytes.data(), kReplayMagic, kMagicSize) != 0) {
    if (bytes.size() < kMagicSize && std::string_view(kReplayMagic).substr(0, bytes.size()) == bytes) {
      return Fail(fileName, bytes.size(), "the file ends inside the header of 24 bytes");
    }
    return Fail(fileName, 0, "not a Velmora replay file (no \"VMREPLAY\" at its start)");
  }
  if (bytes.size() < kReplayHeaderSize) {
    return Fail(fileName, bytes.size(), "the file ends inside the header of 24 bytes");
  }
  const uint32_t version = GetUint32(bytes, kVersionAt);
  if (version != kReplayFormatVersion) {
    return Fail(fileName, kVersionAt,
                "format version " + std::to_string(version) + " is not the supported version 1");
  }
  TReplayRecording r;
  r.WorldNo = static_cast<int32_t>(GetUint32(bytes, kWorldAt));
  r.FrameInterval = GetUint32(bytes, kIntervalAt);
  if (r.FrameInterval != 20) {
    return Fail(fileName, kIntervalAt,
                "frame interval " + std::to_string(r.FrameInterval) + " ms is not 20 ms");
  }
  const uint32_t count = GetUint32(bytes, kCountAt);
  if (count == 0 || count > kMaxReplayFileEntries) {
    return Fail(fileName, kCountAt,
                "entry count " + std::to_string(count) + " is not 1.." +
                    std::to_string(kMaxReplayFileEntries));
  }
  const std::size_t expected = kReplayHeaderSize + count * kEntrySize;
  if (bytes.size() < expected) {
    const std::size_t whole = (bytes.size() - kReplayHeaderSize) / kEntrySize;
    return Fail(fileName, bytes.size(),
                "the file ends inside entry " + std::to_string(whole) + " of " +
                    std::to_string(count) + " (" + std::to_string(expected) + " bytes expected)");
  }
  if (bytes.size() > expected) {
    return Fail(fileName, expected,
                std::to_string(bytes.size() - expected) + " bytes follow the last entry");
  }

  // The entries: each one a vehicle a recording can hold.
  r.Entries.resize(count);
  int32_t headUser = 0;
  int32_t companions = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const std::size_t at = kReplayHeaderSize + i * kEntrySize;
    state::TReplayEntry& e = r.Entries[i];
    std::memcpy(e.data(), bytes.data() + at, kEntrySize);
    const auto which = [i] { return "entry " + std::to_string(i) + ": "; };
    const int32_t user = EntryUserNo(e);
    if (user == 0) return Fail(fileName, at, which() + "user number 0");
    if (i == 0) headUser = user;
    if (!vehicle::TFormTable::InRange(EntryFormNo(e))) {
      return Fail(fileName, at + 1,
                  which() + "vehicle type " + std::to_string(EntryFormNo(e)) + " is not 1..100");
    }
    for (int axis = 0; axis < 3; ++axis) {
      const float c = EntryCoordinate(e, axis);
      if (!std::isfinite(c) || std::fabs(c) > kMaxReplayCoordinate) {
        return Fail(fileName, at + 2 + 4 * static_cast<std::size_t>(axis),
                    which() + "coordinate " + std::string(1, static_cast<char>('x' + axis)) +
                        " is not a position within 1048576 m");
      }
    }
    companions = user == headUser ? 0 : companions + 1;
    if (companions > kMaxCompanions) {
      return Fail(fileName, at, which() + "more than 100 companions in one frame");
    }
  }
  TReplayLoadResult result;
  result.Recording = std::move(r);
  return result;
}

std::string CheckReplayForms(const TReplayRecording& r, const vehicle::TFormTable& forms,
                             const std::string& fileName) {
  for (std::size_t i = 0; i < r.Entries.size(); ++i) {
    const int32_t type = EntryFormNo(r.Entries[i]);
    if (!forms.IsLoaded(type)) {
      return fileName + ": byte " + std::to_string(kReplayHeaderSize + i * kEntrySize + 1) +
             ": entry " + std::to_string(i) + ": vehicle type " + std::to_string(type) +
             " is not in vehicles.dat";
    }
  }
  return {};
}

TReplayLoadResult LoadReplayFile(const std::string& path) {
  std::error_code status;
  if (std::filesystem::is_directory(path, status)) {
    return Fail(path, 0, "is a directory, not a replay file");
  }
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(path, 0, std::string("cannot open: ") + std::strerror(errno));
  // One byte more than the largest file tells an overlong file from a full one.
  std::string bytes(kMaxReplayFileSize + 1, '\0');
  errno = 0;
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return Fail(path, 0, std::string("cannot read: ") + std::strerror(errno));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return ParseReplay(bytes, path);
}

std::string SaveReplayFile(const std::string& path, const TReplayRecording& recording) {
  const int error = WriteWholeFile(path, SerializeReplay(recording));
  return error == 0 ? std::string() : path + ": cannot write: " + FileFaultEnglish(error);
}

std::string ReplaySummary(const TReplayRecording& r) {
  int32_t frames = 0;
  const int32_t own = r.Entries.empty() ? 0 : EntryUserNo(r.Entries.front());
  std::map<int32_t, int32_t> ownTypes;                    // type -> frames
  std::map<int32_t, std::map<int32_t, int32_t>> others;  // user -> type -> frames
  for (const state::TReplayEntry& e : r.Entries) {
    if (EntryUserNo(e) == own) {
      ++frames;
      ++ownTypes[EntryFormNo(e)];
    } else {
      ++others[EntryUserNo(e)][EntryFormNo(e)];
    }
  }
  const auto types = [](const std::map<int32_t, int32_t>& byType) {
    std::string text;
    for (const auto& [type, count] : byType) {
      if (!text.empty()) text += ", ";
      text += std::to_string(type) + " (" + std::to_string(count) + " frames)";
    }
    return text;
  };
  char line[160];
  std::string out;
  std::snprintf(line, sizeof line, "frames: %d\n", frames);
  out += line;
  std::snprintf(line, sizeof line, "duration: %.2f s (%u ms per frame)\n",
                frames * static_cast<double>(r.FrameInterval) / 1000.0, r.FrameInterval);
  out += line;
  out += "entries: " + std::to_string(r.Entries.size()) + "\n";
  out += "world: " + std::to_string(r.WorldNo) + "\n";
  out += "own user: " + std::to_string(own) + "\n";
  out += "own vehicle types: " + types(ownTypes) + "\n";
  out += "companions: " + std::to_string(others.size()) + "\n";
  for (const auto& [user, byType] : others) {
    out += "  user " + std::to_string(user) + ": types " + types(byType) + "\n";
  }
  return out;
}

std::string ReplayCsv(const TReplayRecording& r) {
  std::string out =
      "frame,time_s,role,user,type,kind,x_m,y_m,z_m,alt_m,heading_deg,pitch_deg,bank_deg,flap_deg,"
      "vx_m_s,vy_m_s,vz_m_s,gear,rail_speed_limit_m_s,throttle_m_s2,brake\n";
  const int32_t own = r.Entries.empty() ? 0 : EntryUserNo(r.Entries.front());
  int32_t frame = -1;
  char row[160];
  for (const state::TReplayEntry& e : r.Entries) {
    const bool head = EntryUserNo(e) == own;
    if (head) ++frame;
    vehicle::TVehicleState v;
    RestoreEntry(e, v, 0);
    int n = std::snprintf(row, sizeof row, "%d,%.3f,%s,%d,%d,%d,", frame,
                          frame * static_cast<double>(r.FrameInterval) / 1000.0,
                          head ? "own" : "companion", v.UserNo, v.FormNo, v.Kind);
    out.append(row, static_cast<std::size_t>(n));
    const float z = EntryCoordinate(e, 2);
    for (const float c : {EntryCoordinate(e, 0), EntryCoordinate(e, 1), z, 0.0f - z}) {
      out += CoordinateText(c);
      out += ',';
    }
    // Each value to the step its field stores: tenths of a degree and of a
    // m/s, whole degrees of flap.
    n = std::snprintf(row, sizeof row, "%.1f,%.1f,%.1f,%.0f,%.1f,%.1f,%.1f,",
                      static_cast<double>(v.Heading), static_cast<double>(v.Pitch),
                      static_cast<double>(v.Bank), v.Flap, v.VX, v.VY, v.VZ);
    out.append(row, static_cast<std::size_t>(n));
    if (head) {
      // Hundredths of gear travel, quarters of a m/s, tenths of a m/s².
      const TReplayControls c = RestoreControls(e);
      n = std::snprintf(row, sizeof row, "%.2f,", c.Gear);
      out.append(row, static_cast<std::size_t>(n));
      if (v.Kind == vehicle::kKindTrain) {
        n = std::snprintf(row, sizeof row, "%.2f", c.RailSpeedLimit);
        out.append(row, static_cast<std::size_t>(n));
      }
      n = std::snprintf(row, sizeof row, ",%.1f,%d", c.Throttle, c.Brake ? 1 : 0);
      out.append(row, static_cast<std::size_t>(n));
    } else {
      out += ",,,";
    }
    out += '\n';
  }
  return out;
}

std::string ReplayFolder(const char* xdgDataHome, const char* home) {
  // A relative XDG_DATA_HOME is invalid and ignored.
  if (xdgDataHome != nullptr && *xdgDataHome == '/') {
    return std::string(xdgDataHome) + "/velmora/replays";
  }
  if (home != nullptr && *home != '\0') return std::string(home) + "/.local/share/velmora/replays";
  return {};
}

std::string ReplayFileName(int year, int month, int day, int hour, int minute, int second) {
  char name[64];
  std::snprintf(name, sizeof name, "velmora-%04d%02d%02d-%02d%02d%02d.vmreplay", year, month, day,
                hour, minute, second);
  return name;
}

}  // namespace velmora::app
