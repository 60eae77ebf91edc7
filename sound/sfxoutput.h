// An audio output: where the mix goes. SDL's output (sfxsdl) and our own
// output for PulseAudio-protocol servers (sfxpulse) are its two kinds; the
// audio component and its device keeper use them through this interface
// alone, and learn from each what it can do.
#pragma once

#include <cstdint>
#include <mutex>

// What an output can do.
struct TSfxOutputCaps {
  // It mixes on a thread of its own (not the sound server's), where a
  // callback may wait for the next sound without stalling anyone else.
  bool OwnThread = false;
  // It plays as time passes, to a listener: closing it while nothing plays
  // and opening it again loses nothing. (Not so for an output that writes
  // a file and starts it afresh at every opening.)
  bool RealTime = false;
  // It keeps a part written ahead and rewrites that part on request, so a
  // change is heard at the sink's latency.
  bool WritesAhead = false;
};

// What an output plays: the audio component's mix.
class TSfxOutputSource {
public:
  // Guards the mix. An output's own state that the game's threads change
  // (through WakeLocked) is guarded by it too.
  virtual std::mutex &MixLock() = 0;
  // With MixLock held: renders `frames` interleaved stereo frames into
  // `out` (replacing what it held), the whole mix but the sounds that wait
  // for a rewrite. Tells whether anything sounded.
  virtual bool RenderLocked(float *out, int frames) = 0;
  // Output thread, for outputs that write ahead: adds the sounds waiting
  // for a rewrite, from their start, into the `frames` frames already
  // rendered at `out`; they then play on in the mix. Tells whether there
  // were any.
  virtual bool AddStarted(float *out, int frames) = 0;
  // No rewrite comes: the next render takes the waiting sounds.
  virtual void ReleaseStarted() = 0;

protected:
  ~TSfxOutputSource() = default;
};

class TSfxOutput {
public:
  virtual ~TSfxOutput() = default;
  virtual TSfxOutputCaps Caps() const = 0;
  // The system took the output away: the server went, the device was
  // unplugged.
  virtual bool Failed() const = 0;
  // Halts or resumes the playing.
  virtual void SetPaused(bool paused) = 0;
  // With the source's mixing lock held: something is to sound; an output
  // that waits for the next sound goes on.
  virtual void WakeLocked() {}
  // With the source's mixing lock held: whether the output waits for the
  // next sound.
  virtual bool WaitingLocked() const { return false; }
  // Any thread, any lock held, never blocks; for outputs that write ahead:
  // sounds have started, rewrite what is not yet played.
  virtual void RequestRewrite() {}
  virtual uint64_t Rewrites() const { return 0; }
  // For tests: keeps the output's thread from mixing, as a server slow to
  // resume its output would, until released.
  virtual void Stall(bool stalled) = 0;
};
