// Runs a network game from the window's event loop: the game is polled
// when its socket has a datagram and when its next deadline comes (the
// next frame, a resend, a silence to notice), and at no other time.
#pragma once

#include "net/netgame.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>

class TNetWaiter : public QObject {
public:
  // `ended` runs once the network game has ended; the waiter is then
  // idle and may be deleted later, not from inside the call.
  TNetWaiter(TNetGame &game, std::function<void()> ended, QObject *parent);

  // Polls the game now and waits for what comes next: after a change
  // that may make a frame due at once (the Exit question closed).
  void Wake();

private:
  TNetGame &Game;
  std::function<void()> Ended;
  QSocketNotifier *Readable = nullptr;
  QTimer Deadline;
};
