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
//
// A recording can also be written to a file and read back (the shipped
// tune is recorded at build time): it is then streamed from the file, and
// no synthesizer is made at all.
#pragma once

#include "music/musicsource.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class TMidiSynth;

class TMusicRecording {
public:
  // The longest piece, with its fading notes, that is recorded: six
  // minutes at the synth's rate (32 MB). A longer one is played live.
  static constexpr int64_t kMaxSeconds = 6 * 60;
  // Makes the synthesizer, standing at the start of the piece, or null
  // when there is none (the recording is silent then).
  using TSynthMaker = std::function<std::unique_ptr<TMidiSynth>()>;

  // Starts rendering the piece `synth` stands at the start of, `frames`
  // output frames at `rate` of it, on a thread of its own. The synth is the
  // recording's until it is destroyed. Throws std::bad_alloc or
  // std::system_error when the memory or the thread cannot be had.
  TMusicRecording(TMidiSynth &synth, int64_t frames, int rate);
  // The same with a synth that the thread makes first, so that the
  // soundfont is loaded off the caller's thread.
  TMusicRecording(TSynthMaker makeSynth, int64_t frames, int rate);
  // Stops the rendering thread.
  ~TMusicRecording();
  TMusicRecording(const TMusicRecording &) = delete;
  TMusicRecording &operator=(const TMusicRecording &) = delete;

  // Whether a piece of `frames` output frames at `rate` is short enough.
  static bool Fits(int64_t frames, int rate);

  // A recording of `frames` output frames at `rate` read from the file at
  // `path`, or null when there is none there or it was not made from
  // `source` at this rate and length (or is damaged).
  static std::unique_ptr<TMusicRecording> Load(const std::string &path, const TMusicSource &source,
                                               int64_t frames, int rate);
  // Renders what is left and writes the recording to `path`, naming
  // `source` as what it was made from. False when the file cannot be
  // written.
  bool Save(const std::string &path, const TMusicSource &source);

  // Audio thread: adds output frames [from, from + frames) into `out`,
  // interleaved stereo. Frames past the piece's end are silent.
  // Allocates nothing.
  void MixInto(float *out, int64_t from, int frames);

  // Synth frames rendered so far, and in all.
  int64_t Rendered() const { return fRendered.load(std::memory_order_acquire); }
  int64_t SynthFrames() const { return fSynthFrames; }
  // Whether it is read from a file.
  bool FromFile() const { return fMapped != nullptr; }

private:
  // A recording of `synthFrames` frames mapped from a file.
  TMusicRecording(int64_t synthFrames, int rate, void *mapped, size_t mappedBytes);
  // The rendering thread: the whole piece, a chunk at a time.
  void Run();
  // Renders up to synth frame `upTo` (at most the end) unless another
  // thread already has.
  void RenderUpTo(int64_t upTo);
  // A synth frame's sample of channel `c`, silent outside the recording.
  float Sample(int64_t frame, int c) const;
  // Lets the pages of a file recording far from `frame` go: streaming
  // keeps only the part around what plays in memory.
  void ReleaseAround(int64_t frame);

  static constexpr int kChunkFrames = 1024;
  static constexpr int kNice = 10;
  static constexpr int kPhaseBits = 16;

  TSynthMaker fMakeSynth;
  std::unique_ptr<TMidiSynth> fOwnSynth; // made by fMakeSynth
  TMidiSynth *fSynth = nullptr;          // null: silent, or read from a file
  const int fSynthRate;
  const int64_t fSynthFrames;
  const uint64_t fStep; // synth frames per output frame, 16-bit fraction
  std::unique_ptr<int16_t[]> fSamples;
  const int16_t *fData = nullptr; // fSamples, or the file's samples
  void *fMapped = nullptr;
  size_t fMappedBytes = 0;
  int64_t fKeptFrom = 0; // the start of the file's part kept in memory
  std::atomic<int64_t> fRendered = 0;
  std::atomic<bool> fStopping = false;
  std::mutex fRenderLock; // held while the synth renders
  std::thread fThread;
};
