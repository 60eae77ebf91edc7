// Synthesises the game's 13 sound effects and writes them as the property
// block of SfxSoundLib1 (value-type byte, length, "SL10" stream) to the file
// named on the command line. Deterministic: the same bytes on every run.
#include "sound/sfxslib.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;

using Wave = std::vector<float>;

// xorshift64*: small and reproducible.
class Rng {
public:
  explicit Rng(uint64_t seed) : FState(seed * 0x9E3779B97F4A7C15ull | 1) {}
  double Unit() { // 0 <= x < 1
    FState ^= FState >> 12;
    FState ^= FState << 25;
    FState ^= FState >> 27;
    return double((FState * 0x2545F4914F6CDD1Dull) >> 11) / double(1ull << 53);
  }
  double Noise() { return 2 * Unit() - 1; }

private:
  uint64_t FState;
};

// One-pole low-pass filter.
class LowPass {
public:
  LowPass(double cutoff, double rate) : FA(1 - std::exp(-kTwoPi * cutoff / rate)) {}
  double operator()(double x) { return FY += FA * (x - FY); }

private:
  double FA;
  double FY = 0;
};

double Attack(double t, double seconds) {
  return t < seconds ? t / seconds : 1.0;
}

// Weight of a harmonic at `f` Hz under a few vowel formants.
double Formants(double f, const double (*formants)[3], int count) {
  double w = 0;
  for (int i = 0; i < count; ++i) {
    double d = (f - formants[i][0]) / formants[i][1];
    w += formants[i][2] / (1 + d * d);
  }
  return w;
}

// A sonar-like ping with one echo.
Wave Ping(int n, double rate, Rng &) {
  Wave w(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    double t = i / rate;
    auto tone = [](double t) {
      if (t < 0)
        return 0.0;
      double env = Attack(t, 0.003) * std::exp(-t / 0.11);
      return env * (std::sin(kTwoPi * 1320 * t) +
                    0.25 * std::exp(-t / 0.04) * std::sin(kTwoPi * 1320 * 2.76 * t));
    };
    w[size_t(i)] = float(tone(t) + 0.35 * tone(t - 0.24));
  }
  return w;
}

// An engine loop: firing pulses that ring a resonance, a rumble at the
// firing rate and rough noise. Everything is periodic over the buffer, so
// the loop wraps without a click.
Wave Engine(int n, double rate, Rng &rng, double fireHz, double resonanceHz, double decay,
            double roughness) {
  const int cycles = std::max(1, int(std::lround(fireHz * n / rate)));
  const double period = double(n) / cycles;
  std::vector<double> strength(static_cast<size_t>(cycles));
  for (double &s : strength)
    s = 0.7 + 0.3 * rng.Unit();
  // Noise filtered around the loop twice, so its filter state wraps too.
  std::vector<double> white(static_cast<size_t>(n)), rough(static_cast<size_t>(n));
  for (double &x : white)
    x = rng.Noise();
  LowPass lp(700, rate);
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < n; ++i)
      rough[size_t(i)] = lp(white[size_t(i)]);

  Wave w(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    int k = std::min(cycles - 1, int(i / period));
    double t = (i - k * period) / rate;
    double span = period / rate;
    double pulse = strength[size_t(k)] * (1 - std::exp(-t / 0.0015)) * std::exp(-t / decay) *
                   std::sin(kTwoPi * resonanceHz * t) * (1 - t / span);
    double phase = kTwoPi * cycles * double(i) / n;
    double rumble = 0.3 * std::sin(phase) + 0.15 * std::sin(2 * phase + 1);
    w[size_t(i)] = float(pulse + rumble + roughness * rough[size_t(i)]);
  }
  return w;
}

