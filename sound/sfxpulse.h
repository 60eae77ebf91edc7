// The audio output for sound servers that speak the PulseAudio protocol
// (PulseAudio itself, and PipeWire through pipewire-pulse), on libpulse.
//
// It keeps about a tenth of a second written ahead and asks the server to
// wake it only when a large piece of that has played, so that client and
// server wake some 25 times a second. A change of the mix (a sound started
// or stopped, the music started or stopped) does not wait for what is
// already written: the output asks the server where it reads, and has the
// mix rendered again from a little after that point, with the change made
// there, so it is heard after the sink's own latency. Changes that come
// together share one rewrite.
//
// libpulse runs the output on a thread of its own; the source renders on
// that thread. Nothing here allocates once the output is open.
#pragma once

#include "sound/sfxoutput.h"

#include <pulse/mainloop-api.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

class TSfxPulseOutput : public TSfxOutput {
public:
  // How much is kept written ahead, and the piece whose playing wakes us.
  static constexpr int kAheadMs = 100;
  static constexpr int kRequestMs = 45;
  // How far after the server's read index a rewrite starts, at least: the
  // sink's own latency, which is what it reads at a time.
  static constexpr int kRewriteMarginMs = 4;
  // How long the server has to answer while connecting.
  static constexpr int kConnectTimeoutMs = 2000;

  // Connects to the server and opens a stereo float stream at `rate`;
  // corked while `paused`. nullptr when no server of that protocol answers
  // or the stream cannot be made, and when the server is PipeWire's
  // layer (`pipeWire` then tells): there SDL's own PipeWire driver costs
  // less at the same latency.
  static std::unique_ptr<TSfxPulseOutput> Open(TSfxOutputSource &source, int rate, bool paused,
                                               bool &pipeWire);
  ~TSfxPulseOutput() override;
  TSfxPulseOutput(const TSfxPulseOutput &) = delete;
  TSfxPulseOutput &operator=(const TSfxPulseOutput &) = delete;

  // libpulse's thread mixes; it writes ahead and rewrites.
  TSfxOutputCaps Caps() const override { return {true, true, true}; }
  // The server went away or dropped the stream.
  bool Failed() const override { return FFailed.load(); }
  // Sounds have started: the output rewrites what is not yet played.
  void RequestRewrite() override;
  // Corks or uncorks the stream.
  void SetPaused(bool paused) override;
  // Holds libpulse's thread.
  void Stall(bool stalled) override;

  // Counts, for tests and measurements.
  uint64_t Writes() const { return FWrites.load(std::memory_order_relaxed); }
  uint64_t Rewrites() const override { return FRewrites.load(std::memory_order_relaxed); }
  // The server's buffer settings, in frames.
  uint32_t AheadFrames() const { return FAheadFrames; }
  uint32_t RequestFrames() const { return FRequestFrames; }

private:
  TSfxPulseOutput(TSfxOutputSource &source, int rate);
  bool Connect(bool paused, bool &pipeWire);
  bool WaitUntilReady(bool (*ready)(TSfxPulseOutput &));
  void Write(size_t bytes);
  void Rewrite();
  void RewriteAt(int64_t from);
  static void ContextState(pa_context *context, void *self);
  static void StreamState(pa_stream *stream, void *self);
  static void WriteRequest(pa_stream *stream, size_t bytes, void *self);
  static void TimingUpdated(pa_stream *stream, int success, void *self);
  static void Wakened(pa_mainloop_api *api, pa_io_event *event, int fd, pa_io_event_flags_t flags,
                      void *self);

  TSfxOutputSource &FSource;
  const int FRate;
  pa_threaded_mainloop *FLoop = nullptr;
  pa_context *FContext = nullptr;
  pa_stream *FStream = nullptr;
  pa_io_event *FWakeEvent = nullptr;
  int FWakeFd = -1;
  std::atomic<bool> FFailed{false};
  std::atomic<bool> FRewriteWanted{false};
  bool FTimingAsked = false; // a timing update for a rewrite is on its way
  bool FTimedOut = false;
  bool FCorked = false;
  int FPipeWire = -1; // the server's name answered: 1 when PipeWire's
  uint32_t FAheadFrames = 0;
  uint32_t FRequestFrames = 0;
  int64_t FWritten = 0;       // frames written: the stream's write index
  int64_t FRewriteFrames = 0; // the most a rewrite goes back
  std::vector<float> FRewriteBuffer;
  std::atomic<uint64_t> FWrites{0};
  std::atomic<uint64_t> FRewrites{0};
};
