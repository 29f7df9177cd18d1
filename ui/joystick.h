// The joystick through SDL2, polled once per tick: the chosen device (or the
// first one found), its axes and buttons mapped as the user set them up. No
// joystick is not an error: the reading then says it is absent. A device
// plugged in while the program runs is found within 2 s and gets the mapping
// saved for its GUID.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/joystick_mapping.h"

namespace velmora::ui {

struct TJoystickDevice {
  std::string Name;
  std::string Guid;             // 32 hex digits
  bool GameController = false;  // SDL knows its layout
};

class TJoystick {
 public:
  TJoystick() = default;
  ~TJoystick();
  TJoystick(const TJoystick&) = delete;
  TJoystick& operator=(const TJoystick&) = delete;

  // The device's mapping when it is opened: the saved one for its GUID over
  // the given defaults. Unset: the defaults.
  std::function<app::TJoystickMapping(const std::string& guid,
                                      const app::TJoystickMapping& defaults)>
      LoadMapping;

  // Reads the device: the stick and the fire flag for the tick. The rest of
  // the mapped reading is Mapped().
  app::TJoystickReading Read();
  const app::TMappedJoystick& Mapped() const { return mapped_; }
  const app::TRawJoystick& Raw() const { return raw_; }

  // Every device SDL finds now.
  std::vector<TJoystickDevice> Devices();
  // Uses the device with this GUID from now on (empty: the first found).
  void Choose(const std::string& guid);
  // The device open now; empty GUID when none is.
  const TJoystickDevice& Open() const { return open_; }
  const app::TJoystickMapping& Mapping() const { return mapping_; }
  void SetMapping(const app::TJoystickMapping& mapping) { mapping_ = mapping; }

 private:
  bool Start();
  void Close();
  bool OpenChosen();

  bool started_ = false;
  bool available_ = false;
  void* joystick_ = nullptr;  // SDL_Joystick
  std::string chosen_;
  TJoystickDevice open_;
  app::TJoystickMapping mapping_;
  app::TRawJoystick raw_;
  app::TMappedJoystick mapped_;
  int retryCountdown_ = 0;    // ticks until the next look for a joystick
};

}  // namespace velmora::ui
