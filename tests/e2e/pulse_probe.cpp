// Plays through the audio component, on whatever output it picks, a steady
// tone as the music and smooth tone bursts as sounds, the way a game starts
// shots: a buffer stopped, rewound and played again, and now and then two
// sounds in one tick. The real-server test records it and looks for jumps,
// repeats and gaps.
//
// Then, after the tone has stopped, the sequences that change what is
// written ahead, each one alone between silences: a shot restarted while
// it plays; one engine loop stopped and another played; a loop stopped and
// played again 20 ms later; the music started with a shot and stopped with
// the next. It prints when each step was made. Run again with "check", the
// probe renders the same sequences offline, by hand on SDL's dummy driver,
// and compares them sample by sample with the recording.
//
// Usage: pulse_probe SECONDS          prints "output own|sdl", "ticks N
//                                     rewrites R" and one "step" line each
//        pulse_probe check RAW LOG    the recording (stereo float at
//                                     44,100 Hz) against the steps in LOG
#include "sound/sfxsnd.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 44100;
using TClock = std::chrono::steady_clock;

// A continuous 700 Hz tone at 0.3 of full scale, from its start to its
// stop.
class SteadyTone : public TSfxMixSource {
public:
  bool MixInto(float *out, int frames, int rate) override {
    if (!fOn.load())
      return false;
    if (fRestart.exchange(false))
      fFrame = 0;
    for (int i = 0; i < frames; ++i, ++fFrame) {
      const float v = float(0.3 * std::sin(2 * kPi * 700 * double(fFrame % rate) / rate));
      out[2 * i] += v;
      out[2 * i + 1] += v;
    }
    return true;
  }
  bool Sounding() const override { return fOn.load(); }
  void Start() {
    Change(
        [&] {
          fRestart = true;
          fOn = true;
        },
        true);
  }
  void Stop() {
    Change([&] { fOn = false; }, false);
  }

private:
  std::atomic<bool> fOn{false};
  std::atomic<bool> fRestart{false};
  int64_t fFrame = 0;
};

// 16-bit mono: `frames` frames of `hertz` at 0.3 of full scale, under a
// raised-cosine envelope when `smooth`.
std::vector<uint8_t> Tone(double hertz, int frames, bool smooth) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < frames; ++i) {
    const double envelope = smooth ? 0.5 - 0.5 * std::cos(2 * kPi * i / (frames - 1)) : 1;
    const auto v =
        int16_t(std::lround(0.3 * 32767 * envelope * std::sin(2 * kPi * hertz * i / kRate)));
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(uint16_t(v) >> 8));
  }
  return bytes;
}

// Sounds 0 and 1: bursts; 2: the shot; 3 and 4: engine loops of a whole
// number of periods.
enum { kShot = 2, kLoop1 = 3, kLoop2 = 4 };

void AddSounds(TSfxSoundLib &lib) {
  TSfxSoundRec rec;
  rec.Format = {1, 1, kRate, kRate * 2, 2, 16, 0};
  lib.Sounds.Add(rec, Tone(400, kRate * 15 / 100, true));
  lib.Sounds.Add(rec, Tone(300, kRate * 15 / 100, true));
  lib.Sounds.Add(rec, Tone(600, kRate * 15 / 100, false));
  lib.Sounds.Add(rec, Tone(441, 4410, false));
  lib.Sounds.Add(rec, Tone(882, 4410, false));
}

enum TOp { opShot, opRestart, opLoop1, opStop1, opSwitch, opStop2, opMusicShot, opStopShot };
struct TStep {
  int Ms;
  TOp Op;
};
// Each sequence starts from silence with every buffer at its start and
// ends in silence.
const std::vector<std::vector<TStep>> kSequences = {
    {{0, opShot}, {60, opRestart}},
    {{0, opLoop1}, {200, opSwitch}, {400, opStop2}},
    {{0, opLoop1}, {150, opStop1}, {170, opLoop1}, {320, opStop1}},
    {{0, opMusicShot}, {300, opStopShot}},
};
constexpr int kSequenceMs = 450;
constexpr int kSilenceMs = 450;

void Do(TSfxAudio &audio, SteadyTone &tone, TOp op) {
  switch (op) {
  case opShot:
    audio.Sound(kShot)->Play();
    break;
  case opRestart:
    audio.Sound(kShot)->Stop();
    audio.Sound(kShot)->SetPosition(0);
    audio.Sound(kShot)->Play();
    break;
  case opLoop1:
    audio.Sound(kLoop1)->PlayLooped();
    break;
  case opStop1:
    audio.Sound(kLoop1)->Stop();
    break;
  case opSwitch:
    audio.Sound(kLoop1)->Stop();
    audio.Sound(kLoop2)->PlayLooped();
    break;
  case opStop2:
    audio.Sound(kLoop2)->Stop();
    break;
  case opMusicShot:
    audio.Sound(kShot)->Play();
    tone.Start();
    break;
  case opStopShot:
    tone.Stop();
    audio.Sound(kShot)->Play();
    break;
  }
}

