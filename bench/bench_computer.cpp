// What the computer player costs per tick: whole seeded games on the
// battlefield without a window, both sides played by the computer at the
// same level, every computer tick timed on its own in the thread's CPU
// time. Reports the median tick in microseconds; the 99.9th percentile
// and the worst tick of trial runs (the least of three runs of the same
// tick on a copy of the player, which takes out the machine's other load
// but runs with colder caches); and the heap allocations per computer tick
// once the games have started.
//
// Run: build/bench/bench_computer
#include "tests/game/headless.h"

#include "tests/alloc/counting_new.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <vector>

namespace {

// The CPU time of this thread: time the thread spends waiting for a core
// on a busy machine does not count.
double ThreadMicroseconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e6 + t.tv_nsec * 1e-3;
}

// The keys go to the field, unless switched off for a trial tick.
class SwitchableKeys : public IComputerKeys {
public:
  explicit SwitchableKeys(headless::Field *field) : Into(field) {}
  void ComputerKeyDown(uint16_t key) override {
    if (On)
      Into->KeyDown(key);
  }
  void ComputerKeyUp(uint16_t key) override {
    if (On)
      Into->KeyUp(key);
  }
  bool On = true;

private:
  headless::Field *Into;
};

void BM_ComputerTick(benchmark::State &state) {
  const auto level = TComputerLevel(state.range(0));
  headless::Field field;
  SwitchableKeys keys(&field);
  CComputerPlayer red(1, level, 11, &keys), blue(2, level, 12, &keys);
  // Trial ticks run on a copy of the player, with the keys off, so that a
  // tick's work can be timed three times and the machine's other load
  // taken out by the least of the three.
  auto trial = std::make_unique<CComputerPlayer>(red);
  std::vector<double> times, real;
  times.reserve(1 << 20);
  real.reserve(1 << 20);
  long allocations = 0, ticks = 0;
  uint32_t game = 0;
  for (auto _ : state) {
    // One whole game per iteration.
    SetRandSeed(3000 + game++);
    ResetGame();
    field.Start();
    red.NewGame();
    blue.NewGame();
    for (int t = 0; t < 6000 && field.Running; ++t) {
      field.Tick();
      if (!field.Running)
        break;
      for (CComputerPlayer *side : {&red, &blue}) {
        double least = 1e18;
        keys.On = false;
        for (int r = 0; r < 3; ++r) {
          *trial = *side;
          const double start = ThreadMicroseconds();
          trial->Tick();
          least = std::min(least, ThreadMicroseconds() - start);
        }
        keys.On = true;
        const long before = gAllocations;
        const double start = ThreadMicroseconds();
        side->Tick();
        real.push_back(ThreadMicroseconds() - start);
        allocations += gAllocations - before;
        times.push_back(least);
        ++ticks;
      }
    }
    red.ReleaseAll();
    blue.ReleaseAll();
    field.Running = false;
  }
  std::sort(times.begin(), times.end());
  std::sort(real.begin(), real.end());
  state.counters["median_us"] = real[real.size() / 2];
  state.counters["trial_median_us"] = times[times.size() / 2];
  state.counters["p999_us"] = times[times.size() * 999 / 1000];
  state.counters["worst_us"] = times.back();
  state.counters["allocs/tick"] = double(allocations) / double(std::max(1L, ticks));
  state.counters["ticks"] = double(ticks);
}
BENCHMARK(BM_ComputerTick)
    ->Arg(lvEasy)
    ->Arg(lvNormal)
    ->Arg(lvHard)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
