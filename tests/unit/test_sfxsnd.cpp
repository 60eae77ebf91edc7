#include "rtl/sysutils.h"
#include "sound/sfxsnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

TSfxSoundRec Format(uint32_t rate, uint16_t bits, int32_t volume = 0, int32_t pan = 0) {
  TSfxSoundRec rec;
  uint16_t align = uint16_t(bits / 8);
  rec.Format = {1, 1, rate, rate * align, align, bits, 0};
  rec.Volume = volume;
  rec.Pan = pan;
  return rec;
}

// 16-bit samples at the device rate, so frames map one to one: 1000 frames
// of a constant 0.5.
std::vector<uint8_t> Constant16(int frames, int16_t value) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < frames; ++i) {
    bytes.push_back(uint8_t(value));
    bytes.push_back(uint8_t(uint16_t(value) >> 8));
  }
  return bytes;
}

constexpr int kFrames = 1000;

class SfxAudioTest : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    audio = std::make_unique<TSfxAudio>();
    audio->SetPaused(true);
    // 0: device rate, 0.5 constant; 1: 11025 Hz 8-bit, constant 0.5 at -600.
    lib.Sounds.Add(Format(44100, 16), Constant16(kFrames, 16384));
    lib.Sounds.Add(Format(11025, 8, -600), std::vector<uint8_t>(400, 192));
    audio->SetSoundLibrary(&lib);
  }

  // Renders `frames` frames; returns the interleaved output.
  std::vector<float> Render(int frames) {
    std::vector<float> out(size_t(frames) * 2, 99.0f);
    audio->Mix(out.data(), frames);
    return out;
  }

  TSfxSoundBuffer *Sound(int i) { return audio->Sound(i); }

  TSfxSoundLib lib;
  std::unique_ptr<TSfxAudio> audio;
};

TEST_F(SfxAudioTest, OpensTheDeviceAtCdRateAndMixesSilenceWhenIdle) {
  EXPECT_EQ(audio->Rate(), 44100);
  for (float x : Render(256))
    EXPECT_EQ(x, 0.0f);
}

TEST_F(SfxAudioTest, PlayOnAPlayingSoundDoesNotRestartIt) {
  Sound(0)->Play();
  Render(300);
  EXPECT_EQ(Sound(0)->Position(), 600);
  Sound(0)->Play();
  EXPECT_EQ(Sound(0)->Position(), 600);
  Render(300);
  EXPECT_EQ(Sound(0)->Position(), 1200);

  Sound(0)->Stop();
  Sound(0)->SetPosition(0);
  Sound(0)->Play();
  EXPECT_EQ(Sound(0)->Position(), 0);
  auto out = Render(kFrames);
  EXPECT_NEAR(out[0], 0.5f, 1e-3);
  EXPECT_NEAR(out[2 * kFrames - 1], 0.5f, 1e-3);
}

TEST_F(SfxAudioTest, SetPositionWorksWhilePlaying) {
  Sound(0)->Play();
  Render(500);
  Sound(0)->SetPosition(0);
  EXPECT_TRUE(Sound(0)->Playing());
  Render(kFrames - 1);
  EXPECT_TRUE(Sound(0)->Playing());
  EXPECT_THROW(Sound(0)->SetPosition(2 * kFrames), Exception);
}

TEST_F(SfxAudioTest, AFinishedSoundStopsAtStartAndPlaysWholeAgain) {
  Sound(0)->Play();
  auto out = Render(kFrames + 200);
  EXPECT_FALSE(Sound(0)->Playing());
  EXPECT_EQ(Sound(0)->Position(), 0);
  EXPECT_NEAR(out[2 * (kFrames - 1)], 0.5f, 1e-3);
  EXPECT_EQ(out[2 * kFrames], 0.0f);

  Sound(0)->Play();
  out = Render(kFrames + 200);
  EXPECT_NEAR(out[0], 0.5f, 1e-3);
  EXPECT_NEAR(out[2 * (kFrames - 1)], 0.5f, 1e-3);
  EXPECT_EQ(out[2 * kFrames], 0.0f);
}

