#include "game/computer.h"

#include "game/battlefield.h"
#include "game/gamewindow.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
// A tank turns this far per tick; a bullet flies 10 pixels per tick and
// hits a tank whose centre is nearer than 13 pixels to its next place.
constexpr double kTurn = 0.05;
constexpr double kReach = 13;
// The shot's cooldown, in days, and one tick in days.
constexpr double kCooldown = 1.4e-5;
constexpr double kTickDays = 0.05 / 86400;
// Planning work per tick, in grid rows and in searched cells.
constexpr int kBuildRows = 4;
constexpr int kSearchCells = 150;

// The difference b − a brought into −π..π.
double AngleTo(double a, double b) {
  return std::remainder(b - a, 2 * kPi);
}

double Bearing(TPointF from, TPointF to) {
  return std::atan2(to.Y - from.Y, to.X - from.X);
}

// The angle after one turn, as the tank computes it.
float Turned(float angle, bool right) {
  return static_cast<float>(static_cast<long double>(angle) + (right ? 0.05L : -0.05L));
}

TPointF Tip(TPointF pos, float angle) {
  return {static_cast<double>(Round(pos.X + 12 * std::cos(double(angle)))),
          static_cast<double>(Round(pos.Y + 12 * std::sin(double(angle))))};
}

bool Dead(const CTankType *tank) {
  return tank->Motion < msDead + 500;
}

struct TFigures {
  int32_t reaction;
  double aimError;
  int32_t replanEvery;
  int32_t dodges;
  bool leads;
  int32_t switchEvery;
  int32_t switchMargin;
};

constexpr TFigures kFigures[3] = {
    {10, 0.050, 60, 0, false, 40, 40}, // easy
    {3, 0.010, 25, 1, true, 20, 20},   // normal
    {1, 0.003, 12, 2, true, 8, 8},     // hard
};

} // namespace

bool ParseComputerLevel(std::string_view text, TComputerLevel &level) {
  if (text == "easy")
    level = lvEasy;
  else if (text == "normal")
    level = lvNormal;
  else if (text == "hard")
    level = lvHard;
  else
    return false;
  return true;
}

const char *ComputerLevelName(TComputerLevel level) {
  switch (level) {
  case lvEasy:
    return "easy";
  case lvNormal:
    return "normal";
  case lvHard:
    return "hard";
  }
  return "";
}

CComputerPlayer::CComputerPlayer(int32_t side, TComputerLevel level, uint32_t seed,
                                 IComputerKeys *keys)
    : Side(side), Level(level), Keys(keys) {
  const TFigures &f = kFigures[std::clamp<int>(level, lvEasy, lvHard)];
  Reaction = f.reaction;
  AimError = f.aimError;
  ReplanEvery = f.replanEvery;
  Dodges = f.dodges;
  Leads = f.leads;
  SwitchEvery = f.switchEvery;
  SwitchMargin = f.switchMargin;
  Rand = (static_cast<uint64_t>(seed) << 1 | 1) * 0x9E3779B97F4A7C15ull;
}

