// The battlefield in a fake window: placement, the motion states, turning,
// driving, blocking, destruction, switching and the game reset.
#include "tests/game/battlefield_fixture.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using Battlefield = BattlefieldTest;

// Which engine loop of the red player's tanks plays: 0 none, 1 driving,
// 2 turning.
int RedLoopPlaying(const FakeWindow::Sound &drive, const FakeWindow::Sound &turn) {
  EXPECT_FALSE(drive.Playing && turn.Playing);
  if (drive.Playing) {
    EXPECT_TRUE(drive.Looping);
    return 1;
  }
  if (turn.Playing) {
    EXPECT_TRUE(turn.Looping);
    return 2;
  }
  return 0;
}

} // namespace

TEST_F(Battlefield, StartUpCreatesTheObjectsAndDrawsSixTanksNoneHighlighted) {
  const int W = 1020, H = 720;
  for (int p = 1; p <= 2; ++p) {
    SCOPED_TRACE(p);
    const CPlayer *player = Players[p];
    EXPECT_EQ(player->Number, p);
    EXPECT_EQ(player->Active, 2);
    EXPECT_EQ(player->TankCount, 3);
    EXPECT_EQ(player->Score, 0);
    for (int s = 1; s <= 3; ++s) {
      const CTankType *t = Tanks[p][s];
      EXPECT_EQ(t->Slot, s);
      EXPECT_EQ(t->Player, p);
      EXPECT_EQ(t->Radius, 10);
      EXPECT_EQ(t->Motion, msNone);
      EXPECT_EQ(t->LoopSound, 0);
      EXPECT_EQ(t->LastShot, Clock);
      EXPECT_EQ(t->Pos.X, p == 1 ? 75 : W - 75);
      const int base = Round((s - 1) * H / 3.0 + 30);
      EXPECT_GE(t->Pos.Y, base);
      EXPECT_LE(t->Pos.Y, base + 91);
      EXPECT_EQ(t->Angle, std::floor(t->Angle));
      EXPECT_EQ(t->DriveSound, p == 1 ? 1 : 4);
      EXPECT_EQ(t->TurnSound, p == 1 ? 2 : 3);
      EXPECT_EQ(t->ShotSound, p == 1 ? sndShotRed : sndShotBlue);
      EXPECT_GT(Count(Around(t->Pos, 11), p == 1 ? kRed : kBlue), 150);
    }
  }
  EXPECT_EQ(Players[1]->KeyRight, kRedRight);
  EXPECT_EQ(Players[1]->KeyLeft, kRedLeft);
  EXPECT_EQ(Players[1]->KeyShoot, kRedShoot);
  EXPECT_EQ(Players[1]->KeySwitch, kRedSwitch);
  EXPECT_EQ(Players[2]->KeyRight, kBlueRight);
  EXPECT_EQ(Players[2]->KeyLeft, kBlueLeft);
  EXPECT_EQ(Players[2]->KeyShoot, kBlueShoot);
  EXPECT_EQ(Players[2]->KeySwitch, kBlueSwitch);
  EXPECT_EQ(Players[1]->Colour, 255u);
  EXPECT_EQ(Players[1]->ActiveColour, 0xFF00FFu);
  EXPECT_EQ(Players[2]->Colour, 0xFF0000u);
  EXPECT_EQ(Players[2]->ActiveColour, 0xFFFF00u);
  for (int i = 1; i <= 20; ++i)
    EXPECT_EQ(Balls[i]->Life, 0);
  EXPECT_EQ(Balls[21], nullptr);
  for (int w = 1; w <= 6; ++w)
    EXPECT_EQ(Lines[w]->Length, 0);
  EXPECT_EQ(window->CountAll(kMagenta), 0);
  EXPECT_EQ(window->CountAll(kAqua), 0);
  EXPECT_EQ(window->CountAll(kWallGrey), 0);
  // Six tanks, nothing else: no sound, marker, caption or game over.
  for (const FakeWindow::Sound &s : window->Sounds)
    EXPECT_EQ(s.Starts, 0);
  EXPECT_FALSE(window->Star.Visible || window->Bird.Visible);
  EXPECT_EQ(window->Captions[1] + window->Captions[2], "");
  EXPECT_EQ(window->GameOvers, 0);
}

TEST_F(Battlefield, PlaceTanksDrawsTwoNumbersPerTankTheAngleFirst) {
  const uint32_t seed = 777;
  SetRandSeed(seed);
  int angles[7], ys[7];
  for (int k = 0; k < 6; ++k) {
    angles[k] = Random(92);
    ys[k] = Random(92);
  }
  SetRandSeed(seed);
  ResetGame();
  for (int k = 0; k < 6; ++k) {
    const CTankType *t = Tanks[k / 3 + 1][k % 3 + 1];
    EXPECT_EQ(t->Angle, static_cast<float>(angles[k]));
    EXPECT_EQ(t->Pos.Y, Round((k % 3) * 720 / 3.0 + 30) + ys[k]);
  }
}

