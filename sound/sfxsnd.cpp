#include "sound/sfxsnd.h"

#include "rtl/sysutils.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr int kDeviceRate = 44100;

void Clamp(float *out, int frames) {
  for (float &sample : std::span(out, size_t(frames) * TSfxAudio::kChannels))
    sample = std::clamp(sample, -1.0f, 1.0f);
}
constexpr int kDeviceFrames = 882; // 20 ms
constexpr int32_t kSilence = -10000;

bool IsPlayableFormat(const TWaveFormatEx &f, int32_t size) {
  if (f.wFormatTag != 1 || (f.nChannels != 1 && f.nChannels != 2))
    return false;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16)
    return false;
  if (f.nSamplesPerSec < 100 || f.nSamplesPerSec > 200000)
    return false;
  if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8)
    return false;
  return size > 0 && size % f.nBlockAlign == 0;
}

// Converts the samples to float at `rate` with SDL's converter. The sound
// is fed with a few frames of its own end before it and of its start after
// it, so the resampler sees it as one period of a loop: a looped sound
// wraps without a click.
std::vector<float> ConvertSamples(const TWaveFormatEx &f, int32_t size, const uint8_t *samples,
                                  int rate, int64_t &frames) {
  const int channels = f.nChannels;
  const int64_t sourceFrames = size / f.nBlockAlign;
  frames = std::max<int64_t>(1, (sourceFrames * rate + f.nSamplesPerSec / 2) / f.nSamplesPerSec);
  SDL_AudioFormat format = f.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  SDL_AudioStream *stream = SDL_NewAudioStream(format, Uint8(channels), int(f.nSamplesPerSec),
                                               AUDIO_F32SYS, Uint8(channels), rate);
  if (!stream)
    throw Exception("CreateSoundBuffer Failed");
  const int64_t pad = std::min<int64_t>(64, sourceFrames);
  const int padBytes = int(pad * f.nBlockAlign);
  bool ok = SDL_AudioStreamPut(stream, samples + size - padBytes, padBytes) == 0 &&
            SDL_AudioStreamPut(stream, samples, size) == 0 &&
            SDL_AudioStreamPut(stream, samples, padBytes) == 0 && SDL_AudioStreamFlush(stream) == 0;
  std::vector<float> converted;
  if (ok) {
    converted.resize(size_t(SDL_AudioStreamAvailable(stream)) / sizeof(float));
    int got = SDL_AudioStreamGet(stream, converted.data(), int(converted.size() * sizeof(float)));
    ok = got >= 0;
    converted.resize(ok ? size_t(got) / sizeof(float) : 0);
  }
  SDL_FreeAudioStream(stream);
  if (!ok)
    throw Exception("CreateSoundBuffer Failed");

  const int64_t skip = (pad * rate + f.nSamplesPerSec / 2) / f.nSamplesPerSec;
  std::vector<float> result(size_t(frames * channels), 0.0f);
  const int64_t available = int64_t(converted.size()) / channels - skip;
  const int64_t take = std::clamp<int64_t>(available, 0, frames);
  std::copy_n(converted.begin() + skip * channels, take * channels, result.begin());
  return result;
}

// Whether SDL calls back from an audio thread of its own with this driver.
// Only there may a callback wait for the next sound: drivers such as
// PipeWire call back from the sound server's processing thread, where a
// wait would stall the server's graph.
bool DriverRunsOwnThread(const char *driver) {
  if (!driver)
    return false;
  for (const char *own : {"pulseaudio", "alsa", "dsp", "sndio", "dummy", "disk"})
    if (std::strcmp(driver, own) == 0)
      return true;
  return false;
}

// Hundredths of a decibel to a linear gain; -10000 and below is silence.
float Gain(int32_t hundredthsDb) {
  if (hundredthsDb <= kSilence)
    return 0.0f;
  return float(std::pow(10.0, hundredthsDb / 2000.0));
}

} // namespace

