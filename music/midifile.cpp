#include "music/midifile.h"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <vector>

namespace {

constexpr uint32_t kDefaultTempo = 500000; // microseconds per quarter note: 120 bpm
constexpr double kMaxSeconds = 24.0 * 3600.0;
constexpr size_t kChunkHeaderSize = 8;

struct TTempoChange {
  uint64_t Tick;
  uint32_t MicrosPerQuarter;
};

// Reads big-endian numbers and variable-length quantities from a byte
// range; every read fails instead of running past the end.
class TByteReader {
public:
  TByteReader(std::span<const uint8_t> bytes, size_t begin, size_t end)
      : fBytes(bytes), fPos(begin), fEnd(end) {}

  size_t Pos() const { return fPos; }
  bool AtEnd() const { return fPos >= fEnd; }
  size_t Remaining() const { return fEnd - fPos; }

  bool Byte(uint8_t &value) {
    if (AtEnd())
      return false;
    value = fBytes[fPos++];
    return true;
  }

  bool Skip(uint64_t count) {
    if (count > Remaining())
      return false;
    fPos += static_cast<size_t>(count);
    return true;
  }

  bool BigEndian(uint32_t &value, int size) {
    if (Remaining() < static_cast<size_t>(size))
      return false;
    value = 0;
    for (int i = 0; i < size; ++i)
      value = (value << 8) | fBytes[fPos++];
    return true;
  }

  // A variable-length quantity of at most four bytes. Sets `tooLong` when
  // the fourth byte still asks for more.
  bool Quantity(uint32_t &value, bool &tooLong) {
    value = 0;
    tooLong = false;
    for (int i = 0; i < 4; ++i) {
      uint8_t b;
      if (!Byte(b))
        return false;
      value = (value << 7) | (b & 0x7F);
      if (!(b & 0x80))
        return true;
    }
    tooLong = true;
    return false;
  }

private:
  std::span<const uint8_t> fBytes;
  size_t fPos;
  size_t fEnd;
};

class TMidiChecker {
public:
  explicit TMidiChecker(std::span<const uint8_t> bytes) : fBytes(bytes) {}

  TMidiCheck Run() {
    if (CheckHeaderAndTracks())
      ComputeDuration();
    return fResult;
  }

private:
  bool Fail(TMidiFault fault, size_t offset) {
    fResult.Fault = fault;
    fResult.Offset = offset;
    return false;
  }

  bool CheckHeaderAndTracks() {
    static constexpr uint8_t kHeaderId[4] = {'M', 'T', 'h', 'd'};
    if (fBytes.empty())
      return Fail(TMidiFault::Empty, 0);
    size_t idSize = std::min<size_t>(fBytes.size(), 4);
    if (!std::equal(kHeaderId, kHeaderId + idSize, fBytes.begin()))
      return Fail(TMidiFault::NotMidi, 0);
    if (idSize < 4)
      return Fail(TMidiFault::Truncated, 0);
    TByteReader r(fBytes, 4, fBytes.size());
    uint32_t length, format, tracks, division;
    if (!r.BigEndian(length, 4))
      return Fail(TMidiFault::Truncated, r.Pos());
    if (length < 6)
      return Fail(TMidiFault::BadHeader, 4);
    if (length > r.Remaining())
      return Fail(TMidiFault::Truncated, r.Pos());
    r.BigEndian(format, 2);
    r.BigEndian(tracks, 2);
    r.BigEndian(division, 2);
    if (format > 2 || tracks == 0)
      return Fail(TMidiFault::BadHeader, 8);
    const TMidiDivision timing{static_cast<uint16_t>(division)};
    if (!timing.Valid())
      return Fail(TMidiFault::BadHeader, 12);
    r.Skip(length - 6);
    if (tracks > r.Remaining() / kChunkHeaderSize)
      return Fail(TMidiFault::BadHeader, 10);
    fResult.Info.Format = static_cast<uint16_t>(format);
    fResult.Info.TrackCount = static_cast<uint16_t>(tracks);
    fResult.Info.Division = timing;
    return CheckChunks(r.Pos(), tracks);
  }

  // Walks the chunks after the header until `tracks` track chunks have
  // been checked; chunks of other kinds are skipped.
  bool CheckChunks(size_t pos, uint32_t tracks) {
    static constexpr uint8_t kTrackId[4] = {'M', 'T', 'r', 'k'};
    TByteReader r(fBytes, pos, fBytes.size());
    for (uint32_t found = 0; found < tracks;) {
      size_t chunkStart = r.Pos();
      uint32_t length;
      if (!r.Skip(4) || !r.BigEndian(length, 4))
        return Fail(TMidiFault::Truncated, chunkStart);
      size_t body = r.Pos();
      if (!r.Skip(length))
        return Fail(TMidiFault::Truncated, chunkStart);
      if (std::equal(kTrackId, kTrackId + 4, fBytes.begin() + chunkStart)) {
        if (!CheckTrack(body, body + length))
          return false;
        fResult.Tracks.push_back({chunkStart, kChunkHeaderSize + length});
        ++found;
      }
    }
    return true;
  }