void Rewind(TSfxAudio &audio) {
  for (int i = kShot; i <= kLoop2; ++i)
    audio.Sound(i)->SetPosition(0);
}

int Play(double seconds) {
  TSfxSoundLib lib;
  AddSounds(lib);
  TSfxAudio audio;
  audio.SetSoundLibrary(&lib);
  SteadyTone tone;
  audio.SetMusic(&tone);
  tone.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::printf("output %s\n", audio.OutputCaps().WritesAhead ? "own" : "sdl");
  int ticks = 0;
  for (auto end = TClock::now() + std::chrono::duration<double>(seconds); TClock::now() < end;
       ++ticks) {
    TSfxSoundBuffer *shot = audio.Sound(0);
    shot->Stop();
    shot->SetPosition(0);
    shot->Play();
    if (ticks % 3 == 2)
      audio.Sound(1)->Play(); // two starts in one tick
    std::this_thread::sleep_for(std::chrono::milliseconds(330));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::printf("ticks %d rewrites %llu\n", ticks, static_cast<unsigned long long>(audio.Rewrites()));
  tone.Stop();
  for (size_t s = 0; s < kSequences.size(); ++s) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kSilenceMs));
    Rewind(audio);
    const TClock::time_point start = TClock::now();
    for (size_t i = 0; i < kSequences[s].size(); ++i) {
      std::this_thread::sleep_until(start + std::chrono::milliseconds(kSequences[s][i].Ms));
      const auto at = std::chrono::duration<double>(TClock::now() - start).count();
      Do(audio, tone, kSequences[s][i].Op);
      std::printf("step %zu %zu %.6f\n", s, i, at);
    }
    std::this_thread::sleep_until(start + std::chrono::milliseconds(kSequenceMs));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(kSilenceMs));
  audio.SetMusic(nullptr);
  return 0;
}

// --- check ---

// Renders sequence `s` offline with its steps at frames `at` into the left
// channel `out`.
void Render(TSfxAudio &audio, SteadyTone &tone, size_t s, const std::vector<int64_t> &at,
            std::vector<float> &out) {
  const std::vector<TStep> &steps = kSequences[s];
  for (int i = 0; i < audio.BufferCount(); ++i)
    audio.Sound(i)->Stop();
  tone.Stop();
  Rewind(audio);
  std::vector<float> block;
  int64_t done = 0;
  for (size_t i = 0; i <= steps.size(); ++i) {
    const int64_t until = i < steps.size() ? at[i] : int64_t(out.size());
    if (until > done) {
      block.resize(size_t(until - done) * 2);
      audio.Mix(block.data(), int(until - done));
      for (int64_t f = done; f < until; ++f)
        out[size_t(f)] = block[size_t(f - done) * 2];
      done = until;
    }
    if (i < steps.size())
      Do(audio, tone, steps[i].Op);
  }
}

// The largest difference between the recording from `offset` and `mix` over
// frames [from, to).
// frames [from, to), and where it is when `where` is given.
float Worst(const std::vector<float> &rec, int64_t offset, const std::vector<float> &mix,
            int64_t from, int64_t to, int64_t *where = nullptr) {
  float worst = 0;
  for (int64_t f = std::max<int64_t>(from, 0); f < to && f < int64_t(mix.size()); ++f) {
    const int64_t r = offset + f;
    const float heard = r >= 0 && r < int64_t(rec.size()) ? rec[size_t(r)] : 0.0f;
    const float d = std::fabs(heard - mix[size_t(f)]);
    if (d > worst) {
      worst = d;
      if (where)
        *where = f;
    }
  }
  return worst;
}

