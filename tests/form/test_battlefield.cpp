// The battlefield on the real main window: what the window does for it,
// the repaint, the engine loops' buffers, steering through the form's keys
// and the game over. Its rules are tested without a window in tests/game.
#include "game_fixture.h"

using Battlefield = GameTest;

TEST_F(Battlefield, TheMainWindowIsTheBattlefieldsWindow) {
  TGameWindow *w = GameWindow;
  ASSERT_EQ(w, form.get());
  EXPECT_EQ(w->ClientWidth(), 1020);
  EXPECT_EQ(w->ClientHeight(), 720);
  EXPECT_EQ(w->Width(), 1020);
  EXPECT_EQ(w->Height(), 720);
  EXPECT_EQ(w->StatusBarHeight(), 26);
  EXPECT_EQ(w->WindowColor(), clOlive);
  // The canvas draws on the backing image.
  w->Canvas()->Brush.Color = clRed;
  w->Canvas()->Pen.Color = clRed;
  w->Canvas()->Ellipse(400, 400, 411, 411);
  EXPECT_EQ(Pixel(405, 405), kRed);
  // Sounds of the library: a loop, a stop, and a play from the start.
  w->LoopSound(3);
  EXPECT_TRUE(Sound(3)->Playing() && Sound(3)->Looping());
  w->StopSound(3);
  EXPECT_FALSE(Sound(3)->Playing());
  Sound(sndShotBlue)->SetPosition(2000);
  w->RestartSound(sndShotBlue);
  EXPECT_EQ(Sound(sndShotBlue)->Position(), 0);
  EXPECT_TRUE(Sound(sndShotBlue)->Playing());
  const int beeps = Application.Beeps;
  w->Beep();
  EXPECT_EQ(Application.Beeps, beeps + 1);
  // Markers are centred on the spot, halves rounded to even: the star is
  // 11 pixels square, the bird 33.
  w->ShowMarker(TMarker::Star, {100, 200});
  EXPECT_TRUE(form->imgStar->Visible());
  EXPECT_EQ(form->imgStar->Left(), 94);
  EXPECT_EQ(form->imgStar->Top(), 194);
  w->ShowMarker(TMarker::Bird, {100, 200});
  EXPECT_TRUE(form->imgBird->Visible());
  EXPECT_EQ(form->imgBird->Left(), 84);
  EXPECT_EQ(form->imgBird->Top(), 184);
  // Score captions come in UTF-8.
  w->SetScoreCaption(1, "Røde points: 12");
  w->SetScoreCaption(2, "Blå points: 3");
  EXPECT_EQ(form->lblRedPoints->Caption(), QString::fromUtf8("Røde points: 12"));
  EXPECT_EQ(form->lblBluePoints->Caption(), QString::fromUtf8("Blå points: 3"));
}

TEST_F(Battlefield, ARepaintKeepsTheTanksAndAResetShowsThemMoved) {
  const QImage before = form->Image().copy();
  form->Invalidate();
  form->Update();
  EXPECT_EQ(form->Image(), before);

  // A reset erases the tanks where they stood: only three red tanks'
  // worth of red is left, all of it at the new places.
  ResetGame();
  form->Update();
  const int total = Count(form->Image().rect(), kRed);
  int atTanks = 0;
  for (int s = 1; s <= 3; ++s) {
    EXPECT_GT(Count(Around(Tanks[1][s]->Pos, 11), kRed), 150);
    atTanks += Count(Around(Tanks[1][s]->Pos, 11), kRed);
  }
  EXPECT_EQ(total, atTanks);
}

