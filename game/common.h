// What the battlefield's units share: points and their distance, the
// motion states of a tank and the indices of the game's sounds.
#pragma once

#include <cstdint>

// A position in the window's client area, in pixels.
struct TPointF {
  double X = 0;
  double Y = 0;
};

// The Euclidean distance, computed in extended precision.
double Distance(const TPointF &A, const TPointF &B);

// Motion states of a tank. Key presses add and releases subtract the turn
// values, so a state can also hold values between the names.
constexpr int32_t msNone = -10;
constexpr int32_t msStop = 0;
constexpr int32_t msRight = 2;
constexpr int32_t msLeft = 4;
constexpr int32_t msForward = 6;
constexpr int32_t msDead = -1000;

// Positions in the window's sound library. 0 is the game start, 1 to
// 4 are the engine loops.
constexpr int32_t sndImpact = 5;
constexpr int32_t sndTankDestroyed = 6;
constexpr int32_t sndBlocked = 9;
constexpr int32_t sndShotRed = 10;
constexpr int32_t sndShotBlue = 11;
constexpr int32_t sndGameOver = 12;
