#include "app/replay.h"

#include <filesystem>
#include <system_error>

#include "app/replay_entry.h"
#include "app/reset.h"
#include "app/whole_file.h"
#include "physics/railway.h"

namespace velmora::app {
namespace {

constexpr int32_t kMaxCompanions = vehicle::kRemoteSlots - 1;  // the last slot ends the list

state::TReplayEntry& Entry(state::TMainState& s, int32_t index) {
  return s.ReplayRing[static_cast<std::size_t>(index)];
}

// Advances ring end past a written entry. When the ring is full the oldest
// frame gives way whole: ring start moves on to the next head.
void AdvanceRingEnd(state::TMainState& s) {
  s.ReplayEnd = NextRingIndex(s.ReplayEnd);
  if (s.ReplayEnd != s.ReplayStart) return;
  do {
    s.ReplayStart = NextRingIndex(s.ReplayStart);
  } while (s.ReplayStart != s.ReplayEnd && !IsHeadEntry(s, s.ReplayStart));
}

// Keeps a long stall from being replayed frame by frame in one tick.
void CatchUpWithin(state::TMainState& s, uint32_t now) {
  if (state::ClockDiff(now, s.NextFrameTime) > kReplayCatchUpLimit) s.NextFrameTime = now;
}

// Moves the play index back one frame at a time, at most `frames` frames and
// never before ring start.
void StepBack(state::TMainState& s, int32_t frames) {
  int32_t met = 0;
  while (s.PlayIndex != s.ReplayStart) {
    s.PlayIndex = PreviousRingIndex(s.PlayIndex);
    if (IsHeadEntry(s, s.PlayIndex) && ++met == frames) return;
  }
}

// Why the ring is empty, for a save that finds nothing: a user number no
// entry holds (no run of this user is recorded, so it comes first), then
// recording that waits for the server to place a vehicle, then a vehicle
// whose type or position does not fit an entry.
std::string WhyNothingRecorded(const state::TMainState& s) {
  const TUnrecordable why = WhyUnrecordable(s.Own, s.OriginX, s.OriginY);
  if (why == TUnrecordable::UserNo) {
    return "利用者番号 " + std::to_string(s.Own.UserNo) +
           " は録画できる範囲 (-128..127) の外です。";
  }
  if (s.ReplayMode != kReplayRecording) return "録画は車両が配置されてから始まります。";
  if (s.Own.Kind == vehicle::kKindNone) return "車両に乗っていません。";
  if (why == TUnrecordable::FormNo) {
    return "車両の型 " + std::to_string(s.Own.FormNo) + " は録画できる範囲 (1..100) の外です。";
  }
  if (why == TUnrecordable::Position) return "車両の位置が録画できる範囲 (±1048576 m) の外です。";
  return "まだ1コマも録画していません。";
}

}  // namespace

int32_t NextRingIndex(int32_t index) { return index + 1 >= state::kReplayEntries ? 0 : index + 1; }

int32_t PreviousRingIndex(int32_t index) {
  return index <= 0 ? state::kReplayEntries - 1 : index - 1;
}

int32_t ReplayEntryCount(const state::TMainState& s) {
  const int32_t n = s.ReplayEnd - s.ReplayStart;
  return n < 0 ? n + state::kReplayEntries : n;
}

bool IsHeadEntry(const state::TMainState& s, int32_t index) {
  return EntryUserNo(s.ReplayRing[static_cast<std::size_t>(index)]) == s.Own.UserNo;
}

bool IsCompanion(const state::TMainState& s, const vehicle::TVehicleState& v) {
  if (s.Own.PartnerNo != 0 && v.UserNo == s.Own.PartnerNo) return true;
  const bool fighter = vehicle::IsFighter(s.Own.FormNo);
  return fighter && (v.Kind == vehicle::kKindAircraft || v.Kind == vehicle::kKindNoGravity) &&
         v.GroupNo == s.Own.GroupNo;
}

void RecordReplay(state::TMainState& s, uint32_t now) {
  CatchUpWithin(s, now);
  while (state::ClockDiff(now, s.NextFrameTime) >= 0) {
    s.NextFrameTime += kReplayFrameInterval;
    // The head: the own vehicle with its gear, rail limit and throttle. A
    // vehicle that cannot be recorded leaves the frame out whole.
    state::TReplayEntry& head = Entry(s, s.ReplayEnd);
    if (!StoreEntry(head, s.Own, s.OriginX, s.OriginY)) continue;
    StoreControls(head, {s.Gear, s.RailSpeedLimit, s.Throttle, s.Brake != 0});
    AdvanceRingEnd(s);

    // The companions, in the order of the remote list.
    const int count = vehicle::RemoteCount(s.Remote);
    for (int i = 0; i < count; ++i) {
      const vehicle::TVehicleState& v = s.Remote[static_cast<std::size_t>(i)];
      if (v.UserNo == s.Own.UserNo || !IsCompanion(s, v)) continue;
      if (StoreEntry(Entry(s, s.ReplayEnd), v, s.OriginX, s.OriginY)) AdvanceRingEnd(s);
    }
  }
}

void ReplayPlaybackStep(state::TMainState& s, uint32_t now) {
  CatchUpWithin(s, now);
  while (state::ClockDiff(now, s.NextFrameTime) >= 0) {
    s.NextFrameTime += kReplayFrameInterval;
    if (s.ReplayEnd == s.ReplayStart) continue;  // nothing recorded

    // The own vehicle and its controls from the head.
    const int32_t h = s.PlayIndex;
    if (IsHeadEntry(s, h)) {
      const state::TReplayEntry& head = Entry(s, h);
      RestoreEntry(head, s.Own, now);
      const TReplayControls controls = RestoreControls(head);
      s.Gear = controls.Gear;
      s.RailSpeedLimit = controls.RailSpeedLimit;
      s.Throttle = controls.Throttle;
      s.Brake = controls.Brake ? 1 : 0;
    }

    // Recorded trains hold no track: the marks of live trains would block it.
    physics::ClearTrackMarks(s);

    // The companions become the remote list.
    int32_t k = NextRingIndex(h);
    int32_t i = 0;
    for (; k != s.ReplayEnd && !IsHeadEntry(s, k); k = NextRingIndex(k)) {
      if (i < kMaxCompanions) RestoreEntry(Entry(s, k), s.Remote[static_cast<std::size_t>(i++)], now);
    }
    s.Remote[static_cast<std::size_t>(i)].UserNo = 0;

    // The next frame to show.
    switch (s.ReplayMode) {
      case kReplayFastReverse:
        StepBack(s, kFastReverseFrames);
        break;
      case kReplayReverse:
        StepBack(s, 1);
        break;
      case kReplayPlay:
        if (k != s.ReplayEnd) s.PlayIndex = k;  // at the end the last frame stays
        break;
      case kReplayFastPlay: {
        int32_t met = 0;
        for (; k != s.ReplayEnd; k = NextRingIndex(k)) {
          if (!IsHeadEntry(s, k)) continue;
          s.PlayIndex = k;
          if (++met == kFastPlayFrames) break;
        }
        break;
      }
      default:  // pause
        break;
    }
  }
}

void StringGridVideoClick(state::TMainState& s, int32_t row, uint32_t now) {
  // The camera row: the next camera; the mode's row stays selected.
  if (row >= kVideoCameraRow) {
    if (s.VideoRowCount <= kVideoCameraRow) return;
    s.CameraNo = s.CameraNo % 4 + 1;
    s.VideoRow = s.ReplayMode + 2;
    return;
  }
  if (row < 2 + kReplayStop) return;  // the two caption rows

  const uint8_t previous = s.ReplayMode;
  s.ReplayMode = static_cast<uint8_t>(row - 2);
  s.VideoRow = row;
  s.NextFrameTime = now;
  if (s.ReplayMode == kReplayStop) {
    // Back to where the run began; the next position message synchronises
    // the clock again. The played companions are no live vehicles.
    s.Own = s.Start;
    s.Own.Time = static_cast<int32_t>(now);
    s.Remote[0].UserNo = 0;
    ResetRoutine(s, s.Own.FormNo, s.Own.FormNo != 0, now);
    s.TimeSynchronised = 0;
    s.VideoRowCount = state::kVideoRowsLive;
  } else if (previous == kReplayStop) {
    // Panels of the recorded vehicle; the world offsets are cleared, since
    // entries hold absolute positions.
    if (s.ReplayEnd != s.ReplayStart && IsHeadEntry(s, s.ReplayStart)) {
      ResetRoutine(s, EntryFormNo(Entry(s, s.ReplayStart)), false, now);
    }
    s.VideoRowCount = state::kVideoRowsPlayback;
  }
  s.Requests.FocusChatInput = true;
}

void OpenReplay(state::TMainState& s, const TReplayRecording& recording, uint32_t now) {
  const auto n = static_cast<int32_t>(recording.Entries.size());
  for (int32_t i = 0; i < n; ++i) s.ReplayRing[static_cast<std::size_t>(i)] = recording.Entries[static_cast<std::size_t>(i)];
  s.ReplayStart = 0;
  s.ReplayEnd = n;
  s.PlayIndex = 0;
  s.WorldNo = recording.WorldNo;  // saved again, the run keeps its world
  s.ReplayMode = kReplayStop;
  s.VideoRowCount = state::kVideoRowsLive;
  // The start state is an ended run of the recorded user: stop shows the panel.
  s.Start = vehicle::TVehicleState{};
  s.Start.UserNo = n > 0 ? EntryUserNo(recording.Entries.front()) : 0;
  s.Own = s.Start;
  s.Own.Time = static_cast<int32_t>(now);
  s.Remote[0].UserNo = 0;
  ResetRoutine(s, 0, false, now);
  StringGridVideoClick(s, 2 + kReplayPlay, now);
}

namespace {

std::string SaveRecording(state::TMainState& s, const std::string& folder,
                          const std::string& fileName, const TReplayRecording& recording) {
  if (recording.Entries.empty()) {
    s.Log("自分> 保存する録画がありません: " + WhyNothingRecorded(s));
    return {};
  }
  if (folder.empty()) {
    s.Log("自分> 録画を保存できません: XDG_DATA_HOME も HOME も設定されていません。");
    return {};
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    s.Log("自分> 録画を保存できません: " + folder + ": " + FileFaultJapanese(error.value()));
    return {};
  }
  const std::filesystem::path name(fileName);
  std::filesystem::path path = std::filesystem::path(folder) / name;
  for (int n = 2; std::filesystem::exists(path, error) && n < 1000; ++n) {
    path = std::filesystem::path(folder) /
           (name.stem().string() + "-" + std::to_string(n) + name.extension().string());
  }
  const int failure = WriteWholeFile(path.string(), SerializeReplay(recording));
  if (failure != 0) {
    s.Log("自分> 録画を保存できません: " + path.string() + ": " + FileFaultJapanese(failure));
    return {};
  }
  s.Log("自分> 録画を保存しました: " + path.string());
  return path.string();
}

}  // namespace

std::string SaveReplay(state::TMainState& s, const std::string& folder,
                       const std::string& fileName) {
  return SaveRecording(s, folder, fileName, RecordingOf(s));
}

std::string SaveFinishedRunReplay(state::TMainState& s, const std::string& folder,
                                  const std::string& fileName) {
  if (s.FinishedRingSerial != s.Figures.FinishedSerial) {
    if (s.ReplayEnd == s.ReplayStart) return {};
    return SaveReplay(s, folder, fileName);
  }
  if (s.FinishedRing.empty()) return {};
  TReplayRecording kept;
  kept.WorldNo = s.WorldNo;
  kept.Entries = s.FinishedRing;
  return SaveRecording(s, folder, fileName, kept);
}

}  // namespace velmora::app
