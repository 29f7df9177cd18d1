// The saved replay file: a recording kept after the run, to open again with
// `velmora --replay FILE` or to export with velmora-replay. Little-endian:
//
//   offset  size  content
//        0     8  magic "VMREPLAY"
//        8     4  format version, 1
//       12     4  world number (signed)
//       16     4  frame interval in ms, 20
//       20     4  entry count n, 1..5999
//       24  30·n  the ring's entries, oldest first; the first is a head entry
//
// A file that ends early, carries more bytes, names another format or holds an
// entry no recording makes is refused with its name and the byte offset of the
// first fault.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/main_state.h"
#include "vehicle/vehicle_state.h"

namespace velmora::app {

inline constexpr char kReplayMagic[] = "VMREPLAY";         // 8 bytes, no terminator in the file
inline constexpr uint32_t kReplayFormatVersion = 1;
inline constexpr std::size_t kReplayHeaderSize = 24;       // bytes
inline constexpr uint32_t kMaxReplayFileEntries = state::kReplayEntries - 1;  // a full ring
inline constexpr std::size_t kMaxReplayFileSize =
    kReplayHeaderSize + kMaxReplayFileEntries * state::kReplayEntrySize;

// A recording as the file holds it.
struct TReplayRecording {
  int32_t WorldNo = 0;
  uint32_t FrameInterval = 20;                 // ms
  std::vector<state::TReplayEntry> Entries;    // oldest first, the first a head
};

struct TReplayLoadResult {
  std::optional<TReplayRecording> Recording;
  std::string Error;  // "FILE: byte N: what is wrong", when Recording is empty
};

// The ring's entries, oldest first, in a recording.
TReplayRecording RecordingOf(const state::TMainState& state);

// The file's bytes for a recording.
std::string SerializeReplay(const TReplayRecording& recording);

// Reads a file's bytes; fileName only names the file in the error.
TReplayLoadResult ParseReplay(std::string_view bytes, const std::string& fileName);

// Whether the installation knows every vehicle type a recording shows: empty,
// or "FILE: byte N: entry k: vehicle type T is not in vehicles.dat".
std::string CheckReplayForms(const TReplayRecording& recording, const vehicle::TFormTable& forms,
                             const std::string& fileName);

// Reads and parses a file; never reads more than a file of a full ring. A
// folder is refused as one.
TReplayLoadResult LoadReplayFile(const std::string& path);

// Writes the file; empty on success, else "PATH: cannot write: " and the
// reason. The file appears whole or not at all (see WriteWholeFile).
std::string SaveReplayFile(const std::string& path, const TReplayRecording& recording);

// A short text about a recording: frames, duration, world, the own vehicle's
// types and the companions with their types. Lines end with LF.
std::string ReplaySummary(const TReplayRecording& recording);

// The recording as CSV: a header row, then one row per vehicle per frame, in
// SI units (m, m/s, m/s², degrees, seconds from the oldest frame), each value
// written to the step its field stores. Beside the stored z (down) stands
// alt_m, the height up. Gear, rail speed limit, throttle and brake are left
// empty on companion rows, and the rail speed limit on the rows of own
// vehicles that are no trains.
std::string ReplayCsv(const TReplayRecording& recording);

// The folder saved replays go to: $XDG_DATA_HOME/velmora/replays, or
// $HOME/.local/share/velmora/replays when XDG_DATA_HOME is unset, empty or
// relative (null arguments count as unset). Empty when neither is set.
std::string ReplayFolder(const char* xdgDataHome, const char* home);

// The file name for a save at the given local date and time:
// "velmora-YYYYMMDD-HHMMSS.vmreplay".
std::string ReplayFileName(int year, int month, int day, int hour, int minute, int second);

}  // namespace velmora::app
