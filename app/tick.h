// The simulation tick, run every 10 ms by the shell's timer: read the
// joystick, advance every vehicle in sub-steps of at most 10 ms up to the
// synchronised clock (at most one second of scene time per tick), then
// record, apply the train protection, draw, lock on and send.
#pragma once

#include <cstdint>
#include <string>

#include "state/main_state.h"

namespace velmora::app {

// The system's millisecond clock (32 bits, wraps).
class TClock {
 public:
  virtual ~TClock() = default;
  virtual uint32_t SystemMilliseconds() const = 0;
};

// The synchronised clock: system time plus the correction the server's
// position messages have built up.
inline uint32_t SynchronisedClock(const state::TMainState& state, const TClock& clock) {
  return clock.SystemMilliseconds() + state.ClockCorrection;
}

// One reading of joystick 1.
struct TJoystickReading {
  bool Present = false;  // false: no joystick, or it could not be read
  uint32_t X = 32768;    // 0..65535, 32768 centred
  uint32_t Y = 32768;    // 0..65535
  bool AnyButton = false;
};

// Axis position 0..65535 to −1.05..1.05 with a dead zone of ±0.2 around the centre.
double JoystickAxis(uint32_t position);

// What the tick hands on to the cockpit frame, the lock-on and the protocol.
// Each does nothing until its subsystem provides it. Replay recording and
// playback run in the tick itself.
class TTickHooks {
 public:
  virtual ~TTickHooks() = default;
  virtual void DrawFrame() {}
  virtual void LockOn() {}
  virtual void SendState() {}
};

// Advances the gust model by n ms and sets the current wind from it.
void AdvanceGust(state::TMainState& state, int32_t n);

// The own vehicle's control step with its consequences, then the world offset
// follows the vehicle. The run goes back to its start state, with a line in
// the message log, on a crash in practice mode, on hitting the ground in any
// mode, and on a step the physics cannot take (off the position grid, a value
// that is no number).
void RunOwnControlStep(state::TMainState& state, double stickX, double stickY, double dt, uint32_t now);

// After a fault the core did not expect: logs `line` and, with a vehicle in
// play, restores its start state as a crash does. Returns false when there is
// nothing to restore and the previous fault or restore was less than a second
// ago: the fault recurs and the program cannot get past it.
bool RecoverFromFault(state::TMainState& state, const std::string& line, uint32_t now);

// One tick.
void Tick(state::TMainState& state, const TClock& clock, const TJoystickReading& joystick,
          TTickHooks& hooks);

}  // namespace velmora::app
