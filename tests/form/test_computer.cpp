// The computer as a player of the main window: its keys go through the
// same handlers as a person's, the side it plays takes no keys from the
// keyboard, and it plays itself game after game as the buttons are pressed.
#include "game_fixture.h"

namespace {

class ComputerSide : public GameTest {
protected:
  // Ten minutes of play: twice what nearly every game takes, so that one
  // unlucky layout does not fail the test.
  static constexpr int kLongGame = 12000;

  void ComputerDown(uint16_t key) { form->ComputerKeyDown(key); }
  void ComputerUp(uint16_t key) { form->ComputerKeyUp(key); }
  void KeyboardDown(uint16_t key) { form->SourceKeyDown(TCustomForm::KeyboardSource, key); }
  void KeyboardUp(uint16_t key) { form->SourceKeyUp(TCustomForm::KeyboardSource, key); }
  bool AnyKeyHeld() const {
    for (uint16_t key : {kRedRight, kRedLeft, kRedShoot, kRedSwitch, kBlueRight, kBlueLeft,
                         kBlueShoot, kBlueSwitch})
      if (form->KeyHeld(key))
        return true;
    return false;
  }
  int BallsInFlight() const {
    int n = 0;
    for (int i = 1; i <= BallCount; ++i)
      n += Balls[i]->Life != 0;
    return n;
  }
  // Ticks, with the clock running, until the game is over; says whether
  // it ended within the ticks given.
  bool PlayUntilOver(int ticks) {
    for (int i = 0; i < ticks && form->btnStart->isHidden(); ++i) {
      Advance(0.05 / 86400);
      Tick();
    }
    return !form->btnStart->isHidden();
  }
};

TEST_F(ComputerSide, ItsKeysReachTheHandlersAndItsSidesKeyboardKeysDoNot) {
  form->PlayComputer(1, lvNormal, 7);
  StartGame();
  CTankType *red = Tanks[1][2], *blue = Tanks[2][2];
  ASSERT_EQ(Players[1]->Active, 2);

  KeyboardDown(kRedRight);
  EXPECT_EQ(red->Motion, msNone);
  EXPECT_FALSE(form->KeyHeld(kRedRight));
  ComputerDown(kRedRight);
  EXPECT_EQ(red->Motion, msRight);
  ComputerDown(kRedLeft);
  EXPECT_EQ(red->Motion, msForward);
  // The keyboard's release of a key the computer holds lets nothing go.
  KeyboardUp(kRedRight);
  EXPECT_EQ(red->Motion, msForward);
  ComputerUp(kRedRight);
  EXPECT_EQ(red->Motion, msLeft);

  Advance(2 * kCooldown);
  ComputerDown(kRedShoot);
  EXPECT_EQ(BallsInFlight(), 1);
  KeyboardDown(kRedSwitch);
  EXPECT_EQ(Players[1]->Active, 2);
  ComputerDown(kRedSwitch);
  EXPECT_EQ(Players[1]->Active, 3);

  // The person plays blue with the keyboard; the computer cannot.
  KeyboardDown(kBlueLeft);
  EXPECT_EQ(blue->Motion, msLeft);
  ComputerDown(kBlueRight);
  Advance(2 * kCooldown);
  ComputerDown(kBlueShoot);
  EXPECT_EQ(blue->Motion, msLeft);
  EXPECT_EQ(BallsInFlight(), 1);
  KeyboardDown(kBlueRight);
  EXPECT_EQ(blue->Motion, msForward);
}

TEST_F(ComputerSide, BothSidesPlayThemselvesGameAfterGame) {
  form->PlayComputer(1, lvHard, 11);
  form->PlayComputer(2, lvHard, 12);
  StartGame();
  Tick(100);
  bool moved = BallsInFlight() > 0;
  for (int p = 1; p <= 2; ++p)
    for (int s = 1; s <= 3; ++s)
      moved = moved || Tanks[p][s]->Motion != msNone;
  ASSERT_TRUE(moved) << "the computer pressed no key in 100 ticks";

  ASSERT_TRUE(PlayUntilOver(kLongGame));
  EXPECT_FALSE(AnyKeyHeld());
  const int score = Players[1]->Score + Players[2]->Score;
  EXPECT_GE(score, 3);
  // The next game waits for the buttons.
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->btnStart->Caption(), "New game");

  form->btnStart->click();
  StartGame();
  ASSERT_TRUE(PlayUntilOver(kLongGame));
  EXPECT_FALSE(AnyKeyHeld());
  EXPECT_GE(Players[1]->Score + Players[2]->Score, score + 3);
}

} // namespace
