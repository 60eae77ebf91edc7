#include "music/mediaplayer.h"
#include "music/midisynth.h"
#include "music/musicrecording.h"
#include "rtl/sysutils.h"
#include "test_midi_pieces.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace midi_pieces;

namespace {

const char *const kNotFound =
    "The specified file could not be found. Make sure the path and filename are correct.";
const char *const kInvalidFile =
    "The file cannot be played on the specified MCI device. The file may be corrupt, not in the "
    "correct format, or no file handler available for this format.";
const char *const kCannotAccess = "Cannot access the file. Make sure it is a readable file and "
                                  "that you have permission to read it.";
constexpr int kRate = TMediaPlayer::kSampleRate;

bool HaveSoundFont() {
  return fs::exists(TMidiSynth::SoundFontPath());
}

class MediaPlayerTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/zoftrel-music-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    fDir = pattern;
    fHalfSecond = Write("half.mid", ChordPiece(480));
  }
  void TearDown() override { fs::remove_all(fDir); }

  std::string Write(const std::string &name, const Bytes &bytes) {
    std::string path = (fDir / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // Renders `seconds` of audio in 10 ms blocks; returns the loudest sample.
  static float Render(TMediaPlayer &player, double seconds) {
    constexpr int kBlock = kRate / 100;
    float block[2 * kBlock];
    float peak = 0;
    for (int done = 0; done < seconds * kRate; done += kBlock) {
      std::fill(std::begin(block), std::end(block), 0.0f);
      player.MixInto(block, kBlock, kRate);
      for (float s : block)
        peak = std::max(peak, std::fabs(s));
    }
    return peak;
  }

  static std::string OpenError(TMediaPlayer &player) {
    try {
      player.Open();
    } catch (const EMCIDeviceError &e) {
      return e.Message;
    }
    return "opened";
  }

  fs::path fDir;
  std::string fHalfSecond;
};

TEST_F(MediaPlayerTest, OpenFailsWithReadableTexts) {
  TMediaPlayer player;
  player.FileName = (fDir / "absent.mid").string();
  EXPECT_EQ(OpenError(player), kNotFound);
  EXPECT_EQ(player.LastError, kMciFileNotFound);
  EXPECT_FALSE(player.Opened);
  EXPECT_EQ(player.DeviceID, 0);

  player.FileName = fHalfSecond + "/inside";
  EXPECT_EQ(OpenError(player), kNotFound);
  player.FileName = Write("empty.mid", {});
  EXPECT_EQ(OpenError(player), kInvalidFile);
  EXPECT_EQ(player.LastError, kMciInvalidFile);
  player.FileName = Write("noise.mid", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0xFF, 0xFF, 1, 0});
  EXPECT_EQ(OpenError(player), kInvalidFile);
  player.FileName = fDir.string();
  EXPECT_EQ(OpenError(player), kCannotAccess);
  EXPECT_EQ(player.LastError, kMciFileRead);
  player.FileName = "";
  EXPECT_EQ(OpenError(player), "A file name must be specified.");
  player.FileName = fHalfSecond;
  player.DeviceType = dtWaveAudio;
  EXPECT_EQ(OpenError(player), MciErrorText(kMciInvalidDeviceName));
  player.DeviceType = dtSequencer;
  EXPECT_EQ(OpenError(player), "opened");
  EXPECT_EQ(MciErrorText(12345), "Unknown error code");
}

TEST_F(MediaPlayerTest, UnreadableFileCannotBeAccessed) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root reads every file";
  TMediaPlayer player;
  player.FileName = Write("locked.mid", ChordPiece(480));
  chmod(player.FileName.c_str(), 0);
  EXPECT_EQ(OpenError(player), kCannotAccess);
}

