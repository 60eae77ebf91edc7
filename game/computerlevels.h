// The computer's levels: their names and their row of the level table,
// the figures that set one way of playing apart from another.
#pragma once

#include <cstdint>
#include <string_view>

enum TComputerLevel : int32_t { lvEasy, lvNormal, lvHard };

// Reads "easy", "normal" or "hard"; says whether the text named a level.
bool ParseComputerLevel(std::string_view text, TComputerLevel &level);
const char *ComputerLevelName(TComputerLevel level);

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
