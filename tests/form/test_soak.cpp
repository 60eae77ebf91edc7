// A hundred whole games on the real main window, driven by random key
// streams, with the battlefield's invariants checked after every tick. The
// battlefield alone plays thousands more in tests/game.
#include "game_fixture.h"

#include <random>

#ifndef ZOFTREL_SOAK_GAMES
#define ZOFTREL_SOAK_GAMES 100
#endif

namespace {

class Soak : public GameTest {
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
          ASSERT_LE(t->Pos.X, form->ClientWidth() - 10);
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
  // A small screen: the tanks meet sooner and the games are short.
  MakeForm(640, 480);
  std::mt19937 rng(12345);
  auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(rng) < p; };
  const uint16_t keys[2][4] = {{kRedRight, kRedLeft, kRedShoot, kRedSwitch},
                               {kBlueRight, kBlueLeft, kBlueShoot, kBlueSwitch}};
  Application.MessageHook = [](const QString &, const QString &, TMsgDlgType) {
    return QMessageBox::No;
  };
  int games = 0, ticks = 0;
  for (int game = 0; game < ZOFTREL_SOAK_GAMES; ++game) {
    SCOPED_TRACE(game);
    StartGame();
    const int beeps = Application.Beeps;
    const int score = Players[1]->Score + Players[2]->Score;
    bool held[2][4] = {};
    bool over = false;
    for (int t = 0; t < 200000 && !over; ++t) {
      // Walls can shut a tank in: now and then a bullet comes its way.
      if (t % 5000 == 4999) {
        const int p = std::uniform_int_distribution<>(1, 2)(rng);
        const CTankType *target = Tanks[p][1];
        for (int i = 1; i <= BallCount; ++i) {
          if (Balls[i]->Life == 0) {
            Balls[i]->Life = 1;
            Balls[i]->Pos = {target->Pos.X - 20, target->Pos.Y};
            Balls[i]->Angle = 0;
            break;
          }
        }
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
      if (chance(0.001))
        form->btnExit->click(); // answered No
      if (chance(0.002)) {
        form->Invalidate();
        form->Update();
      }
      form->Timer1Timer();
      ++ticks;
      over = !form->btnStart->isHidden();
      ASSERT_NO_FATAL_FAILURE(CheckInvariants(Application.Beeps - beeps,
                                              Players[1]->Score + Players[2]->Score - score, over));
    }
    ASSERT_TRUE(over) << "the game did not end: scores " << Players[1]->Score << " "
                      << Players[2]->Score << " live " << Players[1]->TankCount << " "
                      << Players[2]->TankCount << " beeps " << Application.Beeps;
    EXPECT_FALSE(form->Timer1->Enabled());
    ++games;
    // Keys after the game: presses are ignored, releases still count.
    for (int p = 0; p < 2; ++p)
      for (int k = 0; k < 4; ++k) {
        KeyDown(keys[p][k]);
        KeyUp(keys[p][k]);
      }
    if (chance(0.2))
      form->btnExit->click();
    form->btnStart->click(); // New game
    ASSERT_EQ(form->btnStart->Caption(), "Start game");
    for (int p = 1; p <= 2; ++p) {
      ASSERT_EQ(Players[p]->TankCount, 3);
      ASSERT_EQ(Players[p]->Active, 2);
      for (int s = 1; s <= 3; ++s)
        ASSERT_EQ(Tanks[p][s]->Motion, msNone);
    }
    for (int i = 1; i <= BallCount; ++i)
      ASSERT_EQ(Balls[i]->Life, 0);
  }
  EXPECT_EQ(games, ZOFTREL_SOAK_GAMES);
  std::printf("%d games, %d ticks\n", games, ticks);
}
