// The fleets, the bullets and the scores as they must be between ticks,
// whichever window the game is played in.
#pragma once

#include "game/battlefield.h"
#include "game/gamewindow.h"

#include <string>

// What is wrong with the battlefield, or an empty text when nothing is.
// `hits` and `scored` are the beeps and the points since the game started;
// `over` tells whether it has ended. Tanks start in rows spread over the
// window's outer height, so in a window under about 500 pixels high the
// lowest may start in the status bars' strip: `rows` false leaves out the
// check that tanks keep out of it.
inline std::string BattlefieldFault(int hits, int scored, bool over, bool rows = true) {
  auto at = [](int p, int s, const char *what) {
    return "player " + std::to_string(p) + " slot " + std::to_string(s) + ": " + what;
  };
  int removed = 0;
  for (int p = 1; p <= 2; ++p) {
    const CPlayer *player = Players[p];
    if (player->TankCount < 1 || player->TankCount > 3)
      return "player " + std::to_string(p) + " has " + std::to_string(player->TankCount) + " tanks";
    if (player->Active < 1 || player->Active > player->TankCount)
      return "player " + std::to_string(p) + " has tank " + std::to_string(player->Active) +
             " active";
    removed += 3 - player->TankCount;
    for (int s = 1; s <= 3; ++s) {
      const CTankType *t = Tanks[p][s];
      if (t->Slot != s || t->Player != p)
        return at(p, s, "holds another's tank");
      for (int other = s + 1; other <= 3; ++other)
        if (Tanks[p][other] == t)
          return at(p, s, "its tank is in another slot too");
      const bool live = s <= player->TankCount;
      const bool dead = t->Destroyed();
      // The last tank stays live when the game ends with it dead.
      if (live && dead && !(over && player->TankCount == 1))
        return at(p, s, "a live slot holds a dead tank");
      if (!live && !dead)
        return at(p, s, "a tank beyond the live ones is not dead");
      if (live && !dead && s != player->Active && t->Motion != msNone)
        return at(p, s, "an inactive tank moves");
      const int bottom = GameWindow->ClientHeight() - GameWindow->StatusBarHeight() - 10;
      if (live && !dead &&
          (t->Pos.X < 10 || t->Pos.X > GameWindow->ClientWidth() - 10 ||
           (rows && (t->Pos.Y < 10 || t->Pos.Y > bottom))))
        return at(p, s, "the tank is off the field");
    }
  }
  for (int i = 1; i <= BallCount; ++i)
    if (Balls[i]->Life < 0 || Balls[i]->Life > BallRange)
      return "bullet " + std::to_string(i) + " has life " + std::to_string(Balls[i]->Life);
  // Every hit scores one point; a hit destroys a tank, or hits the last
  // one and ends the game.
  if (scored != hits)
    return std::to_string(hits) + " hits scored " + std::to_string(scored);
  if (over ? hits <= removed : hits != removed)
    return std::to_string(hits) + " hits removed " + std::to_string(removed) + " tanks";
  return {};
}

// What is wrong with the battlefield after New game, which must leave
// every fleet whole and steady and no bullet in flight; or an empty text.
inline std::string NewGameFault() {
  for (int p = 1; p <= 2; ++p) {
    if (Players[p]->TankCount != 3 || Players[p]->Active != 2)
      return "player " + std::to_string(p) + " has " + std::to_string(Players[p]->TankCount) +
             " tanks, tank " + std::to_string(Players[p]->Active) + " active";
    for (int s = 1; s <= 3; ++s)
      if (Tanks[p][s]->Motion != msNone)
        return "player " + std::to_string(p) + " slot " + std::to_string(s) + " moves";
  }
  for (int i = 1; i <= BallCount; ++i)
    if (Balls[i]->Life != 0)
      return "bullet " + std::to_string(i) + " flies";
  return {};
}
