// The game's timer: enabled and disabled by the game; a late tick is not
// made up for. An error in a tick is shown once the tick is over, so the
// ticks go on while its box is open.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class TTimer {
public:
  TTimer();

  bool Enabled() const { return IsEnabled; }
  void SetEnabled(bool enabled);
  int Interval() const { return Period; }
  void SetInterval(int milliseconds);

  std::function<void()> OnTimer;
  // One tick, as the window system would deliver it.
  void Tick();

private:
  QTimer Timer;
  bool IsEnabled = true;
  int Period = 1000;
};
