#include "net/netgame.h"

#include "game/battlefield.h"
#include "game/gamewindow.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// The field a window offers: its outer and client sizes and the status
// bars' height. Both sides must have the same to show the same game.
void FieldOf(const TGameWindow &window, uint16_t (&field)[5]) {
  field[0] = uint16_t(window.Width());
  field[1] = uint16_t(window.Height());
  field[2] = uint16_t(window.ClientWidth());
  field[3] = uint16_t(window.ClientHeight());
  field[4] = uint16_t(window.StatusBarHeight());
}

void Report(const std::string &text) {
  std::fprintf(stderr, "zoftrel: %s\n", text.c_str());
}

} // namespace

TNetGame::TNetGame(TNetSession &session, INetGameWindow &window)
    : Session(session), Window(window) {
  NetworkGame = true;
  Session.Idle = true;
  FieldOf(*GameWindow, Session.Field);
  if (Session.LocalSide == 1)
    Window.NetShow("Waiting for the other player. Connect code: " + Session.Code.Format());
  else
    Window.NetShow("Joining...");
}

TNetGame::~TNetGame() {
  NetworkGame = false;
}

int64_t TNetGame::Clock() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int TNetGame::KeyIndex(uint16_t key) {
  for (int p = 1; p <= kMaxPlayers; ++p) {
    const CPlayer *player = Players[p];
    const uint16_t keys[4] = {player->KeyRight, player->KeyLeft, player->KeyShoot,
                              player->KeySwitch};
    for (int i = 0; i < 4; ++i)
      if (keys[i] == key)
        return i;
  }
  return -1;
}

void TNetGame::KeyDown(uint16_t key) {
  if (const int i = KeyIndex(key); i >= 0 && Window.GameRunning())
    Session.LocalEvent(uint8_t(evKeyDown | i));
}

void TNetGame::KeyUp(uint16_t key) {
  const int i = KeyIndex(key);
  if (i < 0)
    return;
  // Between games the frames may rest: the release goes at once.
  if (Session.Idle && Session.State == TNetState::Connected)
    SendNow(uint8_t(evKeyUp | i), Now);
  else
    Session.LocalEvent(uint8_t(evKeyUp | i));
}

void TNetGame::FollowIdle() {
  Session.Idle = !Held && !Paused[1] && !Paused[2] && !Window.GameRunning();
}

// The game's flow goes to the other side at once, not with the next frame.
void TNetGame::SendNow(uint8_t event, int64_t nowMs) {
  if (Session.State != TNetState::Connected)
    return;
  WokeHere = WokeHere || Rested;
  Session.LocalEvent(event);
  Session.Flush(nowMs);
}

void TNetGame::AskStart(int64_t nowMs) {
  SendNow(evStart, nowMs);
}

void TNetGame::Hold(int64_t nowMs) {
  Held = true;
  FollowIdle();
  SendNow(evPause, nowMs);
}

void TNetGame::Release(int64_t nowMs) {
  Held = false;
  FollowIdle();
  SendNow(evResume, nowMs);
}

std::string TNetGame::Connected() const {
  const int rtt = Session.RoundTripMs;
  return std::string("Connected: you play ") + (Session.LocalSide == 1 ? "red" : "blue") +
         ". Round trip " +
         (rtt < 0    ? std::string("not measured yet")
          : rtt == 0 ? std::string("under 1 ms")
                     : std::to_string(rtt) + " ms") +
         ", keys take effect " + std::to_string(Session.Delay) + " ticks later.";
}

void TNetGame::ShowConnected() {
  Window.NetShow(Connected());
  RoundTripDue = Session.RoundTripMs < 0;
}

int64_t TNetGame::NextWake(int64_t nowMs) const {
  int64_t at = Session.NextDeadline(nowMs);
  if (!Held && NextFrame >= 0 && Session.FrameReady())
    at = at < 0 ? NextFrame : std::min(at, NextFrame);
  return at < 0 ? -1 : std::max(at, nowMs);
}

