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
  Empty,     // no bytes at all
  NotMidi,   // does not start with an "MThd" chunk
  BadHeader, // header too short, unknown format, no tracks, bad division
  Truncated, // a chunk or an event runs past the end of the data
  BadEvent,  // an event that a standard MIDI file cannot hold
  TooLong,   // plays longer than a day
};

// The division field as stored: ticks per quarter note, or with the top bit
// set a timecode, frames per second (negated, in the high byte; -29 is
// 30 drop-frame, 29.97 frames) and ticks per frame.
struct TMidiDivision {
  uint16_t Field = 0;

  bool Timecode() const { return Field & 0x8000; }
  bool Valid() const;
  // The same timing in ticks per quarter note at a fixed tempo: a timecode
  // file's ticks per second of nominal frames, each quarter lasting one
  // second (1.001 s for drop-frame timecode). A file in quarter notes keeps
  // its own division and follows its tempo map (tempo 0).
  uint16_t TicksPerQuarter() const;
  uint32_t FixedTempo() const;
};

struct TMidiFileInfo {
  uint16_t Format = 0;
  uint16_t TrackCount = 0;
  TMidiDivision Division;
  uint64_t EndTick = 0; // tick of the last event of the longest track
  double Seconds = 0;   // playing time up to that tick, following the tempo map
};

// An instrument the piece selects: a program change with the bank its
// channel had selected in that track (-1 where none was).
struct TMidiProgram {
  uint8_t Channel;
  int16_t BankMsb;
  int16_t BankLsb;
  uint8_t Program;
  bool operator==(const TMidiProgram &) const = default;
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
  std::vector<size_t> TempoValues;    // offsets of the tempo events' 3-byte values
  std::vector<TMidiProgram> Programs; // each selection once, in file order

  bool Ok() const { return Fault == TMidiFault::None; }
};

// Checks a whole file held in memory.
TMidiCheck CheckMidiFile(std::span<const uint8_t> bytes);

// The checked file in its plainest form: a six-byte header and the track
// chunks only, without longer headers or chunks of other kinds, which not
// every MIDI reader skips. A timecode file becomes one in quarter notes at
// a fixed tempo, which every reader can time: each track begins with that
// tempo and every tempo event of the file is set to it.
std::vector<uint8_t> PlainMidiFile(std::span<const uint8_t> bytes, const TMidiCheck &check);

// Writers of MIDI numbers: a big-endian field of `size` bytes, and a
// variable-length quantity.
void PutMidiNumber(std::vector<uint8_t> &out, uint32_t value, int size);
void PutMidiQuantity(std::vector<uint8_t> &out, uint32_t value);

// A short English description of a fault, for diagnostics.
const char *MidiFaultName(TMidiFault fault);
