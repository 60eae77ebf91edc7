// Small sound-library streams built byte by byte, independently of the
// writer under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestSound {
  std::string name;
  uint32_t rate = 11025;
  uint16_t bits = 8;
  int32_t volume = 0;
  int32_t pan = 0;
  std::vector<uint8_t> samples;
  uint8_t reserved[2] = {0, 0};
  uint8_t nameFill = 0; // the bytes after the name
};

inline void Put32(std::vector<uint8_t> &out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(uint8_t(v >> (8 * i)));
}

inline void Put16(std::vector<uint8_t> &out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

inline void PutEntry(std::vector<uint8_t> &out, const TestSound &s) {
  uint16_t align = uint16_t(s.bits / 8);
  Put16(out, 1);
  Put16(out, 1);
  Put32(out, s.rate);
  Put32(out, s.rate * align);
  Put16(out, align);
  Put16(out, s.bits);
  Put16(out, 0);
  out.push_back(s.reserved[0]);
  out.push_back(s.reserved[1]);
  out.push_back(uint8_t(s.name.size()));
  for (size_t i = 0; i < 11; ++i)
    out.push_back(i < s.name.size() ? uint8_t(s.name[i]) : s.nameFill);
  Put32(out, uint32_t(s.pan));
  Put32(out, uint32_t(s.volume));
  Put32(out, uint32_t(s.samples.size()));
  out.insert(out.end(), s.samples.begin(), s.samples.end());
}

inline std::vector<uint8_t> MakeStream(const std::vector<TestSound> &sounds,
                                       const char *magic = "SL10") {
  std::vector<uint8_t> out(magic, magic + 4);
  Put32(out, uint32_t(sounds.size()));
  for (const TestSound &s : sounds)
    PutEntry(out, s);
  return out;
}

// Overwrites a 32-bit field of the stream.
inline void Patch32(std::vector<uint8_t> &bytes, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    bytes[offset + size_t(i)] = uint8_t(v >> (8 * i));
}
