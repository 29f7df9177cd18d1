#include "traffic/traffic_client.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/protocol.h"

namespace velmora::traffic {
namespace {

constexpr int kTickMilliseconds = 10;
constexpr uint32_t kMissionPauseMs =
    100;  // ms between seeing the list and choosing, as a user's click
constexpr uint32_t kPlacementWaitMs =
    5000;  // ms a mission choice waits for its vehicle before it is sent again
// ms from the announced hit within which the end of the run is the hit's: the
// server announces it in the chat, then ends the run in its next round.
constexpr int32_t kHitEndsRunMs = 3000;

bool SamePlacement(const vehicle::TVehicleState& a, const vehicle::TVehicleState& b) {
  return a.FormNo == b.FormNo && a.Kind == b.Kind && a.X == b.X && a.Y == b.Y && a.Z == b.Z &&
         a.Heading == b.Heading && a.Time == b.Time;
}

// The mission panel's text of mission; empty when the panel lacks it.
std::string MissionTitle(const state::TMainState& s, int32_t mission) {
  const int32_t rows = std::clamp(s.MissionRowCount, 0, state::kMissionRows);
  for (int32_t row = 0; row < rows; ++row) {
    if (app::MissionForRow(s, row) == mission) return s.MissionCells[static_cast<std::size_t>(row)];
  }
  return {};
}

std::unique_ptr<TDriver> MakeDriver(TTrafficKind kind, uint32_t seed) {
  switch (kind) {
    case TTrafficKind::Train:
      return std::make_unique<TTrainDriver>(seed);
    case TTrafficKind::Car:
      return std::make_unique<TCarDriver>(RaceCourse());
    case TTrafficKind::Airliner:
      return std::make_unique<TAirlinerDriver>();
    case TTrafficKind::Fighter:
      // Pairs turn the same way, so they stay together.
      return std::make_unique<TFighterDriver>(40.0);
  }
  return nullptr;
}

}  // namespace

// The traffic client's side of its session: the requests it answers itself,
// and a fault the recovery cannot get past, which starts it over.
class TTrafficClient::TShell final : public client::TSessionShell {
 public:
  explicit TShell(TTrafficClient& client) : client_(client) {}
  bool CarryOut(state::TShellRequests& requests) override {
    return client_.CarryOutClientRequests(requests);
  }
  bool FaultPersists(const std::string& what) override {
    client_.StartOver("内部エラー: " + what);
    return false;
  }

