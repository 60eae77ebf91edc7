// The battlefield without a window: the fake window at the main window's
// size, with the game's flow (start, tick, keys, game over) done the way
// the main window does it. Whole games
// run as fast as the CPU allows, with a seeded layout and a set clock.
#pragma once

#include "game/battlefield.h"
#include "game/computer.h"
#include "game/gamewindow.h"
#include "rtl/sysutils.h"
#include "tests/game/fake_window.h"
#include "tests/game/invariants.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace headless {

class Field : public FakeWindow {
public:
  // The main window on a large screen: 1020 × 720.
  Field() : FakeWindow(1020, 720) {
    SetNowOverride(Clock);
    MakeGameIn(*this);
  }
  ~Field() override {
    ClearGameFrom(*this);
    ClearNowOverride();
  }

  // Start game: new walls, the main loop runs.
  void Start() {
    for (int w = 1; w <= LineCount; ++w)
      Lines[w]->Draw(true);
    PlaceWalls();
    Running = true;
  }
  // The main loop's step, 50 ms of the clock later than the last.
  void Tick() {
    Clock += 0.05 / 86400;
    SetNowOverride(Clock);
    GameTick();
  }
  // Presses count only while a game runs; releases always do.
  void KeyDown(uint16_t key) {
    if (Running)
      GameKeyDown(key);
  }
  void KeyUp(uint16_t key) { GameKeyUp(key); }
  // Blocked moves so far: each plays the blocked sound.
  int Blocked() const { return Sounds[sndBlocked].Starts; }

  double Clock = 1;
};

// A computer side's keys: to the field's handlers, and counted when they
// are not that side's own.
class Keys : public IComputerKeys {
public:
  Keys(Field *field, int side) : Into(field), Side(side) {}
  void ComputerKeyDown(uint16_t key) override {
    Check(key);
    Into->KeyDown(key);
  }
  void ComputerKeyUp(uint16_t key) override {
    Check(key);
    Into->KeyUp(key);
  }
  int Foreign = 0;

private:
  void Check(uint16_t key) {
    const CPlayer *p = Players[Side];
    Foreign += key != p->KeyLeft && key != p->KeyRight && key != p->KeyShoot && key != p->KeySwitch;
  }
  Field *Into;
  int Side;
};

// The battlefield's invariants, checked after ticks and counted when they
// do not hold.
struct Invariants {
  int Beeps = 0, Score = 0;
  int Faults = 0;
  void Check() {
    const bool over = !GameWindow || !static_cast<FakeWindow *>(GameWindow)->Running;
    const int hits = static_cast<FakeWindow *>(GameWindow)->Beeps - Beeps;
    Faults += !BattlefieldFault(hits, Players[1]->Score + Players[2]->Score - Score, over).empty();
  }
};

// How one game went.
struct Result {
  int Winner = 0; // 1 red, 2 blue, 0 not over within the ticks allowed
  int Ticks = 0;
  int ForeignKeys = 0;
  // Computer sides holding more than a person could after the game over.
  int HeldAfter = 0;
  // Blocked sounds of the tanks the computer drove.
  int Blocked = 0;
  // Ticks after which the battlefield's invariants did not hold.
  int Faults = 0;
};

// Prints the tanks every this many ticks; 0 for never.
inline int Trace = 0;

// Plays one game on the field with a layout from `layoutSeed`. A level
// below 0 leaves that side idle.
inline Result Play(Field &field, uint32_t layoutSeed, int redLevel, int blueLevel,
                   uint32_t computerSeed, int maxTicks) {
  SetRandSeed(layoutSeed);
  ResetGame();
  field.Start();
  Keys redKeys(&field, 1), blueKeys(&field, 2);
  std::unique_ptr<CComputerPlayer> sides[2];
  const int levels[2] = {redLevel, blueLevel};
  for (int i = 0; i < 2; ++i) {
    if (levels[i] >= 0) {
      sides[i] = std::make_unique<CComputerPlayer>(i + 1, TComputerLevel(levels[i]),
                                                   computerSeed * 2 + i, i ? &blueKeys : &redKeys);
      sides[i]->NewGame();
    }
  }
  Result r;
  Invariants invariants{field.Beeps, Players[1]->Score + Players[2]->Score};
  const int blockedBefore = field.Blocked();
  while (field.Running && r.Ticks < maxTicks) {
    field.Tick();
    ++r.Ticks;
    if (field.Running)
      for (auto &side : sides)
        if (side)
          side->Tick();
    invariants.Check();
    if (Trace && r.Ticks % Trace == 0) {
      std::printf("t=%d", r.Ticks);
      for (int p = 1; p <= 2; ++p) {
        std::printf(" | P%d n=%d a=%d", p, Players[p]->TankCount, Players[p]->Active);
        for (int s = 1; s <= Players[p]->TankCount; ++s)
          std::printf(" (%.0f,%.0f %.2f m%d)", Tanks[p][s]->Pos.X, Tanks[p][s]->Pos.Y,
                      std::remainder(double(Tanks[p][s]->Angle), 2 * M_PI), Tanks[p][s]->Motion);
      }
      std::printf("\n");
    }
  }
  // An idle side never drives, so every blocked sound is the computer's.
  r.Blocked = field.Blocked() - blockedBefore;
  if (!field.Running) {
    for (int p = 1; p <= 2; ++p)
      if (Tanks[p][1]->Motion < msDead + 500 && Players[p]->TankCount == 1)
        r.Winner = 3 - p;
  }
  field.Running = false;
  for (auto &side : sides) {
    if (!side)
      continue;
    const CPlayer *p = Players[side->Side];
    r.HeldAfter += side->Holds(p->KeyShoot) || side->Holds(p->KeySwitch);
    side->ReleaseAll();
  }
  r.ForeignKeys = redKeys.Foreign + blueKeys.Foreign;
  r.Faults = invariants.Faults;
  return r;
}

} // namespace headless
