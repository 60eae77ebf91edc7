// Two thousand whole games in a fake window, driven by random key streams,
// with the battlefield's invariants checked after every tick.
#include "tests/game/battlefield_fixture.h"

#include <chrono>
#include <cstdio>
#include <random>

#ifndef ZOFTREL_SOAK_GAMES
#define ZOFTREL_SOAK_GAMES 2000
#endif

namespace {

class Soak : public BattlefieldTest {
protected:
  // The fleets, the bullets and the scores as they must be between ticks.
  void CheckInvariants(int hitsThisGame, int scoreThisGame, bool over) {
    int removed = 0;
    for (int p = 1; p <= 2; ++p) {
      const CPlayer *player = Players[p];
      ASSERT_GE(player->TankCount, 1);
      ASSERT_LE(player->TankCount, 3);
      ASSERT_GE(player->Active, 1);
      ASSERT_LE(player->Active, player->TankCount);
      removed += 3 - player->TankCount;
      for (int s = 1; s <= 3; ++s) {
        const CTankType *t = Tanks[p][s];
        ASSERT_EQ(t->Slot, s);
        ASSERT_EQ(t->Player, p);
        for (int other = s + 1; other <= 3; ++other)
          ASSERT_NE(Tanks[p][other], t);
        const bool live = s <= player->TankCount;
        const bool dead = t->Motion < msDead + 500;
        if (live && !(over && player->TankCount == 1)) {
          ASSERT_FALSE(dead) << "player " << p << " slot " << s;
        }
        if (!live) {
          ASSERT_TRUE(dead) << "player " << p << " slot " << s;
        }
        if (live && !dead && s != player->Active) {
          ASSERT_EQ(t->Motion, msNone) << "player " << p << " slot " << s;
        }
        if (live && !dead) {
          ASSERT_GE(t->Pos.X, 10);
          ASSERT_LE(t->Pos.X, window->ClientWidth() - 10);
        }
      }
    }
    for (int i = 1; i <= BallCount; ++i) {
      ASSERT_GE(Balls[i]->Life, 0);
      ASSERT_LE(Balls[i]->Life, BallRange);
    }
    // Every hit scores one point; a hit destroys a tank, or hits the last
    // one and ends the game.
    ASSERT_EQ(scoreThisGame, hitsThisGame);
    if (over)
      ASSERT_GT(hitsThisGame, removed);
    else
      ASSERT_EQ(hitsThisGame, removed);
  }
};

} // namespace

TEST_F(Soak, WholeGamesWithRandomKeysKeepTheBattlefieldConsistent) {
  // The window on a 640 x 480 screen: the tanks meet sooner and the games
  // are short.
  MakeField(620, 420);
  std::mt19937 rng(12345);
  auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(rng) < p; };
  const uint16_t keys[2][4] = {{kRedRight, kRedLeft, kRedShoot, kRedSwitch},
                               {kBlueRight, kBlueLeft, kBlueShoot, kBlueSwitch}};
  const auto began = std::chrono::steady_clock::now();
  int games = 0;
  long ticks = 0;
  for (int game = 0; game < ZOFTREL_SOAK_GAMES; ++game) {
    SCOPED_TRACE(game);
    StartGame();
    const int beeps = window->Beeps;
    const int gameOvers = window->GameOvers;
    const int score = Players[1]->Score + Players[2]->Score;
    bool held[2][4] = {};
    bool over = false;
    for (int t = 0; t < 200000 && !over; ++t) {
      // Walls can shut a tank in: now and then a bullet comes its way.
      if (t % 5000 == 4999) {
        const int p = std::uniform_int_distribution<>(1, 2)(rng);
        const CTankType *target = Tanks[p][1];
        Launch(target->Pos.X - 20, target->Pos.Y, 0);
      }
      Advance(0.05 / 86400);
      for (int n = std::uniform_int_distribution<>(0, 2)(rng); n > 0; --n) {
        const int p = std::uniform_int_distribution<>(0, 1)(rng);
        const int k = std::uniform_int_distribution<>(0, 3)(rng);
        if (k == 2) {
          KeyDown(keys[p][k]); // shots come often, held or not
        } else if (k == 3) {
          if (chance(0.1))
            KeyDown(keys[p][k]);
        } else if (!held[p][k]) {
          KeyDown(keys[p][k]);
          held[p][k] = true;
        } else if (chance(0.3)) {
          KeyDown(keys[p][k]); // auto-repeat
        } else {
          KeyUp(keys[p][k]);
          held[p][k] = false;
        }
        if (chance(0.01))
          KeyUp(keys[p][k]); // a release whose press was not seen
      }
      Tick();
      ++ticks;
      over = !window->Running;
      ASSERT_NO_FATAL_FAILURE(CheckInvariants(window->Beeps - beeps,
                                              Players[1]->Score + Players[2]->Score - score, over));
    }
    ASSERT_TRUE(over) << "the game did not end: scores " << Players[1]->Score << " "
                      << Players[2]->Score << " live " << Players[1]->TankCount << " "
                      << Players[2]->TankCount;
    ASSERT_GE(window->GameOvers, gameOvers + 1);
    ++games;
    // Keys after the game: presses are ignored, releases still count.
    for (int p = 0; p < 2; ++p)
      for (int k = 0; k < 4; ++k) {
        KeyDown(keys[p][k]);
        KeyUp(keys[p][k]);
      }
    ResetGame(); // New game
    for (int p = 1; p <= 2; ++p) {
      ASSERT_EQ(Players[p]->TankCount, 3);
      ASSERT_EQ(Players[p]->Active, 2);
      for (int s = 1; s <= 3; ++s)
        ASSERT_EQ(Tanks[p][s]->Motion, msNone);
    }
    for (int i = 1; i <= BallCount; ++i)
      ASSERT_EQ(Balls[i]->Life, 0);
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
