// A sound's samples brought to the mix format once, when its buffer is
// made: float, at the mix rate, with the sound's own channel count.
#pragma once

#include "sound/sfxslib.h"

#include <cstdint>
#include <memory>
#include <vector>

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

// Converts `size` bytes of 8- or 16-bit PCM `samples` to float at `rate`
// with SDL's converter. A looped sound wraps without a click: the converter
// sees it as one period of a loop. "CreateSoundBuffer Failed" for a format
// or size that cannot be played, and when the memory runs out.
std::shared_ptr<const TSfxMixSamples> SfxConvertSamples(const TWaveFormatEx &format, int32_t size,
                                                        const uint8_t *samples, int rate);
