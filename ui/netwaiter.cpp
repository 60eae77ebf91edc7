#include "ui/netwaiter.h"

#include <algorithm>

TNetWaiter::TNetWaiter(TNetGame &game, std::function<void()> ended, QObject *parent)
    : QObject(parent), Game(game), Ended(std::move(ended)) {
  Deadline.setSingleShot(true);
  Deadline.setTimerType(Qt::PreciseTimer);
  connect(&Deadline, &QTimer::timeout, this, [this] { Wake(); });
  if (Game.Session.Socket() >= 0) {
    Readable = new QSocketNotifier(Game.Session.Socket(), QSocketNotifier::Read, this);
    connect(Readable, &QSocketNotifier::activated, this, [this] { Wake(); });
  }
  // The first poll opens the session's clocks and sends the first hello.
  Deadline.start(0);
}

void TNetWaiter::Wake() {
  const int64_t now = TNetGame::Clock();
  const bool goesOn = Game.Poll(now);
  // A session closed here (windows of two sizes) has no socket to watch.
  if (Readable && (!goesOn || Game.Session.Socket() < 0))
    Readable->setEnabled(false);
  if (!goesOn) {
    Deadline.stop();
    Ended();
    return;
  }
  const int64_t at = Game.NextWake(TNetGame::Clock());
  if (at < 0)
    Deadline.stop();
  else
    Deadline.start(int(std::clamp<int64_t>(at - TNetGame::Clock(), 0, 60000)));
}
