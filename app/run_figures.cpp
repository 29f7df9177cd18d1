#include "app/run_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "vehicle/geometry.h"
#include "vehicle/units.h"
#include "world/runway_geometry.h"

namespace velmora::app {

using state::TLandingGrade;
using state::TRunEnd;
using state::TRunEvent;
using state::TRunEventKind;
using state::TRunFigures;
using vehicle::TVehicleState;

namespace {

constexpr double kPlacedAnew = 200;  // m: a jump this long in one step is a new placement
// m outside a runway's surface it still counts as the one landed on
constexpr double kNearRunway = 500;
constexpr double kCourseMargin = 2;  // m beside the race course still crossing its start line
// m: a look-ahead reading this close to the tracked mark is that mark
constexpr double kMarkResync = 5;
constexpr double kNoLimit = 1e37;   // m/s, m: values above mean "none"
constexpr double kStandingRun = 1;  // m: a run that moved less was no run
// ms: a completion line this old still ends the run as a goal
constexpr uint32_t kGoalLineAge = 10000;
constexpr std::string_view kServerSpeaker = "サーバー: ";
constexpr std::string_view kHonorific = "さんが";
constexpr std::string_view kCompletion = "を完了しました";

double Seconds(uint32_t from, uint32_t to) {
  return state::ClockDiff(to, from) / 1000.0;
}

bool Airborne(const state::TMainState& s) {
  const vehicle::TFormParam* form = s.Forms.Find(s.Own.FormNo);
  return form != nullptr && s.Own.Z < form->RestZ;
}

double HeightOf(const state::TMainState& s) {
  const vehicle::TFormParam* form = s.Forms.Find(s.Own.FormNo);
  return form != nullptr ? form->RestZ - s.Own.Z : 0;
}

// The runway landed on: the chosen destination, else the one whose surface
// lies nearest the point (within kNearRunway).
int32_t RunwayOf(const state::TMainState& s, double x, double y) {
  if (s.World == nullptr) return -1;
  const int n = std::min(s.World->DestinationCount, world::kMaxDestinations);
  if (s.SelectedDestination >= 0 && s.SelectedDestination < n &&
      s.World->Destinations[static_cast<std::size_t>(s.SelectedDestination)] != nullptr) {
    return s.SelectedDestination;
  }
  int32_t best = -1;
  double bestOutside = kNearRunway;
  for (int i = 0; i < n; ++i) {
    const world::TRunwayInfo* r = s.World->Destinations[static_cast<std::size_t>(i)];
    if (r == nullptr) continue;
    const world::TRunwayPosition p = world::RunwayPosition(*r, x, y, s.Own.Heading);
    const double length = world::RunwayLength(*r);
    const double along = std::max({0.0, -p.PastThreshold, p.PastThreshold - length});
    const double across = std::max(0.0, std::fabs(p.CentreLine) - r->Width / 2);
    const double outside = std::hypot(along, across);
    if (outside <= bestOutside) {
      bestOutside = outside;
      best = i;
    }
  }
  return best;
}

void CopyMessage(std::array<char, state::kCrashMessageBytes>& to, const char* message) {
  to.fill('\0');
  std::size_t n = std::min(std::strlen(message), to.size() - 1);
  // Never cut a UTF-8 character in half.
  while (n > 0 && n < std::strlen(message) &&
         (static_cast<unsigned char>(message[n]) & 0xC0) == 0x80) {
    --n;
  }
  std::memcpy(to.data(), message, n);
}

// Adds the finished event to the run, the log and the hand-over to the shell.
void Publish(state::TMainState& s, const TRunEvent& event) {
  TRunFigures& f = s.Figures;
  f.LastEvent = event;
  ++f.EventSerial;
  for (std::string& line : EventReport(s, event)) s.Log(std::move(line));
}

TRunEvent* AddEvent(TRunFigures& f, TRunEventKind kind, uint32_t now) {
  if (f.Run.EventCount >= state::kMaxRunEvents) return nullptr;
  TRunEvent& e = f.Run.Events[static_cast<std::size_t>(f.Run.EventCount++)];
  e = TRunEvent{};
  e.Kind = kind;
  e.At = Seconds(f.Run.StartClock, now);
  return &e;
}

void CloseTouchdown(state::TMainState& s) {
  TRunFigures& f = s.Figures;
  if (f.OpenTouchdown < 0) return;
  const TRunEvent event = f.Run.Events[static_cast<std::size_t>(f.OpenTouchdown)];
  f.OpenTouchdown = -1;
  Publish(s, event);
}

// The first contact after flight: the figures of this step, with the sink
// rate of the step before.
void OpenTouchdown(state::TMainState& s, uint32_t now) {
  TRunFigures& f = s.Figures;
  TRunEvent* e = AddEvent(f, TRunEventKind::Touchdown, now);
  f.Flown = false;
  f.RolledOut = false;
  if (e == nullptr) return;
  const TVehicleState& own = s.Own;
  state::TTouchdownFigures& t = e->Touchdown;
  t.SinkRate = f.LastVZ;
  t.VerticalLoad = TouchdownLoad(f.LastVZ);
  t.Airspeed = vehicle::AirData(own, s.WindX, s.WindY).Forward;
  t.GroundSpeed = std::hypot(own.VX, own.VY);
  t.Pitch = own.Pitch;
  t.Bank = own.Bank;
  const double x = own.X + s.OriginX, y = own.Y + s.OriginY;
  t.Runway = RunwayOf(s, x, y);
  if (t.Runway >= 0) {
    const world::TRunwayPosition p = world::RunwayPosition(
        *s.World->Destinations[static_cast<std::size_t>(t.Runway)], x, y, own.Heading);
    t.PastThreshold = p.PastThreshold;
    t.FromAimPoint = p.PastThreshold - world::kAimPointDistance;
    t.CentreLine = p.CentreLine;
    t.OnRunway = p.OnRunway;
  }
  t.Grade = LandingGrade(f.LastVZ);
  f.OpenTouchdown = f.Run.EventCount - 1;
}

void AircraftStep(state::TMainState& s, const char* crash, uint32_t now) {
  TRunFigures& f = s.Figures;
  const bool airborne = Airborne(s);
  if (!airborne && (f.LastAirborne || crash != nullptr)) {
    if (f.OpenTouchdown >= 0) {
      if (f.LastAirborne &&
          state::ClockDiff(now, f.LiftOffClock) > static_cast<int32_t>(kBounceLiftOff)) {
        ++f.Run.Events[static_cast<std::size_t>(f.OpenTouchdown)].Touchdown.Bounces;
      }
    } else if (f.Flown) {
      OpenTouchdown(s, now);
    }
  }
  if (airborne && !f.LastAirborne) f.LiftOffClock = now;
  if (airborne && state::ClockDiff(now, f.LiftOffClock) > static_cast<int32_t>(kBounceLiftOff)) {
    f.Flown = true;
  }
  if (crash != nullptr && f.OpenTouchdown >= 0) {
    f.Run.Events[static_cast<std::size_t>(f.OpenTouchdown)].Touchdown.Grade = TLandingGrade::Crash;
  }
  // The landing is over at the end of the roll-out, or airborne again for good.
  const double groundSpeed = std::hypot(s.Own.VX, s.Own.VY);
  if (f.OpenTouchdown >= 0) {
    if (!airborne && groundSpeed < kRollOutEndSpeed) {
      CloseTouchdown(s);
      f.RolledOut = true;
    } else if (airborne &&
               state::ClockDiff(now, f.LiftOffClock) > static_cast<int32_t>(kTouchAndGo)) {
      CloseTouchdown(s);
      f.Flown = true;
    }
  }
  if (airborne) f.RolledOut = false;
  f.LastAirborne = airborne;
}

// The train ran past the mark it tracked by more than the reach of a stop
// without standing within reach of it.
void MissStop(state::TMainState& s, double pastMark, uint32_t now) {
  TRunFigures& f = s.Figures;
  TRunEvent* e = AddEvent(f, TRunEventKind::MissedStop, now);
  if (e == nullptr) return;
  e->Stop.Error = pastMark;
  e->Stop.OverLimit = f.OverLimit;
  e->Stop.ProtectionBrakes = f.ProtectionBrakes;
  e->Stop.SinceDeparture = Seconds(f.DepartureClock, now);
  e->Stop.MarkSpeed = f.MarkSpeed;
  Publish(s, *e);
}

void TrainStep(state::TMainState& s, double travel, uint32_t now) {
  TRunFigures& f = s.Figures;
  const double speed = std::fabs(vehicle::GroundSpeed(s.Own));

  // The stop mark ahead: the look-ahead's distance while it reads the mark
  // being approached; once the train passes it the look-ahead turns to the
  // next one, and the distance run past the mark is counted on until it is
  // beyond the reach of a stop: then the mark was missed unless the train
  // stood at it.
  const double predicted = f.ToMark - travel;
  const bool lookAhead = s.StopDistance < kNoLimit;
  if (f.MarkKnown && f.ToMark > 0 && predicted <= 0) f.MarkSpeed = speed;
  if (f.MarkKnown && f.ToMark >= -kStopMarkReach && predicted < -kStopMarkReach &&
      !f.MarkServed) {
    MissStop(s, -predicted, now);
  }
  if (lookAhead && (!f.MarkKnown || std::fabs(s.StopDistance - predicted) <= kMarkResync ||
                    predicted < -kStopMarkReach)) {
    if (!f.MarkKnown || predicted < -kStopMarkReach) {
      f.MarkServed = false;
      f.MarkSpeed = speed;
    }
    f.ToMark = s.StopDistance;
    f.MarkKnown = true;
  } else if (f.MarkKnown) {
    f.ToMark = predicted;
    if (!lookAhead && predicted < -kStopMarkReach) f.MarkKnown = false;
  }
  // Standing within reach (at the start, say, or before the run was kept)
  // serves the mark as a stop does.
  if (f.AtRest && f.MarkKnown && std::fabs(f.ToMark) <= kStopMarkReach) f.MarkServed = true;

  // A departure from a stop (or the run's first) begins the figures of the
  // next stop; moving off after a halt between stations does not.
  if (f.AtRest && speed > kAtRestSpeed) {
    f.AtRest = false;
    if (!f.Departed || f.MarkServed) {
      f.Departed = true;
      f.DepartureClock = now;
      f.OverLimit = 0;
      f.ProtectionBrakes = 0;
    }
  }
  // Each time the train protection brakes: a line with the speed and the limit.
  const bool protection = s.EmergencyBrake != 0;
  if (protection && !f.LastProtection) {
    ++f.ProtectionBrakes;
    char text[160];
    std::snprintf(text, sizeof text, "記録> ATS 作動  速度 %.0f km/h（制限 %.0f km/h）",
                  speed * units::kKmhPerMetrePerSecond,
                  s.RailSpeedLimit < kNoLimit ? s.RailSpeedLimit * units::kKmhPerMetrePerSecond
                                              : 0.0);
    s.Log(text);
  }
  f.LastProtection = protection;
  if (s.RailSpeedLimit > 0 && s.RailSpeedLimit < kNoLimit) {
    f.OverLimit = std::max(f.OverLimit, speed - s.RailSpeedLimit);
  }
}

// The train has come to rest (or the server ended its run at a crawl): a stop
// when a mark lies within reach.
void TrainStops(state::TMainState& s, uint32_t now) {
  TRunFigures& f = s.Figures;
  f.AtRest = true;
  if (!f.MarkKnown || std::fabs(f.ToMark) > kStopMarkReach) return;
  f.MarkServed = true;
  TRunEvent* e = AddEvent(f, TRunEventKind::TrainStop, now);
  if (e == nullptr) return;
  e->Stop.Error = -f.ToMark;
  e->Stop.OverLimit = f.OverLimit;
  e->Stop.ProtectionBrakes = f.ProtectionBrakes;
  e->Stop.SinceDeparture = Seconds(f.DepartureClock, now);
  Publish(s, *e);
}

void RaceStep(state::TMainState& s, uint32_t now) {
  TRunFigures& f = s.Figures;
  if (s.World == nullptr || s.World->RaceStartLine == nullptr) return;
  const world::TRaceCrsInfo& line = *s.World->RaceStartLine;
  if (line.StartLineDistance < 0) return;
  const double d = vehicle::Atan2Deg(line.X2 - line.X1, line.Y2 - line.Y1);
  const double east = s.Own.X + s.OriginX - line.X1, north = s.Own.Y + s.OriginY - line.Y1;
  const double along =
      east * vehicle::SinDeg(d) + north * vehicle::CosDeg(d) - line.StartLineDistance;
  const double across = east * vehicle::CosDeg(d) - north * vehicle::SinDeg(d);
  const bool onCourse = std::fabs(across) <= line.Width / 2 + kCourseMargin;
  // Every forward crossing starts a lap; the first starts the race's time.
  if (onCourse && f.LastOnCourse && f.LastAlongStartLine < 0 && along >= 0) {
    ++f.StartLineCrossings;
    f.LastCrossingClock = now;
    if (!f.StartLineCrossed) {
      f.StartLineCrossed = true;
      f.StartLineClock = now;
    }
  }
  f.LastAlongStartLine = along;
  f.LastOnCourse = onCourse;
}

// The server's line that this user completed the mission.
bool IsOwnCompletion(std::string_view line, std::string_view handle) {
  if (line.substr(0, kServerSpeaker.size()) != kServerSpeaker) return false;
  line.remove_prefix(kServerSpeaker.size());
  if (!handle.empty()) {
    if (line.substr(0, handle.size()) != handle) return false;
    line.remove_prefix(handle.size());
    if (line.substr(0, kHonorific.size()) != kHonorific) return false;
  }
  return line.find(kCompletion) != std::string_view::npos;
}

void StartRun(state::TMainState& s, uint32_t now) {
  TRunFigures& f = s.Figures;
  std::string handle = std::move(f.Handle);
  const TRunEvent lastEvent = f.LastEvent;
  const uint32_t eventSerial = f.EventSerial;
  const uint32_t finishedSerial = f.FinishedSerial;
  const uint64_t logSeen = f.LogSeen;
  // Everything of the run before is gone; the hand-over stays as it was.
  state::TRunRecord finished = f.Finished;
  f = TRunFigures{};
  f.Handle = std::move(handle);
  f.LastEvent = lastEvent;
  f.EventSerial = eventSerial;
  f.Finished = finished;
  f.FinishedSerial = finishedSerial;
  f.LogSeen = logSeen;

  f.Active = true;
  state::TRunRecord& r = f.Run;
  r.Kind = s.Own.Kind;
  r.FormNo = s.Own.FormNo;
  r.Practice = s.Start.Kind == 0;
  r.MissionRow = s.MissionRow;
  r.Destination = s.SelectedDestination;
  r.StartClock = now;
  r.EndClock = now;
  f.LastX = s.Own.X + s.OriginX;
  f.LastY = s.Own.Y + s.OriginY;
  f.LastVZ = s.Own.VZ;
  f.LastAirborne = s.Own.Kind == vehicle::kKindAircraft && Airborne(s);
  f.Flown = f.LastAirborne;  // placed in the air
  f.LiftOffClock = now;
  f.AtRest = std::fabs(vehicle::GroundSpeed(s.Own)) <= kAtRestSpeed;
  f.DepartureClock = now;
}

void EndRun(state::TMainState& s, TRunEnd end, const char* crash, uint32_t now) {
  TRunFigures& f = s.Figures;
  CloseTouchdown(s);
  f.Active = false;
  if (end == TRunEnd::Left && f.Run.EventCount == 0 && f.Run.Distance < kStandingRun) return;
  f.Run.End = end;
  f.Run.EndClock = now;
  if (crash != nullptr) CopyMessage(f.Run.CrashMessage, crash);
  f.Finished = f.Run;
  ++f.FinishedSerial;
}

// The server took the vehicle away: at the goal, or for another reason.
void VehicleGone(state::TMainState& s, uint32_t now) {
  TRunFigures& f = s.Figures;
  const bool goal =
      f.GoalSeen && state::ClockDiff(now, f.GoalClock) <= static_cast<int32_t>(kGoalLineAge);
  bool stopped = false;
  if (f.Run.Kind == vehicle::kKindTrain && !f.AtRest && f.LastSpeed <= kServerStopSpeed) {
    const int32_t before = f.Run.EventCount;
    TrainStops(s, now);
    stopped = f.Run.EventCount > before;
  } else if (f.Run.EventCount > 0) {
    stopped = f.Run.Events[static_cast<std::size_t>(f.Run.EventCount - 1)].Kind ==
              TRunEventKind::TrainStop;
  }
  if (goal && f.Run.Kind == vehicle::kKindRoad) {
    if (TRunEvent* e = AddEvent(f, TRunEventKind::RaceGoal, f.GoalClock)) {
      const uint32_t from = f.StartLineCrossed ? f.StartLineClock : f.Run.StartClock;
      e->RaceTime = Seconds(from, f.GoalClock);
      Publish(s, *e);
    }
  }
  TRunEnd end = TRunEnd::Left;
  if (goal) end = (f.Run.Kind == vehicle::kKindTrain && stopped) ? TRunEnd::Stopped : TRunEnd::Goal;
  EndRun(s, end, nullptr, now);
}

}  // namespace

TLandingGrade LandingGrade(double sinkRate) {
  if (sinkRate < kSmoothSinkRate) return TLandingGrade::Smooth;
  if (sinkRate < kHardSinkRate) return TLandingGrade::Firm;
  return TLandingGrade::Hard;
}

double TouchdownLoad(double sinkRate) {
  const double v = std::max(0.0, sinkRate);
  return 1 + v * v / (2 * units::kGravity * kGearEfficiency * kGearStroke);
}

void UpdateRunFigures(state::TMainState& s, const char* crash, double dt) {
  TRunFigures& f = s.Figures;
  const TVehicleState& own = s.Own;
  const uint32_t now = static_cast<uint32_t>(own.Time) +
                       static_cast<uint32_t>(std::lround(std::max(0.0, dt) * 1000));

  // The server's completion line for this user, among the lines logged
  // since the last step: counted by the lines ever logged, since the log
  // keeps only its last lines and stops growing once full.
  if (f.LogSeen > s.MessageLogCount) f.LogSeen = s.MessageLogCount;
  const uint64_t fresh = std::min<uint64_t>(s.MessageLogCount - f.LogSeen, s.MessageLog.size());
  for (std::size_t i = s.MessageLog.size() - fresh; i < s.MessageLog.size(); ++i) {
    if (IsOwnCompletion(s.MessageLog[i], f.Handle)) {
      f.GoalSeen = true;
      f.GoalClock = now;
    }
  }
  f.LogSeen = s.MessageLogCount;

  const bool present = own.Kind != vehicle::kKindNone && own.FormNo != 0;
  if (f.Active && !present) {
    VehicleGone(s, now);
    return;
  }
  if (!present) return;

  const double x = own.X + s.OriginX, y = own.Y + s.OriginY;
  if (f.Active && (own.Kind != f.Run.Kind || std::hypot(x - f.LastX, y - f.LastY) > kPlacedAnew)) {
    EndRun(s, TRunEnd::Left, nullptr, static_cast<uint32_t>(own.Time));
  }
  if (!f.Active) {
    StartRun(s, now);
    if (crash == nullptr) return;
  }

  state::TRunRecord& r = f.Run;
  const double moved = std::hypot(x - f.LastX, y - f.LastY);
  r.Distance += moved;
  r.EndClock = now;
  r.TopSpeed = std::max(r.TopSpeed, std::sqrt(own.VX * own.VX + own.VY * own.VY + own.VZ * own.VZ));
  if (own.Kind == vehicle::kKindAircraft) r.TopHeight = std::max(r.TopHeight, HeightOf(s));

  switch (own.Kind) {
    case vehicle::kKindAircraft:
      AircraftStep(s, crash, now);
      break;
    case vehicle::kKindTrain: {
      TrainStep(s, vehicle::GroundSpeed(own) < 0 ? -moved : moved, now);
      if (!f.AtRest && std::fabs(vehicle::GroundSpeed(own)) <= kAtRestSpeed) TrainStops(s, now);
      break;
    }
    case vehicle::kKindRoad:
      RaceStep(s, now);
      break;
    default:
      break;
  }
  f.LastX = x;
  f.LastY = y;
  f.LastVZ = own.VZ;
  f.LastSpeed = std::fabs(vehicle::GroundSpeed(own));

  if (crash != nullptr) {
    EndRun(s, TRunEnd::Crash, crash, now);
  } else if (own.Kind == vehicle::kKindAircraft && f.RolledOut && !f.LastAirborne &&
             std::hypot(own.VX, own.VY) < kAtRestSpeed) {
    EndRun(s, TRunEnd::Landed, nullptr, now);
  }
}

void EndRunAsLeft(state::TMainState& s, uint32_t now) {
  if (s.Figures.Active) EndRun(s, TRunEnd::Left, nullptr, now);
}

std::vector<std::string> EventReport(const state::TMainState& s, const TRunEvent& e) {
  std::vector<std::string> lines;
  char text[256];
  switch (e.Kind) {
    case TRunEventKind::Touchdown: {
      const state::TTouchdownFigures& t = e.Touchdown;
      const world::TRunwayInfo* runway =
          (s.World != nullptr && t.Runway >= 0 && t.Runway < world::kMaxDestinations)
              ? s.World->Destinations[static_cast<std::size_t>(t.Runway)]
              : nullptr;
      std::snprintf(text, sizeof text, "記録> 着陸 %s  評価: %s",
                    runway != nullptr ? runway->Name.c_str() : "（滑走路外）", GradeName(t.Grade));
      lines.emplace_back(text);
      std::snprintf(text, sizeof text,
                    "記録> 降下率 %.0f ft/min（%.2f m/s）  荷重 %.2f G  バウンド %d 回",
                    t.SinkRate * units::kFeetPerMinutePerMetrePerSecond, t.SinkRate, t.VerticalLoad,
                    t.Bounces);
      lines.emplace_back(text);
      std::snprintf(text, sizeof text,
                    "記録> 対気速度 %.0f kt  対地速度 %.0f kt  ピッチ %.1f°  バンク %.1f°",
                    t.Airspeed * units::kKnotsPerMetrePerSecond,
                    t.GroundSpeed * units::kKnotsPerMetrePerSecond, t.Pitch, t.Bank);
      lines.emplace_back(text);
      if (runway != nullptr) {
        std::snprintf(text, sizeof text,
                      "記録> 接地点 進入端から %.0f m（目標点から %+.0f m）  中心線から%s %.1f m",
                      t.PastThreshold, t.FromAimPoint, t.CentreLine >= 0 ? "右" : "左",
                      std::fabs(t.CentreLine));
        lines.emplace_back(text);
      }
      break;
    }
    case TRunEventKind::TrainStop: {
      const state::TTrainStopFigures& t = e.Stop;
      std::snprintf(text, sizeof text, "記録> 停車 停止位置から %+.2f m（%s）  発車から %.1f 秒",
                    t.Error,
                    t.Error > 0   ? "行き過ぎ"
                    : t.Error < 0 ? "手前"
                                  : "ぴったり",
                    t.SinceDeparture);
      lines.emplace_back(text);
      std::snprintf(text, sizeof text, "記録> 制限速度超過 最大 %.1f km/h  ATS 作動 %d 回",
                    t.OverLimit * units::kKmhPerMetrePerSecond, t.ProtectionBrakes);
      lines.emplace_back(text);
      break;
    }
    case TRunEventKind::MissedStop: {
      const state::TTrainStopFigures& t = e.Stop;
      std::snprintf(text, sizeof text,
                    "記録> 停止位置を通過 %.0f m を超えて行き過ぎ、停車になりません（停止位置で "
                    "%.0f km/h）",
                    kStopMarkReach, t.MarkSpeed * units::kKmhPerMetrePerSecond);
      lines.emplace_back(text);
      std::snprintf(text, sizeof text, "記録> 制限速度超過 最大 %.1f km/h  ATS 作動 %d 回",
                    t.OverLimit * units::kKmhPerMetrePerSecond, t.ProtectionBrakes);
      lines.emplace_back(text);
      break;
    }
    case TRunEventKind::RaceGoal:
      std::snprintf(text, sizeof text, "記録> ゴール  タイム %.2f 秒（スタートラインから）",
                    e.RaceTime);
      lines.emplace_back(text);
      break;
  }
  return lines;
}

const char* GradeName(TLandingGrade grade) {
  switch (grade) {
    case TLandingGrade::Smooth:
      return "スムーズ";
    case TLandingGrade::Firm:
      return "やや強め";
    case TLandingGrade::Hard:
      return "ハード";
    case TLandingGrade::Crash:
      return "墜落";
  }
  return "";
}

const char* GradeKey(TLandingGrade grade) {
  switch (grade) {
    case TLandingGrade::Smooth:
      return "smooth";
    case TLandingGrade::Firm:
      return "firm";
    case TLandingGrade::Hard:
      return "hard";
    case TLandingGrade::Crash:
      return "crash";
  }
  return "";
}

std::string GradeNameOfKey(const std::string& key) {
  for (const TLandingGrade g :
       {TLandingGrade::Smooth, TLandingGrade::Firm, TLandingGrade::Hard, TLandingGrade::Crash}) {
    if (key == GradeKey(g)) return GradeName(g);
  }
  return key;
}

std::string EndNameOfKey(const std::string& key) {
  for (const TRunEnd e : {TRunEnd::None, TRunEnd::Landed, TRunEnd::Stopped, TRunEnd::Goal,
                          TRunEnd::Crash, TRunEnd::Left}) {
    if (key == EndKey(e)) return EndName(e);
  }
  return key;
}

const char* EndName(TRunEnd end) {
  switch (end) {
    case TRunEnd::None:
      return "飛行中";
    case TRunEnd::Landed:
      return "着陸";
    case TRunEnd::Stopped:
      return "停車";
    case TRunEnd::Goal:
      return "ゴール";
    case TRunEnd::Crash:
      return "墜落";
    case TRunEnd::Left:
      return "離脱";
  }
  return "";
}

const char* EndKey(TRunEnd end) {
  switch (end) {
    case TRunEnd::None:
      return "running";
    case TRunEnd::Landed:
      return "landed";
    case TRunEnd::Stopped:
      return "stopped";
    case TRunEnd::Goal:
      return "goal";
    case TRunEnd::Crash:
      return "crash";
    case TRunEnd::Left:
      return "left";
  }
  return "";
}

const char* EventKindKey(TRunEventKind kind) {
  switch (kind) {
    case TRunEventKind::Touchdown:
      return "touchdown";
    case TRunEventKind::TrainStop:
      return "stop";
    case TRunEventKind::RaceGoal:
      return "race";
    case TRunEventKind::MissedStop:
      return "missed_stop";
  }
  return "";
}

}  // namespace velmora::app
