#include "sound/sfxconvert.h"

#include "rtl/sysutils.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

bool IsPlayableFormat(const TWaveFormatEx &f, int32_t size) {
  if (f.wFormatTag != 1 || (f.nChannels != 1 && f.nChannels != 2))
    return false;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16)
    return false;
  if (f.nSamplesPerSec < 100 || f.nSamplesPerSec > 200000)
    return false;
  if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8)
    return false;
  return size > 0 && size % f.nBlockAlign == 0;
}

// A source sample as a float of full scale 1.
float SourceSample(const TWaveFormatEx &f, const uint8_t *samples, int64_t frame, int channel) {
  const uint8_t *at = samples + frame * f.nBlockAlign + channel * (f.wBitsPerSample / 8);
  if (f.wBitsPerSample == 8)
    return float(int(at[0]) - 128) * (1.0f / 128.0f);
  return float(int16_t(uint16_t(at[0] | (at[1] << 8)))) * (1.0f / 32768.0f);
}

// The output between source frames b and d at `t` (0 to 1), with a and e
// the frames around them.
float Interpolate(float a, float b, float d, float e, float t) {
  return b + 0.5f * t * (d - a + t * (2 * a - 5 * b + 4 * d - e + t * (3 * (b - d) + e - a)));
}

std::vector<int16_t> ConvertSamples(const TWaveFormatEx &f, int32_t size, const uint8_t *samples,
                                    int rate, int64_t &frames) {
  const int channels = f.nChannels;
  const int64_t sourceFrames = size / f.nBlockAlign;
  const int64_t sourceRate = f.nSamplesPerSec;
  frames = std::max<int64_t>(1, (sourceFrames * rate + sourceRate / 2) / sourceRate);
  // The source with two frames of its end before it and two of its start
  // after it.
  std::vector<float> source(size_t((sourceFrames + 4) * channels));
  for (int64_t i = -2; i < sourceFrames + 2; ++i) {
    const int64_t from = ((i % sourceFrames) + sourceFrames) % sourceFrames;
    for (int c = 0; c < channels; ++c)
      source[size_t((i + 2) * channels + c)] = SourceSample(f, samples, from, c);
  }
  std::vector<int16_t> result(size_t(frames * channels));
  // Output frame n lies at source frame n * sourceRate / rate, exactly: at
  // i and a remainder of `rest` in `rate`.
  const float perRest = 1.0f / float(rate);
  int64_t i = 0, rest = 0;
  for (int64_t n = 0; n < frames; ++n) {
    const float t = float(rest) * perRest;
    const float *p = &source[size_t((std::min(i, sourceFrames - 1) + 1) * channels)];
    for (int c = 0; c < channels; ++c) {
      const float v =
          Interpolate(p[c], p[channels + c], p[2 * channels + c], p[3 * channels + c], t);
      const float scaled = std::clamp(v * 32768.0f, -32768.0f, 32767.0f);
      result[size_t(n * channels + c)] = int16_t(scaled < 0 ? scaled - 0.5f : scaled + 0.5f);
    }
    for (rest += sourceRate; rest >= rate; rest -= rate)
      ++i;
  }
  return result;
}

} // namespace

bool TSfxMixSamples::ConvertedFrom(const TWaveFormatEx &format, int32_t size,
                                   const uint8_t *source) const {
  const TWaveFormatEx &f = Format;
  return Source == source && Size == size && f.wFormatTag == format.wFormatTag &&
         f.nChannels == format.nChannels && f.nSamplesPerSec == format.nSamplesPerSec &&
         f.nBlockAlign == format.nBlockAlign && f.wBitsPerSample == format.wBitsPerSample;
}

std::shared_ptr<const TSfxMixSamples> SfxConvertSamples(const TWaveFormatEx &format, int32_t size,
                                                        const uint8_t *samples, int rate) {
  if (!samples || !IsPlayableFormat(format, size))
    throw Exception("CreateSoundBuffer Failed");
  try {
    auto data = std::make_shared<TSfxMixSamples>();
    data->Samples = ConvertSamples(format, size, samples, rate, data->Frames);
    data->Format = format;
    data->Size = size;
    data->Source = samples;
    return data;
  } catch (const std::bad_alloc &) {
    throw Exception("CreateSoundBuffer Failed");
  }
}