bool TNetGame::Follow(int64_t nowMs) {
  if (Session.State == Shown) {
    // The host hears its first round trip soon after the welcome.
    if (Session.State == TNetState::Connected && RoundTripDue && Session.RoundTripMs >= 0)
      ShowConnected();
    if (Session.State == TNetState::Waiting && !Session.HandedReply.empty()) {
      const std::string code = std::move(Session.HandedReply);
      Session.HandedReply.clear();
      Window.NetReplyGiven(code);
    }
    if (Session.State == TNetState::Joining && Session.ReplyWanted && !ReplyAsked) {
      ReplyAsked = true;
      Window.NetReplyWanted();
    }
    if (Session.State == TNetState::Joining && Session.Message != Advice) {
      // Nothing heard from the host yet: what would help.
      Advice = Session.Message;
      Report(Advice);
      Window.NetShow(Advice);
    }
    if (Session.State == TNetState::Waiting && !Session.Message.empty() &&
        Session.Message != Refusal) {
      // A joiner with another build was refused: say so, and keep waiting.
      Refusal = Session.Message;
      Report(Refusal);
      Window.NetShow(Refusal + ". Still waiting; connect code: " + Session.Code.Format());
    }
    return true;
  }
  Shown = Session.State;
  switch (Session.State) {
  case TNetState::Connected: {
    // The field is the host's: a window of another size would not show
    // the same game.
    uint16_t mine[5];
    FieldOf(*GameWindow, mine);
    if (Session.LocalSide == 2 && !std::equal(mine, mine + 5, Session.Field)) {
      const std::string text = "The host's window is " + std::to_string(Session.Field[0]) + " x " +
                               std::to_string(Session.Field[1]) + ", this one " +
                               std::to_string(mine[0]) + " x " + std::to_string(mine[1]) +
                               ": a network game needs the same size on both screens";
      Window.NetShow(text);
      Report(text);
      Session.Close();
      Shown = TNetState::Closed;
      return true;
    }
    // Both start from the host's battlefield.
    SetRandSeed(Session.Seed);
    TickCount = 0;
    ResetGame();
    NextFrame = nowMs;
    ShowConnected();
    Report(Session.LocalSide == 1 ? "connected: the other player joined" : "connected to the host");
    return true;
  }
  case TNetState::Waiting:
  case TNetState::Joining:
  case TNetState::Closed:
    return true;
  default:
    // Lost, left, refused, apart: the network game ends.
    Window.NetShow(Session.Message);
    Report(Session.Message);
    NextFrame = -1;
    return false;
  }
}

bool TNetGame::Poll(int64_t nowMs) {
  Now = nowMs;
  Session.Poll(nowMs);
  if (!Follow(nowMs))
    return false;
  if (Session.Resting()) {
    Rested = true;
    return true;
  }
  if (Rested) {
    // The frames go on after a rest. Woken by this side's event, they run
    // as soon as the other side's frames come, a round trip after the
    // event; woken by the other side's, half a round trip later, when the
    // other side runs its first: both keep in step from the start.
    if (WokeHere && !Session.FrameReady())
      return true;
    NextFrame = WokeHere ? nowMs : nowMs + std::max(Session.RoundTripMs, 0) / 2;
    Rested = WokeHere = false;
  }
  if (Held || NextFrame < 0 || nowMs < NextFrame || !Session.FrameReady())
    return true;
  Late += nowMs - NextFrame > std::max(1, Session.TickMs / 5);
  ++Frames;
  RunFrame(Session.TakeFrame(nowMs));
  // A frame that waited runs at once; the next keeps the pace, and after
  // a long wait one more follows at once.
  NextFrame += Session.TickMs;
  if (NextFrame < nowMs - Session.TickMs)
    NextFrame = nowMs;
  return true;
}

void TNetGame::RunFrame(const TNetFrame &frame) {
  // The game's flow first, then the keys, red before blue.
  bool running = Window.GameRunning();
  for (int s = 1; s <= kMaxPlayers; ++s) {
    for (int e = 0; e < frame.Side[s].Count; ++e) {
      const uint8_t ev = frame.Side[s].Events[e];
      if (ev == evStart && !running) {
        // Both machines draw the same walls and tanks for every game.
        SetRandSeed(Session.Seed ^ (Games++ * 0x9E3779B9u));
        TickCount = 0;
        ResetGame();
        Window.StartGame();
        running = true;
      } else if (ev == evPause || ev == evResume) {
        Paused[s] = ev == evPause;
        if (s != Session.LocalSide) {
          RoundTripDue = false;
          Window.NetShow(Paused[s] ? "Paused: the other player has the Exit question open"
                                   : "The other player goes on");
        }
      }
    }
  }
  for (int s = 1; s <= kMaxPlayers; ++s) {
    const CPlayer *p = Players[s];
    const uint16_t keys[4] = {p->KeyRight, p->KeyLeft, p->KeyShoot, p->KeySwitch};
    for (int e = 0; e < frame.Side[s].Count; ++e) {
      const uint8_t ev = frame.Side[s].Events[e];
      if (ev <= evKeyDown + 3 && running)
        GameKeyDown(keys[ev - evKeyDown]);
      else if (ev >= evKeyUp && ev <= evKeyUp + 3)
        GameKeyUp(keys[ev - evKeyUp]);
    }
  }
  if (running && !Paused[1] && !Paused[2])
    Window.StepGame();
  State.Capture();
  Session.FrameDone(State);
  // Between games the delay follows the round trip measured so far.
  if (running && !Window.GameRunning())
    Session.UpdateDelay();
  Session.Copies = Window.GameRunning();
  FollowIdle();
  Window.FrameRun(State, running);
}
