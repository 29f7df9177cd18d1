// The main state: every simulation table and control value of the program in
// one plain object. The core's operations read and change it; the Qt shell
// mirrors its panel and log data onto the widgets. Fixed-size tables only:
// nothing here is allocated while the simulation ticks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "state/cues.h"
#include "state/run_figures.h"
#include "vehicle/vehicle_state.h"
#include "world/world.h"

namespace velmora::state {

// Which of the panels below the 3D view are shown.
struct TPanelVisibility {
  bool PFD = false;        // ListBoxPFD: primary flight display
  bool Indicator = false;  // ListBoxIndicator: attitude or speed indicator
  bool Navi = false;       // ListBoxNavi: navigation display
  bool Dest = false;       // StringGridDest: destination list
  bool Video = false;      // StringGridVideo: replay panel
  bool Power = false;      // ListBoxPower: power panel
};

// Gusts in practice mode: a factor on the base wind that swings between about
// 0.8 and 1.2.
struct TGustState {
  double Factor = 1;    // current wind = base wind × Factor
  uint8_t Rising = 1;   // 1 while the factor grows
  double Drift = 0;     // per ms, random part of the rate, redrawn every 500 ms
  int32_t Counter = 0;  // ms since the drift was drawn
};

inline constexpr int kMissionRows = 101;     // mission grid: headings, up to 100 missions, empty row
inline constexpr int kDriftSamples = 16;     // clock synchronisation window
inline constexpr int kReplayEntries = 6000;  // replay ring capacity
inline constexpr int kReplayEntrySize = 30;  // bytes of one packed replay entry
inline constexpr int kVideoRowsLive = 8;     // replay grid rows without the camera row
inline constexpr int kVideoRowsPlayback = 9; // with the camera row "・カメラ切替え"
inline constexpr std::size_t kMaxLogLines = 5000;  // message log lines kept; the oldest go first

// One replay entry: a vehicle packed little-endian into 30 bytes (app/replay_entry.h).
using TReplayEntry = std::array<uint8_t, kReplayEntrySize>;

// What the core asks the shell to do after a call; the shell carries it out
// in this order and clears it.
struct TShellRequests {
  std::string Send;                     // CP932 bytes for the server, in order
  std::vector<std::string> ErrorBoxes;  // modal error boxes, in order
  bool DropConnection = false;          // close the server connection without a disconnect event
  bool OpenConnection = false;          // connect to the server anew, dropping any open connection
  bool AskLogin = false;                // then the login query ("ログイン")
  bool ShowHelpBottomRight = false;     // place the help form for the start and show it
  bool FocusChatInput = false;          // focus to EditChatInput
  bool Close = false;                   // close the main form (after the boxes)
  // Non-empty: the connection of a session in play is lost. A box with this
  // text offers to log in again (same server, same handle) or to close; the
  // answer goes to app::ReloginAnswered.
  std::string ReloginBox;
  bool ShowHelp = false;                // show the help form where it is
  std::vector<std::string> OpenLinks;   // UTF-8 link texts to open through the desktop
};

// Where the login stands. The handle is asked before each connection, and
// every attempt connects anew: a user may take as long as they like to
// answer, while the server keeps a connection without a login only briefly.
enum class TLoginStage : uint8_t {
  Idle,        // no login wanted (a replay file plays without a server)
  Asking,      // the login query is open
  Connecting,  // the handle is known; it goes out once the connection stands
  Sent,        // the login went out; the server's answer is awaited
  LoggedIn,    // the server accepted it
};

struct TMainState : vehicle::TVehicleRecords {
  // The fixed world: ground, objects, destinations and their panel rows, the
  // track list. Owned by the program, which loads it once; null until then.
  world::TWorld* World = nullptr;

