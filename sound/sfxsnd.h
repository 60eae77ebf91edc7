// The audio component: opens the sound device and makes one playable
// buffer per sound of its library. One mix (sfxmixer) takes every playing
// buffer and the music into the output. The output is chosen at start-up:
// where the sound server speaks the PulseAudio protocol (and
// SDL_AUDIODRIVER does not name a driver) it is our own (sfxpulse), which
// writes ahead and rewrites when the mix changes; otherwise it is SDL2
// audio's (sfxsdl). From then on the component uses it through what every
// output offers (sfxoutput).
//
// The output belongs to the device keeper (sfxkeeper), which gives it back
// when nothing has sounded for a moment, opens it again for the next
// sound, and brings it back when the system took it away. The samples are
// kept in one mix format (44,100 Hz float, sfxconvert) whatever the
// device, so a reopened device rebuilds nothing.
#pragma once

#include "sound/sfxconvert.h"
#include "sound/sfxkeeper.h"
#include "sound/sfxmixer.h"
#include "sound/sfxmixsource.h"
#include "sound/sfxslib.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TSfxAudio;

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
  friend class TSfxMixer;
  void PlayWithLoop(bool looping);
  // Adds this buffer's next `frames` frames into `out`; mixing lock held.
  void MixInto(float *out, int frames);
  void UpdateGains();
  // For an output that writes ahead, with the mixing lock held: what was
  // written of this buffer from stream frame `at` on follows its state now.
  void AnchorAt(int64_t at);
  // Where what was written has this buffer at stream frame `at`.
  void WrittenAt(int64_t at, int64_t &frame, bool &playing) const;
  // Whether what was written sounds anywhere after stream frame `at`.
  bool WrittenSoundsAfter(int64_t at) const;
  // The changes since the last rewrite take effect at stream frame `at`:
  // the buffer stands where it stood there, or where SetPosition put it.
  void RestartAt(int64_t at);

  TSfxAudio &FAudio;
  std::shared_ptr<const TSfxMixSamples> FData;
  const int16_t *FSamples; // FChannels interleaved, mix rate
  int FChannels;
  int64_t FFrames;       // frames of FSamples
  int64_t FSourceFrames; // frames of the original samples
  int FBlockAlign;
  int32_t FSize;
  int64_t FFrame = 0; // play position in device frames
  bool FPlaying = false;
  bool FLooping = false;
  // What an output that writes ahead has written of this buffer: from
  // stream frame FAnchorAt on, it played from (or stood at) FAnchorFrame.
  int64_t FAnchorAt = 0;
  int64_t FAnchorFrame = 0;
  bool FAnchorPlaying = false;
  bool FAnchorLooping = false;
  // Changed since the output last rewrote, first at write index
  // FChangedAt; FMoved: by SetPosition.
  bool FChanged = false;
  bool FMoved = false;
  int64_t FChangedAt = 0;
  int32_t FVolume = 0;
  int32_t FPan = 0;
  float FGainLeft = 1;
  float FGainRight = 1;
};

class TSfxAudio : private TSfxMixListener {
public:
  static constexpr auto kGiveBackAfter = TSfxDeviceKeeper::kGiveBackAfter;
  static constexpr auto kRetryEvery = TSfxDeviceKeeper::kRetryEvery;
  static constexpr auto kWatchEvery = TSfxDeviceKeeper::kWatchEvery;

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
  int BufferCount() const { return int(FMixer.Buffers.size()); }

  // Mixed in after the sound effects on every callback; nullptr for none.
  // The music wakes an idle device when it starts.
  void SetMusic(TSfxMixSource *music);
  int Rate() const { return FMixer.Rate(); }
  static constexpr int kChannels = TSfxMixer::kChannels;

  // Renders `frames` interleaved stereo frames into `out` (replacing what
  // it held): every playing buffer, then the music. Tells whether anything
  // sounded. The output runs this; tests and benchmarks call it with the
  // device paused.
  bool Mix(float *out, int frames) { return FMixer.Mix(out, frames); }
  // Halts the device and keeps the keeper from giving it back, until
  // unpaused.
  void SetPaused(bool paused) { FKeeper.SetPaused(paused); }
  // Whether nothing plays: the output waits for the next sound, or the
  // device was given back.
  bool Idle() const { return FKeeper.Idle(); }
  // Whether the device is open: neither given back nor closed as lost.
  bool DeviceOpen() const { return FKeeper.Open(); }
  // What the open output can do, and its rewrites so far.
  TSfxOutputCaps OutputCaps() const { return FKeeper.Caps(); }
  uint64_t Rewrites() const;
  // For tests: see TSfxOutput::Stall.
  void StallOutput(bool stalled) { FKeeper.Stall(stalled); }
  // For tests, with the device paused: the mix goes to `output` as if the
  // keeper had opened it, rendered from Source().
  void MixFor(TSfxOutput *output);
  TSfxOutputSource &Source() { return FMixer; }
  // Counts the output's renders and its openings.
  uint64_t Callbacks() const { return FMixer.Renders(); }
  unsigned Openings() const { return FKeeper.Openings(); }

  // Makes the device count as lost, as when the system takes it away: the
  // next Play rebuilds every buffer, and the keeper reopens the device.
  void MarkLost() { FKeeper.MarkLost(); }
  bool DeviceLost() const { return FKeeper.Lost(); }

  // Counts the builds of the buffer table, so a caller can tell that the
  // buffers were rebuilt, and the sounds converted to the mix format.
  unsigned Generation() const { return FGeneration; }
  unsigned Conversions() const { return FConversions; }

private:
  friend class TSfxSoundBuffer;
  // The keeper's opener: our own output while it is to be tried, SDL's
  // otherwise.
  std::unique_ptr<TSfxOutput> OpenOutput(bool paused);
  // Builds the table; `reuse` keeps the converted samples of the old one
  // where the library still holds the same sounds.
  void CreateBuffers(bool reuse);
  void FreeBuffers();
  void RestoreBuffers();
  void Lock() const { FMixer.Lock.lock(); }
  void Unlock() const { FMixer.Lock.unlock(); }
  void SourceChanging() override;
  void SourceChanged(bool started) override;

  // SDL's audio for as long as the component lives: made first, ended
  // last.
  struct TSdlAudio {
    TSdlAudio();
    ~TSdlAudio();
  } FSdlAudio;
  bool FTryOwnOutput = false; // SDL_AUDIODRIVER names no driver
  bool FOnPipeWire = false;   // the server is PipeWire's PulseAudio layer
  TSfxMixer FMixer;
  TSfxDeviceKeeper FKeeper;
  TSfxSoundLib *FSoundLibrary = nullptr;
  unsigned FGeneration = 0;
  unsigned FConversions = 0;
};
