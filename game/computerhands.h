// The computer's hands: the four keys of its side, pressed and let go no
// faster than a person does, and what the keys it held had its tank do.
#pragma once

#include "game/computerlevels.h"

#include <cstdint>

// Where the computer's key presses go: the window's key-down and key-up
// handlers, as one more key source beside the keyboard and the pads.
class IComputerKeys {
public:
  virtual void ComputerKeyDown(uint16_t key) = 0;
  virtual void ComputerKeyUp(uint16_t key) = 0;

protected:
  ~IComputerKeys() = default;
};

// What the turn keys have the tank do on the next tick: stand, turn or
// drive (both held).
enum TDrive : int32_t { drStand, drLeft, drRight, drForward };

class CComputerHands {
public:
  // Side is the player number, 1 (red) or 2 (blue); the figures give the
  // least gaps between its presses.
  CComputerHands(int32_t side, const TComputerFigures &figures, IComputerKeys *keys);

  // The most ticks its keys may act late: the heading ahead looks back no
  // further.
  static constexpr int32_t kMostKeyDelay = 8;

  // A game starts: no key is held (the window has let go of them with the
  // game's end) and every gap has long passed.
  void NewGame();
  // Lets go of every key it holds.
  void ReleaseAll();
  bool Holds(uint16_t key) const;
  // What the turn keys it holds have the tank do.
  TDrive Drive() const;
  // Moves the turn keys towards `drive` on tick `clock`, as a person
  // would: no sooner than the turn key gap after the last change (unless
  // it must stop), and a turn the other way only a moment after the last
  // turn ended, letting go first.
  void SetDrive(TDrive drive, int64_t clock, bool mustStop);
  // A quick press and release, as for a shot or a switch, no sooner than
  // the tap gap after the last. Says whether it pressed.
  bool Tap(uint16_t key, int64_t clock);
  // The tick is done: remembers what its keys have the tank do.
  void EndTick();
  // A heading once the turns its keys made over its last `keyDelay` ticks
  // have acted.
  float AngleAhead(float angle, int32_t keyDelay) const;
  // The fewest steps a turn that way lasts from now: one more while it
  // turns that way, else as long as its keys must stay down.
  int32_t LeastTurn(bool right) const;

private:
  void Down(uint16_t key);
  void Up(uint16_t key);

  int32_t Side;
  int32_t TurnKeyGap, TapGap, ReverseGap, ReverseEvery;
  IComputerKeys *Keys;
  uint16_t Held[4] = {};
  int32_t HeldCount = 0;
  // What its keys had the tank do at the end of each of its last ticks.
  TDrive HeldAfter[kMostKeyDelay] = {};
  int32_t HeldTicks = 0;
  int64_t TurnKeysChangedAt = 0;
  int64_t TappedAt = 0;
  // The last turn, and the tick it ended on.
  TDrive LastTurn = drStand;
  int64_t TurnEndedAt = 0;
  int64_t ReversedAt = 0;
};
