// Bullets and shooting in a fake window: firing, flight, range, hits,
// scoring, walls and the cooldown.
#include "tests/game/battlefield_fixture.h"

#include <cmath>

namespace {
using Bullets = BattlefieldTest;
} // namespace

TEST_F(Bullets, AShotLeavesTheBarrelTipAndNeverHitsItsOwnTank) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  CTankType *t = Tanks[1][2];
  Put(t, 300, 300, 0);
  Advance(2 * kCooldown);
  KeyDown(kRedShoot);
  CBall *b = Balls[1];
  ASSERT_EQ(b->Life, 1);
  EXPECT_EQ(b->Pos.X, 312);
  EXPECT_EQ(b->Pos.Y, 300);
  EXPECT_EQ(b->Angle, t->Angle);
  EXPECT_TRUE(Sound(sndShotRed).Playing);
  EXPECT_EQ(Count({315, 297, 323, 304}, kBlack), 0); // not drawn yet
  Tick();
  EXPECT_EQ(b->Life, 2);
  EXPECT_DOUBLE_EQ(b->Pos.X, 322);
  EXPECT_EQ(Pixel(322, 300), kBlack);
  EXPECT_EQ(Players[1]->TankCount, 3);
  Tick();
  EXPECT_EQ(Pixel(322, 300), kOlive); // erased as it moves on
  EXPECT_EQ(Pixel(332, 300), kBlack);
}

TEST_F(Bullets, ReachIsUnderThirteenPixelsFromATanksCentre) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  CTankType *target = Tanks[2][1];
  Put(target, 500, 300);
  CBall *b = Launch(500 - 23, 300, 0); // the step ends 13 from the centre
  Tick();
  EXPECT_EQ(Players[2]->TankCount, 3);
  EXPECT_EQ(b->Life, 2);
  b->Pos = {500 - 22.9, 300}; // the step ends 12.9 from the centre
  Tick();
  EXPECT_EQ(b->Life, 0);
  EXPECT_EQ(Players[2]->TankCount, 2);
  EXPECT_EQ(window->Beeps, 1);
  EXPECT_EQ(target->Motion, msDead);
  EXPECT_EQ(Players[1]->Score, 1);
  EXPECT_EQ(window->Captions[1], "Røde points: 1");
  EXPECT_EQ(window->Captions[2], ""); // blue's caption stays as it was
  EXPECT_TRUE(window->Star.Visible);
  EXPECT_TRUE(window->Bird.Visible);
  EXPECT_TRUE(Sound(sndImpact).Playing);
  EXPECT_TRUE(Sound(sndTankDestroyed).Playing);
}

TEST_F(Bullets, ARedTankHitScoresForBlueWhoeverFired) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  Put(Tanks[1][3], 400, 300);
  // A red bullet destroys a red tank: the point goes to blue.
  Launch(380, 300, 0);
  Tick();
  EXPECT_EQ(Players[2]->Score, 1);
  EXPECT_EQ(Players[1]->Score, 0);
  EXPECT_EQ(window->Captions[2], "Blå points: 1");
  EXPECT_EQ(window->Captions[1], "");
  // Scores count on through the tens.
  Players[2]->Score = 9;
  Put(Tanks[1][1], 400, 300);
  Launch(380, 300, 0);
  Tick();
  EXPECT_EQ(window->Captions[2], "Blå points: 10");
}

TEST_F(Bullets, ABulletFliesItsRangeAndMarksWhereItStops) {
  // The windows on 1280- and 1024-pixel screens.
  for (int W : {1020, 1004}) {
    SCOPED_TRACE(W);
    MakeField(W, 720);
    StartGame();
    ClearWalls();
    SpreadTanks();
    const int range = W == 1020 ? 73 : 72;
    ASSERT_EQ(BallRange, range);
    CBall *b = Launch(20, 100, 0);
    int ticks = 0;
    while (b->Life != 0 && ticks < 200) {
      Tick();
      ++ticks;
    }
    EXPECT_EQ(ticks, range);
    // The last step is taken, drawn and erased again by the stop.
    EXPECT_DOUBLE_EQ(b->Pos.X, 20 + 10.0 * range);
    EXPECT_EQ(Pixel(b->Pos.X, 100), kOlive);
    EXPECT_TRUE(window->Star.Visible);
    EXPECT_EQ(window->Star.At.X, 20 + 10.0 * range);
    EXPECT_EQ(window->Star.At.Y, 100);
    EXPECT_TRUE(Sound(sndImpact).Playing);
  }
}

TEST_F(Bullets, ABulletThatLeavesTheWindowStopsSilently) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  CBall *b = Launch(40, 200, float(M_PI)); // heading out to the left
  Tick(73);
  EXPECT_EQ(b->Life, 0);
  EXPECT_LT(b->Pos.X, 0);
  EXPECT_FALSE(window->Star.Visible);
  EXPECT_FALSE(Sound(sndImpact).Playing);
  EXPECT_TRUE(window->PaddingIntact());
}

