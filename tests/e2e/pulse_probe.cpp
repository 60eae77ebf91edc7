// Plays through the audio component, on whatever output it picks, a steady
// tone as the music and smooth tone bursts as sounds, the way a game starts
// shots: a buffer stopped, rewound and played again, and now and then two
// sounds in one tick. The real-server test records it and looks for jumps,
// repeats and gaps.
// Usage: pulse_probe SECONDS
// Prints "output own|sdl", then "ticks N rewrites R".
#include "sound/sfxsnd.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRate = 44100;

// A continuous 700 Hz tone at 0.3 of full scale.
class SteadyTone : public TSfxMixSource {
public:
  bool MixInto(float *out, int frames, int rate) override {
    for (int i = 0; i < frames; ++i, ++fFrame) {
      const float v = float(0.3 * std::sin(2 * kPi * 700 * double(fFrame % rate) / rate));
      out[2 * i] += v;
      out[2 * i + 1] += v;
    }
    return true;
  }
  bool Sounding() const override { return true; }
  void Start() { Started(); }

private:
  int64_t fFrame = 0;
};

// 0.15 s of a tone at 0.3 of full scale under a raised-cosine envelope,
// 16-bit mono: tone and two bursts together stay below full scale.
std::vector<uint8_t> Burst(double hertz) {
  const int n = kRate * 15 / 100;
  std::vector<uint8_t> bytes;
  for (int i = 0; i < n; ++i) {
    const double envelope = 0.5 - 0.5 * std::cos(2 * kPi * i / (n - 1));
    const auto v =
        int16_t(std::lround(0.3 * 32767 * envelope * std::sin(2 * kPi * hertz * i / kRate)));
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(uint16_t(v) >> 8));
  }
  return bytes;
}

} // namespace

int main(int argc, char **argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 3;
  TSfxSoundRec rec;
  rec.Format = {1, 1, kRate, kRate * 2, 2, 16, 0};
  TSfxSoundLib lib;
  lib.Sounds.Add(rec, Burst(400));
  lib.Sounds.Add(rec, Burst(300));
  TSfxAudio audio;
  audio.SetSoundLibrary(&lib);
  SteadyTone tone;
  audio.SetMusic(&tone);
  tone.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::printf("output %s\n", audio.OutputCaps().WritesAhead ? "own" : "sdl");
  int ticks = 0;
  for (auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
       std::chrono::steady_clock::now() < end; ++ticks) {
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
  audio.SetMusic(nullptr);
  return 0;
}