bool TSfxMixSamples::ConvertedFrom(const TWaveFormatEx &format, int32_t size,
                                   const uint8_t *source) const {
  const TWaveFormatEx &f = Format;
  return Source == source && Size == size && f.wFormatTag == format.wFormatTag &&
         f.nChannels == format.nChannels && f.nSamplesPerSec == format.nSamplesPerSec &&
         f.nBlockAlign == format.nBlockAlign && f.wBitsPerSample == format.wBitsPerSample;
}

// --- TSfxSoundBuffer ---

namespace {

std::shared_ptr<const TSfxMixSamples> Convert(const TWaveFormatEx &format, int32_t size,
                                              const uint8_t *samples, int rate) {
  if (!samples || !IsPlayableFormat(format, size))
    throw Exception("CreateSoundBuffer Failed");
  try {
    auto data = std::make_shared<TSfxMixSamples>();
    data->Samples = ConvertSamples(format, size, samples, rate, data->Frames);
    data->Format = format;
    data->Size = size;
    data->Source = samples;
    return data;
  } catch (const std::bad_alloc &) {
    throw Exception("CreateSoundBuffer Failed");
  }
}

} // namespace

TSfxSoundBuffer::TSfxSoundBuffer(TSfxAudio &audio, const TWaveFormatEx &format, int32_t size,
                                 const uint8_t *samples)
    : TSfxSoundBuffer(audio, Convert(format, size, samples, audio.Rate())) {
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
  FLooping = looping;
  if (!FPlaying) {
    FPlaying = true;
    FStarted = true;
    FAudio.StartedLocked();
  }
  FAudio.WakeLocked();
  FAudio.Unlock();
}

void TSfxSoundBuffer::Stop() {
  FAudio.Lock();
  FPlaying = false;
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
  FAudio.Unlock();
}

bool TSfxSoundBuffer::Playing() const {
  std::lock_guard lock(FAudio.FMixLock);
  return FPlaying;
}

bool TSfxSoundBuffer::Looping() const {
  std::lock_guard lock(FAudio.FMixLock);
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
  FAudio.Unlock();
}