TEST_F(MediaPlayerTest, OperationsNeedAnOpenDevice) {
  TMediaPlayer player;
  for (auto op : {&TMediaPlayer::Play, &TMediaPlayer::Stop, &TMediaPlayer::Rewind}) {
    try {
      (player.*op)();
      ADD_FAILURE() << "no error";
    } catch (const EMCIDeviceError &e) {
      EXPECT_EQ(e.Message, "No MCI device open");
    }
  }
  EXPECT_THROW(player.Length(), EMCIDeviceError);
  EXPECT_EQ(player.Mode(), mdNotReady);
  EXPECT_EQ(player.LastError, kMciInvalidDeviceId);
  EXPECT_EQ(player.Position(), 0u);
  player.Close(); // nothing to close
  EXPECT_EQ(Render(player, 0.1), 0.0f);
}

TEST_F(MediaPlayerTest, LoadedOpensOnlyWithAutoOpen) {
  TMediaPlayer player;
  player.FileName = fHalfSecond;
  player.Loaded();
  EXPECT_FALSE(player.Opened);
  player.AutoOpen = true;
  player.Loaded();
  EXPECT_TRUE(player.Opened);
  EXPECT_NE(player.DeviceID, 0);
  uint16_t first = player.DeviceID;
  player.Open(); // reopening closes first
  EXPECT_NE(player.DeviceID, first);
  player.Close();
  EXPECT_FALSE(player.Opened);
  EXPECT_EQ(player.DeviceID, 0);
  EXPECT_EQ(player.Mode(), mdNotReady);
}

TEST_F(MediaPlayerTest, ModesFollowPlayStopRewindAndTheEnd) {
  TMediaPlayer player;
  player.FileName = fHalfSecond;
  player.Open();
  EXPECT_EQ(player.Mode(), mdStopped);
  EXPECT_EQ(player.Length(), 500u);
  EXPECT_EQ(player.Position(), 0u);
  Render(player, 0.1);
  EXPECT_EQ(player.Position(), 0u) << "nothing moves before Play";

  player.Play();
  EXPECT_EQ(player.Mode(), mdPlaying);
  Render(player, 0.2);
  EXPECT_EQ(player.Mode(), mdPlaying);
  EXPECT_EQ(player.Position(), 200u);

  player.Stop();
  EXPECT_EQ(player.Mode(), mdStopped);
  Render(player, 0.2);
  EXPECT_EQ(player.Position(), 200u) << "Stop holds the position";
  player.Play();
  Render(player, 0.2);
  EXPECT_EQ(player.Position(), 400u) << "Play goes on from there";

  Render(player, 0.2);
  EXPECT_EQ(player.Mode(), mdStopped) << "stops by itself at the end";
  EXPECT_EQ(player.Position(), player.Length());

  player.Play(); // at the end: rewinds first
  EXPECT_EQ(player.Mode(), mdPlaying);
  EXPECT_EQ(player.Position(), 0u);
  Render(player, 0.3);
  EXPECT_EQ(player.Position(), 300u);

  player.Rewind();
  EXPECT_EQ(player.Mode(), mdStopped);
  EXPECT_EQ(player.Position(), 0u);
  player.Play();
  Render(player, 0.1);
  EXPECT_EQ(player.Position(), 100u) << "plays from the beginning after Rewind";
}

TEST_F(MediaPlayerTest, WithoutAutoRewindPlayAtTheEndStaysThere) {
  TMediaPlayer player;
  player.AutoRewind = false;
  player.FileName = fHalfSecond;
  player.Open();
  player.Play();
  Render(player, 0.6);
  player.Play();
  Render(player, 0.1);
  EXPECT_EQ(player.Mode(), mdStopped);
  EXPECT_EQ(player.Position(), player.Length());
}

TEST_F(MediaPlayerTest, RelativeNamesAreFoundInTheCurrentDirectory) {
  Write("BackgroundMusic.mid", ChordPiece(960));
  fs::path saved = fs::current_path();
  TMediaPlayer player;
  player.FileName = "BackgroundMusic.mid";
  fs::current_path(fDir);
  EXPECT_EQ(OpenError(player), "opened");
  EXPECT_EQ(player.Length(), 1000u);
  fs::create_directory(fDir / "elsewhere");
  fs::current_path(fDir / "elsewhere");
  EXPECT_EQ(OpenError(player), kNotFound);
  fs::current_path(saved);
}

