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
// One tick in days, the unit of the shot's cooldown.
constexpr double kTickDays = TickSeconds / 86400;
// A tank turns this far and drives this far per tick, a bullet flies this
// far; a turn of half a circle takes this many ticks.
const double kTurnStep = std::fabs(double(CTankType::TurnedAngle(0, true)));
const double kTankSpeed = Distance({}, CTankType::StepAhead({}, 0));
const double kBulletSpeed = Distance({}, CBall::StepAhead({}, 0));
const int32_t kHalfTurnTicks = int32_t(std::ceil(kPi / kTurnStep));
// Planning work per tick, in grid rows and in searched cells.
constexpr int kBuildRows = 4;
constexpr int kSearchCells = 150;
// Timestamps before the game: long enough ago for every gap.
constexpr int64_t kLongAgo = -1000;

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
// Blocked this many times on a route, it backs off from the nearest wall
// and drives kEscapeDrive ticks.
constexpr int32_t kBlockedBeforeEscape = 2;
constexpr int32_t kEscapeDrive = 15;
// Without a route yet it heads for its target while the straight way
// ahead is clear this far.
constexpr double kLookAhead = 40;
// The game's pixels past which a target counts as moved for a new route.
constexpr double kTargetMoved = 20;
// A target seen moving faster than a tank can is not led: a switch.
constexpr double kFastestTank = 2.5;
// Keeps this far more from the enemy's active tank than the game does:
// it may come nearer on the same tick.
constexpr double kEnemyMargin = 2.5;
// The planned range to a target: the bullet's reach less kRangeMargin, at
// most kLongestRange pixels.
constexpr double kRangeMargin = 40, kLongestRange = 320;

// Dodging: at most kThreats bullets followed kThreatSteps steps each; a
// bullet passing nearer than its reach and kThreatMargin is a threat, and
// a way out must keep kWayOutMargin from its places. Ways out turn up to
// kMostDodgeTurns ticks, tried every kDodgeTurnStep. With no way out and a
// hit within kDoomedWithin ticks, the tank is lost.
constexpr int kThreats = 4, kThreatSteps = 80;
constexpr double kThreatMargin = 3, kWayOutMargin = 1.5;
constexpr int kMostDodgeTurns = 30, kDodgeTurnStep = 5;
constexpr int kDoomedWithin = 12;

// The difference b − a brought into −π..π.
double AngleTo(double a, double b) {
  return std::remainder(b - a, 2 * kPi);
}

double Bearing(TPointF from, TPointF to) {
  return std::atan2(to.Y - from.Y, to.X - from.X);
}

bool Dead(const CTankType *tank) {
  return tank->Motion < msDead + 500;
}

