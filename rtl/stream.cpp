#include "rtl/stream.h"

#include "rtl/sysutils.h"

#include <algorithm>
#include <cstring>

ZOFTREL_EXCEPTION_CLASS(EWriteError, EFilerError)

void TStream::ReadBuffer(void *buffer, size_t count) {
  if (count != 0 && Read(buffer, count) != count)
    throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void *buffer, size_t count) {
  if (count != 0 && Write(buffer, count) != count)
    throw EWriteError("Stream write error");
}

size_t TMemoryStream::Read(void *buffer, size_t count) {
  size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), Remaining()));
  if (n)
    std::memcpy(buffer, Bytes.data() + Position, n);
  Position += static_cast<int64_t>(n);
  return n;
}

size_t TMemoryStream::Write(const void *buffer, size_t count) {
  size_t end = static_cast<size_t>(Position) + count;
  if (end > Bytes.size())
    Bytes.resize(end);
  if (count)
    std::memcpy(Bytes.data() + Position, buffer, count);
  Position = static_cast<int64_t>(end);
  return count;
}

size_t TSpanStream::Read(void *buffer, size_t count) {
  size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), Remaining()));
  if (n)
    std::memcpy(buffer, Bytes.data() + Position, n);
  Position += static_cast<int64_t>(n);
  return n;
}

size_t TSpanStream::Write(const void *, size_t) {
  return 0;
}
