// How the computer gets its tank away from a wall that keeps blocking its
// route: after a few refused steps it turns away from the nearest wall
// for at most half a turn, then drives a short way.
#pragma once

#include "game/computerhands.h"

#include <cstdint>

class CTankType;

class CBackingOff {
public:
  // Side is the player number.
  explicit CBackingOff(int32_t side) : Side(side) {}

  // A step on the route was driven: the refusals start again from none.
  void Driven() { Refusals = 0; }
  // A step on the route was refused: after enough in a row it backs off.
  void Refused(const CTankType *tank);
  // Whether it is backing off.
  bool Active() const { return Turns > 0 || Drive > 0; }
  // Stops backing off; with Forget the refusals go too.
  void Stop() { Turns = Drive = 0; }
  void Forget() { Refusals = Turns = Drive = 0; }
  // The next step away: turning while the heading is off by more than
  // `tolerance`, then driving where the tank can.
  TDrive Step(const CTankType *tank, double tolerance);

private:
  int32_t Side;
  int32_t Refusals = 0;
  // It turns to Angle for at most Turns ticks, then drives for Drive ticks.
  int32_t Turns = 0;
  int32_t Drive = 0;
  double Angle = 0;
};