// The levels. The person models these were set against (see 5 ticks late,
// change the turn keys at most every 2 ticks, tap at most every 3) win
// 60–80 % against easy and 20–40 % against normal (a beginner: no lead,
// no dodging), 40–60 % against normal and 15–35 % against hard (a skilled
// player: leads, dodges by driving on).
constexpr TComputerFigures kLevels[3] = {
    // reaction, aim error, leads, dodging, replan, switch look, switch
    // margin, turn key gap, tap gap, reverse gap, reverse every, shot pause
    {10, 0.045, false, dgNever, 60, 40, 40, 3, 6, 4, 12, 6},      // easy
    {5, 0.025, true, dgDriveOn, 25, 20, 20, 2, 3, 3, 10, 2},      // normal
    {5, 0.022, true, dgTurnAndDrive, 12, 10, 10, 2, 3, 3, 10, 2}, // hard
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

const TComputerFigures &ComputerLevelFigures(TComputerLevel level) {
  return kLevels[std::clamp<int>(level, lvEasy, lvHard)];
}

CComputerPlayer::CComputerPlayer(int32_t side, TComputerLevel level, uint32_t seed,
                                 IComputerKeys *keys)
    : CComputerPlayer(side, ComputerLevelFigures(level), seed, keys) {}

CComputerPlayer::CComputerPlayer(int32_t side, const TComputerFigures &figures, uint32_t seed,
                                 IComputerKeys *keys)
    : Side(side), Figures(figures), Keys(keys) {
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
  // The window has let go of the keys with the game's end.
  HeldCount = 0;
  TurnKeysChangedAt = TappedAt = TurnEndedAt = ReversedAt = kLongAgo;
  LastTurn = drStand;
  Started = false;
  SeenCount = 0;
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
  Blocked = EscapeTurns = EscapeDrive = 0;
  DodgeTurns = 0;
  DodgeUntil = 0;
  Driving = false;
  Doing = stNothing;
  HeldTicks = 0;
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

// A quick press and release, as for a shot or a switch, no sooner than
// TapGap ticks after the last. Says whether it pressed.
bool CComputerPlayer::Tap(uint16_t key) {
  if (Clock - TappedAt < Figures.TapGap)
    return false;
  TappedAt = Clock;
  Keys->ComputerKeyDown(key);
  Keys->ComputerKeyUp(key);
  return true;
}

void CComputerPlayer::SetDrive(TDrive drive) {
  const CPlayer *me = Players[Side];
  const bool heldLeft = Holds(me->KeyLeft), heldRight = Holds(me->KeyRight);
  const TDrive now = heldLeft && heldRight ? drForward
                     : heldLeft            ? drLeft
                     : heldRight           ? drRight
                                           : drStand;
  if (drive == now)
    return;
  // Its keys change no faster than a person's, but a stop in front of a
  // wall or a tank cannot wait.
  const bool mustStop = now == drForward && !CanDrive(Tanks[Side][me->Active]);
  if (Clock - TurnKeysChangedAt < Figures.TurnKeyGap && !mustStop)
    return;
  // A turn the other way comes only a moment after the last turn ended:
  // first it lets go.
  const bool turning = now == drLeft || now == drRight;
  const TDrive last = turning ? now : LastTurn;
  if ((drive == drLeft || drive == drRight) && last != drStand && last != drive) {
    // Nor does it turn back and forth: a reversal waits for the last.
    const bool tooSoon =
        Clock - TurnEndedAt < Figures.ReverseGap || Clock - ReversedAt < Figures.ReverseEvery;
    if (turning || (tooSoon && mustStop))
      drive = drStand;
    else if (tooSoon)
      return;
    else
      ReversedAt = Clock;
  }
  if (drive == now)
    return;
  if (turning) {
    LastTurn = now;
    TurnEndedAt = Clock;
  }
  TurnKeysChangedAt = Clock;
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
  return FreeAt(tank, CTankType::StepAhead(tank->Pos, tank->Angle), kEnemyMargin);
}

// The one simulation of a bullet's flight, step by step as the game flies
// it: a tank within reach of a step's end stops it before a wall does.
CComputerPlayer::TFlight CComputerPlayer::Fly(TPointF from, float angle, int32_t steps,
                                              const TForesight &foresee, TPointF *path) const {
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

const CTankType *CComputerPlayer::ShotHits(const CTankType *tank, float angle, TPointF targetAt,
                                           TPointF targetStep) const {
  const TPointF tip =
      angle == tank->Angle ? tank->BarrelTip : CTankType::BarrelTipAt(tank->Pos, angle);
  return Fly(tip, angle, BallRange, {Target, targetAt, targetStep, false}).Hit;
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

int CComputerPlayer::EnemyIndex(const CTankType *tank) const {
  for (int i = 0; i < 3; ++i)
    if (Enemy[i] == tank)
      return i;
  return 0;
}

TPointF CComputerPlayer::PerceivedAt(int enemy, int ticksBack) const {
  ticksBack = std::clamp(ticksBack, 0, std::min<int>(SeenCount - 1, kMemory - 1));
  return Seen[(SeenCount - 1 - ticksBack) % kMemory][enemy];
}

TPointF CComputerPlayer::Perceived(int enemy) const {
  return PerceivedAt(enemy, Figures.Reaction);
}

TPointF CComputerPlayer::Velocity(int enemy) const {
  if (SeenCount < Figures.Reaction + 2)
    return {};
  const TPointF a = PerceivedAt(enemy, Figures.Reaction + 1), b = Perceived(enemy);
  const TPointF v{b.X - a.X, b.Y - a.Y};
  if (std::hypot(v.X, v.Y) > kFastestTank)
    return {};
  return v;
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
  for (int w = 1; w <= LineCount && w <= 6; ++w)
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
  if (Dead(tank) || Dead(Tanks[3 - Side][1]) || enemy->TankCount < 1)
    return;
  TDrive drive = drStand;
  Doing = Decide(tank, drive);
  // Never against a wall or a tank.
  if (drive == drForward && !CanDrive(tank))
    drive = drStand;
  SetDrive(drive);
  Driving = Holds(me->KeyLeft) && Holds(me->KeyRight);
  const bool left = Holds(me->KeyLeft), right = Holds(me->KeyRight);
  HeldAfter[HeldTicks++ % kMostKeyDelay] = left && right ? drForward
                                           : left        ? drLeft
                                           : right       ? drRight
                                                         : drStand;
}

float CComputerPlayer::AngleAhead(const CTankType *tank) const {
  float angle = tank->Angle;
  for (int32_t k = std::min({KeyDelay, kMostKeyDelay, HeldTicks}); k > 0; --k) {
    const TDrive held = HeldAfter[(HeldTicks - k) % kMostKeyDelay];
    if (held == drLeft || held == drRight)
      angle = CTankType::TurnedAngle(angle, held == drRight);
  }
  return angle;
}

// What it sees this tick, and what it must forget.
void CComputerPlayer::Observe(const CTankType *tank) {
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

  TPointF *row = Seen[SeenCount % kMemory];
  for (int i = 0; i < 3; ++i)
    row[i] = Enemy[i]->Pos;
  ++SeenCount;

  if (tank != Tank) {
    // Another tank is in its hands: a switch, or the last one was hit.
    Tank = tank;
    StopApproach();
    Target = nullptr;
    Planner.Clear();
    Failures = 0;
    std::fill(std::begin(Unreachable), std::end(Unreachable), false);
    Wait = std::max(Wait, Figures.Reaction);
    DodgeUntil = 0;
    EscapeTurns = EscapeDrive = 0;
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
  if (Figures.Dodging != dgNever && Dodge(tank, drive, doomed))
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
  if (EscapeTurns > 0 || EscapeDrive > 0) {
    drive = BackOff(tank);
    return stBackingOff;
  }
  // 7. Aim and shoot where the target is in view, else travel to a place
  // from which it will be.
  if (ApproachRange == 0 && InView(tank, Perceived(EnemyIndex(Target)))) {
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

bool CComputerPlayer::Dodge(const CTankType *tank, TDrive &drive, bool &doomed) {
  // The bullets it has noticed that would pass within reach of the tank
  // where it stands, with their coming places.
  TPointF path[kThreats][kThreatSteps];
  int length[kThreats];
  int threats = 0, firstHit = kThreatSteps;
  for (int32_t b = 1; b <= BallCount && threats < kThreats; ++b) {
    const CBall *ball = Balls[b];
    if (ball->Life == 0 || ball->Life <= Figures.Reaction)
      continue;
    const int32_t steps = std::min(BallRange + 1 - ball->Life, int32_t(kThreatSteps));
    const TFlight flight = Fly(ball->Pos, ball->Angle, steps, {tank, {}, {}, true}, path[threats]);
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
    DodgeUntil = 0;
    return false;
  }
  // A way out chosen on an earlier tick is followed to its end.
  if (Clock < DodgeUntil) {
    drive = NextDodgeStep();
    return true;
  }
  int horizon = 0;
  for (int t = 0; t < threats; ++t)
    horizon = std::max(horizon, length[t]);
  // Ways out: drive on at once, or turn a while either way and then drive.
  const int most = Figures.Dodging == dgTurnAndDrive ? kMostDodgeTurns : 0;
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
          if (FreeAt(tank, next, kEnemyMargin))
            pos = next;
          else if (k == turns)
            break; // it could not even start
        }
        for (int t = 0; t < threats && !hit; ++t)
          hit = k < length[t] &&
                Distance(pos, path[t][k]) < tank->Radius + CBall::HitMargin + kWayOutMargin;
      }
      if (!hit && (turns > 0 || CanDrive(tank))) {
        DodgeTurn = right ? drRight : drLeft;
        DodgeTurns = turns;
        DodgeUntil = Clock + horizon;
        drive = NextDodgeStep();
        return true;
      }
    }
  }
  doomed = firstHit < kDoomedWithin;
  return false;
}

double CComputerPlayer::Prospect(const CTankType *tank) const {
  // A tank in view is a tick from a shot for every kPixelsPerTickInView
  // pixels it is away, besides the turn and the cooling; one out of view
  // needs the drive there and kOutOfView.
  constexpr double kPixelsPerTickInView = 40;
  for (int i = 0; i < 3; ++i)
    if (Mine[i] == tank && ShutIn[i])
      return kHopeless;
  const CPlayer *enemy = Players[3 - Side];
  const double cooling = CoolingTicks(tank);
  double result = kNever;
  for (int32_t s = 1; s <= enemy->TankCount; ++s) {
    const CTankType *e = Tanks[3 - Side][s];
    const TPointF at = Perceived(EnemyIndex(e));
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
    for (int i = 0; i < 3; ++i)
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
    const int i = EnemyIndex(e);
    const TPointF at = Perceived(i);
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

// The next step of the way out chosen: its turns, then driving on.
CComputerPlayer::TDrive CComputerPlayer::NextDodgeStep() {
  if (DodgeTurns > 0) {
    --DodgeTurns;
    return DodgeTurn;
  }
  return drForward;
}

CComputerPlayer::TDrive CComputerPlayer::Aim(const CTankType *tank) {
  const int i = EnemyIndex(Target);
  // Without leading, it shoots at where it saw the target last.
  const int32_t reaction = Figures.Reaction;
  const TPointF v = Figures.Leads ? Velocity(i) : TPointF{};
  const TPointF seen = Perceived(i);
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
    for (int32_t k = LeastTurn(right); k > 0; --k)
      angle = CTankType::TurnedAngle(angle, right);
    if (IsEnemy(ShotHits(tank, angle, believed, v)))
      return right ? drRight : drLeft;
  }
  // A turn must bring the heading nearer, not merely to the other side.
  if (std::fabs(diff) > LeastTurn(first) * kTurnStep / 2 + 0.001)
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
  return LeastTurn(false) * kTurnStep * 0.6;
}

// The fewest steps a turn that way lasts from now: one more while it turns
// that way, else as long as its keys must stay down.
int32_t CComputerPlayer::LeastTurn(bool right) const {
  const CPlayer *me = Players[Side];
  const bool left = Holds(me->KeyLeft), r = Holds(me->KeyRight);
  if (left != r && r == right)
    return 1;
  return std::max(Figures.TurnKeyGap, 1);
}

// Without a route: towards the point where the way ahead is clear, else
// along the nearest clear heading to either side of it.
CComputerPlayer::TDrive CComputerPlayer::HeadFor(const CTankType *tank, TPointF point) {
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
  if (std::fabs(diff) > kDriveTolerance || !CanDrive(tank))
    return diff > 0 ? drRight : drLeft;
  return drForward;
}

CComputerPlayer::TDrive CComputerPlayer::Steer(const CTankType *tank, TPointF point) {
  const double diff = AngleTo(AngleAhead(tank), Bearing(tank->Pos, point));
  const double tolerance = Driving ? kDriveTolerance : StandTolerance();
  if (std::fabs(diff) > tolerance)
    return diff > 0 ? drRight : drLeft;
  if (CanDrive(tank)) {
    Blocked = 0;
    return drForward;
  }
  // Something stands in the way: plan again from here, and if that leads
  // the same way, back off from the nearest wall first.
  ReplanNow = true;
  if (++Blocked >= kBlockedBeforeEscape) {
    Blocked = 0;
    StartBackOff(tank);
  }
  return drStand;
}

void CComputerPlayer::StartBackOff(const CTankType *tank) {
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
      EscapeAngle = Bearing({line->P1.X + t * dx, line->P1.Y + t * dy}, tank->Pos);
    }
  }
  EscapeTurns = kHalfTurnTicks;
  EscapeDrive = kEscapeDrive;
}

CComputerPlayer::TDrive CComputerPlayer::BackOff(const CTankType *tank) {
  if (EscapeTurns > 0) {
    const double diff = AngleTo(tank->Angle, EscapeAngle);
    if (std::fabs(diff) > StandTolerance()) {
      --EscapeTurns;
      return diff > 0 ? drRight : drLeft;
    }
    EscapeTurns = 0;
  }
  --EscapeDrive;
  return CanDrive(tank) ? drForward : drStand;
}

CComputerPlayer::TDrive CComputerPlayer::Travel(const CTankType *tank) {
  const int i = EnemyIndex(Target);
  const TPointF at = Perceived(i);
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
    TPointF others[6];
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