TEST_F(SfxAudioTest, LoopingWrapsAndPlayLoopedResumesWhereItStopped) {
  Sound(0)->PlayLooped();
  Render(300);
  Sound(0)->PlayLooped();
  EXPECT_EQ(Sound(0)->Position(), 600);
  auto out = Render(800);
  EXPECT_TRUE(Sound(0)->Looping());
  EXPECT_EQ(Sound(0)->Position(), 200); // (300 + 800) mod 1000 frames
  for (float x : out)
    ASSERT_NEAR(x, 0.5f, 1e-3);

  // Play ends a looping sound at the end of its current pass.
  Sound(0)->Play();
  EXPECT_FALSE(Sound(0)->Looping());
  out = Render(kFrames);
  EXPECT_FALSE(Sound(0)->Playing());
  EXPECT_NEAR(out[2 * (kFrames - 101)], 0.5f, 1e-3);
  EXPECT_EQ(out[2 * (kFrames - 100)], 0.0f);
}

TEST_F(SfxAudioTest, StopHoldsThePositionAndDoesNothingOnAnIdleSound) {
  Sound(0)->Stop();
  EXPECT_FALSE(Sound(0)->Playing());
  EXPECT_EQ(Sound(0)->Position(), 0);
  Sound(0)->Play();
  Render(100);
  Sound(0)->Stop();
  Sound(0)->Stop();
  Render(100);
  EXPECT_EQ(Sound(0)->Position(), 200);
}

TEST_F(SfxAudioTest, VolumeAndPanFollowTheDecibelLaw) {
  Sound(0)->PlayLooped();
  float full = Render(1)[0];
  Sound(0)->SetVolume(-600);
  auto out = Render(1);
  EXPECT_NEAR(out[0] / full, 0.501, 0.002); // -6 dB is about half
  Sound(0)->SetPan(-600);
  out = Render(1);
  EXPECT_NEAR(out[0] / full, 0.501, 0.002);
  EXPECT_NEAR(out[1] / full, 0.251, 0.002);
  Sound(0)->SetPan(10000);
  EXPECT_EQ(Render(1)[0], 0.0f);
  Sound(0)->SetVolume(-10000);
  EXPECT_EQ(Render(1)[1], 0.0f);

  EXPECT_THROW(Sound(0)->SetVolume(1), Exception);
  EXPECT_THROW(Sound(0)->SetVolume(-10001), Exception);
  EXPECT_THROW(Sound(0)->SetPan(10001), Exception);
  try {
    Sound(0)->SetPan(-10001);
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message, "SetPan Failed");
  }
}

TEST_F(SfxAudioTest, SoundsStartedTogetherAreMixed) {
  EXPECT_EQ(Sound(1)->Volume(), -600);
  Sound(0)->Play();
  Sound(1)->Play();
  auto out = Render(200);
  // 0.5 from sound 0 plus 0.5 * 0.501 from the converted 8-bit sound 1.
  EXPECT_NEAR(out[100], 0.5f + 0.5f * 0.501f, 0.01);
  EXPECT_EQ(Sound(1)->Position(), 50);
}

