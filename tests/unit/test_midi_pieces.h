// Small standard MIDI files built byte by byte for the music tests.
#pragma once

#include "music/midifile.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace midi_pieces {

using Bytes = std::vector<uint8_t>;

inline Bytes Header(uint16_t format, uint16_t tracks, uint16_t division) {
  Bytes out{'M', 'T', 'h', 'd'};
  PutMidiNumber(out, 6, 4);
  PutMidiNumber(out, format, 2);
  PutMidiNumber(out, tracks, 2);
  PutMidiNumber(out, division, 2);
  return out;
}

inline Bytes Chunk(const Bytes &body, const char *id = "MTrk") {
  Bytes out(id, id + 4);
  PutMidiNumber(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline Bytes EndOfTrack(uint32_t delta = 0) {
  Bytes out;
  PutMidiQuantity(out, delta);
  out.insert(out.end(), {0xFF, 0x2F, 0x00});
  return out;
}

inline Bytes Tempo(uint32_t delta, uint32_t microsPerQuarter) {
  Bytes out;
  PutMidiQuantity(out, delta);
  out.insert(out.end(), {0xFF, 0x51, 0x03});
  PutMidiNumber(out, microsPerQuarter, 3);
  return out;
}

// The events of a track that holds one loud piano chord for `ticks`.
inline Bytes ChordTrack(uint32_t ticks) {
  Bytes track{0x00, 0xC0, 0x00, 0x00, 0x90, 60, 127, 0x00, 64, 127, 0x00, 67, 127};
  PutMidiQuantity(track, ticks);
  track.insert(track.end(), {0x80, 60, 64, 0x00, 64, 64, 0x00, 67, 64});
  Bytes end = EndOfTrack();
  track.insert(track.end(), end.begin(), end.end());
  return track;
}

// A one-track piece of one chord at 480 ticks per quarter note and 120 bpm,
// so 960 ticks play one second.
inline Bytes ChordPiece(uint32_t ticks) {
  return Join({Header(0, 1, 480), Chunk(ChordTrack(ticks))});
}

} // namespace midi_pieces
