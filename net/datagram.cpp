#include "net/datagram.h"

#include <sodium.h>

#include <cstring>

namespace {

constexpr uint8_t kMarker = 0x5A, kShortMarker = 0x5B;

class TWriter {
public:
  TWriter(uint8_t *out, size_t room) : Out(out), Room(room) {}
  void U8(uint8_t v) { Put(&v, 1); }
  void U16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    Put(b, 2);
  }
  void U32(uint32_t v) {
    U16(uint16_t(v >> 16));
    U16(uint16_t(v));
  }
  void U64(uint64_t v) {
    U32(uint32_t(v >> 32));
    U32(uint32_t(v));
  }
  void Put(const void *p, size_t n) {
    if (Size + n > Room) {
      Overflow = true;
      return;
    }
    std::memcpy(Out + Size, p, n);
    Size += n;
  }
  uint8_t *Out;
  size_t Room, Size = 0;
  bool Overflow = false;
};

class TReader {
public:
  TReader(const uint8_t *data, size_t size) : Data(data), Left(size) {}
  bool U8(uint8_t &v) {
    if (Left < 1)
      return false;
    v = *Data++;
    --Left;
    return true;
  }
  bool U16(uint16_t &v) {
    uint8_t a, b;
    if (!U8(a) || !U8(b))
      return false;
    v = uint16_t(a << 8 | b);
    return true;
  }
  bool U32(uint32_t &v) {
    uint16_t a, b;
    if (!U16(a) || !U16(b))
      return false;
    v = uint32_t(a) << 16 | b;
    return true;
  }
  bool U64(uint64_t &v) {
    uint32_t a, b;
    if (!U32(a) || !U32(b))
      return false;
    v = uint64_t(a) << 32 | b;
    return true;
  }
  // A short text: a length byte, then at most `max` printable ASCII bytes.
  bool Text(std::string &s, size_t max) {
    uint8_t n;
    if (!U8(n) || n > max || n > Left)
      return false;
    for (size_t i = 0; i < n; ++i)
      if (Data[i] < 0x20 || Data[i] > 0x7E)
        return false;
    s.assign(reinterpret_cast<const char *>(Data), n);
    Data += n;
    Left -= n;
    return true;
  }
  const uint8_t *Data;
  size_t Left;
};

void Nonce(uint8_t role, uint64_t instance, uint64_t sequence,
           uint8_t (&nonce)[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES]) {
  static_assert(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES == 24);
  std::memset(nonce, 0, sizeof nonce);
  nonce[0] = role;
  for (int i = 0; i < 8; ++i) {
    nonce[8 + i] = uint8_t(instance >> (56 - 8 * i));
    nonce[16 + i] = uint8_t(sequence >> (56 - 8 * i));
  }
}

} // namespace

bool ValidEvent(uint8_t e) {
  return e <= 0x03 || (e >= 0x10 && e <= 0x13) || (e >= evStart && e <= evLeave);
}

size_t EncodeMessage(const TMessage &m, uint8_t *out, size_t room) {
  TWriter w(out, room);
  w.U8(uint8_t(m.Type));
  switch (m.Type) {
  case TMessageType::Hello:
  case TMessageType::Welcome:
  case TMessageType::Refuse:
    w.U16(m.Version);
    w.U8(uint8_t(m.Build.size()));
    w.Put(m.Build.data(), m.Build.size());
    if (m.Build.size() > kMaxBuildId)
      return 0;
    if (m.Type == TMessageType::Welcome) {
      w.U32(m.Seed);
      for (uint16_t f : m.Field)
        w.U16(f);
    }
    if (m.Type == TMessageType::Refuse)
      w.U8(uint8_t(m.Refusal));
    w.U16(m.Time);
    w.U16(m.Echo);
    w.U16(m.EchoAge);
    break;
  case TMessageType::Frames:
    if (m.FrameCount > kMaxFramesPerMessage || m.HashCount > kMaxHashesPerMessage)
      return 0;
    // Whether the clocks follow, and how many hashes.
    w.U8(uint8_t((m.Timed ? 0x80 : 0) | m.HashCount));
    if (m.Timed) {
      w.U16(m.Time);
      w.U16(m.Echo);
      w.U16(m.EchoAge);
    }
    w.U16(m.Ack);
    w.U16(m.First);
    w.U8(m.FrameCount);
    for (int i = 0; i < m.FrameCount; ++i) {
      if (m.Frames[i].Count > kMaxEventsPerFrame)
        return 0;
      w.U8(m.Frames[i].Count);
      w.Put(m.Frames[i].Events, m.Frames[i].Count);
    }
    for (int i = 0; i < m.HashCount; ++i) {
      w.U16(m.HashFrame[i]);
      w.U64(m.Hash[i]);
    }
    break;
  case TMessageType::Bye:
    w.U8(uint8_t(m.Reason));
    break;
  }
  return w.Overflow ? 0 : w.Size;
}