double CComputerPlayer::Uniform() {
  // xorshift64*
  Rand ^= Rand >> 12;
  Rand ^= Rand << 25;
  Rand ^= Rand >> 27;
  return static_cast<double>((Rand * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53;
}

double CComputerPlayer::Gauss() {
  const double u = std::max(Uniform(), 1e-12), v = Uniform();
  return std::sqrt(-2 * std::log(u)) * std::cos(2 * kPi * v);
}

void CComputerPlayer::NewGame() {
  // The window has let go of the keys with the game's end.
  HeldCount = 0;
  Started = false;
  SeenCount = 0;
  Clock = 0;
  Planner.Clear();
  PlanTank = PlanTarget = nullptr;
  PlannedAt = -1000;
  std::fill(std::begin(Unreachable), std::end(Unreachable), false);
  Failures = 0;
  Target = Tank = SwitchTo = nullptr;
  Approach = false;
  PlanRange = DefaultRange();
  Wait = Reaction;
  ErrorAngle = AimErrorDraw();
  AlignedMisses = 0;
  ShotsAtTarget = 0;
  LastSwitchLook = 0;
  Blocked = Escape = 0;
  Driving = false;
}

void CComputerPlayer::ReleaseAll() {
  while (HeldCount > 0)
    Keys->ComputerKeyUp(Held[--HeldCount]);
}

bool CComputerPlayer::Holds(uint16_t key) const {
  for (int32_t i = 0; i < HeldCount; ++i)
    if (Held[i] == key)
      return true;
  return false;
}

void CComputerPlayer::Down(uint16_t key) {
  if (Holds(key))
    return;
  Held[HeldCount++] = key;
  Keys->ComputerKeyDown(key);
}

void CComputerPlayer::Up(uint16_t key) {
  for (int32_t i = 0; i < HeldCount; ++i) {
    if (Held[i] == key) {
      Held[i] = Held[--HeldCount];
      Keys->ComputerKeyUp(key);
      return;
    }
  }
}

// A quick press and release, as for a shot or a switch.
void CComputerPlayer::Press(uint16_t key) {
  Keys->ComputerKeyDown(key);
  Keys->ComputerKeyUp(key);
}

void CComputerPlayer::SetDrive(TDrive drive) {
  const CPlayer *me = Players[Side];
  const bool left = drive == drLeft || drive == drForward;
  const bool right = drive == drRight || drive == drForward;
  // Releases first: from driving, letting go of one key turns towards the
  // other, and from turning one way to the other passes through standing.
  if (!left)
    Up(me->KeyLeft);
  if (!right)
    Up(me->KeyRight);
  if (left)
    Down(me->KeyLeft);
  if (right)
    Down(me->KeyRight);
}

double CComputerPlayer::FieldWidth() const {
  return GameWindow->ClientWidth();
}

double CComputerPlayer::FieldHeight() const {
  return GameWindow->ClientHeight() - GameWindow->StatusBarHeight();
}

// Whether `self` could stand at p: the tank's own move test, with a margin
// around the other side's active tank, which may come closer on the same
// tick.
bool CComputerPlayer::FreeAt(const CTankType *self, TPointF p, double tankMargin) const {
  if (!self->CanMoveTo(p))
    return false;
  const CPlayer *enemy = Players[3 - Side];
  if (enemy->Active < 1 || enemy->Active > enemy->TankCount)
    return true;
  const CTankType *active = Tanks[3 - Side][enemy->Active];
  return Distance(active->Pos, p) >= 2 * self->Radius + 1 + tankMargin;
}

bool CComputerPlayer::CanDrive(const CTankType *tank) const {
  return FreeAt(tank, CTankType::StepAhead(tank->Pos, tank->Angle), 2.5);
}

const CTankType *CComputerPlayer::ShotHits(const CTankType *tank, float angle,
                                           const CTankType *target, TPointF targetAt,
                                           TPointF targetStep) const {
  TPointF pos = angle == tank->Angle ? tank->BarrelTip : Tip(tank->Pos, angle);
  const double dx = 10 * std::cos(double(angle)), dy = 10 * std::sin(double(angle));
  for (int32_t k = 1; k <= BallRange; ++k) {
    const TPointF to{pos.X + dx, pos.Y + dy};
    for (int32_t p = 1; p <= PlayerCount; ++p) {
      for (int32_t s = 1; s <= Players[p]->TankCount; ++s) {
        const CTankType *t = Tanks[p][s];
        const TPointF at =
            t == target ? TPointF{targetAt.X + targetStep.X * k, targetAt.Y + targetStep.Y * k}
                        : t->Pos;
        if (Distance(at, to) < kReach)
          return t;
      }
    }
    for (int32_t w = 1; w <= LineCount; ++w)
      if (Lines[w]->IsNear(pos, to, 2))
        return nullptr;
    pos = to;
  }
  return nullptr;
}

bool CComputerPlayer::InView(const CTankType *from, TPointF to) const {
  return Distance(from->Pos, to) <= BallRange * 10.0 - 15 &&
         Planner.FireClear(from->Pos, to, CPathPlanner::kFireClearance);
}

bool CComputerPlayer::IsEnemy(const CTankType *tank) const {
  return tank && tank->Player != Side;
}

int CComputerPlayer::EnemyIndex(const CTankType *tank) const {
  for (int i = 0; i < 3; ++i)
    if (Enemy[i] == tank)
      return i;
  return 0;
}

TPointF CComputerPlayer::Perceived(int enemy, int ticksBack) const {
  ticksBack = std::clamp(ticksBack, 0, std::min<int>(SeenCount - 1, kMemory - 1));
  return Seen[(SeenCount - 1 - ticksBack) % kMemory][enemy];
}

TPointF CComputerPlayer::Velocity(int enemy) const {
  if (SeenCount < Reaction + 2)
    return {};
  const TPointF a = Perceived(enemy, Reaction + 1), b = Perceived(enemy, Reaction);
  const TPointF v{b.X - a.X, b.Y - a.Y};
  if (std::hypot(v.X, v.Y) > 2.5)
    return {};
  return v;
}

double CComputerPlayer::AimErrorDraw() {
  return std::clamp(Gauss(), -2.0, 2.0) * AimError;
}

double CComputerPlayer::DefaultRange() const {
  return std::min(BallRange * 10.0 - 40, 320.0);
}

bool CComputerPlayer::WallsChanged() const {
  for (int w = 1; w <= LineCount && w <= 6; ++w)
    if (Lines[w]->P1.X != WallEnds[w - 1][0].X || Lines[w]->P1.Y != WallEnds[w - 1][0].Y ||
        Lines[w]->P2.X != WallEnds[w - 1][1].X || Lines[w]->P2.Y != WallEnds[w - 1][1].Y)
      return true;
  return false;
}

void CComputerPlayer::ChooseTarget(const CTankType *tank) {
  const CPlayer *enemy = Players[3 - Side];
  const CTankType *best = nullptr;
  double bestCost = 1e18;
  for (int32_t s = 1; s <= enemy->TankCount; ++s) {
    const CTankType *e = Tanks[3 - Side][s];
    const int i = EnemyIndex(e);
    const TPointF at = Perceived(i, Reaction);
    const double d = Distance(tank->Pos, at);
    double cost;
    if (InView(tank, at))
      cost = std::fabs(AngleTo(tank->Angle, Bearing(tank->Pos, at))) / kTurn + d / 10;
    else
      cost = d / 2 + 80;
    if (Unreachable[i])
      cost += 2000;
    if (e == Target)
      cost -= 15;
    if (cost < bestCost) {
      bestCost = cost;
      best = e;
    }
  }
  if (best != Target) {
    Target = best;
    ShotsAtTarget = 0;
    ErrorAngle = AimErrorDraw();
    AlignedMisses = 0;
    Approach = false;
    PlanRange = DefaultRange();
  }
}

CComputerPlayer::TDrive CComputerPlayer::Aim(const CTankType *tank) {
  const int i = EnemyIndex(Target);
  // Without leading, it shoots at where it saw the target last.
  const TPointF v = Leads ? Velocity(i) : TPointF{};
  const TPointF seen = Perceived(i, Reaction);
  const TPointF guess{seen.X + v.X * Reaction, seen.Y + v.Y * Reaction};
  // Lead a moving target: where it will be when the bullet gets there.
  TPointF aimAt = guess;
  for (int n = 0; n < 2; ++n) {
    const double t = Distance(tank->BarrelTip, aimAt) / 10;
    aimAt = {guess.X + v.X * t, guess.Y + v.Y * t};
  }
  // Its aim is off by ErrorAngle: it believes the target stands aside.
  const double d = Distance(tank->Pos, guess);
  const double b = Bearing(tank->Pos, guess);
  const TPointF believed{guess.X - std::sin(b) * d * ErrorAngle,
                         guess.Y + std::cos(b) * d * ErrorAngle};
  const double diff = AngleTo(tank->Angle, Bearing(tank->Pos, aimAt) + ErrorAngle);
  const TDrive toward = diff > 0 ? drRight : drLeft;
  if (std::fabs(diff) > 0.12)
    return toward;
  if (IsEnemy(ShotHits(tank, tank->Angle, Target, believed, v))) {
    AlignedMisses = 0;
    if (Now() - tank->LastShot > kCooldown + 0.1 * kTickDays)
      Press(Players[Side]->KeyShoot);
    return drStand;
  }
  // One more turn either way may bring the shot onto the target.
  const bool first = diff > 0;
  for (bool right : {first, !first})
    if (IsEnemy(ShotHits(tank, Turned(tank->Angle, right), Target, believed, v)))
      return right ? drRight : drLeft;
  // A turn must bring the heading nearer, not merely to the other side.
  if (std::fabs(diff) > kTurn / 2 + 0.001)
    return toward;
  // Lined up, yet the shot would miss: too far for the turns' steps, or
  // something stands in the way. Come closer.
  ++AlignedMisses;
  // A while without a shot: it looks again and aims afresh.
  if (AlignedMisses % 10 == 0)
    ErrorAngle = AimErrorDraw();
  if (d > 90 && v.X == 0 && v.Y == 0 && Planner.DriveClear(tank->Pos, guess))
    return drForward;
  if (AlignedMisses > 30) {
    // Find a place nearer to it.
    Approach = true;
    PlanRange = std::max(120.0, d * 0.6);
    PlannedAt = -1000;
  }
  return drStand;
}

CComputerPlayer::TDrive CComputerPlayer::Steer(const CTankType *tank, TPointF point) {
  const double diff = AngleTo(tank->Angle, Bearing(tank->Pos, point));
  const double tolerance = Driving ? 0.15 : kTurn * 0.6;
  if (std::fabs(diff) > tolerance)
    return diff > 0 ? drRight : drLeft;
  if (CanDrive(tank)) {
    Blocked = 0;
    return drForward;
  }
  // Something stands in the way: plan again from here, and if that leads
  // the same way, back off from the nearest wall first.
  PlannedAt = -1000;
  if (++Blocked >= 2) {
    Blocked = 0;
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
            len2 > 0
                ? std::clamp(((tank->Pos.X - line->P1.X) * dx + (tank->Pos.Y - line->P1.Y) * dy) /
                                 len2,
                             0.0, 1.0)
                : 0;
        EscapeAngle = Bearing({line->P1.X + t * dx, line->P1.Y + t * dy}, tank->Pos);
      }
    }
    Escape = 15 + 63;
  }
  return drStand;
}

