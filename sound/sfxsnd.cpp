#include "sound/sfxsnd.h"

#include "sound/sfxpulse.h"
#include "sound/sfxsdl.h"

#include "rtl/sysutils.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>

namespace {

constexpr int kDeviceRate = 44100;
constexpr int32_t kSilence = -10000;

// Hundredths of a decibel to a linear gain; -10000 and below is silence.
float Gain(int32_t hundredthsDb) {
  if (hundredthsDb <= kSilence)
    return 0.0f;
  return float(std::pow(10.0, hundredthsDb / 2000.0));
}

} // namespace

// --- TSfxSoundBuffer ---

TSfxSoundBuffer::TSfxSoundBuffer(TSfxAudio &audio, const TWaveFormatEx &format, int32_t size,
                                 const uint8_t *samples)
    : TSfxSoundBuffer(audio, SfxConvertSamples(format, size, samples, audio.Rate())) {
  ++audio.FConversions;
}

TSfxSoundBuffer::TSfxSoundBuffer(TSfxAudio &audio, std::shared_ptr<const TSfxMixSamples> samples)
    : FAudio(audio), FData(std::move(samples)), FSamples(FData->Samples.data()),
      FChannels(FData->Format.nChannels), FFrames(FData->Frames),
      FSourceFrames(FData->Size / FData->Format.nBlockAlign),
      FBlockAlign(FData->Format.nBlockAlign), FSize(FData->Size) {}

TSfxSoundBuffer::~TSfxSoundBuffer() {
  Stop();
}

void TSfxSoundBuffer::Play() {
  PlayWithLoop(false);
}

void TSfxSoundBuffer::PlayLooped() {
  Stop();
  PlayWithLoop(true);
}

void TSfxSoundBuffer::PlayWithLoop(bool looping) {
  if (FAudio.DeviceLost()) {
    Restore(); // this buffer is gone now
    return;
  }
  FAudio.Lock();
  const bool changed = !FPlaying || FLooping != looping;
  FLooping = looping;
  FPlaying = true;
  if (changed)
    FAudio.FMixer.ChangedLocked(*this);
  FAudio.FKeeper.WakeLocked();
  FAudio.Unlock();
}

void TSfxSoundBuffer::Stop() {
  FAudio.Lock();
  FPlaying = false;
  FAudio.FMixer.ChangedLocked(*this);
  FAudio.Unlock();
}

void TSfxSoundBuffer::SetPosition(int32_t bytes) {
  if (bytes < 0 || bytes >= FSize)
    throw Exception("SetPosition Failed");
  // Rounded up, so Position() gives back the frame that was set.
  int64_t sourceFrame = bytes / FBlockAlign;
  int64_t frame = (sourceFrame * FFrames + FSourceFrames - 1) / FSourceFrames;
  FAudio.Lock();
  FFrame = std::min(frame, FFrames - 1);
  FMoved = true;
  FAudio.FMixer.ChangedLocked(*this);
  FAudio.Unlock();
}

bool TSfxSoundBuffer::Playing() const {
  std::lock_guard lock(FAudio.FMixer.Lock);
  return FPlaying;
}

bool TSfxSoundBuffer::Looping() const {
  std::lock_guard lock(FAudio.FMixer.Lock);
  return FLooping;
}

int32_t TSfxSoundBuffer::Position() const {
  FAudio.Lock();
  int64_t frame = FFrame;
  FAudio.Unlock();
  return int32_t(frame * FSourceFrames / FFrames * FBlockAlign);
}

void TSfxSoundBuffer::SetVolume(int32_t value) {
  if (value < kSilence || value > 0)
    throw Exception("SetVolume Failed");
  FAudio.Lock();
  FVolume = value;
  UpdateGains();
  FAudio.FMixer.ChangedLocked(*this);
  FAudio.Unlock();
}

void TSfxSoundBuffer::SetPan(int32_t value) {
  if (value < -10000 || value > 10000)
    throw Exception("SetPan Failed");
  FAudio.Lock();
  FPan = value;
  UpdateGains();
  FAudio.FMixer.ChangedLocked(*this);
  FAudio.Unlock();
}

