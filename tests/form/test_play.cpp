// The score labels and the game flow on the real main window. Bullets and
// shooting are tested without a window in tests/game.
#include "game_fixture.h"

#include <QKeyEvent>
#include <random>

namespace {

using ScoreLabels = GameTest;
using Flow = GameTest;

constexpr double kTickDays = 0.05 / 86400;

} // namespace

TEST_F(ScoreLabels, BluesPointsShowInItsLabelWhichKeepsItsRightEdge) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  // Blue scores for a red tank hit; who scores for what is tested in
  // tests/game.
  const CTankType *red = Tanks[1][3];
  Launch(red->Pos.X - 20, red->Pos.Y, 0);
  Tick();
  EXPECT_EQ(form->lblBluePoints->Caption(), QString::fromUtf8("Blå points: 1"));
  EXPECT_EQ(form->lblRedPoints->Caption(), "Red points: 0");
  // The label keeps its right edge as its text grows.
  EXPECT_EQ(form->lblBluePoints->Left() + form->lblBluePoints->Width(), form->Width() - 20);
  Players[2]->Score = 99;
  Launch(Tanks[1][1]->Pos.X - 20, Tanks[1][1]->Pos.Y, 0);
  Tick();
  EXPECT_EQ(form->lblBluePoints->Caption(), QString::fromUtf8("Blå points: 100"));
  EXPECT_EQ(form->lblBluePoints->Left() + form->lblBluePoints->Width(), form->Width() - 20);
}

TEST_F(Flow, KeysAreIgnoredBeforeAGameButReleasesCount) {
  CTankType *blue = Tanks[2][2];
  KeyDown(kBlueRight);
  KeyDown(kBlueShoot);
  KeyDown(kBlueSwitch);
  EXPECT_EQ(blue->Motion, msNone);
  EXPECT_EQ(Players[2]->Active, 2);
  KeyUp(kBlueRight);
  EXPECT_EQ(blue->Motion, -2);
  // Into the game: the next press of the same key only stops it.
  Application.Params = {"debug"};
  MakeForm();
  Application.Params = {"debug"};
  form->DebugMode = true;
  KeyUp(kBlueLeft);
  StartGame();
  Tick();
  EXPECT_EQ(form->lblBlueHits->Caption(), "-10");
  EXPECT_EQ(form->lblRedHits->Caption(), "-4");
  EXPECT_EQ(form->lblBlackHits->Caption(), "-10");
  KeyDown(kBlueLeft);
  EXPECT_EQ(Tanks[2][2]->Motion, msStop);
  Tick();
  EXPECT_EQ(form->lblRedHits->Caption(), "0");
}

TEST_F(Flow, StartGamePlacesTheWallsHidesTheInstructionsAndStartsTheLoop) {
  StartGame();
  form->Update();
  for (int w = 1; w <= 6; ++w)
    EXPECT_GT(Lines[w]->Length, 0);
  EXPECT_GT(Count(form->Image().rect(), kWallGrey), 500);
  EXPECT_FALSE(form->lblExplane->Visible());
  EXPECT_FALSE(form->Label21->Visible());
  // Nothing of the text is left, not even a glyph's overhang.
  EXPECT_EQ(Count(form->lblExplane->BoundsRect().adjusted(-4, -4, 4, 4), kBlack), 0);
  EXPECT_EQ(Count(form->Label20->BoundsRect().adjusted(-4, -4, 4, 4), kBlue), 0);
  EXPECT_TRUE(form->btnStart->isHidden());
  EXPECT_TRUE(form->cmdAbout->isHidden());
  EXPECT_EQ(form->btnStart->Caption(), "New game");
  EXPECT_TRUE(Sound(0)->Playing());
  // A repaint keeps the walls.
  const int grey = Count(form->Image().rect(), kWallGrey);
  form->Invalidate();
  form->Update();
  EXPECT_EQ(Count(form->Image().rect(), kWallGrey), grey);
}

TEST_F(Flow, AGameOverThenNewGameKeepsTheWallsAndTheScores) {
  StartGame();
  ClearWalls();
  PlaceWalls();
  form->Update();
  const TPointF wallEnd = Lines[3]->P2;
  SpreadTanks();
  // Blue loses all three tanks to bullets.
  for (int n = 0; n < 3; ++n) {
    CTankType *t = Tanks[2][1];
    Launch(t->Pos.X - 20, t->Pos.Y, 0);
    Tick();
  }
  EXPECT_EQ(Players[1]->Score, 3);
  EXPECT_FALSE(form->btnStart->isHidden());
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_TRUE(Sound(sndGameOver)->Playing());
  const int grey = Count(form->Image().rect(), kWallGrey);
  form->btnStart->click();
  form->Update();
  EXPECT_EQ(form->btnStart->Caption(), "Start game");
  EXPECT_FALSE(form->btnStart->isHidden());
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(Lines[3]->P2.X, wallEnd.X);
  EXPECT_NEAR(Count(form->Image().rect(), kWallGrey), grey, 60); // tanks may cover a little
  EXPECT_EQ(Players[2]->TankCount, 3);
  EXPECT_EQ(Players[1]->Score, 3);
  EXPECT_EQ(form->lblRedPoints->Caption(), QString::fromUtf8("Røde points: 3"));
  StartGame();
  EXPECT_NE(Lines[3]->P2.X, wallEnd.X);
  SpreadTanks();
  ClearWalls();
  Launch(Tanks[2][1]->Pos.X - 20, Tanks[2][1]->Pos.Y, 0);
  Tick();
  EXPECT_EQ(form->lblRedPoints->Caption(), QString::fromUtf8("Røde points: 4"));
}

