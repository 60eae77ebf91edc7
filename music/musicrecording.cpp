#include "music/musicrecording.h"

#include "music/midisynth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr float kToSample = 32767.0f;
constexpr float kFromSample = 1.0f / 32767.0f;

// A recording's file: a header of kHeaderBytes, then the samples, 16 bits
// little-endian, interleaved stereo at the synth's rate. The header, all
// numbers little-endian:
//   0 "ZTMUSIC" and a zero byte   8 format version (u32)   12 synth rate (u32)
//   16 synth frames (u64)         24 tune bytes (u64)      32 tune hash (u64)
//   40 soundfont bytes (u64)      48 soundfont hash (u64)  56 render version (u32)
//   60 synth version (16 bytes, zero-padded)                76 zero (u32)
constexpr char kMagic[8] = {'Z', 'T', 'M', 'U', 'S', 'I', 'C', 0};
constexpr uint32_t kFormatVersion = 1;
constexpr size_t kHeaderBytes = 80;

void Put(uint8_t *at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    at[i] = uint8_t(value >> (8 * i));
}

void PutHeader(uint8_t *h, const TMusicSource &source, int synthRate, int64_t synthFrames) {
  std::memset(h, 0, kHeaderBytes);
  std::memcpy(h, kMagic, sizeof kMagic);
  Put(h + 8, kFormatVersion, 4);
  Put(h + 12, uint32_t(synthRate), 4);
  Put(h + 16, uint64_t(synthFrames), 8);
  Put(h + 24, source.TuneBytes, 8);
  Put(h + 32, source.TuneHash, 8);
  Put(h + 40, source.SoundFontBytes, 8);
  Put(h + 48, source.SoundFontHash, 8);
  Put(h + 56, source.RenderVersion, 4);
  std::memcpy(h + 60, source.SynthVersion, sizeof source.SynthVersion);
  h[60 + sizeof source.SynthVersion - 1] = 0;
}

int SynthRateFor(int rate) {
  return std::min(rate, TMidiSynth::kSynthRate);
}

int64_t SynthFramesFor(int64_t frames, int rate) {
  // The last output frame lies before synth frame frames * synthRate /
  // rate, and its interpolation reads two frames past the one it lies on.
  return frames * SynthRateFor(rate) / rate + 3;
}

uint64_t StepFor(int synthRate, int rate, int phaseBits) {
  return ((uint64_t(synthRate) << phaseBits) + uint64_t(rate) / 2) / uint64_t(rate);
}

} // namespace

bool TMusicRecording::Fits(int64_t frames, int rate) {
  return rate > 0 && frames >= 0 && frames <= kMaxSeconds * int64_t(rate);
}

TMusicRecording::TMusicRecording(TMidiSynth &synth, int64_t frames, int rate)
    : fSynth(&synth), fSynthRate(synth.SynthRate()), fSynthFrames(SynthFramesFor(frames, rate)),
      fStep(StepFor(fSynthRate, rate, kPhaseBits)),
      fSamples(std::make_unique_for_overwrite<int16_t[]>(size_t(2 * fSynthFrames))),
      fData(fSamples.get()), fThread([this] { Run(); }) {}

TMusicRecording::TMusicRecording(TSynthMaker makeSynth, int64_t frames, int rate)
    : fMakeSynth(std::move(makeSynth)), fSynthRate(SynthRateFor(rate)),
      fSynthFrames(SynthFramesFor(frames, rate)), fStep(StepFor(fSynthRate, rate, kPhaseBits)),
      fSamples(std::make_unique_for_overwrite<int16_t[]>(size_t(2 * fSynthFrames))),
      fData(fSamples.get()), fThread([this] { Run(); }) {}

TMusicRecording::TMusicRecording(int64_t synthFrames, int rate, void *mapped, size_t mappedBytes)
    : fSynthRate(SynthRateFor(rate)), fSynthFrames(synthFrames),
      fStep(StepFor(fSynthRate, rate, kPhaseBits)),
      fData(reinterpret_cast<const int16_t *>(static_cast<const uint8_t *>(mapped) + kHeaderBytes)),
      fMapped(mapped), fMappedBytes(mappedBytes), fRendered(synthFrames) {}

TMusicRecording::~TMusicRecording() {
  fStopping = true;
  if (fThread.joinable())
    fThread.join();
  if (fMapped)
    ::munmap(fMapped, fMappedBytes);
}

void TMusicRecording::Run() {
  // Work in the background: the window and the game come first.
  pthread_setname_np(pthread_self(), "zoftrel-music");
  [[maybe_unused]] int niced = setpriority(PRIO_PROCESS, id_t(gettid()), kNice);
  while (!fStopping.load(std::memory_order_relaxed) && Rendered() < fSynthFrames)
    RenderUpTo(Rendered() + kChunkFrames);
}