TEST_F(Battlefield, AResetMovesTheTanksWithoutTrace) {
  // A reset erases the tanks where they stood: only three red tanks'
  // worth of red is left, all of it at the new places.
  ResetGame();
  const int total = window->CountAll(kRed);
  int atTanks = 0;
  for (int s = 1; s <= 3; ++s) {
    EXPECT_GT(Count(Around(Tanks[1][s]->Pos, 11), kRed), 150);
    atTanks += Count(Around(Tanks[1][s]->Pos, 11), kRed);
  }
  EXPECT_EQ(total, atTanks);
}

TEST_F(Battlefield, ATankOrAWallDrawnThenErasedLeavesNoTrace) {
  StartGame();
  ClearWalls();
  const std::vector<uint32_t> clean = window->Snapshot();
  CTankType *t = Tanks[1][1];
  const TPointF home = t->Pos;
  const float heading = t->Angle;
  Put(t, 400, 300, 0.7f);
  t->Draw(false, true);
  EXPECT_FALSE(*window == clean);
  t->Draw(true, true);
  Put(t, home.X, home.Y, heading);
  CLine wall;
  wall.SetEnds({213.5, 190}, {460, 404.5});
  wall.Draw(false);
  EXPECT_GT(window->CountAll(kWallGrey), 1000);
  wall.Draw(true);
  // Erasing a tank drew it in olive where it stood, which left the old
  // place clean, and drawing it back restored what was there.
  const std::vector<uint32_t> now = window->Snapshot();
  int diff = 0;
  for (size_t i = 0; i < now.size(); ++i)
    diff += now[i] != clean[i];
  EXPECT_EQ(diff, 0);
}

TEST_F(Battlefield, TheMotionStateTableAndItsEngineLoops) {
  CTankType *t = Tanks[1][2];
  const FakeWindow::Sound &drive = Sound(1), &turn = Sound(2);
  struct Start {
    const char *name;
    std::vector<int> keys;
    int32_t motion;
  };
  const Start starts[] = {{"none", {}, msNone},
                          {"stop", {msRight, -msRight}, msStop},
                          {"right", {msRight}, msRight},
                          {"left", {msLeft}, msLeft},
                          {"forward", {msRight, msLeft}, msForward},
                          {"-2", {-msRight}, -2},
                          {"-4", {-msLeft}, -4}};
  const int deltas[] = {+msRight, +msLeft, -msRight, -msLeft};
  // Rows: the start states above; columns: press right, press left,
  // release right, release left.
  const int32_t expected[][4] = {{msRight, msLeft, -2, -4},
                                 {msRight, msLeft, -2, -4},
                                 {msRight, msForward, msStop, -2},
                                 {msForward, msLeft, msRight, msStop},
                                 {msForward, msForward, msLeft, msRight},
                                 {msStop, msRight, -2, -6},
                                 {-2, msStop, -6, -4}};
  for (size_t i = 0; i < std::size(starts); ++i) {
    for (int d = 0; d < 4; ++d) {
      SCOPED_TRACE(std::string(starts[i].name) + " delta " + std::to_string(deltas[d]));
      t->SetMotion(msNone);
      for (int k : starts[i].keys)
        t->SetMotion(k);
      ASSERT_EQ(t->Motion, starts[i].motion);
      const int loopBefore = t->LoopSound;
      const int startsBefore = drive.Starts + turn.Starts;
      t->SetMotion(deltas[d]);
      EXPECT_EQ(t->Motion, expected[i][d]);
      const int32_t m = t->Motion;
      const int want = m == msForward ? 1 : (m == msLeft || m == msRight) ? 2 : 0;
      EXPECT_EQ(RedLoopPlaying(drive, turn), want);
      EXPECT_EQ(t->LoopSound, want == 1 ? 1 : want == 2 ? 2 : 0);
      if (want != 0 && loopBefore == t->LoopSound) {
        // The loop that plays goes on: it is not started again.
        EXPECT_TRUE((want == 1 ? drive : turn).Playing);
        EXPECT_EQ(drive.Starts + turn.Starts, startsBefore);
      }
    }
  }
  // From msNone a release leaves -2; a switch clears it.
  t->SetMotion(msNone);
  EXPECT_FALSE(drive.Playing || turn.Playing);
}

