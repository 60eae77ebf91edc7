#include "rtl/filer.h"
#include "rtl/sysutils.h"
#include "sfx_test_streams.h"
#include "sound/sfxslib.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<TestSound> TwoSounds() {
  TestSound a{.name = "Attkping", .volume = -958, .pan = -300, .samples = {1, 2, 3, 4, 5}};
  a.reserved[0] = 0x8A;
  a.reserved[1] = 0xFD;
  a.nameFill = 0xB7;
  TestSound b{.name = "skud2", .rate = 44100, .bits = 16, .samples = {0x10, 0x20, 0x30, 0x40}};
  return {a, b};
}

// Reads `bytes` and returns the message of the exception it fails with.
std::string ReadFailure(const std::vector<uint8_t> &bytes, TSfxSounds &sounds) {
  TSpanStream in(bytes);
  try {
    sounds.ReadData(in);
  } catch (const Exception &e) {
    return e.Message;
  }
  return "(no exception)";
}

std::string ReadFailure(const std::vector<uint8_t> &bytes) {
  TSfxSounds sounds;
  return ReadFailure(bytes, sounds);
}

std::vector<uint8_t> Written(const TSfxSounds &sounds) {
  TMemoryStream out;
  sounds.WriteData(out);
  return out.Bytes;
}

TEST(SfxSounds, ReadsEveryFieldOfEveryEntry) {
  TSfxSounds sounds;
  auto bytes = MakeStream(TwoSounds());
  TSpanStream stream(bytes);
  sounds.ReadData(stream);
  ASSERT_EQ(sounds.Count(), 2);
  TSfxSoundRec rec;
  sounds.GetSound(0, rec);
  EXPECT_EQ(rec.Name.Str(), "Attkping");
  EXPECT_EQ(rec.Format.nSamplesPerSec, 11025u);
  EXPECT_EQ(rec.Format.wBitsPerSample, 8);
  EXPECT_EQ(rec.Volume, -958);
  EXPECT_EQ(rec.Pan, -300);
  EXPECT_EQ(rec.Size, 5);
  EXPECT_EQ(rec.Data[4], 5);
  EXPECT_EQ(rec.Reserved[0], 0x8A);
  sounds.GetSound(1, rec);
  EXPECT_EQ(rec.Name.Str(), "skud2");
  EXPECT_EQ(rec.Format.nBlockAlign, 2);
  EXPECT_EQ(rec.Format.nAvgBytesPerSec, 88200u);
  EXPECT_EQ(rec.Size, 4);
  EXPECT_EQ(stream.Position, stream.Size());
}

TEST(SfxSounds, WritesBackTheIdenticalStream) {
  auto upper = MakeStream(TwoSounds());
  auto lower = MakeStream(TwoSounds(), "sl10");
  for (const auto &bytes : {upper, lower}) {
    TSfxSounds sounds;
    TSpanStream in(bytes);
    sounds.ReadData(in);
    EXPECT_EQ(Written(sounds), bytes);
  }
}

TEST(SfxSounds, MagicComparesAsciiLettersWithoutCase) {
  EXPECT_EQ(ReadFailure(MakeStream(TwoSounds(), "sL10")), "(no exception)");
  EXPECT_EQ(ReadFailure(MakeStream(TwoSounds(), "SL11")), "Not a valid Sound Library File");
  EXPECT_EQ(ReadFailure(MakeStream(TwoSounds(), "SLIO")), "Not a valid Sound Library File");
}

TEST(SfxSounds, ZeroCountAndZeroSizeFailAsAllocationFailures) {
  EXPECT_EQ(ReadFailure(MakeStream({})), "TSfxSounds: GemMem Failed for FSounds");
  auto sounds = TwoSounds();
  sounds[1].samples.clear();
  EXPECT_EQ(ReadFailure(MakeStream(sounds)), "TSfxSounds: GemMem Failed for Sound.Data");
}

TEST(SfxSounds, NegativeCountAndSizeFail) {
  auto bytes = MakeStream(TwoSounds());
  Patch32(bytes, 4, uint32_t(-1));
  EXPECT_EQ(ReadFailure(bytes), "TSfxSounds: Invalid sound count");
  bytes = MakeStream(TwoSounds());
  Patch32(bytes, 8 + 40, 0x80000000u);
  EXPECT_EQ(ReadFailure(bytes), "TSfxSounds: Invalid sound size");
}

// A damaged count or size must not make the reader allocate what the
// stream cannot hold; under the sanitizers a 2 GB allocation would fail.
TEST(SfxSounds, CountsAndSizesBeyondTheStreamFailBeforeAllocating) {
  auto bytes = MakeStream(TwoSounds());
  Patch32(bytes, 4, 0x7FFFFFFF);
  EXPECT_EQ(ReadFailure(bytes), "Stream read error");
  Patch32(bytes, 4, 3); // one header more than there is
  EXPECT_EQ(ReadFailure(bytes), "Stream read error");
  bytes = MakeStream(TwoSounds());
  Patch32(bytes, 8 + 40, 0x7FFFFFFF);
  EXPECT_EQ(ReadFailure(bytes), "Stream read error");
}

// Entries are read in turn: an empty sound ahead of the missing entries is
// the fault met first.
TEST(SfxSounds, AnExcessiveCountFailsAtTheFirstDamagedEntry) {
  auto sounds = TwoSounds();
  sounds[0].samples.clear();
  auto bytes = MakeStream(sounds);
  for (uint32_t count : {3u, 0x7FFFFFFFu}) {
    Patch32(bytes, 4, count);
    EXPECT_EQ(ReadFailure(bytes), "TSfxSounds: GemMem Failed for Sound.Data");
  }
}

