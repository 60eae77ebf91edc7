// What the computer works out from the field as a player sees it: which
// way things lie, where a bullet will fly, and where a tank may stand.
#pragma once

#include "game/common.h"

#include <cmath>
#include <cstdint>
#include <numbers>

class CTankType;

// The difference b − a brought into −π..π.
inline double AngleTo(double a, double b) {
  return std::remainder(b - a, 2 * std::numbers::pi);
}

// The direction from one point to another.
inline double Bearing(TPointF from, TPointF to) {
  return std::atan2(to.Y - from.Y, to.X - from.X);
}

// A tank whose place a bullet's flight foresees: it moves by Step each
// bullet step from At. With Skip the tank is left out instead.
struct TForesight {
  const CTankType *Tank = nullptr;
  TPointF At, Step;
  bool Skip = false;
};

// Where a followed bullet stopped.
struct TFlight {
  const CTankType *Hit = nullptr; // the tank it hit, if any
  int32_t Steps = 0;              // the steps flown before it stopped
};

// Follows a bullet from `from` at `angle` for at most `steps` steps, step
// by step as the game flies it: a tank within reach of a step's end stops
// it before a wall does. The places it passed go to `path`, if given.
TFlight FlyBullet(TPointF from, float angle, int32_t steps, const TForesight &foresee,
                  TPointF *path = nullptr);

// It keeps this far more from the enemy's active tank than the game does:
// that tank may come nearer on the same tick.
constexpr double kEnemyMargin = 2.5;

// Whether side's tank `self` could stand at p: the tank's own move test,
// with `tankMargin` more around the other side's active tank.
bool FreeAt(int32_t side, const CTankType *self, TPointF p, double tankMargin);
// Whether the tank's next step ahead is free, kEnemyMargin kept.
bool CanDrive(int32_t side, const CTankType *tank);
