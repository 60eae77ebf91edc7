#include "sound/sfxmixer.h"

#include "sound/sfxmixsource.h"
#include "sound/sfxsnd.h"

#include <algorithm>
#include <span>

TSfxMixer::TSfxMixer(int rate) : FRate(rate) {}

TSfxMixer::~TSfxMixer() = default;

bool TSfxMixer::Mix(float *out, int frames) {
  std::lock_guard lock(Lock);
  return MixLocked(out, frames, TPart::All);
}

bool TSfxMixer::MixLocked(float *out, int frames, TPart part) {
  if (part != TPart::Started)
    std::fill_n(out, size_t(frames) * kChannels, 0.0f);
  bool any = false;
  for (const auto &buffer : Buffers) {
    if (!buffer->FPlaying || (part == TPart::Settled && buffer->FStarted) ||
        (part == TPart::Started && !buffer->FStarted))
      continue;
    buffer->MixInto(out, frames);
    buffer->FStarted = false;
    any = true;
  }
  if (part != TPart::Started && Music && Music->MixInto(out, frames, FRate))
    any = true;
  if (any)
    for (float &sample : std::span(out, size_t(frames) * kChannels))
      sample = std::clamp(sample, -1.0f, 1.0f);
  return any;
}

void TSfxMixer::SetOutputLocked(TSfxOutput *output) {
  Output = output;
  FWritesAhead = output && output->Caps().WritesAhead;
  FRewriteAsked = false;
}

void TSfxMixer::StartedLocked() {
  if (FWritesAhead) {
    FRewriteAsked = true;
    Output->RequestRewrite();
  }
}

bool TSfxMixer::SoundingLocked() const {
  for (const auto &buffer : Buffers)
    if (buffer->FPlaying)
      return true;
  return Music && Music->Sounding();
}

bool TSfxMixer::RenderLocked(float *out, int frames) {
  FRenders.fetch_add(1, std::memory_order_relaxed);
  const bool any = MixLocked(out, frames, FRewriteAsked ? TPart::Settled : TPart::All);
  if (any)
    LastSound = TClock::now();
  return any;
}

bool TSfxMixer::AddStarted(float *out, int frames) {
  std::lock_guard lock(Lock);
  FRewriteAsked = false;
  const bool any = MixLocked(out, frames, TPart::Started);
  if (any)
    LastSound = TClock::now();
  return any;
}

void TSfxMixer::ReleaseStarted() {
  std::lock_guard lock(Lock);
  FRewriteAsked = false;
}
