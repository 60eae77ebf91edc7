// The battlefield: the game's global counts and tables, and the routines
// that make its objects, place walls and tanks and start a game.
#pragma once

#include "game/ball.h"
#include "game/line.h"
#include "game/player.h"
#include "game/tank.h"

#include <cstdint>

// Global counts, set by the main window as it is made.
extern int32_t PlayerCount;
extern int32_t TanksPerPlayer;
extern int32_t BallCount;
extern int32_t LineCount;
// Timer ticks a bullet flies before it stops.
extern int32_t BallRange;
// The main loop's timer interval: one tick, 50 ms.
constexpr double TickSeconds = 0.05;
// Main-loop ticks since the program started; a network game's shot
// cooldown counts them.
extern int32_t TickCount;

// The game's tables, indexed from 1 as the game counts: players 1 (red)
// and 2 (blue); each player's fleet, slots 1..3, of which the first
// TankCount hold the live tanks; the bullet pool, slots 1..BallCount of
// room for 50; the walls. The objects are made once, at start-up, and live
// until the program ends; a new game reuses them.
constexpr int kMaxPlayers = 2;
constexpr int kMaxTanksPerPlayer = 3;
constexpr int kMaxBalls = 50;
constexpr int kMaxLines = 6;
extern CPlayer *Players[kMaxPlayers + 1];
extern CTankType *Tanks[kMaxPlayers + 1][kMaxTanksPerPlayer + 1];
extern CBall *Balls[kMaxBalls + 1];
extern CLine *Lines[kMaxLines + 1];

// The players with their keys and a zero score, six tanks, the bullet pool
// (BallCount of them) and six walls, all with every other field 0.
void CreateGameObjects();
// Empties the tables, when the window whose game they held goes.
void ClearGameObjects();
// Gives the six walls new random ends, three in each half of the window,
// and draws them.
void PlaceWalls();
// Puts all six tanks on their start positions and draws them.
void PlaceTanks();
// Starts a game: player values, tank placement, idle bullets. Scores and
// keys stay.
void ResetGame();

// A key pressed during a game: the players' keys steer, switch or fire
// their active tanks.
void GameKeyDown(uint16_t key);
// A key let go: the turn keys' releases reach the active tanks.
void GameKeyUp(uint16_t key);
// The game's share of a main-loop tick: every live tank steps, then every
// bullet in flight flies.
void GameTick();