TEST_F(Bullets, DestroyedTanksCannotBeHitAndOneBulletDestroysOneTank) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  // A destroyed tank lies outside the live slots.
  CTankType *gone = Tanks[2][3];
  Put(gone, 500, 300);
  gone->TakeHit();
  ASSERT_EQ(Tanks[2][3], gone);
  CBall *b = Launch(480, 300, 0);
  Tick();
  EXPECT_EQ(b->Life, 2);
  EXPECT_EQ(Players[1]->Score, 0);
  b->Life = 0;

  // Two tanks in reach of one step: red slots come first, then blue.
  Put(Tanks[1][2], 600, 395);
  Put(Tanks[2][1], 600, 416);
  Launch(590, 405, 0);
  Tick();
  EXPECT_EQ(Players[1]->TankCount, 2);
  EXPECT_EQ(Players[2]->TankCount, 2);
  EXPECT_EQ(Players[2]->Score, 1);
}

TEST_F(Bullets, WallsStopBulletsAndStayFullyDrawn) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  Lines[1]->SetEnds({100, 200}, {300, 200});
  Lines[1]->Draw(false);
  const TRect around{90, 190, 310, 210};
  const int wallPixels = Count(around, kWallGrey);
  CBall *b = Launch(150, 185, float(M_PI / 2)); // straight down
  Tick();                                       // to 195: 5 from the line
  EXPECT_EQ(b->Life, 2);
  Tick(); // 195 -> 205 crosses the line
  EXPECT_EQ(b->Life, 0);
  EXPECT_EQ(b->Pos.Y, 195);
  EXPECT_EQ(Count(around, kWallGrey), wallPixels);
  EXPECT_EQ(Count({140, 185, 160, 215}, kBlack), 0);
  EXPECT_TRUE(window->Star.Visible);

  // A tank within reach behind the wall is hit all the same.
  Put(Tanks[2][1], 250, 215);
  Launch(250, 185, float(M_PI / 2));
  Tick(2); // the second step crosses the wall and ends 10 from the tank
  EXPECT_EQ(Players[2]->TankCount, 2);
  EXPECT_EQ(Players[1]->Score, 1);
}

TEST_F(Bullets, TheCooldownIsOnePointTwoSecondsFromPlacementAndBetweenShots) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  CTankType *t = Tanks[1][2];
  Advance(1.39e-5); // 1.201 s after placement
  KeyDown(kRedShoot);
  EXPECT_EQ(Balls[1]->Life, 0);
  EXPECT_FALSE(Sound(sndShotRed).Playing);
  Advance(0.02e-5); // 1.218 s
  KeyDown(kRedShoot);
  EXPECT_EQ(Balls[1]->Life, 1);
  EXPECT_TRUE(Sound(sndShotRed).Playing);
  EXPECT_EQ(t->LastShot, Clock);
  // Auto-repeat of the held key fires again once the cooldown is over.
  Advance(1.39e-5);
  KeyDown(kRedShoot);
  EXPECT_EQ(Balls[2]->Life, 0);
  Advance(0.02e-5);
  KeyDown(kRedShoot);
  EXPECT_EQ(Balls[2]->Life, 1);
  // Every shot sound starts from its beginning.
  EXPECT_EQ(Sound(sndShotRed).Restarts, 2);
  Advance(2 * kCooldown);
  KeyDown(kRedShoot);
  EXPECT_EQ(Sound(sndShotRed).Restarts, 3);
}

TEST_F(Bullets, TheCooldownClockDoesNotWrapAtMidnight) {
  StartGame();
  // Nearly a day of play later, and then past any time of day's wrap.
  for (double later : {0.9999, 1.5, 3.0}) {
    Clock = 100 + later;
    SetNowOverride(Clock);
    const int before = Balls[1]->Life + Balls[2]->Life + Balls[3]->Life;
    KeyDown(kBlueShoot);
    EXPECT_EQ(Balls[1]->Life + Balls[2]->Life + Balls[3]->Life, before + 1) << later;
  }
}

TEST_F(Bullets, AShotWithEveryBulletInFlightFiresNothing) {
  StartGame();
  for (int i = 1; i <= BallCount; ++i)
    Launch(-500, -500, 0);
  Advance(2 * kCooldown);
  KeyDown(kRedShoot);
  for (int i = 1; i <= BallCount; ++i)
    EXPECT_EQ(Balls[i]->Life, 1);
  EXPECT_TRUE(Sound(sndShotRed).Playing);
  EXPECT_EQ(Tanks[1][2]->LastShot, Clock);
  EXPECT_EQ(Balls[BallCount + 1], nullptr);
}

TEST_F(Bullets, TwoBulletsOnTheLastTankInOneTickBothScore) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  CTankType *last = TwoBulletsAtBluesLastTank();
  ASSERT_EQ(Players[2]->TankCount, 1);
  // A third bullet, of higher index, flies on after the game is over.
  CBall *third = Launch(200, 100, 0);
  Tick();
  EXPECT_EQ(Players[1]->Score, 2);
  EXPECT_EQ(window->Captions[1], "Røde points: 2");
  EXPECT_EQ(Players[2]->TankCount, 1);
  EXPECT_EQ(last->Motion, msDead); // the second hit leaves it dead
  EXPECT_EQ(third->Life, 2);
  EXPECT_EQ(window->GameOvers, 2);
}
