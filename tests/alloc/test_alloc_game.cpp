// The battlefield alone allocates nothing: a counting global operator new
// watches a thousand ticks of the endless battle in a fake window, and a
// tick in which two tanks are hit.
#include "tests/alloc/counting_new.h"
#include "tests/alloc/field_battle.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

TEST(AllocGame, TicksOfTheBattlefieldAloneAllocateNothing) {
  battle::FieldBattle game;
  ASSERT_TRUE(game.Start()) << "no clear lanes for the bullets on this field";
  for (int i = 0; i < 10; ++i)
    game.Tick();
  ASSERT_TRUE(game.Intact());
  const float redAngle = Tanks[1][Players[1]->Active]->Angle;
  const TPointF bluePos = Tanks[2][Players[2]->Active]->Pos;
  const int drawn = game.Window.Drawn;
  constexpr int kTicks = 1000;
  const long start = gAllocations;
  for (int i = 0; i < kTicks; ++i)
    game.Tick();
  const long count = gAllocations - start;
  ClearNowOverride();
  // The game ran as intended: nothing hit, everything moved and drew.
  EXPECT_TRUE(game.Intact());
  EXPECT_NE(Tanks[1][Players[1]->Active]->Angle, redAngle);
  const TPointF bluePosAfter = Tanks[2][Players[2]->Active]->Pos;
  EXPECT_TRUE(bluePosAfter.X != bluePos.X || bluePosAfter.Y != bluePos.Y);
  // Each tick draws at least the twenty bullets, erased and drawn again.
  EXPECT_GE(game.Window.Drawn - drawn, 40 * kTicks);
#ifdef ZOFTREL_ASAN
  GTEST_SKIP() << "the address sanitizer replaces operator new";
#endif
  EXPECT_EQ(count, 0) << "allocations in " << kTicks << " ticks";
  std::printf("allocations in %d ticks of the battlefield alone: %ld\n", kTicks, count);
}

TEST(AllocGame, HitsWithScoresOfSeveralDigitsAllocateNothing) {
  battle::FieldBattle game;
  Players[1]->Score = 10;
  Players[2]->Score = 99;
  // One bullet 20 pixels left of each player's first tank, flying right.
  for (int p = 1; p <= 2; ++p) {
    const CTankType *target = Tanks[p][1];
    Balls[p]->Life = 1;
    Balls[p]->Pos = {target->Pos.X - 20, target->Pos.Y};
    Balls[p]->Angle = 0;
  }
  const long start = gAllocations;
  GameTick();
  const long count = gAllocations - start;
  EXPECT_EQ(game.Window.Beeps, 2);
  EXPECT_EQ(game.Window.Captions[1], "Røde points: 11");
  EXPECT_EQ(game.Window.Captions[2], "Blå points: 100");
#ifdef ZOFTREL_ASAN
  GTEST_SKIP() << "the address sanitizer replaces operator new";
#endif
  EXPECT_EQ(count, 0) << "allocations in a tick with two hits";
}

} // namespace
