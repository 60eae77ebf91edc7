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

// How it steps out of a bullet's way.
enum TDodging : int32_t { dgNever, dgDriveOn, dgTurnAndDrive };

// What sets one way of playing apart from another: a level's row of the
// level table, or a model of a person for measuring the levels.
struct TComputerFigures {
  int32_t Reaction;     // ticks before it sees a change and acts on it
  double AimError;      // standard deviation of its aim, in radians
  bool Leads;           // aims ahead of a moving target
  TDodging Dodging;     // how it leaves a bullet's way
  int32_t ReplanEvery;  // ticks between plans of a route
  int32_t SwitchEvery;  // ticks between looks at its other tanks; 0 never
  int32_t SwitchMargin; // ticks a switch must gain
  int32_t TurnKeyGap;   // least ticks between changes of its turn keys
  int32_t TapGap;       // least ticks between two taps (a shot, a switch)
  int32_t ReverseGap;   // least ticks from a turn's end to a turn the other way
  int32_t ReverseEvery; // least ticks between two such reversals
  int32_t ShotPause;    // ticks it waits, lined up, before it fires
};

// The figures of a level.
const TComputerFigures &ComputerLevelFigures(TComputerLevel level);

class CTankType;

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
  // What the tank does on the next tick: stand, turn or drive.
  enum TDrive { drStand, drLeft, drRight, drForward };

  // A tank whose place a bullet's flight foresees: it moves by Step each
  // bullet step from At. With Skip the tank is left out instead.
  struct TForesight {
    const CTankType *Tank = nullptr;
    TPointF At, Step;
    bool Skip = false;
  };
  // Where a followed bullet stopped, and the places it passed.
  struct TFlight {
    const CTankType *Hit = nullptr; // the tank it hit, if any
    int32_t Steps = 0;              // the steps flown before it stopped
  };
  TFlight Fly(TPointF from, float angle, int32_t steps, const TForesight &foresee,
              TPointF *path = nullptr) const;

  IComputerKeys *Keys;
  uint16_t Held[4] = {};
  int32_t HeldCount = 0;
  // What its keys had the tank do at the end of each of its last ticks.
  static constexpr int32_t kMostKeyDelay = 8;
  TDrive HeldAfter[kMostKeyDelay] = {};
  int32_t HeldTicks = 0;
  int64_t TurnKeysChangedAt = 0;
  int64_t TappedAt = 0;
  // The last turn, and the tick it ended on.
  TDrive LastTurn = drStand;
  int64_t TurnEndedAt = 0;
  int64_t ReversedAt = 0;

  uint64_t Rand = 0;
  double Uniform();
  double Gauss();
  double AimErrorDraw();

  void Down(uint16_t key);
  void Up(uint16_t key);
  void SetDrive(TDrive drive);
  bool Tap(uint16_t key);

  // The enemy's tanks and their places as seen, one row per tick; what
  // it acts on lies `Reaction` ticks back.
  static constexpr int kMemory = 16;
  const CTankType *Enemy[3] = {};
  TPointF Seen[kMemory][3];
  int32_t SeenCount = 0;
  TPointF Perceived(int enemy) const;
  TPointF PerceivedAt(int enemy, int ticksBack) const;
  int EnemyIndex(const CTankType *tank) const;
  bool IsEnemy(const CTankType *tank) const;
  bool EnemyLive(const CTankType *tank) const;

  bool Started = false;
  int64_t Clock = 0;
  TPointF WallEnds[6][2];
  bool WallsChanged() const;

  CPathPlanner Planner;
  // The route being followed: for which tank and target, planned when.
  const CTankType *PlanTank = nullptr;
  const CTankType *PlanTarget = nullptr;
  TPointF PlanTargetAt;
  int64_t PlannedAt = 0;
  bool ReplanNow = true;
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
  // Driving was refused on the route this many times in a row; then it
  // backs off from the nearest wall: turns to EscapeAngle for at most
  // EscapeTurns ticks, then drives for EscapeDrive ticks.
  int32_t Blocked = 0;
  int32_t EscapeTurns = 0;
  int32_t EscapeDrive = 0;
  double EscapeAngle = 0;
  // A way out of a bullet's path, once chosen, is followed to its end:
  // DodgeTurns ticks of turning towards DodgeTurn, then driving, until
  // DodgeUntil.
  TDrive DodgeTurn = drStand;
  int32_t DodgeTurns = 0;
  int64_t DodgeUntil = 0;

  double FieldWidth() const;
  double FieldHeight() const;
  bool FreeAt(const CTankType *self, TPointF p, double tankMargin) const;
  bool CanDrive(const CTankType *tank) const;
  // Which tank a bullet fired now from `tank` at `angle` would hit first:
  // the target at its foreseen place, or another tank where it stands.
  const CTankType *ShotHits(const CTankType *tank, float angle, TPointF targetAt,
                            TPointF targetStep) const;
  bool InView(const CTankType *from, TPointF to) const;
  TPointF Velocity(int enemy) const;
  double CoolingTicks(const CTankType *tank) const;
  // Ticks until `tank` could fire at an enemy tank: turning and cooling
  // down where one is in view, otherwise a guess at the drive.
  double Prospect(const CTankType *tank) const;

  // The steps of a tick, in the order Decide takes them.
  void Observe(const CTankType *tank);
  TStep Decide(const CTankType *tank, TDrive &drive);
  bool Switching(const CTankType *tank);
  bool Dodge(const CTankType *tank, TDrive &drive, bool &doomed);
  TDrive NextDodgeStep();
  bool ConsiderSwitch(const CTankType *tank, bool doomed);
  void ChooseTarget(const CTankType *tank);
  TDrive BackOff(const CTankType *tank);
  // Its tank's heading once the keys held over its last KeyDelay ticks
  // have acted.
  float AngleAhead(const CTankType *tank) const;
  TDrive Aim(const CTankType *tank);
  TDrive Travel(const CTankType *tank);
  TDrive HeadFor(const CTankType *tank, TPointF point);
  double StandTolerance() const;
  int32_t LeastTurn(bool right) const;
  TDrive Steer(const CTankType *tank, TPointF point);
  void StartBackOff(const CTankType *tank);
};
