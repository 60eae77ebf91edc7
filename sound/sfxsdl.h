// SDL2 audio's output: SDL calls back for every block the device plays,
// and the callback renders the mix into it. It serves where our own output
// does not: ALSA alone, PipeWire's own driver, the dummy and disk drivers,
// a driver the user names in SDL_AUDIODRIVER.
//
// When nothing plays, a callback on SDL's own audio thread waits, outside
// the mixing lock, for at most a tenth of a second until something is to
// sound, so the device is seldom called back. Drivers that call back from
// the sound server's own thread (PipeWire) never wait there.
#pragma once

#include "sound/sfxoutput.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <semaphore>

class TSfxSdlOutput : public TSfxOutput {
public:
  // The longest an idle callback waits for the next sound.
  static constexpr std::chrono::milliseconds kIdleWait{100};

  // SDL's audio subsystem, for the process: started before any output
  // opens, and ended after the last one closed.
  static bool InitAudio();
  static void QuitAudio();
  // Makes `driver` SDL's audio driver from now on, or SDL's own choice
  // when it cannot start.
  static void UseDriver(const char *driver);

  // Opens SDL's default device for stereo float at `rate`, paused.
  // "Failed to Create DirectSound" when it cannot open, "Failed to set
  // directsound copoperative level" when it will not play that format.
  static std::unique_ptr<TSfxSdlOutput> Open(TSfxOutputSource &source, int rate);
  // Lets an idle callback go and closes the device.
  ~TSfxSdlOutput() override;
  TSfxSdlOutput(const TSfxSdlOutput &) = delete;
  TSfxSdlOutput &operator=(const TSfxSdlOutput &) = delete;

  TSfxOutputCaps Caps() const override;
  bool Failed() const override;
  void SetPaused(bool paused) override;
  void WakeLocked() override;
  bool WaitingLocked() const override { return FIdle; }
  void Stall(bool stalled) override;

private:
  TSfxSdlOutput(TSfxOutputSource &source, bool realTime);
  void LetGoLocked();
  static void Callback(void *self, uint8_t *stream, int len);

  TSfxOutputSource &FSource;
  uint32_t FDevice = 0;
  const bool FRealTime;
  // Whether SDL calls back from its own audio thread; -1 until the first
  // callback tells.
  std::atomic<int> FOwnThread{-1};
  // Guarded by the source's mixing lock.
  bool FPaused = true;
  bool FClosing = false; // the device is being closed: the callback must return
  bool FIdle = false;    // the callback waits on FWake
  std::binary_semaphore FWake{0};
};
