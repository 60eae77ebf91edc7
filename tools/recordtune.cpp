// Records the background tune ahead of time, as the player would record it
// when it opens the tune, and writes the recording beside the tune with
// what it was made from, so that the program streams it instead of
// synthesising it at every start:
//   recordtune TUNE.mid OUT.recording
// Without a usable soundfont it writes nothing and says so: the program
// then records at run time, as it does for any tune without a recording.
#include "music/mediaplayer.h"
#include "music/midifile.h"
#include "music/midisynth.h"
#include "music/musicrecording.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TUNE.mid OUT.recording\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
  const TMidiCheck check = CheckMidiFile(bytes);
  if (!in || !check.Ok()) {
    std::fprintf(stderr, "recordtune: %s is not a standard MIDI file\n", argv[1]);
    return 1;
  }
  std::remove(argv[2]);
  const std::string soundFont = TMidiSynth::SoundFontPath();
  TMusicSource source;
  std::unique_ptr<TMidiSynth> synth = TMidiSynth::Create(TMediaPlayer::kSampleRate);
  if (!synth || !TMusicSource::Identify(bytes, soundFont, source)) {
    std::fprintf(stderr, "recordtune: no usable soundfont (%s): the tune is recorded at run time\n",
                 soundFont.c_str());
    return 0;
  }
  synth->LoadInstruments(check.Programs);
  synth->Cue(PlainMidiFile(bytes, check));
  const int64_t frames = TMediaPlayer::PieceFrames(check) + TMediaPlayer::kTailFrames;
  TMusicRecording recording(*synth, frames, TMediaPlayer::kSampleRate);
  if (!recording.Save(argv[2], source)) {
    std::fprintf(stderr, "recordtune: cannot write %s\n", argv[2]);
    std::remove(argv[2]);
    return 1;
  }
  return 0;
}
