#include "game/computerlevels.h"

#include <algorithm>

namespace {

// The levels. The person models these were set against (see 5 ticks late,
// change the turn keys at most every 2 ticks, tap at most every 3) win
// 60–80 % against easy and 20–40 % against normal (a beginner: no lead,
// no dodging), 40–60 % against normal and 15–35 % against hard (a skilled
// player: leads, dodges by driving on). Normal sits halfway between the
// others: hard beats it as often as it beats easy. It dodges only by
// driving on; what brings it up to hard is planning its routes nearly as
// often as hard, looking at its other tanks as often, and a finer aim.
constexpr TComputerFigures kLevels[lvHard + 1] = {
    // reaction, aim error, leads, dodging, replan, switch look, switch
    // margin, turn key gap, tap gap, reverse gap, reverse every, shot pause
    {10, 0.045, false, dgNever, 60, 40, 40, 3, 6, 4, 12, 6},      // easy
    {5, 0.020, true, dgDriveOn, 15, 10, 10, 2, 3, 3, 10, 2},      // normal
    {5, 0.022, true, dgTurnAndDrive, 12, 10, 10, 2, 3, 3, 10, 2}, // hard
};

} // namespace

bool ParseComputerLevel(std::string_view text, TComputerLevel &level) {
  if (text == "easy")
    level = lvEasy;
  else if (text == "normal")
    level = lvNormal;
  else if (text == "hard")
    level = lvHard;
  else
    return false;
  return true;
}

const char *ComputerLevelName(TComputerLevel level) {
  switch (level) {
  case lvEasy:
    return "easy";
  case lvNormal:
    return "normal";
  case lvHard:
    return "hard";
  }
  return "";
}

const TComputerFigures &ComputerLevelFigures(TComputerLevel level) {
  return kLevels[std::clamp<int>(level, lvEasy, lvHard)];
}
