// What the benchmarks that count heap allocations share: the counter of
// each benchmark's allocations and the run of the benchmarks once the game
// is set up. Brings the counting operator new, so include it in exactly one
// source file of a program.
#pragma once

#include "rtl/sysutils.h"
#include "tests/alloc/counting_new.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

// Reports the allocations made per iteration of `state`.
class AllocationCounter {
public:
  explicit AllocationCounter(benchmark::State &state) : FState(state), FStart(gAllocations) {}
  ~AllocationCounter() {
    FState.counters["allocs/iter"] = double(gAllocations - FStart - FUntimed) /
                                     double(std::max<int64_t>(1, FState.iterations()));
  }

  // Runs `work` outside the timing and leaves its allocations uncounted.
  template <class F> void Untimed(F work) {
    FState.PauseTiming();
    const long before = gAllocations;
    work();
    FUntimed += gAllocations - before;
    FState.ResumeTiming();
  }

private:
  benchmark::State &FState;
  long FStart;
  long FUntimed = 0;
};

// Runs the benchmarks the command line names, then lets the clock run
// free again. The program's exit code.
inline int RunBenchmarks(int &argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ClearNowOverride();
  return 0;
}
