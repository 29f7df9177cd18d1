// The user's controls: the key handlers (virtual-key code and shift state in,
// control values out), the clicks on the navigation display and on a banner
// in the 3D view, and the fighter's lock-on and firing.
#pragma once

#include <cstdint>

#include "state/main_state.h"
#include "cockpit/canvas.h"

namespace velmora::app {

// Virtual-key codes the controls act on.
inline constexpr int32_t kKeyEnd = 0x23;
inline constexpr int32_t kKeyLeft = 0x25;
inline constexpr int32_t kKeyUp = 0x26;
inline constexpr int32_t kKeyRight = 0x27;
inline constexpr int32_t kKeyDown = 0x28;
inline constexpr int32_t kKeyF1 = 0x70;
inline constexpr int32_t kKeyF2 = 0x71;
inline constexpr int32_t kKeyF3 = 0x72;
inline constexpr int32_t kKeyF4 = 0x73;
inline constexpr int32_t kKeyF5 = 0x74;
inline constexpr int32_t kKeyF6 = 0x75;
inline constexpr int32_t kKeyF7 = 0x76;
inline constexpr int32_t kKeyF8 = 0x77;
inline constexpr int32_t kKeyNumLock = 0x90;

// The other keys a user may bind an action to.
inline constexpr int32_t kKeySpace = 0x20, kKeyPageUp = 0x21, kKeyPageDown = 0x22, kKeyHome = 0x24;
inline constexpr int32_t kKeyInsert = 0x2D, kKeyDelete = 0x2E;
inline constexpr int32_t kKeyDigit0 = 0x30, kKeyLetterA = 0x41, kKeyNum0 = 0x60;
inline constexpr int32_t kKeyNumMultiply = 0x6A, kKeyNumAdd = 0x6B, kKeyNumSubtract = 0x6D;
inline constexpr int32_t kKeyNumDecimal = 0x6E, kKeyNumDivide = 0x6F;
inline constexpr int32_t kKeySemicolon = 0xBA, kKeyComma = 0xBC, kKeyMinus = 0xBD;
inline constexpr int32_t kKeyPeriod = 0xBE, kKeySlash = 0xBF;
inline constexpr int32_t kKeyBracketLeft = 0xDB, kKeyBracketRight = 0xDD;
inline constexpr int kFunctionKeys = 12;  // F1 to F12

// Bits of the shift state.
inline constexpr uint32_t kShiftKey = 1;
inline constexpr uint32_t kAltKey = 2;
inline constexpr uint32_t kCtrlKey = 4;

// Lock-on: range and half-angle of the cone ahead, and the fire interval.
inline constexpr double kLockRange = 4000;          // m
inline constexpr double kLockConeTangent = 0.2679491924311227;  // tan 15°
inline constexpr int32_t kFireInterval = 10000;     // ms between missile shots
inline constexpr uint32_t kTargetBoxColour = 0x00FFFF;  // yellow

// The own vehicle stands at or below its type's rest height.
bool OnGround(const state::TMainState& state);

// A key went down. key is set to 0 for the arrow keys so that no widget acts
// on them (the focus stays where it is). now: synchronised clock (ms).
void OnKeyDown(state::TMainState& state, int32_t& key, uint32_t shift, uint32_t now);
// A key went up.
void OnKeyUp(state::TMainState& state, int32_t& key, uint32_t shift);

// A click on the navigation display: the airliner's destination list instead.
void ListBoxNaviMouseUp(state::TMainState& state);

// A click on the 3D view at client pixel (x, y) of a width × height view:
// opens the link of the first banner under the mouse.
void ListBoxViewMouseDown(state::TMainState& state, int32_t x, int32_t y, int32_t width,
                          int32_t height);

// The fighter's lock-on: finds the target ahead, fires when the fire key or a
// joystick button is held and the interval has passed, and draws the target
// box on the 3D view (view may be null). now: synchronised clock (ms).
void LockOnStep(state::TMainState& state, cockpit::TCanvas* view, int32_t width, int32_t height,
                uint32_t now);

}  // namespace velmora::app