CComputerPlayer::TDrive CComputerPlayer::BackOff(const CTankType *tank) {
  // Turning away counts only until a half turn is done; then it drives.
  const double diff = AngleTo(tank->Angle, EscapeAngle);
  if (std::fabs(diff) > kTurn * 0.6 && Escape > 15) {
    --Escape;
    return diff > 0 ? drRight : drLeft;
  }
  Escape = std::min(Escape, 15) - 1;
  return CanDrive(tank) ? drForward : drStand;
}

CComputerPlayer::TDrive CComputerPlayer::Travel(const CTankType *tank) {
  if (!Planner.Ready())
    return drStand;
  const int i = EnemyIndex(Target);
  const TPointF at = Perceived(i, Reaction);
  // A plan is due when forced (PlannedAt < 0), for another tank or target,
  // and now and then when the target has moved or no route was found.
  const bool stale =
      PlannedAt < 0 || PlanTank != tank || PlanTarget != Target ||
      Planner.State() == CPathPlanner::psIdle ||
      (Clock - PlannedAt >= ReplanEvery &&
       (Distance(PlanTargetAt, at) > 20 || Planner.State() != CPathPlanner::psFound));
  if (stale && Planner.State() != CPathPlanner::psSearching) {
    TPointF others[6];
    int n = 0;
    for (int32_t p = 1; p <= PlayerCount; ++p)
      for (int32_t s = 1; s <= Players[p]->TankCount; ++s)
        if (Tanks[p][s] != tank && Tanks[p][s] != Target)
          others[n++] = Tanks[p][s]->Pos;
    Planner.Start(tank->Pos, at, PlanRange, others, n);
    PlanTank = tank;
    PlanTarget = Target;
    PlanTargetAt = at;
    PlannedAt = Clock;
  }
  switch (Planner.Search(kSearchCells)) {
  case CPathPlanner::psFailed:
    // No nearer place, or no place at all: another target for a while.
    Approach = false;
    PlanRange = DefaultRange();
    Unreachable[i] = true;
    ++Failures;
    Target = nullptr;
    Planner.Clear();
    return drStand;
  case CPathPlanner::psFound: {
    TPointF point;
    if (Planner.NextPoint(tank->Pos, point))
      return Steer(tank, point);
    // At the route's end: aim from here, or look again.
    PlannedAt = -1000;
    Approach = false;
    AlignedMisses = 0;
    PlanRange = DefaultRange();
    return drStand;
  }
  default:
    // While it plans, it goes on as it was, if it safely can.
    return Driving ? drForward : drStand;
  }
}

