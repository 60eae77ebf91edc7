// What travels between the two machines. A datagram is at most 512 bytes:
// a header in the clear (a marker byte, the sender's instance and a
// sequence number), then one message sealed with XChaCha20-Poly1305 under
// the key both derive from the connect code's secret, the header as
// associated data. Anything that does not open, or whose message does not
// decode exactly, is dropped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kMaxDatagram = 512;
constexpr size_t kHeaderSize = 17;
constexpr size_t kTagSize = 16;
constexpr uint16_t kProtocolVersion = 1;
// Frames of one side's events in one message, events in one frame, build
// identity's length, state hashes in one message.
constexpr int kMaxFramesPerMessage = 32;
constexpr int kMaxEventsPerFrame = 8;
constexpr size_t kMaxBuildId = 64;
constexpr int kMaxHashesPerMessage = 2;

// One event of a side in a frame. Keys: the side's right, left, shoot and
// switch key pressed (0..3) or let go (0x10..0x13). The game's flow:
// start, pause and go on (the Exit question), leave the game.
enum : uint8_t {
  evKeyDown = 0x00,
  evKeyUp = 0x10,
  evStart = 0x20,
  evPause = 0x21,
  evResume = 0x22,
  evLeave = 0x23,
};
bool ValidEvent(uint8_t event);

enum class TMessageType : uint8_t { Hello = 1, Welcome = 2, Refuse = 3, Frames = 4, Bye = 5 };

enum class TRefusal : uint8_t { Version = 1, Build = 2, Busy = 3 };

struct TFrameEvents {
  uint8_t Count = 0;
  uint8_t Events[kMaxEventsPerFrame] = {};
};

struct TMessage {
  TMessageType Type = TMessageType::Bye;
  // Hello, Welcome, Refuse: who the sender is.
  uint16_t Version = 0;
  std::string Build;
  // Welcome: the session's seed and the host's field, the window's outer
  // and client sizes and its status bars' height.
  uint32_t Seed = 0;
  uint16_t Field[5] = {};
  TRefusal Refusal = TRefusal::Version;
  // The sender's clock in ms, and the last clock value heard from the
  // other side with how long ago it was heard: a round trip.
  uint16_t Time = 0;
  uint16_t Echo = 0;
  uint16_t EchoAge = 0;
  // Frames: the first of the other side's frames the sender still lacks,
  // then the sender's frames from First on.
  uint32_t Ack = 0;
  uint32_t First = 0;
  uint8_t FrameCount = 0;
  TFrameEvents Frames[kMaxFramesPerMessage];
  // State hashes after the sender's latest frames.
  uint8_t HashCount = 0;
  uint32_t HashFrame[kMaxHashesPerMessage] = {};
  uint64_t Hash[kMaxHashesPerMessage] = {};
  // Bye: why the sender goes (0 left, 1 the games went apart).
  uint8_t Reason = 0;
};

// The message as bytes; returns the length, 0 when it would not fit.
size_t EncodeMessage(const TMessage &message, uint8_t *out, size_t room);
// Reads a message; false unless every byte is accounted for and every
// count and value is in range.
bool DecodeMessage(const uint8_t *data, size_t size, TMessage &message);

using TKey = std::array<uint8_t, 32>;
// The key for a connect code's secret.
TKey DeriveKey(const std::array<uint8_t, 16> &secret);

// Seals a message's bytes into a datagram; role 0 is the host, 1 the
// joiner, which keeps their nonces apart. Returns the datagram's length.
size_t SealDatagram(const TKey &key, uint8_t role, uint64_t instance, uint64_t sequence,
                    const uint8_t *plain, size_t plainSize, uint8_t *out);
// Opens a datagram from the side `role`: the sender's instance and
// sequence and the message's bytes, or false.
bool OpenDatagram(const TKey &key, uint8_t role, const uint8_t *data, size_t size,
                  uint64_t &instance, uint64_t &sequence, uint8_t *plain, size_t &plainSize);
