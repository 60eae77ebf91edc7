// The software synthesizer behind the music player: a FluidSynth synth with
// a General MIDI soundfont and a FluidSynth MIDI player, timed by the
// samples rendered through it. No FluidSynth audio driver is used: the
// audio component pulls the samples through MixInto.
//
// Background music does not need a full-rate synth: it runs at 22,050 Hz
// without reverb or chorus and with linear sample interpolation, and MixInto brings it up to the
// output rate by cubic interpolation, which keeps the mirror images of the 22 kHz signal well below
// the music. That keeps the music under 1 % of a core.
#pragma once

#include "music/midifile.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <vector>

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_player_t fluid_player_t;

class TMidiSynth {
public:
  // The soundfont that the game's package installs.
  static constexpr const char *kProjectSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  // The system's default General MIDI soundfont, whichever package provides
  // it (on many machines the much larger FluidR3 bank).
  static constexpr const char *kSystemSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
  // The rate the synth runs at when the output rate is higher.
  static constexpr int kSynthRate = 22050;
  // Names the settings the synth renders with (rate, gain, effects,
  // interpolation, voices): a recording made ahead of time is played only
  // when it was made with the same. Count it up when any of them changes.
  static constexpr uint32_t kRenderVersion = 1;

  // The soundfont to load: $ZOFTREL_SOUNDFONT when set, else the project's
  // soundfont when it is readable, else the system's default.
  static std::string SoundFontPath();
  // The choice behind SoundFontPath: `chosen` when not null, else the first
  // readable candidate, else the last candidate.
  static std::string ChooseSoundFont(const char *chosen,
                                     std::initializer_list<const char *> candidates);
  // What SoundFontPath looks for, to tell a player who has none: the
  // variable's value when set, else both candidates.
  static std::string SoundFontsLookedFor();

  // Whether `path` is a soundfont the synth can load: readable and in the
  // soundfont format. Reads only the file's first bytes.
  static bool Usable(const std::string &path);
  // The synthesizer library's version, as "2.3.1".
  static std::string Version();

  // A synth whose output MixInto delivers at `rate` Hz, with the soundfont
  // loaded, or null when there is no usable soundfont or the synth cannot
  // start (the music is silent then).
  static std::unique_ptr<TMidiSynth> Create(int rate);
  ~TMidiSynth();
  TMidiSynth(const TMidiSynth &) = delete;
  TMidiSynth &operator=(const TMidiSynth &) = delete;

  // The rate FluidSynth renders at.
  int SynthRate() const { return fSynthRate; }

  // The calls below must not overlap; the owner serialises them.

  // Replaces the MIDI player by a new one on `file` (a checked standard MIDI
  // file), standing at its very start. The file is loaded here, not on the
  // audio thread: the player's first block is rendered now and kept until
  // MixInto asks for it.
  void Cue(std::span<const uint8_t> file);
  // Loads every instrument `programs` select and keeps them loaded until
  // the next call, so that a piece's program changes, wherever they come,
  // find their samples in memory instead of reading them on the audio
  // thread. The previous piece's instruments are let go.
  void LoadInstruments(std::span<const TMidiProgram> programs);
  // Removes the player and silences every voice.
  void Drop();
  // Cuts every sounding voice at once; the player keeps its place.
  void Silence();
  // Renders `frames` stereo frames at the output rate and adds them into
  // `out`. Allocates nothing.
  void MixInto(float *out, int frames);
  // The output between synth samples b and d at `t` (0 to 1), with a and e
  // the samples around them: Catmull-Rom, which at the midpoint, the only
  // phase of a 2:1 step, is the half-band filter (-1 9 9 -1) / 16.
  static float Interpolate(float a, float b, float d, float e, float t) {
    return b + 0.5f * t * (d - a + t * (2 * a - 5 * b + 4 * d - e + t * (3 * (b - d) + e - a)));
  }
  // Renders the next `frames` stereo frames at the synth's own rate into
  // `out`, interleaved. A cued piece is either played through MixInto or
  // rendered through Render, never both.
  void Render(float *out, int frames);

private:
  TMidiSynth(fluid_settings_t *settings, fluid_synth_t *synth, int synthRate, int rate);
  // The next synth frame, rendering a new block when the current one is
  // used up.
  const float *NextFrame();
  // Moves the interpolation on by one synth frame.
  void NextSynthFrame();
  void ResetInterpolation();

  static constexpr int kBlockFrames = 64; // FluidSynth's own block
  static constexpr uint32_t kPhaseOne = 1u << 16;

  fluid_settings_t *fSettings;
  fluid_synth_t *fSynth;
  fluid_player_t *fPlayer = nullptr;
  struct TPreset {
    int SoundFont, Bank, Program;
    bool operator==(const TPreset &) const = default;
  };
  std::vector<TPreset> fLoaded; // the instruments LoadInstruments keeps
  int fSynthRate;
  // Synth frames rendered and not yet used, interleaved stereo.
  std::array<float, 2 * kBlockFrames> fBlock{};
  int fBlockPos = 0;
  int fBlockEnd = 0;
  // The last four synth frames, interleaved stereo. The output lies
  // between the middle two, frames 1 and 2, at fPhase (16-bit fraction);
  // each output frame moves it on by fStep. Output frame n lies at synth
  // frame n * fStep: the first MixInto after a cue fills in the piece's
  // first three frames.
  std::array<float, 8> fHistory{};
  bool fPrimed = false;
  uint32_t fPhase = 0;
  uint32_t fStep = kPhaseOne;
};