bool CComputerPlayer::Dodge(const CTankType *tank, TDrive &drive) {
  // The bullets it has noticed that would pass within reach of the tank
  // where it stands, with their coming places.
  static constexpr int kThreats = 4, kSteps = 80;
  TPointF path[kThreats][kSteps];
  int length[kThreats];
  int threats = 0;
  for (int32_t b = 1; b <= BallCount && threats < kThreats; ++b) {
    const CBall *ball = Balls[b];
    if (ball->Life == 0 || ball->Life <= Reaction)
      continue;
    TPointF pos = ball->Pos;
    const double dx = 10 * std::cos(double(ball->Angle)), dy = 10 * std::sin(double(ball->Angle));
    bool threat = false;
    int n = 0, relevant = 0;
    for (int32_t k = ball->Life + 1; k <= BallRange + 1 && n < kSteps; ++k) {
      const TPointF to{pos.X + dx, pos.Y + dy};
      bool stops = false;
      for (int32_t p = 1; p <= PlayerCount && !stops; ++p)
        for (int32_t s = 1; s <= Players[p]->TankCount; ++s)
          if (Tanks[p][s] != tank && Distance(Tanks[p][s]->Pos, to) < kReach)
            stops = true;
      for (int32_t w = 1; w <= LineCount && !stops; ++w)
        stops = Lines[w]->IsNear(pos, to, 2);
      if (stops)
        break;
      path[threats][n++] = to;
      const double d = Distance(tank->Pos, to);
      threat = threat || d < kReach + 3;
      // Later places matter only while the tank, at 2 pixels a tick, could
      // still meet the bullet.
      if (d < kReach + 3 + 2 * n)
        relevant = n;
      pos = to;
    }
    if (threat) {
      length[threats] = relevant;
      ++threats;
    }
  }
  if (threats == 0)
    return false;
  int horizon = 0;
  for (int t = 0; t < threats; ++t)
    horizon = std::max(horizon, length[t]);
  // Ways out: drive on at once, or turn a while either way and then drive.
  // At normal only straight ahead, as it stands.
  const int most = Dodges > 1 ? 30 : 0;
  for (int turns = 0; turns <= most; turns += 5) {
    for (bool right : {true, false}) {
      if (turns == 0 && !right)
        continue;
      float angle = tank->Angle;
      TPointF pos = tank->Pos;
      bool hit = false;
      for (int k = 0; k < horizon && !hit; ++k) {
        if (k < turns) {
          angle = Turned(angle, right);
        } else {
          const TPointF next = CTankType::StepAhead(pos, angle);
          if (FreeAt(tank, next, 2.5))
            pos = next;
          else if (k == turns)
            break; // it could not even start
        }
        for (int t = 0; t < threats && !hit; ++t)
          hit = k < length[t] && Distance(pos, path[t][k]) < kReach + 1.5;
      }
      if (!hit && (turns > 0 || CanDrive(tank))) {
        drive = turns == 0 ? drForward : right ? drRight : drLeft;
        return true;
      }
    }
  }
  return false;
}