TEST_F(MediaPlayerTest, TheTuneSoundsOnlyWhilePlaying) {
  if (!HaveSoundFont())
    GTEST_SKIP() << "no General MIDI soundfont";
  TMediaPlayer player;
  player.FileName = ZOFTREL_MUSIC_FILE;
  player.Open();
  EXPECT_EQ(Render(player, 0.2), 0.0f) << "silent before Play";
  player.Play();
  EXPECT_GT(Render(player, 1.0), 0.02f);
  player.Stop();
  EXPECT_EQ(Render(player, 0.2), 0.0f) << "silent at once after Stop";
  player.Play();
  EXPECT_GT(Render(player, 0.5), 0.02f);
  player.Rewind();
  EXPECT_EQ(Render(player, 0.2), 0.0f) << "silent after Rewind";
}

TEST_F(MediaPlayerTest, LongHeadersAndForeignChunksDoNotSilenceAPiece) {
  if (!HaveSoundFont())
    GTEST_SKIP() << "no General MIDI soundfont";
  Bytes header{'M', 'T', 'h', 'd', 0, 0, 0, 8, 0, 0, 0, 1, 0x01, 0xE0, 0xAA, 0xBB};
  TMediaPlayer player;
  player.FileName = Write("odd.mid", Join({header, Chunk({1, 2}, "XYZW"), Chunk(ChordTrack(960))}));
  player.Open();
  player.Play();
  EXPECT_GT(Render(player, 0.5), 0.02f);
}

TEST_F(MediaPlayerTest, BlocksOfAnySizeAddToTheOutput) {
  if (!HaveSoundFont())
    GTEST_SKIP() << "no General MIDI soundfont";
  TMediaPlayer player;
  player.FileName = fHalfSecond;
  player.Open();
  player.Play();
  std::vector<float> out(2 * 5000, 1.0f);
  player.MixInto(out.data(), 5000, kRate);
  EXPECT_EQ(player.Position(), 5000 * 1000 / kRate);
  auto [low, high] = std::minmax_element(out.begin(), out.end());
  EXPECT_LT(*low, 0.99f);
  EXPECT_GT(*high, 1.01f);
}

// The synth runs at half the output rate: a note must still sound at its
// pitch and at its time in the piece.
TEST_F(MediaPlayerTest, NotesKeepTheirPitchAndTimeAtTheOutputRate) {
  if (!HaveSoundFont())
    GTEST_SKIP() << "no General MIDI soundfont";
  // A4 (440 Hz) on the piano from 0.5 s to 1.5 s.
  Bytes track{0x00, 0xC0, 0x00};
  PutMidiQuantity(track, 480);
  track.insert(track.end(), {0x90, 69, 127});
  PutMidiQuantity(track, 960);
  track.insert(track.end(), {0x80, 69, 64});
  Bytes end = EndOfTrack();
  track.insert(track.end(), end.begin(), end.end());
  TMediaPlayer player;
  player.FileName = Write("a4.mid", Join({Header(0, 1, 480), Chunk(track)}));
  player.Open();
  player.Play();
  std::vector<float> out(2 * kRate, 0.0f);
  player.MixInto(out.data(), kRate, kRate);

  auto peak = [&](double from, double to) {
    float high = 0;
    for (int i = int(from * kRate); i < int(to * kRate); ++i)
      high = std::max(high, std::fabs(out[size_t(2 * i)]));
    return high;
  };
  EXPECT_LT(peak(0.0, 0.48), 1e-4f) << "silent before the note";
  EXPECT_GT(peak(0.5, 0.52), 0.01f) << "the note starts at 0.5 s";

  // The period is the lag (in output frames) at which the sound is most
  // like itself: 44100 / 440 = 100.2.
  const size_t start = size_t(0.6 * kRate);
  auto correlation = [&](int lag) {
    double sum = 0;
    for (size_t i = start; i < start + 4096; ++i)
      sum += double(out[2 * i]) * double(out[2 * (i + size_t(lag))]);
    return sum;
  };
  int best = 60;
  for (int lag = 60; lag <= 150; ++lag)
    if (correlation(lag) > correlation(best))
      best = lag;
  EXPECT_NEAR(best, 100, 2);
}

