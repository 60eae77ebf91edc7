// Renders the background tune once from start to end, the way the audio
// component pulls it (20 ms blocks at 44,100 Hz), writes it as a 16-bit
// stereo WAV file and prints the CPU time the rendering took, the first
// time (the whole process: the synthesis) and again (from the recording).
// For comparing the music's sound and cost between builds:
//   build/bench/render_tune out.wav [tune.mid]
#include "music/mediaplayer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <vector>

namespace {

constexpr int kRate = TMediaPlayer::kSampleRate;
constexpr int kBlockFrames = 882;

double CpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void Put(std::ofstream &out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.put(char((value >> (8 * i)) & 0xFF));
}

void WriteWav(const char *name, const std::vector<int16_t> &samples) {
  std::ofstream out(name, std::ios::binary);
  const uint32_t dataBytes = uint32_t(samples.size() * 2);
  out.write("RIFF", 4);
  Put(out, 36 + dataBytes, 4);
  out.write("WAVEfmt ", 8);
  Put(out, 16, 4);
  Put(out, 1, 2); // PCM
  Put(out, 2, 2);
  Put(out, kRate, 4);
  Put(out, kRate * 4, 4);
  Put(out, 4, 2);
  Put(out, 16, 2);
  out.write("data", 4);
  Put(out, dataBytes, 4);
  for (int16_t s : samples)
    Put(out, uint16_t(s), 2);
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT.wav [TUNE.mid]\n", argv[0]);
    return 2;
  }
  TMediaPlayer player;
  player.FileName = argc > 2 ? argv[2] : ZOFTREL_MUSIC_FILE;
  player.Open();
  const double openCpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  std::vector<float> block(2 * kBlockFrames);
  std::vector<int16_t> samples;
  samples.reserve(size_t(player.Length()) * kRate / 1000 * 2 + 2 * kRate);
  // Twice through: the first play makes the recording (in the background
  // and here), the second only reads it.
  double cpu[2] = {0, 0};
  long frames = 0;
  for (int pass = 0; pass < 2; ++pass) {
    const clockid_t clock = pass == 0 ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_THREAD_CPUTIME_ID;
    player.Play();
    while (player.Mode() == mdPlaying) {
      std::fill(block.begin(), block.end(), 0.0f);
      const double t0 = CpuSeconds(clock);
      player.MixInto(block.data(), kBlockFrames, kRate);
      cpu[pass] += CpuSeconds(clock) - t0;
      if (pass > 0)
        continue;
      frames += kBlockFrames;
      for (float s : block)
        samples.push_back(int16_t(std::lround(std::clamp(s, -1.0f, 1.0f) * 32767.0f)));
    }
  }
  WriteWav(argv[1], samples);
  const double seconds = double(frames) / kRate;
  std::printf("open %.3f s CPU; %.1f s of music: synthesised in %.3f s CPU (%.2f %% of a core),"
              " played again from the recording in %.3f s CPU (%.3f %%)\n",
              openCpu, seconds, cpu[0], 100.0 * cpu[0] / seconds, cpu[1], 100.0 * cpu[1] / seconds);
  return 0;
}
