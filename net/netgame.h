// The battlefield played over a network session: the frame loop that runs
// a frame when it is due and both sides' events for it are known, the
// events applied to the battlefield, the seed of every game, the state
// hash handed back after each frame, and what the session's states mean
// for the player. The program it runs in (the main window, or a test
// without one) plugs in through INetGameWindow and forwards its keys.
#pragma once

#include "net/session.h"
#include "net/statehash.h"

#include <cstdint>
#include <string>

// What a network game asks of the program it is played in.
class INetGameWindow {
public:
  virtual ~INetGameWindow() = default;
  // The status line says this now.
  virtual void NetShow(const std::string &text) = 0;
  // A joiner has heard nothing from the host for a few seconds: the time
  // to offer a reply code.
  virtual void NetReplyWanted() {}
  // A waiting host was handed a reply code on this machine (--reply).
  virtual void NetReplyGiven(const std::string &code) { (void)code; }
  // A game is on: started and not over.
  virtual bool GameRunning() const = 0;
  // A game starts on this frame, on the battlefield just reset from the
  // game's seed: the walls, the screen, the computer's new game.
  virtual void StartGame() = 0;
  // The main loop's step, in a frame of a running game that nobody
  // pauses.
  virtual void StepGame() = 0;
  // The frame has been run and its state recorded; a game ran in it when
  // `running`.
  virtual void FrameRun(const TStateHash &state, bool running) {
    (void)state;
    (void)running;
  }
};

class TNetGame {
public:
  // The session (hosting or joining, TickMs set) and the window; the field
  // the host offers is GameWindow's. From now on the battlefield plays by
  // the network game's rules, until the game goes.
  TNetGame(TNetSession &session, INetGameWindow &window);
  ~TNetGame();
  TNetGame(const TNetGame &) = delete;
  TNetGame &operator=(const TNetGame &) = delete;

  // Reads the socket, follows the session's state and runs the frame that
  // is due, if its events are known; one frame at most. False once the
  // network game has ended (lost, left, refused, apart), the status line
  // saying why.
  bool Poll(int64_t nowMs);
  // When Poll next has work that no datagram brings: the next frame, if
  // its events are known, or the session's next deadline; never before
  // now, -1 when only a datagram can bring any.
  int64_t NextWake(int64_t nowMs) const;

  // A key of this machine: either side's key steers this machine's side.
  // Presses count while a game runs, releases always.
  void KeyDown(uint16_t key);
  void KeyUp(uint16_t key);
  // Start game: both games start on the frame that carries the press.
  void AskStart(int64_t nowMs);
  // The Exit question opens here: no frames run until it closes, and the
  // other side pauses on the frame that carries it.
  void Hold(int64_t nowMs);
  void Release(int64_t nowMs);

  // The steady clock in ms, for the times handed in.
  static int64_t Clock();
  // Which of a side's four keys a code is: right, left, shoot, switch;
  // -1 for none.
  static int KeyIndex(uint16_t key);

  TNetSession &Session;
  // Each side pauses while it has the Exit question open.
  bool Paused[3] = {};
  // Frames run, and of them those run more than a fifth of a frame after
  // they were due.
  int64_t Frames = 0, Late = 0;

private:
  void SendNow(uint8_t event, int64_t nowMs);
  // Tells the session whether a game runs or anybody pauses.
  void FollowIdle();
  // What a change of the session's state means; false when the game ends.
  bool Follow(int64_t nowMs);
  void RunFrame(const TNetFrame &frame);
  std::string Connected() const;
  void ShowConnected();

  INetGameWindow &Window;
  TNetState Shown = TNetState::Closed;
  std::string Refusal;
  bool Held = false;
  bool ReplyAsked = false;
  std::string Advice;
  // The status line says connected before a round trip was measured.
  bool RoundTripDue = false;
  uint32_t Games = 0;
  int64_t NextFrame = -1;
  // The frames rested at the last poll; this side's own event woke them.
  bool Rested = false, WokeHere = false;
  // The time of the last poll, for the events that come between polls.
  int64_t Now = 0;
  TStateHash State;
};
