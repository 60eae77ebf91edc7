#include "rtl/filer.h"

#include "rtl/sysutils.h"

#include <new>

namespace {

uint32_t ReadLength(TStream &in) {
  uint8_t bytes[4];
  in.ReadBuffer(bytes, sizeof bytes);
  return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
         uint32_t(bytes[3]) << 24;
}

} // namespace

void ReadBinaryProperty(TStream &in, const std::string &component, const std::string &propertyPath,
                        const std::function<void(TStream &)> &readData) {
  uint8_t valueType = 0;
  in.ReadBuffer(&valueType, 1);
  if (valueType != vaBinary)
    throw EReadError("Invalid property value");
  uint32_t length = ReadLength(in);
  // Checked before the copy is made, so a damaged count never allocates.
  if (length > static_cast<uint64_t>(in.Remaining()))
    throw EReadError("Stream read error");
  TMemoryStream block;
  block.Bytes.resize(length);
  in.ReadBuffer(block.Bytes.data(), length);
  try {
    readData(block);
  } catch (const Exception &e) {
    throw EReadError("Error reading " + component + "." + propertyPath + ": " + e.Message);
  } catch (const std::bad_alloc &) {
    throw EReadError("Error reading " + component + "." + propertyPath + ": Out of memory");
  }
}

void WriteBinaryProperty(TStream &out, const std::function<void(TStream &)> &writeData) {
  TMemoryStream block;
  writeData(block);
  uint32_t length = static_cast<uint32_t>(block.Bytes.size());
  uint8_t head[5] = {vaBinary, uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16),
                     uint8_t(length >> 24)};
  out.WriteBuffer(head, sizeof head);
  out.WriteBuffer(block.Bytes.data(), block.Bytes.size());
}
