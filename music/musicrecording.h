// A piece rendered once and kept. A thread of its own renders the whole
// piece through the synthesizer as soon as it is opened, many times faster
// than it plays; playing it, and playing it again after every rewind and
// in every game, then only reads the recording. The audio thread never
// waits for the synthesizer unless it asks for a part the thread has not
// reached yet, which it then renders itself.
//
// The recording is kept at the synth's rate, 16 bits a sample, and brought
// up to the output rate as it is played, by the same interpolation as the
// synthesizer's own MixInto: what is heard is what the synthesizer playing
// live would give.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class TMidiSynth;

class TMusicRecording {
public:
  // The longest piece, with its fading notes, that is recorded: six
  // minutes at the synth's rate (32 MB). A longer one is played live.
  static constexpr int64_t kMaxSeconds = 6 * 60;

  // Starts rendering the piece `synth` stands at the start of, `frames`
  // output frames at `rate` of it, on a thread of its own. The synth is the
  // recording's until it is destroyed. Throws std::bad_alloc or
  // std::system_error when the memory or the thread cannot be had.
  TMusicRecording(TMidiSynth &synth, int64_t frames, int rate);
  // Stops the rendering thread.
  ~TMusicRecording();
  TMusicRecording(const TMusicRecording &) = delete;
  TMusicRecording &operator=(const TMusicRecording &) = delete;

  // Whether a piece of `frames` output frames at `rate` is short enough.
  static bool Fits(int64_t frames, int rate);

  // Audio thread: adds output frames [from, from + frames) into `out`,
  // interleaved stereo. Frames past the piece's end are silent.
  // Allocates nothing.
  void MixInto(float *out, int64_t from, int frames);

  // Synth frames rendered so far, and in all.
  int64_t Rendered() const { return fRendered.load(std::memory_order_acquire); }
  int64_t SynthFrames() const { return fSynthFrames; }

private:
  // The rendering thread: the whole piece, a chunk at a time.
  void Run();
  // Renders up to synth frame `upTo` (at most the end) unless another
  // thread already has.
  void RenderUpTo(int64_t upTo);
  // A synth frame's sample of channel `c`, silent outside the recording.
  float Sample(int64_t frame, int c) const;

  static constexpr int kChunkFrames = 1024;
  static constexpr int kNice = 10;
  static constexpr int kPhaseBits = 16;

  TMidiSynth &fSynth;
  const int64_t fSynthFrames;
  const uint64_t fStep; // synth frames per output frame, 16-bit fraction
  std::unique_ptr<int16_t[]> fSamples;
  std::atomic<int64_t> fRendered = 0;
  std::atomic<bool> fStopping = false;
  std::mutex fRenderLock; // held while the synth renders
  std::thread fThread;
};
