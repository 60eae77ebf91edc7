// Writes the background tune, an original march, as a standard MIDI file
// (format 1): gentune <output.mid>
//
// The piece is 40 bars of 4/4 at 120 beats per minute (80 seconds) in
// B-flat major: a march strain played twice, a lyrical trio in E-flat
// played twice, and the strain once more. Its last bar lands on the tonic
// and a snare roll leads straight back to the first bar, so the piece loops
// without a seam. Everything is computed; the output is the same on every
// run.
#include "music/midifile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kTicksPerQuarter = 480;
constexpr int kSixteenth = kTicksPerQuarter / 4;
constexpr int kBar = 16 * kSixteenth;
constexpr int kTempo = 500000; // microseconds per quarter note: 120 bpm
constexpr int kTranspose = -2; // written in C major, sounds in B-flat major
constexpr int kDrumChannel = 9;

// ---------------------------------------------------------------- tracks

struct TEvent {
  int Tick;
  int Order; // at one tick: note-offs first, then set-up, then note-ons
  std::vector<uint8_t> Bytes;
};

class TTrack {
public:
  // A track of meta events only.
  explicit TTrack(const std::string &name) : fChannel(-1) {
    Meta(0, 0x03, std::vector<uint8_t>(name.begin(), name.end()));
  }

  // An instrument's track on `channel`.
  TTrack(const std::string &name, int channel, int program, int volume, int pan) : TTrack(name) {
    fChannel = channel;
    if (channel != kDrumChannel)
      Add(0, 1, {static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(program)});
    Control(0, 7, volume);
    Control(0, 10, pan);
    Control(0, 91, 40); // reverb send
  }

  void Meta(int tick, uint8_t type, const std::vector<uint8_t> &data) {
    std::vector<uint8_t> bytes{0xFF, type, static_cast<uint8_t>(data.size())};
    bytes.insert(bytes.end(), data.begin(), data.end());
    Add(tick, 1, bytes);
  }

  void Control(int tick, int controller, int value) {
    Add(tick, 1,
        {static_cast<uint8_t>(0xB0 | fChannel), static_cast<uint8_t>(controller),
         static_cast<uint8_t>(value)});
  }

  void Note(int tick, int length, int key, int velocity) {
    if (fChannel != kDrumChannel)
      key += kTranspose;
    uint8_t k = static_cast<uint8_t>(key);
    Add(tick, 2, {static_cast<uint8_t>(0x90 | fChannel), k, static_cast<uint8_t>(velocity)});
    Add(tick + length, 0, {static_cast<uint8_t>(0x80 | fChannel), k, 64});
  }

  // The track chunk, ending with end-of-track at `endTick`.
  std::vector<uint8_t> Chunk(int endTick) {
    std::stable_sort(fEvents.begin(), fEvents.end(), [](const TEvent &a, const TEvent &b) {
      return a.Tick != b.Tick ? a.Tick < b.Tick : a.Order < b.Order;
    });
    std::vector<uint8_t> body;
    int last = 0;
    for (const TEvent &e : fEvents) {
      if (e.Tick > endTick)
        throw std::logic_error("event after the end of the piece");
      PutMidiQuantity(body, e.Tick - last);
      body.insert(body.end(), e.Bytes.begin(), e.Bytes.end());
      last = e.Tick;
    }
    PutMidiQuantity(body, endTick - last);
    body.insert(body.end(), {0xFF, 0x2F, 0x00});
    std::vector<uint8_t> chunk{'M', 'T', 'r', 'k'};
    PutMidiNumber(chunk, body.size(), 4);
    chunk.insert(chunk.end(), body.begin(), body.end());
    return chunk;
  }

private:
  void Add(int tick, int order, std::vector<uint8_t> bytes) {
    fEvents.push_back({tick, order, std::move(bytes)});
  }

  int fChannel;
  std::vector<TEvent> fEvents;
};

// ---------------------------------------------------------------- notation

struct TNote {
  int Key; // MIDI key, -1 for a rest
  int Sixteenths;
};

// "C5q E5e. Bb4s Rh": pitch (letter, optional # or b, octave) or R for a
// rest, then w/h/q/e/s for whole to sixteenth, '.' for dotted.
std::vector<TNote> ParseMelody(const char *text) {
  static const int kLetter[7] = {9, 11, 0, 2, 4, 5, 7}; // A..G
  std::vector<TNote> notes;
  for (const char *p = text; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    int key = -1;
    if (*p == 'R') {
      ++p;
    } else {
      key = kLetter[*p++ - 'A'];
      if (*p == '#')
        ++key, ++p;
      else if (*p == 'b')
        --key, ++p;
      key += 12 * (*p++ - '0' + 1);
    }
    int length = 0;
    switch (*p++) {
    case 'w':
      length = 16;
      break;
    case 'h':
      length = 8;
      break;
    case 'q':
      length = 4;
      break;
    case 'e':
      length = 2;
      break;
    case 's':
      length = 1;
      break;
    default:
      throw std::invalid_argument(std::string("bad duration in: ") + text);
    }
    if (*p == '.')
      length += length / 2, ++p;
    notes.push_back({key, length});
  }
  return notes;
}