TEST(SfxSounds, EveryTruncationFailsWithAReadErrorAndLeavesTheListEmpty) {
  auto full = MakeStream(TwoSounds());
  for (size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    TSfxSounds sounds;
    auto cut = std::vector<uint8_t>(full.begin(), full.begin() + long(length));
    EXPECT_EQ(ReadFailure(cut, sounds), "Stream read error");
    EXPECT_EQ(sounds.Count(), 0);
    EXPECT_FALSE(sounds.HasTable());
    sounds.Clear();
  }
}

TEST(SfxSounds, IgnoresBytesAfterTheLastEntry) {
  auto bytes = MakeStream(TwoSounds());
  size_t end = bytes.size();
  bytes.insert(bytes.end(), {0xDE, 0xAD, 0xBE, 0xEF});
  TSfxSounds sounds;
  TSpanStream in(bytes);
  sounds.ReadData(in);
  EXPECT_EQ(sounds.Count(), 2);
  EXPECT_EQ(in.Position, int64_t(end));
  EXPECT_EQ(Written(sounds), std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(end)));
}

TEST(SfxSounds, LoadsAnElevenCharacterName) {
  TestSound s{.name = "ABCDEFGHIJK", .samples = {128}};
  auto bytes = MakeStream({s});
  TSfxSounds sounds;
  TSpanStream in(bytes);
  sounds.ReadData(in);
  TSfxSoundRec rec;
  sounds.GetSound(0, rec);
  EXPECT_EQ(rec.Name.Str(), "ABCDEFGHIJK");
}

TEST(SfxSounds, ReadingReplacesWhatTheListHeld) {
  TSfxSounds sounds;
  auto two = MakeStream(TwoSounds());
  TSpanStream first(two);
  sounds.ReadData(first);
  auto one = MakeStream({TestSound{.name = "drip", .samples = {7, 8}}});
  TSpanStream second(one);
  sounds.ReadData(second);
  ASSERT_EQ(sounds.Count(), 1);
  EXPECT_EQ(Written(sounds), one);

  EXPECT_EQ(ReadFailure(MakeStream(TwoSounds(), "XL10"), sounds), "Not a valid Sound Library File");
  EXPECT_EQ(sounds.Count(), 0);
}

TEST(SfxSoundLib, ReadsItsPropertyBlock) {
  TSfxSoundLib lib;
  EXPECT_EQ(lib.Count(), 0);
  TMemoryStream block;
  WriteBinaryProperty(block, [](TStream &out) {
    auto bytes = MakeStream(TwoSounds());
    out.WriteBuffer(bytes.data(), bytes.size());
  });
  EXPECT_EQ(block.Bytes[0], 10);
  block.Position = 0;
  lib.ReadSoundsProperty(block);
  EXPECT_EQ(lib.Count(), 2);

  TMemoryStream again;
  EXPECT_TRUE(lib.WriteSoundsProperty(again));
  EXPECT_EQ(again.Bytes, block.Bytes);
}

TEST(SfxSoundLib, AnEmptyListWritesNoProperty) {
  TSfxSoundLib lib;
  TMemoryStream out;
  EXPECT_FALSE(lib.WriteSoundsProperty(out));
  EXPECT_EQ(out.Size(), 0);
}

std::string PropertyFailure(const std::vector<uint8_t> &block) {
  TSfxSoundLib lib;
  TSpanStream in(block);
  try {
    lib.ReadSoundsProperty(in);
  } catch (const EReadError &e) {
    EXPECT_EQ(lib.Count(), 0);
    return e.Message;
  }
  return "(no exception)";
}

std::vector<uint8_t> Block(const std::vector<uint8_t> &content, uint8_t valueType = 10) {
  std::vector<uint8_t> block{valueType};
  Put32(block, uint32_t(content.size()));
  block.insert(block.end(), content.begin(), content.end());
  return block;
}

TEST(SfxSoundLib, PropertyFailuresNameTheComponentAndProperty) {
  EXPECT_EQ(PropertyFailure(Block(MakeStream(TwoSounds(), "SL11"))),
            "Error reading SfxSoundLib1.Sounds.Sounds: Not a valid Sound Library File");
  EXPECT_EQ(PropertyFailure(Block(MakeStream({}))),
            "Error reading SfxSoundLib1.Sounds.Sounds: TSfxSounds: GemMem Failed for FSounds");
  auto cut = MakeStream(TwoSounds());
  cut.pop_back();
  EXPECT_EQ(PropertyFailure(Block(cut)),
            "Error reading SfxSoundLib1.Sounds.Sounds: Stream read error");
}

TEST(SfxSoundLib, PropertyValueMustBeABinaryBlockThatFits) {
  EXPECT_EQ(PropertyFailure(Block(MakeStream(TwoSounds()), 6)), "Invalid property value");
  auto block = Block(MakeStream(TwoSounds()));
  Patch32(block, 1, 0xFFFFFFF0u);
  EXPECT_EQ(PropertyFailure(block), "Stream read error");
  EXPECT_EQ(PropertyFailure({}), "Stream read error");
}

TEST(SfxSoundLib, FailuresInsideTheBlockAreReadErrors) {
  auto block = Block({1, 2, 3});
  TSpanStream in(block);
  try {
    ReadBinaryProperty(in, "Comp", "Prop", [](TStream &) { throw EListError("boom"); });
    FAIL();
  } catch (const Exception &e) {
    EXPECT_STREQ(e.ClassName(), "EReadError");
    EXPECT_EQ(e.Message, "Error reading Comp.Prop: boom");
  }
}

} // namespace
