#include "game/computerhands.h"

#include "game/battlefield.h"

#include <algorithm>

namespace {

// Timestamps before the game: long enough ago for every gap.
constexpr int64_t kLongAgo = -1000;

} // namespace

CComputerHands::CComputerHands(int32_t side, const TComputerFigures &figures, IComputerKeys *keys)
    : Side(side), TurnKeyGap(figures.TurnKeyGap), TapGap(figures.TapGap),
      ReverseGap(figures.ReverseGap), ReverseEvery(figures.ReverseEvery), Keys(keys) {}

void CComputerHands::NewGame() {
  HeldCount = 0;
  TurnKeysChangedAt = TappedAt = TurnEndedAt = ReversedAt = kLongAgo;
  LastTurn = drStand;
  HeldTicks = 0;
}

void CComputerHands::ReleaseAll() {
  while (HeldCount > 0)
    Keys->ComputerKeyUp(Held[--HeldCount]);
}

bool CComputerHands::Holds(uint16_t key) const {
  for (int32_t i = 0; i < HeldCount; ++i)
    if (Held[i] == key)
      return true;
  return false;
}

TDrive CComputerHands::Drive() const {
  const CPlayer *me = Players[Side];
  const bool left = Holds(me->KeyLeft), right = Holds(me->KeyRight);
  return left && right ? drForward : left ? drLeft : right ? drRight : drStand;
}

void CComputerHands::Down(uint16_t key) {
  if (Holds(key))
    return;
  Held[HeldCount++] = key;
  Keys->ComputerKeyDown(key);
}

void CComputerHands::Up(uint16_t key) {
  for (int32_t i = 0; i < HeldCount; ++i) {
    if (Held[i] == key) {
      Held[i] = Held[--HeldCount];
      Keys->ComputerKeyUp(key);
      return;
    }
  }
}

bool CComputerHands::Tap(uint16_t key, int64_t clock) {
  if (clock - TappedAt < TapGap)
    return false;
  TappedAt = clock;
  Keys->ComputerKeyDown(key);
  Keys->ComputerKeyUp(key);
  return true;
}

void CComputerHands::SetDrive(TDrive drive, int64_t clock, bool mustStop) {
  const TDrive now = Drive();
  if (drive == now)
    return;
  if (clock - TurnKeysChangedAt < TurnKeyGap && !mustStop)
    return;
  // A turn the other way comes only a moment after the last turn ended:
  // first it lets go.
  const bool turning = now == drLeft || now == drRight;
  const TDrive last = turning ? now : LastTurn;
  if ((drive == drLeft || drive == drRight) && last != drStand && last != drive) {
    // Nor does it turn back and forth: a reversal waits for the last.
    const bool tooSoon = clock - TurnEndedAt < ReverseGap || clock - ReversedAt < ReverseEvery;
    if (turning || (tooSoon && mustStop))
      drive = drStand;
    else if (tooSoon)
      return;
    else
      ReversedAt = clock;
  }
  if (drive == now)
    return;
  if (turning) {
    LastTurn = now;
    TurnEndedAt = clock;
  }
  TurnKeysChangedAt = clock;
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

void CComputerHands::EndTick() {
  HeldAfter[HeldTicks++ % kMostKeyDelay] = Drive();
}

float CComputerHands::AngleAhead(float angle, int32_t keyDelay) const {
  for (int32_t k = std::min({keyDelay, kMostKeyDelay, HeldTicks}); k > 0; --k) {
    const TDrive held = HeldAfter[(HeldTicks - k) % kMostKeyDelay];
    if (held == drLeft || held == drRight)
      angle = CTankType::TurnedAngle(angle, held == drRight);
  }
  return angle;
}

int32_t CComputerHands::LeastTurn(bool right) const {
  const TDrive now = Drive();
  if ((now == drLeft || now == drRight) && (now == drRight) == right)
    return 1;
  return std::max(TurnKeyGap, 1);
}
