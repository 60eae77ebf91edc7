// A tank ("krall"): a filled circle of radius 10 in its player's colour
// with a black outline and a 12-pixel barrel along its heading. It turns
// 0.05 radian and drives 2 pixels per tick, is blocked by the field's
// edges, other tanks and walls, and fires at most once every 1.2096 s.
#pragma once

#include "game/common.h"

#include <cstdint>

class CTankType {
public:
  // Heading in radians; a growing angle turns clockwise on screen.
  float Angle = 0;
  TPointF Pos;
  // End of the barrel as last drawn, in whole pixels; a shot starts here.
  TPointF BarrelTip;
  int32_t Radius = 0;
  int32_t Motion = 0;
  // Owner: 1 (red) or 2 (blue).
  int32_t Player = 0;
  // The tank's slot in its player's row of Tanks.
  int32_t Slot = 0;
  // Time of the last shot or of placement, in days (Now).
  double LastShot = 0;
  // The tick of the last shot or of placement (TickCount), for the
  // cooldown of a network game.
  int32_t LastShotTick = 0;
  // The engine sound now playing in a loop; 0 for none.
  int32_t LoopSound = 0;
  int32_t DriveSound = 0;
  int32_t TurnSound = 0;
  int32_t ShotSound = 0;

  // Puts the tank on the field for a new game. Neither the angle nor the
  // picture changes.
  void Init(int32_t Slot, int32_t X, int32_t Y, int32_t Player);
  // Draws the tank in its player's colour, or the highlight colour when
  // Active, or paints it over in the window colour when Erase.
  void Draw(bool Erase, bool Active);
  // The motion state machine: adds a key change and starts, keeps or
  // stops the engine loop to match.
  void SetMotion(int32_t Delta);
  // One tick: turn, drive or nothing, according to the motion state.
  void Step();
  void Turn(bool Right);
  void MoveForward();
  // Where one forward step at the angle leads from a point: 2 pixels on.
  static TPointF StepAhead(TPointF from, float angle);
  // The heading after one turn step, 0.05 radian right or left.
  static float TurnedAngle(float angle, bool right);
  // The barrel's end, in whole pixels, for a tank at `pos` heading `angle`.
  static TPointF BarrelTipAt(TPointF pos, float angle);
  // The least time between two shots of a tank, 1.2096 s, in days.
  static constexpr double ShotCooldown = 1.4e-5;
  // Whether a shot now would fire: the cooldown has passed.
  bool CanShoot() const;
  // False where the tank would leave the field, come too near another live
  // tank or within 14 pixels of a wall.
  bool CanMoveTo(TPointF P) const;
  // This tank has been hit: it leaves its fleet, or the game is over.
  void TakeHit();
  // Whether it has been hit: a hit adds msDead to the motion state, and
  // the keys held or let go before and since move it by a few turn values.
  bool Destroyed() const { return Motion < msDead + 500; }
  // Takes the destroyed tank T out of its player's live slots, keeping the
  // live tanks together at the front and the active index on its tank.
  void RemoveTank(CTankType *T);
  // Fires the first idle bullet from the barrel's tip, unless the last
  // shot was too recent.
  void Shoot();
};