// The loudest sample of the left channel between two times of `out`.
float PeakBetween(const std::vector<float> &out, double from, double to) {
  float high = 0;
  for (int i = int(from * kRate); i < int(to * kRate); ++i)
    high = std::max(high, std::fabs(out[size_t(2 * i)]));
  return high;
}

// 25 frames of 40 ticks: 1000 ticks a second, whatever a tempo event says.
TEST_F(MediaPlayerTest, ATimecodeFilePlaysAtItsOwnSpeed) {
  Bytes track = Tempo(0, 250000);
  track.insert(track.end(), {0x00, 0xC0, 0x00});
  PutMidiQuantity(track, 500);
  track.insert(track.end(), {0x90, 69, 127});
  PutMidiQuantity(track, 500);
  track.insert(track.end(), {0x80, 69, 64});
  Bytes end = EndOfTrack(500);
  track.insert(track.end(), end.begin(), end.end());
  TMediaPlayer player;
  player.FileName = Write("timecode.mid", Join({Header(0, 1, 0xE728), Chunk(track)}));
  player.Open();
  EXPECT_EQ(player.Length(), 1500u);
  player.Play();
  std::vector<float> out(2 * 2 * kRate, 0.0f);
  player.MixInto(out.data(), 2 * kRate, kRate);
  EXPECT_EQ(player.Mode(), mdStopped);
  EXPECT_EQ(player.Position(), 1500u);
  if (!HaveSoundFont())
    return;
  EXPECT_LT(PeakBetween(out, 0.0, 0.48), 1e-4f) << "silent before the note";
  EXPECT_GT(PeakBetween(out, 0.5, 0.52), 0.01f) << "the note starts at 0.5 s";
  EXPECT_LT(PeakBetween(out, 1.45, 1.5), PeakBetween(out, 0.9, 1.0) / 4) << "and ends at 1 s";
}

// Instruments are read from the soundfont when the tune is opened: one
// chosen in the middle of the piece plays even when the soundfont cannot
// be read any more.
TEST_F(MediaPlayerTest, ATuneHasItsInstrumentsLoadedWhenItIsOpened) {
  if (!HaveSoundFont())
    GTEST_SKIP() << "no General MIDI soundfont";
  const fs::path bank = fDir / "bank.sf2";
  fs::copy_file(TMidiSynth::SoundFontPath(), bank);
  setenv("ZOFTREL_SOUNDFONT", bank.c_str(), 1);
  TMediaPlayer player;
  player.FileName = fHalfSecond;
  player.Open();
  unsetenv("ZOFTREL_SOUNDFONT");
  // A flute from 0.5 s to 1 s, chosen at 0.5 s.
  Bytes track;
  PutMidiQuantity(track, 480);
  track.insert(track.end(), {0xC0, 73, 0x00, 0x90, 72, 127});
  PutMidiQuantity(track, 480);
  track.insert(track.end(), {0x80, 72, 64});
  Bytes end = EndOfTrack();
  track.insert(track.end(), end.begin(), end.end());
  player.FileName = Write("flute.mid", Join({Header(0, 1, 480), Chunk(track)}));
  player.Open();
  fs::remove(bank);
  player.Play();
  std::vector<float> out(2 * kRate, 0.0f);
  player.MixInto(out.data(), kRate, kRate);
  EXPECT_GT(PeakBetween(out, 0.5, 1.0), 0.01f);
}

TEST_F(MediaPlayerTest, WithoutASoundFontTheMusicIsSilentButKeepsTime) {
  setenv("ZOFTREL_SOUNDFONT", (fDir / "none.sf2").c_str(), 1);
  TMediaPlayer player;
  player.FileName = fHalfSecond;
  player.Open();
  unsetenv("ZOFTREL_SOUNDFONT");
  player.Play();
  EXPECT_EQ(Render(player, 0.3), 0.0f);
  EXPECT_EQ(player.Mode(), mdPlaying);
  EXPECT_EQ(player.Position(), 300u);
  Render(player, 0.3);
  EXPECT_EQ(player.Mode(), mdStopped);
  EXPECT_EQ(player.Position(), 500u);
  player.Play();
  EXPECT_EQ(player.Position(), 0u);
}

