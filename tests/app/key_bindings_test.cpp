#include "app/key_bindings.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/controls.h"
#include "tests/support/test_vehicles.h"

namespace velmora::app {
namespace {

TEST(KeyBindingsTest, BindingLawRefusesConflictsAndSwaps) {
  TKeyTable keys = DefaultKeyTable(TKeyTableKind::Aircraft);
  struct Case {
    TAction Action;
    int32_t Key;
    TBindResult Result;
    TAction Holder;
  };
  const Case cases[] = {
      {TAction::ThrottleUp, 'W', TBindResult::Bound, TAction::Count},
      {TAction::ThrottleUp, 'W', TBindResult::Bound, TAction::Count},  // its own key again
      {TAction::ThrottleDown, 'W', TBindResult::Conflict, TAction::ThrottleUp},
      {TAction::Brake, kKeyF2, TBindResult::Conflict, TAction::ThrottleDown},
      {TAction::Brake, kKeySettings, TBindResult::Refused, TAction::Count},
      {TAction::Brake, kKeyFullScreen, TBindResult::Refused, TAction::Count},
      {TAction::Brake, 0x0D, TBindResult::Refused, TAction::Count},  // Enter sends the chat
      {TAction::Brake, 'B', TBindResult::Bound, TAction::Count},
  };
  for (const Case& c : cases) {
    const TBindOutcome outcome = Bind(keys, c.Action, c.Key);
    EXPECT_EQ(outcome.Result, c.Result) << ActionName(c.Action) << " to " << c.Key;
    EXPECT_EQ(outcome.Holder, c.Holder) << ActionName(c.Action) << " to " << c.Key;
  }
  EXPECT_EQ(keys.KeyOf(TAction::ThrottleUp), 'W');
  EXPECT_EQ(keys.KeyOf(TAction::ThrottleDown), kKeyF2) << "a refused binding changes nothing";
  Swap(keys, TAction::ThrottleUp, TAction::ThrottleDown);
  EXPECT_EQ(keys.KeyOf(TAction::ThrottleUp), kKeyF2);
  EXPECT_EQ(keys.KeyOf(TAction::ThrottleDown), 'W');

  // A train's table has no gear: it cannot be bound there, and F5 stays free.
  TKeyTable train = DefaultKeyTable(TKeyTableKind::Train);
  EXPECT_EQ(Bind(train, TAction::Gear, 'G').Result, TBindResult::Refused);
  EXPECT_EQ(Bind(train, TAction::Brake, kKeyF5).Result, TBindResult::Bound);
}

TEST(KeyBindingsTest, EveryKeyNameReadsBackAndTheSettingsKeysAreFreeEverywhere) {
  for (int32_t key = 1; key < 0x100; ++key) {
    const std::string name = KeyName(key);
    if (name.empty()) continue;
    EXPECT_EQ(KeyFromName(name), key) << name;
  }
  EXPECT_EQ(KeyFromName("num5"), 0x65);
  for (const char* unknown : {"", "F13", "F0", "F01", "Num10", "Ä", "Enter", "Tab"}) {
    EXPECT_FALSE(KeyFromName(unknown)) << unknown;
  }
  const TKeyBindings defaults = DefaultKeyBindings();
  for (const TKeyTable& table : defaults.Tables) {
    EXPECT_FALSE(table.ActionOf(kKeySettings));
    EXPECT_FALSE(table.ActionOf(kKeyFullScreen));
  }
}

// A rebound key drives the handler of the key it replaced, and the replaced
// key then does nothing.
TEST(KeyBindingsTest, AReboundKeyDrivesTheShippedHandler) {
  auto s = std::make_unique<state::TMainState>();
  testing::FillTestForms(*s);
  testing::PlaceOwn(*s, vehicle::kKindRoad, testing::kCar);
  s->ThrottleMax = 10;
  TKeyTable keys = DefaultKeyTable(KeyTableFor(s->Own.Kind));
  ASSERT_EQ(Bind(keys, TAction::ThrottleUp, 'W').Result, TBindResult::Bound);
  ASSERT_EQ(Bind(keys, TAction::TurnLeft, 'A').Result, TBindResult::Bound);
  EXPECT_EQ(ShippedKey(keys, kKeyF3), 0);
  EXPECT_EQ(ShippedKey(keys, kKeyF1), kKeyF1);

  int32_t key = ShippedKey(keys, 'W');
  OnKeyDown(*s, key, 0, 0);
  EXPECT_EQ(s->ThrottleRate, 2);
  key = ShippedKey(keys, 'A');
  OnKeyDown(*s, key, kShiftKey, 0);
  EXPECT_EQ(s->ViewDirection, 270) << "Shift with the turn key still looks to the side";
  EXPECT_EQ(key, 0) << "an arrow's handler keeps the key from the widgets";
  // A view key of its own, unbound by default, looks back without Shift.
  EXPECT_EQ(keys.KeyOf(TAction::ViewBehind), 0);
  ASSERT_EQ(Bind(keys, TAction::ViewBehind, 'V').Result, TBindResult::Bound);
  const TShippedKey behind = ShippedAction(*keys.ActionOf('V'));
  key = behind.Key;
  OnKeyDown(*s, key, behind.Shift, 0);
  EXPECT_EQ(s->ViewDirection, 180);
  EXPECT_EQ(s->PitchInput, 0);
}

}  // namespace
}  // namespace velmora::app
