// Replay: the tick records the own vehicle and its companions every 20 ms
// into the main state's ring of 6000 entries, and plays the ring back at five
// speeds. A frame is one head entry (the own vehicle, known by the own user
// number) followed by its companions. The ring's start is always a head, so
// playback never begins inside a frame.
#pragma once

#include <cstdint>
#include <string>

#include "app/replay_file.h"
#include "state/main_state.h"

namespace velmora::app {

inline constexpr uint32_t kReplayFrameInterval = 20;  // ms between two frames
// ms: a recording or playback further behind the clock than this restarts at
// the clock instead of running through every missed frame in one tick.
inline constexpr int32_t kReplayCatchUpLimit = 10000;
inline constexpr int32_t kFastReverseFrames = 32;  // frames fast reverse skips per step
inline constexpr int32_t kFastPlayFrames = 31;     // frames fast play skips per step

// Values of TMainState::ReplayMode.
inline constexpr uint8_t kReplayStop = 0;
inline constexpr uint8_t kReplayFastReverse = 1;
inline constexpr uint8_t kReplayReverse = 2;
inline constexpr uint8_t kReplayPause = 3;
inline constexpr uint8_t kReplayPlay = 4;
inline constexpr uint8_t kReplayFastPlay = 5;
inline constexpr uint8_t kReplayRecording = 6;

inline constexpr int32_t kVideoCameraRow = 8;  // replay grid row "・カメラ切替え"

int32_t NextRingIndex(int32_t index);
int32_t PreviousRingIndex(int32_t index);
// Entries between ring start and ring end.
int32_t ReplayEntryCount(const state::TMainState& state);
// Whether the ring entry at index is a head: its user number is the own one.
bool IsHeadEntry(const state::TMainState& state, int32_t index);
// Whether remote vehicle v is recorded with the own vehicle: its coupled
// partner or, in a fighter, an aircraft or free body of the own group.
bool IsCompanion(const state::TMainState& state, const vehicle::TVehicleState& v);

// The recording step: one frame per 20 ms up to now (synchronised clock, ms).
void RecordReplay(state::TMainState& state, uint32_t now);

// The playback step: one frame per 20 ms up to now, copied into the own
// vehicle and the remote list, the play index moved by the replay mode.
void ReplayPlaybackStep(state::TMainState& state, uint32_t now);

// A click on replay grid row `row` while the grid has the focus: stop, the
// five speeds, or (row 8 during playback) the next camera.
void StringGridVideoClick(state::TMainState& state, int32_t row, uint32_t now);

// Fills the ring with a saved recording (its first entry a head, whose user
// number becomes the own one), shows the replay panel and starts playing,
// as a run just ended would. No server is needed.
void OpenReplay(state::TMainState& state, const TReplayRecording& recording, uint32_t now);

// Ctrl+S: saves the ring's frames, oldest first, as `fileName` in `folder`
// (created when missing; "-2", "-3", … before the extension when the name is
// taken) and logs "自分> " with where it went or why it could not. Returns
// the path written, or empty.
std::string SaveReplay(state::TMainState& state, const std::string& folder,
                       const std::string& fileName);

// Saves the frames of the run that finished last, as SaveReplay does: the
// kept frames when a new placement has started the ring anew since, else the
// ring's. Nothing recorded: nothing saved, and nothing said.
std::string SaveFinishedRunReplay(state::TMainState& state, const std::string& folder,
                                  const std::string& fileName);

}  // namespace velmora::app
