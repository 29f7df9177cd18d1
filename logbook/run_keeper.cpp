#include "logbook/logbook.h"

#include <ctime>
#include <utility>

#include "app/replay.h"
#include "app/replay_file.h"
#include "app/run_figures.h"

namespace velmora::logbook {

namespace {

// What the core's record leaves out: the times, the login and the replay.
struct TRunContext {
  std::string Started, Ended;  // local time
  std::string Handle, Server;
  std::string Replay;
};

// The figures of a touchdown an event's row keeps as they are.
using TTouchdown = state::TTouchdownFigures;
constexpr std::pair<double TTouchdown::*, double TEventRow::*> kTouchdownFigures[] = {
    {&TTouchdown::SinkRate, &TEventRow::SinkRate},
    {&TTouchdown::VerticalLoad, &TEventRow::VerticalLoad},
    {&TTouchdown::Airspeed, &TEventRow::Airspeed},
    {&TTouchdown::GroundSpeed, &TEventRow::GroundSpeed},
    {&TTouchdown::Pitch, &TEventRow::Pitch},
    {&TTouchdown::Bank, &TEventRow::Bank},
    {&TTouchdown::PastThreshold, &TEventRow::PastThreshold},
    {&TTouchdown::FromAimPoint, &TEventRow::FromAimPoint},
    {&TTouchdown::CentreLine, &TEventRow::CentreLine},
};

// A run's row from the core's record and what only the shell knows of it.
TRunRow RowOf(const state::TMainState& s, const state::TRunRecord& run,
              const TRunContext& context) {
  TRunRow r;
  r.Started = context.Started;
  r.Ended = context.Ended;
  r.Duration = run.Duration();
  if (run.MissionRow >= 0 && run.MissionRow < s.MissionRowCount &&
      run.MissionRow < state::kMissionRows) {
    r.Mission = s.MissionCells[static_cast<std::size_t>(run.MissionRow)];
    r.Mission.erase(0, r.Mission.find_first_not_of(' '));
  }
  if (r.Mission.empty()) r.Mission = run.Practice ? "着陸訓練" : "（ミッションなし）";
  r.VehicleKind = run.Kind;
  r.VehicleType = run.FormNo;
  if (const vehicle::TFormParam* form = s.Forms.Find(run.FormNo)) r.Vehicle = form->Name;
  r.Handle = context.Handle;
  r.Server = context.Server;
  r.WorldNo = s.WorldNo;
  r.Distance = run.Distance;
  r.TopSpeed = run.TopSpeed;
  r.TopHeight = run.TopHeight;
  r.Ending = app::EndKey(run.End);
  r.CrashMessage = run.CrashMessage.data();
  r.Replay = context.Replay;
  for (int i = 0; i < run.EventCount && i < state::kMaxRunEvents; ++i) {
    const state::TRunEvent& e = run.Events[static_cast<std::size_t>(i)];
    TEventRow row;
    row.Seq = i;
    row.Kind = app::EventKindKey(e.Kind);
    row.At = e.At;
    if (e.Kind == state::TRunEventKind::Touchdown) {
      const state::TTouchdownFigures& t = e.Touchdown;
      if (s.World != nullptr && t.Runway >= 0 && t.Runway < world::kMaxDestinations &&
          s.World->Destinations[static_cast<std::size_t>(t.Runway)] != nullptr) {
        row.Runway = s.World->Destinations[static_cast<std::size_t>(t.Runway)]->Name;
      }
      for (const auto& [figure, field] : kTouchdownFigures) row.*field = t.*figure;
      row.Bounces = t.Bounces;
      row.Grade = app::GradeKey(t.Grade);
    } else if (e.Kind == state::TRunEventKind::TrainStop ||
               e.Kind == state::TRunEventKind::MissedStop) {
      if (e.Kind == state::TRunEventKind::MissedStop) row.GroundSpeed = e.Stop.MarkSpeed;
      row.StopError = e.Stop.Error;
      row.OverLimit = e.Stop.OverLimit;
      row.ProtectionBrakes = e.Stop.ProtectionBrakes;
      row.SinceDeparture = e.Stop.SinceDeparture;
    } else {
      row.RaceTime = e.RaceTime;
    }
    r.Events.push_back(std::move(row));
  }
  return r;
}

// Local time, "YYYY-MM-DD HH:MM:SS".
std::string LocalTime(const std::tm& t) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &t);
  return text;
}

std::tm LocalTimeOf(std::chrono::system_clock::time_point at) {
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(at));
  std::tm t{};
  localtime_r(&seconds, &t);
  return t;
}

}  // namespace

TRunKeeper::TRunKeeper(state::TMainState& state, std::string path, std::string server,
                       std::string replayFolder)
    : state_(state),
      server_(std::move(server)),
      replayFolder_(std::move(replayFolder)),
      writer_(std::move(path)),
      finishedSeen_(state.Figures.FinishedSerial) {}

std::vector<TRunRow> TRunKeeper::AfterTick(bool autoSaveReplay,
                                           std::chrono::system_clock::time_point now) {
  const state::TRunFigures& f = state_.Figures;
  recorder_.AfterTick(state_);
  if (f.FinishedSerial != finishedSeen_) {
    finishedSeen_ = f.FinishedSerial;
    const std::tm ended = LocalTimeOf(now);
    const auto duration =
        std::chrono::milliseconds(static_cast<int64_t>(f.Finished.Duration() * 1000));
    TRunContext context;
    context.Ended = LocalTime(ended);
    context.Started = LocalTime(LocalTimeOf(now - duration));
    context.Handle = f.Handle;
    context.Server = server_;
    if (autoSaveReplay) {
      context.Replay = app::SaveFinishedRunReplay(
          state_, replayFolder_,
          app::ReplayFileName(ended.tm_year + 1900, ended.tm_mon + 1, ended.tm_mday, ended.tm_hour,
                              ended.tm_min, ended.tm_sec));
    }
    TRunRow row = RowOf(state_, f.Finished, context);
    if (const std::optional<app::TRunTrace> trace = recorder_.TakeFinished(f.Finished.StartClock)) {
      row.Trace = app::EncodeTrace(*trace);
    }
    writer_.Submit(std::move(row));
  }
  for (const std::string& message : writer_.TakeMessages()) state_.Log("記録簿> " + message);
  for (const std::string& best : writer_.TakeBests()) state_.Log("記録> " + best);
  return writer_.TakeWritten();
}

}  // namespace velmora::logbook
