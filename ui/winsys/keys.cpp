#include "ui/winsys/keys.h"

#include <QKeyEvent>
#include <string_view>

uint16_t VirtualKeyFromKeysym(uint32_t ks) {
  if (ks >= 'a' && ks <= 'z')
    return static_cast<uint16_t>(ks - 'a' + 'A');
  if ((ks >= 'A' && ks <= 'Z') || (ks >= '0' && ks <= '9'))
    return static_cast<uint16_t>(ks);
  if (ks >= 0xFFB0 && ks <= 0xFFB9) // keypad digits, Num Lock on
    return static_cast<uint16_t>(VK_NUMPAD0 + (ks - 0xFFB0));
  if (ks >= 0xFFBE && ks <= 0xFFD5) // F1..F24
    return static_cast<uint16_t>(VK_F1 + (ks - 0xFFBE));
  switch (ks) {
  case 0x20:
    return VK_SPACE;
  case 0xFF08:
    return VK_BACK;
  case 0xFF09:
  case 0xFE20:
    return VK_TAB;
  case 0xFF0D:
  case 0xFF8D:
    return VK_RETURN;
  case 0xFF13:
    return VK_PAUSE;
  case 0xFF1B:
    return VK_ESCAPE;
  case 0xFFE1:
  case 0xFFE2:
    return VK_SHIFT;
  case 0xFFE3:
  case 0xFFE4:
    return VK_CONTROL;
  case 0xFFE9:
  case 0xFFEA:
    return VK_MENU;
  case 0xFFE5:
    return VK_CAPITAL;
  case 0xFF7F:
    return VK_NUMLOCK;
  // Navigation keys, and the keypad keys with Num Lock off.
  case 0xFF50:
  case 0xFF95:
    return VK_HOME;
  case 0xFF51:
  case 0xFF96:
    return VK_LEFT;
  case 0xFF52:
  case 0xFF97:
    return VK_UP;
  case 0xFF53:
  case 0xFF98:
    return VK_RIGHT;
  case 0xFF54:
  case 0xFF99:
    return VK_DOWN;
  case 0xFF55:
  case 0xFF9A:
    return VK_PRIOR;
  case 0xFF56:
  case 0xFF9B:
    return VK_NEXT;
  case 0xFF57:
  case 0xFF9C:
    return VK_END;
  case 0xFF9D:
    return VK_CLEAR; // keypad 5 with Num Lock off
  case 0xFF63:
  case 0xFF9E:
    return VK_INSERT;
  case 0xFFFF:
  case 0xFF9F:
    return VK_DELETE;
  case 0xFFAA:
    return VK_MULTIPLY;
  case 0xFFAB:
    return VK_ADD;
  case 0xFFAD:
    return VK_SUBTRACT;
  case 0xFFAE:
    return VK_DECIMAL;
  case 0xFFAF:
    return VK_DIVIDE;
  default:
    return 0;
  }
}

uint16_t VirtualKeyFromQtKey(int key, bool keypad) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z)
    return static_cast<uint16_t>(key); // Qt uses the same codes
  if (key >= Qt::Key_0 && key <= Qt::Key_9)
    return static_cast<uint16_t>(keypad ? VK_NUMPAD0 + (key - Qt::Key_0) : key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
    return static_cast<uint16_t>(VK_F1 + (key - Qt::Key_F1));
  switch (key) {
  case Qt::Key_Space:
    return VK_SPACE;
  case Qt::Key_Backspace:
    return VK_BACK;
  case Qt::Key_Tab:
  case Qt::Key_Backtab:
    return VK_TAB;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    return VK_RETURN;
  case Qt::Key_Pause:
    return VK_PAUSE;
  case Qt::Key_Escape:
    return VK_ESCAPE;
  case Qt::Key_Shift:
    return VK_SHIFT;
  case Qt::Key_Control:
    return VK_CONTROL;
  case Qt::Key_Alt:
    return VK_MENU;
  case Qt::Key_CapsLock:
    return VK_CAPITAL;
  case Qt::Key_NumLock:
    return VK_NUMLOCK;
  case Qt::Key_Home:
    return VK_HOME;
  case Qt::Key_Left:
    return VK_LEFT;
  case Qt::Key_Up:
    return VK_UP;
  case Qt::Key_Right:
    return VK_RIGHT;
  case Qt::Key_Down:
    return VK_DOWN;
  case Qt::Key_PageUp:
    return VK_PRIOR;
  case Qt::Key_PageDown:
    return VK_NEXT;
  case Qt::Key_End:
    return VK_END;
  case Qt::Key_Clear:
    return VK_CLEAR;
  case Qt::Key_Insert:
    return VK_INSERT;
  case Qt::Key_Delete:
    return VK_DELETE;
  case Qt::Key_Asterisk:
    return keypad ? VK_MULTIPLY : 0;
  case Qt::Key_Plus:
    return keypad ? VK_ADD : 0;
  case Qt::Key_Minus:
    return keypad ? VK_SUBTRACT : 0;
  case Qt::Key_Period:
  case Qt::Key_Comma:
    return keypad ? VK_DECIMAL : 0;
  case Qt::Key_Slash:
    return keypad ? VK_DIVIDE : 0;
  default:
    return 0;
  }
}

bool IsNonLatinLetter(uint32_t ks) {
  // The keysyms of the older character sets: Katakana, Arabic, Cyrillic,
  // Greek, Hebrew, Thai, Korean.
  switch (ks >> 8) {
  case 0x04:
  case 0x05:
  case 0x06:
  case 0x07:
  case 0x0C:
  case 0x0D:
  case 0x0E:
    return true;
  default:
    break;
  }
  // Unicode keysyms: the character plus 0x1000000.
  if (ks < 0x1000000 || ks > 0x110FFFF)
    return false;
  const uint32_t c = ks - 0x1000000;
  if (c >= 0x1E00 && c <= 0x1EFF) // Latin Extended Additional
    return false;
  return (c >= 0x0370 && c <= 0x1FFF) || // Greek to Ethiopic, Mongolian, Greek Extended
         (c >= 0x2D00 && c <= 0x2DFF) || // Georgian Supplement, Tifinagh, Ethiopic Extended
         (c >= 0x3040 && c <= 0x9FFF) || // Kana, Bopomofo, Han
         (c >= 0xA000 && c <= 0xA6FF) || // Yi, Vai, Cyrillic Extended-B, Bamum
         (c >= 0xAC00 && c <= 0xD7FF);   // Hangul
}

uint16_t VirtualKeyFromLetterPosition(uint32_t keycode) {
  // The three letter rows of a US keyboard, from the X key code of their
  // first key.
  struct Row {
    uint32_t First;
    std::string_view Letters;
  };
  static constexpr Row rows[] = {{24, "QWERTYUIOP"}, {38, "ASDFGHJKL"}, {52, "ZXCVBNM"}};
  for (const Row &row : rows) {
    if (keycode >= row.First && keycode - row.First < row.Letters.size())
      return static_cast<uint16_t>(row.Letters[keycode - row.First]);
  }
  return 0;
}

uint16_t VirtualKeyFromEvent(const QKeyEvent &event) {
  if (uint32_t keysym = event.nativeVirtualKey()) {
    if (uint16_t vk = VirtualKeyFromKeysym(keysym))
      return vk;
    if (IsNonLatinLetter(keysym))
      return VirtualKeyFromLetterPosition(event.nativeScanCode());
  }
  return VirtualKeyFromQtKey(event.key(), event.modifiers() & Qt::KeypadModifier);
}
