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

#include <algorithm>
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

// Two models of a person at the keys, for setting the levels against:
// both see 5 ticks late, change their turn keys at most every 2 ticks and
// tap at most every 3. The beginner aims and shoots, aim error 0.03 rad,
// does not lead, dodge or switch tanks by choice, and finds its way round
// walls as the computer does; the skilled player leads its shots, dodges
// by driving on, aims to 0.025 rad and switches as normal does.
constexpr TComputerFigures kBeginner{5, 0.030, false, dgNever, 25, 0, 0, 2, 3, 0, 0, 0};
constexpr TComputerFigures kSkilled{5, 0.025, true, dgDriveOn, 25, 20, 20, 2, 3, 0, 0, 0};
// Who plays a side in Play: a level, a person model, or nobody.
enum TPlayerKind { pkIdle = -1, pkEasy, pkNormal, pkHard, pkBeginner, pkSkilled };
inline const char *KindName(int kind) {
  static const char *const names[] = {"idle", "easy", "normal", "hard", "beginner", "skilled"};
  return names[kind + 1];
}

// A computer side's keys: to the field's handlers, and counted when they
// are not that side's own.
class Keys : public IComputerKeys {
public:
  Keys(Field *field, int side) : Into(field), Side(side) {}
  void ComputerKeyDown(uint16_t key) override {
    Check(key);
    if (FirstKey == 0 && Tick)
      FirstKey = *Tick;
    Switches += key == Players[Side]->KeySwitch;
    Into->KeyDown(key);
  }
  void ComputerKeyUp(uint16_t key) override {
    Check(key);
    Into->KeyUp(key);
  }
  int Foreign = 0;
  // The tick of the first key pressed, and how many switches.
  int FirstKey = 0;
  int Switches = 0;
  const int *Tick = nullptr; // the game's tick count

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

// How a side behaved, tick by tick: its turns and their reversals, and
// how long its active tank stood still.
struct Behaviour {
  int FirstKey = 0; // the tick of its first key, 0 for none
  int Switches = 0;
  int TurnChanges = 0; // starts of a turn to the left or to the right
  // Turns started the other way from the turn before; those within 2
  // ticks of its end; bursts of four reversals within a second.
  int Reversals = 0, QuickReversals = 0, Bursts = 0;
  // Ticks in stands of more than 2 s, and those spent neither aiming nor
  // dodging; the longest stand.
  int LongStandTicks = 0, IdleStandTicks = 0, LongestStand = 0;

  // Watches the side after each of its ticks.
  void Watch(int tick, int side, const CComputerPlayer &computer) {
    const CPlayer *p = Players[side];
    const bool left = computer.Holds(p->KeyLeft), right = computer.Holds(p->KeyRight);
    const int turn = left && !right ? 1 : right && !left ? 2 : 0;
    if (turn != 0 && turn != Turn) {
      ++TurnChanges;
      if (LastTurn == 3 - turn) {
        ++Reversals;
        QuickReversals += tick - TurnEnded <= 2;
        ReversalTicks[Reversals % 4] = tick;
        if (Reversals - BurstEnd >= 4 && tick - ReversalTicks[(Reversals + 1) % 4] < 20) {
          ++Bursts;
          BurstEnd = Reversals;
        }
      }
    }
    if (Turn != 0 && turn != Turn) {
      LastTurn = Turn;
      TurnEnded = tick;
    }
    Turn = turn;
    const CTankType *tank = Tanks[side][p->Active];
    const bool still = tank == StandTank && tank->Pos.X == StandAt.X && tank->Pos.Y == StandAt.Y &&
                       tank->Angle == StandAngle;
    const bool excused =
        computer.Doing == CComputerPlayer::stAiming || computer.Doing == CComputerPlayer::stDodging;
    if (still) {
      ++Stand;
      IdleStand += !excused;
    } else {
      EndStand();
    }
    StandTank = tank;
    StandAt = tank->Pos;
    StandAngle = tank->Angle;
  }
  void EndStand() {
    constexpr int kLong = 40; // 2 s
    if (Stand > kLong) {
      LongStandTicks += Stand;
      IdleStandTicks += IdleStand;
    }
    LongestStand = std::max(LongestStand, Stand);
    Stand = IdleStand = 0;
  }

private:
  int Turn = 0, LastTurn = 0, TurnEnded = -100;
  int ReversalTicks[4] = {-100, -100, -100, -100};
  int BurstEnd = 0;
  const CTankType *StandTank = nullptr;
  TPointF StandAt;
  float StandAngle = 0;
  int Stand = 0, IdleStand = 0;
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
  // Red's and blue's behaviour.
  Behaviour Sides[2];
};

// Prints the tanks every this many ticks; 0 for never.
inline int Trace = 0;

// Plays one game on the field with a layout from `layoutSeed`; each side
// a TPlayerKind.
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
      const TComputerFigures &figures = levels[i] == pkBeginner ? kBeginner
                                        : levels[i] == pkSkilled
                                            ? kSkilled
                                            : ComputerLevelFigures(TComputerLevel(levels[i]));
      sides[i] = std::make_unique<CComputerPlayer>(i + 1, figures, computerSeed * 2 + i,
                                                   i ? &blueKeys : &redKeys);
      sides[i]->NewGame();
    }
  }
  Result r;
  redKeys.Tick = blueKeys.Tick = &r.Ticks;
  Invariants invariants{field.Beeps, Players[1]->Score + Players[2]->Score};
  const int blockedBefore = field.Blocked();
  while (field.Running && r.Ticks < maxTicks) {
    field.Tick();
    ++r.Ticks;
    if (field.Running)
      for (int i = 0; i < 2; ++i)
        if (sides[i]) {
          sides[i]->Tick();
          r.Sides[i].Watch(r.Ticks, i + 1, *sides[i]);
        }
    invariants.Check();
    if (Trace && r.Ticks % Trace == 0) {
      std::printf("t=%d", r.Ticks);
      for (int p = 1; p <= 2; ++p) {
        std::printf(" | P%d n=%d a=%d doing %d", p, Players[p]->TankCount, Players[p]->Active,
                    sides[p - 1] ? int(sides[p - 1]->Doing) : -1);
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
      if (Tanks[p][1]->Destroyed() && Players[p]->TankCount == 1)
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
  for (int i = 0; i < 2; ++i) {
    r.Sides[i].EndStand();
    r.Sides[i].FirstKey = (i ? blueKeys : redKeys).FirstKey;
    r.Sides[i].Switches = (i ? blueKeys : redKeys).Switches;
  }
  r.Faults = invariants.Faults;
  return r;
}

} // namespace headless
