// One side of a network game without a window: the battlefield in a fake
// window and the computer playing this side, in lockstep with a peer
// process through a real UDP session. The tests start two of them.
//
//   lockstep_peer --host[=PORT] | --join=CODE  [--games=N] [--level=LEVEL]
//                 [--tick-ms=MS] [--build=ID] [--max-seconds=S] [--seed=N]
//                 [--game-seed=N] [--rest-ms=MS]
//
// Prints "code CODE" when hosting, one line per finished game
// ("game N ticks T winner W digest D", the digest chaining every tick's
// state hash), and "stats ..." at the end. Exit codes: 0 all games played,
// 3 connection lost, 4 refused, 5 the games went apart, 6 the other player
// left, 7 out of time, 2 bad arguments. --seed seeds this side's computer;
// --game-seed, on the host, replaces the session's random seed, so that
// two runs play the same games as long as the keys' delay is the same.
// The host asks for each game once the frames rest between games, and
// before the first one lets them rest for --rest-ms (0 by default).
#include "game/battlefield.h"
#include "game/computer.h"
#include "net/netgame.h"
#include "net/session.h"
#include "net/statehash.h"
#include "rtl/sysutils.h"
#include "tests/game/fake_window.h"

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

int64_t NowMs() {
  using namespace std::chrono;
  static const auto start = steady_clock::now();
  return duration_cast<milliseconds>(steady_clock::now() - start).count();
}

// This side's computer presses its keys into the network game.
class TPeerKeys : public IComputerKeys {
public:
  explicit TPeerKeys(TNetGame &game) : Game(game) {}
  void ComputerKeyDown(uint16_t key) override { Game.KeyDown(key); }
  void ComputerKeyUp(uint16_t key) override { Game.KeyUp(key); }

private:
  TNetGame &Game;
};

// The fake window's side of the network game: the computer plays, every
// game's state hashes are chained into its digest, and the host asks for
// the next game a few frames after the last one ended.
class TPeer : public INetGameWindow {
public:
  TPeer(FakeWindow &window, TNetSession &session, int games, TComputerLevel level, uint32_t seed)
      : Window(window), Session(session), Games(games), Game(session, *this), Keys(Game),
        Computer(session.LocalSide, level, seed, &Keys) {}

  void NetShow(const std::string &) override {}
  bool GameRunning() const override { return Window.Running; }
  void StartGame() override {
    for (int w = 1; w <= LineCount; ++w)
      Lines[w]->Draw(true);
    PlaceWalls();
    Window.Running = true;
    Computer.KeyDelay = Session.Delay - 1;
    Computer.NewGame();
    ++Started;
    Ticks = 0;
    Digest = 0xcbf29ce484222325ull;
    StartAsked = false;
  }
  void StepGame() override {
    GameTick();
    ++Ticks;
  }
  void FrameRun(const TStateHash &state, bool running) override {
    if (running) {
      Digest = (Digest ^ state.Hash()) * 0x100000001b3ull;
      if (!Window.Running) {
        for (int p = 1; p <= 2; ++p)
          if (Players[p]->TankCount == 1 && Tanks[p][1]->Destroyed())
            Winner = 3 - p;
        ++Finished;
        Computer.ReleaseAll();
        std::printf("game %d ticks %d winner %d digest %016llx\n", Finished, Ticks, Winner,
                    static_cast<unsigned long long>(Digest));
        std::fflush(stdout);
      } else {
        Computer.Tick();
      }
    }
  }
  // Counts the rests; the host asks for the next game from one.
  void FollowRest() {
    const bool resting = Session.Resting();
    if (resting && !WasResting) {
      ++Rests;
      RestSince = Now;
    }
    WasResting = resting;
    if (resting && Session.LocalSide == 1 && !StartAsked && Started < Games &&
        Now - RestSince >= (Started == 0 ? RestMs : 0)) {
      Game.AskStart(Now);
      StartAsked = true;
    }
  }

  FakeWindow &Window;
  TNetSession &Session;
  const int Games;
  TNetGame Game;
  TPeerKeys Keys;
  CComputerPlayer Computer;
  int Started = 0, Finished = 0, Ticks = 0, Winner = 0, Rests = 0;
  bool StartAsked = false, WasResting = false;
  int64_t RestMs = 0, RestSince = 0;
  uint64_t Digest = 0;
  int64_t Now = 0;
};

int ExitFor(TNetState state) {
  switch (state) {
  case TNetState::Lost:
    return 3;
  case TNetState::Refused:
    return 4;
  case TNetState::Desync:
    return 5;
  case TNetState::Left:
    return 6;
  default:
    return 7;
  }
}

} // namespace

