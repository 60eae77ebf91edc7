// What a recording of a piece was made from: the tune's bytes, the
// soundfont and the synthesizer. A recording made ahead of time (at build
// time, for the tune the game ships) is played only when all of them are
// the ones the program would record it from now.
#pragma once

#include <cstdint>
#include <span>
#include <string>

struct TMusicSource {
  uint64_t TuneBytes = 0;
  uint64_t TuneHash = 0;
  uint64_t SoundFontBytes = 0;
  uint64_t SoundFontHash = 0;
  // The synthesizer library's version and the settings the music is
  // rendered with.
  char SynthVersion[16] = {};
  uint32_t RenderVersion = 0;

  // The source of a recording of `tune` through the soundfont at
  // `soundFont`; false when the soundfont cannot be read.
  static bool Identify(std::span<const uint8_t> tune, const std::string &soundFont,
                       TMusicSource &source);
  // A 64-bit hash of `bytes` that goes on from `hash`; fast over a large
  // file (eight bytes a step), not meant to withstand an attacker.
  static uint64_t Hash(std::span<const uint8_t> bytes, uint64_t hash = kHashStart);
  static constexpr uint64_t kHashStart = 0xcbf29ce484222325ull;

  bool operator==(const TMusicSource &) const = default;
};