// A player learns why the music is silent, once, and a silent piece keeps
// no sound device busy.
TEST_F(MediaPlayerTest, WithoutASoundFontItSaysSoOnceAndSoundsNothing) {
  const std::string none = (fDir / "none.sf2").string();
  setenv("ZOFTREL_SOUNDFONT", none.c_str(), 1);
  TMediaPlayer player;
  player.FileName = fHalfSecond;
  testing::internal::CaptureStderr();
  player.Open();
  player.Open();
  const std::string said = testing::internal::GetCapturedStderr();
  unsetenv("ZOFTREL_SOUNDFONT");
  EXPECT_EQ(said, "no General MIDI soundfont found (ZOFTREL_SOUNDFONT=" + none +
                      "): the music is silent\n");
  player.Play();
  EXPECT_FALSE(player.Sounding());
  std::vector<float> out(2 * 441, 0.0f);
  EXPECT_FALSE(player.MixInto(out.data(), 441, 44100));
  EXPECT_EQ(player.Position(), 10u);
}

// The music must cost the same wherever the game runs: the soundfont the
// game's package installs comes before the system's default, which on many
// machines is a bank twenty-five times its size.
TEST_F(MediaPlayerTest, TheProjectsSoundFontComesBeforeTheSystemDefault) {
  const std::string project = Write("project.sf2", {'R', 'I', 'F', 'F'});
  const std::string system = Write("default-GM.sf2", {'R', 'I', 'F', 'F'});
  const std::string missing = (fDir / "missing.sf2").string();
  EXPECT_EQ(TMidiSynth::ChooseSoundFont(nullptr, {project.c_str(), system.c_str()}), project);
  EXPECT_EQ(TMidiSynth::ChooseSoundFont(nullptr, {missing.c_str(), system.c_str()}), system)
      << "only another default soundfont";
  EXPECT_EQ(TMidiSynth::ChooseSoundFont(system.c_str(), {project.c_str(), system.c_str()}), system)
      << "an explicit choice wins";
  EXPECT_EQ(TMidiSynth::ChooseSoundFont(nullptr, {missing.c_str(), missing.c_str()}), missing)
      << "none at all: the synth fails on the last one and the music stays silent";
}

TEST_F(MediaPlayerTest, AnyGeneralMidiSoundFontPlaysTheTune) {
  for (const char *font : {TMidiSynth::kProjectSoundFont, TMidiSynth::kSystemSoundFont}) {
    if (!fs::exists(font))
      continue;
    SCOPED_TRACE(font);
    setenv("ZOFTREL_SOUNDFONT", font, 1);
    TMediaPlayer player;
    player.FileName = ZOFTREL_MUSIC_FILE;
    player.Open();
    unsetenv("ZOFTREL_SOUNDFONT");
    player.Play();
    EXPECT_GT(Render(player, 1.0), 0.02f);
  }
}

// Renders `seconds` of `player` in blocks of 441 and 1000 frames into a
// buffer of its own.
std::vector<float> Played(TMediaPlayer &player, double seconds) {
  std::vector<float> out(size_t(2 * seconds * kRate), 0.0f);
  const int total = int(out.size() / 2);
  for (int done = 0, block = 441; done < total; done += block, block = 1441 - block)
    player.MixInto(&out[size_t(2 * done)], std::min(block, total - done), kRate);
  return out;
}

float LargestDifference(const std::vector<float> &a, const std::vector<float> &b) {
  float largest = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    largest = std::max(largest, std::fabs(a[i] - b[i]));
  return largest;
}

// A synth with the tune's instruments loaded, and the tune in the plain
// form the player cues it in.
struct TTuneSynth {
  std::unique_ptr<TMidiSynth> Synth;
  Bytes Plain;
};

TTuneSynth SynthForTheTune() {
  std::ifstream in(ZOFTREL_MUSIC_FILE, std::ios::binary);
  const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const TMidiCheck check = CheckMidiFile(bytes);
  EXPECT_TRUE(check.Ok());
  TTuneSynth tune{TMidiSynth::Create(kRate), PlainMidiFile(bytes, check)};
  tune.Synth->LoadInstruments(check.Programs);
  return tune;
}

