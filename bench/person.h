// Simple models of a person at a side's keys, written apart from the
// computer player so that its levels can be measured against something
// that does not share its code: the person sees the field a reaction time
// late, turns its tank towards the nearest enemy tank it has a clear shot
// at and fires once lined up; with no shot it follows a route from the
// path planner to a place that has one. Its keys change no faster than a
// person's fingers. The beginner does no more than that; the skilled
// player also leads a moving tank, steps out of a bullet's way by driving
// on or turning aside, and takes another of its tanks when that one has a
// shot and this one has none.
#pragma once

#include "game/battlefield.h"
#include "game/computer.h"
#include "game/gamewindow.h"
#include "game/pathplanner.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace person {

struct TFigures {
  int Reaction;     // ticks it sees late
  double AimError;  // standard deviation of its aim, radians
  double AimWindow; // how far off it still fires, radians
  bool Leads;       // aims ahead of a moving tank
  bool Dodges;      // steps out of a bullet's way
  bool Switches;    // takes another tank that has a shot
  int TurnKeyGap;   // least ticks between changes of its turn keys
  int TapGap;       // least ticks between two taps
};

// The two were set against easy and hard alone, which the levels keep:
// the beginner wins about two games in three against easy, the skilled
// player about one in four against hard.
// A beginner: sees 8 ticks late (0.4 s), aims to 0.035 rad and fires
// within 0.08 rad of it, changes its turn keys at most every 3 ticks and
// taps at most every 5, nothing more.
constexpr TFigures kBeginner{8, 0.035, 0.08, false, false, false, 3, 5};
// A skilled player: sees 7 ticks late, aims to 0.025 rad and fires within
// 0.05 rad, changes its turn keys at most every 2 ticks and taps at most
// every 4; leads, dodges and switches.
constexpr TFigures kSkilled{7, 0.025, 0.05, true, true, true, 2, 4};

class CPerson {
public:
  CPerson(int side, const TFigures &figures, uint32_t seed, IComputerKeys *keys)
      : Side(side), F(figures), Keys(keys), Rand(seed * 2654435761u + 1) {}

  void NewGame() {
    Clock = 0;
    Started = false;
    HeldLeft = HeldRight = false;
    ChangedAt = TappedAt = -100;
    SeenCount = 0;
    Error = Draw();
    PlannedAt = -100;
    Tank = nullptr;
    DodgeUntil = 0;
  }

  void ReleaseAll() {
    if (HeldLeft)
      Keys->ComputerKeyUp(Players[Side]->KeyLeft);
    if (HeldRight)
      Keys->ComputerKeyUp(Players[Side]->KeyRight);
    HeldLeft = HeldRight = false;
  }

  void Tick() {
    ++Clock;
    const CPlayer *me = Players[Side];
    const CTankType *tank = Tanks[Side][me->Active];
    if (!Started) {
      Started = true;
      Planner.SetField(GameWindow->ClientWidth(),
                       GameWindow->ClientHeight() - GameWindow->StatusBarHeight(), &Lines[1],
                       std::min<int>(LineCount, kMaxLines));
      while (!Planner.Build(80)) {
      }
      for (int s = 1; s <= kMaxTanksPerPlayer; ++s)
        Enemy[s - 1] = Tanks[3 - Side][s];
    }
    for (int i = 0; i < kMaxTanksPerPlayer; ++i)
      Seen[SeenCount % kMemory][i] = Enemy[i]->Pos;
    ++SeenCount;
    if (tank->Destroyed() || Tanks[3 - Side][1]->Destroyed() || Players[3 - Side]->TankCount < 1)
      return;
    if (tank != Tank) {
      // A new tank in its hands: it looks before it acts.
      Tank = tank;
      Wait = F.Reaction;
      PlannedAt = -100;
    }
    if (Wait > 0) {
      --Wait;
      return;
    }
    int drive = Decide(tank);
    if (drive == kForward && !CanGo(tank))
      drive = kStand;
    SetKeys(drive);
  }

private:
  static constexpr int kStand = 0, kLeft = 1, kRight = 2, kForward = 3;
  static constexpr int kMemory = 16;

