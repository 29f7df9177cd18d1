// The toolkit's keys as the controls' virtual-key codes.
#pragma once

#include <Qt>
#include <cstdint>

namespace velmora::ui {

// The virtual-key code of a toolkit key (the keypad's keys apart from the
// others); 0 for a key the controls cannot bind.
int32_t VirtualKey(int key, Qt::KeyboardModifiers modifiers);

// Whether the key types a character into a text field: such keys stay the
// text field's while it has the focus.
bool TypesText(int32_t virtualKey);

}  // namespace velmora::ui
