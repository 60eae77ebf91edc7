// The network session's decoder and state machine under libFuzzer. The
// input is a list of steps: one byte for the step, one for the length,
// then the step's bytes. Steps hand the session a message as decoded, a
// datagram sealed with the session's own key (so that it passes the
// authentication and reaches the replay window and the decoder), the same
// under the short header (the first byte sets the sequence's step),
// raw bytes (also read as a reply code under the session's secret, which
// a host then sends to, and which must read back the same once written
// again), a local event, a frame run, or time passing.
#include "net/datagram.h"
#include "net/replycode.h"
#include "net/session.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1)
    return 0;
  std::array<uint8_t, 16> secret{};
  secret[0] = 7;
  const TKey key = DeriveKey(secret);
  TNetSession session;
  session.Build = "fuzz";
  const bool host = data[0] & 1;
  int64_t now = 1;
  session.Attach(host, secret, now);
  sockaddr_in6 from{};
  from.sin6_family = AF_INET6;
  from.sin6_port = htons(4000);
  TStateHash state;
  ++data;
  --size;
  uint64_t sequence = 0;
  while (size >= 2) {
    const uint8_t step = data[0] % 8;
    const size_t n = std::min<size_t>(data[1], size - 2);
    const uint8_t *bytes = data + 2;
    data += 2 + n;
    size -= 2 + n;
    switch (step) {
    case 0: {
      TMessage m;
      if (DecodeMessage(bytes, n, m))
        session.HandleMessage(m, now);
      break;
    }
    case 1: {
      uint8_t sealed[kMaxDatagram];
      const size_t s = SealDatagram(key, host ? 1 : 0, 99, ++sequence, bytes, n, sealed);
      if (s)
        session.Receive(sealed, s, from, now);
      break;
    }
    case 2: {
      session.Receive(bytes, n, from, now);
      TReplyCode reply, again;
      std::string error;
      if (TReplyCode::Parse({reinterpret_cast<const char *>(bytes), n}, secret, reply, error)) {
        if (!TReplyCode::Parse(reply.Format(secret), secret, again, error) ||
            again.Port != reply.Port || again.Addresses != reply.Addresses)
          __builtin_trap();
        session.Punch(reply, now);
      }
      break;
    }
    case 3:
      if (n)
        session.LocalEvent(bytes[0]);
      break;
    case 4:
      if (session.FrameReady()) {
        session.TakeFrame(now);
        state.Size = std::min<size_t>(n, TStateHash::kMaxBytes);
        std::memcpy(state.Bytes, bytes, state.Size);
        session.FrameDone(state);
      }
      break;
    case 5:
      now += n ? bytes[0] * 40 : 1;
      session.Poll(now);
      break;
    case 6:
      session.Flush(now);
      break;
    case 7: {
      // Steps far ahead or back wrap the 16 bits on the wire.
      sequence += n ? uint64_t(int8_t(bytes[0])) * 512 : 1;
      uint8_t sealed[kMaxDatagram];
      const size_t s = SealShortDatagram(key, host ? 1 : 0, 99, sequence, bytes, n, sealed);
      if (s)
        session.Receive(sealed, s, from, now);
      break;
    }
    }
  }
  return 0;
}
