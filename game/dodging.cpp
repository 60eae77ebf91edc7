#include "game/dodging.h"

#include "game/battlefield.h"
#include "game/fieldsight.h"

#include <algorithm>

namespace {

// A tank drives this far per tick.
const double kTankSpeed = Distance({}, CTankType::StepAhead({}, 0));
// At most kThreats bullets followed kThreatSteps steps each; a bullet
// passing nearer than its reach and kThreatMargin is a threat, and a way
// out must keep kWayOutMargin from its places. Ways out turn up to
// kMostDodgeTurns ticks, tried every kDodgeTurnStep. With no way out and a
// hit within kDoomedWithin ticks, the tank is lost.
constexpr int kThreats = 4, kThreatSteps = 80;
constexpr double kThreatMargin = 3, kWayOutMargin = 1.5;
constexpr int kMostDodgeTurns = 30, kDodgeTurnStep = 5;
constexpr int kDoomedWithin = 12;

} // namespace

CDodging::CDodging(int32_t side, const TComputerFigures &figures)
    : Side(side), Reaction(figures.Reaction), How(figures.Dodging) {}

void CDodging::Forget() {
  Turns = 0;
  Until = 0;
}

bool CDodging::Step(const CTankType *tank, int64_t clock, TDrive &drive, bool &doomed) {
  if (How == dgNever)
    return false;
  // The bullets it has noticed that would pass within reach of the tank
  // where it stands, with their coming places.
  TPointF path[kThreats][kThreatSteps];
  int length[kThreats];
  int threats = 0, firstHit = kThreatSteps;
  for (int32_t b = 1; b <= BallCount && threats < kThreats; ++b) {
    const CBall *ball = Balls[b];
    if (ball->Life == 0 || ball->Life <= Reaction)
      continue;
    const int32_t steps = std::min(BallRange + 1 - ball->Life, int32_t(kThreatSteps));
    const TFlight flight =
        FlyBullet(ball->Pos, ball->Angle, steps, {tank, {}, {}, true}, path[threats]);
    int relevant = 0;
    bool threat = false;
    for (int n = 0; n < flight.Steps; ++n) {
      const double d = Distance(tank->Pos, path[threats][n]);
      if (d < tank->Radius + CBall::HitMargin + kThreatMargin) {
        threat = true;
        firstHit = std::min(firstHit, n);
      }
      // Later places matter only while the tank could still meet the
      // bullet, at a step a tick.
      if (d < tank->Radius + CBall::HitMargin + kThreatMargin + kTankSpeed * (n + 1))
        relevant = n + 1;
    }
    if (threat)
      length[threats++] = relevant;
  }
  if (threats == 0) {
    Until = 0;
    return false;
  }
  // A way out chosen on an earlier tick is followed to its end.
  if (clock < Until) {
    drive = NextStep();
    return true;
  }
  int horizon = 0;
  for (int t = 0; t < threats; ++t)
    horizon = std::max(horizon, length[t]);
  // Ways out: drive on at once, or turn a while either way and then drive.
  const int most = How == dgTurnAndDrive ? kMostDodgeTurns : 0;
  for (int turns = 0; turns <= most; turns += kDodgeTurnStep) {
    for (bool right : {true, false}) {
      if (turns == 0 && !right)
        continue;
      float angle = tank->Angle;
      TPointF pos = tank->Pos;
      bool hit = false;
      for (int k = 0; k < horizon && !hit; ++k) {
        if (k < turns) {
          angle = CTankType::TurnedAngle(angle, right);
        } else {
          const TPointF next = CTankType::StepAhead(pos, angle);
          if (FreeAt(Side, tank, next, kEnemyMargin))
            pos = next;
          else if (k == turns)
            break; // it could not even start
        }
        for (int t = 0; t < threats && !hit; ++t)
          hit = k < length[t] &&
                Distance(pos, path[t][k]) < tank->Radius + CBall::HitMargin + kWayOutMargin;
      }
      if (!hit && (turns > 0 || CanDrive(Side, tank))) {
        Turn = right ? drRight : drLeft;
        Turns = turns;
        Until = clock + horizon;
        drive = NextStep();
        return true;
      }
    }
  }
  doomed = firstHit < kDoomedWithin;
  return false;
}

TDrive CDodging::NextStep() {
  if (Turns > 0) {
    --Turns;
    return Turn;
  }
  return drForward;
}