 private:
  TTrafficClient& client_;
};

TTrafficClient::TTrafficClient(TClientConfig config, const vehicle::TFormTable& forms,
                               std::unique_ptr<world::TWorld> world, const app::TClock* clock,
                               QObject* parent)
    : QObject(parent),
      config_(std::move(config)),
      driver_(MakeDriver(config_.Kind, config_.Seed)),
      shell_(std::make_unique<TShell>(*this)),
      session_(std::make_unique<client::TClientSession>(
          *shell_,
          client::TSessionConfig{config_.Host, config_.Port, config_.WorldText, config_.WorldNo,
                                 config_.Seed},
          clock)) {
  if (!config_.Starts) config_.Starts = std::make_shared<TStartBook>();
  session_->UseInstallation(forms, std::move(world));
  ResetState();
  tick_ = new QTimer(this);
  tick_->setTimerType(Qt::PreciseTimer);
  tick_->setInterval(kTickMilliseconds);
  retry_ = new QTimer(this);
  retry_->setSingleShot(true);
  Report = [handle = config_.Handle](const std::string& line) {
    std::fprintf(stderr, "velmora-traffic: %s: %s\n", handle.c_str(), line.c_str());
    std::fflush(stderr);
  };
  connect(tick_, &QTimer::timeout, this, [this] { Tick(); });
  connect(retry_, &QTimer::timeout, this,
          [this] { RunCore([this] { app::LoginAnswered(State(), config_.Handle); }); });
}

TTrafficClient::~TTrafficClient() = default;

uint32_t TTrafficClient::Now() const { return session_->Now(); }

void TTrafficClient::ResetState() {
  session_->ResetState();
  loggedIn_ = false;
  choiceDue_ = false;
  hadVehicle_ = false;
  awaitingPlacement_ = false;
  rechoosing_ = false;
  placedStart_ = vehicle::TVehicleState{};
  restartSeen_ = 0;
  hitsSeen_ = 0;
  hit_ = false;
  // A fresh login takes its mission at once: the pause before it was the pause.
  anyPlacement_ = false;
}

void TTrafficClient::Start() {
  ResetState();
  tick_->start();
  ScheduleLogin(config_.FirstLoginDelayMs);
}

void TTrafficClient::ScheduleLogin(uint32_t delayMs) {
  State().LoginStage = state::TLoginStage::Asking;
  retry_->start(static_cast<int>(delayMs));
}

void TTrafficClient::ReportOnce(const std::string& problem, const std::string& detail) {
  if (problem == lastReport_) return;
  lastReport_ = problem;
  ++counts_.Reports;
  if (Report) Report(problem + detail);
}

// A login that did not get through: say so once, wait, try again, each
// failure in a row waiting twice as long as the one before.
void TTrafficClient::LoginFailed(const std::string& reason) {
  // The same problem again is no news: the pause grows without a line.
  ReportOnce(reason, "（" + std::to_string(retryMs_ / 1000) +
                         " 秒後から再試行します。続く場合は間隔を延ばします）");
  ++counts_.Retries;
  const uint32_t pause = retryMs_;
  retryMs_ = std::min(retryMs_ * 2, kLongestRetryMs);
  ScheduleLogin(pause);
}

// The connection is gone after play, or the client cannot go on: a fresh
// state, and the login again after the pause.
void TTrafficClient::StartOver(const std::string& reason) {
  session_->DropConnection();
  ResetState();
  LoginFailed(reason);
}

// Shot down: the client leaves the server, with a fresh state, and logs in
// again after the pause. Not a failure: the pause does not grow.
void TTrafficClient::LeaveAfterShot() {
  ++counts_.ShotDown;
  session_->DropConnection();
  ResetState();
  ScheduleLogin(config_.ShotPauseMs);
}

bool TTrafficClient::CarryOutClientRequests(state::TShellRequests& r) {
  if (!r.ErrorBoxes.empty()) pendingReason_ = r.ErrorBoxes.back();
  if (!r.ReloginBox.empty()) {
    // The connection was lost in play: the login again, after the pause.
    pendingReason_.clear();
    StartOver(r.ReloginBox);
    return false;
  }
  if (r.Close) {
    StartOver(pendingReason_.empty() ? std::string("接続が終わりました。") : pendingReason_);
    pendingReason_.clear();
    return false;
  }
  if (r.AskLogin && !retry_->isActive()) {
    // The server refused the login or closed before play.
    const state::TMainState& s = State();
    std::string reason = pendingReason_;
    if (reason.empty() && !s.MessageLog.empty()) reason = s.MessageLog.back();
    pendingReason_.clear();
    loggedIn_ = false;
    LoginFailed(reason.empty() ? std::string("ログインできませんでした。") : reason);
  }
  return true;
}

void TTrafficClient::ChooseMission() {
  state::TMainState& s = State();
  std::vector<int32_t> missions = MissionsForKind(s, config_.Kind);
  if (!config_.MissionWord.empty()) {
    std::erase_if(missions, [&](int32_t m) {
      return MissionTitle(s, m).find(config_.MissionWord) == std::string::npos;
    });
  }
  if (missions.empty()) {
    if (state::ClockDiff(Now(), loggedInAt_) < static_cast<int32_t>(config_.MissionListWaitMs))
      return;
    // The server lists nothing this client can drive: leave and try later.
    StartOver(std::string("サーバーの一覧に ") + KindName(config_.Kind) +
              " のミッションがありません。");
    return;
  }
  if (!choiceDue_) {
    choiceDue_ = true;
    choiceAt_ = Now() + kMissionPauseMs;
    return;
  }
  if (state::ClockDiff(Now(), choiceAt_) < 0) return;
  choiceDue_ = false;
  // In turn through the missions of the kind, each client from its own place.
  const std::size_t turn = static_cast<std::size_t>(config_.Ordinal + counts_.Placements);
  const int32_t mission = missions[turn % missions.size()];
  // Its start may be taken by another vehicle: placed there, this one would
  // stand inside it. The choice waits, and is tried again on the next tick;
  // who stands where is known once the server's positions have come.
  const std::string title = MissionTitle(s, mission);
  const uint32_t systemMs = session_->Clock().SystemMilliseconds();
  if (s.TimeSynchronised == 0 || !config_.Starts->Clear(s, title, config_.Handle, systemMs)) {
    return;
  }
  config_.Starts->Claim(title, config_.Handle, systemMs);
  chosenTitle_ = title;
  app::SendMission(s, mission);
  choiceAt_ = Now();  // no second choice until the placement, or a while without one
  awaitingPlacement_ = true;
  rechoosing_ = false;
}

void TTrafficClient::WatchSilence() {
  const state::TLoginStage stage = State().LoginStage;
  if (stage != state::TLoginStage::Connecting && stage != state::TLoginStage::Sent &&
      stage != state::TLoginStage::LoggedIn) {
    return;
  }
  const uint32_t silent = session_->SilentMs();
  app::ServerSilence(State(), silent);
  constexpr const char* kSilent = "サーバーからの応答がありません。";
  if (silent >= kSilenceGiveUpMs) {
    // The report below named the problem already: the pause grows without a new line.
    StartOver(kSilent);
  } else if (State().ServerSilent) {
    ReportOnce(kSilent, "（" + std::to_string(kSilenceGiveUpMs / 1000) +
                            " 秒続くと接続し直します）");
  }
}

void TTrafficClient::Tick() {
  WatchSilence();
  state::TMainState& s = State();
  if (!loggedIn_ && s.Own.UserNo != 0 && s.LoginStage == state::TLoginStage::LoggedIn) {
    loggedIn_ = true;
    loggedInAt_ = Now();
    ++counts_.Logins;
  }
  // The protocol counts the server's hits on the own vehicle.
  if (s.HitsOnOwn != hitsSeen_) {
    hitsSeen_ = s.HitsOnOwn;
    hit_ = true;
    hitAt_ = Now();
  }
  const bool shotDown = hit_ && s.Own.Kind == vehicle::kKindNone && hadVehicle_ &&
                        state::ClockDiff(Now(), hitAt_) < kHitEndsRunMs;
  if (shotDown) LeaveAfterShot();
  if (loggedIn_ && !shotDown) {
    const bool vehicle = s.Own.Kind != vehicle::kKindNone && s.Own.FormNo != 0;
    if (vehicle && !SamePlacement(s.Start, placedStart_)) {
      // A new placement: the driver begins again from its first phase. Its
      // start record (absolute: the world offsets are 0 at a placement) tells
      // every client where the mission starts.
      placedStart_ = s.Start;
      if (!chosenTitle_.empty()) config_.Starts->Note(chosenTitle_, s.Start);
      restartSeen_ = s.RestartTime;
      driver_->Restart(s, Now());
      placedAt_ = Now();
      rechoosing_ = false;
      choiceDue_ = false;
      ++counts_.Placements;
      anyPlacement_ = true;
      hit_ = false;
      retryMs_ = kFirstRetryMs;
      lastReport_.clear();
    } else if (vehicle && s.Restarted != 0 && s.RestartTime != restartSeen_) {
      // A crash put the vehicle back at its start: the driver waits there first.
      restartSeen_ = s.RestartTime;
      driver_->Restart(s, Now());
    }
    if (vehicle) {
      hadVehicle_ = true;
      awaitingPlacement_ = false;
      if (driver_->TakeMissionAgain() && !rechoosing_) {
        // The driver finished its run with the vehicle still in play (an
        // airliner stopped after its landing): the mission again.
        placedAt_ = Now();
        rechoosing_ = true;
        choiceDue_ = false;
      }
      if (!rechoosing_ &&
          state::ClockDiff(Now(), placedAt_) >= static_cast<int32_t>(config_.LongestRunMs)) {
        // Too long without reaching the goal: the mission again, from its start.
        placedAt_ = Now();
        rechoosing_ = true;
        choiceDue_ = false;
      }
      if (rechoosing_) ChooseMission();
    } else {
      if (hadVehicle_) {
        // The run ended: the mission again after the pause.
        hadVehicle_ = false;
        endedAt_ = Now();
      }
      const uint32_t now = Now();
      // Airliners after the first wait their turn before their first mission.
      const uint32_t firstWait = config_.Kind == TTrafficKind::Airliner
                                     ? static_cast<uint32_t>(config_.Ordinal) * kAirlinerSpacingMs
                                     : 0;
      const bool rested =
          anyPlacement_
              ? state::ClockDiff(now, endedAt_) >= static_cast<int32_t>(config_.RunPauseMs)
              : counts_.Placements > 0 ||
                    state::ClockDiff(now, loggedInAt_) >= static_cast<int32_t>(firstWait);
      const bool unanswered = awaitingPlacement_ && state::ClockDiff(now, choiceAt_) <
                                                        static_cast<int32_t>(kPlacementWaitMs);
      if (rested && !unanswered) {
        awaitingPlacement_ = false;
        ChooseMission();
      }
    }
  }
  // Choosing a mission may have started over with a fresh state.
  state::TMainState& current = State();
  if (!current.TimerEnabled) {
    session_->CarryOutRequests();
    return;
  }
  session_->Tick([&] {
    const bool vehicle = current.Own.Kind != vehicle::kKindNone && current.Own.FormNo != 0;
    return vehicle && loggedIn_ ? driver_->Drive(current, Now()) : app::TJoystickReading{};
  });
}

}  // namespace velmora::traffic
