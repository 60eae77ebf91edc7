// A running game that goes on for ever, for measuring the main loop: a
// seeded field, both active tanks steered through the game's key handling
// (red turns and switches tanks, blue drives back and forth), shots
// pressed now and then, and all twenty bullets in flight along lanes that
// meet no tank and no wall, so no tank is hit, no bullet stops and no
// marker shows. Where the game runs (the real main window, or a field
// without any window system) is up to a subclass.
//
// Used by the allocation tests and the game benchmarks.
#pragma once

#include "game/battlefield.h"
#include "rtl/sysutils.h"

#include <cmath>
#include <cstdint>

namespace battle {

// Key codes of the two players.
constexpr uint16_t kRedRight = 70, kRedLeft = 83, kRedShoot = 69, kRedSwitch = 90;
constexpr uint16_t kBlueRight = 102, kBlueLeft = 100, kBlueShoot = 104, kBlueSwitch = 96;

// One bullet's lane: where it starts, its heading and how many steps it
// flies before it starts again.
struct Lane {
  TPointF Start;
  float Angle = 0;
};

class Battle {
public:
  static constexpr int kSteps = 30;
  // Ticks of blue's driving and of its half turn.
  static constexpr int kDrive = 30, kHalfTurn = 63;
  static constexpr double kTickDays = 0.05 / 86400;

  virtual ~Battle() = default;

  // Starts a game with its ticks called by hand, steers both players and
  // fills the bullet pool. False when no lanes could be found.
  bool Start() {
    BeginGame();
    Clock = 1.0;
    SetNowOverride(Clock);
    Key(kRedRight, true);
    Key(kBlueRight, true);
    Key(kBlueLeft, true);
    if (!FindLanes())
      return false;
    for (int i = 1; i <= BallCount; ++i) {
      // Spread over the lanes' length, so the restarts spread over the
      // ticks.
      const int phase = (i * 7) % kSteps;
      const Lane &lane = Lanes[i - 1];
      CBall *ball = Balls[i];
      ball->Angle = lane.Angle;
      ball->Pos = lane.Start;
      for (int k = 0; k < phase; ++k)
        ball->Pos = StepFrom(ball->Pos, lane.Angle);
      ball->Life = 1 + phase;
    }
    return true;
  }

  // The steering and shooting of one tick, before the tick itself.
  void Steer() {
    ++TickCount;
    Clock += kTickDays;
    SetNowOverride(Clock);
    // Blue: drive, turn half round on the left key, drive back, and so on.
    const int phase = TickCount % (kDrive + kHalfTurn);
    if (phase == 0)
      Key(kBlueRight, true);
    else if (phase == kDrive)
      Key(kBlueRight, false);
    // Red keeps turning right and switches tanks now and then.
    if (TickCount % 50 == 0)
      Key(kRedSwitch, true), Key(kRedSwitch, false);
    // Every bullet is in flight, so a shot only plays its sound.
    if (TickCount % 25 == 0) {
      Key(kRedShoot, true), Key(kRedShoot, false);
      Key(kBlueShoot, true), Key(kBlueShoot, false);
    }
  }

  // Starts again the bullets that have flown their lane.
  void Refill() {
    for (int i = 1; i <= BallCount; ++i) {
      CBall *ball = Balls[i];
      if (ball->Life > kSteps) {
        ball->Draw(true);
        ball->Pos = Lanes[i - 1].Start;
        ball->Life = 1;
      }
    }
  }

  // One tick of the game with its steering.
  void Tick() {
    Steer();
    Refill();
    RunTick();
  }

  // True while the game runs as designed: all tanks alive, all bullets in
  // flight, no marker on view.
  bool Intact() const {
    if (Players[1]->TankCount != 3 || Players[2]->TankCount != 3)
      return false;
    for (int i = 1; i <= BallCount; ++i)
      if (Balls[i]->Life == 0)
        return false;
    return Quiet();
  }

  void Key(uint16_t key, bool down) {
    if (down)
      Press(key);
    else
      Release(key);
  }

  static TPointF StepFrom(TPointF p, float angle) {
    return {p.X + 10 * std::cos(double(angle)), p.Y + 10 * std::sin(double(angle))};
  }

  int TickCount = 0;

protected:
  // Start game, with the main loop's timer left off.
  virtual void BeginGame() = 0;
  // The key handlers, and the main loop's tick.
  virtual void Press(uint16_t key) = 0;
  virtual void Release(uint16_t key) = 0;
  virtual void RunTick() = 0;
  // The game runs and shows no marker.
  virtual bool Quiet() const = 0;
  virtual int FieldWidth() const = 0;
  virtual int FieldHeight() const = 0;

private:
  // Lanes in the middle of the field that keep well away from every tank
  // (blue's driver stays within about 60 pixels of where it started) and
  // never come near a wall.
  bool FindLanes() {
    int found = 0;
    const int W = FieldWidth(), H = FieldHeight();
    for (int y = 60; y < H - 120 && found < BallCount; y += 23) {
      for (int x = 220; x < W - 220 && found < BallCount; x += 37) {
        for (int a = 0; a < 16 && found < BallCount; ++a) {
          const float angle = static_cast<float>(a * 0.3927);
          if (LaneIsClear({double(x), double(y)}, angle)) {
            Lanes[found++] = {{double(x), double(y)}, angle};
            break;
          }
        }
      }
    }
    return found == BallCount;
  }

  bool LaneIsClear(TPointF start, float angle) const {
    TPointF p = start;
    for (int k = 0; k <= kSteps; ++k) {
      const TPointF next = StepFrom(p, angle);
      if (next.X < 200 || next.X > FieldWidth() - 200 || next.Y < 40 ||
          next.Y > FieldHeight() - 100)
        return false;
      for (int pl = 1; pl <= 2; ++pl)
        for (int s = 1; s <= 3; ++s)
          if (Distance(Tanks[pl][s]->Pos, next) < 110)
            return false;
      for (int w = 1; w <= LineCount; ++w)
        if (Lines[w]->IsNear(p, next, 8))
          return false;
      p = next;
    }
    return true;
  }

  double Clock = 1.0;
  Lane Lanes[kMaxBalls];
};

} // namespace battle
