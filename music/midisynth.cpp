#include "music/midisynth.h"

#include <algorithm>
#include <cstdlib>
#include <fluidsynth.h>
#include <mutex>
#include <unistd.h>

namespace {

constexpr const char *kSystemSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
constexpr double kGain = 0.3;

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

std::string TMidiSynth::SoundFontPath() {
  const char *chosen = std::getenv("ZOFTREL_SOUNDFONT");
  return chosen ? chosen : kSystemSoundFont;
}

std::unique_ptr<TMidiSynth> TMidiSynth::Create(int rate) {
  QuietFluidLog();
  std::string path = SoundFontPath();
  if (::access(path.c_str(), R_OK) != 0 || !fluid_is_soundfont(path.c_str()))
    return nullptr;
  fluid_settings_t *settings = new_fluid_settings();
  if (!settings)
    return nullptr;
  fluid_settings_setnum(settings, "synth.sample-rate", rate);
  fluid_settings_setnum(settings, "synth.gain", kGain);
  fluid_settings_setstr(settings, "player.timing-source", "sample");
  fluid_synth_t *synth = new_fluid_synth(settings);
  if (!synth || fluid_synth_sfload(synth, path.c_str(), 1) == FLUID_FAILED) {
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    return nullptr;
  }
  return std::unique_ptr<TMidiSynth>(new TMidiSynth(settings, synth));
}

TMidiSynth::TMidiSynth(fluid_settings_t *settings, fluid_synth_t *synth)
    : fSettings(settings), fSynth(synth) {}

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
  Render(fCued.data(), kBlockFrames);
  fCuedPos = 0;
  fCuedEnd = kBlockFrames;
}

void TMidiSynth::Drop() {
  if (fPlayer) {
    delete_fluid_player(fPlayer);
    fPlayer = nullptr;
  }
  Silence();
  fCuedPos = fCuedEnd = 0;
}

void TMidiSynth::Silence() {
  fluid_synth_all_sounds_off(fSynth, -1);
}

void TMidiSynth::Render(float *interleaved, int frames) {
  fluid_synth_write_float(fSynth, frames, interleaved, 0, 2, interleaved, 1, 2);
}

void TMidiSynth::MixInto(float *out, int frames) {
  int done = std::min(frames, fCuedEnd - fCuedPos);
  std::transform(out, out + 2 * done, fCued.data() + 2 * fCuedPos, out, std::plus<float>());
  fCuedPos += done;
  while (done < frames) {
    int n = std::min(frames - done, kScratchFrames);
    Render(fScratch.data(), n);
    float *dest = out + 2 * done;
    std::transform(dest, dest + 2 * n, fScratch.data(), dest, std::plus<float>());
    done += n;
  }
}