// "C", "Dm", "G7", "Bb": the chord's pitch classes, root first.
std::vector<int> ParseChord(const std::string &name) {
  static const int kLetter[7] = {9, 11, 0, 2, 4, 5, 7};
  size_t i = 0;
  int root = kLetter[name[i++] - 'A'];
  if (i < name.size() && name[i] == 'b')
    root += 11, ++i;
  bool minor = i < name.size() && name[i] == 'm';
  bool seventh = name.find('7') != std::string::npos;
  std::vector<int> tones{root % 12, (root + (minor ? 3 : 4)) % 12, (root + 7) % 12};
  if (seventh)
    tones.push_back((root + 10) % 12);
  return tones;
}

// The lowest key of pitch class `pc` at or above `floor`.
int KeyAbove(int pc, int floor) {
  return floor + ((pc - floor) % 12 + 12) % 12;
}

// ---------------------------------------------------------------- the score

enum TSection { kStrain, kStrainDoubled, kTrio, kTrioCounter };

struct TBar {
  const char *Melody;
  const char *Chords; // one chord for the bar, or two for its halves
};

const TBar kStrainBars[8] = {
    {"C5q E5e. D5s C5q G4q", "C"},       {"A4q C5e. B4s A4q F4q", "F"},
    {"G4e. A4s G4e. F4s E4q G4q", "C"},  {"D4q G4q B4q D5q", "G7"},
    {"E5q G5e. F5s E5q C5q", "C"},       {"F5q A5e. G5s F5q D5q", "Dm"},
    {"E5e. F5s E5e. D5s C5q B4q", "G7"}, {"C5h Rq G4q", "C"},
};
const TBar kStrainCadence[2] = {
    {"E5q D5e. C5s B4q D5q", "G7"},
    {"C5q G4q C4q Rq", "C"},
};
const TBar kTrioBars[8] = {
    {"A4h. C5q", "F"}, {"Bb4h G4h", "C7"}, {"C5q. Bb4e A4q G4q", "F"},  {"G4h. Rq", "C"},
    {"A4h. C5q", "F"}, {"D5h Bb4h", "Bb"}, {"G4q. A4e Bb4q G4q", "C7"}, {"F4h. Rq", "F"},
};

struct TScoreBar {
  TBar Bar;
  TSection Section;
  bool FirstOfSection;
  bool LastOfSection;
};

std::vector<TScoreBar> BuildScore() {
  std::vector<TScoreBar> score;
  auto section = [&](const TBar *bars, TSection kind, const TBar *cadence) {
    for (int i = 0; i < 8; ++i) {
      TBar bar = (cadence && i >= 6) ? cadence[i - 6] : bars[i];
      score.push_back({bar, kind, i == 0, i == 7});
    }
  };
  section(kStrainBars, kStrain, nullptr);
  section(kStrainBars, kStrainDoubled, kStrainCadence);
  section(kTrioBars, kTrio, nullptr);
  section(kTrioBars, kTrioCounter, nullptr);
  section(kStrainBars, kStrainDoubled, kStrainCadence);
  return score;
}

struct TBand {
  TTrack Trumpet{"Trumpet", 0, 56, 100, 54};
  TTrack Flute{"Piccolo", 1, 72, 80, 80};
  TTrack Horns{"Horns", 2, 60, 85, 40};
  TTrack Strings{"Strings", 3, 48, 90, 70};
  TTrack Tuba{"Tuba", 4, 58, 105, 64};
  TTrack Drums{"Drums", kDrumChannel, 0, 100, 64};
};

void PlayMelody(TTrack &track, int start, const char *melody, int octave, int velocity,
                int percentHeld) {
  int tick = start;
  for (const TNote &note : ParseMelody(melody)) {
    int length = note.Sixteenths * kSixteenth;
    if (note.Key >= 0)
      track.Note(tick, length * percentHeld / 100, note.Key + 12 * octave, velocity);
    tick += length;
  }
  if (tick != start + kBar)
    throw std::logic_error(std::string("bar does not add up: ") + melody);
}

