// The battlefield in a fake window, with a seeded generator and a set
// clock, set up the way the main window sets it up.
#pragma once

#include "game/battlefield.h"
#include "rtl/sysutils.h"
#include "tests/game/fake_window.h"

#include <gtest/gtest.h>
#include <memory>

class BattlefieldTest : public ::testing::Test {
protected:
  static constexpr uint16_t kRedRight = 70, kRedLeft = 83, kRedShoot = 69, kRedSwitch = 90;
  static constexpr uint16_t kBlueRight = 102, kBlueLeft = 100, kBlueShoot = 104, kBlueSwitch = 96;
  // One shot's cooldown, in days, and a little more.
  static constexpr double kCooldown = 1.4e-5;
  static constexpr uint32_t kOlive = FakeWindow::kOlive, kRed = FakeWindow::kRed,
                            kMagenta = FakeWindow::kMagenta, kBlue = FakeWindow::kBlue,
                            kAqua = FakeWindow::kAqua, kWallGrey = FakeWindow::kWallGrey,
                            kBlack = FakeWindow::kBlack;

  void SetUp() override { MakeField(); }

  // A field in a window of the given outer size; the main window on a
  // 1280 x 1024 screen is 1020 x 720.
  void MakeField(int width = 1020, int height = 720) {
    SetRandSeed(20261208);
    SetNowOverride(Clock);
    window = std::make_unique<FakeWindow>(width, height);
    GameWindow = window.get();
    BallCount = 20;
    PlayerCount = 2;
    TanksPerPlayer = 3;
    LineCount = 6;
    BallRange = Round(width * (1.0 / 14));
    CreateGameObjects();
    ResetGame();
  }

  void TearDown() override {
    ClearGameObjects();
    GameWindow = nullptr;
    ClearNowOverride();
  }

  // Start game: new walls, and keys steer.
  void StartGame() {
    for (int w = 1; w <= LineCount; ++w)
      Lines[w]->Draw(true);
    PlaceWalls();
    window->Running = true;
  }
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i)
      GameTick();
  }
  // Presses reach the game while it runs, releases always.
  void KeyDown(uint16_t key) {
    if (window->Running)
      GameKeyDown(key);
  }
  void KeyUp(uint16_t key) { GameKeyUp(key); }
  void Advance(double days) {
    Clock += days;
    SetNowOverride(Clock);
  }

  // Moves a tank, erasing it where it stood and drawing it where it goes.
  static void Put(CTankType *t, double x, double y, float angle = 0) {
    t->Draw(true, false);
    t->Pos = {x, y};
    t->Angle = angle;
    t->Draw(false, false);
  }
  // Moves every wall out of the way.
  static void ClearWalls() {
    for (int w = 1; w <= LineCount; ++w) {
      Lines[w]->Draw(true);
      Lines[w]->SetEnds({-1000, -1000}, {-1000, -1000});
    }
  }
  // Puts the six tanks in a row along the middle of the field, well apart.
  static void SpreadTanks() {
    for (int p = 1; p <= 2; ++p)
      for (int s = 1; s <= 3; ++s)
        Put(Tanks[p][s], 100 + (p - 1) * 450 + (s - 1) * 120, 600);
  }
  // Fires the next idle bullet from (x, y) along angle.
  static CBall *Launch(double x, double y, float angle) {
    for (int i = 1; i <= BallCount; ++i) {
      if (Balls[i]->Life == 0) {
        Balls[i]->Life = 1;
        Balls[i]->Pos = {x, y};
        Balls[i]->Angle = angle;
        return Balls[i];
      }
    }
    return nullptr;
  }

  const FakeWindow::Sound &Sound(int i) const { return window->Sounds[i]; }
  uint32_t Pixel(double x, double y) const { return window->Pixel(Round(x), Round(y)); }
  int Count(TRect area, uint32_t colour) const { return window->Count(area, colour); }
  static TRect Around(TPointF p, int r) {
    return {Round(p.X) - r, Round(p.Y) - r, Round(p.X) + r + 1, Round(p.Y) + r + 1};
  }

  double Clock = 100;
  std::unique_ptr<FakeWindow> window;
};
