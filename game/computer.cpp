#include "game/computer.h"

#include "game/battlefield.h"
#include "game/fieldsight.h"
#include "game/gamewindow.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
// One tick in days, the unit of the shot's cooldown.
constexpr double kTickDays = TickSeconds / 86400;
// A tank turns this far and drives this far per tick, a bullet flies this
// far.
const double kTurnStep = std::fabs(double(CTankType::TurnedAngle(0, true)));
const double kTankSpeed = Distance({}, CTankType::StepAhead({}, 0));
const double kBulletSpeed = Distance({}, CBall::StepAhead({}, 0));
// Planning work per tick, in grid rows and in searched cells.
constexpr int kBuildRows = 4;
constexpr int kSearchCells = 150;
// How it chooses its target, every kRetargetEvery ticks: the cost of each
// enemy tank in ticks. In view: the turn to it and the bullet's flight;
// out of view: the drive there and kOutOfView. A tank no route
// led to costs kUnreachable more, the present target kLoyalty less.
constexpr int64_t kRetargetEvery = 8;
constexpr double kOutOfView = 80;
constexpr double kUnreachable = 2000;
constexpr double kLoyalty = 15;
// Prospects, in ticks to a shot: a tank shut in or about to be hit, and
// a tank with no enemy at all.
constexpr double kHopeless = 1e8, kNever = 1e9;
// Routes that failed and tanks found shut in are forgotten this often.
constexpr int64_t kForgetEvery = 200;

// Aiming: beyond kTurnFirst radians off it turns without looking at the
// shot. After kRedrawAfter misses lined up it aims afresh, after
// kApproachAfter it looks for a place nearer, within kApproachShare of the
// distance but not nearer than kApproachLeast. Three shots at one target
// from beyond kApproachFrom pixels also send it nearer.
constexpr double kTurnFirst = 0.12;
constexpr int32_t kRedrawAfter = 10;
constexpr int32_t kApproachAfter = 30;
constexpr double kApproachShare = 0.6, kApproachLeast = 120;
constexpr int32_t kShotsBeforeApproach = 3;
constexpr double kApproachFrom = 150;
// A standing target nearer than this is not driven at to make a shot hit.
constexpr double kCloseEnough = 90;

// Following a route: the heading may be this far off the next point before
// it turns, while driving and from standing.
constexpr double kDriveTolerance = 0.15;
// Without a route yet it heads for its target while the straight way
// ahead is clear this far.
constexpr double kLookAhead = 40;
// The game's pixels past which a target counts as moved for a new route.
constexpr double kTargetMoved = 20;
// The planned range to a target: the bullet's reach less kRangeMargin, at
// most kLongestRange pixels.
constexpr double kRangeMargin = 40, kLongestRange = 320;

} // namespace

CComputerPlayer::CComputerPlayer(int32_t side, TComputerLevel level, uint32_t seed,
                                 IComputerKeys *keys)
    : CComputerPlayer(side, ComputerLevelFigures(level), seed, keys) {}

