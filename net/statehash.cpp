#include "net/statehash.h"

#include "game/battlefield.h"
#include "rtl/sysutils.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

template <typename T> void Put(TStateHash &s, T value) {
  if (s.Size + sizeof value <= TStateHash::kMaxBytes) {
    std::memcpy(s.Bytes + s.Size, &value, sizeof value);
    s.Size += sizeof value;
  }
}

template <typename T> T Get(const uint8_t *&p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  p += sizeof value;
  return value;
}

} // namespace

void TStateHash::Capture() {
  Size = 0;
  Put(*this, TickCount);
  Put(*this, RandSeed());
  for (int p = 1; p <= PlayerCount; ++p) {
    const CPlayer *player = Players[p];
    Put(*this, player->Score);
    Put(*this, player->TankCount);
    Put(*this, player->Active);
    for (int s = 1; s <= TanksPerPlayer; ++s) {
      const CTankType *t = Tanks[p][s];
      Put(*this, t->Pos.X);
      Put(*this, t->Pos.Y);
      Put(*this, t->Angle);
      Put(*this, t->Motion);
      Put(*this, t->LastShotTick);
    }
  }
  for (int i = 1; i <= BallCount; ++i) {
    Put(*this, Balls[i]->Life);
    Put(*this, Balls[i]->Pos.X);
    Put(*this, Balls[i]->Pos.Y);
    Put(*this, Balls[i]->Angle);
  }
  for (int i = 1; i <= LineCount; ++i) {
    Put(*this, Lines[i]->P1.X);
    Put(*this, Lines[i]->P1.Y);
    Put(*this, Lines[i]->P2.X);
    Put(*this, Lines[i]->P2.Y);
  }
}

uint64_t TStateHash::Hash() const {
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < Size; ++i) {
    h ^= Bytes[i];
    h *= 0x100000001b3ull;
  }
  return h;
}

std::string TStateHash::Dump() const {
  // Read back in the order Capture wrote; %a shows every bit of a number.
  std::string out;
  char line[256];
  const uint8_t *p = Bytes;
  const uint8_t *end = Bytes + Size;
  auto room = [&](size_t n) { return size_t(end - p) >= n; };
  if (!room(8))
    return "(no state)\n";
  const int32_t tick = Get<int32_t>(p);
  const uint32_t seed = Get<uint32_t>(p);
  std::snprintf(line, sizeof line, "tick %" PRId32 " generator %" PRIu32 "\n", tick, seed);
  out += line;
  for (int pl = 1; pl <= PlayerCount && room(12); ++pl) {
    const int32_t score = Get<int32_t>(p), count = Get<int32_t>(p), active = Get<int32_t>(p);
    std::snprintf(line, sizeof line, "player %d score %d tanks %d active %d\n", pl, score, count,
                  active);
    out += line;
    for (int s = 1; s <= TanksPerPlayer && room(28); ++s) {
      const double x = Get<double>(p), y = Get<double>(p);
      const float a = Get<float>(p);
      const int32_t motion = Get<int32_t>(p), shot = Get<int32_t>(p);
      std::snprintf(line, sizeof line,
                    "  tank %d pos (%.17g, %.17g) [%a, %a] angle %.9g [%a] motion %d shot %d\n", s,
                    x, y, x, y, double(a), double(a), motion, shot);
      out += line;
    }
  }
  for (int i = 1; i <= BallCount && room(24); ++i) {
    const int32_t life = Get<int32_t>(p);
    const double x = Get<double>(p), y = Get<double>(p);
    const float a = Get<float>(p);
    if (life != 0) {
      std::snprintf(line, sizeof line, "bullet %d life %d pos (%.17g, %.17g) angle %.9g\n", i, life,
                    x, y, double(a));
      out += line;
    }
  }
  for (int i = 1; i <= LineCount && room(32); ++i) {
    const double x1 = Get<double>(p), y1 = Get<double>(p), x2 = Get<double>(p), y2 = Get<double>(p);
    std::snprintf(line, sizeof line, "wall %d (%.17g, %.17g) - (%.17g, %.17g)\n", i, x1, y1, x2,
                  y2);
    out += line;
  }
  return out;
}