TEST_F(Battlefield, CanMoveToKeepsTanksOnTheFieldApartAndAwayFromWalls) {
  ClearWalls();
  SpreadTanks();
  CTankType *t = Tanks[1][1];
  Put(t, 300, 300);
  const double W = 1020;
  const double bottom = 720 - 26; // above the status bars
  EXPECT_TRUE(t->CanMoveTo({10, 300}));
  EXPECT_FALSE(t->CanMoveTo({9.9, 300}));
  EXPECT_TRUE(t->CanMoveTo({W - 10, 300}));
  EXPECT_FALSE(t->CanMoveTo({W - 9.9, 300}));
  EXPECT_TRUE(t->CanMoveTo({300, 10}));
  EXPECT_FALSE(t->CanMoveTo({300, 9.9}));
  EXPECT_TRUE(t->CanMoveTo({300, bottom - 10}));
  EXPECT_FALSE(t->CanMoveTo({300, bottom - 9.9}));
  EXPECT_FALSE(t->CanMoveTo({300, 720 - 20.0})); // on the status bars

  // Another live tank, of either player: 21 apart is allowed, 20.9 not.
  for (CTankType *other : {Tanks[1][3], Tanks[2][2]}) {
    Put(other, 500, 300);
    EXPECT_TRUE(t->CanMoveTo({479, 300}));
    EXPECT_FALSE(t->CanMoveTo({479.1, 300}));
    Put(other, 500, 600 + (other == Tanks[1][3] ? 0 : 50));
  }
  // The tank itself does not block.
  EXPECT_TRUE(t->CanMoveTo({301, 300}));
  // A destroyed tank lies outside the live slots and does not block.
  Put(Tanks[1][3], 500, 300);
  Players[1]->TankCount = 2;
  EXPECT_TRUE(t->CanMoveTo({480, 300}));
  Players[1]->TankCount = 3;

  // Walls keep tanks 14 pixels off.
  Lines[4]->SetEnds({100, 400}, {300, 400});
  EXPECT_FALSE(t->CanMoveTo({150, 386}));
  EXPECT_TRUE(t->CanMoveTo({150, 385}));
  Lines[4]->SetEnds({700, 100}, {700, 500}); // vertical
  EXPECT_FALSE(t->CanMoveTo({686, 300}));
  EXPECT_TRUE(t->CanMoveTo({685, 300}));
}

TEST_F(Battlefield, ABlockedTankStaysAndSoundsOnEveryTick) {
  StartGame();
  ClearWalls();
  CTankType *t = Tanks[1][2];
  Put(t, 11, 300, float(M_PI)); // facing the left edge
  KeyDown(kRedRight);
  KeyDown(kRedLeft);
  Tick(); // 9 from the edge: refused
  EXPECT_EQ(t->Pos.X, 11);
  EXPECT_TRUE(Sound(sndBlocked).Playing);
  window->StopSound(sndBlocked);
  Tick();
  EXPECT_TRUE(Sound(sndBlocked).Playing);
  EXPECT_EQ(Sound(sndBlocked).Starts, 2);
  EXPECT_EQ(t->Pos.X, 11);
}

TEST_F(Battlefield, DestroyingATankThatIsNotActiveKeepsTheActiveOne) {
  // Red: slot 2 active, the tank in slot 1 is destroyed.
  CTankType *a = Tanks[1][1], *b = Tanks[1][2], *c = Tanks[1][3];
  b->SetMotion(msLeft);
  a->TakeHit();
  EXPECT_EQ(Tanks[1][1], b);
  EXPECT_EQ(Tanks[1][2], c);
  EXPECT_EQ(Tanks[1][3], a);
  EXPECT_EQ(b->Slot, 1);
  EXPECT_EQ(c->Slot, 2);
  EXPECT_EQ(a->Slot, 3);
  EXPECT_EQ(Players[1]->Active, 1);
  EXPECT_EQ(Players[1]->TankCount, 2);
  EXPECT_EQ(b->Motion, msLeft);
  EXPECT_EQ(a->Motion, msDead);
  EXPECT_TRUE(Sound(sndTankDestroyed).Playing);
  EXPECT_FALSE(Sound(sndGameOver).Playing);
  EXPECT_EQ(window->GameOvers, 0);
  // The bird marks the spot; the tank is gone from the picture.
  EXPECT_TRUE(window->Bird.Visible);
  EXPECT_EQ(window->Bird.At.X, a->Pos.X);
  EXPECT_EQ(window->Bird.At.Y, a->Pos.Y);
  EXPECT_EQ(Count(Around(a->Pos, 11), kRed), 0);
}

