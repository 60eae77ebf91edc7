// Binary property values of the window contents: a value-type byte (10 for
// a binary block), a 32-bit little-endian byte count, then the block. The
// window loader hands such a block to a component through a memory stream.
#pragma once

#include "rtl/stream.h"

#include <cstdint>
#include <functional>
#include <string>

inline constexpr uint8_t vaBinary = 10;

// Reads one binary property value at the stream's position and calls
// `readData` with a memory stream holding the block, positioned at 0.
// A value of another type fails with EReadError "Invalid property value", a
// block longer than the stream with EReadError "Stream read error". Any
// exception raised by `readData` leaves as EReadError
// "Error reading <component>.<propertyPath>: <message>".
void ReadBinaryProperty(TStream &in, const std::string &component, const std::string &propertyPath,
                        const std::function<void(TStream &)> &readData);

// Writes one binary property value: the value-type byte, the byte count and
// whatever `writeData` writes.
void WriteBinaryProperty(TStream &out, const std::function<void(TStream &)> &writeData);
