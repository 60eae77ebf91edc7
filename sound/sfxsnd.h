// The audio component: opens the sound device and makes one playable
// buffer per sound of its library. One mix takes every playing buffer and
// the music into the output. Where the sound server speaks the PulseAudio
// protocol (and SDL_AUDIODRIVER does not name a driver) the output is our
// own (sfxpulse), which writes ahead and rewrites when a sound starts;
// otherwise it is SDL2 audio's device callback.
//
// When nothing plays, the device goes idle: the callback that finds no
// playing buffer and silent music waits, outside the mixing lock, for at
// most a tenth of a second until a Play, a PlayLooped or the music's start
// wakes it. Drivers that call back from the sound server's own thread
// (PipeWire) never wait there.
//
// The device belongs to a keeper thread, the only one that opens and
// closes it after start-up. When nothing plays and nothing has sounded for
// a moment the keeper gives the device back, so the sound server can
// suspend its output; the next sound opens it again. A device whose
// callbacks stall (a server slow to resume its output, a stopped process)
// is kept while anything is marked playing, so what plays goes on once
// the callbacks come back. (Not with SDL's disk driver,
// which would start its file afresh.) The keeper also watches the open
// device: one the system took away counts as lost until the keeper, trying
// once a second, has it back. The samples are kept in one mix format
// (44,100 Hz float) whatever the device, so a reopened device rebuilds
// nothing.
#pragma once

#include "sound/sfxmixsource.h"
#include "sound/sfxpulse.h"
#include "sound/sfxslib.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <thread>
#include <vector>

class TSfxAudio;

// A sound's samples converted to the mix format, shared by the buffers
// made for it, and what they were converted from.
struct TSfxMixSamples {
  std::vector<float> Samples; // interleaved, at the mix rate
  int64_t Frames = 0;
  TWaveFormatEx Format;
  int32_t Size = 0;
  const uint8_t *Source = nullptr;

  bool ConvertedFrom(const TWaveFormatEx &format, int32_t size, const uint8_t *source) const;
};

// One sound, ready to play: its samples converted once to float at the
// mix rate, and its playback state. Positions are byte offsets into the
// sound's original samples.
class TSfxSoundBuffer {
public:
  using TRestoreEvent = std::function<void(TSfxSoundBuffer *sender)>;

  // "CreateSoundBuffer Failed" for a format or size that cannot be played.
  TSfxSoundBuffer(TSfxAudio &audio, const TWaveFormatEx &format, int32_t size,
                  const uint8_t *samples);
  // A fresh buffer over samples converted before.
  TSfxSoundBuffer(TSfxAudio &audio, std::shared_ptr<const TSfxMixSamples> samples);
  ~TSfxSoundBuffer();
  TSfxSoundBuffer(const TSfxSoundBuffer &) = delete;
  TSfxSoundBuffer &operator=(const TSfxSoundBuffer &) = delete;

  // Plays once from the current position; on a playing buffer only the
  // looping choice changes. On a lost device the call runs Restore and
  // plays nothing; the buffer may then be gone.
  void Play();
  // Stop, then play repeatedly from the current position.
  void PlayLooped();
  // Halts where it is; the position stays.
  void Stop();
  // Moves the play position (0 <= bytes < size), also while playing.
  void SetPosition(int32_t bytes);
  // Attenuation in hundredths of a decibel, -10000..0.
  void SetVolume(int32_t value);
  // Stereo position, -10000 (left only)..10000 (right only).
  void SetPan(int32_t value);
  // Calls OnRestore; the audio component's handler destroys this buffer.
  // The device itself comes back by the keeper, not here.
  void Restore();

  TRestoreEvent OnRestore;

  bool Playing() const;
  bool Looping() const;
  int32_t Position() const;
  int32_t Size() const { return FSize; }
  int32_t Volume() const { return FVolume; }
  int32_t Pan() const { return FPan; }

private:
  friend class TSfxAudio;
  void PlayWithLoop(bool looping);
  // Adds this buffer's next `frames` frames into `out`; device lock held.
  void MixInto(float *out, int frames);
  void UpdateGains();