TEST_F(Battlefield, TheActiveTankDestroyedWhileDrivingHandsItsMotionOnWithoutEngineSound) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  // Slot 3 of 3 active and driving.
  KeyDown(kRedSwitch);
  ASSERT_EQ(Players[1]->Active, 3);
  KeyDown(kRedRight);
  KeyDown(kRedLeft);
  CTankType *driver = Tanks[1][3], *first = Tanks[1][1];
  ASSERT_EQ(driver->Motion, msForward);
  ASSERT_TRUE(Sound(1).Playing);
  driver->TakeHit();
  EXPECT_EQ(Players[1]->Active, 1);
  EXPECT_EQ(Players[1]->TankCount, 2);
  EXPECT_EQ(Tanks[1][3], driver);
  EXPECT_EQ(first->Motion, msForward);
  EXPECT_EQ(first->LoopSound, 0);
  EXPECT_FALSE(Sound(1).Playing); // the destroyed tank's loop stopped
  EXPECT_EQ(driver->Motion, msForward + msDead);
  // It drives on from the next tick, highlighted as it moves.
  const TPointF before = first->Pos;
  Tick();
  EXPECT_NE(first->Pos.X, before.X);
  EXPECT_GT(Count(Around(first->Pos, 11), kMagenta), 150);
  EXPECT_FALSE(Sound(1).Playing);
  // Its engine starts once the motion changes.
  KeyUp(kRedRight);
  EXPECT_TRUE(Sound(2).Playing);

  // The active tank in slot 1 of 2: the other one moves up and takes over.
  CTankType *second = Tanks[1][2];
  first->TakeHit();
  EXPECT_EQ(Tanks[1][1], second);
  EXPECT_EQ(Tanks[1][2], first);
  EXPECT_EQ(Tanks[1][3], driver); // the earlier loss stays behind
  EXPECT_EQ(Players[1]->Active, 1);
  EXPECT_EQ(Players[1]->TankCount, 1);
  EXPECT_EQ(second->Motion, msLeft);
}

TEST_F(Battlefield, LosingTheLastTankEndsTheGameOnceAndKeepsTheFleet) {
  StartGame();
  Tanks[2][1]->TakeHit();
  Tanks[2][1]->TakeHit();
  ASSERT_EQ(Players[2]->TankCount, 1);
  EXPECT_EQ(window->GameOvers, 0);
  CTankType *last = Tanks[2][1];
  last->TakeHit();
  EXPECT_EQ(window->GameOvers, 1);
  EXPECT_TRUE(Sound(sndGameOver).Playing);
  EXPECT_TRUE(Sound(sndTankDestroyed).Playing);
  EXPECT_EQ(Sound(sndTankDestroyed).Starts, 3);
  EXPECT_EQ(Tanks[2][1], last);
  EXPECT_EQ(Players[2]->TankCount, 1);
  EXPECT_EQ(last->Motion, msDead);
  EXPECT_EQ(Count(Around(last->Pos, 11), kBlue), 0);
}

TEST_F(Battlefield, NextTankCyclesTheLiveTanksCarryingTheMotion) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  CPlayer *red = Players[1];
  // Three live tanks: 2 -> 3 -> 1 -> 2, standing still gives msStop.
  for (int want : {3, 1, 2}) {
    KeyDown(kRedSwitch);
    EXPECT_EQ(red->Active, want);
    EXPECT_EQ(Tanks[1][want]->Motion, msStop);
    EXPECT_GT(Count(Around(Tanks[1][want]->Pos, 11), kMagenta), 150);
    for (int s = 1; s <= 3; ++s)
      if (s != want) {
        EXPECT_EQ(Tanks[1][s]->Motion, msNone);
      }
  }
  // Driving carries over, with its engine loop; the old tank stands.
  KeyDown(kRedRight);
  KeyDown(kRedLeft);
  CTankType *old = Tanks[1][2];
  KeyDown(kRedSwitch);
  EXPECT_EQ(old->Motion, msNone);
  EXPECT_EQ(Tanks[1][3]->Motion, msForward);
  EXPECT_EQ(Tanks[1][3]->LoopSound, 1);
  EXPECT_TRUE(Sound(1).Playing);
  EXPECT_EQ(Count(Around(old->Pos, 11), kMagenta), 0);
  const TPointF oldPos = old->Pos;
  Tick();
  EXPECT_EQ(old->Pos.X, oldPos.X);

  // -2 from an unmatched release becomes msStop on the next tank.
  KeyUp(kRedRight);
  KeyUp(kRedLeft);
  KeyUp(kRedRight);
  ASSERT_EQ(Tanks[1][3]->Motion, -2);
  KeyDown(kRedSwitch);
  EXPECT_EQ(Tanks[1][1]->Motion, msStop);

  // Two live tanks alternate; one live tank stays active and restarts its
  // turning loop.
  Tanks[1][2]->TakeHit();
  ASSERT_EQ(red->TankCount, 2);
  const int a = red->Active;
  KeyDown(kRedSwitch);
  EXPECT_NE(red->Active, a);
  KeyDown(kRedSwitch);
  EXPECT_EQ(red->Active, a);
  Tanks[1][red->Active == 1 ? 2 : 1]->TakeHit();
  ASSERT_EQ(red->TankCount, 1);
  KeyDown(kRedRight);
  ASSERT_TRUE(Sound(2).Playing);
  KeyDown(kRedSwitch);
  EXPECT_EQ(red->Active, 1);
  EXPECT_EQ(Tanks[1][1]->Motion, msRight);
  EXPECT_TRUE(Sound(2).Playing);
}

