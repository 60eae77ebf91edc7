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
  // With MixLock held: renders the next `frames` interleaved stereo frames
  // into `out` (replacing what it held), for an output that writes ahead
  // without what waits for its rewrite. Tells whether anything sounded.
  virtual bool RenderLocked(float *out, int frames) = 0;
  // Output thread, for outputs that write ahead: the changes since the
  // last rewrite take effect `frames` frames before the end of what was
  // rendered. Renders again the last frames from there into `out` and
  // tells how many: `frames`, or fewer when it cannot go back so far.
  virtual int Rerender(float *out, int frames) = 0;
  // No rewrite comes: the changes take effect in the next render.
  virtual void ReleaseChanges() = 0;

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
  // the mix changed, rewrite what is not yet played.
  virtual void RequestRewrite() {}
  virtual uint64_t Rewrites() const { return 0; }
  // For tests: keeps the output's thread from mixing, as a server slow to
  // resume its output would, until released.
  virtual void Stall(bool stalled) = 0;
};
