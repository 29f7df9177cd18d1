#include "app/run_trace.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "vehicle/geometry.h"
#include "world/runway_geometry.h"

namespace velmora::app {

namespace {

constexpr char kMagic[8] = {'V', 'M', 'T', 'R', 'A', 'C', 'E', '1'};
constexpr double kNoLimit = 1e37;  // m/s, m: state values above mean "none"
// Fixed-point steps of the stored values.
constexpr double kSpeedStep = 50;   // per m/s: 0.02 m/s, up to ±655 m/s
constexpr double kAngleStep = 100;  // per deg
constexpr double kPowerStep = 100;  // per full power
constexpr double kFlapStep = 4;     // per deg
constexpr double kGearStep = 200;   // per gear travel
constexpr double kLimitStep = 100;  // per m/s
constexpr int16_t kNoLimitCode = INT16_MIN;
constexpr std::size_t kHeaderBytes = 8 + 4 + 1 + 8 + 8 + 4 + 4 + 4 + 8 + 8 + 4 + 4;
constexpr std::size_t kSampleBytes = 36;
constexpr std::size_t kEventBytes = 17;

template <class T>
void Put(std::string& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));  // little-endian host, as the replay file
  out.append(bytes, sizeof(T));
}

template <class Int>
Int Fixed(double value, double step) {
  const double scaled = std::round(value * step);
  constexpr double lo = std::numeric_limits<Int>::min(), hi = std::numeric_limits<Int>::max();
  return static_cast<Int>(std::isfinite(scaled) ? std::clamp(scaled, lo + 1, hi) : 0);
}

class TReader {
 public:
  explicit TReader(std::string_view bytes) : bytes_(bytes) {}
  template <class T>
  T Get() {
    T value{};
    std::memcpy(&value, bytes_.data() + at_, sizeof(T));
    at_ += sizeof(T);
    return value;
  }
  std::size_t At() const { return at_; }

 private:
  std::string_view bytes_;
  std::size_t at_ = 0;
};

std::string Fault(std::size_t offset, const char* what) {
  return "走行記録の軌跡が壊れています（" + std::to_string(offset) + " バイト目: " + what + "）";
}

// The runway in the direction of landing on `heading` (deg).
TTraceRunway RunwayFor(const world::TRunwayInfo& r, double heading) {
  TTraceRunway out;
  out.Known = true;
  const double course = world::RunwayCourse(r);
  const bool reverse = std::fabs(std::remainder(heading - course, 360.0)) > 90;
  out.ThresholdX = reverse ? r.X2 : r.X1;
  out.ThresholdY = reverse ? r.Y2 : r.Y1;
  out.Course = reverse ? std::remainder(course + 180, 360.0) : course;
  out.Length = world::RunwayLength(r);
  out.Width = r.Width;
  return out;
}

const world::TRunwayInfo* Destination(const state::TMainState& s, int32_t index) {
  if (s.World == nullptr || index < 0 || index >= world::kMaxDestinations) return nullptr;
  return s.World->Destinations[static_cast<std::size_t>(index)];
}

TTraceSample SampleOf(const state::TMainState& s, uint32_t time) {
  const vehicle::TVehicleState& own = s.Own;
  TTraceSample x;
  x.Time = time;
  x.X = own.X + s.OriginX;
  x.Y = own.Y + s.OriginY;
  const vehicle::TFormParam* form = s.Forms.Find(own.FormNo);
  x.Height = (form != nullptr ? form->RestZ : 0) - own.Z;
  x.Airspeed = vehicle::AirData(own, s.WindX, s.WindY).Forward;
  x.GroundSpeed = std::hypot(own.VX, own.VY);
  x.SinkRate = own.VZ;
  x.Pitch = own.Pitch;
  x.Bank = own.Bank;
  x.Power = s.ThrottleMax > 0 ? s.Throttle / s.ThrottleMax : 0;
  x.Brake = s.EmergencyBrake != 0 ? 2 : (s.Brake != 0 ? 1 : 0);
  x.Flaps = own.Flap;
  x.Gear = s.Gear;
  if (own.Kind == vehicle::kKindTrain) {
    if (s.RailSpeedLimit < kNoLimit) x.SpeedLimit = s.RailSpeedLimit;
    if (s.StopDistance < kNoLimit) x.StopDistance = s.StopDistance;
  }
  return x;
}

}  // namespace

