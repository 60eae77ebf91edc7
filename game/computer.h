// The computer player: plays one side by the same rules as a person,
// through that side's four keys. It reads only what a player sees (tanks,
// walls, bullets in flight) and draws its human-like errors from a
// generator of its own, never from the game's Random.
#pragma once

#include <cstdint>
#include <string_view>

enum TComputerLevel : int32_t { lvEasy, lvNormal, lvHard };

// Reads "easy", "normal" or "hard"; says whether the text named a level.
bool ParseComputerLevel(std::string_view text, TComputerLevel &level);
const char *ComputerLevelName(TComputerLevel level);

// Where the computer's key presses go: the window's key-down and key-up
// handlers, as one more key source beside the keyboard and the pads.
class IComputerKeys {
public:
  virtual void ComputerKeyDown(uint16_t key) = 0;
  virtual void ComputerKeyUp(uint16_t key) = 0;

protected:
  ~IComputerKeys() = default;
};

class CComputerPlayer {
public:
  // Side is the player number, 1 (red) or 2 (blue).
  CComputerPlayer(int32_t side, TComputerLevel level, uint32_t seed, IComputerKeys *keys);

  int32_t Side;
  TComputerLevel Level;

  // A game starts: forget what was seen and planned. No key is held.
  void NewGame();
  // Once per timer tick, after the game's own work for the tick: looks at
  // the field and presses or releases its side's keys.
  void Tick();
  // The game is over: lets go of every key it holds.
  void ReleaseAll();
  // Whether it holds the key now.
  bool Holds(uint16_t key) const;

private:
  IComputerKeys *Keys;
  uint32_t Seed;
  uint16_t Held[4] = {};
  int32_t HeldCount = 0;
};
