// What travels between the two machines. A datagram is at most 512 bytes:
// a header in the clear, then one message sealed with XChaCha20-Poly1305
// under the key both derive from the connect code's secret, the header as
// associated data. The nonce is the sender's role, its instance (random,
// one per session) and its sequence number (one up per datagram), so no
// nonce comes twice under a key. The long header (a marker byte, the
// instance and the whole sequence) opens the session; once the other side
// knows the instance, the frames travel under the short one (another
// marker byte and the sequence's low 16 bits), and the receiver takes the
// sequence nearest the highest it has accepted: a datagram more than
// 32768 behind or ahead gets a wrong nonce and does not open. Anything
// that does not open, or whose message does not decode exactly, is
// dropped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kMaxDatagram = 512;
constexpr size_t kHeaderSize = 17;
constexpr size_t kShortHeaderSize = 3;
constexpr size_t kTagSize = 16;
constexpr uint16_t kProtocolVersion = 3;
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

// Why a side says goodbye: its player left, or it found the two games
// apart.
enum class TByeReason : uint8_t { Left = 0, Apart = 1 };

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
  // other side with how long ago it was heard: a round trip. A frames
  // message sent between two frames leaves them out (Timed false).
  bool Timed = true;
  uint16_t Time = 0;
  uint16_t Echo = 0;
  uint16_t EchoAge = 0;
  // Frames: the first of the other side's frames the sender still lacks,
  // then the sender's frames from First on. Frame numbers travel as their
  // low 16 bits; the receiver puts them back beside its own next frame.
  uint16_t Ack = 0;
  uint16_t First = 0;
  uint8_t FrameCount = 0;
  TFrameEvents Frames[kMaxFramesPerMessage];
  // State hashes after the sender's latest frames.
  uint8_t HashCount = 0;
  uint16_t HashFrame[kMaxHashesPerMessage] = {};
  uint64_t Hash[kMaxHashesPerMessage] = {};
  // Bye: why the sender goes.
  TByeReason Reason = TByeReason::Left;
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
// The same under the short header; the instance is left off the wire.
size_t SealShortDatagram(const TKey &key, uint8_t role, uint64_t instance, uint64_t sequence,
                         const uint8_t *plain, size_t plainSize, uint8_t *out);
// Opens a datagram with the long header from the side `role`: the
// sender's instance and sequence and the message's bytes, or false.
bool OpenDatagram(const TKey &key, uint8_t role, const uint8_t *data, size_t size,
                  uint64_t &instance, uint64_t &sequence, uint8_t *plain, size_t &plainSize);
// The sequences of the other side's datagrams heard lately: the highest,
// and which of the 63 before it came.
struct TReplayWindow {
  // True for a sequence heard before or too old to tell; otherwise it
  // counts as heard from now on.
  bool Replayed(uint64_t sequence);

  uint64_t Top = 0, Seen = 0;
  bool Any = false;
};

// Whether a datagram has the short header.
bool IsShortDatagram(const uint8_t *data, size_t size);
// Opens a datagram with the short header from the side `role`, whose
// instance is known and whose highest accepted sequence is `top`: the
// sequence and the message's bytes, or false.
bool OpenShortDatagram(const TKey &key, uint8_t role, uint64_t instance, uint64_t top,
                       const uint8_t *data, size_t size, uint64_t &sequence, uint8_t *plain,
                       size_t &plainSize);
