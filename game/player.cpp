#include "game/player.h"

#include "game/battlefield.h"

void CPlayer::Init(int32_t number, TColor colour, TColor activeColour) {
  Number = number;
  Colour = colour;
  ActiveColour = activeColour;
  TankCount = TanksPerPlayer;
}

int32_t CPlayer::NextTank() {
  CTankType *old = Tanks[Number][Active];
  old->Draw(false, false);
  const int32_t motion = old->Motion;
  old->SetMotion(msNone);
  ++Active;
  if (Active >= TankCount + 1)
    Active = 1;
  CTankType *next = Tanks[Number][Active];
  next->SetMotion(motion > 0 ? motion : msStop);
  next->Draw(false, true);
  return Active;
}
