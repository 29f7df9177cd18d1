#include "ui/key_codes.h"

#include "app/controls.h"

namespace velmora::ui {
namespace {

int32_t KeypadKey(int key) {
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return app::kKeyNum0 + (key - Qt::Key_0);
  switch (key) {
    case Qt::Key_Asterisk: return app::kKeyNumMultiply;
    case Qt::Key_Plus: return app::kKeyNumAdd;
    case Qt::Key_Minus: return app::kKeyNumSubtract;
    case Qt::Key_Period: return app::kKeyNumDecimal;
    case Qt::Key_Slash: return app::kKeyNumDivide;
    default: return 0;  // the keypad's other keys are the keys they stand for
  }
}

}  // namespace

int32_t VirtualKey(int key, Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::KeypadModifier) {
    if (const int32_t keypad = KeypadKey(key)) return keypad;
  }
  if (key >= Qt::Key_F1 && key < Qt::Key_F1 + app::kFunctionKeys) {
    return app::kKeyF1 + (key - Qt::Key_F1);
  }
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return app::kKeyDigit0 + (key - Qt::Key_0);
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return app::kKeyLetterA + (key - Qt::Key_A);
  switch (key) {
    case Qt::Key_NumLock: return app::kKeyNumLock;
    case Qt::Key_Left: return app::kKeyLeft;
    case Qt::Key_Up: return app::kKeyUp;
    case Qt::Key_Right: return app::kKeyRight;
    case Qt::Key_Down: return app::kKeyDown;
    case Qt::Key_End: return app::kKeyEnd;
    case Qt::Key_Home: return app::kKeyHome;
    case Qt::Key_PageUp: return app::kKeyPageUp;
    case Qt::Key_PageDown: return app::kKeyPageDown;
    case Qt::Key_Insert: return app::kKeyInsert;
    case Qt::Key_Delete: return app::kKeyDelete;
    case Qt::Key_Space: return app::kKeySpace;
    case Qt::Key_Semicolon: return app::kKeySemicolon;
    case Qt::Key_Comma: return app::kKeyComma;
    case Qt::Key_Minus: return app::kKeyMinus;
    case Qt::Key_Period: return app::kKeyPeriod;
    case Qt::Key_Slash: return app::kKeySlash;
    case Qt::Key_BracketLeft: return app::kKeyBracketLeft;
    case Qt::Key_BracketRight: return app::kKeyBracketRight;
    default: return 0;
  }
}

bool TypesText(int32_t virtualKey) {
  return virtualKey == app::kKeySpace ||
         (virtualKey >= app::kKeyDigit0 && virtualKey <= app::kKeyLetterA + 25) ||
         (virtualKey >= app::kKeyNum0 && virtualKey <= app::kKeyNumDivide) ||
         virtualKey >= app::kKeySemicolon;
}

}  // namespace velmora::ui
