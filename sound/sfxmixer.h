// The mix: every playing sound buffer, then the music, into one block of
// interleaved stereo float, clamped to full scale. One loop renders it for
// every output and for tests that mix by hand.
//
// For an output that writes ahead, every change that alters what it has
// written (a sound started, stopped, moved, made louder or softer, panned;
// the music started or stopped) asks it for a rewrite; the changes that
// come before the rewrite share it. Until then the changed buffers (and the
// music, when it changed) are held back from what is written. The rewrite
// mixes again, from the point it starts at, everything written after it:
// each buffer from where it stood there (what was written is known from
// where it last changed), the music from a copy of its own part, kept
// because the synthesizer cannot go back. Re-mixing gives the same samples
// as if the changes had come at that point, clamp included, where taking a
// stopped sound's part away again from the clamped sum would not.
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
  // The most a rewrite goes back.
  static constexpr int kRewriteMs = 500;

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
  // With Lock held: the output the mix goes to from now on.
  void SetOutputLocked(TSfxOutput *output);
  // With Lock held: `buffer`'s playback state was changed. An output that
  // writes ahead rewrites when the change alters what it wrote.
  void ChangedLocked(TSfxSoundBuffer &buffer) {
    if (FWritesAhead)
      ChangedAheadLocked(buffer);
  }
  // With Lock held: the music started or stopped.
  void MusicChangedLocked();
  // With Lock held: a buffer is marked playing, or the music has something
  // to sound.
  bool SoundingLocked() const;
  // Counts the renders the outputs asked for.
  uint64_t Renders() const { return FRenders.load(std::memory_order_relaxed); }

  std::mutex &MixLock() override { return Lock; }
  bool RenderLocked(float *out, int frames) override;
  int Rerender(float *out, int frames) override;
  void ReleaseChanges() override;

private:
  // How a mix takes the music: straight into the output, or through the
  // copy kept of it, rendered there first, made silent there, or as kept.
  enum class TMusic { Direct, Render, Silent, Kept };
  // Renders stream frames [at, at + frames), leaving out the changed
  // buffers when `holdChanged`. Tells whether anything sounded.
  bool MixLocked(float *out, int64_t at, int frames, bool holdChanged, TMusic music);
  bool AddMusicLocked(float *out, int64_t at, int frames, TMusic music);
  void AskRewriteLocked();
  void ChangedAheadLocked(TSfxSoundBuffer &buffer);

  const int FRate;
  const int FKeepFrames;
  bool FWritesAhead = false;  // the open output rewrites
  bool FRewriteAsked = false; // changed buffers wait for its rewrite
  bool FMusicChanged = false; // and the music
  int64_t FWritten = 0;       // frames rendered for the outputs
  // The music's own part of the last FKeepFrames frames rendered, by
  // stream frame.
  std::vector<float> FMusicKept;
  std::atomic<uint64_t> FRenders{0};
};
