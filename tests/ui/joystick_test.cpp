#include "ui/joystick.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace velmora::ui {
namespace {

constexpr double kAxisStepTol = 1 / 26214.4;  // one step of the axis position, in stick units

TEST(Joystick, NoneThenAVirtualStick) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
  TJoystick joystick;
  // No joystick is no error: the reading says it is absent.
  const app::TJoystickReading none = joystick.Read();
  EXPECT_FALSE(none.Present);
  EXPECT_FALSE(none.AnyButton);

  const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 4, 0);
  ASSERT_GE(index, 0) << SDL_GetError();
  SDL_Joystick* stick = SDL_JoystickOpen(index);
  ASSERT_NE(stick, nullptr) << SDL_GetError();
  SDL_JoystickSetVirtualAxis(stick, 0, 32767);   // full right
  SDL_JoystickSetVirtualAxis(stick, 1, -32768);  // full forward
  SDL_JoystickSetVirtualButton(stick, 3, 1);

  // A newly plugged stick is found within a few seconds of ticks.
  app::TJoystickReading reading;
  for (int tick = 0; tick < 1000 && !reading.Present; ++tick) reading = joystick.Read();
  ASSERT_TRUE(reading.Present);
  EXPECT_EQ(reading.X, 65535u);
  EXPECT_EQ(reading.Y, 0u);
  EXPECT_TRUE(reading.AnyButton);
  EXPECT_NEAR(app::JoystickAxis(reading.X), 1.05, kAxisStepTol);

  SDL_JoystickSetVirtualAxis(stick, 0, 0);
  SDL_JoystickSetVirtualButton(stick, 3, 0);
  reading = joystick.Read();
  EXPECT_EQ(reading.X, 32768u);
  EXPECT_FALSE(reading.AnyButton);

  SDL_JoystickClose(stick);
  SDL_JoystickDetachVirtual(index);
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

}  // namespace
}  // namespace velmora::ui