// Pan attenuates the opposite channel by the same law as the volume.
void TSfxSoundBuffer::UpdateGains() {
  float volume = Gain(FVolume);
  FGainLeft = FPan > 0 ? volume * Gain(-FPan) : volume;
  FGainRight = FPan < 0 ? volume * Gain(FPan) : volume;
}

void TSfxSoundBuffer::Restore() {
  // The handler destroys this buffer, its OnRestore included: call a copy.
  TRestoreEvent handler = OnRestore;
  if (handler)
    handler(this);
}

void TSfxSoundBuffer::MixInto(float *out, int frames) {
  while (frames > 0 && FPlaying) {
    const int n = int(std::min<int64_t>(frames, FFrames - FFrame));
    const int16_t *in = FSamples + FFrame * FChannels;
    constexpr float kScale = 1.0f / 32768.0f;
    const float left = FGainLeft * kScale, right = FGainRight * kScale;
    if (FChannels == 1) {
      for (int i = 0; i < n; ++i) {
        out[2 * i] += float(in[i]) * left;
        out[2 * i + 1] += float(in[i]) * right;
      }
    } else {
      for (int i = 0; i < n; ++i) {
        out[2 * i] += float(in[2 * i]) * left;
        out[2 * i + 1] += float(in[2 * i + 1]) * right;
      }
    }
    out += 2 * n;
    frames -= n;
    FFrame += n;
    if (FFrame >= FFrames) {
      FFrame = 0;
      FPlaying = FLooping;
    }
  }
}

void TSfxSoundBuffer::AnchorAt(int64_t at) {
  FAnchorAt = at;
  FAnchorFrame = FFrame;
  FAnchorPlaying = FPlaying;
  FAnchorLooping = FLooping;
  FChanged = false;
  FMoved = false;
}

// As MixInto would have moved it: a looped sound wraps, one played once
// stops at its end and stands at its start.
void TSfxSoundBuffer::WrittenAt(int64_t at, int64_t &frame, bool &playing) const {
  frame = FAnchorFrame;
  playing = FAnchorPlaying;
  if (!playing || at <= FAnchorAt)
    return;
  frame += at - FAnchorAt;
  if (frame < FFrames)
    return;
  if (FAnchorLooping) {
    frame %= FFrames;
  } else {
    frame = 0;
    playing = false;
  }
}

bool TSfxSoundBuffer::WrittenSoundsAfter(int64_t at) const {
  return FAnchorPlaying && (FAnchorLooping || FAnchorAt + FFrames - FAnchorFrame > at);
}

// A changed buffer was held back from what was written after its first
// change; before that, what was written had it where its anchor says.
void TSfxSoundBuffer::RestartAt(int64_t at) {
  if (!FChanged) {
    WrittenAt(at, FFrame, FPlaying);
  } else if (!FMoved && at < FChangedAt) {
    bool playing;
    WrittenAt(at, FFrame, playing); // playing or not as the game said
  }
  AnchorAt(at);
}

// --- TSfxAudio ---

TSfxAudio::TSdlAudio::TSdlAudio() {
  if (!TSfxSdlOutput::InitAudio())
    throw Exception("Failed to Create DirectSound");
}

TSfxAudio::TSdlAudio::~TSdlAudio() {
  TSfxSdlOutput::QuitAudio();
}

// Our own output where a PulseAudio-protocol server answers, unless the
// user chose SDL's driver; SDL's output for good when none answers, and on
// PipeWire its own driver, which SDL would try after PulseAudio's.
TSfxAudio::TSfxAudio()
    : FMixer(kDeviceRate), FKeeper(FMixer, [this](bool paused) { return OpenOutput(paused); }) {
  const char *driver = std::getenv("SDL_AUDIODRIVER");
  FTryOwnOutput = !driver || !*driver;
  try {
    FKeeper.OpenFirst();
  } catch (const Exception &) {
    if (!FTryOwnOutput)
      throw;
    FTryOwnOutput = false;
    if (FOnPipeWire)
      TSfxSdlOutput::UseDriver("pipewire");
    FKeeper.OpenFirst();
  }
  FKeeper.Start();
}

TSfxAudio::~TSfxAudio() {
  FreeBuffers();
  Lock();
  if (FMixer.Music)
    FMixer.Music->SetListener(nullptr); // a music that outlives this stops telling it
  Unlock();
}