  TSfxAudio &FAudio;
  std::shared_ptr<const TSfxMixSamples> FData;
  const float *FSamples; // FChannels interleaved, mix rate
  int FChannels;
  int64_t FFrames;       // frames of FSamples
  int64_t FSourceFrames; // frames of the original samples
  int FBlockAlign;
  int32_t FSize;
  int64_t FFrame = 0; // play position in device frames
  bool FPlaying = false;
  bool FStarted = false; // started since the output last rewrote
  bool FLooping = false;
  int32_t FVolume = 0;
  int32_t FPan = 0;
  float FGainLeft = 1;
  float FGainRight = 1;
};

class TSfxAudio : private TSfxMixListener, private TSfxOutputSource {
public:
  // How long nothing must have sounded before the device is given back.
  static constexpr std::chrono::milliseconds kGiveBackAfter{1500};
  // How often a lost device is tried again.
  static constexpr std::chrono::milliseconds kRetryEvery{1000};
  // How often the keeper looks whether an open device still works.
  static constexpr std::chrono::milliseconds kWatchEvery{250};
  // The longest an idle callback waits for the next sound.
  static constexpr std::chrono::milliseconds kIdleWait{100};

  // Opens the default device (44100 Hz, stereo float) and starts it.
  TSfxAudio();
  ~TSfxAudio();
  TSfxAudio(const TSfxAudio &) = delete;
  TSfxAudio &operator=(const TSfxAudio &) = delete;

  // Frees the buffers, stores `lib` and builds one buffer per sound. The
  // same library again rebuilds them.
  void SetSoundLibrary(TSfxSoundLib *lib);
  TSfxSoundLib *SoundLibrary() const { return FSoundLibrary; }
  // The library `lib` is going away: forget it when it is the current one.
  // The buffers stay playable.
  void LibraryRemoved(TSfxSoundLib *lib);

  // The buffer of library sound `index`. "A library must be assigned to
  // SoundLibrary" while there are no buffers; EListError out of range.
  TSfxSoundBuffer *Sound(int index) const;
  int BufferCount() const { return int(FBuffers.size()); }

  // Mixed in after the sound effects on every callback; nullptr for none.
  // The music wakes an idle device when it starts.
  void SetMusic(TSfxMixSource *music);
  int Rate() const { return FRate; }
  static constexpr int kChannels = 2;

  // Renders `frames` interleaved stereo frames into `out` (replacing what
  // it held): every playing buffer, then the music. Tells whether anything
  // sounded. The device callback runs this; tests and benchmarks call it
  // with the device paused.
  bool Mix(float *out, int frames);
  // Halts the device and keeps the keeper from giving it back, until
  // unpaused.
  void SetPaused(bool paused);
  // Whether nothing plays: the callback waits for the next sound, or the
  // device was given back.
  bool Idle() const;
  // Whether the device is open: neither given back nor closed as lost.
  bool DeviceOpen() const { return FDevice.load() != 0; }
  // The SDL device, 0 while closed; kOwnOutput while our own output plays.
  uint32_t Device() const { return FDevice.load(); }
  static constexpr uint32_t kOwnOutput = UINT32_MAX;
  // Whether our own output for PulseAudio-protocol servers plays, and its
  // rewrites so far.
  bool OwnOutput() const { return FDevice.load() == kOwnOutput; }
  uint64_t Rewrites() const;
  // Counts the device's callbacks and its openings.
  uint64_t Callbacks() const { return FCallbacks.load(std::memory_order_relaxed); }
  unsigned Openings() const { return FOpenings.load(); }

  // Makes the device count as lost, as when the system takes it away: the
  // next Play rebuilds every buffer, and the keeper reopens the device.
  void MarkLost();
  bool DeviceLost() const { return FLost.load(); }

