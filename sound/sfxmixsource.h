// Something the audio component mixes into its output besides the sound
// buffers: the background music.
#pragma once

#include <atomic>

// Told by a mix source that it has started to sound, or stopped.
class TSfxMixListener {
public:
  virtual void SourceStarted() = 0;
  virtual void SourceStopped() = 0;

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
  // To be called once the source sounds again, outside the source's own
  // locks: an audio device that went idle resumes.
  void Started() {
    if (TSfxMixListener *listener = fListener.load())
      listener->SourceStarted();
  }
  // The same, once the source stopped sounding at once: what an output
  // wrote ahead of it is to be taken back.
  void Stopped() {
    if (TSfxMixListener *listener = fListener.load())
      listener->SourceStopped();
  }

private:
  std::atomic<TSfxMixListener *> fListener{nullptr};
};
