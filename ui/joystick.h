// Joystick 1 through SDL2, polled once per tick. No joystick is not an error:
// the reading then says it is absent.
#pragma once

#include "app/tick.h"

namespace velmora::ui {

class TJoystick {
 public:
  TJoystick() = default;
  ~TJoystick();
  TJoystick(const TJoystick&) = delete;
  TJoystick& operator=(const TJoystick&) = delete;

  // Axes mapped onto 0..65535, any button held.
  app::TJoystickReading Read();

 private:
  bool started_ = false;
  bool available_ = false;
  void* joystick_ = nullptr;  // SDL_Joystick
  int retryCountdown_ = 0;    // ticks until the next look for a joystick
};

}  // namespace velmora::ui
