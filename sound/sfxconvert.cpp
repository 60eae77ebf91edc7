#include "sound/sfxconvert.h"

#include "rtl/sysutils.h"

#include <SDL.h>

#include <algorithm>
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

// The sound is fed with a few frames of its own end before it and of its
// start after it, so the resampler sees it as one period of a loop.
std::vector<float> ConvertSamples(const TWaveFormatEx &f, int32_t size, const uint8_t *samples,
                                  int rate, int64_t &frames) {
  const int channels = f.nChannels;
  const int64_t sourceFrames = size / f.nBlockAlign;
  frames = std::max<int64_t>(1, (sourceFrames * rate + f.nSamplesPerSec / 2) / f.nSamplesPerSec);
  SDL_AudioFormat format = f.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
  SDL_AudioStream *stream = SDL_NewAudioStream(format, Uint8(channels), int(f.nSamplesPerSec),
                                               AUDIO_F32SYS, Uint8(channels), rate);
  if (!stream)
    throw Exception("CreateSoundBuffer Failed");
  const int64_t pad = std::min<int64_t>(64, sourceFrames);
  const int padBytes = int(pad * f.nBlockAlign);
  bool ok = SDL_AudioStreamPut(stream, samples + size - padBytes, padBytes) == 0 &&
            SDL_AudioStreamPut(stream, samples, size) == 0 &&
            SDL_AudioStreamPut(stream, samples, padBytes) == 0 && SDL_AudioStreamFlush(stream) == 0;
  std::vector<float> converted;
  if (ok) {
    converted.resize(size_t(SDL_AudioStreamAvailable(stream)) / sizeof(float));
    int got = SDL_AudioStreamGet(stream, converted.data(), int(converted.size() * sizeof(float)));
    ok = got >= 0;
    converted.resize(ok ? size_t(got) / sizeof(float) : 0);
  }
  SDL_FreeAudioStream(stream);
  if (!ok)
    throw Exception("CreateSoundBuffer Failed");

  const int64_t skip = (pad * rate + f.nSamplesPerSec / 2) / f.nSamplesPerSec;
  std::vector<float> result(size_t(frames * channels), 0.0f);
  const int64_t available = int64_t(converted.size()) / channels - skip;
  const int64_t take = std::clamp<int64_t>(available, 0, frames);
  std::copy_n(converted.begin() + skip * channels, take * channels, result.begin());
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
