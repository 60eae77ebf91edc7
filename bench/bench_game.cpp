// What the battlefield costs: a tank's turn and step, the move test, and a
// whole main-loop tick with both players steering and twenty bullets in
// flight, drawing and the hand-over to Qt included. The real main window
// runs on Qt's offscreen platform with the sound device paused; each
// benchmark reports the heap allocations it made per iteration.
//
// Run: build/bench/bench_game --benchmark_repetitions=5
//          --benchmark_report_aggregates_only=true
#include "tests/alloc/form_battle.h"

#include "bench/alloc_bench.h"

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

TForm1 *TheForm;
battle::FormBattle *TheBattle;

// Keeps a tank's place and heading and puts them back afterwards.
class KeepTank {
public:
  explicit KeepTank(CTankType *tank) : Tank(tank), Pos(tank->Pos), Angle(tank->Angle) {}
  ~KeepTank() {
    Tank->Draw(true, false);
    Tank->Pos = Pos;
    Tank->Angle = Angle;
    Tank->Draw(false, false);
  }

private:
  CTankType *Tank;
  TPointF Pos;
  float Angle;
};

// A place where `tank` can step 2 pixels to the right and back.
bool FindFreePlace(const CTankType *tank, TPointF &place) {
  for (int y = 40; y < TheForm->ClientHeight() - 80; y += 7)
    for (int x = 40; x < TheForm->ClientWidth() - 40; x += 7) {
      const TPointF p{double(x), double(y)}, q{x + 2.0, double(y)};
      if (tank->CanMoveTo(p) && tank->CanMoveTo(q))
        return place = p, true;
    }
  return false;
}

// What pausing the timing around the untimed work costs by itself, to be
// taken off the figures of the benchmarks that do so.
void BM_PauseOverhead(benchmark::State &state) {
  AllocationCounter allocations(state);
  for (auto _ : state)
    allocations.Untimed([] {});
}
BENCHMARK(BM_PauseOverhead);

// How much of the hand-over of an iteration's drawings the timing covers:
// none of it, the hand-over to Qt, or that and Qt's repaint as well.
enum class Timed { Game, HandOver, Repaint };

void HandOver(AllocationCounter &allocations, Timed timed) {
  if (timed == Timed::Game) {
    allocations.Untimed([] {
      TheForm->FlushDrawn();
      QApplication::processEvents();
    });
    return;
  }
  TheForm->FlushDrawn();
  if (timed == Timed::Repaint)
    QApplication::processEvents();
  else
    allocations.Untimed([] { QApplication::processEvents(); });
}

// Red's active tank turning right and left in turn.
void Turns(benchmark::State &state, Timed timed) {
  CTankType *tank = Tanks[1][Players[1]->Active];
  KeepTank keep(tank);
  AllocationCounter allocations(state);
  bool right = true;
  for (auto _ : state) {
    tank->Turn(right);
    HandOver(allocations, timed);
    right = !right;
  }
}

// A turn, drawn and handed to Qt; Qt's repaint runs outside the timing.
void BM_Turn(benchmark::State &state) {
  Turns(state, Timed::HandOver);
}
BENCHMARK(BM_Turn);

// The same with Qt's repaint of the handed-over area on the offscreen
// surface.
void BM_TurnAndRepaint(benchmark::State &state) {
  Turns(state, Timed::Repaint);
}
BENCHMARK(BM_TurnAndRepaint);

// A free step: 2 pixels to the right, then back to the left, checked
// against the field's edges, the five other tanks and the six walls.
void BM_MoveForwardFree(benchmark::State &state) {
  CTankType *tank = Tanks[2][Players[2]->Active];
  KeepTank keep(tank);
  TPointF place;
  if (!FindFreePlace(tank, place)) {
    state.SkipWithError("no free place for the tank");
    return;
  }
  tank->Pos = place;
  const float right = 0, left = static_cast<float>(M_PI);
  tank->Angle = right;
  AllocationCounter allocations(state);
  for (auto _ : state) {
    tank->MoveForward();
    tank->Angle = tank->Angle == right ? left : right;
  }
  if (std::fabs(tank->Pos.X - place.X) > 2.5)
    state.SkipWithError("the tank did not move freely");
}
BENCHMARK(BM_MoveForwardFree);

