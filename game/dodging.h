// How the computer steps out of a bullet's way: it follows the bullets it
// has noticed, tries ways out (drive on at once, or turn a while either
// way and then drive) and keeps to the one chosen until its end.
#pragma once

#include "game/computerhands.h"
#include "game/computerlevels.h"

#include <cstdint>

class CTankType;

class CDodging {
public:
  // Side is the player number; the figures say how late it notices a
  // bullet and which ways out it tries.
  CDodging(int32_t side, const TComputerFigures &figures);

  // Forgets the way out it was following.
  void Forget();
  // On tick `clock`: whether a bullet threatens `tank` and it has a way
  // out, whose next step goes to `drive`. With no way out, `doomed` says
  // whether the hit comes soon.
  bool Step(const CTankType *tank, int64_t clock, TDrive &drive, bool &doomed);

private:
  // The next step of the way out chosen: its turns, then driving on.
  TDrive NextStep();

  int32_t Side;
  int32_t Reaction;
  TDodging How;
  // The way out chosen: Turns ticks of turning towards Turn, then
  // driving, until Until.
  TDrive Turn = drStand;
  int32_t Turns = 0;
  int64_t Until = 0;
};
