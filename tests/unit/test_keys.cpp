#include "ui/winsys/keys.h"

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