std::unique_ptr<TSfxOutput> TSfxAudio::OpenOutput(bool paused) {
  if (!FTryOwnOutput)
    return TSfxSdlOutput::Open(FMixer, FMixer.Rate());
  bool pipeWire = false;
  std::unique_ptr<TSfxPulseOutput> output =
      TSfxPulseOutput::Open(FMixer, FMixer.Rate(), paused, pipeWire);
  FOnPipeWire = FOnPipeWire || pipeWire;
  if (!output)
    throw Exception("Failed to Create DirectSound");
  return output;
}

void TSfxAudio::SourceChanging() {
  Lock();
}

void TSfxAudio::SourceChanged(bool started) {
  FMixer.MusicChangedLocked();
  if (started)
    FKeeper.WakeLocked();
  Unlock();
}

void TSfxAudio::SetSoundLibrary(TSfxSoundLib *lib) {
  FreeBuffers();
  FSoundLibrary = lib;
  CreateBuffers(false);
}

void TSfxAudio::LibraryRemoved(TSfxSoundLib *lib) {
  if (lib == FSoundLibrary)
    FSoundLibrary = nullptr;
}

TSfxSoundBuffer *TSfxAudio::Sound(int index) const {
  if (FMixer.Buffers.empty())
    throw Exception("A library must be assigned to SoundLibrary");
  if (index < 0 || index >= int(FMixer.Buffers.size()))
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return FMixer.Buffers[size_t(index)].get();
}

void TSfxAudio::SetMusic(TSfxMixSource *music) {
  Lock();
  if (FMixer.Music)
    FMixer.Music->SetListener(nullptr);
  FMixer.Music = music;
  if (music) {
    music->SetListener(this);
    if (FMixer.Output)
      FMixer.Output->WakeLocked();
  }
  Unlock();
}

// Builds the whole table aside and publishes it only when every buffer
// was made, so Sound never hands out a buffer that was not built.
void TSfxAudio::CreateBuffers(bool reuse) {
  std::vector<std::unique_ptr<TSfxSoundBuffer>> old;
  if (reuse) {
    Lock();
    FMixer.Buffers.swap(old);
    Unlock();
  } else {
    FreeBuffers();
  }
  if (!FSoundLibrary || FSoundLibrary->Count() == 0)
    return;
  const int count = FSoundLibrary->Count();
  std::vector<std::unique_ptr<TSfxSoundBuffer>> buffers;
  try {
    buffers.reserve(size_t(count));
  } catch (const std::bad_alloc &) {
    throw Exception("Failed to allocate memory for Sound Buffers");
  }
  for (int i = 0; i < count; ++i) {
    TSfxSoundRec sound;
    FSoundLibrary->Sounds.GetSound(i, sound);
    std::unique_ptr<TSfxSoundBuffer> buffer;
    if (i < int(old.size()) &&
        old[size_t(i)]->FData->ConvertedFrom(sound.Format, sound.Size, sound.Data))
      buffer = std::make_unique<TSfxSoundBuffer>(*this, old[size_t(i)]->FData);
    else
      buffer = std::make_unique<TSfxSoundBuffer>(*this, sound.Format, sound.Size, sound.Data);
    buffer->SetPan(sound.Pan);
    buffer->SetVolume(sound.Volume);
    buffer->OnRestore = [this](TSfxSoundBuffer *) { RestoreBuffers(); };
    buffers.push_back(std::move(buffer));
  }
  Lock();
  FMixer.Buffers.swap(buffers);
  Unlock();
  ++FGeneration;
}

void TSfxAudio::FreeBuffers() {
  std::vector<std::unique_ptr<TSfxSoundBuffer>> old;
  Lock();
  FMixer.Buffers.swap(old);
  Unlock();
}

// Every buffer object is replaced, stopped at its start with the
// library's pan and volume; the samples already converted are kept.
void TSfxAudio::RestoreBuffers() {
  CreateBuffers(true);
}

void TSfxAudio::MixFor(TSfxOutput *output) {
  Lock();
  FMixer.SetOutputLocked(output);
  Unlock();
}

uint64_t TSfxAudio::Rewrites() const {
  std::lock_guard lock(FMixer.Lock);
  return FMixer.Output ? FMixer.Output->Rewrites() : 0;
}
