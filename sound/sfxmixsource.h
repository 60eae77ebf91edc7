// Something the audio component mixes into its output besides the sound
// buffers: the background music.
#pragma once

class TSfxMixSource {
public:
  virtual ~TSfxMixSource() = default;
  // Runs on the audio thread while the audio component holds its device
  // lock: adds `frames` interleaved stereo frames of float samples at
  // `rate` Hz into `out` (which already holds the sound effects). Must not
  // allocate, block for long or call back into the audio component.
  virtual void MixInto(float *out, int frames, int rate) = 0;
};
