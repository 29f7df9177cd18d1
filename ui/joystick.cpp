#include "ui/joystick.h"

#include <SDL.h>

namespace velmora::ui {
namespace {

constexpr int kRetryTicks = 200;  // look for a newly plugged joystick every 2 s

uint32_t AxisPosition(Sint16 value) { return static_cast<uint32_t>(value + 32768); }

}  // namespace

TJoystick::~TJoystick() {
  if (joystick_ != nullptr) SDL_JoystickClose(static_cast<SDL_Joystick*>(joystick_));
  if (available_) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

app::TJoystickReading TJoystick::Read() {
  app::TJoystickReading reading;
  if (!started_) {
    started_ = true;
    // The toolkit owns the signals; SDL must not install its own handlers.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    available_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  }
  if (!available_) return reading;
  SDL_JoystickUpdate();
  auto* stick = static_cast<SDL_Joystick*>(joystick_);
  if (stick != nullptr && !SDL_JoystickGetAttached(stick)) {
    SDL_JoystickClose(stick);
    joystick_ = stick = nullptr;
  }
  if (stick == nullptr) {
    if (retryCountdown_-- > 0) return reading;
    retryCountdown_ = kRetryTicks;
    if (SDL_NumJoysticks() < 1) return reading;
    joystick_ = stick = SDL_JoystickOpen(0);
    if (stick == nullptr) return reading;
  }
  reading.Present = true;
  reading.X = AxisPosition(SDL_JoystickGetAxis(stick, 0));
  reading.Y = AxisPosition(SDL_JoystickGetAxis(stick, 1));
  const int buttons = SDL_JoystickNumButtons(stick);
  for (int b = 0; b < buttons; ++b) {
    if (SDL_JoystickGetButton(stick, b) != 0) reading.AnyButton = true;
  }
  return reading;
}

}  // namespace velmora::ui