// A water drop: a short tone whose pitch rises fast.
Wave Drip(int n, double rate, Rng &) {
  Wave w(static_cast<size_t>(n));
  double phase = 0;
  for (int i = 0; i < n; ++i) {
    double t = i / rate;
    phase += kTwoPi * std::min(3200.0, 650 * std::exp(t * 19)) / rate;
    double fade = std::min(1.0, (n - i) / (0.005 * rate));
    w[size_t(i)] = float((1 - std::exp(-t / 0.002)) * std::exp(-t / 0.02) * fade * std::sin(phase));
  }
  return w;
}

// Three trilled chirps.
Wave Bird(int n, double rate, Rng &) {
  Wave w(static_cast<size_t>(n));
  double phase = 0;
  for (int i = 0; i < n; ++i) {
    double t = i / rate;
    double inChirp = std::fmod(t, 0.2) / 0.15;
    if (inChirp >= 1 || t >= 0.6) {
      continue;
    }
    double f = 2600 + 1300 * std::sin(kPi * inChirp) + 180 * std::sin(kTwoPi * 32 * t);
    phase += kTwoPi * f / rate;
    double env = std::pow(std::sin(kPi * inChirp), 2);
    w[size_t(i)] = float(env * std::sin(phase));
  }
  return w;
}

// A voiced sound: harmonics of `pitch(t)` weighted by formants that may move.
template <class Pitch, class Env, class Formant>
Wave Voice(int n, double rate, Pitch pitch, Env envelope, Formant formantsAt) {
  Wave w(static_cast<size_t>(n));
  double phase = 0;
  for (int i = 0; i < n; ++i) {
    double t = i / rate;
    double f0 = pitch(t);
    phase = std::fmod(phase + kTwoPi * f0 / rate, kTwoPi);
    double formants[3][3];
    formantsAt(t, formants);
    double s = 0;
    for (int h = 1; h * f0 < std::min(4500.0, rate / 2 - 200); ++h)
      s += Formants(h * f0, formants, 3) * std::sin(h * phase) / std::sqrt(h);
    w[size_t(i)] = float(envelope(t) * s);
  }
  return w;
}

Wave Cow(int n, double rate, Rng &) {
  double length = n / rate;
  return Voice(
      n, rate,
      [](double t) {
        double f = t < 0.25 ? 92 + 120 * t : 122 - 14 * (t - 0.25);
        return f * (1 + 0.01 * std::sin(kTwoPi * 5 * t));
      },
      [length](double t) { return Attack(t, 0.2) * std::min(1.0, (length - t) / 0.35); },
      [](double t, double(*f)[3]) {
        double open = std::min(1.0, t / 0.35); // "mm" opening to "oo"
        double set[3][3] = {{250 + 150 * open, 90, 1.0},
                            {600 + 250 * open, 150, 0.5 * open},
                            {2400, 250, 0.1 * open}};
        std::copy(&set[0][0], &set[0][0] + 9, &f[0][0]);
      });
}

Wave Horse(int n, double rate, Rng &rng) {
  const double voiced = 1.0;
  Wave w = Voice(
      n, rate, [](double t) { return (720 - 260 * t) * (1 + 0.1 * std::sin(kTwoPi * 11 * t)); },
      [voiced](double t) {
        if (t >= voiced)
          return 0.0;
        return Attack(t, 0.05) * (0.75 + 0.25 * std::sin(kTwoPi * 11 * t)) *
               std::min(1.0, (voiced - t) / 0.3);
      },
      [](double, double(*f)[3]) {
        double set[3][3] = {{750, 200, 1.0}, {1400, 250, 0.7}, {2900, 400, 0.25}};
        std::copy(&set[0][0], &set[0][0] + 9, &f[0][0]);
      });
  // A snort after the whinny.
  LowPass lp(900, rate);
  for (int i = int(voiced * rate); i < n; ++i) {
    double t = i / rate - voiced;
    w[size_t(i)] += float(2.0 * Attack(t, 0.02) * std::exp(-t / 0.12) * lp(rng.Noise()));
  }
  return w;
}

