#include "game/fieldsight.h"

#include "game/battlefield.h"

TFlight FlyBullet(TPointF from, float angle, int32_t steps, const TForesight &foresee,
                  TPointF *path) {
  TFlight flight;
  TPointF pos = from;
  for (int32_t k = 1; k <= steps; ++k) {
    const TPointF to = CBall::StepAhead(pos, angle);
    for (int32_t p = 1; p <= PlayerCount; ++p) {
      for (int32_t s = 1; s <= Players[p]->TankCount; ++s) {
        const CTankType *t = Tanks[p][s];
        TPointF at = t->Pos;
        if (t == foresee.Tank) {
          if (foresee.Skip)
            continue;
          at = {foresee.At.X + foresee.Step.X * k, foresee.At.Y + foresee.Step.Y * k};
        }
        if (CBall::Reaches(*t, at, to)) {
          flight.Hit = t;
          return flight;
        }
      }
    }
    for (int32_t w = 1; w <= LineCount; ++w)
      if (Lines[w]->IsNear(pos, to, CBall::WallMargin))
        return flight;
    if (path)
      path[flight.Steps] = to;
    ++flight.Steps;
    pos = to;
  }
  return flight;
}

bool FreeAt(int32_t side, const CTankType *self, TPointF p, double tankMargin) {
  if (!self->CanMoveTo(p))
    return false;
  const CPlayer *enemy = Players[3 - side];
  if (enemy->Active < 1 || enemy->Active > enemy->TankCount)
    return true;
  const CTankType *active = Tanks[3 - side][enemy->Active];
  return Distance(active->Pos, p) >= 2 * self->Radius + 1 + tankMargin;
}

bool CanDrive(int32_t side, const CTankType *tank) {
  return FreeAt(side, tank, CTankType::StepAhead(tank->Pos, tank->Angle), kEnemyMargin);
}