TEST_F(Battlefield, PlaceWallsDrawsItsNumbersInOrderWithinTheirRanges) {
  // The windows on 1280- and 1025-pixel screens.
  for (int W : {1020, 1005}) {
    SCOPED_TRACE(W);
    MakeField(W, 720);
    StartGame();
    const int H = 720;
    const uint32_t seed = 4242;
    SetRandSeed(seed);
    double expect[7][4];
    for (int i = 1; i <= 6; ++i) {
      const double left = i <= 3 ? 100 : W * 0.5;
      expect[i][0] = left + Random(Round(W * 0.5) - 100);
      expect[i][1] = 50 + Random(H - 100);
      expect[i][2] = left + Random(Round(W * 0.5) - 100);
      const double dY = Random(Round(H * 0.5));
      expect[i][3] = H - 80 < expect[i][1] + dY ? expect[i][1] - dY : expect[i][1] + dY;
    }
    SetRandSeed(seed);
    PlaceWalls();
    for (int i = 1; i <= 6; ++i) {
      const CLine *w = Lines[i];
      EXPECT_EQ(w->P1.X, expect[i][0]);
      EXPECT_EQ(w->P1.Y, expect[i][1]);
      EXPECT_EQ(w->P2.X, expect[i][2]);
      EXPECT_EQ(w->P2.Y, expect[i][3]);
      if (i <= 3) {
        EXPECT_GE(w->P1.X, 100);
        EXPECT_LE(w->P1.X, Round(W * 0.5) - 1);
      } else {
        // The right half starts at W/2, not rounded.
        EXPECT_GE(w->P1.X, W * 0.5);
        EXPECT_LE(w->P1.X, W * 0.5 + Round(W * 0.5) - 101);
        if (W % 2 == 1) {
          EXPECT_EQ(w->P1.X - std::floor(w->P1.X), 0.5);
          EXPECT_EQ(w->P2.X - std::floor(w->P2.X), 0.5);
        }
      }
      EXPECT_GE(w->P1.Y, 50);
      EXPECT_LE(w->P1.Y, H - 51);
      EXPECT_LE(std::abs(w->P2.Y - w->P1.Y), Round(H * 0.5) - 1);
      const TRect box{Round(std::min(w->P1.X, w->P2.X)) - 2, Round(std::min(w->P1.Y, w->P2.Y)) - 2,
                      Round(std::max(w->P1.X, w->P2.X)) + 3, Round(std::max(w->P1.Y, w->P2.Y)) + 3};
      EXPECT_GT(Count(box, kWallGrey), 0);
    }
  }
}

TEST_F(Battlefield, AWallFlipsUpwardsOnlyPastEightyPixelsFromTheBottom) {
  const int W = 1020, H = 720;
  // Find seeds whose first wall reaches exactly H - 80 and H - 79.
  auto firstWallReach = [&](uint32_t seed, int *y1, int *dy) {
    SetRandSeed(seed);
    Random(Round(W * 0.5) - 100);
    *y1 = 50 + Random(H - 100);
    Random(Round(W * 0.5) - 100);
    *dy = Random(Round(H * 0.5));
    return *y1 + *dy;
  };
  for (int reach : {H - 80, H - 79}) {
    SCOPED_TRACE(reach);
    uint32_t seed = 0;
    int y1 = 0, dy = 0;
    while (firstWallReach(seed, &y1, &dy) != reach)
      ++seed;
    SetRandSeed(seed);
    PlaceWalls();
    EXPECT_EQ(Lines[1]->P1.Y, y1);
    EXPECT_EQ(Lines[1]->P2.Y, reach == H - 80 ? y1 + dy : y1 - dy);
  }
}
