// One side of a network game without a window: the battlefield in a fake
// window and the computer playing this side, in lockstep with a peer
// process through a real UDP session. The tests start two of them.
//
//   lockstep_peer --host[=PORT] | --join=CODE  [--games=N] [--level=LEVEL]
//                 [--tick-ms=MS] [--build=ID] [--max-seconds=S] [--seed=N]
//                 [--game-seed=N]
//
// Prints "code CODE" when hosting, one line per finished game
// ("game N ticks T winner W digest D", the digest chaining every tick's
// state hash), and "stats ..." at the end. Exit codes: 0 all games played,
// 3 connection lost, 4 refused, 5 the games went apart, 6 the other player
// left, 7 out of time, 2 bad arguments. --seed seeds this side's computer;
// --game-seed, on the host, replaces the session's random seed, so that
// two runs play the same games as long as the keys' delay is the same.
#include "game/battlefield.h"
#include "game/computer.h"
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

class TPeerKeys : public IComputerKeys {
public:
  TPeerKeys(TNetSession &session, int side) : Session(session), Side(side) {}
  void ComputerKeyDown(uint16_t key) override { Send(key, evKeyDown); }
  void ComputerKeyUp(uint16_t key) override { Send(key, evKeyUp); }

private:
  void Send(uint16_t key, uint8_t kind) {
    const CPlayer *p = Players[Side];
    const uint16_t keys[4] = {p->KeyRight, p->KeyLeft, p->KeyShoot, p->KeySwitch};
    for (uint8_t i = 0; i < 4; ++i)
      if (keys[i] == key)
        Session.LocalEvent(uint8_t(kind | i));
  }
  TNetSession &Session;
  int Side;
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
  long gameSeed = -1;
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
  NetworkGame = true;

  TNetSession session;
  session.TickMs = tickMs;
  if (!build.empty())
    session.Build = build;
  session.Field[0] = uint16_t(window.Width());
  session.Field[1] = uint16_t(window.Height());
  session.Field[2] = uint16_t(window.ClientWidth());
  session.Field[3] = uint16_t(window.ClientHeight());
  session.Field[4] = uint16_t(window.StatusBarHeight());
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

  const int side = session.LocalSide;
  TPeerKeys keys(session, side);
  CComputerPlayer computer(side, level, computerSeed, &keys);
  TStateHash state;

  int started = 0, finished = 0, ticks = 0, sinceOver = 0, winner = 0;
  bool startAsked = false, paused[3] = {};
  uint64_t digest = 0;
  int64_t frames = 0, late = 0, nextTick = -1, doneAt = -1;
  const int64_t lateMs = std::max(1, tickMs / 5);
  const int64_t deadline = int64_t(maxSeconds) * 1000;
  std::string lastMessage;
  int failed = 0;
  int64_t now = NowMs();
  for (; now < deadline; now = NowMs()) {
    session.Poll(now);
    if (session.Message != lastMessage && !session.Message.empty() &&
        session.State != TNetState::Connected)
      std::fprintf(stderr, "lockstep_peer: %s\n", session.Message.c_str());
    lastMessage = session.Message;
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
    if (session.State == TNetState::Connected) {
      if (nextTick < 0) {
        // Both sides begin from the same battlefield: the host's seed.
        nextTick = now;
        SetRandSeed(session.Seed);
        TickCount = 0;
        ResetGame();
      }
      if (now >= nextTick && session.FrameReady()) {
        late += now - nextTick > lateMs;
        ++frames;
        const TNetFrame frame = session.TakeFrame(now);
        // The clock the computer reads moves 50 ms a frame, whatever the
        // frames' pace here.
        SetNowOverride(1 + double(frame.Number) * 0.05 / 86400);
        // The game's flow first, then the keys, red before blue.
        for (int s = 1; s <= 2; ++s) {
          for (int e = 0; e < frame.Side[s].Count; ++e) {
            const uint8_t ev = frame.Side[s].Events[e];
            if (ev == evStart && !window.Running && started < games) {
              SetRandSeed(session.Seed ^ (uint32_t(started) * 0x9E3779B9u));
              TickCount = 0;
              ResetGame();
              for (int w = 1; w <= LineCount; ++w)
                Lines[w]->Draw(true);
              PlaceWalls();
              window.Running = true;
              computer.KeyDelay = session.Delay - 1;
              computer.NewGame();
              ++started;
              ticks = 0;
              digest = 0xcbf29ce484222325ull;
              startAsked = false;
            } else if (ev == evPause || ev == evResume) {
              paused[s] = ev == evPause;
            }
          }
        }
        for (int s = 1; s <= 2; ++s) {
          const CPlayer *p = Players[s];
          const uint16_t code4[4] = {p->KeyRight, p->KeyLeft, p->KeyShoot, p->KeySwitch};
          for (int e = 0; e < frame.Side[s].Count; ++e) {
            const uint8_t ev = frame.Side[s].Events[e];
            if (ev <= 0x03 && window.Running)
              GameKeyDown(code4[ev]);
            else if (ev >= evKeyUp && ev <= evKeyUp + 3)
              GameKeyUp(code4[ev - evKeyUp]);
          }
        }
        const bool wasRunning = window.Running;
        if (window.Running && !paused[1] && !paused[2]) {
          GameTick();
          ++ticks;
        }
        state.Capture();
        session.FrameDone(state);
        if (wasRunning) {
          digest = (digest ^ state.Hash()) * 0x100000001b3ull;
          if (!window.Running) {
            for (int p = 1; p <= 2; ++p)
              if (Players[p]->TankCount == 1 && Tanks[p][1]->Motion < msDead + 500)
                winner = 3 - p;
            ++finished;
            sinceOver = 0;
            session.UpdateDelay();
            computer.ReleaseAll();
            std::printf("game %d ticks %d winner %d digest %016llx\n", finished, ticks, winner,
                        static_cast<unsigned long long>(digest));
            std::fflush(stdout);
            if (finished == games)
              doneAt = now;
          } else {
            computer.Tick();
          }
        } else if (++sinceOver >= 5 && host && !startAsked && started < games) {
          session.LocalEvent(evStart);
          startAsked = true;
        }
        nextTick += tickMs;
        if (nextTick < now - tickMs)
          nextTick = now;
      }
    }
    // Sleeps until the next frame is due or a datagram comes, 5 ms at
    // most; a frame that waits for the other side waits on the socket.
    const int64_t wait = nextTick < 0 || now >= nextTick ? 5 : std::min<int64_t>(nextTick - now, 5);
    if (session.Socket() >= 0) {
      pollfd fd{session.Socket(), POLLIN, 0};
      poll(&fd, 1, int(wait));
    }
  }
  std::printf("stats frames %lld late %lld sent %llu received %llu seconds %.1f delay %d rtt %d "
              "compared %llu dropped %llu\n",
              static_cast<long long>(frames), static_cast<long long>(late),
              static_cast<unsigned long long>(session.BytesSent),
              static_cast<unsigned long long>(session.BytesReceived), now / 1000.0, session.Delay,
              session.RoundTripMs, static_cast<unsigned long long>(session.HashesCompared),
              static_cast<unsigned long long>(session.DatagramsDropped));
  std::fflush(stdout);
  const bool done = finished == games;
  session.Close();
  ClearGameFrom(window);
  return done ? 0 : failed ? failed : 7;
}
