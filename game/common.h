// What the battlefield's units share: points and their distance, the
// motion states of a tank and the indices of the game's sounds.
#pragma once

#include <cmath>
#include <cstdint>

// A position in the window's client area, in pixels.
struct TPointF {
  double X = 0;
  double Y = 0;
};

// The Euclidean distance, computed in extended precision; in a network
// game in double precision, which every IEEE machine rounds alike.
double Distance(const TPointF &A, const TPointF &B);

// True while a network game is played. Both machines must then compute
// every position to the last bit alike: the battlefield takes its sines
// and cosines from ExactSin and ExactCos instead of the C library's (whose
// last bits differ between libraries), turns and measures in double
// precision, and counts the shot cooldown in ticks.
extern bool NetworkGame;

// Sine and cosine from a fixed sequence of IEEE double operations (no
// library call, no fused multiply-add), so every machine gets the same
// bits: the argument is reduced by a three-part π/2 to |r| <= π/4 and the
// Taylor series is summed to r^17 (sine) or r^18 (cosine). Within two
// units in the last place of the true value for |x| < 10^5.
double ExactSin(double x);
double ExactCos(double x);

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

// The direction (cos a, sin a) as the battlefield uses it: the C library's
// in local play (one sincos call), ExactCos and ExactSin in a network game.
inline TPointF FieldDirection(double a) {
  if (NetworkGame)
    return {ExactCos(a), ExactSin(a)};
  return {std::cos(a), std::sin(a)};
}
