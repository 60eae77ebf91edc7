// What tests do to the battlefield by hand, whichever window it is played
// in: the players' keys, a set clock, tanks put in place, walls cleared
// away and bullets fired.
#pragma once

#include "game/battlefield.h"
#include "rtl/sysutils.h"

#include <cmath>
#include <cstdint>

class FieldMoves {
public:
  static constexpr uint16_t kRedRight = 70, kRedLeft = 83, kRedShoot = 69, kRedSwitch = 90;
  static constexpr uint16_t kBlueRight = 102, kBlueLeft = 100, kBlueShoot = 104, kBlueSwitch = 96;
  // One shot's cooldown, in days, and a little more.
  static constexpr double kCooldown = 1.4e-5;

  void Advance(double days) {
    Clock += days;
    SetNowOverride(Clock);
  }

  // Moves a tank, erasing it where it stood and drawing it where it goes.
  static void Put(CTankType *t, double x, double y, float angle = 0) {
    t->Draw(true, false);
    t->Pos = {x, y};
    t->Angle = angle;
    t->Draw(false, false);
  }
  // Moves every wall out of the way.
  static void ClearWalls() {
    for (int w = 1; w <= LineCount; ++w) {
      Lines[w]->Draw(true);
      Lines[w]->SetEnds({-1000, -1000}, {-1000, -1000});
    }
  }
  // Puts the six tanks in a row along the middle of the field, well apart.
  static void SpreadTanks() {
    for (int p = 1; p <= 2; ++p)
      for (int s = 1; s <= 3; ++s)
        Put(Tanks[p][s], 100 + (p - 1) * 450 + (s - 1) * 120, 600);
  }
  // Fires the next idle bullet from (x, y) along angle.
  static CBall *Launch(double x, double y, float angle) {
    for (int i = 1; i <= BallCount; ++i) {
      if (Balls[i]->Life == 0) {
        Balls[i]->Life = 1;
        Balls[i]->Pos = {x, y};
        Balls[i]->Angle = angle;
        return Balls[i];
      }
    }
    return nullptr;
  }

  // Leaves blue one tank, at (500, 300), with a bullet 20 pixels from it
  // on either side: both hit it in the next tick.
  static CTankType *TwoBulletsAtBluesLastTank() {
    Tanks[2][1]->TakeHit();
    Tanks[2][1]->TakeHit();
    CTankType *last = Tanks[2][1];
    Put(last, 500, 300);
    Launch(480, 300, 0);
    Launch(520, 300, float(M_PI));
    return last;
  }

  double Clock = 100;
};
