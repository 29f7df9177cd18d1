#include "app/key_bindings.h"

#include <cctype>

#include "app/controls.h"
#include "vehicle/vehicle_state.h"

namespace velmora::app {
namespace {

struct TActionInfo {
  std::string_view Name;   // in the settings file
  std::string_view Label;  // in the window
  TShippedKey Shipped;     // the key the handlers act on
  bool BoundByDefault;     // the shipped key is also the default binding
};

// In the order of TAction.
constexpr TActionInfo kActions[kActionCount] = {
    {"help", "本画面表示（ヘルプ）", {kKeyF8}, true},
    {"brake", "ブレーキ", {kKeyF1}, true},
    {"throttle_down", "推力減少", {kKeyF2}, true},
    {"throttle_up", "推力増加", {kKeyF3}, true},
    {"full_throttle", "推力全開", {kKeyF4}, true},
    {"gear", "脚の昇降", {kKeyF5}, true},
    {"flaps_up", "フラップ上げ", {kKeyF6}, true},
    {"flaps_down", "フラップ下げ", {kKeyF7}, true},
    {"nose_down", "機首下げ（Shift で前方視界）", {kKeyUp}, true},
    {"nose_up", "機首上げ（Shift で後方視界）", {kKeyDown}, true},
    {"turn_left", "左旋回（Shift で左方視界）", {kKeyLeft}, true},
    {"turn_right", "右旋回（Shift で右方視界）", {kKeyRight}, true},
    {"fire", "ミサイル発射", {kKeyEnd}, true},
    {"freeze", "一時停止（Shift+Ctrl+Alt）", {kKeyNumLock}, true},
    {"view_ahead", "前方視界", {kKeyUp, kShiftKey}, false},
    {"view_right", "右方視界", {kKeyRight, kShiftKey}, false},
    {"view_behind", "後方視界", {kKeyDown, kShiftKey}, false},
    {"view_left", "左方視界", {kKeyLeft, kShiftKey}, false},
};

struct TTableInfo {
  std::string_view Name;
  std::string_view Label;
};
constexpr TTableInfo kTables[kKeyTableCount] = {
    {"aircraft", "航空機"}, {"road", "自動車"}, {"train", "電車"}};

struct TNamedKey {
  std::string_view Name;
  int32_t Code;
};

// Keys with a name of their own; letters, digits, F-keys and the keypad's
// digits are spelled out below.
constexpr TNamedKey kNamedKeys[] = {
    {"Space", kKeySpace},
    {"PageUp", kKeyPageUp},
    {"PageDown", kKeyPageDown},
    {"End", kKeyEnd},
    {"Home", kKeyHome},
    {"Left", kKeyLeft},
    {"Up", kKeyUp},
    {"Right", kKeyRight},
    {"Down", kKeyDown},
    {"Insert", kKeyInsert},
    {"Delete", kKeyDelete},
    {"NumMultiply", kKeyNumMultiply},
    {"NumAdd", kKeyNumAdd},
    {"NumSubtract", kKeyNumSubtract},
    {"NumDecimal", kKeyNumDecimal},
    {"NumDivide", kKeyNumDivide},
    {"NumLock", kKeyNumLock},
    {"Semicolon", kKeySemicolon},
    {"Comma", kKeyComma},
    {"Minus", kKeyMinus},
    {"Period", kKeyPeriod},
    {"Slash", kKeySlash},
    {"BracketLeft", kKeyBracketLeft},
    {"BracketRight", kKeyBracketRight},
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<TAction> TKeyTable::ActionOf(int32_t key) const {
  if (key == 0) return std::nullopt;
  for (int a = 0; a < kActionCount; ++a) {
    if (Keys[static_cast<std::size_t>(a)] == key) return static_cast<TAction>(a);
  }
  return std::nullopt;
}

bool HasAction(TKeyTableKind kind, TAction action) {
  if (action == TAction::Count || kind == TKeyTableKind::Count) return false;
  const bool aircraftOnly = action == TAction::Gear || action == TAction::FlapsUp ||
                            action == TAction::FlapsDown || action == TAction::Fire;
  return kind == TKeyTableKind::Aircraft || !aircraftOnly;
}

TKeyTable DefaultKeyTable(TKeyTableKind kind) {
  TKeyTable table;
  table.Kind = kind;
  for (int a = 0; a < kActionCount; ++a) {
    if (HasAction(kind, static_cast<TAction>(a)) && kActions[a].BoundByDefault) {
      table.Keys[static_cast<std::size_t>(a)] = kActions[a].Shipped.Key;
    }
  }
  return table;
}

TKeyBindings DefaultKeyBindings() {
  TKeyBindings bindings;
  for (int k = 0; k < kKeyTableCount; ++k) {
    bindings.Tables[static_cast<std::size_t>(k)] = DefaultKeyTable(static_cast<TKeyTableKind>(k));
  }
  return bindings;
}

TKeyTableKind KeyTableFor(int32_t vehicleKind) {
  switch (vehicleKind) {
    case vehicle::kKindRoad: return TKeyTableKind::Road;
    case vehicle::kKindTrain: return TKeyTableKind::Train;
    default: return TKeyTableKind::Aircraft;
  }
}

TShippedKey ShippedAction(TAction action) {
  return action == TAction::Count ? TShippedKey{} : kActions[static_cast<int>(action)].Shipped;
}

int32_t ShippedKey(const TKeyTable& table, int32_t key) {
  const std::optional<TAction> action = table.ActionOf(key);
  return action ? ShippedAction(*action).Key : 0;
}

bool Bindable(int32_t key) {
  return key != kKeySettings && key != kKeyFullScreen && !KeyName(key).empty();
}

TBindOutcome Bind(TKeyTable& table, TAction action, int32_t key) {
  const auto slot = static_cast<std::size_t>(action);
  if (!HasAction(table.Kind, action) || !Bindable(key)) return {};
  const std::optional<TAction> holder = table.ActionOf(key);
  if (holder && *holder != action) return {TBindResult::Conflict, *holder};
  table.Keys[slot] = key;
  return {TBindResult::Bound, TAction::Count};
}

void Swap(TKeyTable& table, TAction a, TAction b) {
  std::swap(table.Keys[static_cast<std::size_t>(a)], table.Keys[static_cast<std::size_t>(b)]);
}

std::string KeyName(int32_t key) {
  for (const TNamedKey& named : kNamedKeys) {
    if (named.Code == key) return std::string(named.Name);
  }
  if (key >= kKeyDigit0 && key <= kKeyDigit0 + 9) return std::string(1, static_cast<char>(key));
  if (key >= kKeyLetterA && key <= kKeyLetterA + 25) return std::string(1, static_cast<char>(key));
  if (key >= kKeyNum0 && key <= kKeyNum0 + 9) return "Num" + std::to_string(key - kKeyNum0);
  if (key >= kKeyF1 && key < kKeyF1 + kFunctionKeys) return "F" + std::to_string(key - kKeyF1 + 1);
  return {};
}

std::optional<int32_t> KeyFromName(std::string_view name) {
  for (const TNamedKey& named : kNamedKeys) {
    if (EqualNoCase(named.Name, name)) return named.Code;
  }
  if (name.size() == 1) {
    const int c = std::toupper(static_cast<unsigned char>(name[0]));
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) return c;
    return std::nullopt;
  }
  // F1..F12 and Num0..Num9: the prefix, then a number without leading zeros.
  for (int32_t key = kKeyNum0; key <= kKeyNum0 + 9; ++key) {
    if (EqualNoCase(KeyName(key), name)) return key;
  }
  for (int32_t key = kKeyF1; key < kKeyF1 + kFunctionKeys; ++key) {
    if (EqualNoCase(KeyName(key), name)) return key;
  }
  return std::nullopt;
}

std::string_view ActionName(TAction action) { return kActions[static_cast<int>(action)].Name; }
std::optional<TAction> ActionFromName(std::string_view name) {
  for (int a = 0; a < kActionCount; ++a) {
    if (kActions[a].Name == name) return static_cast<TAction>(a);
  }
  return std::nullopt;
}
std::string_view ActionLabel(TAction action) { return kActions[static_cast<int>(action)].Label; }
std::string_view KeyTableName(TKeyTableKind kind) { return kTables[static_cast<int>(kind)].Name; }
std::string_view KeyTableLabel(TKeyTableKind kind) {
  return kTables[static_cast<int>(kind)].Label;
}

}  // namespace velmora::app
