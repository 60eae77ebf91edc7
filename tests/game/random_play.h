// Two players at random, for the soak tests: each tick up to two key
// events, shots often and tank switches seldom, the steering keys pressed,
// repeated and released, now and then a release whose press was not seen;
// and every 5000 ticks a bullet at a tank that walls may have shut in.
#pragma once

#include "tests/game/field_moves.h"

#include <cstdint>
#include <functional>
#include <random>

class RandomPlay {
public:
  using KeyHandler = std::function<void(uint16_t)>;
  RandomPlay(uint32_t seed, KeyHandler down, KeyHandler up)
      : Rng(seed), Down(std::move(down)), Up(std::move(up)) {}

  bool Chance(double p) { return std::uniform_real_distribution<>(0, 1)(Rng) < p; }

  // A new game: no key is held.
  void NewGame() {
    for (auto &player : Held)
      for (bool &held : player)
        held = false;
  }

  // What happens before tick `t` of a game: the bullet, and the keys.
  void BeforeTick(int t) {
    if (t % 5000 == 4999) {
      const CTankType *target = Tanks[std::uniform_int_distribution<>(1, 2)(Rng)][1];
      FieldMoves::Launch(target->Pos.X - 20, target->Pos.Y, 0);
    }
    for (int n = std::uniform_int_distribution<>(0, 2)(Rng); n > 0; --n) {
      const int p = std::uniform_int_distribution<>(0, 1)(Rng);
      const int k = std::uniform_int_distribution<>(0, 3)(Rng);
      if (k == 2) {
        Down(kKeys[p][k]); // shots come often, held or not
      } else if (k == 3) {
        if (Chance(0.1))
          Down(kKeys[p][k]);
      } else if (!Held[p][k]) {
        Down(kKeys[p][k]);
        Held[p][k] = true;
      } else if (Chance(0.3)) {
        Down(kKeys[p][k]); // auto-repeat
      } else {
        Up(kKeys[p][k]);
        Held[p][k] = false;
      }
      if (Chance(0.01))
        Up(kKeys[p][k]); // a release whose press was not seen
    }
  }
  // Every key pressed and released once.
  void EveryKey() {
    for (const auto &player : kKeys)
      for (uint16_t key : player) {
        Down(key);
        Up(key);
      }
  }

private:
  static constexpr uint16_t kKeys[2][4] = {
      {FieldMoves::kRedRight, FieldMoves::kRedLeft, FieldMoves::kRedShoot, FieldMoves::kRedSwitch},
      {FieldMoves::kBlueRight, FieldMoves::kBlueLeft, FieldMoves::kBlueShoot,
       FieldMoves::kBlueSwitch}};
  std::mt19937 Rng;
  KeyHandler Down, Up;
  bool Held[2][4] = {};
};