  // Server connection.
  int32_t WorldNo = 52566771;                 // first field of every received line
  std::string MessagePrefix = "52566771;20;1;";  // put in front of every sent message
  std::string ReceiveRemainder;               // received text not yet processed (CP932)
  bool DiscardingLongLine = false;            // skipping an overlong line up to its LF
  TLoginStage LoginStage = TLoginStage::Idle;
  std::string LoginHandle;                    // UTF-8 handle of the login under way
  bool ServerSilent = false;                  // the log has said that the server is silent
  bool Played = false;  // a login reached play: losing a connection offers to log in again
  bool TimerEnabled = false;                  // the 10 ms tick runs
  int32_t OffsetA = 0;                        // ms: local minus server time at synchronisation
  int32_t OffsetB = 0;                        // ms: maps server time onto vehicle times
  std::array<int32_t, kDriftSamples> DriftSamples{};  // ms: lag of the latest messages
  uint32_t ViewRefreshTime = 0;               // ms, synchronised clock of the last view refresh
  vehicle::TVehicleState Scratch;             // records that are read and forgotten
  TShellRequests Requests;

  // Synchronised clock and server timing.
  uint32_t ClockCorrection = 0;  // ms added to the system clock; only ever grows
  uint8_t TimeSynchronised = 0;  // 1 once a position message has set the clock
  int32_t SendInterval = 0;      // ms between own-state messages, from the server
  uint32_t LastSendTime = 0;     // ms, synchronised clock at the last state message

  // Pilot controls of the own vehicle.
  double Throttle = 0;         // m/s², thrust demand along the body forward axis
  double ThrottleMax = 0;      // m/s², per vehicle type
  double ThrottleRate = 0;     // m/s² per s while a throttle key is held
  uint8_t Brake = 0;           // wheel brake on
  uint8_t EmergencyBrake = 0;  // train protection has braked
  double PitchRate = 0;        // deg/s, nose up
  double RollRate = 0;         // deg/s, right wing down
  double Rudder = 0;           // deg, −20..20, while the nose is up on the ground
  double Steer = 0;            // deg, nose wheel or front wheels, right positive
  double PitchInput = 0;       // −1 Up key (nose down), 0, +1 Down key (nose up)
  double RollInput = 0;        // −1 left, 0, +1 right
  double StickX = 0;           // joystick roll/steer of the previous tick, −1.05..1.05
  double StickY = 0;           // joystick pitch of the previous tick, −1.05..1.05
  double FlapCommand = 0;      // deg, pilot's flap command
  double FlapSet = 0;          // deg, accepted flap setting
  double GearCommand = 0;      // 0 up .. 1 down, pilot's gear command
  double GearSet = 0;          // 0 up .. 1 down, accepted gear setting
  double Gear = 0;             // 0 up .. 1 down, actual gear position
  int32_t GuidanceMode = 0;    // crew phase: 0..3 take-off, 4 destination chosen, 5..7 autopilot, 8 manual landing
  int32_t SelectedDestination = -1;  // destination index into World->Destinations, −1 = none
  uint8_t Freeze = 0;          // 1: the own vehicle is stepped with a zero time step
  uint8_t EndKey = 0;          // fire key held
  uint8_t JoystickButton = 0;  // any joystick button held
  int32_t ViewDirection = 0;   // deg relative to the nose: 0, 90, 180, 270
  int32_t LastViewDirection = -1;  // view direction of the last drawn frame; −1 = rebuild
  uint32_t CommandTime = 0;    // ms, synchronised clock of the last gear or flap command
  uint32_t LastShotTime = 0;   // ms, synchronised clock of the last missile shot
  double LastAirspeed = 0;     // m/s, forward airspeed at the end of the previous crew step
  uint8_t LandingRoll = 0;     // 1 from a touchdown until the aircraft stops or a take-off run begins: no take-off calls
  uint32_t ClockNow = 0;       // ms, synchronised clock of the tick that steps the own vehicle
  uint8_t StallWarning = 0;    // 1 while the own aircraft flies below its airspeed floor
  uint32_t StallCallTime = 0;  // ms, synchronised clock of the stall warning's last call
  uint8_t Restarted = 0;       // 1 once a crash or a fault has restored the start state
  uint32_t RestartTime = 0;    // ms, synchronised clock of the latest such restore

