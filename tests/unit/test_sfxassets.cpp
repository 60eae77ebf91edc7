#include "sound/sfxassets.h"
#include "sound/sfxslib.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Expected {
  const char *name;
  uint32_t rate;
  uint16_t bits;
  int32_t bytes;
  int32_t volume;
};

const Expected kGameSounds[] = {
    {"Attkping", 11025, 8, 6435, 0},      {"Eng_high", 11025, 8, 15156, -958},
    {"Eng_idle", 11025, 8, 22069, -1042}, {"Eng_low", 11025, 8, 14949, -958},
    {"Eng_norm", 11025, 8, 20233, -900},  {"drip", 11000, 8, 756, -458},
    {"bird2-1", 11025, 8, 6716, 0},       {"Cow", 11025, 8, 19202, -583},
    {"horse", 22050, 8, 31104, -667},     {"plane", 22050, 8, 26382, -1000},
    {"Skud1", 11025, 8, 14027, -1042},    {"skud2", 44100, 16, 105478, -1042},
    {"applaus", 11025, 8, 80384, -958},
};

TEST(SfxAssets, TheEmbeddedBlockHoldsTheGameStream) {
  std::vector<uint8_t> block = EmbeddedSoundsBlock();
  ASSERT_EQ(block.size(), 5u + 363471u);
  EXPECT_EQ(block[0], 10);
  EXPECT_EQ(block[1] | block[2] << 8 | block[3] << 16 | block[4] << 24, 363471);

  // Entry 0 carries its odd reserved and name bytes.
  const uint8_t *entry0 = block.data() + 5 + 8;
  EXPECT_EQ(entry0[18], 0x8A);
  EXPECT_EQ(entry0[19], 0xFD);
  EXPECT_EQ(entry0[29], 0xFD);
  EXPECT_EQ(entry0[30], 0xB7);
  EXPECT_EQ(entry0[31], 0xFD);
}

TEST(SfxAssets, TheGameSoundsHaveTheirFormatsAndVolumes) {
  TSfxSoundLib lib;
  ReadEmbeddedSounds(lib);
  ASSERT_EQ(lib.Count(), 13);
  int64_t total = 0;
  for (int i = 0; i < 13; ++i) {
    const Expected &e = kGameSounds[i];
    SCOPED_TRACE(e.name);
    TSfxSoundRec rec;
    lib.Sounds.GetSound(i, rec);
    EXPECT_EQ(rec.Name.Str(), e.name);
    EXPECT_EQ(rec.Format.wFormatTag, 1);
    EXPECT_EQ(rec.Format.nChannels, 1);
    EXPECT_EQ(rec.Format.nSamplesPerSec, e.rate);
    EXPECT_EQ(rec.Format.wBitsPerSample, e.bits);
    EXPECT_EQ(rec.Format.nBlockAlign, e.bits / 8);
    EXPECT_EQ(rec.Format.nAvgBytesPerSec, e.rate * (e.bits / 8u));
    EXPECT_EQ(rec.Format.cbSize, 0);
    EXPECT_EQ(rec.Size, e.bytes);
    EXPECT_EQ(rec.Volume, e.volume);
    EXPECT_EQ(rec.Pan, 0);
    if (i > 0) {
      EXPECT_EQ(rec.Reserved[0] | rec.Reserved[1], 0);
      for (int c = rec.Name.Length; c < 11; ++c)
        EXPECT_EQ(rec.Name.Chars[c], 0);
    }
    total += rec.Size;
  }
  EXPECT_EQ(total, 362891);
}

} // namespace
