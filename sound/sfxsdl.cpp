#include "sound/sfxsdl.h"

#include "rtl/sysutils.h"

#include <SDL.h>

#include <cstring>
#include <pthread.h>

namespace {

constexpr int kChannels = 2;
constexpr int kDeviceFrames = 882; // 20 ms

// Whether this is SDL's own audio thread ("SDLAudioP" and the device's
// number). Only there may a callback wait for the next sound: drivers such
// as PipeWire call back from the sound server's processing thread, where a
// wait would stall the server's graph.
bool OnSdlAudioThread() {
  char name[16] = {};
  if (pthread_getname_np(pthread_self(), name, sizeof name) != 0)
    return false;
  return std::strncmp(name, "SDLAudioP", 9) == 0;
}

} // namespace

bool TSfxSdlOutput::InitAudio() {
  // The window system owns the process's signals: SDL must not turn
  // SIGINT and SIGTERM into events nobody reads.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

void TSfxSdlOutput::QuitAudio() {
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void TSfxSdlOutput::UseDriver(const char *driver) {
  if (SDL_AudioInit(driver) != 0)
    SDL_AudioInit(nullptr);
}

TSfxSdlOutput::TSfxSdlOutput(TSfxOutputSource &source, bool realTime)
    : FSource(source), FRealTime(realTime) {}

// The mix format is asked for as it is; SDL converts it to whatever the
// device plays.
std::unique_ptr<TSfxSdlOutput> TSfxSdlOutput::Open(TSfxOutputSource &source, int rate) {
  // SDL has no flag for it: its disk driver writes a file, and starts it
  // afresh at every opening.
  const char *driver = SDL_GetCurrentAudioDriver();
  const bool realTime = !driver || std::strcmp(driver, "disk") != 0;
  // Made before the device, which calls back into it as soon as it plays.
  std::unique_ptr<TSfxSdlOutput> output(new TSfxSdlOutput(source, realTime));
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_F32SYS;
  want.channels = kChannels;
  want.samples = kDeviceFrames;
  want.callback = &TSfxSdlOutput::Callback;
  want.userdata = output.get();
  SDL_AudioSpec have{};
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0)
    throw Exception("Failed to Create DirectSound");
  if (have.freq != rate || have.channels != kChannels || have.format != AUDIO_F32SYS) {
    SDL_CloseAudioDevice(device);
    throw Exception("Failed to set directsound copoperative level");
  }
  output->FDevice = device;
  return output;
}

// SDL holds its device lock around the callback, and closing takes it: an
// idle callback must be let go first, and must not wait again.
TSfxSdlOutput::~TSfxSdlOutput() {
  if (FDevice == 0)
    return;
  {
    std::lock_guard lock(FSource.MixLock());
    FClosing = true;
    LetGoLocked();
  }
  SDL_CloseAudioDevice(FDevice);
}

TSfxOutputCaps TSfxSdlOutput::Caps() const {
  return {FOwnThread.load() == 1, FRealTime, false};
}

bool TSfxSdlOutput::Failed() const {
  return SDL_GetAudioDeviceStatus(FDevice) == SDL_AUDIO_STOPPED;
}

// Pausing takes SDL's device lock too: an idle callback is let go first,
// and the paused flag keeps it from waiting again.
void TSfxSdlOutput::SetPaused(bool paused) {
  {
    std::lock_guard lock(FSource.MixLock());
    FPaused = paused;
    LetGoLocked();
  }
  SDL_PauseAudioDevice(FDevice, paused ? 1 : 0);
}

void TSfxSdlOutput::LetGoLocked() {
  if (FIdle) {
    FIdle = false;
    FWake.release();
  }
}

void TSfxSdlOutput::WakeLocked() {
  LetGoLocked();
}

void TSfxSdlOutput::Stall(bool stalled) {
  if (stalled)
    SDL_LockAudioDevice(FDevice);
  else
    SDL_UnlockAudioDevice(FDevice);
}

// A callback that mixed nothing waits until something starts, then mixes
// its block again, so the new sound starts in it. The wait happens
// outside the mixing lock and lasts a tenth of a second at most, after
// which the block goes out silent; the wakers post FWake under the lock,
// so a wake-up is never lost. It allocates nothing.
void TSfxSdlOutput::Callback(void *self, uint8_t *stream, int len) {
  auto *output = static_cast<TSfxSdlOutput *>(self);
  float *out = reinterpret_cast<float *>(stream);
  const int frames = len / int(sizeof(float) * kChannels);
  if (output->FOwnThread.load(std::memory_order_relaxed) < 0)
    output->FOwnThread = OnSdlAudioThread() ? 1 : 0;
  const bool canIdle = output->FOwnThread.load(std::memory_order_relaxed) == 1;
  for (;;) {
    std::unique_lock lock(output->FSource.MixLock());
    const bool any = output->FSource.RenderLocked(out, frames);
    if (any || output->FPaused || output->FClosing || !canIdle)
      return;
    output->FIdle = true;
    lock.unlock();
    if (output->FWake.try_acquire_for(kIdleWait))
      continue;
    lock.lock();
    if (output->FIdle) {
      output->FIdle = false; // nobody woke it: the silence goes out
      return;
    }
    lock.unlock();
    output->FWake.acquire(); // posted under the lock just held
  }
}
