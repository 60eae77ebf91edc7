// The computer player: plays one side by the same rules as a person,
// through that side's four keys. It reads only what a player sees (tanks,
// walls, bullets in flight) and draws its human-like errors from a
// generator of its own, never from the game's Random.
#pragma once

#include "game/common.h"
#include "game/pathplanner.h"

#include <cstdint>
#include <string_view>

enum TComputerLevel : int32_t { lvEasy, lvNormal, lvHard };

// Reads "easy", "normal" or "hard"; says whether the text named a level.
bool ParseComputerLevel(std::string_view text, TComputerLevel &level);
const char *ComputerLevelName(TComputerLevel level);

// Where the computer's key presses go: the window's key-down and key-up
// handlers, as one more key source beside the keyboard and the pads.
class IComputerKeys {
public:
  virtual void ComputerKeyDown(uint16_t key) = 0;
  virtual void ComputerKeyUp(uint16_t key) = 0;

protected:
  ~IComputerKeys() = default;
};

class CTankType;

class CComputerPlayer {
public:
  // Side is the player number, 1 (red) or 2 (blue).
  CComputerPlayer(int32_t side, TComputerLevel level, uint32_t seed, IComputerKeys *keys);

  int32_t Side;
  TComputerLevel Level;

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
  // What the tank does on the next tick: stand, turn or drive.
  enum TDrive { drStand, drLeft, drRight, drForward };

  IComputerKeys *Keys;
  uint16_t Held[4] = {};
  int32_t HeldCount = 0;

  // The level's figures.
  int32_t Reaction = 0;    // ticks before it acts on something new
  double AimError = 0;     // standard deviation of its aim, in radians
  int32_t ReplanEvery = 0; // ticks between plans of a route
  // Steps out of the line of incoming bullets: 0 never, 1 only by driving
  // on as it stands, 2 also by turning first.
  int32_t Dodges = 0;
  bool Leads = false;       // aims ahead of a moving target
  int32_t SwitchEvery = 0;  // ticks between looks at its other tanks
  int32_t SwitchMargin = 0; // ticks a switch must gain

  uint64_t Rand = 0;
  double Uniform();
  double Gauss();
  double AimErrorDraw();

  void Down(uint16_t key);
  void Up(uint16_t key);
  void SetDrive(TDrive drive);
  void Press(uint16_t key);

  // The enemy's tanks and their places as seen, one row per tick; what
  // it acts on lies `Reaction` ticks back.
  static constexpr int kMemory = 16;
  const CTankType *Enemy[3] = {};
  TPointF Seen[kMemory][3];
  int32_t SeenCount = 0;
  TPointF Perceived(int enemy, int ticksBack) const;
  int EnemyIndex(const CTankType *tank) const;
  bool IsEnemy(const CTankType *tank) const;

  bool Started = false;
  int64_t Clock = 0;
  TPointF WallEnds[6][2];
  bool WallsChanged() const;

  CPathPlanner Planner;
  const CTankType *PlanTank = nullptr;
  const CTankType *PlanTarget = nullptr;
  TPointF PlanTargetAt;
  int64_t PlannedAt = -1000;
  // Enemy tanks no route led to lately, and how many routes failed.
  bool Unreachable[3] = {};
  int32_t Failures = 0;
  // Its own tanks, and which of them it found shut in lately.
  const CTankType *Mine[3] = {};
  bool ShutIn[3] = {};

  const CTankType *Target = nullptr;
  const CTankType *Tank = nullptr; // the active tank as last seen
  int32_t Wait = 0;
  double ErrorAngle = 0;
  double LastShotSeen = 0;
  int32_t AlignedMisses = 0;
  int32_t ShotsAtTarget = 0;
  int64_t LastSwitchLook = 0;
  const CTankType *SwitchTo = nullptr;
  bool Driving = false;
  // Lined up but missing: it looks for a place nearer, within PlanRange.
  bool Approach = false;
  double PlanRange = 450;
  double DefaultRange() const;
  // Driving was refused on the route this many times in a row; then it
  // backs off from the nearest wall: turns to EscapeAngle (up to a half
  // turn) and drives for 15 ticks, counted down in Escape.
  int32_t Blocked = 0;
  int32_t Escape = 0;
  double EscapeAngle = 0;

  double FieldWidth() const;
  double FieldHeight() const;
  bool FreeAt(const CTankType *self, TPointF p, double tankMargin) const;
  bool CanDrive(const CTankType *tank) const;
  // Which tank a bullet fired now from `tank` at `angle` would hit first:
  // the target at its foreseen place, or another tank where it stands.
  const CTankType *ShotHits(const CTankType *tank, float angle, const CTankType *target,
                            TPointF targetAt, TPointF targetStep) const;
  bool InView(const CTankType *from, TPointF to) const;
  TPointF Velocity(int enemy) const;
  // Ticks until `tank` could fire at an enemy tank: turning and cooling
  // down where one is in view, otherwise a guess at the drive.
  double Prospect(const CTankType *tank) const;

  void ChooseTarget(const CTankType *tank);
  TDrive Aim(const CTankType *tank);
  TDrive Travel(const CTankType *tank);
  bool Dodge(const CTankType *tank, TDrive &drive);
  TDrive Steer(const CTankType *tank, TPointF point);
  TDrive BackOff(const CTankType *tank);
  bool ConsiderSwitch(const CTankType *tank);
};