// A blocked step: the tank faces a wall 15 pixels away, so the step would
// end within 14 pixels of it; the blocked sound plays.
void BM_MoveForwardBlocked(benchmark::State &state) {
  CTankType *tank = Tanks[2][Players[2]->Active];
  KeepTank keep(tank);
  const CLine *wall = Lines[1];
  const double nx = wall->A / wall->Norm, ny = wall->B / wall->Norm;
  tank->Pos = {(wall->P1.X + wall->P2.X) * 0.5 + 15 * nx,
               (wall->P1.Y + wall->P2.Y) * 0.5 + 15 * ny};
  tank->Angle = static_cast<float>(std::atan2(-ny, -nx));
  const TPointF start = tank->Pos;
  AllocationCounter allocations(state);
  for (auto _ : state)
    tank->MoveForward();
  if (tank->Pos.X != start.X || tank->Pos.Y != start.Y)
    state.SkipWithError("the tank was not blocked");
}
BENCHMARK(BM_MoveForwardBlocked);

// The move test for a free place: every edge, tank and wall is checked.
void BM_CanMoveTo(benchmark::State &state) {
  CTankType *tank = Tanks[1][1];
  TPointF place;
  if (!FindFreePlace(tank, place)) {
    state.SkipWithError("no free place for the tank");
    return;
  }
  AllocationCounter allocations(state);
  for (auto _ : state) {
    benchmark::DoNotOptimize(place);
    bool free = tank->CanMoveTo(place);
    benchmark::DoNotOptimize(free);
  }
}
BENCHMARK(BM_CanMoveTo);

// Main-loop ticks: red turning, blue driving or turning, twenty bullets
// flying, keys pressed now and then.
void Ticks(benchmark::State &state, Timed timed) {
  AllocationCounter allocations(state);
  for (auto _ : state) {
    TheBattle->Tick();
    HandOver(allocations, timed);
  }
  if (!TheBattle->Intact())
    state.SkipWithError("a tank was hit or a bullet stopped");
}

// One tick with its drawings handed to Qt; Qt's repaint of them runs
// outside the timing.
void BM_Tick(benchmark::State &state) {
  Ticks(state, Timed::HandOver);
}
BENCHMARK(BM_Tick);

// The game's own share of a tick: stepping, hit tests and drawing on the
// backing image, without the hand-over to Qt.
void BM_TickGameOnly(benchmark::State &state) {
  Ticks(state, Timed::Game);
}
BENCHMARK(BM_TickGameOnly);

// The same with Qt's repaint of the tick's area on the offscreen surface.
void BM_TickAndRepaint(benchmark::State &state) {
  Ticks(state, Timed::Repaint);
}
BENCHMARK(BM_TickAndRepaint);

} // namespace

int main(int argc, char **argv) {
  battle::SetHeadlessEnvironment();
  QApplication app(argc, argv);
  if (!battle::EnterRunDir(ZOFTREL_RUN_DIR)) {
    std::fprintf(stderr, "no BackgroundMusic.mid in %s\n", ZOFTREL_RUN_DIR);
    return 1;
  }
  auto form = battle::MakeForm();
  battle::FormBattle game(form.get());
  if (!game.Start()) {
    std::fprintf(stderr, "no clear lanes for the bullets on this field\n");
    return 1;
  }
  // The first ticks start the music; Qt sets up its surfaces on the first
  // repaint.
  for (int i = 0; i < 10; ++i) {
    game.Tick();
    form->FlushDrawn();
    QApplication::processEvents();
  }
  TheForm = form.get();
  TheBattle = &game;
  return RunBenchmarks(argc, argv);
}
