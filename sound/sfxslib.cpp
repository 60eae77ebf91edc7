#include "sound/sfxslib.h"

#include "rtl/filer.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr char kMagic[4] = {'S', 'L', '1', '0'};

uint16_t Get16(const uint8_t *p) {
  return uint16_t(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t *p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Put16(uint8_t *p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = uint8_t(v >> (8 * i));
}

char UpCase(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool IsMagic(const char *magic) {
  for (int i = 0; i < 4; ++i)
    if (UpCase(magic[i]) != UpCase(kMagic[i]))
      return false;
  return true;
}

void DecodeHeader(const uint8_t *h, TSfxSoundRec &r) {
  r.Format.wFormatTag = Get16(h + 0);
  r.Format.nChannels = Get16(h + 2);
  r.Format.nSamplesPerSec = Get32(h + 4);
  r.Format.nAvgBytesPerSec = Get32(h + 8);
  r.Format.nBlockAlign = Get16(h + 12);
  r.Format.wBitsPerSample = Get16(h + 14);
  r.Format.cbSize = Get16(h + 16);
  std::memcpy(r.Reserved, h + 18, 2);
  r.Name.Length = h[20];
  std::memcpy(r.Name.Chars, h + 21, 11);
  r.Pan = int32_t(Get32(h + 32));
  r.Volume = int32_t(Get32(h + 36));
  r.Size = int32_t(Get32(h + 40));
}

void EncodeHeader(const TSfxSoundRec &r, uint8_t *h) {
  Put16(h + 0, r.Format.wFormatTag);
  Put16(h + 2, r.Format.nChannels);
  Put32(h + 4, r.Format.nSamplesPerSec);
  Put32(h + 8, r.Format.nAvgBytesPerSec);
  Put16(h + 12, r.Format.nBlockAlign);
  Put16(h + 14, r.Format.wBitsPerSample);
  Put16(h + 16, r.Format.cbSize);
  std::memcpy(h + 18, r.Reserved, 2);
  h[20] = r.Name.Length;
  std::memcpy(h + 21, r.Name.Chars, 11);
  Put32(h + 32, uint32_t(r.Pan));
  Put32(h + 36, uint32_t(r.Volume));
  Put32(h + 40, uint32_t(r.Size));
}

void CheckCount(int32_t count) {
  if (count == 0)
    throw Exception("TSfxSounds: GemMem Failed for FSounds");
  if (count < 0)
    throw Exception("TSfxSounds: Invalid sound count");
}

// The count of a damaged stream can claim more sounds than the stream holds
// headers for: room is made only for the entries that can be there, and the
// entries are read in turn, so the first damaged one decides the failure
// (a read past the end comes only when the entries run out).
size_t RoomFor(int32_t count, const TStream &in) {
  return std::min(size_t(count), size_t(in.Remaining() / kSfxEntryHeaderSize));
}

void CheckSize(int32_t size, const TStream &in) {
  if (size == 0)
    throw Exception("TSfxSounds: GemMem Failed for Sound.Data");
  if (size < 0)
    throw Exception("TSfxSounds: Invalid sound size");
  if (size > in.Remaining())
    throw EReadError("Stream read error");
}

} // namespace

std::string TSfxShortName::Str() const {
  return std::string(Chars, std::min<size_t>(Length, sizeof Chars));
}

void TSfxShortName::Assign(const std::string &name) {
  Length = uint8_t(std::min(name.size(), sizeof Chars));
  std::memset(Chars, 0, sizeof Chars);
  std::memcpy(Chars, name.data(), Length);
}

void TSfxSounds::Clear() {
  FSounds.clear();
  FData.clear();
  FCount = 0;
}

void TSfxSounds::ReadData(TStream &in) {
  Clear();
  uint8_t head[8];
  in.ReadBuffer(head, sizeof head);
  std::memcpy(FMagic, head, 4);
  if (!IsMagic(FMagic))
    throw Exception("Not a valid Sound Library File");
  int32_t count = int32_t(Get32(head + 4));
  CheckCount(count);

  // Built aside and taken over only when complete: a failed read leaves
  // the list empty.
  std::vector<TSfxSoundRec> sounds;
  std::vector<std::vector<uint8_t>> data;
  try {
    sounds.reserve(RoomFor(count, in));
    data.reserve(RoomFor(count, in));
    for (int32_t i = 0; i < count; ++i) {
      uint8_t header[kSfxEntryHeaderSize];
      in.ReadBuffer(header, sizeof header);
      TSfxSoundRec sound;
      DecodeHeader(header, sound);
      CheckSize(sound.Size, in);
      std::vector<uint8_t> &samples = data.emplace_back(size_t(sound.Size));
      in.ReadBuffer(samples.data(), samples.size());
      sound.Data = samples.data();
      sounds.push_back(sound);
    }
  } catch (const std::bad_alloc &) {
    throw EOutOfMemory("Out of memory");
  }
  FSounds = std::move(sounds);
  FData = std::move(data);
  FCount = count;
}

void TSfxSounds::WriteData(TStream &out) const {
  uint8_t head[8];
  std::memcpy(head, FMagic, 4);
  Put32(head + 4, uint32_t(FCount));
  out.WriteBuffer(head, sizeof head);
  for (const TSfxSoundRec &sound : FSounds) {
    uint8_t header[kSfxEntryHeaderSize];
    EncodeHeader(sound, header);
    out.WriteBuffer(header, sizeof header);
    out.WriteBuffer(sound.Data, size_t(sound.Size));
  }
}

void TSfxSounds::GetSound(int index, TSfxSoundRec &sound) const {
  sound = FSounds[size_t(index)];
}

void TSfxSounds::Add(const TSfxSoundRec &sound, std::span<const uint8_t> samples) {
  std::vector<uint8_t> &copy = FData.emplace_back(samples.begin(), samples.end());
  TSfxSoundRec &rec = FSounds.emplace_back(sound);
  rec.Size = int32_t(copy.size());
  rec.Data = copy.data();
  FCount = int32_t(FSounds.size());
}

void TSfxSoundLib::ReadSoundsProperty(TStream &in) {
  ReadBinaryProperty(in, Name, "Sounds.Sounds", [this](TStream &block) { Sounds.ReadData(block); });
}

bool TSfxSoundLib::WriteSoundsProperty(TStream &out) const {
  if (!Sounds.HasTable())
    return false;
  WriteBinaryProperty(out, [this](TStream &block) { Sounds.WriteData(block); });
  return true;
}
