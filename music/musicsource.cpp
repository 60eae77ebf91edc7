#include "music/musicsource.h"

#include "music/midisynth.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr uint64_t kPrime = 0x100000001b3ull;

uint64_t Mix(uint64_t hash, uint64_t word) {
  hash ^= word;
  hash *= kPrime;
  return hash ^ (hash >> 29);
}

} // namespace

uint64_t TMusicSource::Hash(std::span<const uint8_t> bytes, uint64_t hash) {
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word = 0;
    for (int b = 0; b < 8; ++b)
      word |= uint64_t(bytes[i + size_t(b)]) << (8 * b);
    hash = Mix(hash, word);
  }
  for (; i < bytes.size(); ++i)
    hash = Mix(hash, bytes[i]);
  return hash;
}

bool TMusicSource::Identify(std::span<const uint8_t> tune, const std::string &soundFont,
                            TMusicSource &source) {
  source = TMusicSource{};
  source.TuneBytes = tune.size();
  source.TuneHash = Hash(tune);
  const std::string version = TMidiSynth::Version();
  std::strncpy(source.SynthVersion, version.c_str(), sizeof source.SynthVersion - 1);
  source.RenderVersion = TMidiSynth::kRenderVersion;

  // The soundfont is read in pieces small enough for the stack, so that
  // knowing it costs no memory.
  const int fd = ::open(soundFont.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  uint8_t chunk[64 * 1024];
  uint64_t hash = kHashStart, total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      ::close(fd);
      if (n < 0)
        return false;
      break;
    }
    // Whole words only, so that where the reads split the file does not
    // change the hash; a short read keeps its tail for the next one.
    size_t have = size_t(n);
    while (have % 8 != 0) {
      const ssize_t more = ::read(fd, chunk + have, 8 - have % 8);
      if (more < 0 && errno == EINTR)
        continue;
      if (more <= 0)
        break;
      have += size_t(more);
    }
    hash = Hash(std::span<const uint8_t>(chunk, have), hash);
    total += have;
  }
  source.SoundFontBytes = total;
  source.SoundFontHash = hash;
  return true;
}