  bool CheckTrack(size_t begin, size_t end) {
    TByteReader r(fBytes, begin, end);
    uint64_t tick = 0;
    uint8_t running = 0;
    fBankMsb.fill(-1);
    fBankLsb.fill(-1);
    while (!r.AtEnd()) {
      size_t eventStart = r.Pos();
      uint32_t delta;
      bool tooLong;
      if (!r.Quantity(delta, tooLong))
        return Fail(tooLong ? TMidiFault::BadEvent : TMidiFault::Truncated, eventStart);
      tick += delta;
      uint8_t status;
      if (!r.Byte(status))
        return Fail(TMidiFault::Truncated, eventStart);
      bool ended = false;
      if (status < 0x80) {
        if (!running)
          return Fail(TMidiFault::BadEvent, eventStart);
        if (!CheckChannelData(r, running, status, eventStart))
          return false;
      } else if (status < 0xF0) {
        running = status;
        uint8_t first;
        if (!r.Byte(first))
          return Fail(TMidiFault::Truncated, eventStart);
        if (!CheckChannelData(r, status, first, eventStart))
          return false;
      } else if (status == 0xFF) {
        running = 0;
        if (!CheckMeta(r, tick, ended, eventStart))
          return false;
      } else if (status == 0xF0 || status == 0xF7) {
        running = 0;
        if (!SkipSized(r, eventStart))
          return false;
      } else {
        return Fail(TMidiFault::BadEvent, eventStart);
      }
      if (ended)
        break;
    }
    fResult.Info.EndTick = std::max(fResult.Info.EndTick, tick);
    return true;
  }

  // The data bytes of a channel message whose first data byte is read.
  bool CheckChannelData(TByteReader &r, uint8_t status, uint8_t first, size_t eventStart) {
    if (first & 0x80)
      return Fail(TMidiFault::BadEvent, eventStart);
    const uint8_t kind = status & 0xF0;
    const uint8_t channel = status & 0x0F;
    if (kind == 0xC0)
      NoteProgram(channel, first);
    if (kind == 0xC0 || kind == 0xD0)
      return true;
    uint8_t second;
    if (!r.Byte(second))
      return Fail(TMidiFault::Truncated, eventStart);
    if (second & 0x80)
      return Fail(TMidiFault::BadEvent, eventStart);
    if (kind == 0xB0 && first == 0)
      fBankMsb[channel] = second;
    else if (kind == 0xB0 && first == 32)
      fBankLsb[channel] = second;
    return true;
  }

  void NoteProgram(uint8_t channel, uint8_t program) {
    const TMidiProgram selection{channel, fBankMsb[channel], fBankLsb[channel], program};
    const uint32_t key = uint32_t(channel) << 24 | uint32_t(selection.BankMsb + 1) << 16 |
                         uint32_t(selection.BankLsb + 1) << 8 | program;
    if (fProgramsSeen.insert(key).second)
      fResult.Programs.push_back(selection);
  }

  bool CheckMeta(TByteReader &r, uint64_t tick, bool &ended, size_t eventStart) {
    uint8_t type;
    if (!r.Byte(type))
      return Fail(TMidiFault::Truncated, eventStart);
    if (type & 0x80)
      return Fail(TMidiFault::BadEvent, eventStart);
    size_t dataStart;
    uint32_t length;
    if (!ReadSize(r, length, eventStart))
      return false;
    dataStart = r.Pos();
    if (!r.Skip(length))
      return Fail(TMidiFault::Truncated, eventStart);
    if (type == 0x2F) {
      ended = true;
    } else if (type == 0x51) {
      if (length != 3)
        return Fail(TMidiFault::BadEvent, eventStart);
      uint32_t micros = (uint32_t{fBytes[dataStart]} << 16) |
                        (uint32_t{fBytes[dataStart + 1]} << 8) | fBytes[dataStart + 2];
      // Timecode ticks have a fixed length; such a file's tempo events
      // mean nothing.
      if (uint32_t fixed = fResult.Info.Division.FixedTempo())
        micros = fixed;
      fTempos.push_back({tick, micros});
      fResult.TempoValues.push_back(dataStart);
    }
    return true;
  }

  bool SkipSized(TByteReader &r, size_t eventStart) {
    uint32_t length;
    if (!ReadSize(r, length, eventStart))
      return false;
    if (!r.Skip(length))
      return Fail(TMidiFault::Truncated, eventStart);
    return true;
  }

  bool ReadSize(TByteReader &r, uint32_t &length, size_t eventStart) {
    bool tooLong;
    if (!r.Quantity(length, tooLong))
      return Fail(tooLong ? TMidiFault::BadEvent : TMidiFault::Truncated, eventStart);
    return true;
  }