  // Wind.
  double WindX = 0;      // m/s, current wind towards the east
  double WindY = 0;      // m/s, current wind towards the north
  double BaseWindX = 0;  // m/s, wind the server set, towards the east
  double BaseWindY = 0;  // m/s, towards the north
  TGustState Gust;
  std::mt19937 GustRandom{20260101u};  // drift source; seed it for repeatable runs

  // Railway following of the own train.
  double StopDistance = 1e38;    // m to the next station stop ahead
  double RailSpeedLimit = 1e38;  // m/s the track ahead allows

  // Replay and view.
  uint8_t ReplayMode = 0;       // 0 live, 6 recording, others playback
  int32_t CameraNo = 3;         // replay camera
  int32_t ReplayStart = 0;      // ring index of the oldest entry, a head entry
  int32_t ReplayEnd = 0;        // ring index of the next entry to write; = start: empty
  int32_t PlayIndex = 0;        // ring index of the head entry shown in playback
  std::array<TReplayEntry, kReplayEntries> ReplayRing{};  // recorded frames
  // The frames of the run whose end has serial FinishedRingSerial (see
  // TRunFigures), kept when a new placement starts the ring anew before the
  // shell saved them; empty when the ring itself still holds that run.
  std::vector<TReplayEntry> FinishedRing;
  uint32_t FinishedRingSerial = 0;
  uint32_t NextFrameTime = 0;   // ms, synchronised clock of the next replay frame
  double FieldOfView = 30;      // deg, vertical

  // Panels and log, mirrored by the shell.
  TPanelVisibility Panels;
  int32_t DestRow = 0;             // selected destination grid row (its rows are the world's)
  int32_t VideoRow = 2;            // selected replay grid row
  int32_t VideoRowCount = kVideoRowsLive;  // rows of the replay grid
  std::array<std::string, kMissionRows> MissionCells{};  // mission grid, one column
  int32_t MissionRowCount = 1;     // rows of the mission grid
  int32_t MissionFixedRows = 0;    // heading rows at its top
  int32_t MissionRow = 0;          // selected mission grid row
  std::vector<std::string> MessageLog;  // lines of MemoMessage, oldest first; the last kMaxLogLines
  uint64_t MessageLogCount = 0;         // lines ever logged, dropped ones included
  std::string Caption = "Velmora";      // UTF-8 caption of the main window: the status line
  TCueQueue Cues;                       // what just happened, for the sound scene
  uint32_t HitsOnOwn = 0;               // missile hits on the own vehicle the server announced
  uint8_t LockedOn = 0;                 // the fighter's target lies in the lock-on cone

  // The present run's figures for the reports and the logbook (app/run_figures.h).
  TRunFigures Figures;

  // Adds a spoken call to the message log: its line and its cue come from
  // one identity, so what is heard is always what is written.
  void Callout(TCall call) {
    Cues.Push(TCueKind::Callout, call);
    Log(std::string(CallText(call)));
  }

  // Adds a line to the message log; beyond kMaxLogLines the oldest line goes.
  void Log(std::string line) {
    if (MessageLog.size() >= kMaxLogLines) {
      MessageLog.erase(
          MessageLog.begin(),
          MessageLog.begin() + static_cast<std::ptrdiff_t>(MessageLog.size() - kMaxLogLines + 1));
    }
    MessageLog.push_back(std::move(line));
    ++MessageLogCount;
  }
};

// Practice mode: a vehicle of the user's own choosing, not a server mission.
inline bool InPracticeMode(const TMainState& state) {
  return state.Start.Kind == 0 && state.Own.Kind != 0;
}

// Difference a − b of two 32-bit clock readings, correct across the wrap.
inline int32_t ClockDiff(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b); }

}  // namespace velmora::state
