// The sound library: a numbered list of named PCM sounds, read from and
// written to one "SL10" byte stream. No Qt, no SDL.
#pragma once

#include "rtl/stream.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The wave format of a sound, field for field the 18 bytes it takes in the
// stream.
struct TWaveFormatEx {
  uint16_t wFormatTag = 1;
  uint16_t nChannels = 1;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 1;
  uint16_t wBitsPerSample = 8;
  uint16_t cbSize = 0;
};

// A name of at most 11 characters: a length byte and 11 character bytes.
// The bytes beyond the length mean nothing but are kept as read.
struct TSfxShortName {
  uint8_t Length = 0;
  char Chars[11] = {};

  std::string Str() const;
  // Stores `name` (cut to 11 characters); the bytes after it become zero.
  void Assign(const std::string &name);
};

struct TSfxSoundRec {
  TWaveFormatEx Format;
  uint8_t Reserved[2] = {};
  TSfxShortName Name;
  int32_t Pan = 0;
  int32_t Volume = 0;
  int32_t Size = 0;
  // The sample bytes, owned by the list the record came from.
  const uint8_t *Data = nullptr;
};

// Bytes of a sound entry's header in the stream.
inline constexpr int kSfxEntryHeaderSize = 44;

class TSfxSounds {
public:
  // Replaces the contents with the sounds read from `in`, from its current
  // position. Every failure raises an exception and leaves the list empty.
  void ReadData(TStream &in);
  void WriteData(TStream &out) const;
  // Frees every sound; the magic stays as it was.
  void Clear();
  // Copies record `index` (0 <= index < Count()) into `sound`.
  void GetSound(int index, TSfxSoundRec &sound) const;
  int Count() const { return FCount; }
  bool HasTable() const { return !FSounds.empty(); }
  const char *Magic() const { return FMagic; }

  // Appends a sound with a copy of `samples`; the record's Size and Data
  // are taken from them. Used by the asset generator and tests.
  void Add(const TSfxSoundRec &sound, std::span<const uint8_t> samples);

private:
  char FMagic[4] = {'S', 'L', '1', '0'};
  int32_t FCount = 0;
  std::vector<TSfxSoundRec> FSounds;
  std::vector<std::vector<uint8_t>> FData;
};

// The library component: owns the list, which it stores in the window
// contents as the binary property "Sounds.Sounds".
class TSfxSoundLib {
public:
  explicit TSfxSoundLib(std::string name = "SfxSoundLib1") : Name(std::move(name)) {}

  int Count() const { return Sounds.Count(); }
  // Reads the "Sounds.Sounds" property value at the stream's position.
  void ReadSoundsProperty(TStream &in);
  // Writes the property value; a list without sounds writes nothing.
  // Returns whether anything was written.
  bool WriteSoundsProperty(TStream &out) const;

  const std::string Name;
  TSfxSounds Sounds;
};