double CComputerPlayer::Prospect(const CTankType *tank) const {
  for (int i = 0; i < 3; ++i)
    if (Mine[i] == tank && ShutIn[i])
      return 1e8;
  const CPlayer *enemy = Players[3 - Side];
  double cooling = (kCooldown - (Now() - tank->LastShot)) / kTickDays;
  cooling = std::max(cooling, 0.0);
  double result = 1e9;
  for (int32_t s = 1; s <= enemy->TankCount; ++s) {
    const CTankType *e = Tanks[3 - Side][s];
    const TPointF at = Perceived(EnemyIndex(e), Reaction);
    double ticks;
    if (InView(tank, at))
      ticks = std::max(std::fabs(AngleTo(tank->Angle, Bearing(tank->Pos, at))) / kTurn, cooling) +
              Distance(tank->Pos, at) / 40;
    else
      ticks = Distance(tank->Pos, at) / 2 + 80;
    result = std::min(result, ticks);
  }
  return result;
}

bool CComputerPlayer::ConsiderSwitch(const CTankType *tank) {
  const CPlayer *me = Players[Side];
  if (me->TankCount < 2)
    return false;
  double mine = Prospect(tank);
  // Shut in: no enemy tank can be reached from here.
  if (Failures >= Players[3 - Side]->TankCount) {
    mine = 1e8;
    for (int i = 0; i < 3; ++i)
      if (Mine[i] == tank)
        ShutIn[i] = true;
  }
  const CTankType *other = nullptr;
  double best = 1e18;
  for (int32_t s = 1; s <= me->TankCount; ++s) {
    const CTankType *t = Tanks[Side][s];
    if (t == tank)
      continue;
    const double p = Prospect(t) + Reaction;
    if (p < best) {
      best = p;
      other = t;
    }
  }
  if (other && best + SwitchMargin < mine) {
    SwitchTo = other;
    return true;
  }
  return false;
}