// A propeller plane flying past: a buzz chopped by the blades, with the
// pitch dropping as it passes.
Wave Plane(int n, double rate, Rng &rng) {
  Wave w(static_cast<size_t>(n));
  LowPass lp(1500, rate);
  double phase = 0, blade = 0;
  double middle = n / rate / 2;
  for (int i = 0; i < n; ++i) {
    double t = i / rate;
    double doppler = 1.0 - 0.12 * std::tanh((t - middle) / 0.2);
    phase = std::fmod(phase + kTwoPi * 92 * doppler / rate, kTwoPi);
    blade = std::fmod(blade + kTwoPi * 46 * doppler / rate, kTwoPi);
    double buzz = 0;
    for (int h = 1; h <= 30; ++h)
      buzz += std::sin(h * phase) / h;
    double chop = 0.55 + 0.45 * std::fabs(std::sin(blade));
    double swell = 1 / (1 + std::pow((t - middle) / 0.35, 2));
    double edges = std::min({1.0, t / 0.05, (n / rate - t) / 0.05});
    w[size_t(i)] = float(edges * swell * (chop * buzz + 0.4 * lp(rng.Noise())));
  }
  return w;
}

// A pistol shot: crack, body, boom and a short room tail.
Wave Shot1(int n, double rate, Rng &rng) {
  Wave w(static_cast<size_t>(n));
  LowPass body(1800, rate), tail(900, rate);
  for (int i = 0; i < n; ++i) {
    double t = i / rate;
    double crack = rng.Noise() * std::exp(-t / 0.006);
    double thump = 2.5 * body(rng.Noise()) * std::exp(-t / 0.05);
    double boom = 0.8 * std::sin(kTwoPi * (70 - 100 * t) * t) * std::exp(-t / 0.1);
    double room = 1.2 * tail(rng.Noise()) * std::exp(-t / 0.3);
    w[size_t(i)] = float(crack + thump + boom + room);
  }
  return w;
}

// A rifle shot outdoors: a sharp crack and two echoes from far away.
Wave Shot2(int n, double rate, Rng &rng) {
  Wave dry(static_cast<size_t>(n));
  LowPass hiss(6000, rate), body(1200, rate);
  for (int i = 0; i < n; ++i) {
    double t = i / rate;
    double white = rng.Noise();
    double crack = (white - hiss(white)) * 3 * std::exp(-t / 0.004);
    double mid = 3 * body(rng.Noise()) * std::exp(-t / 0.035);
    double boom = std::sin(kTwoPi * 85 * t) * std::exp(-t / 0.08);
    dry[size_t(i)] = float(crack + mid + boom);
  }
  Wave w = dry;
  const double echoes[][3] = {{0.19, 0.45, 2200}, {0.47, 0.25, 1200}};
  for (const auto &echo : echoes) {
    LowPass far(echo[2], rate);
    int delay = int(echo[0] * rate);
    for (int i = delay; i < n; ++i)
      w[size_t(i)] += float(echo[1] * far(dry[size_t(i - delay)]));
  }
  return w;
}

// A crowd clapping: many short bursts at random moments, swelling and
// dying away.
Wave Applause(int n, double rate, Rng &rng) {
  Wave w(static_cast<size_t>(n));
  double length = n / rate;
  auto crowd = [length](double t) {
    return Attack(t, 0.7) * std::clamp((length - t) / 2.0, 0.0, 1.0);
  };
  int clapLength = int(0.06 * rate);
  for (double t = 0; t < length; t += -std::log(1 - rng.Unit()) / 28.0) {
    double loudness = (0.3 + 0.7 * rng.Unit()) * crowd(t);
    LowPass tone(900 + 1800 * rng.Unit(), rate);
    int start = int(t * rate);
    for (int i = 0; i < clapLength && start + i < n; ++i) {
      double x = rng.Noise();
      double bright = x - 0.6 * tone(x);
      w[size_t(start + i)] += float(loudness * std::exp(-i / rate / 0.011) * bright);
    }
  }
  LowPass murmur(500, rate);
  for (int i = 0; i < n; ++i)
    w[size_t(i)] += float(0.15 * crowd(i / rate) * murmur(rng.Noise()));
  return w;
}