  // Counts the builds of the buffer table, so a caller can tell that the
  // buffers were rebuilt, and the sounds converted to the mix format.
  unsigned Generation() const { return FGeneration; }
  unsigned Conversions() const { return FConversions; }

private:
  using TClock = std::chrono::steady_clock;
  friend class TSfxSoundBuffer;
  // Keeper thread, or start-up and destruction, with FDeviceLock held:
  // the device operations. OpenDevice raises when it cannot open.
  void OpenDevice();
  void CloseDevice();
  void Keep();
  // Builds the table; `reuse` keeps the converted samples of the old one
  // where the library still holds the same sounds.
  void CreateBuffers(bool reuse);
  void FreeBuffers();
  void RestoreBuffers();
  // `holdStarted`: leaves out the sounds that wait for the own output's
  // rewrite.
  bool MixUnlocked(float *out, int frames, bool holdStarted = false);
  bool RenderAhead(float *out, int frames) override;
  bool AddStarted(float *out, int frames) override;
  void ReleaseStarted() override;
  // With the mixing lock held: a buffer started to play.
  void StartedLocked();
  // With the mixing lock held: a buffer is marked playing, or the music
  // has something to sound.
  bool SoundingLocked() const;
  void Lock() const;
  void Unlock() const;
  // With the mixing lock held: something is to sound. Lets an idle
  // callback go on, and has the keeper open a device given back.
  void WakeLocked();
  // With the mixing lock held: an idle callback returns to SDL.
  void LetCallbackGoLocked();
  // Keeper: closes whatever is open and opens the device; tells whether
  // it is open.
  bool Reopen();
  void SourceStarted() override;
  static void Callback(void *self, uint8_t *stream, int len);

  std::atomic<uint32_t> FDevice{0}; // SDL audio device id or kOwnOutput, 0 while closed
  bool FTryOwnOutput = false;       // SDL_AUDIODRIVER names no driver
  bool FOnPipeWire = false;         // the server is PipeWire's PulseAudio layer
  // Our own output, open while FDevice is kOwnOutput; changed by the
  // device operations, with FDeviceLock held.
  std::unique_ptr<TSfxPulseOutput> FOwnOutput;
  // The same, for the game's threads: set and cleared under the mixing lock.
  TSfxPulseOutput *FRewriter = nullptr;
  bool FRewriteAsked = false; // started sounds wait for FRewriter
  int FRate = 44100;
  // Guards the buffers' playback state, the buffer table, the music link
  // and the flags below. The callback holds it while it mixes; SDL's own
  // device lock is never taken while holding it.
  mutable std::mutex FMixLock;
  bool FPaused = false;
  bool FClosing = false;         // the device is being closed: the callback must return
  bool FIdle = false;            // the callback waits on FWake
  bool FCanIdle = false;         // the driver calls back from SDL's own thread
  bool FCanGiveBack = true;      // closing and reopening loses nothing
  bool FWanted = false;          // a sound waits for a device given back
  bool FQuit = false;            // the keeper must end
  TClock::time_point FLastSound; // when something last sounded or was started
  TClock::time_point FNextTry;   // when a lost device is tried again
  std::condition_variable FKeeperWake;
  std::binary_semaphore FWake{0};
  std::atomic<uint64_t> FCallbacks{0};
  std::atomic<unsigned> FOpenings{0};
  std::atomic<bool> FLost{false};
  // Serialises SDL's device calls between the keeper and SetPaused.
  std::mutex FDeviceLock;
  TSfxSoundLib *FSoundLibrary = nullptr;
  std::vector<std::unique_ptr<TSfxSoundBuffer>> FBuffers;
  TSfxMixSource *FMusic = nullptr;
  unsigned FGeneration = 0;
  unsigned FConversions = 0;
  std::thread FKeeper;
};
