// The battlefield in a fake window, with a seeded generator and a set
// clock, set up the way the main window sets it up.
#pragma once

#include "game/battlefield.h"
#include "rtl/sysutils.h"
#include "tests/game/fake_window.h"
#include "tests/game/field_moves.h"

#include <gtest/gtest.h>
#include <memory>

class BattlefieldTest : public ::testing::Test, protected FieldMoves {
protected:
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
    MakeGameIn(*window);
  }

  void TearDown() override {
    ClearGameFrom(*window);
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

  const FakeWindow::Sound &Sound(int i) const { return window->Sounds[i]; }
  uint32_t Pixel(double x, double y) const { return window->Pixel(Round(x), Round(y)); }
  int Count(TRect area, uint32_t colour) const { return window->Count(area, colour); }
  static TRect Around(TPointF p, int r) {
    return {Round(p.X) - r, Round(p.Y) - r, Round(p.X) + r + 1, Round(p.Y) + r + 1};
  }

  std::unique_ptr<FakeWindow> window;
};
