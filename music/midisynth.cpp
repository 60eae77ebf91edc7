#include "music/midisynth.h"

#include <algorithm>
#include <cstdlib>
#include <fluidsynth.h>
#include <mutex>
#include <unistd.h>

namespace {

// Without the chorus the synth's output is about 5 dB quieter; this gain
// brings the music back to the level it had with it.
constexpr double kGain = 0.54;
// Enough for the tune's notes and their release tails (it never needs
// more than 96 voices at once); the cap bounds the cost of any other piece.
constexpr int kPolyphony = 96;

void DiscardLogMessage(int, const char *, void *) {}

// FluidSynth reports every unusual thing it meets on stderr; keep only the
// errors.
void QuietFluidLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    fluid_set_log_function(FLUID_WARN, DiscardLogMessage, nullptr);
    fluid_set_log_function(FLUID_INFO, DiscardLogMessage, nullptr);
    fluid_set_log_function(FLUID_DBG, DiscardLogMessage, nullptr);
  });
}

} // namespace

std::string TMidiSynth::ChooseSoundFont(const char *chosen,
                                        std::initializer_list<const char *> candidates) {
  if (chosen)
    return chosen;
  for (const char *path : candidates)
    if (::access(path, R_OK) == 0)
      return path;
  return candidates.size() ? *(candidates.end() - 1) : "";
}

std::string TMidiSynth::SoundFontPath() {
  return ChooseSoundFont(std::getenv("ZOFTREL_SOUNDFONT"), {kProjectSoundFont, kSystemSoundFont});
}

bool TMidiSynth::Usable(const std::string &path) {
  return ::access(path.c_str(), R_OK) == 0 && fluid_is_soundfont(path.c_str());
}

std::string TMidiSynth::Version() {
  return fluid_version_str();
}

std::string TMidiSynth::SoundFontsLookedFor() {
  if (const char *chosen = std::getenv("ZOFTREL_SOUNDFONT"))
    return std::string("ZOFTREL_SOUNDFONT=") + chosen;
  return std::string(kProjectSoundFont) + ", " + kSystemSoundFont;
}

std::unique_ptr<TMidiSynth> TMidiSynth::Create(int rate) {
  QuietFluidLog();
  std::string path = SoundFontPath();
  if (rate <= 0 || !Usable(path))
    return nullptr;
  const int synthRate = std::min(rate, kSynthRate);
  fluid_settings_t *settings = new_fluid_settings();
  if (!settings)
    return nullptr;
  fluid_settings_setnum(settings, "synth.sample-rate", synthRate);
  fluid_settings_setnum(settings, "synth.gain", kGain);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_settings_setint(settings, "synth.polyphony", kPolyphony);
  // Only the samples of the instruments the tune selects are read into
  // memory, and they are read when the player's first block is rendered
  // in Cue, off the audio thread. A large bank costs no more than a small
  // one then.
  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
  fluid_settings_setstr(settings, "player.timing-source", "sample");
  fluid_synth_t *synth = new_fluid_synth(settings);
  if (!synth || fluid_synth_sfload(synth, path.c_str(), 1) == FLUID_FAILED) {
    if (synth)
      delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return nullptr;
  }
  // Linear instead of fourth-order sample interpolation: a quarter of the
  // synth's cost, and at this rate only the top octave is a little duller.
  fluid_synth_set_interp_method(synth, -1, FLUID_INTERP_LINEAR);
  return std::unique_ptr<TMidiSynth>(new TMidiSynth(settings, synth, synthRate, rate));
}

TMidiSynth::TMidiSynth(fluid_settings_t *settings, fluid_synth_t *synth, int synthRate, int rate)
    : fSettings(settings), fSynth(synth), fSynthRate(synthRate),
      fStep(uint32_t((uint64_t(synthRate) * kPhaseOne + uint64_t(rate) / 2) / uint64_t(rate))) {}

TMidiSynth::~TMidiSynth() {
  Drop();
  delete_fluid_synth(fSynth);
  delete_fluid_settings(fSettings);
}