bool DecodeMessage(const uint8_t *data, size_t size, TMessage &m) {
  TReader r(data, size);
  uint8_t type;
  if (!r.U8(type))
    return false;
  m = TMessage{};
  switch (type) {
  case uint8_t(TMessageType::Hello):
  case uint8_t(TMessageType::Welcome):
  case uint8_t(TMessageType::Refuse):
    m.Type = TMessageType(type);
    if (!r.U16(m.Version) || !r.Text(m.Build, kMaxBuildId))
      return false;
    if (m.Type == TMessageType::Welcome) {
      if (!r.U32(m.Seed))
        return false;
      for (uint16_t &f : m.Field)
        if (!r.U16(f) || f == 0 || f > 16384)
          return false;
    }
    if (m.Type == TMessageType::Refuse) {
      uint8_t why;
      if (!r.U8(why) || why < 1 || why > 3)
        return false;
      m.Refusal = TRefusal(why);
    }
    if (!r.U16(m.Time) || !r.U16(m.Echo) || !r.U16(m.EchoAge))
      return false;
    break;
  case uint8_t(TMessageType::Frames):
    m.Type = TMessageType::Frames;
    uint8_t flags;
    if (!r.U8(flags) || (flags & 0x7F) > kMaxHashesPerMessage)
      return false;
    m.Timed = flags & 0x80;
    m.HashCount = flags & 0x7F;
    if (m.Timed && (!r.U16(m.Time) || !r.U16(m.Echo) || !r.U16(m.EchoAge)))
      return false;
    if (!r.U16(m.Ack) || !r.U16(m.First) || !r.U8(m.FrameCount) ||
        m.FrameCount > kMaxFramesPerMessage)
      return false;
    for (int i = 0; i < m.FrameCount; ++i) {
      TFrameEvents &f = m.Frames[i];
      if (!r.U8(f.Count) || f.Count > kMaxEventsPerFrame)
        return false;
      for (int e = 0; e < f.Count; ++e)
        if (!r.U8(f.Events[e]) || !ValidEvent(f.Events[e]))
          return false;
    }
    for (int i = 0; i < m.HashCount; ++i)
      if (!r.U16(m.HashFrame[i]) || !r.U64(m.Hash[i]))
        return false;
    break;
  case uint8_t(TMessageType::Bye):
    m.Type = TMessageType::Bye;
    if (uint8_t reason; !r.U8(reason) || reason > uint8_t(TByeReason::Apart))
      return false;
    else
      m.Reason = TByeReason(reason);
    break;
  default:
    return false;
  }
  return r.Left == 0;
}

TKey DeriveKey(const std::array<uint8_t, 16> &secret) {
  static const char context[] = "zoftrel lockstep datagram key 1";
  TKey key;
  crypto_generichash(key.data(), key.size(), reinterpret_cast<const uint8_t *>(context),
                     sizeof context - 1, secret.data(), secret.size());
  return key;
}

