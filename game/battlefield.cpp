#include "game/battlefield.h"

#include "game/gamewindow.h"
#include "rtl/sysutils.h"

#include <algorithm>

int32_t PlayerCount = 0;
int32_t TanksPerPlayer = 0;
int32_t BallCount = 0;
int32_t LineCount = 0;
int32_t BallRange = 0;
int32_t TickCount = 0;

CPlayer *Players[kMaxPlayers + 1];
CTankType *Tanks[kMaxPlayers + 1][kMaxTanksPerPlayer + 1];
CBall *Balls[kMaxBalls + 1];
CLine *Lines[kMaxLines + 1];

TGameWindow *GameWindow = nullptr;

namespace {
// Where the game objects live: made afresh by every CreateGameObjects,
// never freed during a run.
CPlayer PlayerObjects[kMaxPlayers];
CTankType TankObjects[kMaxPlayers * kMaxTanksPerPlayer];
CBall BallObjects[kMaxBalls];
CLine LineObjects[kMaxLines];
} // namespace

void CreateGameObjects() {
  struct Keys {
    uint16_t right, left, shoot, next;
  };
  const Keys keys[kMaxPlayers] = {{70, 83, 69, 90}, {102, 100, 104, 96}};
  for (int p = 1; p <= kMaxPlayers; ++p) {
    CPlayer &player = PlayerObjects[p - 1];
    player = CPlayer{};
    player.KeyRight = keys[p - 1].right;
    player.KeyLeft = keys[p - 1].left;
    player.KeyShoot = keys[p - 1].shoot;
    player.KeySwitch = keys[p - 1].next;
    player.Score = 0;
    Players[p] = &player;
  }
  for (int p = 1; p <= kMaxPlayers; ++p) {
    for (int s = 1; s <= kMaxTanksPerPlayer; ++s) {
      CTankType &tank = TankObjects[(p - 1) * kMaxTanksPerPlayer + s - 1];
      tank = CTankType{};
      Tanks[p][s] = &tank;
    }
  }
  for (int i = 1; i <= kMaxBalls; ++i) {
    BallObjects[i - 1] = CBall{};
    Balls[i] = i <= BallCount ? &BallObjects[i - 1] : nullptr;
  }
  for (int i = 1; i <= kMaxLines; ++i) {
    LineObjects[i - 1] = CLine{};
    Lines[i] = &LineObjects[i - 1];
  }
}

void ClearGameObjects() {
  std::fill_n(&Players[0], kMaxPlayers + 1, nullptr);
  std::fill_n(&Tanks[0][0], (kMaxPlayers + 1) * (kMaxTanksPerPlayer + 1), nullptr);
  std::fill_n(&Balls[0], kMaxBalls + 1, nullptr);
  std::fill_n(&Lines[0], kMaxLines + 1, nullptr);
}

void PlaceWalls() {
  const int W = GameWindow->Width(), H = GameWindow->Height();
  Randomize();
  for (int i = 1; i <= 6; ++i) {
    // The first three walls lie in the left half, the others in the right.
    const double left = i <= 3 ? 100 : W * 0.5;
    const double X1 = left + Random(Round(W * 0.5) - 100);
    const double Y1 = 50 + Random(H - 100);
    const double X2 = left + Random(Round(W * 0.5) - 100);
    const double dY = Random(Round(H * 0.5));
    // A wall that would reach into the bottom 80 pixels goes up instead.
    const double Y2 = H - 80 < Y1 + dY ? Y1 - dY : Y1 + dY;
    Lines[i]->SetEnds({X1, Y1}, {X2, Y2});
    Lines[i]->Draw(false);
  }
}

void PlaceTanks() {
  const int W = GameWindow->Width(), H = GameWindow->Height();
  Randomize();
  for (int i = 1; i <= 2; ++i) {
    for (int j = 1; j <= 3; ++j) {
      CTankType *T = Tanks[i][j];
      T->Draw(true, false);
      T->Motion = msNone;
      T->Angle = static_cast<float>(Random(92));
      const int Y = Round((j - 1) * static_cast<double>(H) / TanksPerPlayer + 30) + Random(92);
      const int X = 75 + (i - 1) * (W - 150);
      T->Init(j, X, Y, i);
      T->Draw(false, false);
    }
  }
}

void ResetGame() {
  Players[1]->Active = 2;
  Players[2]->Active = 2;
  Players[1]->Init(1, 255, 0xFF00FF);
  Players[2]->Init(2, 0xFF0000, 0xFFFF00);
  PlaceTanks();
  // Bullets still drawn stay on the window until it is next repainted.
  for (int i = 1; i <= BallCount; ++i)
    Balls[i]->Life = 0;
}

void GameKeyDown(uint16_t key) {
  for (int p = 1; p <= 2; ++p) {
    CPlayer *player = Players[p];
    // The active tank is looked up afresh for every test: a switch changes
    // it.
    if (key == player->KeyRight)
      Tanks[p][player->Active]->SetMotion(msRight);
    if (key == player->KeyLeft)
      Tanks[p][player->Active]->SetMotion(msLeft);
    if (key == player->KeySwitch)
      player->NextTank();
    if (key == player->KeyShoot)
      Tanks[p][player->Active]->Shoot();
  }
}

void GameKeyUp(uint16_t key) {
  for (int p = 1; p <= PlayerCount; ++p) {
    CPlayer *player = Players[p];
    if (key == player->KeyRight)
      Tanks[p][player->Active]->SetMotion(-msRight);
    if (key == player->KeyLeft)
      Tanks[p][player->Active]->SetMotion(-msLeft);
  }
}

void GameTick() {
  ++TickCount;
  for (int p = 1; p <= PlayerCount; ++p)
    for (int s = 1; s <= Players[p]->TankCount; ++s)
      Tanks[p][s]->Step();
  // A game over in here still lets the bullets of higher index fly and hit.
  for (int i = 1; i <= BallCount; ++i)
    if (Balls[i]->Life != 0)
      Balls[i]->Fly();
}
