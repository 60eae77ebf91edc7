// The network session's pieces: connect codes, the battlefield's own
// sines and cosines, datagrams and their decoding, the lockstep.
#include "game/common.h"
#include "net/connectcode.h"
#include "net/datagram.h"
#include "net/session.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ExactMaths, KnownValuesAndTheLibraryWithinTwoUnitsInTheLastPlace) {
  // Values to 16 digits, worked out in high precision.
  EXPECT_NEAR(ExactSin(1.0), 0.8414709848078965, 2e-16);
  EXPECT_NEAR(ExactCos(1.0), 0.5403023058681398, 2e-16);
  EXPECT_NEAR(ExactSin(100.0), -0.5063656411097588, 2e-16);
  EXPECT_NEAR(ExactCos(-3.0), -0.9899924966004454, 2e-16);
  EXPECT_EQ(ExactSin(0.0), 0.0);
  EXPECT_EQ(ExactCos(0.0), 1.0);
  int beyond = 0;
  for (int i = -200000; i <= 200000; ++i) {
    // Float angles as a tank holds them, over a few hundred turns.
    const double a = double(float(i * 0.0137));
    const double s = std::sin(a), c = std::cos(a);
    beyond += std::fabs(ExactSin(a) - s) > 2 * (std::nextafter(std::fabs(s), 9) - std::fabs(s));
    beyond += std::fabs(ExactCos(a) - c) > 2 * (std::nextafter(std::fabs(c), 9) - std::fabs(c));
  }
  EXPECT_EQ(beyond, 0);
}
