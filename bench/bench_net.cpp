// A network game's own work for one frame: the frames message sealed on
// one side and opened and decoded on the other, and the battlefield's
// state captured and hashed. Twenty frames a second make a second of play.
#include "net/datagram.h"
#include "net/statehash.h"
#include "tests/game/fake_window.h"

#include <benchmark/benchmark.h>

namespace {

TMessage TypicalFrames() {
  TMessage m;
  m.Type = TMessageType::Frames;
  m.Ack = 1000;
  m.First = 1001;
  m.FrameCount = 3;
  m.Frames[2].Count = 1;
  m.Frames[2].Events[0] = evKeyDown | 2;
  m.HashCount = 2;
  return m;
}

void BM_SealOpenDecodeFrames(benchmark::State &state) {
  std::array<uint8_t, 16> secret{};
  const TKey key = DeriveKey(secret);
  const TMessage m = TypicalFrames();
  uint8_t plain[kMaxDatagram], sealed[kMaxDatagram], opened[kMaxDatagram];
  uint64_t sequence = 0, seq;
  size_t size = 0;
  for (auto _ : state) {
    const size_t n = EncodeMessage(m, plain, sizeof plain);
    const size_t s = SealShortDatagram(key, 0, 1, ++sequence, plain, n, sealed);
    size = s;
    size_t o = 0;
    TMessage back;
    const bool ok = OpenShortDatagram(key, 0, 1, sequence - 1, sealed, s, seq, opened, o) &&
                    DecodeMessage(opened, o, back);
    benchmark::DoNotOptimize(ok);
  }
  state.counters["bytes"] = double(size);
}
BENCHMARK(BM_SealOpenDecodeFrames);

void BM_CaptureAndHashBattlefield(benchmark::State &state) {
  FakeWindow window;
  MakeGameIn(window);
  TStateHash hash;
  for (auto _ : state) {
    hash.Capture();
    benchmark::DoNotOptimize(hash.Hash());
  }
  ClearGameFrom(window);
}
BENCHMARK(BM_CaptureAndHashBattlefield);

} // namespace

BENCHMARK_MAIN();
