// The device keeper: a thread of its own that holds the audio output, the
// only one that opens and closes it after start-up.
//
// When nothing plays and nothing has sounded for a moment the keeper gives
// the output back, so the sound server can suspend its own; the next sound
// opens it again. An output whose mixing stalls (a server slow to resume
// its output, a stopped process) is kept while anything is marked playing,
// so what plays goes on once it comes back; one that does not play in real
// time is never given back. The keeper also watches the open output: one
// the system took away counts as lost until the keeper, trying once a
// second, has it back.
#pragma once

#include "sound/sfxmixer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TSfxDeviceKeeper {
public:
  using TClock = std::chrono::steady_clock;
  // Opens an output playing `paused` (the keeper sets it going); raises
  // Exception when it cannot.
  using TOpener = std::function<std::unique_ptr<TSfxOutput>(bool paused)>;

  // How long nothing must have sounded before the output is given back.
  static constexpr std::chrono::milliseconds kGiveBackAfter{1500};
  // How often a lost output is tried again.
  static constexpr std::chrono::milliseconds kRetryEvery{1000};
  // How often the keeper looks whether an open output still works.
  static constexpr std::chrono::milliseconds kWatchEvery{250};

  TSfxDeviceKeeper(TSfxMixer &mixer, TOpener opener);
  // Ends the thread and closes the output.
  ~TSfxDeviceKeeper();
  TSfxDeviceKeeper(const TSfxDeviceKeeper &) = delete;
  TSfxDeviceKeeper &operator=(const TSfxDeviceKeeper &) = delete;

  // Start-up: opens the first output, raising what the opener raises.
  void OpenFirst();
  // Starts the thread.
  void Start();

  // With the mixing lock held: something is to sound. Lets an output that
  // waits go on, and has the keeper open an output given back.
  void WakeLocked();
  // Halts the output and keeps the keeper from giving it back, until
  // unpaused.
  void SetPaused(bool paused);
  // Makes the output count as lost, as when the system takes it away.
  void MarkLost();
  bool Lost() const { return FLost.load(); }
  // Whether nothing plays: the output waits for the next sound, or it was
  // given back.
  bool Idle() const;
  bool Open() const { return FOpen.load(); }
  unsigned Openings() const { return FOpenings.load(); }
  // What the open output can do; nothing while none is.
  TSfxOutputCaps Caps() const;
  // See TSfxOutput::Stall.
  void Stall(bool stalled);

private:
  // With FDeviceLock held. OpenOutput raises when it cannot open.
  void OpenOutput();
  void CloseOutput();
  // Closes whatever is open and opens the output; tells whether it is open.
  bool Reopen();
  void Keep();

  TSfxMixer &FMixer;
  const TOpener FOpener;
  // Guarded by the mixing lock.
  bool FPaused = false;
  bool FWanted = false;        // a sound waits for an output given back
  bool FQuit = false;          // the keeper must end
  TClock::time_point FNextTry; // when a lost output is tried again
  std::condition_variable FKeeperWake;
  std::atomic<bool> FOpen{false};
  std::atomic<bool> FLost{false};
  std::atomic<unsigned> FOpenings{0};
  // Serialises opening, closing, pausing and stalling the output. The
  // output is changed with it held, by the keeper (and start-up and
  // destruction) alone.
  std::mutex FDeviceLock;
  std::unique_ptr<TSfxOutput> FOutput;
  std::thread FThread;
};