CComputerPlayer::CComputerPlayer(int32_t side, const TComputerFigures &figures, uint32_t seed,
                                 IComputerKeys *keys)
    : Side(side), Figures(figures), Hands(side, figures, keys), Dodging(side, figures),
      Seen(figures.Reaction), Backing(side) {
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

double CComputerPlayer::AimErrorDraw() {
  // Errors beyond two standard deviations are cut off.
  return std::clamp(Gauss(), -2.0, 2.0) * Figures.AimError;
}

void CComputerPlayer::NewGame() {
  Hands.NewGame();
  Started = false;
  Clock = 0;
  Planner.Clear();
  PlanTank = PlanTarget = nullptr;
  ReplanNow = true;
  std::fill(std::begin(Unreachable), std::end(Unreachable), false);
  Failures = 0;
  Target = Tank = SwitchTo = nullptr;
  ApproachRange = 0;
  Wait = Figures.Reaction;
  ErrorAngle = AimErrorDraw();
  AlignedMisses = AlignedTicks = 0;
  ShotsAtTarget = 0;
  LastSwitchLook = 0;
  Backing.Forget();
  Dodging.Forget();
  Driving = false;
  Doing = stNothing;
}

void CComputerPlayer::ReleaseAll() {
  Hands.ReleaseAll();
}

bool CComputerPlayer::Holds(uint16_t key) const {
  return Hands.Holds(key);
}

bool CComputerPlayer::Tap(uint16_t key) {
  return Hands.Tap(key, Clock);
}

void CComputerPlayer::SetDrive(TDrive drive) {
  const TDrive now = Hands.Drive();
  if (drive == now)
    return;
  // Its keys change no faster than a person's, but a stop in front of a
  // wall or a tank cannot wait.
  const bool mustStop = now == drForward && !CanDrive(Side, Tanks[Side][Players[Side]->Active]);
  Hands.SetDrive(drive, Clock, mustStop);
}

double CComputerPlayer::FieldWidth() const {
  return GameWindow->ClientWidth();
}

double CComputerPlayer::FieldHeight() const {
  return GameWindow->ClientHeight() - GameWindow->StatusBarHeight();
}

const CTankType *CComputerPlayer::ShotHits(const CTankType *tank, float angle, TPointF targetAt,
                                           TPointF targetStep) const {
  const TPointF tip =
      angle == tank->Angle ? tank->BarrelTip : CTankType::BarrelTipAt(tank->Pos, angle);
  return FlyBullet(tip, angle, BallRange, {Target, targetAt, targetStep, false}).Hit;
}

bool CComputerPlayer::InView(const CTankType *from, TPointF to) const {
  // The bullet's reach, less the barrel and a little.
  constexpr double kReachMargin = 15;
  return Distance(from->Pos, to) <= BallRange * kBulletSpeed - kReachMargin &&
         Planner.FireClear(from->Pos, to, CPathPlanner::kFireClearance);
}

bool CComputerPlayer::IsEnemy(const CTankType *tank) const {
  return tank && tank->Player != Side;
}

bool CComputerPlayer::EnemyLive(const CTankType *tank) const {
  const CPlayer *enemy = Players[3 - Side];
  for (int32_t s = 1; s <= enemy->TankCount; ++s)
    if (Tanks[3 - Side][s] == tank)
      return true;
  return false;
}

double CComputerPlayer::CoolingTicks(const CTankType *tank) const {
  return std::max((CTankType::ShotCooldown - (Now() - tank->LastShot)) / kTickDays, 0.0);
}

double CComputerPlayer::PlanRange() const {
  return ApproachRange > 0 ? ApproachRange
                           : std::min(BallRange * kBulletSpeed - kRangeMargin, kLongestRange);
}

void CComputerPlayer::StopApproach() {
  ApproachRange = 0;
}

void CComputerPlayer::ApproachFrom(double distance) {
  ApproachRange = std::max(kApproachLeast, distance * kApproachShare);
  ReplanNow = true;
}

bool CComputerPlayer::WallsChanged() const {
  for (int w = 1; w <= LineCount && w <= kMaxLines; ++w)
    if (Lines[w]->P1.X != WallEnds[w - 1][0].X || Lines[w]->P1.Y != WallEnds[w - 1][0].Y ||
        Lines[w]->P2.X != WallEnds[w - 1][1].X || Lines[w]->P2.Y != WallEnds[w - 1][1].Y)
      return true;
  return false;
}

void CComputerPlayer::Tick() {
  ++Clock;
  const CPlayer *me = Players[Side];
  const CPlayer *enemy = Players[3 - Side];
  const CTankType *tank = Tanks[Side][me->Active];
  Observe(tank);
  // After a game over it presses nothing: the loser's last tank stays in
  // its slot, destroyed.
  if (tank->Destroyed() || Tanks[3 - Side][1]->Destroyed() || enemy->TankCount < 1)
    return;
  TDrive drive = drStand;
  Doing = Decide(tank, drive);
  // Never against a wall or a tank.
  if (drive == drForward && !CanDrive(Side, tank))
    drive = drStand;
  SetDrive(drive);
  Driving = Hands.Drive() == drForward;
  Hands.EndTick();
}

float CComputerPlayer::AngleAhead(const CTankType *tank) const {
  return Hands.AngleAhead(tank->Angle, KeyDelay);
}

// What it sees this tick, and what it must forget.
void CComputerPlayer::Observe(const CTankType *tank) {
  if (!Started) {
    Started = true;
    Seen.Start(Side);
    for (int s = 1; s <= kMaxTanksPerPlayer; ++s) {
      Mine[s - 1] = Tanks[Side][s];
      ShutIn[s - 1] = false;
    }
  }
  if (WallsChanged() || Planner.Cols == 0) {
    for (int w = 1; w <= LineCount && w <= kMaxLines; ++w) {
      WallEnds[w - 1][0] = Lines[w]->P1;
      WallEnds[w - 1][1] = Lines[w]->P2;
    }
    Planner.SetField(FieldWidth(), FieldHeight(), &Lines[1], std::min<int>(LineCount, kMaxLines));
    PlanTank = nullptr;
  }
  if (!Planner.Ready())
    Planner.Build(kBuildRows);

  Seen.Look();

  if (tank != Tank) {
    // Another tank is in its hands: a switch, or the last one was hit.
    Tank = tank;
    StopApproach();
    Target = nullptr;
    Planner.Clear();
    Failures = 0;
    std::fill(std::begin(Unreachable), std::end(Unreachable), false);
    Wait = std::max(Wait, Figures.Reaction);
    Dodging.Forget();
    Backing.Stop();
  }
  if (tank->LastShot != LastShotSeen) {
    LastShotSeen = tank->LastShot;
    ErrorAngle = AimErrorDraw();
    // Its shots keep missing from afar: it goes nearer.
    if (Target && ++ShotsAtTarget >= kShotsBeforeApproach) {
      ShotsAtTarget = 0;
      const double d = Distance(tank->Pos, Target->Pos);
      if (d > kApproachFrom)
        ApproachFrom(d);
    }
  }
  if (Clock % kForgetEvery == 0) {
    std::fill(std::begin(Unreachable), std::end(Unreachable), false);
    std::fill(std::begin(ShutIn), std::end(ShutIn), false);
    Failures = 0;
  }
  if (Target && !EnemyLive(Target))
    Target = nullptr;
}

// The order of its decisions: the first step that takes the tick decides
// what the tank does.
CComputerPlayer::TStep CComputerPlayer::Decide(const CTankType *tank, TDrive &drive) {
  // 1. It has not yet seen what changed: it goes on as it was.
  if (Wait > 0) {
    --Wait;
    drive = Driving ? drForward : drStand;
    return stReacting;
  }
  // 2. A switch under way is finished first.
  if (Switching(tank)) {
    drive = drStand;
    return stSwitching;
  }
  // 3. Out of a bullet's way before anything else.
  bool doomed = false;
  if (Dodging.Step(tank, Clock, drive, doomed))
    return stDodging;
  // 4. Another tank of its own may do better.
  if (ConsiderSwitch(tank, doomed) && Switching(tank)) {
    drive = drStand;
    return stSwitching;
  }
  // 5. The enemy tank to go for.
  if (!Target || Clock % kRetargetEvery == 0)
    ChooseTarget(tank);
  if (!Target) {
    drive = drStand;
    return stNothing;
  }
  // 6. Away from a wall that blocked its route.
  if (Backing.Active()) {
    drive = Backing.Step(tank, StandTolerance());
    return stBackingOff;
  }
  // 7. Aim and shoot where the target is in view, else travel to a place
  // from which it will be.
  if (ApproachRange == 0 && InView(tank, Seen.At(Seen.Index(Target)))) {
    drive = Aim(tank);
    return stAiming;
  }
  drive = Travel(tank);
  return stTravelling;
}

bool CComputerPlayer::Switching(const CTankType *tank) {
  if (!SwitchTo)
    return false;
  const CPlayer *me = Players[Side];
  bool live = false;
  for (int32_t s = 1; s <= me->TankCount; ++s)
    live = live || Tanks[Side][s] == SwitchTo;
  if (!live || tank == SwitchTo) {
    SwitchTo = nullptr;
    return false;
  }
  Tap(me->KeySwitch);
  return true;
}

double CComputerPlayer::Prospect(const CTankType *tank) const {
  // A tank in view is a tick from a shot for every kPixelsPerTickInView
  // pixels it is away, besides the turn and the cooling; one out of view
  // needs the drive there and kOutOfView.
  constexpr double kPixelsPerTickInView = 40;
  for (int i = 0; i < kMaxTanksPerPlayer; ++i)
    if (Mine[i] == tank && ShutIn[i])
      return kHopeless;
  const CPlayer *enemy = Players[3 - Side];
  const double cooling = CoolingTicks(tank);
  double result = kNever;
  for (int32_t s = 1; s <= enemy->TankCount; ++s) {
    const CTankType *e = Tanks[3 - Side][s];
    const TPointF at = Seen.At(Seen.Index(e));
    double ticks;
    if (InView(tank, at))
      ticks =
          std::max(std::fabs(AngleTo(tank->Angle, Bearing(tank->Pos, at))) / kTurnStep, cooling) +
          Distance(tank->Pos, at) / kPixelsPerTickInView;
    else
      ticks = Distance(tank->Pos, at) / kTankSpeed + kOutOfView;
    result = std::min(result, ticks);
  }
  return result;
}

bool CComputerPlayer::ConsiderSwitch(const CTankType *tank, bool doomed) {
  const CPlayer *me = Players[Side];
  if (me->TankCount < 2 || Figures.SwitchEvery <= 0)
    return false;
  // It looks at its other tanks now and then, and at once when the tank in
  // its hands is about to be hit.
  if (!doomed && Clock - LastSwitchLook < Figures.SwitchEvery)
    return false;
  LastSwitchLook = Clock;
  double mine = doomed ? kHopeless : Prospect(tank);
  // Shut in: no enemy tank can be reached from here.
  if (Failures >= Players[3 - Side]->TankCount) {
    mine = kHopeless;
    for (int i = 0; i < kMaxTanksPerPlayer; ++i)
      if (Mine[i] == tank)
        ShutIn[i] = true;
  }
  const CTankType *other = nullptr;
  double best = kNever;
  for (int32_t s = 1; s <= me->TankCount; ++s) {
    const CTankType *t = Tanks[Side][s];
    if (t == tank)
      continue;
    const double p = Prospect(t) + Figures.Reaction;
    if (p < best) {
      best = p;
      other = t;
    }
  }
  if (other && best + Figures.SwitchMargin < mine) {
    SwitchTo = other;
    return true;
  }
  return false;
}

void CComputerPlayer::ChooseTarget(const CTankType *tank) {
  const CPlayer *enemy = Players[3 - Side];
  const CTankType *best = nullptr;
  double bestCost = kNever;
  for (int32_t s = 1; s <= enemy->TankCount; ++s) {
    const CTankType *e = Tanks[3 - Side][s];
    const int i = Seen.Index(e);
    const TPointF at = Seen.At(i);
    const double d = Distance(tank->Pos, at);
    double cost;
    if (InView(tank, at))
      cost = std::fabs(AngleTo(tank->Angle, Bearing(tank->Pos, at))) / kTurnStep + d / kBulletSpeed;
    else
      cost = d / kTankSpeed + kOutOfView;
    if (Unreachable[i])
      cost += kUnreachable;
    if (e == Target)
      cost -= kLoyalty;
    if (cost < bestCost) {
      bestCost = cost;
      best = e;
    }
  }
  if (best != Target) {
    Target = best;
    ShotsAtTarget = 0;
    ErrorAngle = AimErrorDraw();
    AlignedMisses = AlignedTicks = 0;
    StopApproach();
  }
}

TDrive CComputerPlayer::Aim(const CTankType *tank) {
  const int i = Seen.Index(Target);
  // Without leading, it shoots at where it saw the target last.
  const int32_t reaction = Figures.Reaction;
  const TPointF v = Figures.Leads ? Seen.Velocity(i) : TPointF{};
  const TPointF seen = Seen.At(i);
  const TPointF guess{seen.X + v.X * reaction, seen.Y + v.Y * reaction};
  // Lead a moving target: where it will be when the bullet gets there,
  // found in two rounds.
  TPointF aimAt = guess;
  for (int n = 0; n < 2; ++n) {
    const double t = Distance(tank->BarrelTip, aimAt) / kBulletSpeed;
    aimAt = {guess.X + v.X * t, guess.Y + v.Y * t};
  }
  // Its aim is off by ErrorAngle: it believes the target stands aside.
  const double d = Distance(tank->Pos, guess);
  const double b = Bearing(tank->Pos, guess);
  const TPointF believed{guess.X - std::sin(b) * d * ErrorAngle,
                         guess.Y + std::cos(b) * d * ErrorAngle};
  const float ahead = AngleAhead(tank);
  const double diff = AngleTo(ahead, Bearing(tank->Pos, aimAt) + ErrorAngle);
  const TDrive toward = diff > 0 ? drRight : drLeft;
  if (std::fabs(diff) > kTurnFirst) {
    AlignedTicks = 0;
    return toward;
  }
  if (IsEnemy(ShotHits(tank, ahead, believed, v))) {
    AlignedMisses = 0;
    if (++AlignedTicks > Figures.ShotPause && tank->CanShoot())
      Tap(Players[Side]->KeyShoot);
    return drStand;
  }
  AlignedTicks = 0;
  // The least turn either way may bring the shot onto the target.
  const bool first = diff > 0;
  for (bool right : {first, !first}) {
    float angle = ahead;
    for (int32_t k = Hands.LeastTurn(right); k > 0; --k)
      angle = CTankType::TurnedAngle(angle, right);
    if (IsEnemy(ShotHits(tank, angle, believed, v)))
      return right ? drRight : drLeft;
  }
  // A turn must bring the heading nearer, not merely to the other side.
  if (std::fabs(diff) > Hands.LeastTurn(first) * kTurnStep / 2 + 0.001)
    return toward;
  // Lined up, yet the shot would miss: too far for the turns' steps, or
  // something stands in the way. Come closer.
  ++AlignedMisses;
  // A while without a shot: it looks again and aims afresh.
  if (AlignedMisses % kRedrawAfter == 0)
    ErrorAngle = AimErrorDraw();
  if (d > kCloseEnough && v.X == 0 && v.Y == 0 && Planner.DriveClear(tank->Pos, guess))
    return drForward;
  if (AlignedMisses > kApproachAfter)
    ApproachFrom(d);
  return drStand;
}

// The heading error it accepts before it turns from standing: a little
// over half the least turn its keys make.
double CComputerPlayer::StandTolerance() const {
  return Hands.LeastTurn(false) * kTurnStep * 0.6;
}

// Without a route: towards the point where the way ahead is clear, else
// along the nearest clear heading to either side of it.
TDrive CComputerPlayer::HeadFor(const CTankType *tank, TPointF point) {
  static constexpr double kDetours[] = {0, 0.4, -0.4, 0.8, -0.8, 1.2, -1.2, 1.6, -1.6};
  const double bearing = Bearing(tank->Pos, point);
  double heading = bearing;
  for (double detour : kDetours) {
    const double a = bearing + detour;
    const TPointF ahead{tank->Pos.X + kLookAhead * std::cos(a),
                        tank->Pos.Y + kLookAhead * std::sin(a)};
    if (Planner.DriveClear(tank->Pos, ahead)) {
      heading = a;
      break;
    }
  }
  const double diff = AngleTo(AngleAhead(tank), heading);
  if (std::fabs(diff) > kDriveTolerance || !CanDrive(Side, tank))
    return diff > 0 ? drRight : drLeft;
  return drForward;
}

TDrive CComputerPlayer::Steer(const CTankType *tank, TPointF point) {
  const double diff = AngleTo(AngleAhead(tank), Bearing(tank->Pos, point));
  const double tolerance = Driving ? kDriveTolerance : StandTolerance();
  if (std::fabs(diff) > tolerance)
    return diff > 0 ? drRight : drLeft;
  if (CanDrive(Side, tank)) {
    Backing.Driven();
    return drForward;
  }
  // Something stands in the way: plan again from here, and if that leads
  // the same way, back off from the nearest wall first.
  ReplanNow = true;
  Backing.Refused(tank);
  return drStand;
}

TDrive CComputerPlayer::Travel(const CTankType *tank) {
  const int i = Seen.Index(Target);
  const TPointF at = Seen.At(i);
  // While the map of free ground is built: straight for the target.
  if (!Planner.Ready())
    return HeadFor(tank, at);
  // A plan is due when asked for, for another tank or target, and now and
  // then when the target has moved or no route was found.
  const bool stale =
      ReplanNow || PlanTank != tank || PlanTarget != Target ||
      Planner.State() == CPathPlanner::psIdle ||
      (Clock - PlannedAt >= Figures.ReplanEvery &&
       (Distance(PlanTargetAt, at) > kTargetMoved || Planner.State() != CPathPlanner::psFound));
  if (stale && Planner.State() != CPathPlanner::psSearching) {
    TPointF others[kMaxPlayers * kMaxTanksPerPlayer];
    int n = 0;
    for (int32_t p = 1; p <= PlayerCount; ++p)
      for (int32_t s = 1; s <= Players[p]->TankCount; ++s)
        if (Tanks[p][s] != tank && Tanks[p][s] != Target)
          others[n++] = Tanks[p][s]->Pos;
    Planner.Start(tank->Pos, at, PlanRange(), others, n);
    PlanTank = tank;
    PlanTarget = Target;
    PlanTargetAt = at;
    PlannedAt = Clock;
    ReplanNow = false;
  }
  switch (Planner.Search(kSearchCells)) {
  case CPathPlanner::psFailed:
    // No nearer place, or no place at all: another target for a while,
    // and meanwhile out of here, roughly its way.
    StopApproach();
    Unreachable[i] = true;
    ++Failures;
    Target = nullptr;
    Planner.Clear();
    return HeadFor(tank, at);
  case CPathPlanner::psFound: {
    TPointF point;
    if (Planner.NextPoint(tank->Pos, point))
      return Steer(tank, point);
    // At the route's end: aim from here, or look again.
    ReplanNow = true;
    StopApproach();
    AlignedMisses = 0;
    return drStand;
  }
  default:
    // While it plans, it goes on as it was, or heads for the target.
    return Driving ? drForward : HeadFor(tank, at);
  }
}
