// Mixer cost: one second of output with every game sound playing, the cost
// of the calls the game makes on every shot and engine change, the device
// callback when nothing plays, and a Play on a lost device. Run with SDL_AUDIODRIVER=dummy.
#include "sound/sfxassets.h"
#include "sound/sfxconvert.h"
#include "sound/sfxsnd.h"

#include "tests/alloc/counting_new.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

// Counts allocations, so the benchmarks can show that playing costs none.
namespace {

// Reports the allocations made per iteration of `state`.
class AllocationCounter {
public:
  explicit AllocationCounter(benchmark::State &state) : FState(state), FStart(gAllocations) {}
  ~AllocationCounter() {
    FState.counters["allocs/iter"] =
        double(gAllocations - FStart) / double(std::max<int64_t>(1, FState.iterations()));
  }

private:
  benchmark::State &FState;
  long FStart;
};

struct Game {
  Game() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ReadEmbeddedSounds(lib);
    audio = std::make_unique<TSfxAudio>();
    audio->SetPaused(true);
    audio->SetSoundLibrary(&lib);
  }
  TSfxSoundLib lib;
  std::unique_ptr<TSfxAudio> audio;
};

Game &TheGame() {
  static Game game;
  return game;
}

constexpr int kCallbackFrames = 512;

void BM_MixOneSecondAllSounds(benchmark::State &state) {
  TSfxAudio &audio = *TheGame().audio;
  AllocationCounter allocations(state);
  std::vector<float> out(kCallbackFrames * 2);
  const int callbacks = audio.Rate() / kCallbackFrames;
  for (auto _ : state) {
    for (int i = 0; i < audio.BufferCount(); ++i)
      audio.Sound(i)->PlayLooped();
    for (int c = 0; c < callbacks; ++c)
      audio.Mix(out.data(), kCallbackFrames);
    benchmark::DoNotOptimize(out.data());
  }
  for (int i = 0; i < audio.BufferCount(); ++i)
    audio.Sound(i)->Stop();
}
BENCHMARK(BM_MixOneSecondAllSounds)->Unit(benchmark::kMillisecond);

// What making the buffers costs at start-up: the game's 13 sounds brought
// to the mix rate.
void BM_ConvertTheGamesSounds(benchmark::State &state) {
  const TSfxSoundLib &lib = TheGame().lib;
  const int rate = TheGame().audio->Rate();
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (int i = 0; i < lib.Count(); ++i) {
      TSfxSoundRec sound;
      lib.Sounds.GetSound(i, sound);
      auto samples = SfxConvertSamples(sound.Format, sound.Size, sound.Data, rate);
      bytes += samples->Samples.size() * sizeof samples->Samples[0];
      benchmark::DoNotOptimize(samples);
    }
  }
  state.counters["MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_ConvertTheGamesSounds)->Unit(benchmark::kMillisecond);

void BM_ShotStopSetPositionPlay(benchmark::State &state) {
  TSfxAudio &audio = *TheGame().audio;
  AllocationCounter allocations(state);
  for (auto _ : state) {
    audio.Sound(10)->Stop();
    audio.Sound(10)->SetPosition(0);
    audio.Sound(10)->Play();
  }
  audio.Sound(10)->Stop();
}
BENCHMARK(BM_ShotStopSetPositionPlay);

void BM_EngineChange(benchmark::State &state) {
  TSfxAudio &audio = *TheGame().audio;
  AllocationCounter allocations(state);
  for (auto _ : state) {
    audio.Sound(1)->Stop();
    audio.Sound(2)->PlayLooped();
    audio.Sound(2)->Stop();
    audio.Sound(1)->PlayLooped();
  }
  audio.Sound(1)->Stop();
}
BENCHMARK(BM_EngineChange);

void BM_IdleCallback(benchmark::State &state) {
  TSfxAudio &audio = *TheGame().audio;
  AllocationCounter allocations(state);
  std::vector<float> out(kCallbackFrames * 2);
  for (auto _ : state) {
    audio.Mix(out.data(), kCallbackFrames);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_IdleCallback);

// A Play that meets a lost device: the game thread's whole cost, every
// buffer object made anew over the samples converted before. The keeper
// closes the device meanwhile, on its own thread. (Run last: the device
// stays lost for a second after it.)
void BM_PlayOnALostDevice(benchmark::State &state) {
  TSfxAudio &audio = *TheGame().audio;
  const unsigned conversions = audio.Conversions();
  for (auto _ : state) {
    audio.MarkLost();
    audio.Sound(10)->Play();
  }
  state.counters["conversions"] = audio.Conversions() - conversions;
}
BENCHMARK(BM_PlayOnALostDevice)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
