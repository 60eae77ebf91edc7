// The battlefield's state as both machines must hold it after a tick:
// tanks, bullets, walls, scores, the generator and the tick count, in a
// fixed layout, hashed with 64-bit FNV-1a and written out as text when the
// two machines disagree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TStateHash {
public:
  // Room for the state of two players with three tanks each, 50 bullets
  // and six walls.
  static constexpr size_t kMaxBytes = 2048;

  // Records the battlefield as it stands now.
  void Capture();
  uint64_t Hash() const;
  // The recorded state, one object per line.
  std::string Dump() const;

  uint8_t Bytes[kMaxBytes] = {};
  size_t Size = 0;
};