TEST_F(Flow, AnEngineHeldThroughTheGameOverStopsAtNewGame) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  KeyDown(kRedRight);
  KeyDown(kRedLeft);
  ASSERT_TRUE(Sound(1)->Playing());
  for (int n = 0; n < 3; ++n) {
    Launch(Tanks[2][1]->Pos.X - 20, Tanks[2][1]->Pos.Y, 0);
    Tick();
  }
  ASSERT_FALSE(form->btnStart->isHidden());
  EXPECT_TRUE(Sound(1)->Playing()); // the winner's engine runs while its keys are held
  form->btnStart->click();          // New game, the keys still held
  EXPECT_FALSE(Sound(1)->Playing());
  EXPECT_EQ(Tanks[1][2]->LoopSound, 0);
  KeyUp(kRedRight);
  KeyUp(kRedLeft);
  EXPECT_FALSE(Sound(1)->Playing());
  EXPECT_FALSE(Sound(2)->Playing());
}

TEST_F(Flow, TwoBulletsOnTheLastTankInOneTickEndTheGame) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  TwoBulletsAtBluesLastTank();
  form->Timer1->SetEnabled(true);
  // Both hits score and both end the game; what the game makes of them is
  // tested in tests/game.
  Tick();
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_FALSE(form->btnStart->isHidden());
  EXPECT_EQ(form->lblRedPoints->Caption(), QString::fromUtf8("Røde points: 2"));
}

TEST_F(Flow, TheMarkersHideAfterTheirTicksAndTheMusicFollows) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  // The music starts within four ticks while no star is on view.
  int ticks = 0;
  while (form->BackgroundMusic->Mode() != mdPlaying && ticks < 10) {
    Tick();
    ++ticks;
  }
  EXPECT_LE(ticks, 4);
  // With the music playing, the star stays at most three further ticks and
  // the bird at most nine.
  Put(Tanks[2][1], 500, 300);
  Launch(480, 300, 0);
  Tick();
  ASSERT_TRUE(form->imgStar->Visible());
  ASSERT_TRUE(form->imgBird->Visible());
  int star = 0, bird = 0;
  for (int i = 0; i < 12; ++i) {
    Tick();
    star += form->imgStar->Visible();
    bird += form->imgBird->Visible();
  }
  EXPECT_LE(star, 3);
  EXPECT_LE(bird, 9);
  EXPECT_FALSE(form->imgStar->Visible());
  EXPECT_FALSE(form->imgBird->Visible());
  EXPECT_EQ(form->MarkerMusicCounter % 4, 0);
  EXPECT_EQ(form->BirdCounter % 10, 0);
}

TEST_F(Flow, TheMusicGoesOnAfterAGameOverFromWhereItStopped) {
  StartGame();
  ClearWalls();
  SpreadTanks();
  Tick(4);
  ASSERT_EQ(form->BackgroundMusic->Mode(), mdPlaying);
  Tanks[2][1]->TakeHit();
  Tanks[2][1]->TakeHit();
  Put(Tanks[2][1], 500, 300);
  form->Timer1->SetEnabled(true);
  Launch(480, 300, 0);
  const int counter = form->MarkerMusicCounter;
  Tick();
  // Stopped by the game over, then played again by the same tick whenever
  // the shared counter comes round.
  const bool played = (counter + 2) % 4 == 0 || (counter + 1) % 4 == 0;
  EXPECT_EQ(form->BackgroundMusic->Mode() == mdPlaying, played);
}

TEST_F(Flow, ExitThenNoDuringAGameGoesOnWhereItWas) {
  StartGame();
  form->Timer1->SetEnabled(true);
  Application.MessageHook = [](const QString &, const QString &, TMsgDlgType) {
    return QMessageBox::No;
  };
  KeyDown(kRedRight);
  form->btnExit->click();
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_EQ(Tanks[1][2]->Motion, msRight);
  EXPECT_FALSE(Application.Terminated);
}

TEST_F(Flow, AComponentErrorInAHandlerIsShownAndTheGameGoesOn) {
  StartGame();
  QString caption, text;
  Application.MessageHook = [&](const QString &c, const QString &t, TMsgDlgType type) {
    EXPECT_EQ(type, mtError);
    caption = c;
    text = t;
    return QMessageBox::Ok;
  };
  Advance(2 * kCooldown);
  Tanks[1][2]->ShotSound = 99; // a sound the library does not have
  // Through the window's own key path, as a real key press comes.
  QKeyEvent press(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, 0, 0x65, 0, "e");
  QApplication::sendEvent(form.get(), &press);
  EXPECT_EQ(caption, "Mervolo");
  EXPECT_FALSE(text.isEmpty());
  EXPECT_EQ(Balls[1]->Life, 0);
  // The next event is handled as ever.
  Tanks[1][2]->ShotSound = sndShotRed;
  caption.clear();
  QApplication::sendEvent(form.get(), &press);
  EXPECT_TRUE(caption.isEmpty());
  EXPECT_EQ(Balls[1]->Life, 1);
  form->Timer1->Tick();
  EXPECT_EQ(Balls[1]->Life, 2);
}