TEST_F(Battlefield, ALoopThatPlaysIsNeverRestartedAndAutoRepeatChangesNothing) {
  StartGame();
  CTankType *t = Tanks[1][2];
  TSfxSoundBuffer *turn = Sound(2);
  KeyDown(kRedRight);
  ASSERT_TRUE(turn->Playing());
  // Let the loop get somewhere, then repeat the key and turn the other way.
  turn->SetPosition(4000);
  const int32_t where = turn->Position();
  KeyDown(kRedRight);
  KeyDown(kRedRight);
  EXPECT_EQ(t->Motion, msRight);
  EXPECT_EQ(turn->Position(), where);
  EXPECT_TRUE(turn->Playing());
  // Turning left after an unmatched release of the right key keeps the
  // same loop going.
  t->SetMotion(msNone);
  t->SetMotion(msLeft);
  turn->SetPosition(4000);
  t->SetMotion(-msRight);
  EXPECT_EQ(t->Motion, msRight);
  EXPECT_TRUE(turn->Playing());
  EXPECT_TRUE(turn->Looping());
  EXPECT_EQ(turn->Position(), where);
}

TEST_F(Battlefield, TurningAndDrivingFollowTheKeys) {
  StartGame();
  ClearWalls();
  CTankType *t = Tanks[1][2];
  Put(t, 300, 300, 0);
  KeyDown(kRedRight);
  Tick();
  EXPECT_EQ(t->Angle, 0.05f);
  Tick();
  EXPECT_EQ(t->Angle, static_cast<float>(static_cast<long double>(0.05f) + 0.05L));
  // The active tank shows its highlight colour once it turns.
  EXPECT_GT(Count(Around(t->Pos, 11), kMagenta), 150);
  EXPECT_EQ(Count(Around(t->Pos, 11), kRed), 0);
  KeyDown(kRedLeft);
  EXPECT_EQ(t->Motion, msForward);
  const TPointF before = t->Pos;
  const float heading = t->Angle;
  Tick(5);
  EXPECT_NEAR(t->Pos.X, before.X + 10 * std::cos(double(heading)), 1e-9);
  EXPECT_NEAR(t->Pos.Y, before.Y + 10 * std::sin(double(heading)), 1e-9);
  EXPECT_EQ(t->Angle, heading);
  // Letting go of F leaves the tank turning left, towards S still held.
  KeyUp(kRedRight);
  EXPECT_EQ(t->Motion, msLeft);
  Tick();
  EXPECT_EQ(t->Angle, static_cast<float>(static_cast<long double>(heading) - 0.05L));
  // A repaint draws it in its normal colour until it next moves.
  form->Invalidate();
  form->Update();
  EXPECT_EQ(Count(Around(t->Pos, 11), kMagenta), 0);
  EXPECT_GT(Count(Around(t->Pos, 11), kRed), 150);
}

TEST_F(Battlefield, LosingTheLastTankEndsTheGame) {
  StartGame();
  form->SfxAudio1->SetPaused(true);
  form->BackgroundMusic->Play();
  Tanks[2][1]->TakeHit();
  Tanks[2][1]->TakeHit();
  ASSERT_EQ(Players[2]->TankCount, 1);
  CTankType *last = Tanks[2][1];
  form->Timer1->SetEnabled(true);
  last->TakeHit();
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_FALSE(form->btnStart->isHidden());
  EXPECT_FALSE(form->cmdAbout->isHidden());
  EXPECT_EQ(form->btnStart->Caption(), "New game");
  EXPECT_EQ(form->focusWidget(), form->btnStart);
  EXPECT_EQ(form->BackgroundMusic->Mode(), mdStopped);
  EXPECT_TRUE(Sound(sndGameOver)->Playing());
  EXPECT_TRUE(Sound(sndTankDestroyed)->Playing());
  // The fleet stays: the last tank is still in slot 1 and counted live.
  EXPECT_EQ(Tanks[2][1], last);
  EXPECT_EQ(Players[2]->TankCount, 1);
  EXPECT_EQ(last->Motion, msDead);
  // A repaint draws it again where it was destroyed.
  form->imgBird->Hide();
  form->Invalidate();
  form->Update();
  EXPECT_GT(Count(Around(last->Pos, 11), kBlue), 150);
}
