// The computer player: plays one side by the same rules as a person,
// through that side's four keys. It reads only what a player sees (tanks,
// walls, bullets in flight) and draws its human-like errors from a
// generator of its own, never from the game's Random.
#pragma once

#include "game/backingoff.h"
#include "game/battlefield.h"
#include "game/common.h"
#include "game/computerhands.h"
#include "game/computerlevels.h"
#include "game/dodging.h"
#include "game/pathplanner.h"
#include "game/perception.h"

#include <cstdint>

class CComputerPlayer {
public:
  // Side is the player number, 1 (red) or 2 (blue).
  CComputerPlayer(int32_t side, TComputerLevel level, uint32_t seed, IComputerKeys *keys);
  CComputerPlayer(int32_t side, const TComputerFigures &figures, uint32_t seed,
                  IComputerKeys *keys);

  // What it is doing, the step of its tick that decided.
  enum TStep {
    stNothing,
    stReacting,
    stSwitching,
    stDodging,
    stBackingOff,
    stAiming,
    stTravelling
  };

  int32_t Side;
  TComputerFigures Figures;
  TStep Doing = stNothing;
  // Ticks its keys act later than at one keyboard: in a network game the
  // input delay less one. It aims and steers from the heading its tank
  // will have once the keys it held meanwhile have acted.
  int32_t KeyDelay = 0;

  // A game starts: forget what was seen and planned. No key is held.
  void NewGame();
  // Once per timer tick, after the game's own work for the tick: looks at
  // the field and presses or releases its side's keys.
  void Tick();
  // The game is over: lets go of every key it holds.
  void ReleaseAll();
  // Whether it holds the key now.
  bool Holds(uint16_t key) const;

private:
  CComputerHands Hands;
  CDodging Dodging;
  CPerception Seen;
  CBackingOff Backing;

  uint64_t Rand = 0;
  double Uniform();
  double Gauss();
  double AimErrorDraw();

  void SetDrive(TDrive drive);
  bool Tap(uint16_t key);
  bool IsEnemy(const CTankType *tank) const;
  bool EnemyLive(const CTankType *tank) const;

  bool Started = false;
  int64_t Clock = 0;
  TPointF WallEnds[kMaxLines][2];
  bool WallsChanged() const;

  CPathPlanner Planner;
  // The route being followed: for which tank and target, planned when.
  const CTankType *PlanTank = nullptr;
  const CTankType *PlanTarget = nullptr;
  TPointF PlanTargetAt;
  int64_t PlannedAt = 0;
  bool ReplanNow = true;
  // Enemy tanks no route led to lately, and how many routes failed.
  bool Unreachable[kMaxTanksPerPlayer] = {};
  int32_t Failures = 0;
  // Its own tanks, and which of them it found shut in lately.
  const CTankType *Mine[kMaxTanksPerPlayer] = {};
  bool ShutIn[kMaxTanksPerPlayer] = {};

  const CTankType *Target = nullptr;
  const CTankType *Tank = nullptr; // the active tank as last seen
  int32_t Wait = 0;
  double ErrorAngle = 0;
  double LastShotSeen = 0;
  int32_t AlignedMisses = 0;
  int32_t AlignedTicks = 0;
  int32_t ShotsAtTarget = 0;
  int64_t LastSwitchLook = 0;
  const CTankType *SwitchTo = nullptr;
  bool Driving = false;
  // Lined up but missing: it looks for a place nearer, within this range;
  // 0 while it does not.
  double ApproachRange = 0;
  double PlanRange() const;
  void StopApproach();
  void ApproachFrom(double distance);

  double FieldWidth() const;
  double FieldHeight() const;
  // Which tank a bullet fired now from `tank` at `angle` would hit first:
  // the target at its foreseen place, or another tank where it stands.
  const CTankType *ShotHits(const CTankType *tank, float angle, TPointF targetAt,
                            TPointF targetStep) const;
  bool InView(const CTankType *from, TPointF to) const;
  double CoolingTicks(const CTankType *tank) const;
  // Ticks until `tank` could fire at an enemy tank: turning and cooling
  // down where one is in view, otherwise a guess at the drive.
  double Prospect(const CTankType *tank) const;

  // The steps of a tick, in the order Decide takes them.
  void Observe(const CTankType *tank);
  TStep Decide(const CTankType *tank, TDrive &drive);
  bool Switching(const CTankType *tank);
  bool ConsiderSwitch(const CTankType *tank, bool doomed);
  void ChooseTarget(const CTankType *tank);
  // Its tank's heading once the keys held over its last KeyDelay ticks
  // have acted.
  float AngleAhead(const CTankType *tank) const;
  TDrive Aim(const CTankType *tank);
  TDrive Travel(const CTankType *tank);
  TDrive HeadFor(const CTankType *tank, TPointF point);
  double StandTolerance() const;
  TDrive Steer(const CTankType *tank, TPointF point);
};