void TMidiSynth::Cue(std::span<const uint8_t> file) {
  Drop();
  fPlayer = new_fluid_player(fSynth);
  if (!fPlayer)
    return;
  if (fluid_player_add_mem(fPlayer, file.data(), file.size()) != FLUID_OK ||
      fluid_player_play(fPlayer) != FLUID_OK) {
    Drop();
    return;
  }
  NextFrame(); // renders the first block: the file is parsed here
  fBlockPos = 0;
}

// The synth itself works out which preset a selection gets (bank styles,
// the drum channel, fallbacks for presets the soundfont lacks): each one
// is made on a freshly reset synth, which reads its samples now, and the
// preset chosen is pinned so that no later change of program unloads it.
void TMidiSynth::LoadInstruments(std::span<const TMidiProgram> programs) {
  std::vector<TPreset> loaded;
  for (const TMidiProgram &selection : programs) {
    fluid_synth_system_reset(fSynth);
    if (selection.BankMsb >= 0)
      fluid_synth_cc(fSynth, selection.Channel, 0, selection.BankMsb);
    if (selection.BankLsb >= 0)
      fluid_synth_cc(fSynth, selection.Channel, 32, selection.BankLsb);
    fluid_synth_program_change(fSynth, selection.Channel, selection.Program);
    fluid_preset_t *preset = fluid_synth_get_channel_preset(fSynth, selection.Channel);
    if (!preset)
      continue;
    const TPreset chosen{fluid_sfont_get_id(fluid_preset_get_sfont(preset)),
                         fluid_preset_get_banknum(preset), fluid_preset_get_num(preset)};
    if (std::find(loaded.begin(), loaded.end(), chosen) == loaded.end() &&
        fluid_synth_pin_preset(fSynth, chosen.SoundFont, chosen.Bank, chosen.Program) == FLUID_OK)
      loaded.push_back(chosen);
  }
  for (const TPreset &old : fLoaded)
    if (std::find(loaded.begin(), loaded.end(), old) == loaded.end())
      fluid_synth_unpin_preset(fSynth, old.SoundFont, old.Bank, old.Program);
  fLoaded = std::move(loaded);
  fluid_synth_system_reset(fSynth);
}

void TMidiSynth::Drop() {
  if (fPlayer) {
    delete_fluid_player(fPlayer);
    fPlayer = nullptr;
  }
  Silence();
  ResetInterpolation();
}

void TMidiSynth::Silence() {
  fluid_synth_all_sounds_off(fSynth, -1);
}

void TMidiSynth::ResetInterpolation() {
  fBlockPos = fBlockEnd = 0;
  fHistory.fill(0.0f);
  fPhase = 0;
  fPrimed = false;
}

const float *TMidiSynth::NextFrame() {
  if (fBlockPos == fBlockEnd) {
    fluid_synth_write_float(fSynth, kBlockFrames, fBlock.data(), 0, 2, fBlock.data(), 1, 2);
    fBlockPos = 0;
    fBlockEnd = kBlockFrames;
  }
  return &fBlock[size_t(2 * fBlockPos++)];
}

void TMidiSynth::NextSynthFrame() {
  const float *frame = NextFrame();
  std::copy(fHistory.begin() + 2, fHistory.end(), fHistory.begin());
  fHistory[6] = frame[0];
  fHistory[7] = frame[1];
}

void TMidiSynth::Render(float *out, int frames) {
  for (int i = 0; i < frames; ++i) {
    const float *frame = NextFrame();
    out[2 * i] = frame[0];
    out[2 * i + 1] = frame[1];
  }
}

// Interpolates through the four frames of history.
void TMidiSynth::MixInto(float *out, int frames) {
  constexpr float kScale = 1.0f / float(kPhaseOne);
  if (!fPrimed) {
    for (int i = 0; i < 3; ++i)
      NextSynthFrame();
    fPrimed = true;
  }
  for (int i = 0; i < frames; ++i) {
    const float t = float(fPhase) * kScale;
    for (int c = 0; c < 2; ++c) {
      const float a = fHistory[size_t(c)], b = fHistory[size_t(2 + c)];
      const float d = fHistory[size_t(4 + c)], e = fHistory[size_t(6 + c)];
      out[2 * i + c] += Interpolate(a, b, d, e, t);
    }
    fPhase += fStep;
    while (fPhase >= kPhaseOne) {
      fPhase -= kPhaseOne;
      NextSynthFrame();
    }
  }
}
