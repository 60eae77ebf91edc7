// The audio component: opens the sound device through SDL2 audio and makes
// one playable buffer per sound of its library. One device callback mixes
// every playing buffer and the music into the output.
//
// When nothing plays, the device goes idle: the callback that finds no
// playing buffer and silent music waits, outside the mixing lock, until a
// Play, a PlayLooped or the music's start wakes it. An idle game thus costs
// no CPU at all, where a paused SDL2 device still wakes every period to
// write silence. Drivers that call back from the sound server's own thread
// (PipeWire) never go idle.
#pragma once

#include "sound/sfxmixsource.h"
#include "sound/sfxslib.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore>
#include <vector>

class TSfxAudio;

// One sound, ready to play: its samples converted once to float at the
// device rate, and its playback state. Positions are byte offsets into the
// sound's original samples.
class TSfxSoundBuffer {
public:
  using TRestoreEvent = std::function<void(TSfxSoundBuffer *sender)>;

  // "CreateSoundBuffer Failed" for a format or size that cannot be played.
  TSfxSoundBuffer(TSfxAudio &audio, const TWaveFormatEx &format, int32_t size,
                  const uint8_t *samples);
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
  // Brings the device back and calls OnRestore. The audio component's
  // handler destroys this buffer.
  void Restore();

  TRestoreEvent OnRestore;

  bool Playing() const { return FPlaying; }
  bool Looping() const { return FLooping; }
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
  std::vector<float> FSamples; // FChannels interleaved, device rate
  int FChannels;
  int64_t FFrames;       // frames of FSamples
  int64_t FSourceFrames; // frames of the original samples
  int FBlockAlign;
  int32_t FSize;
  int64_t FFrame = 0; // play position in device frames
  bool FPlaying = false;
  bool FLooping = false;
  int32_t FVolume = 0;
  int32_t FPan = 0;
  float FGainLeft = 1;
  float FGainRight = 1;
};

class TSfxAudio : private TSfxMixListener {
public:
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
  // Halts the device (and keeps it from going idle) until unpaused.
  void SetPaused(bool paused);
  // Whether the device went idle because nothing plays: its callback waits
  // for the next sound.
  bool Idle() const;
  // Counts the device's callbacks.
  uint64_t Callbacks() const { return FCallbacks.load(std::memory_order_relaxed); }

  // Makes the device count as lost, as when the system takes it away: the
  // next Play rebuilds every buffer.
  void MarkLost() { FLost = true; }
  bool DeviceLost() const;

  // Counts the builds of the buffer table, so a caller can tell that the
  // buffers were rebuilt.
  unsigned Generation() const { return FGeneration; }

private:
  friend class TSfxSoundBuffer;
  void OpenDevice();
  void CloseDevice();
  // Reopens the device when it has really gone; clears the lost mark.
  void RestoreDevice();
  void CreateBuffers();
  void FreeBuffers();
  void RestoreBuffers();
  bool MixUnlocked(float *out, int frames);
  void Lock() const;
  void Unlock() const;
  // With the mixing lock held: lets an idle callback go on.
  void WakeLocked();
  void SourceStarted() override;
  static void Callback(void *self, uint8_t *stream, int len);

  uint32_t FDevice = 0; // SDL audio device id, 0 while closed
  int FRate = 44100;
  // Guards the buffers' playback state, the buffer table, the music link
  // and the three flags below. The callback holds it while it mixes;
  // SDL's own device lock is never taken by this component.
  mutable std::mutex FMixLock;
  bool FPaused = false;
  bool FClosing = false; // the device is being closed: the callback must return
  bool FIdle = false;    // the callback waits on FWake
  bool FCanIdle = false; // the driver calls back from SDL's own thread
  std::binary_semaphore FWake{0};
  std::atomic<uint64_t> FCallbacks{0};
  bool FLost = false;
  TSfxSoundLib *FSoundLibrary = nullptr;
  std::vector<std::unique_ptr<TSfxSoundBuffer>> FBuffers;
  TSfxMixSource *FMusic = nullptr;
  unsigned FGeneration = 0;
};