int main(int argc, char **argv) {
  bool host = false;
  long port = kDefaultPort;
  std::string code, build;
  int games = 1, tickMs = 50, maxSeconds = 600;
  uint32_t computerSeed = 1;
  long gameSeed = -1, restMs = 0;
  TComputerLevel level = lvHard;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char *name) -> const char * {
      const size_t n = std::strlen(name);
      return a.compare(0, n, name) == 0 ? a.c_str() + n : nullptr;
    };
    if (a == "--host")
      host = true;
    else if (const char *v = value("--host="))
      host = true, port = std::strtol(v, nullptr, 10);
    else if (const char *v = value("--join="))
      code = v;
    else if (const char *v = value("--games="))
      games = std::atoi(v);
    else if (const char *v = value("--tick-ms="))
      tickMs = std::atoi(v);
    else if (const char *v = value("--build="))
      build = v;
    else if (const char *v = value("--max-seconds="))
      maxSeconds = std::atoi(v);
    else if (const char *v = value("--seed="))
      computerSeed = uint32_t(std::strtoul(v, nullptr, 10));
    else if (const char *v = value("--rest-ms="))
      restMs = std::strtol(v, nullptr, 10);
    else if (const char *v = value("--game-seed="))
      gameSeed = std::strtol(v, nullptr, 10);
    else if (const char *v = value("--level="); !v || !ParseComputerLevel(v, level)) {
      std::fprintf(stderr, "lockstep_peer: unknown argument %s\n", a.c_str());
      return 2;
    }
  }
  if (host == !code.empty() || games < 1 || tickMs < 1 || port < 0 || port > 65535) {
    std::fprintf(stderr, "lockstep_peer: --host[=PORT] or --join=CODE\n");
    return 2;
  }

  FakeWindow window(1020, 720);
  MakeGameIn(window);

  TNetSession session;
  session.TickMs = tickMs;
  if (!build.empty())
    session.Build = build;
  if (host) {
    if (!session.Host(uint16_t(port))) {
      std::fprintf(stderr, "lockstep_peer: %s\n", session.Message.c_str());
      return 3;
    }
    if (gameSeed >= 0)
      session.Seed = uint32_t(gameSeed);
    std::printf("code %s\n", session.Code.Format().c_str());
    std::fflush(stdout);
  } else {
    TConnectCode parsed;
    std::string error;
    if (!TConnectCode::Parse(code, parsed, error)) {
      std::fprintf(stderr, "lockstep_peer: %s\n", error.c_str());
      return 2;
    }
    session.Join(parsed);
  }

  TPeer peer(window, session, games, level, computerSeed);
  peer.RestMs = restMs;
  const int64_t deadline = int64_t(maxSeconds) * 1000;
  int64_t doneAt = -1;
  int failed = 0;
  int64_t now = NowMs();
  for (; now < deadline; now = NowMs()) {
    peer.Now = now;
    // The clock the computer reads moves 50 ms a frame, whatever the
    // frames' pace here: the frame a poll may run is the session's next.
    SetNowOverride(1 + double(session.Next) * 0.05 / 86400);
    peer.Game.Poll(now);
    peer.FollowRest();
    if (doneAt < 0 && peer.Finished == games)
      doneAt = now;
    if (doneAt >= 0 && (now - doneAt > 1000 || session.State != TNetState::Connected))
      break;
    if (session.State == TNetState::Waiting && host && !session.Message.empty()) {
      failed = 4; // a mismatched joiner was refused
      break;
    }
    if (session.State != TNetState::Waiting && session.State != TNetState::Joining &&
        session.State != TNetState::Connected) {
      failed = ExitFor(session.State);
      break;
    }
    // Sleeps until a datagram comes or the game's next deadline, 100 ms
    // at most for the checks above.
    const int64_t wake = peer.Game.NextWake(now);
    const int64_t wait = wake < 0 ? 100 : std::min<int64_t>(wake - now, 100);
    if (session.Socket() >= 0) {
      pollfd fd{session.Socket(), POLLIN, 0};
      poll(&fd, 1, int(wait));
    }
  }
  std::printf("stats frames %lld late %lld sent %llu received %llu seconds %.1f delay %d rtt %d "
              "compared %llu dropped %llu rests %d\n",
              static_cast<long long>(peer.Game.Frames), static_cast<long long>(peer.Game.Late),
              static_cast<unsigned long long>(session.BytesSent),
              static_cast<unsigned long long>(session.BytesReceived), now / 1000.0, session.Delay,
              session.RoundTripMs, static_cast<unsigned long long>(session.HashesCompared),
              static_cast<unsigned long long>(session.DatagramsDropped), peer.Rests);
  std::fflush(stdout);
  const bool done = peer.Finished == games;
  session.Close();
  ClearGameFrom(window);
  return done ? 0 : failed ? failed : 7;
}
