// A checker for standard MIDI files. It walks every chunk and every event
// of the file, bounded by the bytes that are there, and works out how long
// the piece plays. It never trusts a count or a length from the file before
// comparing it with what remains, so damaged input only yields an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

enum class TMidiFault {
  None,
  Empty,       // no bytes at all
  NotMidi,     // does not start with an "MThd" chunk
  BadHeader,   // header too short, unknown format, no tracks, zero division
  Unsupported, // SMPTE time division
  Truncated,   // a chunk or an event runs past the end of the data
  BadEvent,    // an event that a standard MIDI file cannot hold
  TooLong,     // plays longer than a day
};

struct TMidiFileInfo {
  uint16_t Format = 0;
  uint16_t TrackCount = 0;
  uint16_t Division = 0; // ticks per quarter note
  uint64_t EndTick = 0;  // tick of the last event of the longest track
  double Seconds = 0;    // playing time up to that tick, following the tempo map
};

// A chunk of the file, its eight-byte chunk header included.
struct TMidiChunk {
  size_t Offset;
  size_t Size;
};

struct TMidiCheck {
  TMidiFault Fault = TMidiFault::None;
  size_t Offset = 0; // where the fault was found
  TMidiFileInfo Info;
  std::vector<TMidiChunk> Tracks;

  bool Ok() const { return Fault == TMidiFault::None; }
};

// Checks a whole file held in memory.
TMidiCheck CheckMidiFile(std::span<const uint8_t> bytes);

// The checked file in its plainest form: a six-byte header and the track
// chunks only, without longer headers or chunks of other kinds, which not
// every MIDI reader skips.
std::vector<uint8_t> PlainMidiFile(std::span<const uint8_t> bytes, const TMidiCheck &check);

// Writers of MIDI numbers: a big-endian field of `size` bytes, and a
// variable-length quantity.
void PutMidiNumber(std::vector<uint8_t> &out, uint32_t value, int size);
void PutMidiQuantity(std::vector<uint8_t> &out, uint32_t value);

// A short English description of a fault, for diagnostics.
const char *MidiFaultName(TMidiFault fault);
