#include "ui/joystick.h"

#include <SDL.h>

#include <algorithm>

namespace velmora::ui {
namespace {

constexpr int kRetryTicks = 100;  // look for a newly plugged joystick every second

std::string GuidText(SDL_JoystickGUID guid) {
  char text[33];
  SDL_JoystickGetGUIDString(guid, text, sizeof text);
  return text;
}

// A device's own axis number for a game controller's axis, or −1.
int32_t ControllerAxis(SDL_GameController* controller, SDL_GameControllerAxis axis) {
  const SDL_GameControllerButtonBind bind = SDL_GameControllerGetBindForAxis(controller, axis);
  return bind.bindType == SDL_CONTROLLER_BINDTYPE_AXIS ? bind.value.axis : -1;
}

// A known game controller's stick and triggers from SDL's mappings; any
// other device's first two axes.
app::TJoystickMapping DefaultsFor(int index) {
  if (!SDL_IsGameController(index)) return app::DefaultJoystickMapping();
  SDL_GameController* controller = SDL_GameControllerOpen(index);
  if (controller == nullptr) return app::DefaultJoystickMapping();
  const app::TJoystickMapping mapping = app::DefaultJoystickMapping(
      ControllerAxis(controller, SDL_CONTROLLER_AXIS_LEFTX),
      ControllerAxis(controller, SDL_CONTROLLER_AXIS_LEFTY),
      ControllerAxis(controller, SDL_CONTROLLER_AXIS_TRIGGERRIGHT),
      ControllerAxis(controller, SDL_CONTROLLER_AXIS_TRIGGERLEFT));
  SDL_GameControllerClose(controller);
  return mapping;
}

}  // namespace

TJoystick::~TJoystick() {
  Close();
  if (available_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER | SDL_INIT_JOYSTICK);
}

bool TJoystick::Start() {
  if (!started_) {
    started_ = true;
    // The toolkit owns the signals; SDL must not install its own handlers.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    available_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) == 0;
  }
  return available_;
}

void TJoystick::Close() {
  if (joystick_ != nullptr) SDL_JoystickClose(static_cast<SDL_Joystick*>(joystick_));
  joystick_ = nullptr;
  open_ = {};
}

std::vector<TJoystickDevice> TJoystick::Devices() {
  std::vector<TJoystickDevice> devices;
  if (!Start()) return devices;
  SDL_JoystickUpdate();
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    const char* name = SDL_JoystickNameForIndex(i);
    devices.push_back({name != nullptr ? name : "", GuidText(SDL_JoystickGetDeviceGUID(i)),
                       SDL_IsGameController(i) == SDL_TRUE});
  }
  return devices;
}

void TJoystick::Choose(const std::string& guid) {
  if (guid == chosen_ && (guid.empty() || guid == open_.Guid)) return;
  chosen_ = guid;
  Close();
  retryCountdown_ = 0;
  if (Start()) OpenChosen();
}

bool TJoystick::OpenChosen() {
  const std::vector<TJoystickDevice> devices = Devices();
  const auto found = std::find_if(devices.begin(), devices.end(), [&](const TJoystickDevice& d) {
    return chosen_.empty() || d.Guid == chosen_;
  });
  if (found == devices.end()) return false;
  const int index = static_cast<int>(found - devices.begin());
  joystick_ = SDL_JoystickOpen(index);
  if (joystick_ == nullptr) return false;
  open_ = *found;
  const app::TJoystickMapping defaults = DefaultsFor(index);
  mapping_ = LoadMapping ? LoadMapping(open_.Guid, defaults) : defaults;
  return true;
}

app::TJoystickReading TJoystick::Read() {
  mapped_ = {};
  raw_ = {};
  if (!Start()) return mapped_.Reading;
  SDL_JoystickUpdate();
  auto* stick = static_cast<SDL_Joystick*>(joystick_);
  if (stick != nullptr && !SDL_JoystickGetAttached(stick)) {
    Close();
    stick = nullptr;
  }
  if (stick == nullptr) {
    if (retryCountdown_-- > 0) return mapped_.Reading;
    retryCountdown_ = kRetryTicks;
    if (!OpenChosen()) return mapped_.Reading;
    stick = static_cast<SDL_Joystick*>(joystick_);
  }
  raw_.AxisCount = std::min(SDL_JoystickNumAxes(stick), app::kMaxJoystickAxes);
  raw_.ButtonCount = std::min(SDL_JoystickNumButtons(stick), app::kMaxJoystickButtons);
  for (int a = 0; a < raw_.AxisCount; ++a) {
    raw_.Axes[static_cast<std::size_t>(a)] = SDL_JoystickGetAxis(stick, a);
  }
  for (int b = 0; b < raw_.ButtonCount; ++b) {
    raw_.Buttons[static_cast<std::size_t>(b)] = SDL_JoystickGetButton(stick, b) != 0;
  }
  mapped_ = app::MapJoystick(mapping_, raw_);
  return mapped_.Reading;
}

}  // namespace velmora::ui
