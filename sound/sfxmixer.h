// The mix: every playing sound buffer, then the music, into one block of
// interleaved stereo float, clamped to full scale. One loop renders it for
// every output and for tests that mix by hand. For an output that writes
// ahead, the sounds started since its last rewrite are held back from what
// it writes until the rewrite places them.
#pragma once

#include "sound/sfxoutput.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class TSfxMixSource;
class TSfxSoundBuffer;

class TSfxMixer : public TSfxOutputSource {
public:
  using TClock = std::chrono::steady_clock;
  static constexpr int kChannels = 2;

  explicit TSfxMixer(int rate);
  ~TSfxMixer();
  TSfxMixer(const TSfxMixer &) = delete;
  TSfxMixer &operator=(const TSfxMixer &) = delete;

  int Rate() const { return FRate; }

  // Guards the fields below, the buffers' playback state, and what the
  // open output and the device keeper keep under it. An output's thread
  // holds it while it mixes; no output's own lock is taken while holding
  // it.
  mutable std::mutex Lock;
  std::vector<std::unique_ptr<TSfxSoundBuffer>> Buffers;
  TSfxMixSource *Music = nullptr;
  // The open output, for the game's threads; nullptr while none is open.
  TSfxOutput *Output = nullptr;
  // When something last sounded or was started.
  TClock::time_point LastSound;

  // Renders `frames` frames into `out` (replacing what it held): every
  // playing buffer, then the music. Tells whether anything sounded.
  bool Mix(float *out, int frames);
  // With Lock held: the output the mix goes to from now on; sounds started
  // while none was open go out with its first writes.
  void SetOutputLocked(TSfxOutput *output);
  // With Lock held: a buffer started to play. An output that writes ahead
  // rewrites for it.
  void StartedLocked();
  // With Lock held: a buffer is marked playing, or the music has something
  // to sound.
  bool SoundingLocked() const;
  // Counts the renders the outputs asked for.
  uint64_t Renders() const { return FRenders.load(std::memory_order_relaxed); }

  std::mutex &MixLock() override { return Lock; }
  bool RenderLocked(float *out, int frames) override;
  bool AddStarted(float *out, int frames) override;
  void ReleaseStarted() override;

private:
  // Which buffers a mix takes: all, all but those waiting for a rewrite
  // (and the music), or only those waiting (added to what `out` holds).
  enum class TPart { All, Settled, Started };
  bool MixLocked(float *out, int frames, TPart part);

  const int FRate;
  bool FWritesAhead = false;  // the open output rewrites
  bool FRewriteAsked = false; // started sounds wait for its rewrite
  std::atomic<uint64_t> FRenders{0};
};
