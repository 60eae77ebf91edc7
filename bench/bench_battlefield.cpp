// What the battlefield costs on its own, without any window system: a
// main-loop tick of the endless battle (both players steering, twenty
// bullets in flight) in a fake window whose canvas draws into a plain
// pixel buffer. Reports the heap allocations per tick.
//
// Run: build/bench/bench_battlefield --benchmark_repetitions=5
//          --benchmark_report_aggregates_only=true
#include "bench/alloc_bench.h"
#include "tests/alloc/field_battle.h"

#include <cstdio>

namespace {

battle::FieldBattle *TheBattle;

void BM_TickBattlefieldAlone(benchmark::State &state) {
  AllocationCounter allocations(state);
  for (auto _ : state)
    TheBattle->Tick();
  if (!TheBattle->Intact())
    state.SkipWithError("a tank was hit or a bullet stopped");
}
BENCHMARK(BM_TickBattlefieldAlone);

} // namespace

int main(int argc, char **argv) {
  battle::FieldBattle game;
  if (!game.Start()) {
    std::fprintf(stderr, "no clear lanes for the bullets on this field\n");
    return 1;
  }
  for (int i = 0; i < 10; ++i)
    game.Tick();
  TheBattle = &game;
  return RunBenchmarks(argc, argv);
}