TTraceSampler::TTraceSampler() { trace_.Samples.reserve(kTraceSamples); }

void TTraceSampler::Start(int32_t kind) {
  trace_.Kind = kind;
  trace_.Runway = {};
  trace_.Samples.clear();
  trace_.Events.clear();
  nextDue_ = 0;
}

bool TTraceSampler::Offer(const TTraceSample& sample) {
  if (!Due(sample.Time)) return false;
  if (trace_.Samples.size() >= kTraceSamples) ThinOldestHalf(trace_.Samples);
  trace_.Samples.push_back(sample);
  // The next step of the 4 Hz grid after this sample, however late it came.
  nextDue_ = (sample.Time / kTraceInterval + 1) * kTraceInterval;
  return true;
}

void TTraceSampler::AddEvent(const TTraceEvent& event) {
  if (trace_.Events.size() < kTraceEvents) trace_.Events.push_back(event);
}

void ThinOldestHalf(std::vector<TTraceSample>& samples) {
  const std::size_t half = samples.size() / 2;
  std::size_t to = 0;
  for (std::size_t from = 0; from < samples.size(); ++from) {
    if (from < half && from % 2 == 1) continue;
    samples[to++] = samples[from];
  }
  samples.resize(to);
}

void TTraceRecorder::Close() {
  finished_ = sampler_.Trace();
  finishedStart_ = startClock_;
  open_ = false;
}

std::optional<TRunTrace> TTraceRecorder::TakeFinished(uint32_t startClock) {
  if (!finished_ || finishedStart_ != startClock) return std::nullopt;
  std::optional<TRunTrace> out = std::move(finished_);
  finished_.reset();
  return out;
}

void TTraceRecorder::NoteEvents(const state::TMainState& s, const state::TRunRecord& run,
                                uint32_t now) {
  const state::TRunFigures& f = s.Figures;
  const auto at = [&](uint32_t clock) {
    TTraceEvent e;
    e.Time = static_cast<uint32_t>(std::max(0, state::ClockDiff(clock, startClock_)));
    e.X = s.Own.X + s.OriginX;
    e.Y = s.Own.Y + s.OriginY;
    e.Speed = std::hypot(s.Own.VX, s.Own.VY);
    return e;
  };
  const auto add = [&](TTraceEventKind kind, uint32_t clock) {
    TTraceEvent e = at(clock);
    e.Kind = kind;
    sampler_.AddEvent(e);
  };
  for (; eventsSeen_ < run.EventCount && eventsSeen_ < state::kMaxRunEvents; ++eventsSeen_) {
    const state::TRunEvent& e = run.Events[static_cast<std::size_t>(eventsSeen_)];
    const uint32_t clock = startClock_ + static_cast<uint32_t>(std::lround(e.At * 1000));
    switch (e.Kind) {
      case state::TRunEventKind::Touchdown:
        add(TTraceEventKind::Touchdown, clock);
        bouncesSeen_ = 0;
        if (const world::TRunwayInfo* r = Destination(s, e.Touchdown.Runway)) {
          sampler_.Trace().Runway = RunwayFor(*r, s.Own.Heading);
        }
        break;
      case state::TRunEventKind::TrainStop:
        add(TTraceEventKind::Stop, clock);
        break;
      case state::TRunEventKind::MissedStop:
        add(TTraceEventKind::MissedStop, clock);
        break;
      case state::TRunEventKind::RaceGoal:
        add(TTraceEventKind::Finish, clock);
        break;
    }
  }
  if (f.OpenTouchdown >= 0 && f.OpenTouchdown < run.EventCount) {
    const int32_t bounces = run.Events[static_cast<std::size_t>(f.OpenTouchdown)].Touchdown.Bounces;
    for (; bouncesSeen_ < bounces; ++bouncesSeen_) add(TTraceEventKind::Bounce, now);
  }
  if (f.LastProtection && !protectionSeen_) add(TTraceEventKind::Protection, now);
  protectionSeen_ = f.LastProtection;
  if (f.StartLineCrossings > crossingsSeen_) add(TTraceEventKind::StartLine, f.LastCrossingClock);
  crossingsSeen_ = f.StartLineCrossings;
}