void TSfxSoundBuffer::SetPan(int32_t value) {
  if (value < -10000 || value > 10000)
    throw Exception("SetPan Failed");
  FAudio.Lock();
  FPan = value;
  UpdateGains();
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
    const float *in = FSamples + FFrame * FChannels;
    if (FChannels == 1) {
      for (int i = 0; i < n; ++i) {
        out[2 * i] += in[i] * FGainLeft;
        out[2 * i + 1] += in[i] * FGainRight;
      }
    } else {
      for (int i = 0; i < n; ++i) {
        out[2 * i] += in[2 * i] * FGainLeft;
        out[2 * i + 1] += in[2 * i + 1] * FGainRight;
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

// --- TSfxAudio ---

TSfxAudio::TSfxAudio() {
  // The window system owns the process's signals: SDL must not turn
  // SIGINT and SIGTERM into events nobody reads.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
    throw Exception("Failed to Create DirectSound");
  // Our own output where a PulseAudio-protocol server answers, unless the
  // user chose SDL's driver; SDL's output for good when none answers, and
  // on PipeWire its own driver, which SDL would try after PulseAudio's.
  const char *driver = std::getenv("SDL_AUDIODRIVER");
  FTryOwnOutput = !driver || !*driver;
  try {
    std::lock_guard device(FDeviceLock);
    try {
      OpenDevice();
    } catch (const Exception &) {
      if (!FTryOwnOutput)
        throw;
      FTryOwnOutput = false;
      if (FOnPipeWire && SDL_AudioInit("pipewire") != 0)
        SDL_AudioInit(nullptr);
      OpenDevice();
    }
  } catch (...) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    throw;
  }
  FKeeper = std::thread(&TSfxAudio::Keep, this);
}

TSfxAudio::~TSfxAudio() {
  Lock();
  FQuit = true;
  FKeeperWake.notify_one();
  Unlock();
  FKeeper.join();
  FreeBuffers();
  {
    std::lock_guard device(FDeviceLock);
    CloseDevice();
  }
  if (FMusic)
    FMusic->SetListener(nullptr); // a music that outlives this stops telling it
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// With FDeviceLock held. The mix format is asked for as it is; SDL
// converts it to whatever the device plays.
void TSfxAudio::OpenDevice() {
  if (FTryOwnOutput) {
    Lock();
    const bool paused = FPaused;
    Unlock();
    bool pipeWire = false;
    std::unique_ptr<TSfxPulseOutput> output =
        TSfxPulseOutput::Open(*this, kDeviceRate, paused, pipeWire);
    FOnPipeWire = FOnPipeWire || pipeWire;
    if (!output)
      throw Exception("Failed to Create DirectSound");
    Lock();
    FCanIdle = false;
    FCanGiveBack = true;
    FLastSound = TClock::now();
    FRewriter = output.get();
    // Sounds started while it was closed go out with its first writes.
    FRewriteAsked = false;
    FOwnOutput = std::move(output);
    FDevice = kOwnOutput;
    Unlock();
    ++FOpenings;
    return;
  }
  SDL_AudioSpec want{};
  want.freq = kDeviceRate;
  want.format = AUDIO_F32SYS;
  want.channels = kChannels;
  want.samples = kDeviceFrames;
  want.callback = &TSfxAudio::Callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0)
    throw Exception("Failed to Create DirectSound");
  if (have.freq != kDeviceRate || have.channels != kChannels || have.format != AUDIO_F32SYS) {
    SDL_CloseAudioDevice(device);
    throw Exception("Failed to set directsound copoperative level");
  }
  Lock();
  const char *driver = SDL_GetCurrentAudioDriver();
  FCanIdle = DriverRunsOwnThread(driver);
  // The disk driver starts its file afresh at every opening.
  FCanGiveBack = !driver || std::strcmp(driver, "disk") != 0;
  FLastSound = TClock::now();
  FDevice = device;
  const bool paused = FPaused;
  Unlock();
  ++FOpenings;
  SDL_PauseAudioDevice(device, paused ? 1 : 0);
}

// With FDeviceLock held. SDL holds its device lock around the callback,
// and closing takes it: an idle callback must be let go first, and must
// not wait again.
void TSfxAudio::CloseDevice() {
  const uint32_t device = FDevice.load();
  if (device == 0)
    return;
  if (FOwnOutput) {
    Lock();
    FRewriter = nullptr;
    FRewriteAsked = false;
    Unlock();
    FOwnOutput.reset(); // its thread may be waiting for the mixing lock
    Lock();
    FDevice = 0;
    Unlock();
    return;
  }
  Lock();
  FClosing = true;
  LetCallbackGoLocked();
  Unlock();
  SDL_CloseAudioDevice(device);
  Lock();
  FDevice = 0;
  FClosing = false;
  Unlock();
}

bool TSfxAudio::Reopen() {
  std::lock_guard device(FDeviceLock);
  CloseDevice();
  try {
    OpenDevice();
    return true;
  } catch (const Exception &) {
    return false;
  }
}

// The keeper's round: bring back a lost device once a second, open a
// device given back when a sound wants it, and watch an open one, giving
// it back once nothing has sounded for a while. It sleeps for good while
// the device is given back and nothing is to sound.
void TSfxAudio::Keep() {
  std::unique_lock lock(FMixLock);
  while (!FQuit) {
    const TClock::time_point now = TClock::now();
    const uint32_t device = FDevice.load();
    if (FLost.load()) {
      if (device != 0) {
        lock.unlock();
        {
          std::lock_guard guard(FDeviceLock);
          CloseDevice();
        }
        lock.lock();
      } else if (now < FNextTry) {
        FKeeperWake.wait_until(lock, FNextTry);
      } else {
        lock.unlock();
        const bool open = Reopen();
        lock.lock();
        if (open) {
          FLost = false;
          FWanted = false;
        } else {
          FNextTry = TClock::now() + kRetryEvery;
        }
      }
      continue;
    }
    if (device == 0) {
      if (!FWanted) {
        FKeeperWake.wait(lock);
        continue;
      }
      lock.unlock();
      const bool open = Reopen();
      lock.lock();
      FWanted = false;
      if (!open) {
        FLost = true;
        FNextTry = TClock::now() + kRetryEvery;
      }
      continue;
    }
    if (FOwnOutput ? FOwnOutput->Failed() : SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_STOPPED) {
      // Taken away (the server went, the output was unplugged): try again
      // at once, then once a second.
      FLost = true;
      FNextTry = now;
      continue;
    }
    if (!FPaused && FCanGiveBack && now - FLastSound >= kGiveBackAfter && !SoundingLocked()) {
      const TClock::time_point decided = FLastSound;
      lock.unlock();
      {
        std::lock_guard guard(FDeviceLock);
        CloseDevice();
      }
      lock.lock();
      // A sound started while the device was being closed.
      if (FLastSound != decided)
        FWanted = true;
      continue;
    }
    TClock::time_point wake = now + kWatchEvery;
    if (!FPaused && FCanGiveBack && FLastSound + kGiveBackAfter > now)
      wake = std::min(wake, FLastSound + kGiveBackAfter);
    FKeeperWake.wait_until(lock, wake);
  }
}

void TSfxAudio::MarkLost() {
  Lock();
  FLost = true;
  FNextTry = TClock::now() + kRetryEvery;
  FKeeperWake.notify_one();
  Unlock();
}

// Pausing takes SDL's device lock too: an idle callback is let go first,
// and a paused flag keeps it from waiting again.
void TSfxAudio::SetPaused(bool paused) {
  Lock();
  FPaused = paused;
  FLastSound = TClock::now();
  LetCallbackGoLocked();
  Unlock();
  std::lock_guard device(FDeviceLock);
  if (FOwnOutput)
    FOwnOutput->SetPaused(paused);
  else if (FDevice.load() != 0)
    SDL_PauseAudioDevice(FDevice.load(), paused ? 1 : 0);
}

bool TSfxAudio::SoundingLocked() const {
  for (const auto &buffer : FBuffers)
    if (buffer->FPlaying)
      return true;
  return FMusic && FMusic->Sounding();
}

bool TSfxAudio::Idle() const {
  std::lock_guard lock(FMixLock);
  return FIdle || (FDevice.load() == 0 && !FLost.load() && !FWanted);
}

void TSfxAudio::Lock() const {
  FMixLock.lock();
}

void TSfxAudio::Unlock() const {
  FMixLock.unlock();
}

void TSfxAudio::LetCallbackGoLocked() {
  if (FIdle) {
    FIdle = false;
    FWake.release();
  }
}

void TSfxAudio::WakeLocked() {
  LetCallbackGoLocked();
  FLastSound = TClock::now();
  if (FDevice.load() == 0 && !FWanted) {
    FWanted = true;
    FKeeperWake.notify_one();
  }
}

void TSfxAudio::SourceStarted() {
  Lock();
  WakeLocked();
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
  if (FBuffers.empty())
    throw Exception("A library must be assigned to SoundLibrary");
  if (index < 0 || index >= int(FBuffers.size()))
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return FBuffers[size_t(index)].get();
}

void TSfxAudio::SetMusic(TSfxMixSource *music) {
  Lock();
  if (FMusic)
    FMusic->SetListener(nullptr);
  FMusic = music;
  if (FMusic) {
    FMusic->SetListener(this);
    LetCallbackGoLocked();
  }
  Unlock();
}

// Builds the whole table aside and publishes it only when every buffer
// was made, so Sound never hands out a buffer that was not built.
void TSfxAudio::CreateBuffers(bool reuse) {
  std::vector<std::unique_ptr<TSfxSoundBuffer>> old;
  if (reuse) {
    Lock();
    FBuffers.swap(old);
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
  FBuffers.swap(buffers);
  Unlock();
  ++FGeneration;
}

void TSfxAudio::FreeBuffers() {
  std::vector<std::unique_ptr<TSfxSoundBuffer>> old;
  Lock();
  FBuffers.swap(old);
  Unlock();
}

// Every buffer object is replaced, stopped at its start with the
// library's pan and volume; the samples already converted are kept.
void TSfxAudio::RestoreBuffers() {
  CreateBuffers(true);
}

bool TSfxAudio::Mix(float *out, int frames) {
  Lock();
  bool any = MixUnlocked(out, frames);
  Unlock();
  return any;
}

bool TSfxAudio::MixUnlocked(float *out, int frames, bool holdStarted) {
  std::fill_n(out, size_t(frames) * kChannels, 0.0f);
  bool any = false;
  for (const auto &buffer : FBuffers) {
    if (buffer->FPlaying && !(holdStarted && buffer->FStarted)) {
      buffer->MixInto(out, frames);
      buffer->FStarted = false;
      any = true;
    }
  }
  if (FMusic && FMusic->MixInto(out, frames, FRate))
    any = true;
  if (any)
    Clamp(out, frames);
  return any;
}

void TSfxAudio::StartedLocked() {
  if (FRewriter) {
    FRewriteAsked = true;
    FRewriter->RequestRewrite();
  }
}

// Our own output's thread: what it writes ahead.
bool TSfxAudio::RenderAhead(float *out, int frames) {
  FCallbacks.fetch_add(1, std::memory_order_relaxed);
  std::lock_guard lock(FMixLock);
  const bool any = MixUnlocked(out, frames, FRewriteAsked);
  if (any)
    FLastSound = TClock::now();
  return any;
}

// Our own output's thread: the started sounds into what it writes again.
bool TSfxAudio::AddStarted(float *out, int frames) {
  std::lock_guard lock(FMixLock);
  FRewriteAsked = false;
  bool any = false;
  for (const auto &buffer : FBuffers) {
    if (buffer->FPlaying && buffer->FStarted) {
      buffer->MixInto(out, frames);
      buffer->FStarted = false;
      any = true;
    }
  }
  if (any) {
    Clamp(out, frames);
    FLastSound = TClock::now();
  }
  return any;
}

void TSfxAudio::ReleaseStarted() {
  std::lock_guard lock(FMixLock);
  FRewriteAsked = false;
}

uint64_t TSfxAudio::Rewrites() const {
  std::lock_guard lock(FMixLock);
  return FRewriter ? FRewriter->Rewrites() : 0;
}

// A callback that mixed nothing waits until something starts, then mixes
// its block again, so the new sound starts in it. The wait happens
// outside the mixing lock and lasts a tenth of a second at most, after
// which the block goes out silent; Play and the other wakers post FWake
// under the lock, so a wake-up is never lost. It allocates nothing.
void TSfxAudio::Callback(void *self, uint8_t *stream, int len) {
  auto *audio = static_cast<TSfxAudio *>(self);
  float *out = reinterpret_cast<float *>(stream);
  const int frames = len / int(sizeof(float) * kChannels);
  audio->FCallbacks.fetch_add(1, std::memory_order_relaxed);
  for (;;) {
    std::unique_lock lock(audio->FMixLock);
    const bool any = audio->MixUnlocked(out, frames);
    if (any)
      audio->FLastSound = TClock::now();
    if (any || audio->FPaused || audio->FClosing || !audio->FCanIdle)
      return;
    audio->FIdle = true;
    lock.unlock();
    if (audio->FWake.try_acquire_for(kIdleWait))
      continue;
    lock.lock();
    if (audio->FIdle) {
      audio->FIdle = false; // nobody woke it: the silence goes out
      return;
    }
    lock.unlock();
    audio->FWake.acquire(); // posted under the lock just held
  }
}
