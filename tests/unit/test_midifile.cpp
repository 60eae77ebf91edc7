#include "music/midifile.h"
#include "test_midi_pieces.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using namespace midi_pieces;

namespace {

TMidiCheck Check(const Bytes &bytes) {
  return CheckMidiFile(bytes);
}

Bytes ReadFile(const char *path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(MidiFile, GeneratedTuneIsAMarchOfOneToTwoMinutes) {
  Bytes tune = ReadFile(ZOFTREL_MUSIC_FILE);
  ASSERT_FALSE(tune.empty()) << ZOFTREL_MUSIC_FILE;
  TMidiCheck check = Check(tune);
  ASSERT_TRUE(check.Ok()) << MidiFaultName(check.Fault) << " at " << check.Offset;
  EXPECT_EQ(check.Info.Format, 1);
  EXPECT_GE(check.Info.TrackCount, 4);
  EXPECT_GE(check.Info.Seconds, 60.0);
  EXPECT_LE(check.Info.Seconds, 120.0);
}

TEST(MidiFile, DurationFollowsTheTempoMapOfEveryTrack) {
  // One second at the default 120 bpm, then a tempo change in the second
  // track to 60 bpm, then 960 more ticks: two more seconds.
  Bytes tempoTrack = Join({Tempo(960, 1000000), EndOfTrack()});
  Bytes file = Join({Header(1, 2, 480), Chunk(ChordTrack(1920)), Chunk(tempoTrack)});
  TMidiCheck check = Check(file);
  ASSERT_TRUE(check.Ok()) << MidiFaultName(check.Fault);
  EXPECT_EQ(check.Info.EndTick, 1920u);
  EXPECT_DOUBLE_EQ(check.Info.Seconds, 3.0);
}

TEST(MidiFile, AcceptsRunningStatusSysexForeignChunksAndLongHeaders) {
  EXPECT_DOUBLE_EQ(Check(ChordPiece(480)).Info.Seconds, 0.5);

  Bytes sysex{0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7, 0x00, 0xF7, 0x01, 0x00};
  Bytes body = Join({sysex, EndOfTrack(960)});
  Bytes header{'M', 'T', 'h', 'd', 0, 0, 0, 8, 0, 0, 0, 1, 0x01, 0xE0, 0xAA, 0xBB};
  Bytes file = Join({header, Chunk({1, 2, 3}, "XYZW"), Chunk(body), {0xDE, 0xAD}});
  TMidiCheck check = Check(file);
  ASSERT_TRUE(check.Ok()) << MidiFaultName(check.Fault) << " at " << check.Offset;
  EXPECT_DOUBLE_EQ(check.Info.Seconds, 1.0);
  EXPECT_EQ(PlainMidiFile(file, check), Join({Header(0, 1, 480), Chunk(body)}));
}

// Timecode ticks last 1 / (frames per second * ticks per frame) whatever
// the tempo events say; drop-frame "29" runs at 30000/1001 frames a second.
TEST(MidiFile, TimecodeFilesRunOnFramesAndBecomeQuarterNotesAtAFixedTempo) {
  // 25 frames of 40 ticks: 1000 ticks a second.
  Bytes track = Join({Tempo(0, 250000), ChordTrack(1500)});
  Bytes file = Join({Header(0, 1, 0xE728), Chunk(track)});
  TMidiCheck check = Check(file);
  ASSERT_TRUE(check.Ok()) << MidiFaultName(check.Fault);
  EXPECT_DOUBLE_EQ(check.Info.Seconds, 1.5);
  // The same piece at 1000 ticks a quarter and one second a quarter.
  EXPECT_EQ(PlainMidiFile(file, check),
            Join({Header(0, 1, 1000),
                  Chunk(Join({Tempo(0, 1000000), Tempo(0, 1000000), ChordTrack(1500)}))}));

  // 300 frames of 100 ticks at 29.97 frames a second: 10.01 s.
  file = Join({Header(0, 1, 0xE364), Chunk(ChordTrack(30000))});
  check = Check(file);
  ASSERT_TRUE(check.Ok()) << MidiFaultName(check.Fault);
  EXPECT_DOUBLE_EQ(check.Info.Seconds, 10.01);
  EXPECT_DOUBLE_EQ(Check(PlainMidiFile(file, check)).Info.Seconds, 10.01);
}

// What the synth must have loaded before the piece plays: every program
// with the bank its channel selected, once each.
TEST(MidiFile, ListsTheProgramsThePieceSelects) {
  Bytes track{0x00, 0xC0, 0x00, 0x60, 0xB1, 0x00, 0x08, 0x00, 0xC1, 0x30, 0x10, 0xC0,
              0x00, 0x00, 0xC9, 0x19, 0x00, 0xB1, 0x20, 0x02, 0x00, 0xC1, 0x30};
  Bytes end = EndOfTrack();
  track.insert(track.end(), end.begin(), end.end());
  TMidiCheck check = Check(Join({Header(0, 1, 480), Chunk(track)}));
  ASSERT_TRUE(check.Ok()) << MidiFaultName(check.Fault);
  const std::vector<TMidiProgram> expected{
      {0, -1, -1, 0}, {1, 8, -1, 48}, {9, -1, -1, 25}, {1, 8, 2, 48}};
  EXPECT_EQ(check.Programs, expected);
}

struct TDamage {
  const char *Name;
  Bytes File;
  TMidiFault Fault;
};

TEST(MidiFile, RejectsDamagedFilesWithTheirFault) {
  Bytes good = ChordPiece(480);
  Bytes longChunk = good;
  longChunk[21] += 1; // track length one past the end
  Bytes shortChunk = good;
  shortChunk[21] -= 3; // cuts the end-of-track event apart
  const TDamage cases[] = {
      {"empty", {}, TMidiFault::Empty},
      {"garbage", {'R', 'I', 'F', 'F', 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}, TMidiFault::NotMidi},
      {"half a header id", {'M', 'T'}, TMidiFault::Truncated},
      {"header id only", {'M', 'T', 'h', 'd'}, TMidiFault::Truncated},
      {"header length 5", Join({{'M', 'T', 'h', 'd', 0, 0, 0, 5, 0, 0, 0, 1, 0}}),
       TMidiFault::BadHeader},
      {"header length past the end", Join({{'M', 'T', 'h', 'd', 0, 0, 1, 0, 0, 0, 0, 1, 1, 0}}),
       TMidiFault::Truncated},
      {"format 3", Join({Header(3, 1, 480), Chunk(EndOfTrack())}), TMidiFault::BadHeader},
      {"no tracks", Header(1, 0, 480), TMidiFault::BadHeader},
      {"absurd track count", Join({Header(1, 0xFFFF, 480), Chunk(EndOfTrack())}),
       TMidiFault::BadHeader},
      {"missing second track", Join({Header(1, 2, 480), Chunk(EndOfTrack()), Chunk({}, "JUNK")}),
       TMidiFault::Truncated},
      {"division 0", Join({Header(0, 1, 0), Chunk(EndOfTrack())}), TMidiFault::BadHeader},
      {"timecode of 23 frames", Join({Header(0, 1, 0xE928), Chunk(EndOfTrack())}),
       TMidiFault::BadHeader},
      {"timecode of no ticks a frame", Join({Header(0, 1, 0xE700), Chunk(EndOfTrack())}),
       TMidiFault::BadHeader},
      {"chunk longer than the file", longChunk, TMidiFault::Truncated},
      {"chunk shorter than its events", shortChunk, TMidiFault::Truncated},
      {"data without status", Join({Header(0, 1, 480), Chunk({0x00, 0x40, 0x40})}),
       TMidiFault::BadEvent},
      {"status byte as data", Join({Header(0, 1, 480), Chunk({0x00, 0x90, 0x40, 0x90})}),
       TMidiFault::BadEvent},
      {"five-byte delta", Join({Header(0, 1, 480), Chunk({0x81, 0x81, 0x81, 0x81, 0x01})}),
       TMidiFault::BadEvent},
      {"meta longer than the track", Join({Header(0, 1, 480), Chunk({0x00, 0xFF, 0x01, 0x7F})}),
       TMidiFault::Truncated},
      {"sysex length of five bytes",
       Join({Header(0, 1, 480), Chunk({0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F})}),
       TMidiFault::BadEvent},
      {"tempo of two bytes", Join({Header(0, 1, 480), Chunk({0x00, 0xFF, 0x51, 0x02, 1, 2})}),
       TMidiFault::BadEvent},
      {"system message in a track", Join({Header(0, 1, 480), Chunk({0x00, 0xF8})}),
       TMidiFault::BadEvent},
      {"days long",
       Join({Header(0, 1, 1), Chunk(Join({Tempo(0, 0xFFFFFF), EndOfTrack(0x0FFFFFFF)}))}),
       TMidiFault::TooLong},
  };
  for (const TDamage &c : cases)
    EXPECT_STREQ(MidiFaultName(Check(c.File).Fault), MidiFaultName(c.Fault)) << c.Name;
}

TEST(MidiFile, EveryTruncationOfAValidFileIsRejected) {
  Bytes file = Join({Header(1, 2, 96), Chunk(Tempo(0, 400000)), Chunk(ChordTrack(192))});
  ASSERT_TRUE(Check(file).Ok());
  for (size_t size = 0; size < file.size(); ++size) {
    Bytes cut(file.begin(), file.begin() + size);
    EXPECT_FALSE(Check(cut).Ok()) << "cut at " << size;
  }
}

} // namespace
