// A stand-in joystick for trying the program by hand where no device is
// plugged in (not a test). Preloaded into the program, it plugs an SDL
// virtual stick with four axes and four buttons while the file named by
// VELMORA_VIRTUAL_STICK exists, and unplugs it when the file goes. The file
// holds the axes' raw values and the buttons' states, "a0 a1 a2 a3 b0 b1 b2 b3":
//   VELMORA_VIRTUAL_STICK=/tmp/stick LD_PRELOAD=libvelmora_virtual_stick.so velmora ...
//   echo "0 -32768 0 0 0 0 0 0" > /tmp/stick     # full forward on axis 1
#include <SDL.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kAxes = 4, kButtons = 4;

int stickIndex = -1;
SDL_Joystick* stick = nullptr;
timespec lastChange{};

// Plugs, moves or unplugs the stick as the file says.
void FollowFile() {
  const char* path = std::getenv("VELMORA_VIRTUAL_STICK");
  struct stat info {};
  const bool present = path != nullptr && stat(path, &info) == 0;
  if (!present) {
    if (stick != nullptr) SDL_JoystickClose(stick);
    if (stickIndex >= 0) SDL_JoystickDetachVirtual(stickIndex);
    stick = nullptr;
    stickIndex = -1;
    return;
  }
  if (stick == nullptr) {
    stickIndex = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, kAxes, kButtons, 0);
    stick = stickIndex >= 0 ? SDL_JoystickOpen(stickIndex) : nullptr;
    lastChange = {};
  }
  if (stick == nullptr || (info.st_mtim.tv_sec == lastChange.tv_sec &&
                           info.st_mtim.tv_nsec == lastChange.tv_nsec)) {
    return;
  }
  lastChange = info.st_mtim;
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return;
  int values[kAxes + kButtons] = {};
  for (int& v : values) {
    if (std::fscanf(file, "%d", &v) != 1) break;
  }
  std::fclose(file);
  for (int a = 0; a < kAxes; ++a) SDL_JoystickSetVirtualAxis(stick, a, static_cast<Sint16>(values[a]));
  for (int b = 0; b < kButtons; ++b) {
    SDL_JoystickSetVirtualButton(stick, b, values[kAxes + b] != 0 ? 1 : 0);
  }
}

}  // namespace

extern "C" void SDL_JoystickUpdate(void) {
  using Update = void (*)();
  static const auto real = reinterpret_cast<Update>(dlsym(RTLD_NEXT, "SDL_JoystickUpdate"));
  FollowFile();
  if (real != nullptr) real();
}
