#include "game/perception.h"

#include <algorithm>
#include <cmath>

namespace {

// A target seen moving faster than a tank can is not led: a switch.
constexpr double kFastestTank = 2.5;

} // namespace

void CPerception::Start(int32_t side) {
  SeenCount = 0;
  for (int s = 1; s <= kMaxTanksPerPlayer; ++s)
    Enemy[s - 1] = Tanks[3 - side][s];
}

void CPerception::Look() {
  TPointF *row = Seen[SeenCount % kMemory];
  for (int i = 0; i < kMaxTanksPerPlayer; ++i)
    row[i] = Enemy[i]->Pos;
  ++SeenCount;
}

int CPerception::Index(const CTankType *tank) const {
  for (int i = 0; i < kMaxTanksPerPlayer; ++i)
    if (Enemy[i] == tank)
      return i;
  return 0;
}

TPointF CPerception::AtTicksBack(int enemy, int ticksBack) const {
  ticksBack = std::clamp(ticksBack, 0, std::min<int>(SeenCount - 1, kMemory - 1));
  return Seen[(SeenCount - 1 - ticksBack) % kMemory][enemy];
}

TPointF CPerception::Velocity(int enemy) const {
  if (SeenCount < Reaction + 2)
    return {};
  const TPointF a = AtTicksBack(enemy, Reaction + 1), b = At(enemy);
  const TPointF v{b.X - a.X, b.Y - a.Y};
  if (std::hypot(v.X, v.Y) > kFastestTank)
    return {};
  return v;
}
