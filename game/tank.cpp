#include "game/tank.h"

#include "game/battlefield.h"
#include "game/gamewindow.h"
#include "rtl/sysutils.h"

#include <cmath>

namespace {
// In a network game the shot cooldown counts ticks: 25, the first whole
// number of 50 ms ticks beyond the 1.2096 seconds of ShotCooldown.
constexpr int32_t kCooldownTicks = 25;
} // namespace

void CTankType::Init(int32_t slot, int32_t x, int32_t y, int32_t player) {
  Motion = msNone;
  Radius = 10;
  Pos = {static_cast<double>(x), static_cast<double>(y)};
  Player = player;
  Slot = slot;
  LastShot = Now();
  LastShotTick = TickCount;
  if (player == 1) {
    DriveSound = 1;
    TurnSound = 2;
    ShotSound = sndShotRed;
  } else {
    DriveSound = 4;
    TurnSound = 3;
    ShotSound = sndShotBlue;
  }
  // An engine loop still playing from the previous game (its keys held
  // through the game over) stops: nothing would ever stop it otherwise.
  if (LoopSound != 0)
    GameWindow->StopSound(LoopSound);
  LoopSound = 0;
}

void CTankType::Draw(bool Erase, bool Active) {
  TCanvas *canvas = GameWindow->Canvas();
  if (Erase) {
    canvas->Brush.Color = GameWindow->WindowColor();
    canvas->Pen.Color = GameWindow->WindowColor();
  } else {
    const CPlayer *owner = Players[Player];
    canvas->Brush.Color = Active ? owner->ActiveColour : owner->Colour;
    canvas->Pen.Color = clBlack;
  }
  canvas->Pen.Width = 1;
  canvas->Ellipse(Round(Pos.X - Radius), Round(Pos.Y - Radius), Round(Pos.X + Radius),
                  Round(Pos.Y + Radius));
  canvas->Pen.Width = 3;
  canvas->MoveTo(Round(Pos.X), Round(Pos.Y));
  BarrelTip = BarrelTipAt(Pos, Angle);
  canvas->LineTo(static_cast<int>(BarrelTip.X), static_cast<int>(BarrelTip.Y));
}

void CTankType::SetMotion(int32_t Delta) {
  if (Delta == Motion)
    return;
  // A key press while driving, as the auto-repeat of a held key gives.
  if (Delta > 0 && Motion >= msForward)
    return;
  if (Delta == msNone || Motion == msNone)
    Motion = Delta;
  else
    Motion += Delta;

  int32_t loop = 0;
  if (Motion == msForward)
    loop = DriveSound;
  else if (Motion == msLeft || Motion == msRight)
    loop = TurnSound;
  // A loop that is already playing is never restarted.
  if (loop != 0 && loop == LoopSound)
    return;
  if (LoopSound != 0)
    GameWindow->StopSound(LoopSound);
  LoopSound = loop;
  if (loop != 0)
    GameWindow->LoopSound(loop);
}

void CTankType::Step() {
  if (Motion == msRight)
    Turn(true);
  else if (Motion == msLeft)
    Turn(false);
  else if (Motion == msForward)
    MoveForward();
}

void CTankType::Turn(bool Right) {
  Draw(true, true);
  Angle = TurnedAngle(Angle, Right);
  Draw(false, true);
}

float CTankType::TurnedAngle(float angle, bool right) {
  // The sum is formed in extended precision and stored back as a float;
  // in a network game in double precision, which is the same everywhere.
  if (NetworkGame)
    return static_cast<float>(static_cast<double>(angle) + (right ? 0.05 : -0.05));
  return static_cast<float>(static_cast<long double>(angle) + (right ? 0.05L : -0.05L));
}

TPointF CTankType::BarrelTipAt(TPointF pos, float angle) {
  const TPointF d = FieldDirection(double(angle));
  return {static_cast<double>(Round(pos.X + 12 * d.X)),
          static_cast<double>(Round(pos.Y + 12 * d.Y))};
}

bool CTankType::CanShoot() const {
  if (NetworkGame)
    return TickCount - LastShotTick >= kCooldownTicks;
  return Now() - LastShot > ShotCooldown;
}

TPointF CTankType::StepAhead(TPointF from, float angle) {
  const TPointF d = FieldDirection(double(angle));
  return {from.X + 2 * d.X, from.Y + 2 * d.Y};
}

void CTankType::MoveForward() {
  const TPointF next = StepAhead(Pos, Angle);
  if (CanMoveTo(next)) {
    Draw(true, true);
    Pos = next;
    Draw(false, true);
  } else {
    GameWindow->PlaySound(sndBlocked);
  }
}

bool CTankType::CanMoveTo(TPointF P) const {
  const int32_t R = Radius;
  // The status bars' strip at the bottom is not part of the field.
  if (P.X < R || P.X > GameWindow->ClientWidth() - R || P.Y < R ||
      P.Y > GameWindow->ClientHeight() - GameWindow->StatusBarHeight() - R)
    return false;
  for (int32_t p = 1; p <= PlayerCount; ++p) {
    for (int32_t s = 1; s <= Players[p]->TankCount; ++s) {
      const CTankType *other = Tanks[p][s];
      if (other != this && Distance(other->Pos, P) < 2 * R + 1)
        return false;
    }
  }
  for (int32_t w = 1; w <= LineCount; ++w) {
    if (Lines[w]->IsNear(P, P, 14))
      return false;
  }
  return true;
}

void CTankType::TakeHit() {
  CPlayer *owner = Players[Player];
  if (owner->TankCount == 1) {
    // The player's last tank: the game is over, the fleet stays as it is.
    GameWindow->GameOver();
    GameWindow->PlaySound(sndGameOver);
  } else {
    RemoveTank(this);
  }
  Draw(true, false);
  SetMotion(msDead);
  GameWindow->PlaySound(sndTankDestroyed);
  GameWindow->ShowMarker(TMarker::Bird, Pos);
}

void CTankType::RemoveTank(CTankType *T) {
  CPlayer *P = Players[T->Player];
  const int32_t p = T->Player, n = P->TankCount, k = T->Slot;
  const bool wasActive = P->Active == k;
  for (int32_t s = k; s <= n - 1; ++s) {
    Tanks[p][s] = Tanks[p][s + 1];
    Tanks[p][s]->Slot = s;
    if (P->Active == s + 1)
      P->Active = s;
  }
  Tanks[p][n] = T;
  T->Slot = n;
  P->TankCount = n - 1;
  if (P->Active > P->TankCount)
    P->Active = 1;
  // The next tank takes the motion over, without an engine sound until its
  // motion next changes.
  if (wasActive)
    Tanks[p][P->Active]->Motion = T->Motion;
}

void CTankType::Shoot() {
  if (!CanShoot())
    return;
  GameWindow->RestartSound(ShotSound);
  // With every bullet in flight the shot fires nothing.
  for (int32_t i = 1; i <= BallCount; ++i) {
    CBall *ball = Balls[i];
    if (ball->Life == 0) {
      ball->Life = 1;
      ball->Pos = BarrelTip;
      ball->Angle = Angle;
      break;
    }
  }
  LastShot = Now();
  LastShotTick = TickCount;
}
