// One of the two people at the keyboard: player 1 is red, player 2 blue.
// A player's fleet is its row of the global table Tanks, whose first
// TankCount slots hold the live tanks.
#pragma once

#include "rtl/colors.h"

#include <cstdint>

class CPlayer {
public:
  // Slot of the active tank, the one the player's keys steer and fire.
  int32_t Active = 0;
  int32_t TankCount = 0;
  // Points won since the program started.
  int32_t Score = 0;
  // Windows virtual-key codes.
  uint16_t KeyRight = 0;
  uint16_t KeyLeft = 0;
  uint16_t KeyShoot = 0;
  uint16_t KeySwitch = 0;
  TColor Colour = 0;
  // The active tank's colour while it is highlighted.
  TColor ActiveColour = 0;
  // 1 or 2: the row of Tanks and the index in Players.
  int32_t Number = 0;

  // Sets up the player for a game: a full fleet. Active, Score and the keys
  // stay as they are.
  void Init(int32_t Number, TColor Colour, TColor ActiveColour);
  // Makes the next live tank active, carrying turning or driving over to
  // it; returns the new Active.
  int32_t NextTank();
};
