#include "ui/winsys/keys.h"

#include <QInputDevice>
#include <QKeyEvent>
#include <Qt>
#include <gtest/gtest.h>

TEST(VirtualKeys, GameLettersFromKeysymsAndQtKeys) {
  // S, F, E, Z: lower and upper case keysyms, and Qt's keys.
  for (char c : {'s', 'f', 'e', 'z'}) {
    const uint16_t vk = static_cast<uint16_t>(c - 'a' + 'A');
    EXPECT_EQ(VirtualKeyFromKeysym(c), vk);
    EXPECT_EQ(VirtualKeyFromKeysym(c - 'a' + 'A'), vk);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_A + (c - 'a'), false), vk);
  }
  EXPECT_EQ(VirtualKeyFromKeysym('s'), 83);
  EXPECT_EQ(VirtualKeyFromKeysym('z'), 90);
}

TEST(VirtualKeys, KeypadWithNumLockOnGivesTheNumpadCodes) {
  const std::pair<int, uint16_t> keys[] = {{0, 96}, {4, 100}, {6, 102}, {8, 104}};
  for (auto [digit, vk] : keys) {
    EXPECT_EQ(VirtualKeyFromKeysym(0xFFB0 + digit), vk);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_0 + digit, true), vk);
    // The digit row is not the keypad.
    EXPECT_EQ(VirtualKeyFromKeysym('0' + digit), 48 + digit);
    EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_0 + digit, false), 48 + digit);
  }
}

TEST(VirtualKeys, KeypadWithNumLockOffGivesNavigationCodes) {
  EXPECT_EQ(VirtualKeyFromKeysym(0xFF9E), 45); // KP_Insert (0)
  EXPECT_EQ(VirtualKeyFromKeysym(0xFF96), 37); // KP_Left (4)
  EXPECT_EQ(VirtualKeyFromKeysym(0xFF98), 39); // KP_Right (6)
  EXPECT_EQ(VirtualKeyFromKeysym(0xFF97), 38); // KP_Up (8)
  EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Insert, true), 45);
  EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Left, true), 37);
  EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Right, true), 39);
  EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Up, true), 38);
  // None of them is a blue player's key.
  for (uint32_t ks : {0xFF9Eu, 0xFF96u, 0xFF98u, 0xFF97u}) {
    const uint16_t vk = VirtualKeyFromKeysym(ks);
    EXPECT_TRUE(vk != 96 && vk != 100 && vk != 102 && vk != 104);
  }
}

TEST(VirtualKeys, ControlKeys) {
  EXPECT_EQ(VirtualKeyFromKeysym(0xFF0D), 13);
  EXPECT_EQ(VirtualKeyFromKeysym(0xFF8D), 13);
  EXPECT_EQ(VirtualKeyFromKeysym(0xFF1B), 27);
  EXPECT_EQ(VirtualKeyFromKeysym(0xFF09), 9);
  EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Enter, true), 13);
  EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Escape, false), 27);
  EXPECT_EQ(VirtualKeyFromKeysym(0x12345), 0);
  EXPECT_EQ(VirtualKeyFromQtKey(Qt::Key_Plus, false), 0);
}

namespace {
// A key press as Qt gives it on X: the keysym and the X key code.
uint16_t Press(uint32_t keysym, uint32_t keycode, int qtKey = 0) {
  const QInputDevice keyboard("keyboard", 1, QInputDevice::DeviceType::Keyboard);
  QKeyEvent e(QEvent::KeyPress, qtKey, Qt::NoModifier, keycode, keysym, 0, QString(), false, 1,
              &keyboard);
  return VirtualKeyFromEvent(e);
}
// X key codes of some keys of a US keyboard.
constexpr uint32_t kcQ = 24, kcW = 25, kcE = 26, kcS = 39, kcF = 41, kcZ = 52, kcM = 58,
                   kcSemicolon = 47, kc1 = 10, kcKP4 = 83;
} // namespace

TEST(VirtualKeys, UnderNonLatinLayoutsALetterKeyGivesTheLetterAtItsPlace) {
  // Russian: S, F, E and Z give ы, а, у and я; with Shift, Ы.
  EXPECT_EQ(Press(0x6d9, kcS), 'S');
  EXPECT_EQ(Press(0x6f9, kcS), 'S');
  EXPECT_EQ(Press(0x6c1, kcF), 'F');
  EXPECT_EQ(Press(0x6d5, kcE), 'E');
  EXPECT_EQ(Press(0x6d1, kcZ), 'Z');
  // Greek: σ, φ, ε, ζ; W gives the final sigma.
  EXPECT_EQ(Press(0x7f2, kcS), 'S');
  EXPECT_EQ(Press(0x7f6, kcF), 'F');
  EXPECT_EQ(Press(0x7e5, kcE), 'E');
  EXPECT_EQ(Press(0x7e6, kcZ), 'Z');
  EXPECT_EQ(Press(0x7f3, kcW), 'W');
  // Hebrew ד, Arabic س and Georgian ს (a Unicode keysym) on S.
  EXPECT_EQ(Press(0xce3, kcS), 'S');
  EXPECT_EQ(Press(0x5d3, kcS), 'S');
  EXPECT_EQ(Press(0x10010e1, kcS), 'S');
  // Russian ж sits where a US keyboard has no letter; the digits stay
  // digits and the keypad the keypad.
  EXPECT_EQ(Press(0x6d6, kcSemicolon), 0);
  EXPECT_EQ(Press('1', kc1), '1');
  EXPECT_EQ(Press(0xFFB4, kcKP4), 100);
}

TEST(VirtualKeys, UnderLatinLayoutsALetterKeyGivesItsLabel) {
  // French AZERTY: the key labelled Z is where US has W, the one labelled
  // A where US has Q; where US has M it gives a comma.
  EXPECT_EQ(Press('z', kcW), 'Z');
  EXPECT_EQ(Press('a', kcQ), 'A');
  EXPECT_EQ(Press(',', kcM, Qt::Key_Comma), 0);
  // German ö is a letter of its own: no code, as on a US ';'.
  EXPECT_EQ(Press(0xf6, kcSemicolon), 0);
}
