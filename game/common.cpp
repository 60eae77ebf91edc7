#include "game/common.h"

#include <cmath>

double Distance(const TPointF &A, const TPointF &B) {
  const long double dx = static_cast<long double>(B.X) - A.X;
  const long double dy = static_cast<long double>(B.Y) - A.Y;
  return static_cast<double>(std::sqrt(dx * dx + dy * dy));
}