// The tune is rendered ahead once and played from that recording: it must
// sound as the synth playing it live would, sample for sample (but for the
// recording's 16 bits), every time it is played, and go on seamlessly
// after a stop.
TEST_F(MediaPlayerTest, TheRecordedTuneSoundsAsTheSynthPlayingItLiveEveryTime) {
  if (!HaveSoundFont())
    GTEST_SKIP() << "no General MIDI soundfont";
  const TTuneSynth tune = SynthForTheTune();
  TMidiSynth *synth = tune.Synth.get();
  synth->Cue(tune.Plain);
  constexpr double kSeconds = 3.0;
  std::vector<float> live(size_t(2 * kSeconds * kRate), 0.0f);
  for (size_t done = 0; done < live.size(); done += 2 * 512)
    synth->MixInto(&live[done], int(std::min<size_t>(512, (live.size() - done) / 2)));

  TMediaPlayer player;
  player.FileName = ZOFTREL_MUSIC_FILE;
  player.Open();
  player.Play();
  const std::vector<float> first = Played(player, kSeconds);
  EXPECT_GT(*std::max_element(first.begin(), first.end()), 0.1f);
  EXPECT_LT(LargestDifference(first, live), 2e-4f);

  player.Rewind();
  player.Play();
  EXPECT_EQ(LargestDifference(Played(player, kSeconds), first), 0.0f) << "the same again";

  player.Rewind();
  player.Play();
  std::vector<float> resumed = Played(player, 1.0);
  player.Stop();
  const std::vector<float> stopped = Played(player, 0.5);
  EXPECT_EQ(*std::max_element(stopped.begin(), stopped.end()), 0.0f);
  player.Play();
  const std::vector<float> rest = Played(player, kSeconds - 1.0);
  resumed.insert(resumed.end(), rest.begin(), rest.end());
  EXPECT_EQ(LargestDifference(resumed, first), 0.0f) << "goes on where it stopped";
}

