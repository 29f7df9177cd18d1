// The figures of the present run, kept for the report after each landing,
// each train stop and a race's goal, and for the logbook. Plain fixed-size
// data: app/run_figures.h fills it every sub-step without allocating.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace velmora::state {

inline constexpr int kMaxRunEvents = 32;        // events one run keeps; later ones are counted only
inline constexpr int kCrashMessageBytes = 128;  // UTF-8, NUL-terminated

// How a run ended.
enum class TRunEnd : int32_t {
  None = 0,     // still running
  Landed = 1,   // an aircraft came to rest after a landing
  Stopped = 2,  // a train came to rest at a stop mark and the run ended there
  Goal = 3,     // the server judged the mission's goal reached
  Crash = 4,    // the crash tests held; the message says why
  Left = 5,     // the vehicle was taken away, placed anew, or the program closed
};

enum class TRunEventKind : int32_t {
  Touchdown = 1,
  TrainStop = 2,
  RaceGoal = 3,
  MissedStop = 4,  // a train ran past its stop mark by more than the reach of a stop
};

// Landing grade from the sink rate at the first contact (kSmoothSinkRate and
// kHardSinkRate in app/run_figures.h), or a crash within the landing.
enum class TLandingGrade : int32_t {
  Smooth = 0,
  Firm = 1,
  Hard = 2,
  Crash = 3,
};

struct TTouchdownFigures {
  double SinkRate = 0;       // m/s, descending, in the last step before the first contact
  double VerticalLoad = 0;   // g at the contact
  double Airspeed = 0;       // m/s, forward through the air
  double GroundSpeed = 0;    // m/s, horizontal
  double Pitch = 0;          // deg, nose up
  double Bank = 0;           // deg, right wing down
  int32_t Runway = -1;       // destination index into World->Destinations, −1 = none near
  bool OnRunway = false;     // the contact point lies on the runway's surface
  double PastThreshold = 0;  // m along the runway from the threshold landed over
  double FromAimPoint = 0;   // m along the runway beyond the aim point (negative: short of it)
  double CentreLine = 0;     // m right of the centre line (landing direction)
  int32_t Bounces = 0;       // contacts after a lift-off of more than 1 s within the roll
  TLandingGrade Grade = TLandingGrade::Smooth;
};

struct TTrainStopFigures {
  double Error = 0;              // m from the stop mark: positive past it, negative short of it
  double OverLimit = 0;          // m/s, highest speed above the track's limit since departure
  int32_t ProtectionBrakes = 0;  // times the train protection braked since departure
  double SinceDeparture = 0;     // s from the last departure to the stop
  double MarkSpeed = 0;          // m/s when passing the mark, MissedStop
};

struct TRunEvent {
  TRunEventKind Kind = TRunEventKind::Touchdown;
  double At = 0;                // s after the run's start
  TTouchdownFigures Touchdown;  // Kind == Touchdown
  TTrainStopFigures Stop;       // Kind == TrainStop or MissedStop
  double RaceTime = 0;          // s from the start line to the goal, Kind == RaceGoal
};

// One run: from the moment the own vehicle appears until it is gone, placed
// anew, comes to rest after a landing, or the program closes.
struct TRunRecord {
  int32_t Kind = 0;          // vehicle kind (vehicle::kKind*)
  int32_t FormNo = 0;        // vehicle type at the start
  bool Practice = false;     // landing practice rather than a server mission
  int32_t MissionRow = -1;   // mission grid row selected at the start, −1 = none
  int32_t Destination = -1;  // destination chosen at the start, −1 = none
  uint32_t StartClock = 0;   // ms, synchronised clock
  uint32_t EndClock = 0;     // ms, synchronised clock
  double Distance = 0;       // m travelled over the ground
  double TopSpeed = 0;       // m/s, highest speed
  double TopHeight = 0;      // m, highest height of the wheels above the ground
  TRunEnd End = TRunEnd::None;
  std::array<char, kCrashMessageBytes> CrashMessage{};  // UTF-8, End == Crash
  std::array<TRunEvent, kMaxRunEvents> Events{};
  int32_t EventCount = 0;

  double Duration() const { return static_cast<int32_t>(EndClock - StartClock) / 1000.0; }
};

// The run in progress with what the per-step update needs to remember, and
// what it hands to the shell: the last finished event and the last finished
// run, each with a serial number that grows when a new one is there.
struct TRunFigures {
  bool Active = false;
  TRunRecord Run;

  // Motion of the previous step.
  double LastX = 0, LastY = 0;  // m, absolute
  double LastVZ = 0;            // m/s, down
  double LastSpeed = 0;         // m/s along the heading, unsigned
  bool LastAirborne = false;    // aircraft: the wheels were above the ground
  bool Flown = false;           // aircraft: airborne since the start or the last landing
  // The landing in progress (a touchdown event whose roll is not over).
  int32_t OpenTouchdown = -1;  // event index, −1 = none
  uint32_t LiftOffClock = 0;   // ms, when the wheels last left the ground
  bool RolledOut = false;      // a landing's roll-out ended; coming to rest ends the run
  // Train.
  bool AtRest = true;
  bool Departed = false;        // moved off since the start
  uint32_t DepartureClock = 0;  // ms, moving off from the start or the last stop
  double ToMark = 0;            // m along the track to the stop mark being approached
  bool MarkKnown = false;
  bool MarkServed = false;  // the train stood within reach of that mark
  double MarkSpeed = 0;     // m/s when it passed that mark
  double OverLimit = 0;  // m/s since departure
  int32_t ProtectionBrakes = 0;
  bool LastProtection = false;
  // Race.
  bool StartLineCrossed = false;
  uint32_t StartLineClock = 0;    // ms
  int32_t StartLineCrossings = 0;  // each lap's crossing of the start line, forwards
  uint32_t LastCrossingClock = 0;  // ms, the latest of them
  double LastAlongStartLine = 0;  // m beyond the start line, along the course
  bool LastOnCourse = false;
  // The server's completion line for this user, seen in the log: the
  // number of lines ever logged when the log was last read.
  uint64_t LogSeen = 0;
  bool GoalSeen = false;
  uint32_t GoalClock = 0;

  // Set by the shell: the user's handle, to know the server's completion line.
  std::string Handle;

  // Hand-over to the shell.
  TRunEvent LastEvent;
  uint32_t EventSerial = 0;
  TRunRecord Finished;
  uint32_t FinishedSerial = 0;
};

}  // namespace velmora::state
