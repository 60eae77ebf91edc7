#include "game/common.h"

#include <cmath>

bool NetworkGame = false;

double Distance(const TPointF &A, const TPointF &B) {
  if (NetworkGame) {
    const double dx = B.X - A.X, dy = B.Y - A.Y;
    return std::sqrt(dx * dx + dy * dy);
  }
  const long double dx = static_cast<long double>(B.X) - A.X;
  const long double dy = static_cast<long double>(B.Y) - A.Y;
  return static_cast<double>(std::sqrt(dx * dx + dy * dy));
}

namespace {

// π/2 in three parts; the first two have 33 significant bits, so k times
// either is exact for |k| < 2^20.
constexpr double kPio2a = 1.5707963267341256;
constexpr double kPio2b = 6.077100506303966e-11;
constexpr double kPio2c = 2.0222662487959506e-21;
constexpr double kTwoOverPi = 0.6366197723675814;

// Sine and cosine of r with |r| <= π/4, Horner's rule from the smallest
// term.
double SinKernel(double r) {
  const double z = r * r;
  double p = 2.8114572543455206e-15;
  p = -7.647163731819816e-13 + z * p;
  p = 1.6059043836821613e-10 + z * p;
  p = -2.505210838544172e-08 + z * p;
  p = 2.7557319223985893e-06 + z * p;
  p = -0.0001984126984126984 + z * p;
  p = 0.008333333333333333 + z * p;
  p = -0.16666666666666666 + z * p;
  return r + r * (z * p);
}

double CosKernel(double r) {
  const double z = r * r;
  double p = -1.5619206968586225e-16;
  p = 4.779477332387385e-14 + z * p;
  p = -1.1470745597729725e-11 + z * p;
  p = 2.08767569878681e-09 + z * p;
  p = -2.755731922398589e-07 + z * p;
  p = 2.48015873015873e-05 + z * p;
  p = -0.001388888888888889 + z * p;
  p = 0.041666666666666664 + z * p;
  // 1 − z/2 is formed first so that the small terms add to it last.
  const double h = 0.5 * z;
  return (1.0 - h) + (((1.0 - (1.0 - h)) - h) + z * (z * p));
}

// x = k·π/2 + r; returns k modulo 4 and stores r.
int Reduce(double x, double &r) {
  const double k = std::nearbyint(x * kTwoOverPi);
  r = ((x - k * kPio2a) - k * kPio2b) - k * kPio2c;
  return static_cast<int>(static_cast<int64_t>(k) & 3);
}

} // namespace

double ExactSin(double x) {
  double r;
  switch (Reduce(x, r)) {
  case 0:
    return SinKernel(r);
  case 1:
    return CosKernel(r);
  case 2:
    return -SinKernel(r);
  default:
    return -CosKernel(r);
  }
}

double ExactCos(double x) {
  double r;
  switch (Reduce(x, r)) {
  case 0:
    return CosKernel(r);
  case 1:
    return -SinKernel(r);
  case 2:
    return -CosKernel(r);
  default:
    return SinKernel(r);
  }
}
