// The computer player allocates nothing once a game has started: a
// counting global operator new watches its ticks in whole games, computer
// against computer at every level, on the battlefield without a window.
#include "tests/alloc/counting_new.h"
#include "tests/game/headless.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

TEST(AllocComputer, WholeGamesOfTheComputerAllocateNothing) {
  headless::Field field;
  headless::Keys redKeys(&field, 1), blueKeys(&field, 2);
  long count = 0, ticks = 0;
  for (int level = lvEasy; level <= lvHard; ++level) {
    CComputerPlayer red(1, TComputerLevel(level), 1, &redKeys);
    CComputerPlayer blue(2, TComputerLevel(level), 2, &blueKeys);
    for (uint32_t game = 0; game < 3; ++game) {
      SetRandSeed(700 + game);
      ResetGame();
      field.Start();
      red.NewGame();
      blue.NewGame();
      for (int t = 0; t < 6000 && field.Running; ++t, ++ticks) {
        // The game's own work (a score caption, say) is not the computer's.
        field.Tick();
        if (field.Running) {
          const long start = gAllocations;
          red.Tick();
          blue.Tick();
          count += gAllocations - start;
        }
      }
      EXPECT_FALSE(field.Running) << "level " << level << " game " << game;
      field.Running = false;
      red.ReleaseAll();
      blue.ReleaseAll();
    }
  }
#ifdef ZOFTREL_ASAN
  GTEST_SKIP() << "the address sanitizer replaces operator new";
#endif
  EXPECT_EQ(count, 0) << "allocations in " << ticks << " ticks";
  std::printf("allocations in %ld ticks of computer against computer: %ld\n", ticks, count);
}

} // namespace
