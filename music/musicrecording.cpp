#include "music/musicrecording.h"

#include "music/midisynth.h"

#include <algorithm>
#include <cmath>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr float kToSample = 32767.0f;
constexpr float kFromSample = 1.0f / 32767.0f;

int64_t SynthFramesFor(int64_t frames, int rate) {
  const int synthRate = std::min(rate, TMidiSynth::kSynthRate);
  // The last output frame lies before synth frame frames * synthRate /
  // rate, and its interpolation reads two frames past the one it lies on.
  return frames * synthRate / rate + 3;
}

} // namespace

bool TMusicRecording::Fits(int64_t frames, int rate) {
  return rate > 0 && frames >= 0 && frames <= kMaxSeconds * int64_t(rate);
}

TMusicRecording::TMusicRecording(TMidiSynth &synth, int64_t frames, int rate)
    : fSynth(synth), fSynthFrames(SynthFramesFor(frames, rate)),
      fStep(((uint64_t(synth.SynthRate()) << kPhaseBits) + uint64_t(rate) / 2) / uint64_t(rate)),
      fSamples(std::make_unique_for_overwrite<int16_t[]>(size_t(2 * fSynthFrames))),
      fThread([this] { Run(); }) {}

TMusicRecording::~TMusicRecording() {
  fStopping = true;
  fThread.join();
}

void TMusicRecording::Run() {
  // Work in the background: the window and the game come first.
  pthread_setname_np(pthread_self(), "zoftrel-music");
  [[maybe_unused]] int niced = setpriority(PRIO_PROCESS, id_t(gettid()), kNice);
  while (!fStopping.load(std::memory_order_relaxed) && Rendered() < fSynthFrames)
    RenderUpTo(Rendered() + kChunkFrames);
}

void TMusicRecording::RenderUpTo(int64_t upTo) {
  std::lock_guard lock(fRenderLock);
  upTo = std::min(upTo, fSynthFrames);
  float chunk[2 * kChunkFrames];
  for (int64_t done = fRendered.load(std::memory_order_relaxed); done < upTo;) {
    const int frames = int(std::min<int64_t>(kChunkFrames, upTo - done));
    fSynth.Render(chunk, frames);
    int16_t *samples = &fSamples[size_t(2 * done)];
    for (int i = 0; i < 2 * frames; ++i)
      samples[i] = int16_t(std::lrint(std::clamp(chunk[i], -1.0f, 1.0f) * kToSample));
    done += frames;
    fRendered.store(done, std::memory_order_release);
  }
}

float TMusicRecording::Sample(int64_t frame, int c) const {
  if (frame < 0 || frame >= fSynthFrames)
    return 0.0f;
  return float(fSamples[size_t(2 * frame + c)]) * kFromSample;
}

// Interpolates through the four synth frames around each output frame, as
// the synthesizer's MixInto does.
void TMusicRecording::MixInto(float *out, int64_t from, int frames) {
  if (frames <= 0 || from < 0)
    return;
  const int64_t last = int64_t((uint64_t(from + frames - 1) * fStep) >> kPhaseBits);
  if (last + 3 > Rendered())
    RenderUpTo(last + 3);
  constexpr float kScale = 1.0f / float(1 << kPhaseBits);
  constexpr uint64_t kFraction = (uint64_t(1) << kPhaseBits) - 1;
  for (int n = 0; n < frames; ++n) {
    const uint64_t at = uint64_t(from + n) * fStep;
    const int64_t i = int64_t(at >> kPhaseBits);
    if (i >= fSynthFrames)
      break;
    const float t = float(at & kFraction) * kScale;
    for (int c = 0; c < 2; ++c) {
      const float a = Sample(i - 1, c), b = Sample(i, c);
      const float d = Sample(i + 1, c), e = Sample(i + 2, c);
      out[2 * n + c] += TMidiSynth::Interpolate(a, b, d, e, t);
    }
  }
}
