#include "ui/key_codes.h"

#include "app/controls.h"

namespace velmora::ui {
namespace {

constexpr int32_t kKeySpace = 0x20, kKeyHome = 0x24, kKeyPageUp = 0x21, kKeyPageDown = 0x22;
constexpr int32_t kKeyInsert = 0x2D, kKeyDelete = 0x2E;
constexpr int32_t kKeyDigit0 = 0x30, kKeyLetterA = 0x41, kKeyNum0 = 0x60;
constexpr int32_t kKeyNumMultiply = 0x6A, kKeyNumAdd = 0x6B, kKeyNumSubtract = 0x6D;
constexpr int32_t kKeyNumDecimal = 0x6E, kKeyNumDivide = 0x6F;
constexpr int32_t kKeySemicolon = 0xBA, kKeyComma = 0xBC, kKeyMinus = 0xBD, kKeyPeriod = 0xBE;
constexpr int32_t kKeySlash = 0xBF, kKeyBracketLeft = 0xDB, kKeyBracketRight = 0xDD;
constexpr int kFunctionKeys = 12;

int32_t KeypadKey(int key) {
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return kKeyNum0 + (key - Qt::Key_0);
  switch (key) {
    case Qt::Key_Asterisk: return kKeyNumMultiply;
    case Qt::Key_Plus: return kKeyNumAdd;
    case Qt::Key_Minus: return kKeyNumSubtract;
    case Qt::Key_Period: return kKeyNumDecimal;
    case Qt::Key_Slash: return kKeyNumDivide;
    default: return 0;  // the keypad's other keys are the keys they stand for
  }
}

}  // namespace

int32_t VirtualKey(int key, Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::KeypadModifier) {
    if (const int32_t keypad = KeypadKey(key)) return keypad;
  }
  if (key >= Qt::Key_F1 && key < Qt::Key_F1 + kFunctionKeys) return app::kKeyF1 + (key - Qt::Key_F1);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return kKeyDigit0 + (key - Qt::Key_0);
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return kKeyLetterA + (key - Qt::Key_A);
  switch (key) {
    case Qt::Key_NumLock: return app::kKeyNumLock;
    case Qt::Key_Left: return app::kKeyLeft;
    case Qt::Key_Up: return app::kKeyUp;
    case Qt::Key_Right: return app::kKeyRight;
    case Qt::Key_Down: return app::kKeyDown;
    case Qt::Key_End: return app::kKeyEnd;
    case Qt::Key_Home: return kKeyHome;
    case Qt::Key_PageUp: return kKeyPageUp;
    case Qt::Key_PageDown: return kKeyPageDown;
    case Qt::Key_Insert: return kKeyInsert;
    case Qt::Key_Delete: return kKeyDelete;
    case Qt::Key_Space: return kKeySpace;
    case Qt::Key_Semicolon: return kKeySemicolon;
    case Qt::Key_Comma: return kKeyComma;
    case Qt::Key_Minus: return kKeyMinus;
    case Qt::Key_Period: return kKeyPeriod;
    case Qt::Key_Slash: return kKeySlash;
    case Qt::Key_BracketLeft: return kKeyBracketLeft;
    case Qt::Key_BracketRight: return kKeyBracketRight;
    default: return 0;
  }
}

bool TypesText(int32_t virtualKey) {
  return virtualKey == kKeySpace || (virtualKey >= kKeyDigit0 && virtualKey <= kKeyLetterA + 25) ||
         (virtualKey >= kKeyNum0 && virtualKey <= kKeyNumDivide) || virtualKey >= kKeySemicolon;
}

}  // namespace velmora::ui
