#include "ui/winsys/timer.h"

#include "ui/winsys/application.h"

TTimer::TTimer() {
  Timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&Timer, &QTimer::timeout, [this] { Tick(); });
}

void TTimer::SetEnabled(bool enabled) {
  IsEnabled = enabled;
  if (enabled && OnTimer)
    Timer.start(Period);
  else
    Timer.stop();
}

void TTimer::SetInterval(int milliseconds) {
  Period = milliseconds;
  if (Timer.isActive())
    Timer.start(Period);
}

void TTimer::Tick() {
  if (OnTimer)
    Application.GuardLater(OnTimer);
}