void TTraceRecorder::AfterTick(const state::TMainState& s) {
  const state::TRunFigures& f = s.Figures;
  if (open_ && (!f.Active || f.Run.StartClock != startClock_)) {
    // The run ended: its last events, from its record wherever it is now.
    const state::TRunRecord& run = f.Run.StartClock == startClock_ ? f.Run : f.Finished;
    if (run.StartClock == startClock_) NoteEvents(s, run, run.EndClock);
    Close();
  }
  if (!f.Active) return;
  if (!open_) {
    open_ = true;
    startClock_ = f.Run.StartClock;
    sampler_.Start(f.Run.Kind);
    eventsSeen_ = 0;
    bouncesSeen_ = 0;
    crossingsSeen_ = f.StartLineCrossings;
    protectionSeen_ = false;
    // An approach chosen before the run: its runway until a touchdown names one.
    if (const world::TRunwayInfo* r = Destination(s, s.SelectedDestination)) {
      sampler_.Trace().Runway = RunwayFor(*r, s.Own.Heading);
    }
  }
  const uint32_t now = static_cast<uint32_t>(s.Own.Time);
  NoteEvents(s, f.Run, now);
  const uint32_t time = static_cast<uint32_t>(std::max(0, state::ClockDiff(now, startClock_)));
  if (sampler_.Due(time)) sampler_.Offer(SampleOf(s, time));
}

std::string EncodeTrace(const TRunTrace& trace) {
  std::string out;
  out.reserve(kHeaderBytes + trace.Samples.size() * kSampleBytes +
              trace.Events.size() * kEventBytes);
  out.append(kMagic, sizeof kMagic);
  Put<int32_t>(out, trace.Kind);
  const TTraceRunway& r = trace.Runway;
  Put<uint8_t>(out, r.Known ? 1 : 0);
  Put<double>(out, r.ThresholdX);
  Put<double>(out, r.ThresholdY);
  Put<float>(out, static_cast<float>(r.Course));
  Put<float>(out, static_cast<float>(r.Length));
  Put<float>(out, static_cast<float>(r.Width));
  // Positions are kept as 32-bit offsets from the first sample's.
  const double originX = trace.Samples.empty() ? 0 : trace.Samples.front().X;
  const double originY = trace.Samples.empty() ? 0 : trace.Samples.front().Y;
  Put<double>(out, originX);
  Put<double>(out, originY);
  Put<uint32_t>(out, static_cast<uint32_t>(trace.Samples.size()));
  Put<uint32_t>(out, static_cast<uint32_t>(trace.Events.size()));
  for (const TTraceSample& x : trace.Samples) {
    Put<uint32_t>(out, x.Time);
    Put<float>(out, static_cast<float>(x.X - originX));
    Put<float>(out, static_cast<float>(x.Y - originY));
    Put<float>(out, static_cast<float>(x.Height));
    Put<int16_t>(out, Fixed<int16_t>(x.Airspeed, kSpeedStep));
    Put<int16_t>(out, Fixed<int16_t>(x.GroundSpeed, kSpeedStep));
    Put<int16_t>(out, Fixed<int16_t>(x.SinkRate, kSpeedStep));
    Put<int16_t>(out, Fixed<int16_t>(x.Pitch, kAngleStep));
    Put<int16_t>(out, Fixed<int16_t>(x.Bank, kAngleStep));
    Put<int8_t>(out, Fixed<int8_t>(x.Power, kPowerStep));
    Put<uint8_t>(out, static_cast<uint8_t>(std::clamp(x.Brake, 0, 2)));
    Put<uint8_t>(out, Fixed<uint8_t>(x.Flaps, kFlapStep));
    Put<uint8_t>(out, Fixed<uint8_t>(x.Gear, kGearStep));
    Put<int16_t>(out, std::isnan(x.SpeedLimit) ? kNoLimitCode
                                               : Fixed<int16_t>(x.SpeedLimit, kLimitStep));
    Put<float>(out, static_cast<float>(x.StopDistance));
  }
  for (const TTraceEvent& e : trace.Events) {
    Put<uint8_t>(out, static_cast<uint8_t>(e.Kind));
    Put<uint32_t>(out, e.Time);
    Put<float>(out, static_cast<float>(e.X - originX));
    Put<float>(out, static_cast<float>(e.Y - originY));
    Put<float>(out, static_cast<float>(e.Speed));
  }
  return out;
}

