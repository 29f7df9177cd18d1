// A run's trace for its charts: the own vehicle sampled at 4 Hz while the run
// lasts (position, height, speeds, attitude, controls, a train's limit and
// stop distance), with its events at their own times (touchdowns, bounces,
// the train protection's braking, stops, start and finish lines). Bounded: an
// hour of samples at most, beyond which the oldest half is thinned, so a long
// run costs no more than an hour's. Stored with the run in the logbook as a
// compact little-endian blob (EncodeTrace).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/main_state.h"

namespace velmora::app {

inline constexpr uint32_t kTraceInterval = 250;  // ms between samples: 4 Hz
// An hour at 4 Hz: a trace holds this many samples at most.
inline constexpr std::size_t kTraceSamples = 3600 * 1000 / kTraceInterval;
// Events a trace keeps; later ones are left out.
inline constexpr std::size_t kTraceEvents = 1024;
// A value a sample does not have (no track limit, no stop ahead).
inline constexpr double kNoTraceValue = std::numeric_limits<double>::quiet_NaN();

struct TTraceSample {
  uint32_t Time = 0;              // ms after the run's start
  double X = 0, Y = 0;            // m east and north, absolute
  double Height = 0;              // m, the wheels above the ground
  double Airspeed = 0;            // m/s, forward through the air
  double GroundSpeed = 0;         // m/s, horizontal
  double SinkRate = 0;            // m/s, descending positive
  double Pitch = 0, Bank = 0;     // deg
  double Power = 0;               // share of full power 0..1 (a train's notch)
  int32_t Brake = 0;              // 0 off, 1 the brake (a train's brake step), 2 the protection's
  double Flaps = 0;               // deg
  double Gear = 0;                // 0 up .. 1 down
  double SpeedLimit = kNoTraceValue;    // m/s the track ahead allows
  double StopDistance = kNoTraceValue;  // m to the stop mark ahead
};

enum class TTraceEventKind : int32_t {
  Touchdown = 1,
  Bounce = 2,
  Protection = 3,  // the train protection braked
  Stop = 4,        // a train stood at a stop mark
  MissedStop = 5,  // a train ran past its stop mark
  StartLine = 6,   // a car crossed the race's start line (each lap)
  Finish = 7,      // the race's goal
};
inline constexpr int32_t kLastTraceEventKind = 7;

struct TTraceEvent {
  TTraceEventKind Kind = TTraceEventKind::Touchdown;
  uint32_t Time = 0;    // ms after the run's start
  double X = 0, Y = 0;  // m east and north, absolute
  double Speed = 0;     // m/s over the ground at the event
};

// The runway an aircraft landed on (or chose for its approach), in absolute
// coordinates: the threshold it landed over and the course from there.
struct TTraceRunway {
  bool Known = false;
  double ThresholdX = 0, ThresholdY = 0;  // m east, north
  double Course = 0;                      // deg, the landing direction
  double Length = 0;                      // m
  double Width = 0;                       // m
};

struct TRunTrace {
  int32_t Kind = 0;  // vehicle kind (vehicle::kKind*)
  TTraceRunway Runway;
  std::vector<TTraceSample> Samples;  // oldest first
  std::vector<TTraceEvent> Events;    // in order of time
};

// The sampling law: the first sample, then one on every 250 ms step of the
// run's time that was reached; with the trace full (an hour), every second
// sample of the oldest half goes before the next is added.
class TTraceSampler {
 public:
  TTraceSampler();
  void Start(int32_t kind);
  // Whether a sample at `time` (ms after the start) is due.
  bool Due(uint32_t time) const { return trace_.Samples.empty() || time >= nextDue_; }
  // Adds the sample when due; returns whether it did.
  bool Offer(const TTraceSample& sample);
  void AddEvent(const TTraceEvent& event);
  TRunTrace& Trace() { return trace_; }

 private:
  TRunTrace trace_;
  uint32_t nextDue_ = 0;
};

// Keeps every second sample of the oldest half (the first of each pair), and
// the newer half whole.
void ThinOldestHalf(std::vector<TTraceSample>& samples);

// Watches the main state after every tick: samples the own vehicle while a
// run lasts, notes its events, and keeps the trace of the run that ended
// until the shell takes it with the run's record.
class TTraceRecorder {
 public:
  void AfterTick(const state::TMainState& state);
  // The trace of the finished run that started at startClock (ms,
  // synchronised clock), moved out; nullopt when none was recorded.
  std::optional<TRunTrace> TakeFinished(uint32_t startClock);

 private:
  void Close();
  void NoteEvents(const state::TMainState& state, const state::TRunRecord& run, uint32_t now);

  TTraceSampler sampler_;
  bool open_ = false;
  uint32_t startClock_ = 0;
  int32_t eventsSeen_ = 0;
  int32_t bouncesSeen_ = 0;
  int32_t crossingsSeen_ = 0;
  bool protectionSeen_ = false;
  std::optional<TRunTrace> finished_;
  uint32_t finishedStart_ = 0;
};

// The trace as bytes, and back. Decoding checks every count and value range
// and returns a fault as a message naming the byte offset.
std::string EncodeTrace(const TRunTrace& trace);
std::optional<std::string> DecodeTrace(std::string_view bytes, TRunTrace& out);

}  // namespace velmora::app
