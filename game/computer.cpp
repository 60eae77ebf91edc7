#include "game/computer.h"

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
    : Side(side), Level(level), Keys(keys), Seed(seed) {}

void CComputerPlayer::NewGame() {
  HeldCount = 0;
}

void CComputerPlayer::Tick() {}

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