std::optional<std::string> DecodeTrace(std::string_view bytes, TRunTrace& out) {
  out = TRunTrace{};
  if (bytes.size() < kHeaderBytes) return Fault(bytes.size(), "短すぎます");
  if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return Fault(0, "形式が違います");
  TReader in(bytes.substr(sizeof kMagic));
  const auto offset = [&] { return sizeof kMagic + in.At(); };
  out.Kind = in.Get<int32_t>();
  TTraceRunway& r = out.Runway;
  r.Known = in.Get<uint8_t>() != 0;
  r.ThresholdX = in.Get<double>();
  r.ThresholdY = in.Get<double>();
  r.Course = in.Get<float>();
  r.Length = in.Get<float>();
  r.Width = in.Get<float>();
  const double originX = in.Get<double>(), originY = in.Get<double>();
  const std::size_t counts = offset();
  const uint32_t samples = in.Get<uint32_t>(), events = in.Get<uint32_t>();
  if (samples > kTraceSamples || events > kTraceEvents ||
      bytes.size() != kHeaderBytes + samples * kSampleBytes + events * kEventBytes) {
    return Fault(counts, "件数と長さが合いません");
  }
  for (const double v : {r.ThresholdX, r.ThresholdY, r.Course, r.Length, r.Width, originX, originY}) {
    if (!std::isfinite(v)) return Fault(counts, "数値ではありません");
  }
  out.Samples.resize(samples);
  uint32_t last = 0;
  for (TTraceSample& x : out.Samples) {
    const std::size_t at = offset();
    x.Time = in.Get<uint32_t>();
    x.X = originX + in.Get<float>();
    x.Y = originY + in.Get<float>();
    x.Height = in.Get<float>();
    x.Airspeed = in.Get<int16_t>() / kSpeedStep;
    x.GroundSpeed = in.Get<int16_t>() / kSpeedStep;
    x.SinkRate = in.Get<int16_t>() / kSpeedStep;
    x.Pitch = in.Get<int16_t>() / kAngleStep;
    x.Bank = in.Get<int16_t>() / kAngleStep;
    x.Power = in.Get<int8_t>() / kPowerStep;
    x.Brake = in.Get<uint8_t>();
    x.Flaps = in.Get<uint8_t>() / kFlapStep;
    x.Gear = in.Get<uint8_t>() / kGearStep;
    const int16_t limit = in.Get<int16_t>();
    x.SpeedLimit = limit == kNoLimitCode ? kNoTraceValue : limit / kLimitStep;
    x.StopDistance = in.Get<float>();
    if (!std::isfinite(x.X) || !std::isfinite(x.Y) || !std::isfinite(x.Height) || x.Brake > 2 ||
        std::isinf(x.StopDistance)) {
      return Fault(at, "数値ではありません");
    }
    if (x.Time < last) return Fault(at, "時刻が戻っています");
    last = x.Time;
  }
  out.Events.resize(events);
  for (TTraceEvent& e : out.Events) {
    const std::size_t at = offset();
    const uint8_t kind = in.Get<uint8_t>();
    if (kind < 1 || kind > kLastTraceEventKind) return Fault(at, "出来事の種類が不明です");
    e.Kind = static_cast<TTraceEventKind>(kind);
    e.Time = in.Get<uint32_t>();
    e.X = originX + in.Get<float>();
    e.Y = originY + in.Get<float>();
    e.Speed = in.Get<float>();
    if (!std::isfinite(e.X) || !std::isfinite(e.Y) || !std::isfinite(e.Speed)) {
      return Fault(at, "数値ではありません");
    }
  }
  return std::nullopt;
}

}  // namespace velmora::app
