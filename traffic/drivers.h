// The traffic's drivers: small laws over the user's controls. Each tick a
// driver presses and releases keys through the controls, as a user's
// keyboard does, and returns the joystick reading its stick gives; nothing is
// set in the vehicle record. The drivers are core code: they run against a
// main state with or without a server.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/tick.h"
#include "state/main_state.h"

namespace velmora::traffic {

enum class TTrafficKind { Airliner, Train, Car, Fighter };

// "airliner", "train", "car", "fighter"; nothing for another word.
std::optional<TTrafficKind> KindFromName(const std::string& name);
const char* KindName(TTrafficKind kind);

// The server's missions a vehicle of this kind takes, by the words of their
// titles in the mission grid: mission numbers (1-based), in grid order.
std::vector<int32_t> MissionsForKind(const state::TMainState& state, TTrafficKind kind);

// Stick position −1.05..1.05 as the joystick's raw axis reading, so that the
// tick's dead zone gives the position back.
uint32_t AxisReading(double stick);

// The keys a driver holds: a key goes down once and stays down until it is
// released, as a held key of the keyboard.
class TKeyboard {
 public:
  void Press(state::TMainState& state, int32_t key, uint32_t now);
  void Release(state::TMainState& state, int32_t key);
  // Presses and at once releases the key.
  void Tap(state::TMainState& state, int32_t key, uint32_t now);
  bool Held(int32_t key) const;
  void ReleaseAll(state::TMainState& state);

 private:
  std::vector<int32_t> held_;
};

class TDriver {
 public:
  virtual ~TDriver() = default;
  // One tick's controls, before the tick runs: keys through the controls, and
  // the stick as the joystick reading. now: synchronised clock (ms).
  virtual app::TJoystickReading Drive(state::TMainState& state, uint32_t now) = 0;
  // The vehicle was (re)placed at its start: the law begins from its first phase.
  virtual void Restart(state::TMainState& state, uint32_t now) = 0;
  // True once when the run is over while the vehicle is still in play (an
  // airliner standing after its landing): the mission is to be chosen again.
  // The driver then holds the vehicle until its next placement.
  virtual bool TakeMissionAgain() { return false; }

 protected:
  TKeyboard keys_;
};

// Trains run station to station: power until the braking distance reaches
// the stop distance of the railway's look-ahead, then brake to the mark;
// below the track's speed limit throughout, so the reservations of trains
// ahead hold them. At a station they wait 20–40 s.
class TTrainDriver final : public TDriver {
 public:
  explicit TTrainDriver(uint32_t seed) : random_(seed) {}
  app::TJoystickReading Drive(state::TMainState& state, uint32_t now) override;
  void Restart(state::TMainState& state, uint32_t now) override;

  enum class TPhase { Dwell, Departing, Running, Held };
  TPhase Phase() const { return phase_; }
  // ms the present or last dwell lasts.
  int32_t DwellMs() const { return dwellMs_; }

 private:
  void StartDwell(uint32_t now);

  std::mt19937 random_;
  TPhase phase_ = TPhase::Dwell;
  uint32_t dwellStart_ = 0;
  int32_t dwellMs_ = 0;
  double departX_ = 0, departY_ = 0;  // m, where the train left its station
};

// A way point of a course, metres east and north, with the speed to reach it.
struct TWayPoint {
  double X = 0;      // m, east
  double Y = 0;      // m, north
  double Speed = 0;  // m/s
};

// The race course's oval, clockwise from the start line, in way points every
// few tens of metres.
std::vector<TWayPoint> RaceCourse();

// Cars follow a course of way points: the wheel towards a point ahead on the
// course, the throttle and brake towards the way point's speed.
class TCarDriver final : public TDriver {
 public:
  explicit TCarDriver(std::vector<TWayPoint> course) : course_(std::move(course)) {}
  app::TJoystickReading Drive(state::TMainState& state, uint32_t now) override;
  void Restart(state::TMainState& state, uint32_t now) override;
  // m, the distance of (x, y) from the course's polyline.
  double OffCourse(double x, double y) const;

 private:
  std::vector<TWayPoint> course_;
  std::size_t next_ = 0;  // the way point being driven to
  uint32_t startAt_ = 0;  // ms, when the car may move
};

// Airliners fly a circuit with the crew: the take-off on the runway heading,
// gear and flaps up in the climb; the runway into the wind chosen on the
// destination panel, so the crew's autopilot flies the approach; after the
// hand-over the final to the runway's centre line on a 3° path, a flare that
// trades the sink rate for height near the ground at idle power, the roll-out
// on the brake to a stop, and after a short stand the mission again. An
// autopilot that lets go of an aircraft too slow, away from the final, gets
// it back, with the runway chosen again, once the speed is up.
class TAirlinerDriver final : public TDriver {
 public:
  // firstWaitMs: added to the wait before the first take-off only.
  explicit TAirlinerDriver(uint32_t firstWaitMs = 0) : firstWaitMs_(firstWaitMs) {}
  app::TJoystickReading Drive(state::TMainState& state, uint32_t now) override;
  void Restart(state::TMainState& state, uint32_t now) override;
  bool TakeMissionAgain() override;

  enum class TPhase { Waiting, TakeOff, Autopilot, Recovering, Landing, RollOut, Standing, Done };
  TPhase Phase() const { return phase_; }

 private:
  app::TJoystickReading TakeOff(state::TMainState& state, uint32_t now);
  app::TJoystickReading Land(state::TMainState& state, uint32_t now);
  app::TJoystickReading Recover(state::TMainState& state, uint32_t now);
  app::TJoystickReading RollOut(state::TMainState& state, uint32_t now);
  void ChooseRunway(state::TMainState& state, uint32_t now);
  // Flaps up by the speed in the climb; down by it on the approach.
  void Flaps(state::TMainState& state, uint32_t now);

  TPhase phase_ = TPhase::Waiting;
  double heading_ = 0;         // deg, the runway heading held on the take-off
  uint32_t startAt_ = 0;       // ms, when the take-off run begins
  bool finalSeen_ = false;     // the crew was on final at the last step
  int32_t runway_ = -1;        // destination landed on, index into the world's list
  uint32_t stoppedAt_ = 0;     // ms, when the aircraft came to rest
  bool missionAgain_ = false;  // the run is over; not yet taken by the client
  uint32_t firstWaitMs_;       // ms, still to add to the next wait on the ground
};

// Fighters patrol at their height: a wide turn, the height held with the
// stick and the speed with the throttle keys.
class TFighterDriver final : public TDriver {
 public:
  explicit TFighterDriver(double bank) : bank_(bank) {}
  app::TJoystickReading Drive(state::TMainState& state, uint32_t now) override;
  void Restart(state::TMainState& state, uint32_t now) override;

 private:
  double bank_;        // deg, the patrol turn's bank, right positive
  double height_ = 0;  // m, the height held
  double speed_ = 0;   // m/s, the speed held
};

}  // namespace velmora::traffic
