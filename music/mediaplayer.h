// The background-music player: a media-player control that opens a MIDI
// file by name and plays, stops and rewinds it, answering with a mode the
// game polls. The samples come from a software synthesizer: a piece of up
// to six minutes is recorded through it once, in the background, when it is
// opened, and played from that recording; a longer one is synthesised as
// it plays. The audio component pulls them through MixInto on its own
// thread; every other call runs on the user-interface thread.
//
// The control's button bar is never shown, so it is not built.
#pragma once

#include "sound/sfxmixsource.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TMidiSynth;
class TMusicRecording;
struct TMidiCheck;

enum TMPDeviceTypes {
  dtAutoSelect,
  dtAVIVideo,
  dtCDAudio,
  dtDAT,
  dtDigitalVideo,
  dtMMMovie,
  dtOther,
  dtOverlay,
  dtScanner,
  dtSequencer,
  dtVCR,
  dtVideodisc,
  dtWaveAudio
};

enum TMPMode { mdNotReady, mdStopped, mdPlaying, mdRecording, mdSeeking, mdPaused, mdOpen };

// Result codes kept in LastError, numbered like the platform's media
// control interface.
enum : uint32_t {
  kMciOk = 0,
  kMciInvalidDeviceId = 257,
  kMciInvalidDeviceName = 263,
  kMciOutOfMemory = 264,
  kMciFileNotFound = 275,
  kMciInvalidFile = 296,
  kMciFilenameRequired = 304,
  kMciFileRead = 348,
};

// The readable text of a result code; "Unknown error code" for others.
std::string MciErrorText(uint32_t code);

class TMediaPlayer : public TSfxMixSource {
public:
  // The rate of the samples MixInto produces: the audio component's rate.
  static constexpr int kSampleRate = 44100;
  // The last notes ring on for this long after the end of the piece.
  static constexpr int64_t kTailFrames = 2 * kSampleRate;
  // The frames of a checked piece, without its fading last notes.
  static int64_t PieceFrames(const TMidiCheck &check);

  TMediaPlayer();
  ~TMediaPlayer() override; // closes; detach from the audio component first
  TMediaPlayer(const TMediaPlayer &) = delete;
  TMediaPlayer &operator=(const TMediaPlayer &) = delete;

  // Stored settings.
  bool AutoOpen = false;
  std::string FileName;
  bool AutoRewind = true;
  bool AutoEnable = true;
  TMPDeviceTypes DeviceType = dtAutoSelect;
  bool Shareable = false;
  bool Visible = true;

  // Run-time state.
  bool Opened = false;
  uint16_t DeviceID = 0;
  uint32_t LastError = kMciOk;

  // Called by the owner once all stored settings are read: opens the file
  // when AutoOpen is set.
  void Loaded();

  // Reads and checks FileName (a relative name is looked up in the current
  // directory) and stands stopped at the start of the piece. Raises
  // EMCIDeviceError with a readable text when the file is missing,
  // unreadable or not a standard MIDI file.
  void Open();
  void Close();
  // Where a recording of the piece in `tune` made ahead of time is looked
  // for: beside it, named as it with ".recording" for ".mid".
  static std::string RecordingFileName(const std::string &tune);
  // Whether the piece plays from a recording made ahead of time.
  bool Prerecorded() const;

  // Plays from the current position and returns at once; at the end of the
  // piece it rewinds first when AutoRewind is set.
  void Play();
  // Stops at once and holds the position.
  void Stop();
  // Stands stopped at the start of the piece.
  void Rewind();
  // mdPlaying while playing, mdStopped otherwise; mdNotReady when closed.
  // Takes one short lock and allocates nothing.
  TMPMode Mode();
  // In milliseconds. At the end of the piece Position equals Length.
  uint32_t Position();
  uint32_t Length();

  // Audio thread: adds `frames` stereo frames of music into `out`; false
  // once the music is silent (stopped, and its last notes faded). The
  // output is at kSampleRate, which the audio component opens the device
  // with; `rate` is not used to resample. Attach the player with the audio
  // component's SetMusic and detach it before destroying it.
  bool MixInto(float *out, int frames, int rate) override;
  // Playing, or its last notes still fading; never without a soundfont.
  bool Sounding() const override;

private:
  void CheckOpen() const;
  [[noreturn]] void Fail(uint32_t code);
  void StartSynth();
  void CueLocked();
  std::unique_ptr<TMusicRecording> Record(const std::vector<uint8_t> &bytes,
                                          const TMidiCheck &check,
                                          const std::vector<uint8_t> &plain, int64_t frames);
  int64_t AdvanceLocked(int frames);
  static uint32_t Milliseconds(int64_t frames);

  // Guards the synthesizer: held by MixInto while it renders and by the
  // operations that change the piece's state. The audio thread only tries
  // it and renders nothing when the other thread has it.
  std::mutex fRenderLock;
  std::unique_ptr<TMidiSynth> fSynth;
  // The piece rendered ahead, when it is short enough; it has the synth to
  // itself then. Without it the synth plays the piece live.
  std::unique_ptr<TMusicRecording> fRecording;
  bool fSynthTried = false;
  std::vector<uint8_t> fFile; // the checked piece, in its plainest form

  // Guards the fields below; held for a few instructions only, never
  // while calling out.
  mutable std::mutex fStateLock;
  bool fOpen = false;
  bool fMute = false; // no recording and no synthesizer: the piece is silent
  bool fPlaying = false;
  int64_t fPos = 0;  // frames played
  int64_t fLen = 0;  // frames in the piece
  int64_t fTail = 0; // frames of fading notes still to render after the end
};
