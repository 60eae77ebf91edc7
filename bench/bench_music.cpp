// The music player's costs: the mode query the game makes on every tick,
// and one second of music rendered the way the audio component pulls it.
// Allocations are counted by wrapping the C allocator, so the synthesizer's
// own allocations show too.
#include "music/mediaplayer.h"
#include "music/midisynth.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZOFTREL_NO_MALLOC_COUNT
#endif
#endif
#ifdef __SANITIZE_ADDRESS__
#define ZOFTREL_NO_MALLOC_COUNT
#endif

namespace {
std::atomic<long> gAllocations{0};
}

#ifndef ZOFTREL_NO_MALLOC_COUNT
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);

void *malloc(size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
void *realloc(void *block, size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(block, size);
}
}
#endif

namespace {

constexpr int kRate = TMediaPlayer::kSampleRate;
constexpr int kCallbackFrames = 1024;

void OpenTune(TMediaPlayer &player) {
  player.FileName = ZOFTREL_MUSIC_FILE;
  player.Open();
  player.Play();
}

void BM_Mode(benchmark::State &state) {
  TMediaPlayer player;
  OpenTune(player);
  long before = gAllocations.load();
  for (auto _ : state)
    benchmark::DoNotOptimize(player.Mode());
  state.counters["allocs/call"] =
      benchmark::Counter(double(gAllocations.load() - before) / double(state.iterations()));
}
BENCHMARK(BM_Mode);

void BM_RenderOneSecond(benchmark::State &state) {
  TMediaPlayer player;
  OpenTune(player);
  std::vector<float> out(2 * kCallbackFrames);
  long allocations = 0;
  for (auto _ : state) {
    if (player.Mode() == mdStopped)
      player.Play(); // the game's loop: starts again at the end
    long before = gAllocations.load();
    for (int done = 0; done < kRate; done += kCallbackFrames) {
      player.MixInto(out.data(), kCallbackFrames, kRate);
      benchmark::DoNotOptimize(out.data());
    }
    allocations += gAllocations.load() - before;
  }
  state.counters["allocs/s"] = benchmark::Counter(double(allocations) / double(state.iterations()));
  state.counters["x realtime"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderOneSecond)->Unit(benchmark::kMillisecond)->Iterations(200);

// Rewind, the cost of a game start and of the Play that loops the piece:
// with the tune recorded it only moves the position (a piece played live
// builds a new MIDI player and renders its first block).
void BM_Rewind(benchmark::State &state) {
  TMediaPlayer player;
  OpenTune(player);
  for (auto _ : state)
    player.Rewind();
}
BENCHMARK(BM_Rewind)->Unit(benchmark::kMicrosecond);

void BM_Open(benchmark::State &state) {
  TMediaPlayer player;
  player.FileName = ZOFTREL_MUSIC_FILE;
  for (auto _ : state)
    player.Open();
}
BENCHMARK(BM_Open)->Unit(benchmark::kMicrosecond);

} // namespace

namespace {

// Making the synth is the soundfont's share of start-up: the game's own
// soundfont (0), the system's default (1), or $ZOFTREL_SOUNDFONT (2), for
// instance a large bank that is not installed as the default.
void BM_CreateSynth(benchmark::State &state) {
  const char *fonts[] = {TMidiSynth::kProjectSoundFont, TMidiSynth::kSystemSoundFont,
                         std::getenv("ZOFTREL_SOUNDFONT")};
  const char *font = fonts[state.range(0)];
  if (!font) {
    state.SkipWithError("ZOFTREL_SOUNDFONT is not set");
    return;
  }
  state.SetLabel(font);
  std::string saved = std::getenv("ZOFTREL_SOUNDFONT") ? std::getenv("ZOFTREL_SOUNDFONT") : "";
  setenv("ZOFTREL_SOUNDFONT", font, 1);
  for (auto _ : state) {
    TMediaPlayer player;
    OpenTune(player); // makes the synth and renders the tune's first block
  }
  if (saved.empty())
    unsetenv("ZOFTREL_SOUNDFONT");
  else
    setenv("ZOFTREL_SOUNDFONT", saved.c_str(), 1);
}
BENCHMARK(BM_CreateSynth)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