void PlayHarmony(TBand &band, int start, const TScoreBar &bar) {
  std::string names = bar.Bar.Chords;
  size_t space = names.find(' ');
  std::string first = names.substr(0, space);
  std::string second = space == std::string::npos ? first : names.substr(space + 1);
  for (int half = 0; half < 2; ++half) {
    std::vector<int> chord = ParseChord(half ? second : first);
    int at = start + half * kBar / 2;
    // Oom: the tuba on beats one and three, root then fifth.
    int bassPc = (half && first == second) ? chord[2] : chord[0];
    band.Tuba.Note(at, 3 * kSixteenth, KeyAbove(bassPc, 36), 100);
    // Pah: short horn chords on beats two and four.
    for (int pc : chord)
      band.Horns.Note(at + 4 * kSixteenth, kSixteenth + kSixteenth / 2, KeyAbove(pc, 55), 72);
    // Strings hold the chord softly under the strain.
    if (bar.Section == kStrain || bar.Section == kStrainDoubled)
      for (int pc : chord)
        band.Strings.Note(at, kBar / 2 - kSixteenth / 4, KeyAbove(pc, 60), 48);
    // Piccolo arpeggios over the second trio.
    if (bar.Section == kTrioCounter)
      for (int step = 0; step < 4; ++step)
        band.Flute.Note(at + 2 * step * kSixteenth, 2 * kSixteenth - 20,
                        KeyAbove(chord[step % chord.size()], 72 + (step == 3 ? 5 : 0)), 62);
  }
}

void PlayDrums(TTrack &drums, int start, const TScoreBar &bar, bool lastBar) {
  constexpr int kKick = 36, kSnare = 38, kSideStick = 37, kCrash = 49;
  bool trio = bar.Section == kTrio || bar.Section == kTrioCounter;
  drums.Note(start, kSixteenth, kKick, 100);
  drums.Note(start + 8 * kSixteenth, kSixteenth, kKick, 92);
  if (bar.FirstOfSection)
    drums.Note(start, 4 * kSixteenth, kCrash, trio ? 70 : 95);
  int backbeat = trio ? kSideStick : kSnare;
  drums.Note(start + 4 * kSixteenth, kSixteenth, backbeat, 92);
  drums.Note(start + 12 * kSixteenth, kSixteenth, backbeat, 92);
  if (lastBar || bar.LastOfSection) {
    // A roll that leads into the next bar (the first one, at the end).
    for (int s = 12; s < 16; ++s)
      drums.Note(start + s * kSixteenth, kSixteenth / 2, kSnare,
                 60 + 14 * (s - 12) + (lastBar ? 12 : 0));
  } else if (!trio) {
    for (int s : {6, 7, 14})
      drums.Note(start + s * kSixteenth, kSixteenth / 2, kSnare, 44);
  }
}

std::vector<uint8_t> ComposeFile() {
  std::vector<TScoreBar> score = BuildScore();
  TBand band;
  for (size_t i = 0; i < score.size(); ++i) {
    const TScoreBar &bar = score[i];
    int start = static_cast<int>(i) * kBar;
    switch (bar.Section) {
    case kStrainDoubled:
      PlayMelody(band.Flute, start, bar.Bar.Melody, 1, 76, 85);
      [[fallthrough]];
    case kStrain:
      PlayMelody(band.Trumpet, start, bar.Bar.Melody, 0, 114, 85);
      break;
    case kTrioCounter:
      PlayMelody(band.Trumpet, start, bar.Bar.Melody, 0, 78, 95);
      [[fallthrough]];
    case kTrio:
      PlayMelody(band.Strings, start, bar.Bar.Melody, 0, 84, 98);
      break;
    }
    PlayHarmony(band, start, bar);
    PlayDrums(band.Drums, start, bar, i + 1 == score.size());
  }
  int end = static_cast<int>(score.size()) * kBar;

  TTrack conductor("Zoftrel March");
  std::vector<uint8_t> file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
  std::vector<TTrack *> tracks{&conductor,    &band.Trumpet, &band.Flute, &band.Horns,
                               &band.Strings, &band.Tuba,    &band.Drums};
  PutMidiNumber(file, static_cast<uint32_t>(tracks.size()), 2);
  PutMidiNumber(file, kTicksPerQuarter, 2);
  conductor.Meta(0, 0x51, {kTempo >> 16, (kTempo >> 8) & 0xFF, kTempo & 0xFF});
  conductor.Meta(0, 0x58, {4, 2, 24, 8}); // 4/4
  conductor.Meta(0, 0x59, {0xFE, 0});     // two flats, major
  for (TTrack *track : tracks) {
    std::vector<uint8_t> chunk = track->Chunk(end);
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  return file;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output.mid>\n", argv[0]);
    return 2;
  }
  try {
    std::vector<uint8_t> file = ComposeFile();
    FILE *out = std::fopen(argv[1], "wb");
    if (!out || std::fwrite(file.data(), 1, file.size(), out) != file.size() ||
        std::fclose(out) != 0) {
      std::perror(argv[1]);
      return 1;
    }
  } catch (const std::exception &e) {
    std::fprintf(stderr, "gentune: %s\n", e.what());
    return 1;
  }
  return 0;
}
