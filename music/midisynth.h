// The software synthesizer behind the music player: a FluidSynth synth with
// a General MIDI soundfont and a FluidSynth MIDI player, timed by the
// samples rendered through it. No FluidSynth audio driver is used: the
// audio component pulls the samples through MixInto.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_player_t fluid_player_t;

class TMidiSynth {
public:
  // The soundfont to load: $ZOFTREL_SOUNDFONT when set, else the system's
  // General MIDI soundfont.
  static std::string SoundFontPath();

  // A synth at `rate` Hz with the soundfont loaded, or null when there is
  // no usable soundfont or the synth cannot start (the music is silent
  // then).
  static std::unique_ptr<TMidiSynth> Create(int rate);
  ~TMidiSynth();
  TMidiSynth(const TMidiSynth &) = delete;
  TMidiSynth &operator=(const TMidiSynth &) = delete;

  // The calls below must not overlap; the owner serialises them.

  // Replaces the MIDI player by a new one on `file` (a checked standard MIDI
  // file), standing at its very start. The file is loaded here, not on the
  // audio thread: the player's first block is rendered now and kept until
  // MixInto asks for it.
  void Cue(std::span<const uint8_t> file);
  // Removes the player and silences every voice.
  void Drop();
  // Cuts every sounding voice at once; the player keeps its place.
  void Silence();
  // Renders `frames` stereo frames and adds them into `out`. Allocates
  // nothing.
  void MixInto(float *out, int frames);

private:
  TMidiSynth(fluid_settings_t *settings, fluid_synth_t *synth);
  void Render(float *interleaved, int frames);

  static constexpr int kBlockFrames = 64;
  static constexpr int kScratchFrames = 1024;

  fluid_settings_t *fSettings;
  fluid_synth_t *fSynth;
  fluid_player_t *fPlayer = nullptr;
  std::array<float, 2 * kBlockFrames> fCued{};
  int fCuedPos = 0;
  int fCuedEnd = 0;
  std::array<float, 2 * kScratchFrames> fScratch{};
};
