// Two thousand whole games in a fake window, driven by random key streams,
// with the battlefield's invariants checked after every tick.
#include "tests/game/battlefield_fixture.h"
#include "tests/game/invariants.h"
#include "tests/game/random_play.h"

#include <chrono>
#include <cstdio>

#ifndef ZOFTREL_SOAK_GAMES
#define ZOFTREL_SOAK_GAMES 2000
#endif

namespace {
using Soak = BattlefieldTest;
} // namespace

TEST_F(Soak, WholeGamesWithRandomKeysKeepTheBattlefieldConsistent) {
  // The window on a 640 x 480 screen: the tanks meet sooner and the games
  // are short.
  MakeField(620, 420);
  RandomPlay play(
      12345, [this](uint16_t key) { KeyDown(key); }, [this](uint16_t key) { KeyUp(key); });
  const auto began = std::chrono::steady_clock::now();
  int games = 0;
  long ticks = 0;
  for (int game = 0; game < ZOFTREL_SOAK_GAMES; ++game) {
    SCOPED_TRACE(game);
    StartGame();
    play.NewGame();
    const int beeps = window->Beeps;
    const int gameOvers = window->GameOvers;
    const int score = Players[1]->Score + Players[2]->Score;
    bool over = false;
    for (int t = 0; t < 200000 && !over; ++t) {
      Advance(0.05 / 86400);
      play.BeforeTick(t);
      Tick();
      ++ticks;
      over = !window->Running;
      // Rows unchecked: on this small field tanks may start in the status
      // bars' strip.
      ASSERT_EQ(BattlefieldFault(window->Beeps - beeps,
                                 Players[1]->Score + Players[2]->Score - score, over, false),
                "")
          << "after tick " << t;
    }
    ASSERT_TRUE(over) << "the game did not end: scores " << Players[1]->Score << " "
                      << Players[2]->Score << " live " << Players[1]->TankCount << " "
                      << Players[2]->TankCount;
    ASSERT_GE(window->GameOvers, gameOvers + 1);
    ++games;
    // Keys after the game: presses are ignored, releases still count.
    play.EveryKey();
    ResetGame(); // New game
    ASSERT_EQ(NewGameFault(), "");
    // The engines stopped with the new game, whatever keys were held.
    for (int s = 1; s <= 4; ++s)
      ASSERT_FALSE(window->Sounds[s].Playing) << "engine sound " << s;
  }
  EXPECT_EQ(games, ZOFTREL_SOAK_GAMES);
  EXPECT_TRUE(window->PaddingIntact());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  std::printf("%d games, %ld ticks in %.1f s\n", games, ticks, seconds);
}
