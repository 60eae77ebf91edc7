// CPU of the main window standing on its game-over screen: a game is
// played to its end (red loses three tanks to bullets), the applause is
// waited out, then the event loop runs for ten seconds while the process's
// CPU time is measured. Runs on whatever platform Qt is given: bench/
// startup.sh runs it in a real X window under Xvfb.
// Usage: idle_gameover (in the directory that holds BackgroundMusic.mid)
#include "rtl/sysutils.h"
#include "ui/form.h"
#include "ui/winsys/application.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

namespace {

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `ms` milliseconds.
void RunFor(int ms) {
  QTimer::singleShot(ms, qApp, &QCoreApplication::quit);
  QApplication::exec();
}

bool AnySoundPlays(const TForm1 &form) {
  for (int i = 0; i < form.SfxAudio1->BufferCount(); ++i)
    if (form.SfxAudio1->Sound(i)->Playing())
      return true;
  return false;
}

} // namespace

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  Application.Title = "Mervolo";
  TForm1 form;
  RunFor(500);
  form.btnStart->click();
  RunFor(1000); // the music starts
  // Red's tanks are shot one by one, each by a bullet just beside it.
  while (form.btnStart->isHidden()) {
    CTankType *target = Tanks[1][1];
    CBall *ball = Balls[1];
    ball->Life = 1;
    ball->Pos = {target->Pos.X + 20, target->Pos.Y};
    ball->Angle = 3.14159265f;
    RunFor(200);
  }
  QElapsedTimer waited;
  waited.start();
  while ((AnySoundPlays(form) || form.BackgroundMusic->Mode() == mdPlaying) &&
         waited.elapsed() < 20000)
    RunFor(100);
  RunFor(500);
  std::printf("game over after %d points, sounds ended after %lld ms\n", Players[2]->Score,
              static_cast<long long>(waited.elapsed()));
  const double c0 = CpuSeconds(), m0 = ThreadCpuSeconds();
  RunFor(10000);
  const double c1 = CpuSeconds(), m1 = ThreadCpuSeconds();
  std::printf("idle CPU on the game-over screen: %.2f %% of one core (%.1f ms in 10 s, %.1f ms "
              "of it on the main thread)\n",
              (c1 - c0) * 10, (c1 - c0) * 1000, (m1 - m0) * 1000);
  return 0;
}
