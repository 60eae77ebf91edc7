#include "music/mediaplayer.h"

#include "music/midifile.h"
#include "music/midisynth.h"
#include "music/musicrecording.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr off_t kMaxFileSize = 64 << 20;

// Reads a whole file; returns a result code.
uint32_t ReadWholeFile(const std::string &name, std::vector<uint8_t> &bytes) {
  if (name.empty())
    return kMciFilenameRequired;
  int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return (errno == ENOENT || errno == ENOTDIR) ? kMciFileNotFound : kMciFileRead;
  uint32_t code = kMciOk;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    code = kMciFileRead;
  } else if (info.st_size > kMaxFileSize) {
    code = kMciInvalidFile;
  } else {
    try {
      bytes.resize(static_cast<size_t>(info.st_size));
    } catch (const std::bad_alloc &) {
      code = kMciOutOfMemory;
    }
  }
  size_t got = 0;
  while (code == kMciOk && got < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      code = kMciFileRead;
    else if (n == 0)
      bytes.resize(got); // the file shrank while being read
    else
      got += static_cast<size_t>(n);
  }
  ::close(fd);
  return code;
}

uint16_t NextDeviceId() {
  static uint16_t last = 0;
  if (++last == 0)
    ++last;
  return last;
}

} // namespace

std::string MciErrorText(uint32_t code) {
  switch (code) {
  case kMciOk:
    return "The specified command was carried out.";
  case kMciInvalidDeviceId:
    return "The specified device is not open.";
  case kMciInvalidDeviceName:
    return "The specified device type is not available. Only the MIDI sequencer can be used.";
  case kMciOutOfMemory:
    return "There is not enough memory available to open the file.";
  case kMciFileNotFound:
    return "The specified file could not be found. Make sure the path and filename are correct.";
  case kMciInvalidFile:
    return "The file cannot be played on the specified MCI device. The file may be corrupt, not "
           "in the correct format, or no file handler available for this format.";
  case kMciFilenameRequired:
    return "A file name must be specified.";
  case kMciFileRead:
    return "Cannot access the file. Make sure it is a readable file and that you have permission "
           "to read it.";
  }
  return "Unknown error code";
}

TMediaPlayer::TMediaPlayer() = default;

TMediaPlayer::~TMediaPlayer() {
  Close();
}

void TMediaPlayer::Loaded() {
  if (AutoOpen)
    Open();
}

void TMediaPlayer::CheckOpen() const {
  if (!Opened)
    throw EMCIDeviceError("No MCI device open");
}

void TMediaPlayer::Fail(uint32_t code) {
  LastError = code;
  throw EMCIDeviceError(MciErrorText(code));
}

void TMediaPlayer::Open() {
  if (Opened)
    Close();
  if (DeviceType != dtAutoSelect && DeviceType != dtSequencer)
    Fail(kMciInvalidDeviceName);
  std::vector<uint8_t> bytes;
  if (uint32_t code = ReadWholeFile(FileName, bytes))
    Fail(code);
  TMidiCheck check = CheckMidiFile(bytes);
  if (!check.Ok())
    Fail(kMciInvalidFile);
  const int64_t length = PieceFrames(check);
  std::vector<uint8_t> plain = PlainMidiFile(bytes, check);
  std::unique_ptr<TMusicRecording> recording = Record(bytes, check, plain, length + kTailFrames);
  if (!recording)
    StartSynth();
  {
    std::lock_guard render(fRenderLock);
    if (fSynth && !recording)
      fSynth->LoadInstruments(check.Programs);
    fFile = std::move(plain);
    {
      std::lock_guard state(fStateLock);
      fOpen = true;
      fLen = length;
      fMute = !recording && !fSynth;
    }
    fRecording = std::move(recording);
    CueLocked();
  }
  LastError = kMciOk;
  Opened = true;
  DeviceID = NextDeviceId();
}

// The synthesizer is made at the first Open and kept until destruction.
void TMediaPlayer::StartSynth() {
  if (fSynthTried)
    return;
  fSynthTried = true;
  std::unique_ptr<TMidiSynth> synth = TMidiSynth::Create(kSampleRate);
  if (!synth)
    std::fprintf(stderr, "no General MIDI soundfont found (%s): the music is silent\n",
                 TMidiSynth::SoundFontsLookedFor().c_str());
  std::lock_guard render(fRenderLock);
  fSynth = std::move(synth);
}

void TMediaPlayer::Close() {
  if (DeviceID == 0)
    return;
  {
    std::lock_guard render(fRenderLock);
    fRecording.reset();
    if (fSynth)
      fSynth->Drop();
    fFile.clear();
    std::lock_guard state(fStateLock);
    fOpen = false;
    fPlaying = false;
    fPos = fLen = fTail = 0;
  }
  LastError = kMciOk;
  Opened = false;
  DeviceID = 0;
}

// With the render lock held: back to the start of the piece, stopped.
void TMediaPlayer::CueLocked() {
  if (fSynth && !fRecording)
    fSynth->Cue(fFile);
  std::lock_guard state(fStateLock);
  fPos = 0;
  fTail = 0;
  fPlaying = false;
}

