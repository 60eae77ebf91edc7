// Byte streams: the sound library reads and writes itself through them and
// the window loader hands a property block to a component through one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class TStream {
public:
  virtual ~TStream() = default;
  // Reads up to `count` bytes; returns how many were read.
  virtual size_t Read(void *buffer, size_t count) = 0;
  virtual size_t Write(const void *buffer, size_t count) = 0;
  virtual int64_t Size() const = 0;
  int64_t Position = 0;

  int64_t Remaining() const { return Size() > Position ? Size() - Position : 0; }
  // Exact reads and writes: EReadError "Stream read error" when the stream
  // ends first, EWriteError "Stream write error" when it cannot take them.
  void ReadBuffer(void *buffer, size_t count);
  void WriteBuffer(const void *buffer, size_t count);
};

// A stream over memory the stream owns; reads past the end return short.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::span<const uint8_t> bytes) : Bytes(bytes.begin(), bytes.end()) {}
  size_t Read(void *buffer, size_t count) override;
  size_t Write(const void *buffer, size_t count) override;
  int64_t Size() const override { return static_cast<int64_t>(Bytes.size()); }

  std::vector<uint8_t> Bytes;
};

// A read-only stream over memory owned by someone else.
class TSpanStream : public TStream {
public:
  explicit TSpanStream(std::span<const uint8_t> bytes) : Bytes(bytes) {}
  size_t Read(void *buffer, size_t count) override;
  size_t Write(const void *buffer, size_t count) override;
  int64_t Size() const override { return static_cast<int64_t>(Bytes.size()); }

  std::span<const uint8_t> Bytes;
};
