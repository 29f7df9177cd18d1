// One traffic client: a client session (client/) with its own main state,
// world and connection, a 10 ms tick, and a driver on the controls. It logs in with its handle, takes a mission of its kind and
// drives it; a run that ends or crashes is taken again after a pause. A
// refused handle, a closed connection or a mission list without its kind is
// reported once and retried with a growing pause, as is a server that falls
// silent. A fighter that is shot leaves the server and joins again after a
// pause. A mission whose start another vehicle stands on waits until it is clear.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/tick.h"
#include "client/client_session.h"
#include "state/main_state.h"
#include "traffic/drivers.h"
#include "traffic/start_book.h"
#include "vehicle/vehicle_state.h"
#include "world/world.h"

namespace velmora::traffic {

// First and longest pause before a login is tried again, ms.
inline constexpr uint32_t kFirstRetryMs = 1000;
inline constexpr uint32_t kLongestRetryMs = 60000;
// ms a finished or crashed vehicle waits before it takes its mission again.
inline constexpr uint32_t kRunPauseMs = 10000;
// ms a run may last before the mission is taken again: a vehicle that missed
// its goal or got stuck does not stand or fly on for ever.
inline constexpr uint32_t kLongestRunMs = 15 * 60 * 1000;
// ms after the login within which a mission of the client's kind must be listed.
inline constexpr uint32_t kMissionListWaitMs = 3000;
// ms a vehicle that was shot stays away before it joins again.
inline constexpr uint32_t kShotPauseMs = 30000;
// ms of silence from the server after which the connection is given up and
// the login tried again; the silence is reported after app::kServerSilenceMs.
inline constexpr uint32_t kSilenceGiveUpMs = 30000;
// ms each further airliner waits before it first takes its mission: the
// sample world has one airliner start, and aircraft that took off together
// would fly the whole circuit wing in wing.
inline constexpr uint32_t kAirlinerSpacingMs = 60000;

struct TClientConfig {
  std::string Host = "127.0.0.1";
  uint16_t Port = 64000;
  std::string WorldText = "52566771";  // the world number as given; the message prefix uses it
  int32_t WorldNo = 52566771;
  std::string Handle = "AI-01";
  TTrafficKind Kind = TTrafficKind::Train;
  uint32_t Seed = 1;
  // The client's number among those of its kind, from 0: the first choice of
  // each is a different mission where there are enough, so that two trains
  // are not placed on one start point.
  int Ordinal = 0;
  uint32_t FirstLoginDelayMs = 0;  // spreads the clients' first logins
  uint32_t RunPauseMs = kRunPauseMs;
  uint32_t MissionListWaitMs = kMissionListWaitMs;
  uint32_t LongestRunMs = kLongestRunMs;
  uint32_t ShotPauseMs = kShotPauseMs;
  // Besides its kind's word, the missions taken must have this text in their
  // title; empty: any mission of the kind.
  std::string MissionWord;
  // Where missions start; shared by the clients of one program. Null: the client keeps its own.
  std::shared_ptr<TStartBook> Starts;
};

// Where a client stands, for the program's summary and for tests.
struct TClientCounts {
  int Logins = 0;      // logins the server accepted
  int Placements = 0;  // vehicles placed by a mission choice
  int Reports = 0;     // problems reported on standard error
  int Retries = 0;     // logins tried again after a failure
  int ShotDown = 0;    // times the vehicle was shot and the client left
};

class TTrafficClient final : public QObject {
 public:
  // forms: the installation's vehicle types; world: this client's own world;
  // clock: the system clock to read, null for the steady clock (tests set one).
  TTrafficClient(TClientConfig config, const vehicle::TFormTable& forms,
                 std::unique_ptr<world::TWorld> world, const app::TClock* clock = nullptr,
                 QObject* parent = nullptr);
  ~TTrafficClient() override;

  void Start();
  // One tick of the client's timer: the login and mission logic, the driver
  // on the controls and the core's tick (tests call it directly).
  void Tick();
  // Looks at how long the server has been silent while it is awaited: a report
  // after app::kServerSilenceMs, a new login after kSilenceGiveUpMs. Every tick runs it.
  void WatchSilence();
  state::TMainState& State() { return session_->State(); }
  const state::TMainState& State() const { return session_->State(); }
  const TClientCounts& Counts() const { return counts_; }
  uint32_t RetryPauseMs() const { return retryMs_; }
  const TClientConfig& Config() const { return config_; }
  // Where a report goes; standard error unless set (tests).
  std::function<void(const std::string&)> Report;

 private:
  class TShell;

  void ResetState();
  void RunCore(const std::function<void()>& call) { session_->RunCore(call); }
  // The requests of one round that the traffic client answers itself; false
  // when it started over.
  bool CarryOutClientRequests(state::TShellRequests& requests);
  void ChooseMission();
  void LoginFailed(const std::string& reason);
  void StartOver(const std::string& reason);
  void LeaveAfterShot();
  void ScheduleLogin(uint32_t delayMs);
  // Reports problem, with detail, unless it is the problem reported last.
  void ReportOnce(const std::string& problem, const std::string& detail = {});
  uint32_t Now() const;

  TClientConfig config_;
  std::unique_ptr<TDriver> driver_;
  std::unique_ptr<TShell> shell_;
  std::unique_ptr<client::TClientSession> session_;
  QTimer* tick_ = nullptr;
  QTimer* retry_ = nullptr;
  TClientCounts counts_;
  uint32_t retryMs_ = kFirstRetryMs;
  std::string lastReport_;     // the problem reported last; the same one is not repeated
  std::string pendingReason_;  // why the login in hand failed, when the server said so
  bool loggedIn_ = false;
  uint32_t loggedInAt_ = 0;  // ms, Now() at the accepted login
  bool choiceDue_ = false;   // a mission is to be chosen at choiceAt_
  uint32_t choiceAt_ = 0;
  bool hadVehicle_ = false;             // a vehicle of a mission was in play at the last tick
  bool awaitingPlacement_ = false;      // a mission was chosen; its vehicle has not come yet
  bool anyPlacement_ = false;           // a vehicle was placed in this login
  uint32_t endedAt_ = 0;                // ms, Now() when the last run ended
  vehicle::TVehicleState placedStart_;  // the start state the driver began from
  uint32_t restartSeen_ = 0;            // RestartTime of the last crash the driver saw
  uint32_t placedAt_ = 0;               // ms, Now() at the present vehicle's placement
  bool rechoosing_ = false;  // the run lasted too long: its mission is being chosen again
  std::string chosenTitle_;  // the mission chosen last, as the mission grid names it
  uint32_t hitsSeen_ = 0;    // the state's hits on the own vehicle already seen
  bool hit_ = false;         // a missile hit this client's vehicle at hitAt_ (ms)
  uint32_t hitAt_ = 0;
};

}  // namespace velmora::traffic