// The recording is made on a thread of its own, with nothing asking for
// it, and that thread stops when the recording goes, done or not.
TEST_F(MediaPlayerTest, TheTuneIsRecordedInTheBackgroundAsSoonAsItIsCued) {
  if (!HaveSoundFont())
    GTEST_SKIP() << "no General MIDI soundfont";
  const TTuneSynth tune = SynthForTheTune();
  TMidiSynth *synth = tune.Synth.get();
  synth->Cue(tune.Plain);
  { TMusicRecording abandoned(*synth, 60 * kRate, kRate); }
  synth->Cue(tune.Plain);
  TMusicRecording recording(*synth, 10 * kRate, kRate);
  EXPECT_EQ(recording.SynthFrames(), 10 * 22050 + 3);
  for (int i = 0; i < 3000 && recording.Rendered() < recording.SynthFrames(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(recording.Rendered(), recording.SynthFrames());
  std::vector<float> out(2 * 4410, 0.0f);
  recording.MixInto(out.data(), 9 * kRate, 4410);
  EXPECT_GT(*std::max_element(out.begin(), out.end()), 0.02f);
  std::fill(out.begin(), out.end(), 0.0f);
  recording.MixInto(out.data(), 10 * kRate + 10, 4410);
  EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0.0f) << "silent past its end";
}

// The shipped tune comes with a recording made at build time. It is played
// only when its header names this very tune, soundfont and synthesizer,
// and then sounds as the recording made at run time; anything else (a
// changed or damaged file, another tune under the same name, another
// soundfont) is recorded at run time instead.
TEST_F(MediaPlayerTest, ARecordingMadeAtBuildTimeIsTakenOnlyForWhatItWasMadeFrom) {
  const std::string shipped = TMediaPlayer::RecordingFileName(ZOFTREL_MUSIC_FILE);
  if (!HaveSoundFont() || !fs::exists(shipped))
    GTEST_SKIP() << "no General MIDI soundfont at build time";
  EXPECT_EQ(TMediaPlayer::RecordingFileName("/a/BackgroundMusic.mid"),
            "/a/BackgroundMusic.recording");
  EXPECT_EQ(TMediaPlayer::RecordingFileName("tune"), "tune.recording");
  auto played = [](const std::string &tune, bool prerecorded) {
    TMediaPlayer player;
    player.FileName = tune;
    player.Open();
    EXPECT_EQ(player.Prerecorded(), prerecorded) << tune;
    player.Play();
    return Played(player, 2.0);
  };
  const fs::path tune = fDir / "BackgroundMusic.mid";
  const fs::path recording = fDir / "BackgroundMusic.recording";
  fs::copy_file(ZOFTREL_MUSIC_FILE, tune);
  const std::vector<float> atRunTime = played(tune, false);
  EXPECT_GT(*std::max_element(atRunTime.begin(), atRunTime.end()), 0.1f);

  fs::copy_file(shipped, recording);
  EXPECT_EQ(LargestDifference(played(tune, true), atRunTime), 0.0f) << "the same samples";
  EXPECT_EQ(LargestDifference(played(ZOFTREL_MUSIC_FILE, true), atRunTime), 0.0f);

  const auto bytes = fs::file_size(recording);
  auto poke = [&](std::streamoff at, char value) {
    std::fstream f(recording, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    f.put(value);
  };
  poke(32, 0x55); // the tune's hash
  EXPECT_EQ(LargestDifference(played(tune, false), atRunTime), 0.0f);
  fs::copy_file(shipped, recording, fs::copy_options::overwrite_existing);
  fs::resize_file(recording, bytes - 4);
  played(tune, false);
  fs::resize_file(recording, 40);
  played(tune, false);
  fs::copy_file(shipped, recording, fs::copy_options::overwrite_existing);
  fs::remove(tune);
  fs::copy_file(fHalfSecond, tune);
  played(tune, false);

  const std::string otherFont = (fDir / "other.sf2").string();
  fs::copy_file(TMidiSynth::SoundFontPath(), otherFont);
  std::fstream(otherFont, std::ios::in | std::ios::out | std::ios::ate).put('\0');
  fs::remove(tune);
  fs::copy_file(ZOFTREL_MUSIC_FILE, tune);
  setenv("ZOFTREL_SOUNDFONT", otherFont.c_str(), 1);
  played(tune, false);
  unsetenv("ZOFTREL_SOUNDFONT");
}

// A piece too long to keep is played by the synth as it goes.
TEST_F(MediaPlayerTest, APieceTooLongToRecordIsPlayedLive) {
  // A chord held for seven minutes at 120 quarter notes a minute.
  constexpr uint32_t kSevenMinutes = 7 * 60 * 2 * 480;
  ASSERT_GT(7 * 60, TMusicRecording::kMaxSeconds);
  TMediaPlayer player;
  player.FileName = Write("long.mid", ChordPiece(kSevenMinutes));
  player.Open();
  EXPECT_EQ(player.Length(), 7 * 60 * 1000u);
  player.Play();
  const float peak = Render(player, 0.5);
  EXPECT_EQ(player.Position(), 500u);
  if (HaveSoundFont()) {
    EXPECT_GT(peak, 0.02f);
  }
  player.Stop();
  EXPECT_EQ(Render(player, 0.2), 0.0f);
}

TEST_F(MediaPlayerTest, SurvivesTheAudioThreadRenderingDuringEveryOperation) {
  TMediaPlayer player;
  player.FileName = ZOFTREL_MUSIC_FILE;
  player.Open();
  std::atomic<bool> done = false;
  std::thread audio([&] {
    float block[2 * 256];
    while (!done) {
      std::fill(std::begin(block), std::end(block), 0.0f);
      player.MixInto(block, 256, kRate);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  for (int i = 0; i < 200; ++i) {
    if (player.Mode() == mdStopped)
      player.Play();
    if (i % 7 == 0)
      player.Stop();
    if (i % 31 == 0)
      player.Rewind();
    if (i % 67 == 0)
      player.Open(); // while the tune is still being recorded
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  done = true;
  audio.join();
  player.Close();
}

} // namespace