struct SoundSpec {
  const char *name;
  uint32_t rate;
  int bits;
  int32_t bytes;
  int32_t volume;
  Wave (*synth)(int frames, double rate, Rng &rng);
};

const SoundSpec kSounds[] = {
    {"Attkping", 11025, 8, 6435, 0, Ping},
    {"Eng_high", 11025, 8, 15156, -958,
     [](int n, double r, Rng &g) { return Engine(n, r, g, 70, 320, 0.006, 0.15); }},
    {"Eng_idle", 11025, 8, 22069, -1042,
     [](int n, double r, Rng &g) { return Engine(n, r, g, 22, 160, 0.012, 0.08); }},
    {"Eng_low", 11025, 8, 14949, -958,
     [](int n, double r, Rng &g) { return Engine(n, r, g, 32, 125, 0.014, 0.10); }},
    {"Eng_norm", 11025, 8, 20233, -900,
     [](int n, double r, Rng &g) { return Engine(n, r, g, 48, 230, 0.008, 0.12); }},
    {"drip", 11000, 8, 756, -458, Drip},
    {"bird2-1", 11025, 8, 6716, 0, Bird},
    {"Cow", 11025, 8, 19202, -583, Cow},
    {"horse", 22050, 8, 31104, -667, Horse},
    {"plane", 22050, 8, 26382, -1000, Plane},
    {"Skud1", 11025, 8, 14027, -1042, Shot1},
    {"skud2", 44100, 16, 105478, -1042, Shot2},
    {"applaus", 11025, 8, 80384, -958, Applause},
};

// Scales to a peak of 0.9 and quantises: 8-bit unsigned or 16-bit signed
// little-endian.
std::vector<uint8_t> Quantise(Wave wave, int bits) {
  float peak = 0;
  for (float x : wave)
    peak = std::max(peak, std::fabs(x));
  float scale = peak > 0 ? 0.9f / peak : 0;
  std::vector<uint8_t> bytes;
  for (float x : wave) {
    if (bits == 8) {
      bytes.push_back(uint8_t(std::clamp(128 + long(std::lround(x * scale * 127)), 0L, 255L)));
    } else {
      auto v = uint16_t(int16_t(std::clamp(std::lround(x * scale * 32767), -32768L, 32767L)));
      bytes.push_back(uint8_t(v));
      bytes.push_back(uint8_t(v >> 8));
    }
  }
  return bytes;
}

TSfxSoundLib MakeLibrary() {
  TSfxSoundLib lib;
  uint64_t seed = 1;
  for (const SoundSpec &spec : kSounds) {
    TSfxSoundRec rec;
    uint16_t blockAlign = uint16_t(spec.bits / 8);
    rec.Format = {1, 1, spec.rate, spec.rate * blockAlign, blockAlign, uint16_t(spec.bits), 0};
    rec.Name.Assign(spec.name);
    rec.Volume = spec.volume;
    if (&spec == &kSounds[0]) {
      // The first sound carries these bytes in its reserved field and after
      // its name; every other such byte is zero.
      rec.Reserved[0] = 0x8A;
      rec.Reserved[1] = 0xFD;
      rec.Name.Chars[8] = char(0xFD);
      rec.Name.Chars[9] = char(0xB7);
      rec.Name.Chars[10] = char(0xFD);
    }
    Rng rng(seed++);
    lib.Sounds.Add(rec, Quantise(spec.synth(spec.bytes / blockAlign, spec.rate, rng), spec.bits));
  }
  return lib;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  TSfxSoundLib lib = MakeLibrary();
  TMemoryStream stream;
  lib.WriteSoundsProperty(stream);
  const std::vector<uint8_t> &bytes = stream.Bytes;

  std::FILE *out = std::fopen(argv[1], "wb");
  if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
      std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
