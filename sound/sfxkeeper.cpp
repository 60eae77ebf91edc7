#include "sound/sfxkeeper.h"

#include "rtl/sysutils.h"

#include <algorithm>

TSfxDeviceKeeper::TSfxDeviceKeeper(TSfxMixer &mixer, TOpener opener)
    : FMixer(mixer), FOpener(std::move(opener)) {}

TSfxDeviceKeeper::~TSfxDeviceKeeper() {
  if (FThread.joinable()) {
    {
      std::lock_guard lock(FMixer.Lock);
      FQuit = true;
      FKeeperWake.notify_one();
    }
    FThread.join();
  }
  std::lock_guard device(FDeviceLock);
  CloseOutput();
}

void TSfxDeviceKeeper::OpenFirst() {
  std::lock_guard device(FDeviceLock);
  OpenOutput();
}

void TSfxDeviceKeeper::Start() {
  FThread = std::thread(&TSfxDeviceKeeper::Keep, this);
}

void TSfxDeviceKeeper::OpenOutput() {
  bool paused;
  {
    std::lock_guard lock(FMixer.Lock);
    paused = FPaused;
  }
  std::unique_ptr<TSfxOutput> output = FOpener(paused);
  {
    std::lock_guard lock(FMixer.Lock);
    FMixer.LastSound = TClock::now();
    FMixer.SetOutputLocked(output.get());
    FOutput = std::move(output);
    FOpen = true;
    paused = FPaused;
  }
  ++FOpenings;
  FOutput->SetPaused(paused);
}

// Unlinked from the mix first: the output's thread may be waiting for the
// mixing lock while it closes.
void TSfxDeviceKeeper::CloseOutput() {
  if (!FOutput)
    return;
  {
    std::lock_guard lock(FMixer.Lock);
    FMixer.SetOutputLocked(nullptr);
  }
  FOutput.reset();
  std::lock_guard lock(FMixer.Lock);
  FOpen = false;
}

bool TSfxDeviceKeeper::Reopen() {
  std::lock_guard device(FDeviceLock);
  CloseOutput();
  try {
    OpenOutput();
    return true;
  } catch (const Exception &) {
    return false;
  }
}

// The keeper's round: bring back a lost output once a second, open an
// output given back when a sound wants it, and watch an open one, giving
// it back once nothing has sounded for a while. It sleeps for good while
// the output is given back and nothing is to sound.
void TSfxDeviceKeeper::Keep() {
  std::unique_lock lock(FMixer.Lock);
  while (!FQuit) {
    const TClock::time_point now = TClock::now();
    if (FLost.load()) {
      if (FOutput) {
        lock.unlock();
        {
          std::lock_guard guard(FDeviceLock);
          CloseOutput();
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
    if (!FOutput) {
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
    if (FOutput->Failed()) {
      // Taken away (the server went, the output was unplugged): try again
      // at once, then once a second.
      FLost = true;
      FNextTry = now;
      continue;
    }
    const bool canGiveBack = !FPaused && FOutput->Caps().RealTime;
    if (canGiveBack && now - FMixer.LastSound >= kGiveBackAfter && !FMixer.SoundingLocked()) {
      const TClock::time_point decided = FMixer.LastSound;
      lock.unlock();
      {
        std::lock_guard guard(FDeviceLock);
        CloseOutput();
      }
      lock.lock();
      // A sound started while the output was being closed.
      if (FMixer.LastSound != decided)
        FWanted = true;
      continue;
    }
    TClock::time_point wake = now + kWatchEvery;
    if (canGiveBack && FMixer.LastSound + kGiveBackAfter > now)
      wake = std::min(wake, FMixer.LastSound + kGiveBackAfter);
    FKeeperWake.wait_until(lock, wake);
  }
}

void TSfxDeviceKeeper::WakeLocked() {
  if (FMixer.Output)
    FMixer.Output->WakeLocked();
  FMixer.LastSound = TClock::now();
  if (!FOpen.load() && !FWanted) {
    FWanted = true;
    FKeeperWake.notify_one();
  }
}

void TSfxDeviceKeeper::MarkLost() {
  std::lock_guard lock(FMixer.Lock);
  FLost = true;
  FNextTry = TClock::now() + kRetryEvery;
  FKeeperWake.notify_one();
}

void TSfxDeviceKeeper::SetPaused(bool paused) {
  {
    std::lock_guard lock(FMixer.Lock);
    FPaused = paused;
    FMixer.LastSound = TClock::now();
  }
  std::lock_guard device(FDeviceLock);
  if (FOutput)
    FOutput->SetPaused(paused);
}

bool TSfxDeviceKeeper::Idle() const {
  std::lock_guard lock(FMixer.Lock);
  if (FMixer.Output && FMixer.Output->WaitingLocked())
    return true;
  return !FOpen.load() && !FLost.load() && !FWanted;
}

TSfxOutputCaps TSfxDeviceKeeper::Caps() const {
  std::lock_guard lock(FMixer.Lock);
  return FMixer.Output ? FMixer.Output->Caps() : TSfxOutputCaps{};
}

void TSfxDeviceKeeper::Stall(bool stalled) {
  std::lock_guard device(FDeviceLock);
  if (FOutput)
    FOutput->Stall(stalled);
}
