// A sound's samples brought to the mix rate once, when its buffer is made:
// 16-bit, with the sound's own channel count.
#pragma once

#include "sound/sfxslib.h"

#include <cstdint>
#include <memory>
#include <vector>

// A sound's samples converted to the mix format, shared by the buffers
// made for it, and what they were converted from.
struct TSfxMixSamples {
  std::vector<int16_t> Samples; // interleaved, at the mix rate
  int64_t Frames = 0;
  TWaveFormatEx Format;
  int32_t Size = 0;
  const uint8_t *Source = nullptr;

  bool ConvertedFrom(const TWaveFormatEx &format, int32_t size, const uint8_t *source) const;
};

// Converts `size` bytes of 8- or 16-bit PCM `samples` to 16 bits at `rate`
// by four-point (Catmull-Rom) interpolation, the music's filter: for the
// game's sounds, at a half or a quarter of the mix rate, a fixed set of
// phases. The sound is taken as one period of a loop, so a looped sound
// wraps without a click. "CreateSoundBuffer Failed" for a format or size
// that cannot be played, and when the memory runs out.
std::shared_ptr<const TSfxMixSamples> SfxConvertSamples(const TWaveFormatEx &format, int32_t size,
                                                        const uint8_t *samples, int rate);
