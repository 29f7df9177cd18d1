#include "app/joystick_mapping.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/controls.h"
#include "tests/support/test_vehicles.h"

namespace velmora::app {
namespace {

constexpr double kExact = 1e-12;  // of the axis travel: closed forms in double

TAxisMapping Axis(bool invert, double deadZone, double curve) {
  TAxisMapping m;
  m.Axis = 0;
  m.Invert = invert;
  m.DeadZone = deadZone;
  m.Curve = curve;
  return m;
}

TEST(JoystickMappingTest, AxisLaw) {
  const double step = 1.0 / 32768;  // one raw unit below the centre
  struct Case {
    const char* What;
    bool Lever;
    TAxisMapping Mapping;
    int32_t Raw;
    double Expected;
  };
  const Case cases[] = {
      {"linear low end", false, Axis(false, 0, 0), -32768, -1},
      {"linear centre", false, Axis(false, 0, 0), 0, 0},
      {"linear high end", false, Axis(false, 0, 0), 32767, 1},
      {"dead zone edge, inside", false, Axis(false, 0.25, 0), -8192, 0},
      {"dead zone edge, outside", false, Axis(false, 0.25, 0), -8193, -step / 0.75},
      {"dead zone, full travel", false, Axis(false, 0.25, 0), 32767, 1},
      {"inverted", false, Axis(true, 0, 0), -32768, 1},
      {"inverted with dead zone", false, Axis(true, 0.25, 0), 32767, -1},
      {"curve at 0", false, Axis(false, 0, 1), 0, 0},
      {"cubic at half", false, Axis(false, 0, 1), -16384, -0.125},
      {"half cubic at half", false, Axis(false, 0, 0.5), -16384, -0.3125},
      {"cubic at full", false, Axis(false, 0, 1), -32768, -1},
      {"dead zone beyond its limit counts as the limit", false, Axis(false, 0.9, 0), -16384, 0},
      {"lever at its low end", true, Axis(false, 0, 0), -32768, 0},
      {"lever at its high end", true, Axis(false, 0, 0), 32767, 1},
      {"inverted lever's low end", true, Axis(true, 0, 0), -32768, 1},
      {"inverted lever's high end", true, Axis(true, 0, 0), 32767, 0},
      {"lever inside its low dead zone", true, Axis(false, 0.1, 0), -26215, 0},
      {"lever just past its low dead zone", true, Axis(false, 0.1, 0), -26214,
       (6554.0 / 65535 - 0.1) / 0.8},
      {"lever inside its high dead zone", true, Axis(false, 0.1, 0), 26214, 1},
      {"lever at its middle", true, Axis(false, 0.1, 0), -32768 + 65535 / 2, 32767.0 / 65535 * 1.25 - 0.125},
  };
  for (const Case& c : cases) {
    const double mapped = c.Lever ? MapLeverAxis(c.Mapping, c.Raw) : MapStickAxis(c.Mapping, c.Raw);
    EXPECT_NEAR(mapped, c.Expected, kExact) << c.What;
  }
  // Untouched settings hand the tick the raw value, as before any mapping.
  for (const int32_t raw : {-32768, -1, 0, 1, 12345, 32767}) {
    EXPECT_EQ(AxisPosition(MapStickAxis(Axis(false, 0, 0), raw)), static_cast<uint32_t>(raw + 32768));
  }
}

TEST(JoystickMappingTest, ButtonsAndLeversPressTheirActionsOnce) {
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  testing::PlaceOwn(*s, vehicle::kKindAircraft, testing::kFighterGearUp);
  s->ThrottleMax = 10;
  TJoystickMapping mapping = DefaultJoystickMapping(0, 1, 2, 3);
  mapping.Buttons[1] = TAction::Gear;
  TRawJoystick raw;
  raw.AxisCount = 4;
  raw.ButtonCount = 2;
  raw.Axes = {0, 0, -32768, -32768};
  TJoystickHeld held;

  raw.Buttons[1] = true;  // held over two readings: the gear moves once
  for (int reading = 0; reading < 2; ++reading) {
    const TMappedJoystick mapped = MapJoystick(mapping, raw);
    EXPECT_FALSE(mapped.Reading.AnyButton) << "a mapped button does not fire";
    ApplyJoystick(*s, held, mapped, 0);
  }
  EXPECT_EQ(s->GearCommand, 1);
  raw.Buttons = {};
  raw.Buttons[0] = true;
  raw.Axes[2] = 32767;  // throttle lever forward
  TMappedJoystick mapped = MapJoystick(mapping, raw);
  EXPECT_TRUE(mapped.Reading.AnyButton);
  ApplyJoystick(*s, held, mapped, 0);
  EXPECT_EQ(s->Throttle, 10);
  s->Throttle = 3;  // the keys move it: the lever, not moved, leaves it
  ApplyJoystick(*s, held, mapped, 0);
  EXPECT_EQ(s->Throttle, 3);
  EXPECT_EQ(s->GearCommand, 1);
}

}  // namespace
}  // namespace velmora::app