void CComputerPlayer::Tick() {
  ++Clock;
  const CPlayer *me = Players[Side];
  const CPlayer *enemy = Players[3 - Side];
  if (!Started) {
    Started = true;
    for (int s = 1; s <= 3; ++s) {
      Enemy[s - 1] = Tanks[3 - Side][s];
      Mine[s - 1] = Tanks[Side][s];
      ShutIn[s - 1] = false;
    }
  }
  if (WallsChanged() || Planner.Cols == 0) {
    for (int w = 1; w <= LineCount && w <= 6; ++w) {
      WallEnds[w - 1][0] = Lines[w]->P1;
      WallEnds[w - 1][1] = Lines[w]->P2;
    }
    Planner.SetField(FieldWidth(), FieldHeight(), &Lines[1], std::min<int>(LineCount, 6));
    PlanTank = nullptr;
  }
  if (!Planner.Ready())
    Planner.Build(kBuildRows);

  // What it sees this tick.
  TPointF *row = Seen[SeenCount % kMemory];
  for (int i = 0; i < 3; ++i)
    row[i] = Enemy[i]->Pos;
  ++SeenCount;

  const CTankType *tank = Tanks[Side][me->Active];
  // After a game over it presses nothing: the loser's last tank stays in
  // its slot, destroyed.
  if (Dead(tank) || Dead(Tanks[3 - Side][1]) || enemy->TankCount < 1)
    return;
  if (tank != Tank) {
    // Another tank is in its hands: a switch, or the last one was hit.
    Tank = tank;
    Approach = false;
    PlanRange = DefaultRange();
    Target = nullptr;
    Planner.Clear();
    Failures = 0;
    std::fill(std::begin(Unreachable), std::end(Unreachable), false);
    Wait = std::max(Wait, Reaction);
    Driving = false;
  }
  if (tank->LastShot != LastShotSeen) {
    LastShotSeen = tank->LastShot;
    ErrorAngle = AimErrorDraw();
    // Its shots keep missing from afar: it goes nearer.
    if (Target && ++ShotsAtTarget >= 3) {
      ShotsAtTarget = 0;
      const double d = Distance(tank->Pos, Target->Pos);
      if (d > 150) {
        Approach = true;
        PlanRange = std::max(120.0, d * 0.6);
        PlannedAt = -1000;
      }
    }
  }
  if (Clock % 200 == 0) {
    std::fill(std::begin(Unreachable), std::end(Unreachable), false);
    std::fill(std::begin(ShutIn), std::end(ShutIn), false);
    Failures = 0;
  }

  if (SwitchTo) {
    SetDrive(drStand);
    bool live = false;
    for (int32_t s = 1; s <= me->TankCount; ++s)
      live = live || Tanks[Side][s] == SwitchTo;
    if (live && tank != SwitchTo) {
      Press(me->KeySwitch);
      return;
    }
    SwitchTo = nullptr;
  }

  TDrive drive = Driving ? drForward : drStand;
  bool targetLive = false;
  for (int32_t s = 1; s <= enemy->TankCount; ++s)
    targetLive = targetLive || Tanks[3 - Side][s] == Target;
  if (!targetLive)
    Target = nullptr;

  if (Wait > 0) {
    --Wait;
  } else if (Dodges > 0 && Dodge(tank, drive)) {
    // Out of a bullet's way before anything else.
  } else {
    if (Clock - LastSwitchLook >= SwitchEvery) {
      LastSwitchLook = Clock;
      if (ConsiderSwitch(tank)) {
        SetDrive(drStand);
        Press(me->KeySwitch);
        return;
      }
    }
    if (!Target || Clock % 8 == 0)
      ChooseTarget(tank);
    if (!Target)
      drive = drStand;
    else if (Escape > 0)
      drive = BackOff(tank);
    else if (InView(tank, Perceived(EnemyIndex(Target), Reaction)) && !Approach)
      drive = Aim(tank);
    else
      drive = Travel(tank);
  }
  // Never against a wall or a tank.
  if (drive == drForward && !CanDrive(tank))
    drive = drStand;
  SetDrive(drive);
  Driving = drive == drForward;
}
