#include "game/backingoff.h"

#include "game/battlefield.h"
#include "game/fieldsight.h"
#include "game/pathplanner.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// A turn of half a circle takes this many ticks.
const int32_t kHalfTurnTicks =
    int32_t(std::ceil(std::numbers::pi / std::fabs(double(CTankType::TurnedAngle(0, true)))));
// Refused this many times on a route, it backs off from the nearest wall
// and drives kDrive ticks.
constexpr int32_t kRefusalsBeforeBackOff = 2;
constexpr int32_t kDrive = 15;

} // namespace

void CBackingOff::Refused(const CTankType *tank) {
  if (++Refusals < kRefusalsBeforeBackOff)
    return;
  Refusals = 0;
  double nearest = 1e9;
  for (int32_t w = 1; w <= LineCount; ++w) {
    const CLine *line = Lines[w];
    const double d = SegmentDistance(line->P1, line->P2, tank->Pos);
    if (d < nearest) {
      nearest = d;
      // Away from the wall: from its nearest point through the tank.
      const double dx = line->P2.X - line->P1.X, dy = line->P2.Y - line->P1.Y;
      const double len2 = dx * dx + dy * dy;
      const double t =
          len2 > 0 ? std::clamp(
                         ((tank->Pos.X - line->P1.X) * dx + (tank->Pos.Y - line->P1.Y) * dy) / len2,
                         0.0, 1.0)
                   : 0;
      Angle = Bearing({line->P1.X + t * dx, line->P1.Y + t * dy}, tank->Pos);
    }
  }
  Turns = kHalfTurnTicks;
  Drive = kDrive;
}

TDrive CBackingOff::Step(const CTankType *tank, double tolerance) {
  if (Turns > 0) {
    const double diff = AngleTo(tank->Angle, Angle);
    if (std::fabs(diff) > tolerance) {
      --Turns;
      return diff > 0 ? drRight : drLeft;
    }
    Turns = 0;
  }
  --Drive;
  return CanDrive(Side, tank) ? drForward : drStand;
}
