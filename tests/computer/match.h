// Whole games played by the computer on the real main window, headless:
// a seeded layout, one computer player per side (or one side idle), the
// ticks and the clock driven by hand, the keys going through the window's
// key handlers. Used by the tournament program and the tests.
#pragma once

#include "game/computer.h"
#include "game/player.h"
#include "game/tank.h"
#include "rtl/sysutils.h"
#include "ui/form.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace match {

// Prints the tanks every this many ticks; 0 for never.
inline int Trace = 0;

// The results of one game.
struct Result {
  int Winner = 0; // 1 red, 2 blue, 0 not over within the ticks allowed
  int Ticks = 0;
  // Keys sent by a side that are not its own.
  int ForeignKeys = 0;
  // Turn keys still held after the game over, beyond the two a person has.
  int HeldAfter = 0;
  // Ticks on which a tank of a computer side drove against something.
  int Blocked = 0;
};

// A side's key source: passes the keys to the window and checks them.
class Keys : public IComputerKeys {
public:
  Keys(TForm1 *form, int side) : Form(form), Side(side) {}
  void ComputerKeyDown(uint16_t key) override {
    Check(key);
    Form->FormKeyDown(key);
  }
  void ComputerKeyUp(uint16_t key) override {
    Check(key);
    Form->FormKeyUp(key);
  }
  int Foreign = 0;

private:
  void Check(uint16_t key) {
    const CPlayer *p = Players[Side];
    if (key != p->KeyLeft && key != p->KeyRight && key != p->KeyShoot && key != p->KeySwitch)
      ++Foreign;
  }
  TForm1 *Form;
  int Side;
};

// The active tank of `side` before a tick: a tank that was driving and
// stands where it stood afterwards drove against something.
struct Driving {
  const CTankType *Tank = nullptr;
  TPointF Pos;
  void Before(int side) {
    const CTankType *t = Tanks[side][Players[side]->Active];
    Tank = t->Motion == msForward ? t : nullptr;
    Pos = t->Pos;
  }
  bool Blocked() const {
    return Tank && Tank->Motion == msForward && Tank->Pos.X == Pos.X && Tank->Pos.Y == Pos.Y;
  }
};

// Plays one game. A level below 0 leaves that side idle.
inline Result Play(TForm1 *form, uint32_t layoutSeed, int redLevel, int blueLevel,
                   uint32_t computerSeed, int maxTicks, double &clock) {
  if (form->btnStart->Caption() == "New game")
    form->btnStart->click();
  SetRandSeed(layoutSeed);
  ResetGame();
  form->btnStart->click();
  form->Timer1->SetEnabled(false);
  Keys redKeys(form, 1), blueKeys(form, 2);
  std::unique_ptr<CComputerPlayer> red, blue;
  if (redLevel >= 0)
    red = std::make_unique<CComputerPlayer>(1, TComputerLevel(redLevel), computerSeed, &redKeys);
  if (blueLevel >= 0)
    blue = std::make_unique<CComputerPlayer>(2, TComputerLevel(blueLevel), computerSeed * 7 + 1,
                                             &blueKeys);
  if (red)
    red->NewGame();
  if (blue)
    blue->NewGame();
  Result r;
  for (; r.Ticks < maxTicks; ++r.Ticks) {
    clock += 0.05 / 86400;
    SetNowOverride(clock);
    Driving redDrive, blueDrive;
    redDrive.Before(1);
    blueDrive.Before(2);
    form->Timer1Timer();
    if (!form->btnStart->isHidden())
      break;
    r.Blocked += (red && redDrive.Blocked()) + (blue && blueDrive.Blocked());
    if (red)
      red->Tick();
    if (blue)
      blue->Tick();
    if (Trace && r.Ticks % Trace == 0) {
      std::printf("t=%d", r.Ticks);
      for (int p = 1; p <= 2; ++p) {
        std::printf(" | P%d n=%d a=%d", p, Players[p]->TankCount, Players[p]->Active);
        for (int s = 1; s <= Players[p]->TankCount; ++s)
          std::printf(" (%.0f,%.0f %.2f m%d)", Tanks[p][s]->Pos.X, Tanks[p][s]->Pos.Y,
                      std::remainder(double(Tanks[p][s]->Angle), 2 * M_PI), Tanks[p][s]->Motion);
      }
      int b = 0;
      for (int i = 1; i <= BallCount; ++i)
        b += Balls[i]->Life != 0;
      std::printf(" balls %d\n", b);
    }
  }
  if (!form->btnStart->isHidden()) {
    ++r.Ticks;
    for (int p = 1; p <= 2; ++p)
      if (Tanks[p][1]->Motion < msDead + 500 && Players[p]->TankCount == 1)
        r.Winner = 3 - p;
  }
  for (CComputerPlayer *c : {red.get(), blue.get()}) {
    if (!c)
      continue;
    int held = 0;
    const CPlayer *p = Players[c->Side];
    for (uint16_t k : {p->KeyLeft, p->KeyRight, p->KeyShoot, p->KeySwitch})
      held += c->Holds(k);
    r.HeldAfter += held > 2 || c->Holds(p->KeyShoot) || c->Holds(p->KeySwitch);
    c->ReleaseAll();
  }
  r.ForeignKeys = redKeys.Foreign + blueKeys.Foreign;
  return r;
}

} // namespace match