void TMusicRecording::RenderUpTo(int64_t upTo) {
  std::lock_guard lock(fRenderLock);
  if (fMakeSynth) {
    // The first to render makes the synth, normally the recording's thread.
    fOwnSynth = std::exchange(fMakeSynth, nullptr)();
    fSynth = fOwnSynth.get();
    if (!fSynth) {
      // Nothing to render with: the piece is silent.
      fData = nullptr;
      fRendered.store(fSynthFrames, std::memory_order_release);
    }
  }
  upTo = std::min(upTo, fSynthFrames);
  float chunk[2 * kChunkFrames];
  for (int64_t done = fRendered.load(std::memory_order_relaxed); done < upTo;) {
    const int frames = int(std::min<int64_t>(kChunkFrames, upTo - done));
    fSynth->Render(chunk, frames);
    int16_t *samples = &fSamples[size_t(2 * done)];
    for (int i = 0; i < 2 * frames; ++i)
      samples[i] = int16_t(std::lrint(std::clamp(chunk[i], -1.0f, 1.0f) * kToSample));
    done += frames;
    fRendered.store(done, std::memory_order_release);
  }
}

float TMusicRecording::Sample(int64_t frame, int c) const {
  if (frame < 0 || frame >= fSynthFrames || !fData)
    return 0.0f;
  return float(fData[size_t(2 * frame + c)]) * kFromSample;
}

// Interpolates through the four synth frames around each output frame, as
// the synthesizer's MixInto does.
void TMusicRecording::MixInto(float *out, int64_t from, int frames) {
  if (frames <= 0 || from < 0)
    return;
  const int64_t last = int64_t((uint64_t(from + frames - 1) * fStep) >> kPhaseBits);
  if (last + 3 > Rendered())
    RenderUpTo(last + 3);
  if (fMapped)
    ReleaseAround(int64_t((uint64_t(from) * fStep) >> kPhaseBits));
  constexpr float kScale = 1.0f / float(1 << kPhaseBits);
  constexpr uint64_t kFraction = (uint64_t(1) << kPhaseBits) - 1;
  for (int n = 0; n < frames; ++n) {
    const uint64_t at = uint64_t(from + n) * fStep;
    const int64_t i = int64_t(at >> kPhaseBits);
    if (i >= fSynthFrames)
      break;
    const float t = float(at & kFraction) * kScale;
    for (int c = 0; c < 2; ++c) {
      const float a = Sample(i - 1, c), b = Sample(i, c);
      const float d = Sample(i + 1, c), e = Sample(i + 2, c);
      out[2 * n + c] += TMidiSynth::Interpolate(a, b, d, e, t);
    }
  }
}

// Every two seconds of the piece the pages more than half a second behind
// what plays, and those more than two seconds ahead (left from an earlier
// play), are given back; the file is read again from the page cache when
// they are wanted.
void TMusicRecording::ReleaseAround(int64_t frame) {
  const int64_t rate = TMidiSynth::kSynthRate;
  if (frame >= fKeptFrom && frame - fKeptFrom < 2 * rate)
    return;
  fKeptFrom = frame;
  const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
  const uintptr_t base = reinterpret_cast<uintptr_t>(fMapped);
  const uintptr_t end = base + fMappedBytes;
  auto at = [&](int64_t f) {
    const int64_t clamped = std::clamp<int64_t>(f, 0, fSynthFrames);
    return base + kHeaderBytes + uintptr_t(clamped) * 4;
  };
  const uintptr_t behind = at(frame - rate / 2) / page * page;
  if (behind > base)
    ::madvise(fMapped, behind - base, MADV_DONTNEED);
  const uintptr_t ahead = (at(frame + 2 * rate) + page - 1) / page * page;
  if (ahead < end)
    ::madvise(reinterpret_cast<void *>(ahead), end - ahead, MADV_DONTNEED);
}

std::unique_ptr<TMusicRecording> TMusicRecording::Load(const std::string &path,
                                                       const TMusicSource &source, int64_t frames,
                                                       int rate) {
  if (!Fits(frames, rate))
    return nullptr;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return nullptr;
  const int64_t synthFrames = SynthFramesFor(frames, rate);
  const size_t bytes = kHeaderBytes + size_t(synthFrames) * 4;
  uint8_t header[kHeaderBytes], expected[kHeaderBytes];
  PutHeader(expected, source, SynthRateFor(rate), synthFrames);
  struct stat info {};
  void *mapped = MAP_FAILED;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && uint64_t(info.st_size) == bytes &&
      ::pread(fd, header, kHeaderBytes, 0) == ssize_t(kHeaderBytes) &&
      std::memcmp(header, expected, kHeaderBytes) == 0)
    mapped = ::mmap(nullptr, bytes, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (mapped == MAP_FAILED)
    return nullptr;
  return std::unique_ptr<TMusicRecording>(new TMusicRecording(synthFrames, rate, mapped, bytes));
}

bool TMusicRecording::Save(const std::string &path, const TMusicSource &source) {
  if (!FromFile())
    RenderUpTo(fSynthFrames);
  uint8_t header[kHeaderBytes];
  PutHeader(header, source, fSynthRate, fSynthFrames);
  std::FILE *out = std::fopen(path.c_str(), "wb");
  if (!out)
    return false;
  bool ok = std::fwrite(header, 1, kHeaderBytes, out) == kHeaderBytes;
  uint8_t frame[4];
  for (int64_t i = 0; ok && i < 2 * fSynthFrames; ++i) {
    Put(frame, uint16_t(fData ? fData[i] : 0), 2);
    ok = std::fwrite(frame, 1, 2, out) == 2;
  }
  return std::fclose(out) == 0 && ok;
}