size_t SealDatagram(const TKey &key, uint8_t role, uint64_t instance, uint64_t sequence,
                    const uint8_t *plain, size_t plainSize, uint8_t *out) {
  if (kHeaderSize + plainSize + kTagSize > kMaxDatagram)
    return 0;
  out[0] = kMarker;
  for (int i = 0; i < 8; ++i) {
    out[1 + i] = uint8_t(instance >> (56 - 8 * i));
    out[9 + i] = uint8_t(sequence >> (56 - 8 * i));
  }
  uint8_t nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES];
  Nonce(role, instance, sequence, nonce);
  unsigned long long sealed = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(out + kHeaderSize, &sealed, plain, plainSize, out,
                                             kHeaderSize, nullptr, nonce, key.data());
  return kHeaderSize + size_t(sealed);
}

bool OpenDatagram(const TKey &key, uint8_t role, const uint8_t *data, size_t size,
                  uint64_t &instance, uint64_t &sequence, uint8_t *plain, size_t &plainSize) {
  if (size < kHeaderSize + kTagSize || size > kMaxDatagram || data[0] != kMarker)
    return false;
  instance = sequence = 0;
  for (int i = 0; i < 8; ++i) {
    instance = instance << 8 | data[1 + i];
    sequence = sequence << 8 | data[9 + i];
  }
  uint8_t nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES];
  Nonce(role, instance, sequence, nonce);
  unsigned long long opened = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(plain, &opened, nullptr, data + kHeaderSize,
                                                 size - kHeaderSize, data, kHeaderSize, nonce,
                                                 key.data()) != 0)
    return false;
  plainSize = size_t(opened);
  return true;
}

size_t SealShortDatagram(const TKey &key, uint8_t role, uint64_t instance, uint64_t sequence,
                         const uint8_t *plain, size_t plainSize, uint8_t *out) {
  if (kShortHeaderSize + plainSize + kTagSize > kMaxDatagram)
    return 0;
  out[0] = kShortMarker;
  out[1] = uint8_t(sequence >> 8);
  out[2] = uint8_t(sequence);
  uint8_t nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES];
  Nonce(role, instance, sequence, nonce);
  unsigned long long sealed = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(out + kShortHeaderSize, &sealed, plain, plainSize, out,
                                             kShortHeaderSize, nullptr, nonce, key.data());
  return kShortHeaderSize + size_t(sealed);
}

bool TReplayWindow::Replayed(uint64_t sequence) {
  if (!Any) {
    Any = true;
    Top = sequence;
    Seen = 1;
    return false;
  }
  if (sequence > Top) {
    const uint64_t shift = sequence - Top;
    Seen = shift >= 64 ? 1 : (Seen << shift) | 1;
    Top = sequence;
    return false;
  }
  const uint64_t back = Top - sequence;
  if (back >= 64 || (Seen >> back & 1))
    return true;
  Seen |= uint64_t(1) << back;
  return false;
}

bool IsShortDatagram(const uint8_t *data, size_t size) {
  return size > 0 && data[0] == kShortMarker;
}

bool OpenShortDatagram(const TKey &key, uint8_t role, uint64_t instance, uint64_t top,
                       const uint8_t *data, size_t size, uint64_t &sequence, uint8_t *plain,
                       size_t &plainSize) {
  if (size < kShortHeaderSize + kTagSize || size > kMaxDatagram || data[0] != kShortMarker)
    return false;
  // The sequence within 32768 of the highest accepted whose low 16 bits
  // are these; sequences begin at 1.
  const uint16_t low = uint16_t(data[1] << 8 | data[2]);
  const int64_t near = int64_t(top) + int16_t(uint16_t(low - uint16_t(top)));
  if (near < 1)
    return false;
  sequence = uint64_t(near);
  uint8_t nonce[crypto_aead_xchacha20poly1305_ietf_NPUBBYTES];
  Nonce(role, instance, sequence, nonce);
  unsigned long long opened = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(plain, &opened, nullptr, data + kShortHeaderSize,
                                                 size - kShortHeaderSize, data, kShortHeaderSize,
                                                 nonce, key.data()) != 0)
    return false;
  plainSize = size_t(opened);
  return true;
}
