// A hundred whole games on the real main window, driven by random key
// streams, with the battlefield's invariants checked after every tick. The
// battlefield alone plays thousands more in tests/game.
#include "game_fixture.h"
#include "tests/game/invariants.h"
#include "tests/game/random_play.h"

#include <cstdio>

#ifndef ZOFTREL_SOAK_GAMES
#define ZOFTREL_SOAK_GAMES 100
#endif

namespace {
using Soak = GameTest;
} // namespace

TEST_F(Soak, WholeGamesWithRandomKeysKeepTheBattlefieldConsistent) {
  // A small screen: the tanks meet sooner and the games are short.
  MakeForm(640, 480);
  RandomPlay play(
      12345, [this](uint16_t key) { KeyDown(key); }, [this](uint16_t key) { KeyUp(key); });
  Application.MessageHook = [](const QString &, const QString &, TMsgDlgType) {
    return QMessageBox::No;
  };
  int games = 0, ticks = 0;
  for (int game = 0; game < ZOFTREL_SOAK_GAMES; ++game) {
    SCOPED_TRACE(game);
    StartGame();
    play.NewGame();
    const int beeps = Application.Beeps;
    const int score = Players[1]->Score + Players[2]->Score;
    bool over = false;
    for (int t = 0; t < 200000 && !over; ++t) {
      Advance(0.05 / 86400);
      play.BeforeTick(t);
      if (play.Chance(0.001))
        form->btnExit->click(); // answered No
      if (play.Chance(0.002)) {
        form->Invalidate();
        form->Update();
      }
      form->Timer1Timer();
      ++ticks;
      over = !form->btnStart->isHidden();
      // Rows unchecked: on this small field tanks may start in the status
      // bars' strip.
      ASSERT_EQ(BattlefieldFault(Application.Beeps - beeps,
                                 Players[1]->Score + Players[2]->Score - score, over, false),
                "")
          << "after tick " << t;
    }
    ASSERT_TRUE(over) << "the game did not end: scores " << Players[1]->Score << " "
                      << Players[2]->Score << " live " << Players[1]->TankCount << " "
                      << Players[2]->TankCount << " beeps " << Application.Beeps;
    EXPECT_FALSE(form->Timer1->Enabled());
    ++games;
    // Keys after the game: presses are ignored, releases still count.
    play.EveryKey();
    if (play.Chance(0.2))
      form->btnExit->click();
    form->btnStart->click(); // New game
    ASSERT_EQ(form->btnStart->Caption(), "Start game");
    ASSERT_EQ(NewGameFault(), "");
  }
  EXPECT_EQ(games, ZOFTREL_SOAK_GAMES);
  std::printf("%d games, %d ticks\n", games, ticks);
}