  double Uniform() {
    Rand ^= Rand << 13;
    Rand ^= Rand >> 7;
    Rand ^= Rand << 17;
    return double(Rand >> 11) * 0x1.0p-53;
  }
  double Draw() {
    const double u = std::max(Uniform(), 1e-12), v = Uniform();
    const double g = std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * v);
    return std::clamp(g, -2.0, 2.0) * F.AimError;
  }
  static double AngleTo(double a, double b) { return std::remainder(b - a, 2 * std::numbers::pi); }
  static double Bearing(TPointF a, TPointF b) { return std::atan2(b.Y - a.Y, b.X - a.X); }

  int Index(const CTankType *tank) const {
    for (int i = 0; i < kMaxTanksPerPlayer; ++i)
      if (Enemy[i] == tank)
        return i;
    return 0;
  }
  TPointF SeenAt(int enemy, int back) const {
    back = std::clamp(back, 0, std::min(SeenCount - 1, kMemory - 1));
    return Seen[(SeenCount - 1 - back) % kMemory][enemy];
  }

  bool CanGo(const CTankType *tank) const {
    return tank->CanMoveTo(CTankType::StepAhead(tank->Pos, tank->Angle));
  }

  // The nearest enemy tank with a clear line of fire from `tank`, as seen.
  int ShotAt(const CTankType *tank, double &distance) const {
    int best = -1;
    distance = 1e9;
    const double reach = BallRange * Distance({}, CBall::StepAhead({}, 0)) - 20;
    for (int s = 1; s <= Players[3 - Side]->TankCount; ++s) {
      const int i = Index(Tanks[3 - Side][s]);
      const TPointF at = SeenAt(i, F.Reaction);
      const double d = Distance(tank->Pos, at);
      if (d < distance && d < reach && Planner.FireClear(tank->Pos, at, 6)) {
        distance = d;
        best = i;
      }
    }
    return best;
  }

  int Decide(const CTankType *tank) {
    if (F.Dodges) {
      const int dodge = Dodge(tank);
      if (dodge >= 0)
        return dodge;
    }
    double d;
    const int enemy = ShotAt(tank, d);
    if (enemy < 0) {
      if (F.Switches && Clock - SwitchedAt > 40 && Players[Side]->TankCount > 1) {
        // Another tank of its own may have the shot this one lacks.
        const CPlayer *me = Players[Side];
        for (int s = 1; s <= me->TankCount; ++s) {
          double other;
          if (s != me->Active && ShotAt(Tanks[Side][s], other) >= 0 && Tap(me->KeySwitch)) {
            SwitchedAt = Clock;
            return kStand;
          }
        }
      }
      return Travel(tank);
    }
    TPointF at = SeenAt(enemy, F.Reaction);
    if (F.Leads) {
      const TPointF before = SeenAt(enemy, F.Reaction + 2);
      const double vx = (at.X - before.X) / 2, vy = (at.Y - before.Y) / 2;
      const double t = F.Reaction + d / Distance({}, CBall::StepAhead({}, 0));
      at = {at.X + vx * t, at.Y + vy * t};
    }
    const double diff = AngleTo(tank->Angle, Bearing(tank->Pos, at) + Error);
    if (std::fabs(diff) <= F.AimWindow) {
      if (tank->CanShoot() && Tap(Players[Side]->KeyShoot))
        Error = Draw();
      return kStand;
    }
    return diff > 0 ? kRight : kLeft;
  }

  // Drive on, or turn aside, when a bullet comes its way.
  int Dodge(const CTankType *tank) {
    if (Clock < DodgeUntil)
      return DodgeDrive;
    const double speed = Distance({}, CBall::StepAhead({}, 0));
    for (int b = 1; b <= BallCount; ++b) {
      const CBall *ball = Balls[b];
      if (ball->Life <= F.Reaction)
        continue;
      // Where the bullet passes nearest to the tank, and when.
      const double dx = std::cos(ball->Angle), dy = std::sin(ball->Angle);
      const double along = (tank->Pos.X - ball->Pos.X) * dx + (tank->Pos.Y - ball->Pos.Y) * dy;
      if (along < 0 || along > (BallRange - ball->Life) * speed)
        continue;
      const double aside = (tank->Pos.Y - ball->Pos.Y) * dx - (tank->Pos.X - ball->Pos.X) * dy;
      if (std::fabs(aside) > tank->Radius + 6 || !Planner.LineClear(ball->Pos, tank->Pos, 2))
        continue;
      // Driving on leaves the line if it heads across it.
      const double across = std::fabs(std::sin(tank->Angle - ball->Angle));
      DodgeDrive = across > 0.5 && CanGo(tank)             ? kForward
                   : AngleTo(ball->Angle, tank->Angle) > 0 ? kRight
                                                           : kLeft;
      DodgeUntil = Clock + 6;
      return DodgeDrive;
    }
    return -1;
  }

  int Travel(const CTankType *tank) {
    const CPlayer *enemy = Players[3 - Side];
    TPointF at{};
    double nearest = 1e9;
    for (int s = 1; s <= enemy->TankCount; ++s) {
      const TPointF p = SeenAt(Index(Tanks[3 - Side][s]), F.Reaction);
      if (Distance(tank->Pos, p) < nearest) {
        nearest = Distance(tank->Pos, p);
        at = p;
      }
    }
    if (Clock - PlannedAt >= 25 || Planner.State() == CPathPlanner::psIdle) {
      TPointF others[kMaxPlayers * kMaxTanksPerPlayer];
      int n = 0;
      for (int p = 1; p <= PlayerCount; ++p)
        for (int s = 1; s <= Players[p]->TankCount; ++s)
          if (Tanks[p][s] != tank && Distance(Tanks[p][s]->Pos, at) > 1)
            others[n++] = Tanks[p][s]->Pos;
      Planner.Start(tank->Pos, at, 280, others, n);
      PlannedAt = Clock;
    }
    TPointF point = at;
    switch (Planner.Search(2000)) {
    case CPathPlanner::psFound:
      if (!Planner.NextPoint(tank->Pos, point))
        PlannedAt = -100;
      break;
    default:
      break;
    }
    const double diff = AngleTo(tank->Angle, Bearing(tank->Pos, point));
    const bool driving = HeldLeft && HeldRight;
    if (std::fabs(diff) > (driving ? 0.2 : 0.12))
      return diff > 0 ? kRight : kLeft;
    if (!CanGo(tank)) {
      PlannedAt = -100;
      return diff > 0 ? kRight : kLeft;
    }
    return kForward;
  }

  bool Tap(uint16_t key) {
    if (Clock - TappedAt < F.TapGap)
      return false;
    TappedAt = Clock;
    Keys->ComputerKeyDown(key);
    Keys->ComputerKeyUp(key);
    return true;
  }

  void SetKeys(int drive) {
    const bool left = drive == kLeft || drive == kForward;
    const bool right = drive == kRight || drive == kForward;
    if (left == HeldLeft && right == HeldRight)
      return;
    if (Clock - ChangedAt < F.TurnKeyGap)
      return;
    ChangedAt = Clock;
    const CPlayer *me = Players[Side];
    if (!left && HeldLeft)
      Keys->ComputerKeyUp(me->KeyLeft);
    if (!right && HeldRight)
      Keys->ComputerKeyUp(me->KeyRight);
    if (left && !HeldLeft)
      Keys->ComputerKeyDown(me->KeyLeft);
    if (right && !HeldRight)
      Keys->ComputerKeyDown(me->KeyRight);
    HeldLeft = left;
    HeldRight = right;
  }

  int Side;
  TFigures F;
  IComputerKeys *Keys;
  uint64_t Rand;
  int64_t Clock = 0, ChangedAt = -100, TappedAt = -100, PlannedAt = -100, SwitchedAt = -100;
  int64_t DodgeUntil = 0;
  int DodgeDrive = kStand;
  bool Started = false, HeldLeft = false, HeldRight = false;
  int Wait = 0;
  double Error = 0;
  const CTankType *Tank = nullptr;
  const CTankType *Enemy[kMaxTanksPerPlayer] = {};
  TPointF Seen[kMemory][kMaxTanksPerPlayer];
  int SeenCount = 0;
  CPathPlanner Planner;
};

} // namespace person
