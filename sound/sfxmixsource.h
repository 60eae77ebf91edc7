// Something the audio component mixes into its output besides the sound
// buffers: the background music.
#pragma once

#include <atomic>

// Told by a mix source that what it sounds changes: no mix runs between
// SourceChanging and SourceChanged, so what was written ahead is taken back
// from where the change is first heard, and nothing of the old or the new
// state is mixed in between.
class TSfxMixListener {
public:
  virtual void SourceChanging() = 0;
  // `started`: the source sounds from now on.
  virtual void SourceChanged(bool started) = 0;

protected:
  ~TSfxMixListener() = default;
};

class TSfxMixSource {
public:
  virtual ~TSfxMixSource() = default;
  // Runs on the audio thread while the audio component holds its mixing
  // lock: adds `frames` interleaved stereo frames of float samples at
  // `rate` Hz into `out` (which already holds the sound effects). Returns
  // false when the source is silent and stays so until it calls Started.
  // Must not allocate, block for long or call back into the audio
  // component.
  virtual bool MixInto(float *out, int frames, int rate) = 0;
  // Whether the source still has something to sound: MixInto would add
  // to the output. Called by the audio component with its mixing lock
  // held, from any thread; must not block for long.
  virtual bool Sounding() const = 0;

  // The audio component that mixes this source registers here; nullptr
  // when it lets go.
  void SetListener(TSfxMixListener *listener) { fListener.store(listener); }

protected:
  // Runs `change`, which alters what the source sounds from now on (and
  // may take the source's own locks), while no mix runs; an audio device
  // that went idle resumes when the source `started` to sound.
  template <class F> void Change(F &&change, bool started) {
    TSfxMixListener *listener = fListener.load();
    if (listener)
      listener->SourceChanging();
    change();
    if (listener)
      listener->SourceChanged(started);
  }

private:
  std::atomic<TSfxMixListener *> fListener{nullptr};
};
