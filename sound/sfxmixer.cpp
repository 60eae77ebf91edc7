#include "sound/sfxmixer.h"

#include "sound/sfxmixsource.h"
#include "sound/sfxsnd.h"

#include <algorithm>
#include <span>

namespace {

void Clamp(float *out, int frames) {
  for (float &sample : std::span(out, size_t(frames) * TSfxMixer::kChannels))
    sample = std::clamp(sample, -1.0f, 1.0f);
}

} // namespace

TSfxMixer::TSfxMixer(int rate)
    : FRate(rate), FKeepFrames(rate * kRewriteMs / 1000),
      FMusicKept(size_t(FKeepFrames) * kChannels, 0.0f) {}

TSfxMixer::~TSfxMixer() = default;

bool TSfxMixer::Mix(float *out, int frames) {
  std::lock_guard lock(Lock);
  return MixLocked(out, 0, frames, false, TMusic::Direct);
}

// The one mix loop.
bool TSfxMixer::MixLocked(float *out, int64_t at, int frames, bool holdChanged, TMusic music) {
  std::fill_n(out, size_t(frames) * kChannels, 0.0f);
  bool any = false;
  for (const auto &buffer : Buffers) {
    if (buffer->FPlaying && !(holdChanged && buffer->FChanged)) {
      buffer->MixInto(out, frames);
      any = true;
    }
  }
  if (music == TMusic::Direct ? Music && Music->MixInto(out, frames, FRate)
                              : AddMusicLocked(out, at, frames, music))
    any = true;
  if (any)
    Clamp(out, frames);
  return any;
}

// What was written from now on follows the buffers' state as it is.
void TSfxMixer::SetOutputLocked(TSfxOutput *output) {
  Output = output;
  FWritesAhead = output && output->Caps().WritesAhead;
  FRewriteAsked = false;
  FMusicChanged = false;
  for (const auto &buffer : Buffers)
    buffer->AnchorAt(FWritten);
}

void TSfxMixer::AskRewriteLocked() {
  FRewriteAsked = true;
  Output->RequestRewrite();
}

// A buffer that neither plays now nor sounds in anything kept written
// ahead changes nothing written: it plays from its new state when it
// starts.
void TSfxMixer::ChangedAheadLocked(TSfxSoundBuffer &buffer) {
  if (!buffer.FChanged) {
    if (!buffer.FPlaying && !buffer.WrittenSoundsAfter(FWritten - FKeepFrames)) {
      buffer.AnchorAt(FWritten);
      return;
    }
    buffer.FChanged = true;
    buffer.FChangedAt = FWritten;
  }
  AskRewriteLocked();
}

void TSfxMixer::MusicChangedLocked() {
  if (!FWritesAhead)
    return;
  FMusicChanged = true;
  AskRewriteLocked();
}

bool TSfxMixer::SoundingLocked() const {
  for (const auto &buffer : Buffers)
    if (buffer->FPlaying)
      return true;
  return Music && Music->Sounding();
}

bool TSfxMixer::AddMusicLocked(float *out, int64_t at, int frames, TMusic music) {
  bool any = false;
  for (int done = 0; done < frames;) {
    const int64_t slot = (at + done) % FKeepFrames;
    const int piece = int(std::min<int64_t>(frames - done, FKeepFrames - slot));
    float *kept = &FMusicKept[size_t(slot) * kChannels];
    if (music != TMusic::Kept)
      std::fill_n(kept, size_t(piece) * kChannels, 0.0f);
    if (music == TMusic::Render && Music && Music->MixInto(kept, piece, FRate))
      any = true;
    float *to = out + size_t(done) * kChannels;
    for (int i = 0; i < piece * kChannels; ++i)
      to[i] += kept[i];
    done += piece;
  }
  return any;
}

// Every output renders through here, in stream order, so what was written
// and the music kept line up with FWritten.
bool TSfxMixer::RenderLocked(float *out, int frames) {
  FRenders.fetch_add(1, std::memory_order_relaxed);
  const bool holdMusic = FRewriteAsked && FMusicChanged;
  const bool any =
      MixLocked(out, FWritten, frames, FRewriteAsked, holdMusic ? TMusic::Silent : TMusic::Render);
  FWritten += frames;
  if (any)
    LastSound = TClock::now();
  return any;
}

// Every buffer is put where it stood `frames` before the end of what was
// written (or where the changes put it there) and mixed again from there;
// the music is rendered again from there only when it changed.
int TSfxMixer::Rerender(float *out, int frames) {
  std::lock_guard lock(Lock);
  frames = int(std::min<int64_t>({frames, FKeepFrames, FWritten}));
  const int64_t from = FWritten - frames;
  for (const auto &buffer : Buffers)
    buffer->RestartAt(from);
  const bool any =
      MixLocked(out, from, frames, false, FMusicChanged ? TMusic::Render : TMusic::Kept);
  FMusicChanged = false;
  FRewriteAsked = false;
  if (any)
    LastSound = TClock::now();
  return frames;
}

// What changed plays from the next write on.
void TSfxMixer::ReleaseChanges() {
  std::lock_guard lock(Lock);
  for (const auto &buffer : Buffers)
    if (buffer->FChanged)
      buffer->AnchorAt(FWritten);
  FMusicChanged = false;
  FRewriteAsked = false;
}
