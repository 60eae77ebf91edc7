// What the computer has seen of the enemy's tanks: their places, one row
// per tick, of which it acts on the row its reaction time back.
#pragma once

#include "game/battlefield.h"
#include "game/common.h"

#include <cstdint>

class CPerception {
public:
  explicit CPerception(int32_t reaction) : Reaction(reaction) {}

  // The game's first look: nothing seen yet, and the enemy's fleet is
  // that of side's opponent.
  void Start(int32_t side);
  // This tick's places of the enemy's tanks.
  void Look();
  // The enemy tank's index in the rows; 0 for a tank not the enemy's.
  int Index(const CTankType *tank) const;
  // Where it sees the enemy tank: its place `Reaction` ticks back.
  TPointF At(int enemy) const { return AtTicksBack(enemy, Reaction); }
  TPointF AtTicksBack(int enemy, int ticksBack) const;
  // The tank's step per tick as seen, or none while too little is seen or
  // when it moved faster than a tank can (a switch).
  TPointF Velocity(int enemy) const;

private:
  static constexpr int kMemory = 16;
  int32_t Reaction;
  const CTankType *Enemy[kMaxTanksPerPlayer] = {};
  TPointF Seen[kMemory][kMaxTanksPerPlayer];
  int32_t SeenCount = 0;
};
