// Translation of key events to Windows virtual-key codes, the codes the
// game's key tables hold.
#pragma once

#include <cstdint>

class QKeyEvent;

constexpr uint16_t VK_BACK = 8, VK_TAB = 9, VK_CLEAR = 12, VK_RETURN = 13, VK_SHIFT = 16,
                   VK_CONTROL = 17, VK_MENU = 18, VK_PAUSE = 19, VK_CAPITAL = 20, VK_ESCAPE = 27,
                   VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
                   VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45,
                   VK_DELETE = 46, VK_NUMPAD0 = 96, VK_MULTIPLY = 106, VK_ADD = 107,
                   VK_SUBTRACT = 109, VK_DECIMAL = 110, VK_DIVIDE = 111, VK_F1 = 112,
                   VK_NUMLOCK = 144;

// The code for an X keysym, or 0 when it has none.
uint16_t VirtualKeyFromKeysym(uint32_t keysym);
// The code for a Qt key (with the keypad modifier where the key is on the
// numeric keypad), or 0 when it has none.
uint16_t VirtualKeyFromQtKey(int key, bool keypad);
// Whether a keysym is a letter of a script other than Latin (Cyrillic,
// Greek, Hebrew, Arabic, ...).
bool IsNonLatinLetter(uint32_t keysym);
// The code of the letter at a key's place on a US keyboard, from its X key
// code (the evdev code plus 8), or 0 for a key that is not a letter key.
uint16_t VirtualKeyFromLetterPosition(uint32_t keycode);
// The code for a key event: from the X keysym where the platform gives
// one, else from the Qt key. A letter key names its letter under a Latin
// layout and its place on the keyboard under any other, so that the keys
// of the game stay where they are.
uint16_t VirtualKeyFromEvent(const QKeyEvent &event);