// Waits up to `seconds` for `done`.
template <class Condition> bool WaitFor(Condition done, double seconds = 2) {
  for (int i = 0; i < int(seconds * 200) && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

// While lost, every Play rebuilds the buffer objects from the samples
// converted before and plays nothing; the keeper brings the device back
// within two seconds, with no call from the game.
TEST_F(SfxAudioTest, ALostDeviceRebuildsEveryBufferWithoutConvertingAndComesBack) {
  Sound(0)->PlayLooped();
  Sound(1)->SetVolume(-100);
  Render(100);
  const unsigned generation = audio->Generation();
  const unsigned conversions = audio->Conversions();
  const unsigned openings = audio->Openings();
  audio->MarkLost();
  EXPECT_NO_THROW(Sound(1)->Play());
  EXPECT_EQ(audio->Generation(), generation + 1);
  for (int i = 0; i < 2; ++i) {
    EXPECT_FALSE(Sound(i)->Playing());
    EXPECT_EQ(Sound(i)->Position(), 0);
  }
  EXPECT_EQ(Sound(1)->Volume(), -600);
  for (float x : Render(100))
    ASSERT_EQ(x, 0.0f);
  Sound(1)->PlayLooped();
  EXPECT_FALSE(Sound(1)->Playing()) << "still lost";
  EXPECT_EQ(audio->Generation(), generation + 2);
  EXPECT_EQ(audio->Conversions(), conversions);

  ASSERT_TRUE(WaitFor([&] { return !audio->DeviceLost(); }));
  EXPECT_EQ(audio->Openings(), openings + 1);
  Sound(1)->Play();
  EXPECT_TRUE(Sound(1)->Playing());
  EXPECT_NEAR(Render(1)[0], 0.5f * 0.501f, 0.01);
  EXPECT_EQ(audio->Conversions(), conversions);
}

TEST_F(SfxAudioTest, LibraryLinkControlsTheBuffers) {
  EXPECT_THROW(Sound(2), EListError);
  EXPECT_THROW(Sound(-1), EListError);

  audio->SetSoundLibrary(nullptr);
  try {
    Sound(0);
    FAIL();
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message, "A library must be assigned to SoundLibrary");
  }
  audio->SetSoundLibrary(&lib);
  EXPECT_EQ(audio->BufferCount(), 2);

  audio->LibraryRemoved(&lib);
  EXPECT_EQ(audio->SoundLibrary(), nullptr);
  Sound(0)->Play();
  EXPECT_NEAR(Render(1)[0], 0.5f, 1e-3);

  TSfxSoundLib empty;
  audio->SetSoundLibrary(&empty);
  EXPECT_THROW(Sound(0), Exception);
}

TEST_F(SfxAudioTest, AFailedBuildLeavesNoBuffers) {
  struct Case {
    TSfxSoundRec rec;
    size_t bytes;
    const char *message;
  };
  TSfxSoundRec stereoMismatch = Format(11025, 16);
  stereoMismatch.Format.nChannels = 2; // block align stays 2
  TSfxSoundRec adpcm = Format(11025, 8);
  adpcm.Format.wFormatTag = 2;
  const Case cases[] = {
      {Format(11025, 16), 3, "CreateSoundBuffer Failed"},
      {Format(0, 8), 10, "CreateSoundBuffer Failed"},
      {Format(11025, 12), 10, "CreateSoundBuffer Failed"},
      {stereoMismatch, 8, "CreateSoundBuffer Failed"},
      {adpcm, 8, "CreateSoundBuffer Failed"},
      {Format(11025, 8, 5), 10, "SetVolume Failed"},
      {Format(11025, 8, 0, -20000), 10, "SetPan Failed"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.message);
    TSfxSoundLib bad;
    bad.Sounds.Add(Format(11025, 8), std::vector<uint8_t>(10, 128));
    bad.Sounds.Add(c.rec, std::vector<uint8_t>(c.bytes, 128));
    try {
      audio->SetSoundLibrary(&bad);
      FAIL();
    } catch (const Exception &e) {
      EXPECT_EQ(e.Message, c.message);
    }
    EXPECT_EQ(audio->BufferCount(), 0);
    EXPECT_THROW(Sound(0), Exception);
  }
}

class ConstantMusic : public TSfxMixSource {
public:
  bool MixInto(float *out, int frames, int rate) override {
    EXPECT_EQ(rate, 44100);
    for (int i = 0; i < 2 * frames; ++i)
      out[i] += 0.25f;
    return true;
  }
  bool Sounding() const override { return true; }
};

TEST_F(SfxAudioTest, MusicIsMixedAfterTheSoundsAndTheSumIsClamped) {
  ConstantMusic music;
  audio->SetMusic(&music);
  EXPECT_EQ(Render(4)[7], 0.25f);
  Sound(0)->Play();
  EXPECT_NEAR(Render(4)[7], 0.75f, 1e-3);
  lib.Sounds.Clear();
  lib.Sounds.Add(Format(44100, 16), Constant16(kFrames, 32767));
  audio->SetSoundLibrary(&lib);
  Sound(0)->Play();
  EXPECT_EQ(Render(4)[7], 1.0f);
  audio->SetMusic(nullptr);
}

// The engine sounds loop: a periodic waveform resampled from 11025 Hz must
// wrap without a jump bigger than its ordinary steps.
TEST_F(SfxAudioTest, AResampledLoopWrapsWithoutAClick) {
  const int n = 2205; // 0.2 s at 11025 Hz: 20 cycles of 100 Hz
  std::vector<uint8_t> wave(n);
  for (int i = 0; i < n; ++i)
    wave[size_t(i)] = uint8_t(128 + std::lround(100 * std::sin(2 * M_PI * 20 * i / n)));
  lib.Sounds.Clear();
  lib.Sounds.Add(Format(11025, 8), wave);
  audio->SetSoundLibrary(&lib);
  Sound(0)->PlayLooped();
  auto out = Render(4 * n + 400);
  float largest = 0, atWrap = 0;
  for (size_t i = 2; i < out.size(); i += 2) {
    float step = std::fabs(out[i] - out[i - 2]);
    largest = std::max(largest, step);
    if (i / 2 == size_t(4 * n))
      atWrap = step;
  }
  EXPECT_LE(atWrap, largest * 1.05f);
  EXPECT_LT(largest, 0.02f); // a smooth 100 Hz wave at 44.1 kHz
}

// The device callback itself: a sound played on the running device ends by
// itself.
TEST_F(SfxAudioTest, TheRunningDevicePlaysASoundToItsEnd) {
  audio->SetPaused(false);
  Sound(0)->Play();
  for (int i = 0; i < 200 && Sound(0)->Playing(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_FALSE(Sound(0)->Playing());
  EXPECT_EQ(Sound(0)->Position(), 0);
}

TEST_F(SfxAudioTest, TheDeviceGoesIdleWhenNothingPlaysAndWakesForTheNextSound) {
  auto idle = [&] { return audio->Idle(); };
  audio->SetPaused(false);
  ASSERT_TRUE(WaitFor(idle));
  uint64_t calls = audio->Callbacks();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  // Blocks of 20 ms would be 25 callbacks; an idle one returns after 100 ms.
  EXPECT_LE(audio->Callbacks() - calls, 8u) << "an idle device is seldom called back";

  Sound(0)->Play();
  EXPECT_FALSE(audio->Idle());
  EXPECT_TRUE(WaitFor([&] { return !Sound(0)->Playing(); })) << "it plays to its end";
  EXPECT_TRUE(WaitFor(idle)) << "and the device goes idle after it";
  EXPECT_GT(audio->Callbacks(), calls);

  Sound(1)->PlayLooped();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(audio->Idle()) << "a looping sound keeps it running";
  Sound(1)->Stop();
  EXPECT_TRUE(WaitFor(idle));
}

// Music that sounds for a number of frames once started.
class BurstMusic : public TSfxMixSource {
public:
  void Start(int frames) {
    Change([&] { fLeft = frames; }, true);
  }
  bool MixInto(float *out, int frames, int) override {
    if (fLeft <= 0)
      return false;
    for (int i = 0; i < 2 * frames; ++i)
      out[i] += 0.1f;
    fLeft -= frames;
    return true;
  }
  bool Sounding() const override { return fLeft > 0; }
  void Halt() {
    Change([&] { fLeft = 0; }, false);
  }
  std::atomic<int> fLeft{0};
};

TEST_F(SfxAudioTest, TheMusicStartingWakesAnIdleDevice) {
  auto idle = [&] { return audio->Idle(); };
  BurstMusic music;
  audio->SetMusic(&music);
  audio->SetPaused(false);
  ASSERT_TRUE(WaitFor(idle));
  music.Start(4410);
  EXPECT_FALSE(audio->Idle());
  EXPECT_TRUE(WaitFor([&] { return music.fLeft <= 0; })) << "the music is mixed";
  EXPECT_TRUE(WaitFor(idle)) << "and the device goes idle after it";
  audio->SetMusic(nullptr);
  music.Start(4410); // detached: it wakes nothing
  EXPECT_TRUE(audio->Idle());
  EXPECT_EQ(music.fLeft, 4410);

  audio->SetMusic(&music);
  audio.reset();
  music.Start(10); // outlived the audio component: tells nobody
}

// After a second and a half of silence the device is closed, not lost; the
// next sound opens it again and is heard whole, with the same buffers.
TEST_F(SfxAudioTest, ASilentDeviceIsGivenBackAndTheNextSoundReopensIt) {
  audio->SetPaused(false);
  ASSERT_TRUE(WaitFor([&] { return !audio->DeviceOpen(); }, 3));
  EXPECT_FALSE(audio->DeviceLost());
  EXPECT_TRUE(audio->Idle());
  const unsigned openings = audio->Openings();
  const unsigned generation = audio->Generation();

  Sound(0)->Play();
  EXPECT_TRUE(Sound(0)->Playing());
  EXPECT_TRUE(WaitFor([&] { return !Sound(0)->Playing(); })) << "it plays to its end";
  EXPECT_EQ(Sound(0)->Position(), 0);
  EXPECT_EQ(audio->Openings(), openings + 1);
  EXPECT_EQ(audio->Generation(), generation);
}

// Music playing when the device is lost goes on once the keeper has the
// device back, with no call from the game.
TEST_F(SfxAudioTest, TheMusicComesBackAfterALostDeviceByItself) {
  BurstMusic music;
  audio->SetMusic(&music);
  audio->SetPaused(false);
  music.Start(60 * 44100);
  ASSERT_TRUE(WaitFor([&] { return music.fLeft < 60 * 44100; }));
  audio->MarkLost();
  ASSERT_TRUE(WaitFor([&] { return !audio->DeviceOpen(); }));
  const int left = music.fLeft;
  ASSERT_TRUE(WaitFor([&] { return !audio->DeviceLost(); }));
  EXPECT_TRUE(WaitFor([&] { return music.fLeft < left; })) << "the music is mixed again";
  audio->SetMusic(nullptr);
}

// Callbacks that stall for longer than the give-back wait (a server slow
// to resume its suspended output, a stopped process) while a looped sound
// and the music play: the device stays open, and both go on from where
// they were once the callbacks come back.
TEST_F(SfxAudioTest, ADeviceStalledUnderPlayingSoundsIsKept) {
  BurstMusic music;
  audio->SetMusic(&music);
  audio->SetPaused(false);
  Sound(1)->PlayLooped();
  music.Start(60 * 44100);
  ASSERT_TRUE(WaitFor([&] { return music.fLeft < 60 * 44100; }));
  const unsigned openings = audio->Openings();
  audio->StallOutput(true); // the output's thread cannot mix meanwhile
  std::this_thread::sleep_for(TSfxAudio::kGiveBackAfter + std::chrono::milliseconds(700));
  const int left = music.fLeft;
  audio->StallOutput(false);
  EXPECT_TRUE(WaitFor([&] { return music.fLeft < left; })) << "the music is mixed again";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(audio->DeviceOpen());
  EXPECT_EQ(audio->Openings(), openings) << "the device was never given back";
  EXPECT_TRUE(Sound(1)->Playing());
  Sound(1)->Stop();
  music.fLeft = 0;
  EXPECT_TRUE(WaitFor([&] { return !audio->DeviceOpen(); }, 3)) << "silent, it is given back";
  audio->SetMusic(nullptr);
}

// SDL's pause and close wait for the callback: an idle one must let go.
TEST_F(SfxAudioTest, AnIdleDeviceCanBePausedForHandMixingAndClosed) {
  audio->SetPaused(false);
  ASSERT_TRUE(WaitFor([&] { return audio->Idle(); }));
  audio->SetPaused(true);
  EXPECT_FALSE(audio->Idle());
  Sound(0)->Play();
  EXPECT_EQ(Render(4)[1], 0.5f) << "mixing by hand works as before";
  audio->SetPaused(false);
  ASSERT_TRUE(WaitFor([&] { return audio->Idle(); }));
  audio.reset();
}

// An output that writes ahead, driven by hand: what it renders and
// rewrites goes through the audio component's source.
class WritingAhead : public TSfxOutput {
public:
  TSfxOutputCaps Caps() const override { return {true, true, true}; }
  bool Failed() const override { return false; }
  void SetPaused(bool) override {}
  void RequestRewrite() override { ++fRequests; }
  void Stall(bool) override {}
  int fRequests = 0;
};

class SfxRewriteTest : public SfxAudioTest {
protected:
  void SetUp() override {
    SfxAudioTest::SetUp();
    audio->MixFor(&output);
  }
  void TearDown() override { audio->MixFor(nullptr); }
  // The output writes `frames` more frames; returns their left channel.
  std::vector<float> Write(int frames) {
    std::vector<float> out(size_t(frames) * 2);
    std::lock_guard lock(audio->Source().MixLock());
    audio->Source().RenderLocked(out.data(), frames);
    return Left(out);
  }
  // The output rewrites its last `frames` frames.
  std::vector<float> Rewrite(int frames) {
    std::vector<float> out(size_t(frames) * 2);
    EXPECT_EQ(audio->Source().Rerender(out.data(), frames), frames);
    return Left(out);
  }
  static std::vector<float> Left(const std::vector<float> &out) {
    std::vector<float> left;
    for (size_t i = 0; i < out.size(); i += 2)
      left.push_back(out[i]);
    return left;
  }
  WritingAhead output;
};

// Sound 0 plays 0.5 at the device rate, so its position in bytes is twice
// the frames it has played.
TEST_F(SfxRewriteTest, EveryChangeIsMadeWhereTheRewriteStartsAndNothingIsHeardTwice) {
  Sound(0)->PlayLooped();
  EXPECT_EQ(output.fRequests, 1);
  EXPECT_EQ(Write(400)[399], 0.0f) << "held back until the rewrite";
  auto out = Rewrite(300); // from stream frame 100
  EXPECT_EQ(out[0], 0.5f);
  EXPECT_EQ(Sound(0)->Position(), 600);

  // Stopped: silent from the rewrite on, standing where it stood there.
  Sound(0)->Stop();
  EXPECT_EQ(output.fRequests, 2);
  out = Rewrite(250); // from 150, 50 frames into the sound
  EXPECT_EQ(*std::max_element(out.begin(), out.end()), 0.0f);
  EXPECT_EQ(Sound(0)->Position(), 100);
  EXPECT_FALSE(Sound(0)->Playing());

  // Played again, it goes on from there.
  Sound(0)->PlayLooped();
  EXPECT_EQ(Rewrite(100)[99], 0.5f); // from 300
  EXPECT_EQ(Sound(0)->Position(), 300);

  // A shot restarted: the changes of one tick share the rewrite, and the
  // sound is heard once from its start.
  Write(200);
  Sound(0)->Stop();
  Sound(0)->SetPosition(0);
  Sound(0)->Play();
  EXPECT_EQ(Rewrite(120)[119], 0.5f);
  EXPECT_EQ(Sound(0)->Position(), 240);
  Sound(0)->SetVolume(-600);
  EXPECT_NEAR(Rewrite(20)[0], 0.5f * 0.501f, 1e-3) << "softer from the rewrite on";
  EXPECT_EQ(Sound(0)->Position(), 240);
  EXPECT_EQ(output.fRequests, 7);

  // A sound that neither plays nor sounded lately changes nothing written.
  Write(30000);
  Sound(0)->Stop();
  Sound(1)->SetPosition(0);
  Sound(1)->Stop();
  EXPECT_EQ(output.fRequests, 7);
}

// The music's part is kept as written: a rewrite for a sound leaves it as
// it was, one for the music's start renders it from the rewrite on, and one
// for its stop takes it out.
TEST_F(SfxRewriteTest, TheMusicStartsAndStopsWhereTheRewriteStarts) {
  BurstMusic music;
  audio->SetMusic(&music);
  music.Start(1000);
  Write(100);
  EXPECT_EQ(Write(100)[0], 0.0f) << "held back until the rewrite";
  auto out = Rewrite(150); // from 50
  EXPECT_NEAR(out[0], 0.1f, 1e-6);
  EXPECT_EQ(music.fLeft, 1000 - 150);

  Sound(1)->Play();
  out = Rewrite(50);
  EXPECT_NEAR(out[0], 0.1f + 0.5f * 0.501f, 1e-3);
  EXPECT_EQ(music.fLeft, 850) << "not rendered again";

  music.Halt();
  out = Rewrite(50);
  EXPECT_NEAR(out[0], 0.5f * 0.501f, 1e-3);
  audio->SetMusic(nullptr);
}

TEST(SfxAudio, ADeviceThatCannotBeOpenedFailsTheCreation) {
  const char *old = std::getenv("SDL_AUDIODRIVER");
  std::string saved = old ? old : "";
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  try {
    TSfxAudio audio;
    ADD_FAILURE();
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message, "Failed to Create DirectSound");
  }
  if (old)
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
  else
    unsetenv("SDL_AUDIODRIVER");
}

} // namespace
