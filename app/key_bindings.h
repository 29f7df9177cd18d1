// The user's key bindings: which key drives which action, one table per kind
// of vehicle. The key handlers act on the shipped virtual-key codes; a
// pressed key is translated to the shipped key of the action it is bound to,
// so a rebound key drives exactly the handler of the default key.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::app {

// What a key can be bound to. The view turns with Shift and the nose and
// turn keys, and with the view keys where they are bound (none by default);
// the freeze key needs Shift, Ctrl and Alt held.
enum class TAction : uint8_t {
  Help,
  Brake,
  ThrottleDown,
  ThrottleUp,
  FullThrottle,
  Gear,
  FlapsUp,
  FlapsDown,
  NoseDown,
  NoseUp,
  TurnLeft,
  TurnRight,
  Fire,
  Freeze,
  ViewAhead,
  ViewRight,
  ViewBehind,
  ViewLeft,
  Count
};
inline constexpr int kActionCount = static_cast<int>(TAction::Count);

// The key tables, one per kind of vehicle.
enum class TKeyTableKind : uint8_t { Aircraft, Road, Train, Count };
inline constexpr int kKeyTableCount = static_cast<int>(TKeyTableKind::Count);

// Keys the settings keep for the program itself: the settings window and
// full screen. No action can be bound to them.
inline constexpr int32_t kKeySettings = 0x78;    // F9
inline constexpr int32_t kKeyFullScreen = 0x7A;  // F11

// Action → virtual-key code; 0: no key (always so for an action the table lacks).
struct TKeyTable {
  TKeyTableKind Kind = TKeyTableKind::Aircraft;
  std::array<int32_t, kActionCount> Keys{};
  int32_t KeyOf(TAction action) const { return Keys[static_cast<std::size_t>(action)]; }
  // The action bound to key, if any.
  std::optional<TAction> ActionOf(int32_t key) const;
  bool operator==(const TKeyTable&) const = default;
};

struct TKeyBindings {
  std::array<TKeyTable, kKeyTableCount> Tables{};
  TKeyTable& operator[](TKeyTableKind kind) { return Tables[static_cast<std::size_t>(kind)]; }
  const TKeyTable& operator[](TKeyTableKind kind) const {
    return Tables[static_cast<std::size_t>(kind)];
  }
};

// Whether a table holds an action: gear, flaps and firing are the aircraft's.
bool HasAction(TKeyTableKind kind, TAction action);

// The shipped keys of a table.
TKeyTable DefaultKeyTable(TKeyTableKind kind);
TKeyBindings DefaultKeyBindings();

// The table that serves a vehicle kind (kKindAircraft, kKindRoad, kKindTrain;
// no vehicle uses the aircraft's).
TKeyTableKind KeyTableFor(int32_t vehicleKind);

// The key and shift state the handlers know an action by: the view keys are
// Shift with an arrow.
struct TShippedKey {
  int32_t Key = 0;     // virtual-key code
  uint32_t Shift = 0;  // shift state bits added to the pressed ones
};
TShippedKey ShippedAction(TAction action);

// A pressed key's virtual-key code as the handlers know it: the shipped key
// of the action it is bound to, or 0 for a key bound to nothing.
int32_t ShippedKey(const TKeyTable& table, int32_t key);

enum class TBindResult : uint8_t {
  Bound,     // the table changed (or already held this binding)
  Conflict,  // another action of the table holds the key; nothing changed
  Refused,   // not a key that can be bound, or an action the table lacks
};
struct TBindOutcome {
  TBindResult Result = TBindResult::Refused;
  TAction Holder = TAction::Count;  // with Conflict: the action that holds the key
};

// Binds action to key unless another action of the table holds it.
TBindOutcome Bind(TKeyTable& table, TAction action, int32_t key);
// Exchanges the keys of two actions of the table.
void Swap(TKeyTable& table, TAction a, TAction b);

// Whether a key can be bound at all: a named key that is not reserved.
bool Bindable(int32_t key);

// A key's name as the settings file and the window show it ("F1", "Up",
// "A", "Num5"); empty for a code with no name.
std::string KeyName(int32_t key);
// The code of a named key, ignoring case.
std::optional<int32_t> KeyFromName(std::string_view name);

// Names of actions and tables in the settings file ("throttle_up",
// "aircraft"), and the window's labels.
std::string_view ActionName(TAction action);
std::optional<TAction> ActionFromName(std::string_view name);
std::string_view ActionLabel(TAction action);
std::string_view KeyTableName(TKeyTableKind kind);
std::string_view KeyTableLabel(TKeyTableKind kind);

}  // namespace velmora::app