int Check(const char *rawPath, const char *logPath) {
  std::ifstream raw(rawPath, std::ios::binary);
  std::vector<float> frames;
  for (float lr[2]; raw.read(reinterpret_cast<char *>(lr), sizeof lr);)
    frames.push_back(lr[0]);
  std::vector<std::vector<double>> when(kSequences.size());
  std::ifstream log(logPath);
  for (std::string word; log >> word;) {
    size_t s, i;
    double at;
    if (word == "step" && log >> s >> i >> at && s < when.size())
      when[s].push_back(at);
  }
  // The sequences are the last sounds of the recording, each after a
  // silence of at least 0.3 s.
  std::vector<int64_t> starts;
  int64_t quiet = 0;
  for (int64_t f = 0; f < int64_t(frames.size()); ++f) {
    if (std::fabs(frames[size_t(f)]) > 0.004f) {
      if (quiet >= kRate * 3 / 10)
        starts.push_back(f);
      quiet = 0;
    } else {
      ++quiet;
    }
  }
  if (starts.size() < kSequences.size()) {
    std::printf("FAIL: %zu sequences recorded\n", starts.size());
    return 1;
  }
  starts.erase(starts.begin(), starts.end() - long(kSequences.size()));

  setenv("SDL_AUDIODRIVER", "dummy", 1);
  TSfxSoundLib lib;
  AddSounds(lib);
  TSfxAudio audio;
  audio.SetPaused(true);
  audio.SetSoundLibrary(&lib);
  SteadyTone tone;
  audio.SetMusic(&tone);
  // Each change is heard at the latency of the rewrite it asks for: the
  // sink's latency and the round trip for the server's read index, which
  // vary by some milliseconds from one rewrite to the next on a busy
  // machine. A step is looked for around where it was made, moved as the
  // step before it was, and the sequence's steps must all be heard within
  // 30 ms of each other: a sound that lingers until the end of what was
  // written ahead is heard some 70 ms late.
  const int64_t search = kRate * 30 / 1000;
  const int64_t before = kRate * 3 / 1000;
  const char *names[] = {"shot restarted", "loop switched", "loop tapped", "music with shots"};
  bool ok = true;
  for (size_t s = 0; s < kSequences.size(); ++s) {
    const std::vector<TStep> &steps = kSequences[s];
    if (when[s].size() != steps.size()) {
      std::printf("FAIL: sequence %zu logged %zu steps\n", s, when[s].size());
      return 1;
    }
    // The steps where they were made, the first at frame 0; each is then
    // moved to where the recording fits best, in turn.
    std::vector<int64_t> at;
    for (double t : when[s])
      at.push_back(std::lround((t - when[s][0]) * kRate));
    std::vector<float> mix(size_t(kRate) * kSequenceMs / 1000 + size_t(kRate) / 5);
    Render(audio, tone, s, at, mix);
    int64_t onset = 0;
    while (onset < int64_t(mix.size()) && std::fabs(mix[size_t(onset)]) <= 0.004f)
      ++onset;
    const int64_t guess = starts[s] - onset;
    int64_t offset = guess;
    float fit = 1e9f;
    for (int64_t c = guess - 3; c <= guess + 3; ++c) {
      const float w = Worst(frames, c, mix, 0, at[1] - before);
      if (w < fit) {
        fit = w;
        offset = c;
      }
    }
    std::vector<int64_t> moved;
    for (size_t i = 1; i < steps.size(); ++i) {
      // Where it was made, moved as the steps before it were.
      const int64_t made = at[i];
      const int64_t lowest = std::max(made - search, at[i - 1] + 1);
      int64_t best = made;
      float bestWorst = 1e9f;
      for (int64_t c = lowest; c <= made + search; ++c) {
        std::vector<int64_t> tried = at;
        // The steps after it are heard as late as this one.
        for (size_t j = i; j < steps.size(); ++j)
          tried[j] = at[j] + c - made;
        Render(audio, tone, s, tried, mix);
        const int64_t to = i + 1 < steps.size() ? tried[i + 1] - before : int64_t(mix.size());
        const float w = Worst(frames, offset, mix, lowest, to);
        if (w < bestWorst) {
          bestWorst = w;
          best = c;
        }
      }
      moved.push_back(best - made);
      for (size_t j = i; j < steps.size(); ++j)
        at[j] += best - made;
    }
    Render(audio, tone, s, at, mix);
    if (const char *dump = std::getenv("ZOFTREL_PROBE_DUMP")) {
      // The mix and the recording under it, for a look at a miss.
      std::ofstream out(std::string(dump) + "/seq" + std::to_string(s) + ".f32", std::ios::binary);
      for (size_t f = 0; f < mix.size(); ++f) {
        const int64_t r = offset + int64_t(f);
        const float pair[2] = {mix[f],
                               r >= 0 && r < int64_t(frames.size()) ? frames[size_t(r)] : 0};
        out.write(reinterpret_cast<const char *>(pair), sizeof pair);
      }
    }
    int64_t where = 0;
    const float worst = Worst(frames, offset, mix, 0, int64_t(mix.size()), &where);
    std::printf("%s: largest difference from the offline mix %.4f at %.1f ms; steps heard",
                names[s], double(worst), double(where) * 1000 / kRate);
    int64_t earliest = 0, latest = 0, total = 0;
    for (int64_t m : moved) {
      total += m;
      std::printf(" %+.1f", double(total) * 1000 / kRate);
      earliest = std::min(earliest, total);
      latest = std::max(latest, total);
    }
    std::printf(" ms from when they were made\n");
    if (worst > 0.01f) {
      std::printf("FAIL: %s is not the offline mix\n", names[s]);
      ok = false;
    }
    if (latest - earliest >= search) {
      std::printf("FAIL: %s: its steps heard 30 ms or more apart from where they were made\n",
                  names[s]);
      ok = false;
    }
  }
  audio.SetMusic(nullptr);
  return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  if (argc > 3 && std::strcmp(argv[1], "check") == 0)
    return Check(argv[2], argv[3]);
  return Play(argc > 1 ? std::atof(argv[1]) : 3);
}