// The piece's state changes while no mix runs, so that what the output
// wrote ahead is taken back from where the change is heard, and none of
// the piece is skipped or heard twice.
void TMediaPlayer::Play() {
  CheckOpen();
  bool mute;
  {
    std::lock_guard state(fStateLock);
    mute = fMute;
  }
  auto start = [this] {
    std::lock_guard render(fRenderLock);
    bool atEnd;
    {
      std::lock_guard state(fStateLock);
      atEnd = fPos >= fLen;
    }
    if (AutoRewind && atEnd)
      CueLocked();
    std::lock_guard state(fStateLock);
    fPlaying = true;
    fTail = 0;
  };
  if (mute) // a silent piece keeps no output open
    start();
  else
    Change(start, true);
  LastError = kMciOk;
}

void TMediaPlayer::Stop() {
  CheckOpen();
  Change(
      [this] {
        std::lock_guard render(fRenderLock);
        {
          std::lock_guard state(fStateLock);
          fPlaying = false;
          fTail = 0;
        }
        if (fSynth && !fRecording)
          fSynth->Silence();
      },
      false);
  LastError = kMciOk;
}

void TMediaPlayer::Rewind() {
  CheckOpen();
  Change(
      [this] {
        std::lock_guard render(fRenderLock);
        CueLocked();
      },
      false);
}

TMPMode TMediaPlayer::Mode() {
  if (!Opened) {
    LastError = kMciInvalidDeviceId;
    return mdNotReady;
  }
  LastError = kMciOk;
  std::lock_guard state(fStateLock);
  return fPlaying ? mdPlaying : mdStopped;
}

uint32_t TMediaPlayer::Position() {
  if (!Opened) {
    LastError = kMciInvalidDeviceId;
    return 0;
  }
  LastError = kMciOk;
  std::lock_guard state(fStateLock);
  return Milliseconds(fPos);
}

uint32_t TMediaPlayer::Length() {
  CheckOpen();
  LastError = kMciOk;
  std::lock_guard state(fStateLock);
  return Milliseconds(fLen);
}

uint32_t TMediaPlayer::Milliseconds(int64_t frames) {
  return static_cast<uint32_t>(frames * 1000 / kSampleRate);
}

std::string TMediaPlayer::RecordingFileName(const std::string &tune) {
  const std::string kMid = ".mid";
  const bool mid =
      tune.size() > kMid.size() && tune.compare(tune.size() - kMid.size(), kMid.size(), kMid) == 0;
  return (mid ? tune.substr(0, tune.size() - kMid.size()) : tune) + ".recording";
}

// The piece with its fading notes, `frames` in all, from the recording
// made ahead of time beside the file when it was made from this very tune,
// soundfont and synthesizer; else recorded now, on a thread that makes the
// synth first. Null when the piece is too long to keep (it is played live)
// or there is no soundfont (it is silent).
std::unique_ptr<TMusicRecording> TMediaPlayer::Record(const std::vector<uint8_t> &bytes,
                                                      const TMidiCheck &check,
                                                      const std::vector<uint8_t> &plain,
                                                      int64_t frames) {
  const std::string soundFont = TMidiSynth::SoundFontPath();
  if (!TMusicRecording::Fits(frames, kSampleRate) || !TMidiSynth::Usable(soundFont))
    return nullptr;
  TMusicSource source;
  if (TMusicSource::Identify(bytes, soundFont, source))
    if (auto made = TMusicRecording::Load(RecordingFileName(FileName), source, frames, kSampleRate))
      return made;
  try {
    return std::make_unique<TMusicRecording>(
        [plain, programs = check.Programs]() {
          std::unique_ptr<TMidiSynth> synth = TMidiSynth::Create(kSampleRate);
          if (synth) {
            synth->LoadInstruments(programs);
            synth->Cue(plain);
          }
          return synth;
        },
        frames, kSampleRate);
  } catch (const std::exception &) {
    return nullptr; // played live
  }
}

// Moves the piece on by `frames`; tells where in the piece's sound they
// begin (the last notes fade on after the end), or -1 when it is silent
// during them.
int64_t TMediaPlayer::AdvanceLocked(int frames) {
  if (!fOpen)
    return -1;
  if (fPlaying) {
    const int64_t from = fPos;
    fPos += frames;
    if (fPos >= fLen) {
      fTail = std::max<int64_t>(0, kTailFrames - (fPos - fLen));
      fPos = fLen;
      fPlaying = false;
    }
    return from;
  }
  if (fTail > 0) {
    const int64_t from = fLen + kTailFrames - fTail;
    fTail -= std::min<int64_t>(fTail, frames);
    return from;
  }
  return -1;
}

bool TMediaPlayer::Sounding() const {
  std::lock_guard state(fStateLock);
  return fOpen && !fMute && (fPlaying || fTail > 0);
}

// While the game thread holds the render lock it is changing the piece's
// state, perhaps starting it: count that as sounding.
bool TMediaPlayer::MixInto(float *out, int frames, int /*rate*/) {
  std::unique_lock render(fRenderLock, std::try_to_lock);
  if (!render.owns_lock())
    return true;
  if (frames <= 0)
    return false;
  int64_t from;
  {
    std::lock_guard state(fStateLock);
    from = AdvanceLocked(frames);
  }
  if (from < 0)
    return false;
  if (fRecording)
    fRecording->MixInto(out, from, frames);
  else if (fSynth)
    fSynth->MixInto(out, frames);
  else
    return false; // it keeps time in silence
  return true;
}

int64_t TMediaPlayer::PieceFrames(const TMidiCheck &check) {
  return static_cast<int64_t>(std::ceil(check.Info.Seconds * kSampleRate));
}

bool TMediaPlayer::Prerecorded() const {
  return fRecording && fRecording->FromFile();
}
