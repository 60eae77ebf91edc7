// The endless battle on the battlefield alone: a fake window the size of
// the main window on a 1280 x 1024 screen, set up as the main window sets
// up its game, and the game's own key handling and tick.
#pragma once

#include "tests/alloc/battle.h"
#include "tests/game/fake_window.h"

namespace battle {

class FieldBattle : public Battle {
public:
  explicit FieldBattle(uint32_t seed = 12345) : Window(1020, 720) {
    SetRandSeed(seed);
    MakeGameIn(Window);
  }
  ~FieldBattle() override { ClearGameFrom(Window); }

  FakeWindow Window;

protected:
  void BeginGame() override {
    PlaceWalls();
    Window.Running = true;
  }
  void Press(uint16_t key) override {
    if (Window.Running)
      GameKeyDown(key);
  }
  void Release(uint16_t key) override { GameKeyUp(key); }
  void RunTick() override { GameTick(); }
  bool Quiet() const override {
    return !Window.Star.Visible && !Window.Bird.Visible && Window.Running;
  }
  int FieldWidth() const override { return Window.ClientWidth(); }
  int FieldHeight() const override { return Window.ClientHeight(); }
};

} // namespace battle