  // Playing time up to the last event: the ticks between tempo changes,
  // each stretch at its own tempo. Tempo changes from every track count.
  void ComputeDuration() {
    const TMidiDivision division = fResult.Info.Division;
    if (uint32_t fixed = division.FixedTempo())
      fTempos.push_back({0, fixed});
    std::stable_sort(fTempos.begin(), fTempos.end(),
                     [](const TTempoChange &a, const TTempoChange &b) { return a.Tick < b.Tick; });
    const uint64_t end = fResult.Info.EndTick;
    double micros = 0;
    uint64_t from = 0;
    uint32_t tempo = kDefaultTempo;
    for (const TTempoChange &change : fTempos) {
      if (change.Tick >= end)
        break;
      micros += static_cast<double>(change.Tick - from) * tempo;
      from = change.Tick;
      tempo = change.MicrosPerQuarter;
    }
    micros += static_cast<double>(end - from) * tempo;
    fResult.Info.Seconds = micros / division.TicksPerQuarter() / 1e6;
    if (fResult.Info.Seconds > kMaxSeconds)
      Fail(TMidiFault::TooLong, 0);
  }

  std::span<const uint8_t> fBytes;
  TMidiCheck fResult;
  std::vector<TTempoChange> fTempos;
  std::array<int16_t, 16> fBankMsb{}, fBankLsb{};
  std::unordered_set<uint32_t> fProgramsSeen;
};

// The frames per second of a timecode division: 24, 25, 29 (drop-frame)
// or 30, stored negated.
int TimecodeFrames(uint16_t field) {
  return -static_cast<int8_t>(field >> 8);
}

} // namespace

bool TMidiDivision::Valid() const {
  if (!Timecode())
    return Field != 0;
  const int frames = TimecodeFrames(Field);
  return (frames == 24 || frames == 25 || frames == 29 || frames == 30) && (Field & 0xFF) != 0;
}

uint16_t TMidiDivision::TicksPerQuarter() const {
  if (!Timecode())
    return Field;
  const int frames = TimecodeFrames(Field);
  return static_cast<uint16_t>((frames == 29 ? 30 : frames) * (Field & 0xFF));
}

uint32_t TMidiDivision::FixedTempo() const {
  if (!Timecode())
    return 0;
  return TimecodeFrames(Field) == 29 ? 1001000 : 1000000;
}

TMidiCheck CheckMidiFile(std::span<const uint8_t> bytes) {
  return TMidiChecker(bytes).Run();
}

std::vector<uint8_t> PlainMidiFile(std::span<const uint8_t> bytes, const TMidiCheck &check) {
  const TMidiFileInfo &info = check.Info;
  std::vector<uint8_t> plain{'M', 'T', 'h', 'd', 0, 0, 0, 6};
  for (uint16_t field : {info.Format, info.TrackCount, info.Division.TicksPerQuarter()})
    PutMidiNumber(plain, field, 2);
  const uint32_t tempo = info.Division.FixedTempo();
  auto nextTempo = check.TempoValues.begin(); // in file order, as the tracks
  for (const TMidiChunk &track : check.Tracks) {
    if (!tempo) {
      plain.insert(plain.end(), bytes.begin() + track.Offset,
                   bytes.begin() + track.Offset + track.Size);
      continue;
    }
    // The chunk with its length grown by the tempo event put in front.
    plain.insert(plain.end(), {'M', 'T', 'r', 'k'});
    PutMidiNumber(plain, static_cast<uint32_t>(track.Size - kChunkHeaderSize + 7), 4);
    plain.insert(plain.end(), {0x00, 0xFF, 0x51, 0x03});
    PutMidiNumber(plain, tempo, 3);
    const size_t body = plain.size();
    const size_t events = track.Offset + kChunkHeaderSize;
    plain.insert(plain.end(), bytes.begin() + long(events),
                 bytes.begin() + long(track.Offset + track.Size));
    for (; nextTempo != check.TempoValues.end() && *nextTempo < track.Offset + track.Size;
         ++nextTempo) {
      const size_t at = body + (*nextTempo - events);
      plain[at] = static_cast<uint8_t>(tempo >> 16);
      plain[at + 1] = static_cast<uint8_t>(tempo >> 8);
      plain[at + 2] = static_cast<uint8_t>(tempo);
    }
  }
  return plain;
}

void PutMidiNumber(std::vector<uint8_t> &out, uint32_t value, int size) {
  for (int i = size - 1; i >= 0; --i)
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutMidiQuantity(std::vector<uint8_t> &out, uint32_t value) {
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = value & 0x7F;
    value >>= 7;
  } while (value);
  while (n > 1)
    out.push_back(groups[--n] | 0x80);
  out.push_back(groups[0]);
}

const char *MidiFaultName(TMidiFault fault) {
  switch (fault) {
  case TMidiFault::None:
    return "no fault";
  case TMidiFault::Empty:
    return "empty file";
  case TMidiFault::NotMidi:
    return "not a standard MIDI file";
  case TMidiFault::BadHeader:
    return "damaged header";
  case TMidiFault::Truncated:
    return "chunk or event runs past the end";
  case TMidiFault::BadEvent:
    return "invalid event";
  case TMidiFault::TooLong:
    return "plays longer than a day";
  }
  return "unknown fault";
}
